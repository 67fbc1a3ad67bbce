// The headless display's objects and the state its service files share.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/headless/headless_display.h"

struct PlatformCursor {
  uint32_t id;
};

struct PlatformWindow {
  int32_t x, y;                // window corner on the screen
  int32_t client_width, client_height;
  int32_t frame_side, frame_top;
  bool minimised, visible;
  bool probe;                  // the cursor probe's pop-up
  PlatformCursor* cursor;
};

// A bitmap: a DIB section, a compatible bitmap, or a memory DC's stock 1x1.
struct PlatformBitmap {
  uint32_t width, height;
  int32_t pitch;
  DDPixelFormat format;        // RGB only
  bool bottom_up;              // rows stored last row first
  bool stock;                  // a memory DC's own 1x1 bitmap (never deleted)
  std::vector<uint8_t> bytes;
};

enum class DCKind { kScreen, kWindow, kMemory };
struct PlatformDC {
  DCKind kind;
  PlatformWindow* window;      // kWindow
  PlatformBitmap* selected;    // kMemory
  PlatformBitmap stock;        // kMemory: the 1x1 bitmap it starts with
  ColourRef text_colour, back_colour;
  uint32_t align;
  int32_t stretch_mode;
};

struct DDObject {
  bool exclusive;
  bool mode_set;
};

struct DDClipper {
  PlatformWindow* window;
};

struct DDSurface {
  uint32_t caps;
  bool primary;
  uint32_t width, height;
  DDPixelFormat format;
  int32_t pitch;
  std::vector<uint8_t> bytes;  // not used by the primary (the screen's pixels)
  bool lost, locked;
  DDClipper* clipper;
  // Overlay.
  bool shown;
  DisplayRect src, dst;
  uint32_t key_low, key_high;
};

struct HeadlessState {
  HeadlessDisplayConfig config;
  uint32_t start_width, start_height, start_bits;  // the user's mode
  uint32_t width, height, bits;
  DDPixelFormat format;
  int32_t pitch;
  std::vector<uint8_t> pixels;
  std::vector<PlatformWindow*> windows;
  std::vector<DDSurface*> surfaces;  // every surface not released
  std::vector<PlatformCursor*> cursors;
  PlatformCursor arrow;
  // Cursor.
  int32_t cursor_x, cursor_y;
  int32_t cursor_count;
  PlatformCursor* cursor_shape;
  bool cursor_drawn;
  DisplayRect cursor_rect;
  std::vector<uint8_t> cursor_saved;
  // Counters.
  uint32_t set_display_mode_calls, change_settings_calls, ddraw_created, ddraw_open;
};

HeadlessState& Headless();

// Pixel formats and conversions.
DDPixelFormat FormatOfDepth(uint32_t bits, bool rgb555);
uint32_t ReadPixel(const uint8_t* at, uint32_t bytes);
void WritePixel(uint8_t* at, uint32_t bytes, uint32_t value);
uint32_t PixelToRgb(const DDPixelFormat& format, uint32_t value);
uint32_t RgbToPixel(const DDPixelFormat& format, uint32_t rgb);
// The colour at (x, y) of a surface in any format (FourCC included), as 0xRRGGBB.
uint32_t SurfaceRgbAt(const DDSurface& s, const uint8_t* bits, uint32_t x, uint32_t y);

// Screen changes: size and depth (contents black).
void ResizeScreen(uint32_t width, uint32_t height, uint32_t bits);
bool ModeOffered(uint32_t width, uint32_t height, uint32_t bits);
// The window's client rectangle on the screen.
DisplayRect ClientOnScreen(const PlatformWindow* window);
// Software cursor: take it off the screen / put it back where it belongs.
void EraseSoftwareCursor();
void DrawSoftwareCursor();

// Nearest-neighbour stretch of a source rectangle (read through `read`)
// into a destination rectangle of the screen, clipped to `clip` and the
// screen. The source rectangle lies inside the source.
// A source in the screen's own format is copied byte for byte instead:
// `same_format` gives its row 0 and pitch (negative for bottom-up rows).
using ReadRgb = uint32_t (*)(const void* source, uint32_t x, uint32_t y);
struct RawRows {
  const uint8_t* row0;
  int32_t pitch;
};
void StretchToScreen(const void* source, ReadRgb read, const DisplayRect& src, const DisplayRect& dst,
                     const DisplayRect* clip, const RawRows* same_format = nullptr);
bool SameFormat(const DDPixelFormat& a, const DDPixelFormat& b);

extern const ScreenServices kHeadlessScreenServices;
extern const GdiServices kHeadlessGdiServices;
extern const DirectDrawServices kHeadlessDirectDrawServices;
