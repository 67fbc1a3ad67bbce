// Screen metrics, the display mode of the GDI path, the cursor and window
// geometry on SDL2. SDL draws the mouse cursor outside the window's pixels,
// so the cursor probe always finds a cursor that writes do not disturb.
#include <SDL2/SDL.h>

#include "display/screen_services.h"
#include "platform/sdl/sdl_display_services.h"

struct PlatformCursor {
  int unused;
};

namespace {

PlatformCursor g_arrow{};
PlatformCursor* g_cursor = &g_arrow;
int32_t g_cursor_count = 0;    // our display count: the cursor shows at 0 and above
SdlWindow* g_mode_window = nullptr;  // the window a GDI mode change made full screen

int32_t GetSystemMetrics(int32_t index) {
  SDL_DisplayMode m{};
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN:
      if (SDL_GetCurrentDisplayMode(0, &m) != 0) return 0;
      return index == SM_CXSCREEN ? m.w : m.h;
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_MOUSEPRESENT: return 1;
    default: return 0;
  }
}

// A mode of the display with this size (and depth, when asked), or false.
bool FindMode(uint32_t fields, const DevMode* want, SDL_DisplayMode* found) {
  int n = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < n; ++i) {
    SDL_DisplayMode m{};
    if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
    if ((fields & DM_PELSWIDTH) && uint32_t(m.w) != want->pels_width) continue;
    if ((fields & DM_PELSHEIGHT) && uint32_t(m.h) != want->pels_height) continue;
    if ((fields & DM_BITSPERPEL) && SDL_BYTESPERPIXEL(m.format) * 8 != want->bits_per_pel) continue;
    *found = m;
    return true;
  }
  return false;
}

// SDL changes modes through a full-screen window: the one that shows the
// screen's pixels.
int32_t ChangeDisplaySettings(const DevMode* mode, uint32_t flags) {
  if (!mode) {
    if (g_mode_window) SdlWindowSetFullScreen(g_mode_window, false);
    g_mode_window = nullptr;
    return DISP_CHANGE_SUCCESSFUL;
  }
  SdlWindow* w = SdlShowingWindow();
  if (!w) w = SdlWindowAt(0);
  if (!w) return DISP_CHANGE_FAILED;
  SDL_DisplayMode m{};
  if (!FindMode(mode->fields, mode, &m)) {
    // A depth the driver does not offer is refused; a size alone falls back
    // to full screen at the desktop's mode.
    if (mode->fields & DM_BITSPERPEL) return DISP_CHANGE_BADMODE;
    if (SDL_GetDesktopDisplayMode(0, &m) != 0) return DISP_CHANGE_FAILED;
  }
  if (SDL_SetWindowDisplayMode(w->window, &m) != 0 || !SdlWindowSetFullScreen(w, true)) return DISP_CHANGE_FAILED;
  g_mode_window = w;
  return DISP_CHANGE_SUCCESSFUL;
}

int32_t ShowCursor(int show) {
  g_cursor_count += show ? 1 : -1;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(g_cursor_count >= 0 && g_cursor ? SDL_ENABLE : SDL_DISABLE);
  return g_cursor_count;
}

int GetCursorPos(DisplayPoint* point) {
  int x = 0, y = 0;
  SDL_GetGlobalMouseState(&x, &y);
  point->x = x;
  point->y = y;
  return 1;
}

PlatformCursor* SetCursor(PlatformCursor* cursor) {
  PlatformCursor* old = g_cursor;
  g_cursor = cursor;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(g_cursor_count >= 0 && cursor ? SDL_ENABLE : SDL_DISABLE);
  return old;
}

PlatformCursor* GetWindowCursor(PlatformWindow*) { return &g_arrow; }

int GetWindowRect(PlatformWindow* window, DisplayRect* rect) {
  SdlWindow* w = SdlWindowOf(window);
  if (!w) return 0;
  SdlRect r = SdlWindowGetRect(w);
  *rect = {r.x, r.y, r.x + r.width, r.y + r.height};
  return 1;
}

int GetClientRect(PlatformWindow* window, DisplayRect* rect) {
  SdlWindow* w = SdlWindowOf(window);
  if (!w) return 0;
  SdlRect r = SdlWindowGetClient(w);
  *rect = {0, 0, r.width, r.height};
  return 1;
}

int ClientToScreen(PlatformWindow* window, DisplayPoint* point) {
  SdlWindow* w = SdlWindowOf(window);
  if (!w) return 0;
  SdlRect r = SdlWindowGetClient(w);
  point->x += r.x;
  point->y += r.y;
  return 1;
}

int IsIconic(PlatformWindow* window) {
  SdlWindow* w = SdlWindowOf(window);
  return w && SdlWindowIsMinimised(w);
}

int IsWindowVisible(PlatformWindow* window) {
  SdlWindow* w = SdlWindowOf(window);
  return w && SdlWindowIsVisible(w);
}

PlatformWindow* CreateProbeWindow(const DisplayRect* rect, PlatformCursor*) {
  SdlWindowParams p{};
  p.title = "";
  p.x = rect->left;
  p.y = rect->top;
  p.width = uint32_t(rect->right - rect->left);
  p.height = uint32_t(rect->bottom - rect->top);
  p.frame = SDL_WINDOW_FRAME_NONE;
  p.always_on_top = true;
  SdlWindow* w = SdlWindowCreate(&p);
  if (w) SDL_PumpEvents();
  return SdlPlatformWindow(w);
}

void DestroyProbeWindow(PlatformWindow* window) { SdlWindowDestroy(SdlWindowOf(window)); }

}  // namespace

const ScreenServices kSdlScreenServices = {
    GetSystemMetrics, ChangeDisplaySettings, ShowCursor, GetCursorPos,     SetCursor,
    GetWindowCursor,  GetWindowRect,         GetClientRect, ClientToScreen, IsIconic,
    IsWindowVisible,  CreateProbeWindow,     DestroyProbeWindow,
};
