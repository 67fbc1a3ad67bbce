// The player's window table without a display.
#include "platform/headless/headless_player.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/clock.h"
#include "platform/headless/headless_audio.h"
#include "platform/headless/headless_events.h"
#include "platform/headless/headless_player_window.h"
#include "player/window_services.h"
#include "sound/sound_drivers.h"

namespace {

struct HeadlessPlayer {
  HeadlessEvent events[kMaxHeadlessEvents];
  int event_count;
  int next_event;
  uint32_t start_ms;
  PlatformWindow* window;
  WindowProc proc;
  std::string capture_dir;
  FILE* presents;
  uint32_t present_count;
};

HeadlessPlayer g_player;

constexpr int kQueueSize = 64;
WindowMessage g_queue[kQueueSize];
int g_head = 0, g_count = 0;

void Queue(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (g_count == kQueueSize) return;
  g_queue[(g_head + g_count) % kQueueSize] = WindowMessage{window, message, wparam, lparam};
  ++g_count;
}

uint32_t Now() { return PlatformTickCount() - g_player.start_ms; }

// Turns the scripted events that are due into messages.
void DeliverDueEvents() {
  while (g_player.next_event < g_player.event_count && g_player.events[g_player.next_event].ms <= Now()) {
    const HeadlessEvent& e = g_player.events[g_player.next_event++];
    PlatformWindow* w = g_player.window;
    if (!w) continue;
    switch (e.kind) {
      case HeadlessEventKind::kKey:
        Queue(w, WM_KEYDOWN, uintptr_t(e.a), 0);
        Queue(w, WM_CHAR, uintptr_t(e.a), 0);
        break;
      case HeadlessEventKind::kClick:
        Queue(w, WM_LBUTTONDOWN, 0, 0);
        Queue(w, WM_LBUTTONUP, 0, 0);
        break;
      case HeadlessEventKind::kMove:
        Queue(w, WM_MOUSEMOVE, 0, intptr_t((uint32_t(uint16_t(e.b)) << 16) | uint16_t(e.a)));
        break;
      case HeadlessEventKind::kFocus:
        if (e.a) {
          Queue(w, WM_ACTIVATEAPP, 1, 0);
          Queue(w, WM_SETFOCUS, 0, 0);
        } else {
          Queue(w, WM_KILLFOCUS, 0, 0);
          Queue(w, WM_ACTIVATEAPP, 0, 0);
        }
        break;
      case HeadlessEventKind::kClose:
        Queue(w, WM_CLOSE, 0, 0);
        break;
    }
  }
}

PlatformWindow* CreatePlayerWindow(const WindowCreateParams* params) {
  if (g_player.window) return nullptr;
  HeadlessFrame frame = HeadlessFrame::kNone;
  if (params->style & WS_CAPTION) frame = HeadlessFrame::kCaption;
  else if (params->ex_style & WS_EX_DLGMODALFRAME) frame = HeadlessFrame::kThin;
  int32_t x = params->x == kDefaultWindowPosition ? 0 : params->x;
  int32_t y = params->y == kDefaultWindowPosition ? 0 : params->y;
  PlatformWindow* w = HeadlessPlayerWindowCreate(x, y, params->width, params->height, frame);
  if (!w) return nullptr;
  g_player.window = w;
  g_player.proc = params->proc;
  return w;
}

void DestroyPlayerWindow(PlatformWindow* window) {
  if (!window || window != g_player.window) return;
  WindowProc proc = g_player.proc;
  g_player.window = nullptr;
  g_player.proc = nullptr;
  if (proc) proc(window, WM_DESTROY, 0, 0);
  HeadlessPlayerWindowDestroy(window);
}

void SetPlayerWindowPos(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!window || window != g_player.window) return;
  WindowPos pos{x, y, width, height, 0};
  if (g_player.proc) g_player.proc(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<intptr_t>(&pos));
  HeadlessPlayerWindowPlace(window, pos.x, pos.y, pos.cx, pos.cy);
  if (g_player.proc) g_player.proc(window, WM_WINDOWPOSCHANGED, 0, 0);
}

void ShowPlayerWindow(PlatformWindow* window, bool shown) {
  if (window && window == g_player.window) HeadlessPlayerWindowShow(window, shown);
}

void InvalidatePlayerWindow(PlatformWindow* window) { Queue(window, WM_PAINT, 0, 0); }

bool PeekPlayerMessage(WindowMessage* m) {
  DeliverDueEvents();
  if (g_count == 0) return false;
  *m = g_queue[g_head];
  g_head = (g_head + 1) % kQueueSize;
  --g_count;
  return true;
}

void PostPlayerQuit(int code) { Queue(nullptr, WM_QUIT, uintptr_t(code), 0); }

void PresentPlayerWindow(PlatformWindow* window, uint32_t frame) {
  if (g_player.capture_dir.empty() || !window) return;
  uint32_t n = ++g_player.present_count;
  uint32_t at = Now();
  char name[64];
  std::snprintf(name, sizeof(name), "/present-%05u.png", n);
  HeadlessPlayerWindowSavePng(window, (g_player.capture_dir + name).c_str());
  if (g_player.presents) std::fprintf(g_player.presents, "%05u %u %u\n", n, at, frame);
}

bool ParentClientSize(uint64_t, int32_t* width, int32_t* height) {
  // A preview parent on the headless screen: the size of the system's
  // preview area.
  *width = 152;
  *height = 112;
  return true;
}

int PlayerMessageBox(PlatformWindow*, const char* text, const char* caption, uint32_t type) {
  std::printf("%s\n%s\n", caption, text);
  std::fflush(stdout);
  return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
}

void OpenPlayerUrl(const char* url) {
  std::printf("open %s\n", url);
  std::fflush(stdout);
}

const WindowServices kServices = {
    CreatePlayerWindow, DestroyPlayerWindow, SetPlayerWindowPos, ShowPlayerWindow, InvalidatePlayerWindow,
    PeekPlayerMessage,  PostPlayerQuit,      PresentPlayerWindow, ParentClientSize, PlayerMessageBox,
    OpenPlayerUrl,      true,
};

bool ParseScreen(const char* text, int32_t* w, int32_t* h, int32_t* bits) {
  char extra = 0;
  return std::sscanf(text, "%dx%dx%d%c", w, h, bits, &extra) == 3 && *w > 0 && *h > 0 && *w <= 16384 &&
         *h <= 16384 && (*bits == 8 || *bits == 15 || *bits == 16 || *bits == 24 || *bits == 32);
}

}  // namespace

bool HeadlessPlayerStart(const char** error) {
  g_player = HeadlessPlayer{};
  const char* clock = std::getenv("VEXA_HEADLESS_CLOCK");
  if (clock && std::strcmp(clock, "virtual") == 0) {
    PlatformUseVirtualClock(0);
  } else if (clock && *clock && std::strcmp(clock, "real") != 0) {
    *error = "VEXA_HEADLESS_CLOCK is virtual or real";
    return false;
  }
  g_player.start_ms = PlatformTickCount();
  int32_t w = 1920, h = 1080, bits = 32;
  const char* screen = std::getenv("VEXA_HEADLESS_SCREEN");
  if (screen && *screen && !ParseScreen(screen, &w, &h, &bits)) {
    *error = "VEXA_HEADLESS_SCREEN is WIDTHxHEIGHTxBITS, such as 1920x1080x32";
    return false;
  }
  if (!ParseHeadlessEvents(std::getenv("VEXA_HEADLESS_EVENTS"), g_player.events, kMaxHeadlessEvents,
                           &g_player.event_count, error))
    return false;
  const char* dir = std::getenv("VEXA_HEADLESS_CAPTURE");
  if (dir && *dir) {
    mkdir(dir, 0755);
    g_player.capture_dir = dir;
    g_player.presents = std::fopen((g_player.capture_dir + "/presents.txt").c_str(), "w");
    if (!g_player.presents || !HeadlessAudioCaptureWav((g_player.capture_dir + "/sound.wav").c_str())) {
      *error = "the capture directory cannot be written";
      return false;
    }
  }
  if (!HeadlessPlayerDisplayStart(w, h, bits)) {
    *error = "the headless screen cannot start";
    return false;
  }
  SoundRegisterDriver(&kHeadlessSoundDriver);
  SoundSelectDriver("headless");
  PlayerRegisterWindowServices(&kServices);
  return true;
}

void HeadlessPlayerStop() {
  PlayerRegisterWindowServices(nullptr);
  SoundDriverQuit();
  HeadlessAudioCaptureWav(nullptr);
  HeadlessPlayerDisplayStop();
  if (g_player.presents) std::fclose(g_player.presents);
  g_player.presents = nullptr;
}
