#include "platform/sdl/sdl_window.h"

#include <SDL2/SDL.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/sdl/sdl_display.h"

namespace {

char g_error[256];
int g_video_users = 0;

// Windows alive, so events can be matched to them by id.
constexpr int kMaxWindows = 16;
SdlWindow* g_windows[kMaxWindows];

void SetError(const char* what) {
  std::snprintf(g_error, sizeof g_error, "%s: %s", what, SDL_GetError());
}

bool Register(SdlWindow* w) {
  for (SdlWindow*& slot : g_windows) {
    if (!slot) {
      slot = w;
      return true;
    }
  }
  return false;
}

void Unregister(SdlWindow* w) {
  for (SdlWindow*& slot : g_windows) {
    if (slot == w) slot = nullptr;
  }
}

}  // namespace

const char* SdlWindowError() { return g_error; }

bool SdlVideoStart() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      SetError("Unable to start the video system");
      return false;
    }
  }
  ++g_video_users;
  return true;
}

// SDL's X11 driver, stopped and started again at once, now and then fails
// to find its display: once started, video stays up until the program ends.
void SdlVideoStop() {
  if (g_video_users > 0) --g_video_users;
}

void SdlVideoShutdown() {
  if (g_video_users == 0 && SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

SdlWindow* SdlWindowCreate(const SdlWindowParams* p) {
  if (!p || (!p->foreign_window && (p->width == 0 || p->height == 0))) {
    std::snprintf(g_error, sizeof g_error, "Error creating window.");
    return nullptr;
  }
  if (!SdlVideoStart()) return nullptr;
  auto* w = static_cast<SdlWindow*>(std::calloc(1, sizeof(SdlWindow)));
  if (!w) {
    std::snprintf(g_error, sizeof g_error, "Out of memory.");
    SdlVideoStop();
    return nullptr;
  }
  if (p->foreign_window) {
    // The window belongs to another program (a preview pane, an embedding
    // host): we draw into it and follow its size, nothing more.
    w->window = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<uintptr_t>(p->foreign_window)));
    w->foreign = true;
    w->frame = SDL_WINDOW_FRAME_NONE;
  } else {
    uint32_t flags = p->hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    if (p->frame != SDL_WINDOW_FRAME_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
    if (p->always_on_top) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    if (p->full_screen) flags |= SDL_WINDOW_FULLSCREEN;
    int x = p->x == INT32_MIN ? SDL_WINDOWPOS_UNDEFINED : p->x;
    int y = p->y == INT32_MIN ? SDL_WINDOWPOS_UNDEFINED : p->y;
    w->window = SDL_CreateWindow(p->title ? p->title : "", x, y, static_cast<int>(p->width),
                                 static_cast<int>(p->height), flags);
    w->frame = p->frame > SDL_WINDOW_FRAME_NONE ? SDL_WINDOW_FRAME_NONE : p->frame;
    w->full_screen = p->full_screen;
  }
  if (!w->window) {
    SetError("Error creating window.");
    std::free(w);
    SdlVideoStop();
    return nullptr;
  }
  w->id = SDL_GetWindowID(w->window);
  if (!Register(w)) {
    std::snprintf(g_error, sizeof g_error, "Error creating window: too many windows.");
    if (!w->foreign) SDL_DestroyWindow(w->window);
    std::free(w);
    SdlVideoStop();
    return nullptr;
  }
  return w;
}

void SdlWindowDestroy(SdlWindow* w) {
  if (!w) return;
  SdlScreenDestroy(w);
  Unregister(w);
  // A foreign window is only released by SDL: SDL_DestroyWindow on a window
  // made by SDL_CreateWindowFrom leaves the other program's window alone.
  SDL_DestroyWindow(w->window);
  std::free(w);
  SdlVideoStop();
}

void SdlWindowShow(SdlWindow* w, bool shown) {
  if (shown)
    SDL_ShowWindow(w->window);
  else
    SDL_HideWindow(w->window);
}

bool SdlWindowIsVisible(const SdlWindow* w) {
  uint32_t f = SDL_GetWindowFlags(w->window);
  return (f & SDL_WINDOW_SHOWN) && !(f & SDL_WINDOW_MINIMIZED) && !(f & SDL_WINDOW_HIDDEN);
}

bool SdlWindowIsMinimised(const SdlWindow* w) {
  return (SDL_GetWindowFlags(w->window) & SDL_WINDOW_MINIMIZED) != 0;
}

void SdlWindowGetBorders(const SdlWindow* w, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) {
  int t = 0, l = 0, b = 0, r = 0;
  // Without a window manager (or for a borderless window) SDL reports an
  // error and no sizes: there is no frame then.
  if (w->frame == SDL_WINDOW_FRAME_NONE || w->full_screen || SDL_GetWindowBordersSize(w->window, &t, &l, &b, &r) != 0)
    t = l = b = r = 0;
  *left = l;
  *top = t;
  *right = r;
  *bottom = b;
}

SdlRect SdlWindowGetClient(const SdlWindow* w) {
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(w->window, &x, &y);
  SDL_GetWindowSize(w->window, &width, &height);
  return {x, y, width, height};
}

SdlRect SdlWindowGetRect(const SdlWindow* w) {
  SdlRect c = SdlWindowGetClient(w);
  int32_t l, t, r, b;
  SdlWindowGetBorders(w, &l, &t, &r, &b);
  return {c.x - l, c.y - t, c.width + l + r, c.height + t + b};
}

void SdlWindowSetPosition(SdlWindow* w, int32_t x, int32_t y) {
  int32_t l, t, r, b;
  SdlWindowGetBorders(w, &l, &t, &r, &b);
  SDL_SetWindowPosition(w->window, x + l, y + t);
}

void SdlWindowSetClientSize(SdlWindow* w, uint32_t width, uint32_t height) {
  if (width == 0 || height == 0 || w->foreign) return;
  SDL_SetWindowSize(w->window, static_cast<int>(width), static_cast<int>(height));
}

void SdlWindowSetAlwaysOnTop(SdlWindow* w, bool on_top) {
  SDL_SetWindowAlwaysOnTop(w->window, on_top ? SDL_TRUE : SDL_FALSE);
}

bool SdlWindowSetFullScreen(SdlWindow* w, bool full_screen) {
  if (SDL_SetWindowFullscreen(w->window, full_screen ? SDL_WINDOW_FULLSCREEN : 0) != 0) {
    SetError("Unable to change the display mode");
    return false;
  }
  w->full_screen = full_screen;
  return true;
}

SdlWindow* SdlWindowAt(int index) {
  for (SdlWindow* w : g_windows) {
    if (w && index-- == 0) return w;
  }
  return nullptr;
}

SdlWindow* SdlWindowFromId(uint32_t id) {
  for (SdlWindow* w : g_windows) {
    if (w && w->id == id) return w;
  }
  return nullptr;
}
