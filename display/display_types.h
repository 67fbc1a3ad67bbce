// Handles and geometry shared by the display services (display_driver.h).
//
// Handles are opaque: display/ only declares them. Each backend defines its
// own struct behind them (platform/sdl, platform/headless) and casts; a
// handle from one backend is never handed to another.
#pragma once
#include <cstdint>

struct PlatformWindow;  // a top-level window (the player's, or a probe window)
struct PlatformCursor;  // a mouse cursor shape
struct PlatformDC;      // a drawing context: a window's, the screen's, or a memory one
struct PlatformBitmap;  // a bitmap that can be selected into a memory DC
struct DDObject;        // the DirectDraw object
struct DDSurface;       // a DirectDraw surface (primary, overlay, off-screen)
struct DDClipper;       // a DirectDraw clipper

// Rectangles run from (left, top) inclusive to (right, bottom) exclusive.
struct DisplayRect {
  int32_t left, top, right, bottom;
};
struct DisplayPoint {
  int32_t x, y;
};
struct DisplaySize {
  int32_t cx, cy;
};

// A GDI colour: 0x00BBGGRR.
using ColourRef = uint32_t;
inline constexpr ColourRef MakeColourRef(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
inline constexpr ColourRef CLR_INVALID = 0xFFFFFFFFu;
