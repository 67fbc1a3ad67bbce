// The SDL2 window: creation with the player's window styles, full screen,
// windows of another program (by X11 window id), and the window geometry the
// display buffer and the player work with (outer rectangle, client area,
// client origin on the screen). The renderer and what is drawn in the window
// belong to sdl_display.h.
#pragma once
#include <cstdint>

struct SDL_Window;
struct SdlScreen;

// Frame kinds of a created window.
enum SdlWindowFrame : uint32_t {
  SDL_WINDOW_FRAME_CAPTION = 0,  // title bar and border
  SDL_WINDOW_FRAME_THIN = 1,     // no caption (the window manager's borderless window)
  SDL_WINDOW_FRAME_NONE = 2,     // nothing around the client area
};

struct SdlWindowParams {
  const char* title;
  int32_t x, y;               // client area's top-left corner on the screen; INT32_MIN: the system's choice
  uint32_t width, height;     // client area size (at least 1)
  uint32_t frame;             // SdlWindowFrame
  bool always_on_top;
  bool full_screen;           // cover the whole display (desktop mode unless a mode is set later)
  bool hidden;                // created hidden; SdlWindowShow shows it
  uint64_t foreign_window;    // non-zero: draw into this X11 window instead of creating one
};

struct SdlWindow {
  SDL_Window* window;
  SdlScreen* screen;          // renderer and composition, made by sdl_display on first use
  uint32_t frame;
  bool foreign;               // wraps another program's window (not destroyed with ours)
  bool full_screen;
  uint32_t id;                // SDL's window id, for matching events
};

// Starts SDL's video subsystem (counted; each successful call is matched by
// SdlVideoStop). Returns false with the error text set. Video stays up when
// the count drops to 0, until SdlVideoShutdown at the program's end.
bool SdlVideoStart();
void SdlVideoStop();
void SdlVideoShutdown();

// Creates the window; null with the error text set on failure.
SdlWindow* SdlWindowCreate(const SdlWindowParams* params);
// Destroys the window and what sdl_display made for it.
void SdlWindowDestroy(SdlWindow* window);
void SdlWindowShow(SdlWindow* window, bool shown);
bool SdlWindowIsVisible(const SdlWindow* window);
bool SdlWindowIsMinimised(const SdlWindow* window);

// Geometry in screen pixels.
struct SdlRect {
  int32_t x, y;
  int32_t width, height;
};
// Outer rectangle (frame included) on the screen.
SdlRect SdlWindowGetRect(const SdlWindow* window);
// Client area: origin on the screen and size.
SdlRect SdlWindowGetClient(const SdlWindow* window);
// Frame sizes around the client area (0 where the window manager draws none).
void SdlWindowGetBorders(const SdlWindow* window, int32_t* left, int32_t* top, int32_t* right,
                         int32_t* bottom);
// Places the outer rectangle's corner at (x, y).
void SdlWindowSetPosition(SdlWindow* window, int32_t x, int32_t y);
// Resizes the client area.
void SdlWindowSetClientSize(SdlWindow* window, uint32_t width, uint32_t height);
void SdlWindowSetAlwaysOnTop(SdlWindow* window, bool on_top);
// Full screen at the display's desktop mode, or back to a window.
bool SdlWindowSetFullScreen(SdlWindow* window, bool full_screen);

// The windows alive, by index 0 up to the first null.
SdlWindow* SdlWindowAt(int index);
// The window of an SDL window id (events carry it), or null.
SdlWindow* SdlWindowFromId(uint32_t id);

// The last failure's text.
const char* SdlWindowError();
