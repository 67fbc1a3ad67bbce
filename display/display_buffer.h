// The display buffer: the surface the player copies each decoded frame into
// and from which the picture reaches its window, by one of ten blitting
// styles:
//   1 the DirectDraw primary surface itself (no scaling)
//   2 a GDI DIB section blitted with StretchBlt (any scaling)
//   3-5 YV12, YUY2, UYVY overlays; 6-8 the same as off-screen surfaces
//   9, 10 RGB off-screen surfaces in video or system memory
// DisplayBufferOpen takes a requested style or tries 1, 2, 3 ... 10 in turn,
// and reports in its surface word the surface type the copy-out must
// produce. The buffer also keeps the window's geometry so the player can
// size and place its window and the picture in it.
//
// Before the first open, a requested full-screen mode is handed over with
// DisplaySetRequest (display_shared.h) and the open asked for it with
// DISPLAY_CHANGE_MODE. Per frame: DisplayBufferLock, CopyFrameToSurface(...,
// surface, pitch, destination height = the buffer's height, ..., copy flags |
// surface_word), DisplayBufferUnlock, DisplayBufferBlit of the changed
// rectangles (none for SURFACE_DIRECT, the whole picture on a repaint).
// Single-threaded (the player's thread).
#pragma once
#include <cstdint>

#include "display/display_driver.h"
#include "display/display_flags.h"

struct DisplayBuffer {
  uint32_t width, height;                // the picture
  uint32_t window_width, window_height;  // outer window size for the destination size
  uint32_t surface_word;                 // type | SURFACE_DIRECT | SURFACE_STRETCHED | SURFACE_COPY_ALL
  uint8_t* surface;                      // valid between lock and unlock, else null
  int32_t pitch;
  int32_t client_x, client_y;            // client origin relative to the window's corner
  uint32_t screen_width, screen_height, screen_bits;
  int32_t extra_width, extra_height;     // window size minus client size
  uint32_t caps;                         // the style's scaling capability bits
  uint32_t dest_width, dest_height;      // the size the picture is shown at
  DDSurface* dd_surface;                 // primary, overlay or off-screen (DirectDraw styles)
  DDClipper* clipper;
  int32_t screen_x, screen_y;            // the picture's top-left corner on the screen
  int32_t offset_x, offset_y;            // the picture's place in the client area
  PlatformWindow* window;
  int32_t minimised;
  int32_t has_overlay, has_off_screen, overlay_shown;
  int32_t software_cursor, cursor_hidden;
  uint8_t* locked_bits;                  // what the surface lock returned
  uint32_t style;
  int32_t clamp_to_screen;               // primary style
  int32_t holds_ddraw, holds_mode;       // shared references to give back
  // DIB section.
  PlatformBitmap* dib;
  uint8_t* dib_bits;
  int32_t dib_pitch;
  struct BitmapInfo* dib_info;
  PlatformDC* memory_dc;
  PlatformBitmap* old_bitmap;
};

// Error texts of a failed open.
inline constexpr const char kDisplayErrorNoDirectDraw[] = "DirectDraw is not available";
inline constexpr const char kDisplayError256Colours[] = "256 color mode not supported.";
inline constexpr const char kDisplayErrorDibSection[] = "Unable to create DIBSection.";
inline constexpr const char kDisplayErrorVideoMode[] = "Video mode not supported.";
inline constexpr const char kDisplayErrorNoStyle[] = "No capable blitting style available.";
inline constexpr const char kDisplayErrorMemory[] = "Out of memory.";

// Opens a buffer for a width x height picture shown in window; flags are
// display flags (style, DISPLAY_CHANGE_MODE, SCALE_* bits of the wanted
// destination size). Null with DisplayBufferError's text on failure; every
// failure gives back what the open took.
DisplayBuffer* DisplayBufferOpen(PlatformWindow* window, uint32_t width, uint32_t height, uint32_t flags);
void DisplayBufferClose(DisplayBuffer* buffer);
// The text of the last failed open ("" when none).
const char* DisplayBufferError();

// 1 with surface and pitch set; 0 when the surface cannot be written now
// (minimised, or the lock failed; the next copy then converts everything).
int DisplayBufferLock(DisplayBuffer* buffer);
int DisplayBufferUnlock(DisplayBuffer* buffer);
// Rectangles are x, y, width, height in picture pixels; null with count 1
// is the whole picture; count 0 does nothing.
struct DisplayBlitRect {
  int32_t x, y, width, height;
};
void DisplayBufferBlit(DisplayBuffer* buffer, const DisplayBlitRect* rects, uint32_t count);
// Sets the destination size (0: the screen's); 1 when both sizes were taken.
int DisplayBufferSetScale(uint32_t width, DisplayBuffer* buffer, uint32_t height);
// Places the picture at (x, y) of the client area; 1 (0 for no buffer).
int DisplayBufferSetOffset(int32_t x, DisplayBuffer* buffer, int32_t y);
// Corrects a proposed window position so the picture stays on the screen
// (primary style) and starts 8-byte aligned there.
void DisplayBufferCheckPosition(int32_t* x, DisplayBuffer* buffer, int32_t* y);
// Fills the picture black; 0 when the lock fails.
int DisplayBufferClear(DisplayBuffer* buffer);
// The style's name (valid until the next call); null for no buffer.
const char* DisplayBufferStyleName(DisplayBuffer* buffer);

// The surface type of a DirectDraw surface's pixel format; -1 when none fits.
int32_t SurfaceTypeFromFormat(DDSurface* surface);
int32_t SurfaceTypeOfPixelFormat(const DDPixelFormat& format);
// Fills a surface of the word's type black.
void FillSurfaceBlack(uint32_t surface_word, uint8_t* pointer, int32_t pitch, uint32_t width, uint32_t height);
// Moves, shows (how 2), hides (how 1) or just follows (how 0) the overlay.
void OverlayPlacement(DisplayBuffer* buffer, int how);
