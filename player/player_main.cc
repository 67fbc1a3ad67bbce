// The player's driver: start-up, the per-file steps, the main loop with its
// sleep credit, the closing logo and shut-down.
#include "player/player_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/profile.h"
#include "base/thread.h"
#include "base/timer.h"
#include "display/display_driver.h"
#include "display/frame_copy.h"
#include "player/command_line.h"
#include "player/embedded_switches.h"
#include "player/logo_clip.h"
#include "player/player_state.h"
#include "player/summary_text.h"
#include "player/version_reminder.h"
#include "player/window_services.h"

namespace {

PlayerState g_player;
char g_program_path[4096];

const char kErrorCaption[] = "Vexa Error";
const char kWindowTitle[] = "Vexa Video Player";
const char kSummaryCaption[] = "Vexa Playback Summary";
constexpr uint32_t kLogoSeconds = 2250;

const WindowServices* Win() { return PlayerWindowServices(); }
const DisplayDriver* Display() { return DisplayGetDriver(); }
// The file's leading fields. The player writes two of them: the doubling
// mode it chooses and the output size that mode gives.
MediaFileHead* Head(MediaFile* m) { return const_cast<MediaFileHead*>(MediaHead(m)); }

bool PathExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

int Box(const char* text, const char* caption, uint32_t type) {
  return Win()->MessageBox(g_player.window, text, caption, type);
}

void ShowHelp() {
  if (isatty(STDOUT_FILENO) && !Win()->message_boxes_print) std::fputs(kPlayerHelpText, stdout);
  Box(kPlayerHelpText, kPlayerHelpCaption, MB_ICONINFORMATION);
}

// The error box of a failed file: the window goes, the run ends with 1.
int FailFile(const char* text) {
  Box(text, kErrorCaption, MB_ICONERROR);
  if (g_player.window) {
    g_player.destroying = true;
    Win()->DestroyWindow(g_player.window);
    g_player.window = nullptr;
  }
  return 1;
}

void ReadProfile(void*, const char* section, const char* key, char* out, uint32_t out_size) {
  ProfileReadString(section, key, "", out, out_size);
}

LocalDate Today() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return LocalDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void RecordCheckDate() {
  char date[32];
  FormatDate(Today(), date, sizeof(date));
  ProfileWriteString(kProfileSection, kVersionCheckKey, date);
}

bool CompanionToolsPresent() {
  char path[4200];
  return CompanionToolsPath(g_program_path, path, sizeof(path)) && PathExists(path);
}

// Returns true when the player must stop (the window is gone).
bool VersionReminder() {
  char last[16];
  ProfileReadString(kProfileSection, kVersionCheckKey, kVersionCheckDefault, last, sizeof(last));
  if (!ReminderDue(Today(), last)) return false;
  RecordCheckDate();
  int answer = Box(
      "It's been a while since you checked for a more recent Vexa version.\n\nWould you like to check for "
      "a newer version of Vexa on the Internet?\n\nIf you choose to check for a new version, Vexa will "
      "close to allow the update to install.",
      "New version check...", MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) return false;
  Win()->OpenUrl(kVersionCheckUrl);
  PlatformSleep(250);
  RecordCheckDate();
  g_player.destroying = true;
  Win()->DestroyWindow(g_player.window);
  g_player.window = nullptr;
  return true;
}

void HandOneShotSettings() {
  const PlayerSettings& s = g_player.sw.settings;
  if (s.rate_dividend != -1 && s.rate_divisor != -1) MediaSetFrameRate(s.rate_dividend, s.rate_divisor);
  if (s.sound_track != 0) {
    uint32_t id = static_cast<uint32_t>(s.sound_track);
    MediaSetSoundTracks(1, &id);
  }
  if (s.simulated_rate != 0) MediaSetSimulatedRate(s.simulated_rate);
  if (s.read_buffer_size != -1) MediaSetReadBufferSize(s.read_buffer_size);
}

// Opens the media of one name; null with the error text set.
MediaFile* OpenSource(const char* name, int* stop) {
  uint32_t flags = g_player.sw.flags.open_flags;
  MediaSource source;
  if (!ParseMediaSource(name, &source)) {
    MediaSetError("Error opening file.");
    return nullptr;
  }
  if (source.kind != SourceKind::kOwnProgram && CompanionToolsPresent() && VersionReminder()) {
    *stop = 1;
    return nullptr;
  }
  if (source.kind == SourceKind::kByName) return MediaOpen(source.path, flags);
  const char* path = source.kind == SourceKind::kOwnProgram ? g_program_path : source.path;
  PlatformFile file = PlatformOpenRead(path);
  if (file == kNoFile || !PlatformSeek(file, source.offset)) {
    if (file != kNoFile) PlatformClose(file);
    MediaSetError(source.kind == SourceKind::kOwnProgram ? "Error opening EXE file." : "Error opening file.");
    return nullptr;
  }
  g_player.file = file;
  return MediaOpen(reinterpret_cast<const void*>(file), flags | OPEN_FILE_HANDLE);
}

// The per-file steps. Returns -1 to play on, or the exit code.
int OpenFile(const char* name) {
  PlayerState& p = g_player;
  PlayerSettings& s = p.sw.settings;
  HandOneShotSettings();
  int stop = 0;
  p.media = OpenSource(name, &stop);
  if (stop) return 1;
  if (!p.media) return FailFile(MediaGetError());
  MediaFileHead* head = Head(p.media);
  const uint32_t vw = head->width, vh = head->height;

  // Picture size and scaling classes.
  uint32_t& display_flags = p.sw.flags.display_flags;
  display_flags &= ~SCALE_BITS;
  int32_t wd = s.width_dividend, wq = s.width_divisor, hd = s.height_dividend, hq = s.height_divisor;
  if (wd == -1 && wq == 1 && hd == -1 && hq == 1) {
    PictureSize fit = FitToScreen(vw, vh, uint32_t(s.screen_width), uint32_t(s.screen_height));
    wd = int32_t(fit.width), wq = 1, hd = int32_t(fit.height), hq = 1;
  }
  uint32_t w = ClassifyScale(wd, wq, vw, uint32_t(s.screen_width), kScaleClassWidth, &display_flags);
  uint32_t h = ClassifyScale(hd, hq, vh, uint32_t(s.screen_height), kScaleClassHeight, &display_flags);

  // Doubling in the copy instead of stretching in the blit.
  if ((head->open_flags & SCALE_MODE) == 0) {
    uint32_t mode = DoublingMode(w, h, vw, vh);
    if (mode != 0) {
      display_flags &= ~SCALE_BITS;
      head->open_flags |= mode << 28;
      MediaCopyState(p.media)->open_flags |= mode << 28;  // the copy-out's view of the file
      if (mode == 1 || mode == 4) head->height *= 2;
      if (mode == 3 || mode == 4) head->width *= 2;
    }
  }
  if (s.black_background || s.show_statistics) p.no_paint_yet = false;

  DisplayBuffer* buffer = DisplayBufferOpen(p.window, head->width, head->height, display_flags);
  if (p.previous_buffer) {
    DisplayBufferClose(p.previous_buffer);
    p.previous_buffer = nullptr;
    if (!buffer) buffer = DisplayBufferOpen(p.window, head->width, head->height, display_flags);
  }
  if (!buffer) {
    Win()->ShowWindow(p.window, false);
    int code = FailFile(DisplayBufferError());
    MediaClose(p.media);
    p.media = nullptr;
    return code;
  }
  p.buffer = buffer;
  DisplayBufferSetScale(w, buffer, h);

  // Default position, then the window.
  const int32_t screen_w = int32_t(buffer->screen_width), screen_h = int32_t(buffer->screen_height);
  if (s.x == kCentrePosition) s.x = CentredX(screen_w, int32_t(buffer->window_width), buffer->client_x);
  if (s.y == kCentrePosition) s.y = CentredY(screen_h, int32_t(buffer->window_height), buffer->client_y);
  if (s.black_background) {
    p.x = s.x;
    p.y = s.y;
    DisplayBufferCheckPosition(&p.x, buffer, &p.y);
    PlaceWindow(screen_w + buffer->extra_width, p.window, -buffer->client_x, -buffer->client_y,
                screen_h + buffer->extra_height);
  } else {
    p.x = 0;
    p.y = 0;
    PlaceWindow(int32_t(buffer->window_width), p.window, s.x, s.y, int32_t(buffer->window_height));
  }
  Win()->ShowWindow(p.window, true);
  DisplayBufferSetOffset(p.x, buffer, p.y);
  uint32_t mode = (head->open_flags & SCALE_MODE) >> 28;
  if (mode == 2 || mode == 5 || mode == 6) {
    Win()->InvalidateRect(p.window);
    p.no_paint_yet = false;
  }
  return -1;
}

// Moves to the next file after the loop was left. Returns -1 to play on.
void CloseFile() {
  PlayerState& p = g_player;
  MediaClose(p.media);
  p.media = nullptr;
  p.previous_buffer = p.buffer;
  p.buffer = nullptr;
  if (p.file != kNoFile) {
    PlatformClose(p.file);
    p.file = kNoFile;
  }
  p.file_loops = 1;
  if (!p.sw.settings.black_background && p.window) {
    DisplayRect r;
    if (Display()->screen->GetWindowRect(p.window, &r)) {
      p.sw.settings.x = r.left;
      p.sw.settings.y = r.top;
    }
  }
}

// One pass of the loop's frame step (main loop step 5). Returns true when
// the loop is left for the next file.
bool FrameStep() {
  PlayerState& p = g_player;
  if (p.end_of_file || p.quit == kQuitRequested) {
    p.end_of_file = false;
    if (p.quit == kQuitRequested) p.quit = kQuitNone;
    MediaPause(p.media, 1);
    if (p.list.text[0] != 0) return true;
    if (--p.list_loops != 0) {
      p.list = p.saved_list;
      return true;
    }
    ShowClosingLogo(p.window);
  }
  if (p.media) ShowNextFrame(p.window);
  return false;
}

// The main loop of one file. Returns true when WM_QUIT arrived.
bool MainLoop() {
  PlayerState& p = g_player;
  int32_t credit = 0;
  for (;;) {
    WindowMessage m;
    if (Win()->PeekMessage(&m)) {
      if (m.message == WM_QUIT) return true;
      PlayerWindowProc(m.window, m.message, m.wparam, m.lparam);
      continue;
    }
    if (p.preview_stamp != 0) {
      if (MediaTimer() - p.preview_stamp > 500) p.preview_stamp = 0;
      continue;
    }
    int w = MediaWait(p.media);
    if (p.holding) {
      if (int32_t(MediaTimer() - p.hold_until) < 0) w = 1;
      else p.holding = false;
    }
    if ((w != 0 && p.quit != kQuitRequested) || p.destroying) {
      credit += 1;
    } else if (FrameStep()) {
      return false;
    }
    if (p.user_pause != 0 || (!p.window_active && !p.sw.settings.keep_playing_unfocused)) credit += 5;
    if (credit > 0) {
      if (credit > 10) credit = 10;
      uint32_t before = MediaTimer();
      PlatformSleep(uint32_t(credit));
      credit -= int32_t(MediaTimer() - before);
      if (credit < -100) credit = -100;
    }
    if (p.logo_showing && !p.destroying &&
        (int32_t(MediaTimer() - p.logo_deadline) > 0 || !p.media || p.quit == kQuitDuringLogo)) {
      p.destroying = true;
      Win()->DestroyWindow(p.window);
      p.window = nullptr;
    }
  }
}

int ShutDown() {
  PlayerState& p = g_player;
  PlatformTimerResolutionEnd();
  char summary[kSummaryTextSize];
  bool show = false;
  if (p.sw.settings.show_summary) {
    SummaryDisplay display{nullptr, 0, 0, 0};
    if (p.buffer) {
      display = SummaryDisplay{DisplayBufferStyleName(p.buffer), int32_t(p.buffer->screen_width),
                               int32_t(p.buffer->screen_height), int32_t(p.buffer->screen_bits)};
    }
    show = BuildSummaryText(p.summary, display, summary, sizeof(summary));
  }
  MediaClose(p.media);
  p.media = nullptr;
  if (p.file != kNoFile) PlatformClose(p.file);
  p.file = kNoFile;
  if (p.buffer) DisplayBufferClose(p.buffer);
  if (p.previous_buffer) DisplayBufferClose(p.previous_buffer);
  p.buffer = p.previous_buffer = nullptr;
  if (show) {
    PlatformSleep(10);
    Box(summary, kSummaryCaption, MB_ICONINFORMATION);
  }
  return 0;
}

void FitToParentWindow(uint64_t parent) {
  PlayerState& p = g_player;
  int32_t w = 0, h = 0;
  Win()->GetParentClientSize(parent, &w, &h);
  p.x = p.y = 0;
  p.sw.settings.x = p.sw.settings.y = 0;
  p.sw.settings.width_dividend = w;
  p.sw.settings.width_divisor = 1;
  p.sw.settings.height_dividend = h;
  p.sw.settings.height_divisor = 1;
  p.sw.settings.owner_window = int32_t(parent);
}

}  // namespace

PlayerState* Player() { return &g_player; }

void PlaceWindow(int32_t width, PlatformWindow* window, int32_t x, int32_t y, int32_t height) {
  PlayerState& p = g_player;
  WindowLayout layout{width, height, p.x, p.y, {}};
  if (p.sw.settings.show_statistics) {
    DisplaySize size{0, 0};
    PlatformDC* dc = Display()->gdi->GetDC(window);
    if (dc) {
      Display()->gdi->GetTextExtentPoint32(dc, kStatisticsSampleText, int32_t(std::strlen(kStatisticsSampleText)),
                                           &size);
      Display()->gdi->ReleaseDC(window, dc);
    }
    ReserveStatisticsLine(size.cx + 8, size.cy, &layout);
  }
  p.x = layout.picture_x;
  p.y = layout.picture_y;
  p.statistics = layout.statistics;
  Win()->SetWindowPos(window, x, y, layout.window_width, layout.window_height);
}

void DrawStatisticsLine(PlatformWindow* window) {
  PlayerState& p = g_player;
  RealtimeStats stats;
  MediaGetRealtime(p.media, 0, &stats);
  char line[256];
  FormatStatisticsLine(stats, line, sizeof(line));
  const GdiServices* gdi = Display()->gdi;
  PlatformDC* dc = gdi->GetDC(window);
  if (!dc) return;
  gdi->SetTextColor(dc, 0x00FFFF);
  gdi->SetBkColor(dc, 0);
  gdi->SetTextAlign(dc, TA_CENTER | TA_TOP);
  DisplayRect rect{p.statistics.left, p.statistics.top, p.statistics.right, p.statistics.bottom};
  gdi->ExtTextOut(dc, p.statistics.right / 2, p.statistics.top, ETO_OPAQUE, &rect, line, uint32_t(std::strlen(line)));
  gdi->ReleaseDC(window, dc);
}

void ShowNextFrame(PlatformWindow* window) {
  PlayerState& p = g_player;
  p.no_paint_yet = false;
  MediaDecodeFrame(p.media);
  MediaFileHead* head = Head(p.media);
  if (DisplayBufferLock(p.buffer)) {
    CopyFrameToSurface(MediaCopyState(p.media), p.buffer->surface, p.buffer->pitch, p.buffer->height, 0, 0, 0, 0,
                       head->width, head->height, p.buffer->surface_word | p.sw.flags.extra_copy_flags);
    p.sw.flags.extra_copy_flags &= ~SURFACE_COPY_ALL;
    DisplayBufferUnlock(p.buffer);
  }
  int n = MediaGetChangedRects(p.buffer->surface_word, p.media);
  DisplayBufferBlit(p.buffer, reinterpret_cast<const DisplayBlitRect*>(head->rects), uint32_t(n > 0 ? n : 0));
  uint32_t shown = p.logo_showing ? 0 : uint32_t(head->last_frame);
  // At the last frame a play of the file is done; the next read wraps to
  // frame 1 unless that was the last play.
  bool last_play = false;
  if (uint32_t(head->current_frame) == head->frame_count && --p.file_loops == 0) last_play = true;
  if (last_play) p.end_of_file = true;
  else MediaNextFrame(p.media);
  // A clip of one frame wraps onto the frame it shows, which the core
  // reports due at once: hold it for one frame's time instead of spinning.
  if (head->frame_count == 1 && !last_play) {
    uint64_t period = head->rate_dividend ? 1000ull * head->rate_divisor / head->rate_dividend : 0;
    p.hold_until = MediaTimer() + uint32_t(period > 0 ? (period < 1000 ? period : 1000) : 1);
    p.holding = true;
  }
  if (p.sw.settings.show_statistics) DrawStatisticsLine(window);
  Win()->Present(window, shown);
  if (p.user_pause != 0) MediaPause(p.media, 1);
}

void ShowClosingLogo(PlatformWindow* window) {
  PlayerState& p = g_player;
  MediaGetSummary(p.media, &p.summary);
  MediaFile* logo = MediaOpenMemory(LogoClipImage(), LogoClipSize(), 0);
  MediaClose(p.media);
  p.media = nullptr;
  if (p.file != kNoFile) {
    PlatformClose(p.file);
    p.file = kNoFile;
  }
  p.logo_showing = true;
  if (!logo) {
    p.logo_deadline = 0;
    return;
  }
  p.media = logo;
  PlatformDC* dc = Display()->gdi->GetDC(window);
  if (dc) {
    Display()->gdi->PatBlt(dc, 0, 0, 4096, 4096, BLACKNESS);
    Display()->gdi->ReleaseDC(window, dc);
  }
  p.file_loops = -1;
  p.logo_deadline = MediaTimer() + kLogoSeconds;
  p.sw.settings.show_statistics = 0;
  p.user_pause = 0;
  const uint32_t lw = Head(logo)->width, lh = Head(logo)->height;
  DisplayBuffer* buffer = p.buffer;
  if (!(buffer && buffer->width >= lw && buffer->height >= lh)) {
    uint32_t& flags = p.sw.flags.display_flags;
    if (buffer && (flags & DISPLAY_CHANGE_MODE) && (buffer->screen_width < lw || buffer->screen_height < lh)) {
      flags &= ~DISPLAY_CHANGE_MODE;
      DisplayBufferClose(buffer);
      p.buffer = buffer = nullptr;
      p.sw.settings.black_background = 0;
    }
    DisplayBuffer* fresh = DisplayBufferOpen(window, lw, lh, flags & ~SCALE_BITS);
    if (!fresh) {
      MediaClose(logo);
      p.media = nullptr;
      return;
    }
    if (p.buffer) DisplayBufferClose(p.buffer);
    p.buffer = buffer = fresh;
    if (!p.sw.settings.black_background) {
      Win()->SetWindowPos(window, (int32_t(buffer->screen_width) - int32_t(lw)) / 2,
                          (int32_t(buffer->screen_height) - int32_t(lh)) / 2, int32_t(buffer->window_width),
                          int32_t(buffer->window_height));
      p.x = p.y = 0;
    }
  } else {
    DisplayBufferClear(buffer);
  }
  DisplayBufferSetScale(uint32_t(buffer->width), buffer, uint32_t(buffer->height));
  p.y += (int32_t(buffer->height) - int32_t(lh)) / 2;
  p.x += (int32_t(buffer->width) - int32_t(lw)) / 2;
  DisplayBufferSetOffset(p.x, buffer, p.y);
}

int PlayerMain(const PlayerStartup* startup) {
  PlayerState& p = g_player;
  p = PlayerState{};
  p.file = kNoFile;
  p.list_loops = 1;
  ssize_t n = readlink("/proc/self/exe", g_program_path, sizeof(g_program_path) - 1);
  g_program_path[n > 0 ? n : 0] = 0;
  const bool saver = IsScreenSaverFile(g_program_path);

  // 1-2: the switches and the screen saver's arguments.
  PlayerCommandLine cl;
  const char* error = nullptr;
  if (!SplitCommandLine(startup->argc, startup->argv, PathExists, &cl, &error)) {
    Box(error, kErrorCaption, MB_ICONERROR);
    return 1;
  }
  if (cl.help_requested) {
    std::fputs(kPlayerHelpText, stdout);
    return 0;
  }
  p.saver_mode = saver ? ParseScreenSaverArgs(cl.raw) : 0;
  if (saver && p.saver_mode == 3) {
    Box("There are no settings for this screensaver.", kWindowTitle, MB_OK);
    return 0;
  }
  if (saver && p.saver_mode == 0) return 0;
  const DisplayDriver* display = Display();
  SwitchEnvironment env{display->screen->GetSystemMetrics(SM_CXSCREEN), display->screen->GetSystemMetrics(SM_CYSCREEN),
                        p.saver_mode, ReadProfile, nullptr};
  bool parsed = BuildPlayerSwitchText(&p.list, cl.switches, saver) && ParseSwitches(&p.list, &env, &p.sw, nullptr);
  PlayerSettings& s = p.sw.settings;
  uint64_t owner = uint64_t(uint32_t(s.owner_window));
  if (saver && (p.saver_mode == 1 || p.saver_mode == 2)) {
    s.always_on_top = 1;
    s.disabled_controls = 15;
  } else if (saver) {
    p.sw.flags.display_flags &= ~DISPLAY_CHANGE_MODE;
    p.preview_stamp = MediaTimer() | 1;
    s.sound_track = -1;
    p.sw.flags.open_flags |= OPEN_SOUND_TRACKS;
    owner = uint64_t(uint32_t(p.saver_mode));
    FitToParentWindow(owner);
  }

  // 4: the help text.
  if (!parsed || NeedsHelpAfterParse(p.list.text, cl.names)) {
    ShowHelp();
    return 1;
  }
  if (!AppendNames(p.list.text, cl.names)) {
    ShowHelp();
    return 1;
  }

  // 5: the window.
  p.no_paint_yet = true;
  WindowCreateParams params{};
  params.title = kWindowTitle;
  params.x = params.y = kDefaultWindowPosition;
  params.width = params.height = 32;
  params.owner = owner;
  params.invisible_cursor = s.hide_cursor != 0 || saver;
  params.proc = PlayerWindowProc;
  if (p.saver_mode > 16) {
    params.style = WS_CHILD;
  } else {
    params.style = WS_PLAYER_POPUP | (s.window_style == 0 ? WS_CAPTION : 0);
    params.ex_style = (s.window_style != 2 ? WS_EX_DLGMODALFRAME : 0) | (s.always_on_top ? WS_EX_TOPMOST : 0);
  }
  p.window = Win()->CreateWindow(&params);
  if (!p.window) {
    Box("Error creating window.", "Windows", MB_ICONERROR);
    return 1;
  }
  p.window_active = true;

  // 6: the sound output.
  MediaSetSoundSystem(s.use_wave_out ? startup->wave_out : startup->direct_sound, 0);

  // 7: the list.
  p.saved_list = p.list;
  char name[kSwitchTextSize];
  TakeNextName(p.list.text, name, sizeof(name));
  if (name[0] != 0 && p.list.text[0] != 0) {
    p.list_loops = s.loop_count;
    p.file_loops = 1;
  } else {
    p.file_loops = s.loop_count;
  }

  PlatformTimerResolutionBegin();
  for (;;) {
    int code = OpenFile(name);
    if (code >= 0) {
      PlatformTimerResolutionEnd();
      return code;
    }
    if (MainLoop()) return ShutDown();
    CloseFile();
    TakeNextName(p.list.text, name, sizeof(name));
  }
}
