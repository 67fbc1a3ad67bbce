// The player's window table on SDL2.
#include "platform/sdl/sdl_player.h"

#include <SDL2/SDL.h>

#include <cstdio>

#include "platform/sdl/sdl_display_driver.h"
#include "platform/sdl/sdl_events.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/sdl_audio.h"
#include "sound/sound_drivers.h"

namespace {

struct PlayerWindow {
  SdlWindow* sdl;
  PlatformWindow* handle;
  WindowProc proc;
};

PlayerWindow g_window;

constexpr int kQueueSize = 64;
WindowMessage g_queue[kQueueSize];
int g_head = 0, g_count = 0;

void Queue(const WindowMessage& m) {
  if (g_count == kQueueSize) return;  // a full queue drops the newest
  g_queue[(g_head + g_count) % kQueueSize] = m;
  ++g_count;
}

bool Unqueue(WindowMessage* m) {
  if (g_count == 0) return false;
  *m = g_queue[g_head];
  g_head = (g_head + 1) % kQueueSize;
  --g_count;
  return true;
}

PlatformWindow* CreatePlayerWindow(const WindowCreateParams* params) {
  if (g_window.sdl) return nullptr;  // one window
  SdlWindowParams p{};
  p.title = params->title;
  p.x = params->x == kDefaultWindowPosition ? INT32_MIN : params->x;
  p.y = params->y == kDefaultWindowPosition ? INT32_MIN : params->y;
  p.width = uint32_t(params->width > 0 ? params->width : 1);
  p.height = uint32_t(params->height > 0 ? params->height : 1);
  if (params->style & WS_CAPTION) p.frame = SDL_WINDOW_FRAME_CAPTION;
  else if (params->ex_style & WS_EX_DLGMODALFRAME) p.frame = SDL_WINDOW_FRAME_THIN;
  else p.frame = SDL_WINDOW_FRAME_NONE;
  p.always_on_top = (params->ex_style & WS_EX_TOPMOST) != 0;
  p.hidden = true;
  p.foreign_window = (params->style & WS_CHILD) ? params->owner : 0;
  SdlWindow* w = SdlWindowCreate(&p);
  if (!w) return nullptr;
  g_window = PlayerWindow{w, SdlDisplayWindowHandle(w), params->proc};
  if (params->invisible_cursor) SDL_ShowCursor(SDL_DISABLE);
  return g_window.handle;
}

void DestroyPlayerWindow(PlatformWindow* window) {
  if (!g_window.sdl || window != g_window.handle) return;
  PlayerWindow w = g_window;
  g_window = PlayerWindow{};
  if (w.proc) w.proc(window, WM_DESTROY, 0, 0);
  SdlWindowDestroy(w.sdl);
}

void SetPlayerWindowPos(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!g_window.sdl || window != g_window.handle) return;
  WindowPos pos{x, y, width, height, 0};
  if (g_window.proc) g_window.proc(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<intptr_t>(&pos));
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  SdlWindowGetBorders(g_window.sdl, &left, &top, &right, &bottom);
  int32_t cw = pos.cx - left - right, ch = pos.cy - top - bottom;
  SdlWindowSetClientSize(g_window.sdl, uint32_t(cw > 1 ? cw : 1), uint32_t(ch > 1 ? ch : 1));
  SdlWindowSetPosition(g_window.sdl, pos.x, pos.y);
  if (g_window.proc) g_window.proc(window, WM_WINDOWPOSCHANGED, 0, 0);
}

void ShowPlayerWindow(PlatformWindow* window, bool shown) {
  if (g_window.sdl && window == g_window.handle) SdlWindowShow(g_window.sdl, shown);
}

void InvalidatePlayerWindow(PlatformWindow* window) { Queue(WindowMessage{window, WM_PAINT, 0, 0}); }

bool PeekPlayerMessage(WindowMessage* m) {
  if (Unqueue(m)) return true;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (!g_window.sdl) continue;
    WindowMessage out[3];
    int n = TranslateSdlEvent(e, g_window.handle, out);
    for (int i = 0; i < n; ++i) Queue(out[i]);
    if (Unqueue(m)) return true;
  }
  return false;
}

void PostPlayerQuit(int code) { Queue(WindowMessage{nullptr, WM_QUIT, uintptr_t(code), 0}); }

void PresentPlayerWindow(PlatformWindow*, uint32_t) { SdlDisplayPresent(); }

bool ParentClientSize(uint64_t parent, int32_t* width, int32_t* height) {
  SDL_Window* w = SDL_CreateWindowFrom(reinterpret_cast<const void*>(uintptr_t(parent)));
  if (!w) return false;
  SDL_GetWindowSize(w, width, height);
  SDL_DestroyWindow(w);
  return true;
}

int PlayerMessageBox(PlatformWindow* owner, const char* text, const char* caption, uint32_t type) {
  uint32_t flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  SDL_Window* parent = (g_window.sdl && owner == g_window.handle) ? g_window.sdl->window : nullptr;
  if ((type & 0xF) == MB_YESNO) {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
    };
    SDL_MessageBoxData data{flags, parent, caption, text, 2, buttons, nullptr};
    int answer = IDNO;
    if (SDL_ShowMessageBox(&data, &answer) == 0) return answer;
    std::printf("%s\n%s\n", caption, text);
    return IDNO;
  }
  if (SDL_ShowSimpleMessageBox(flags, caption, text, parent) != 0) std::printf("%s\n%s\n", caption, text);
  return IDOK;
}

void OpenPlayerUrl(const char* url) {
  if (SDL_OpenURL(url) != 0) std::printf("open %s\n", url);
}

const WindowServices kServices = {
    CreatePlayerWindow, DestroyPlayerWindow, SetPlayerWindowPos, ShowPlayerWindow, InvalidatePlayerWindow,
    PeekPlayerMessage,  PostPlayerQuit,      PresentPlayerWindow, ParentClientSize, PlayerMessageBox,
    OpenPlayerUrl,      false,
};

}  // namespace

bool SdlPlayerStart() {
  if (!SdlDisplayRegister()) return false;
  PlatformRegisterSoundDrivers();
  SoundSelectDriver("sdl");
  PlayerRegisterWindowServices(&kServices);
  return true;
}

void SdlPlayerStop() {
  PlayerRegisterWindowServices(nullptr);
  SoundDriverQuit();
  SdlDisplayUnregister();
}

const char* SdlPlayerError() { return SdlWindowError(); }
