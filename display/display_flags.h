// The words a display buffer is opened with and reports back: the display
// flags (requested style, mode change, the kinds of scaling the destination
// size needs), the scaling capability bits of a style (same layout), the
// surface word the copy-out and the changed-rectangle query read, and the
// requested full-screen mode.
#pragma once
#include <cstdint>

// Display flags (the word given to DisplayBufferOpen).
// The low five bits request a blitting style (0 automatic, 1-10).
inline constexpr uint32_t DISPLAY_STYLE_MASK = 0x0000001Fu;
// Switch the screen to the DisplayRequest mode.
inline constexpr uint32_t DISPLAY_CHANGE_MODE = 0x00800000u;
// The highest blitting style a display buffer knows.
inline constexpr int32_t kDisplayStyleMax = 10;

// Scaling classes: what a destination size needs, and (same layout) what a
// style can do. A style accepts a request when every requested bit is among
// its capability bits.
inline constexpr uint32_t SCALE_HEIGHT_REDUCE = 0x01000000u;
inline constexpr uint32_t SCALE_HEIGHT_REDUCE_INTEGER = 0x02000000u;
inline constexpr uint32_t SCALE_HEIGHT_ENLARGE = 0x04000000u;
inline constexpr uint32_t SCALE_HEIGHT_ENLARGE_INTEGER = 0x08000000u;
inline constexpr uint32_t SCALE_WIDTH_REDUCE = 0x10000000u;
inline constexpr uint32_t SCALE_WIDTH_REDUCE_INTEGER = 0x20000000u;
inline constexpr uint32_t SCALE_WIDTH_ENLARGE = 0x40000000u;
inline constexpr uint32_t SCALE_WIDTH_ENLARGE_INTEGER = 0x80000000u;
inline constexpr uint32_t SCALE_BITS = 0xFF000000u;

// Surface word of an open buffer: the surface type (display/copy_flags.h) in
// the low four bits, and these.
// The surface is itself visible (the primary or an overlay): no blit
// rectangles are needed.
inline constexpr uint32_t SURFACE_DIRECT = 0x04000000u;
// The blit scales, so one bounding rectangle is enough.
inline constexpr uint32_t SURFACE_STRETCHED = 0x08000000u;
// The surface no longer holds the last picture: the next copy converts all
// of it (the same bit as COPY_ALL of the copy flags).
inline constexpr uint32_t SURFACE_COPY_ALL = 0x80000000u;

// The requested full-screen display mode (/D); all 0 when none.
struct DisplayRequest {
  int32_t width;
  int32_t height;
  int32_t depth_code;  // 8, 16, 24, 32, or 1-3 for the "try in order" codes
};
