// The copy-flag word of a frame copy and the surface type codes in its low
// bits. The player ORs its display buffer's surface word into the flags; the
// copy adds the media file's display mode, swapped-chroma and grayscale bits.
#pragma once
#include <cstdint>

// Low four bits: the surface type the copy produces.
inline constexpr uint32_t COPY_TYPE_MASK = 0x0000000Fu;
// The alpha plane is read in place of the Y plane and the Y plane in place of
// the alpha plane; ignored when the frame has no alpha plane.
inline constexpr uint32_t COPY_ALPHA_AS_LUMA = 0x00000800u;
// Chroma plane 2 feeds the red difference and plane 1 the blue difference.
inline constexpr uint32_t COPY_SWAPPED_CHROMA = 0x00010000u;
// Both chroma inputs are the neutral value 128.
inline constexpr uint32_t COPY_GRAYSCALE = 0x00020000u;
// A late frame is copied all the same.
inline constexpr uint32_t COPY_NO_SKIP = 0x00080000u;
// The copy does not top up the read-ahead input.
inline constexpr uint32_t COPY_NO_READ_AHEAD = 0x00200000u;
// Display mode 0-7 (doubling, interlacing, half height).
inline constexpr uint32_t COPY_MODE_MASK = 0x70000000u;
inline constexpr uint32_t COPY_MODE_SHIFT = 28;
// Convert the whole rectangle even where the change map shows no change.
inline constexpr uint32_t COPY_ALL = 0x80000000u;
// The bits of the media file's open flags that every copy inherits.
inline constexpr uint32_t COPY_FROM_OPEN_FLAGS = 0x70030000u;

// Surface type codes.
enum SurfaceType : uint32_t {
  SURFACE_RGB332 = 0,       // 8-bit palette index: red bits 0-2, green 3-5, blue 6-7
  SURFACE_BGR24 = 1,        // memory order B, G, R
  SURFACE_RGB24 = 2,        // memory order R, G, B
  SURFACE_XRGB32 = 3,       // red at bit 16, blue at bit 0, top byte zero
  SURFACE_XBGR32 = 4,       // red at bit 0, blue at bit 16, top byte zero
  SURFACE_ARGB32 = 5,       // as 3 with alpha in the top byte
  SURFACE_ABGR32 = 6,       // as 4 with alpha in the top byte
  SURFACE_ARGB4444 = 7,
  SURFACE_ARGB1555 = 8,
  SURFACE_RGB555 = 9,
  SURFACE_RGB565 = 10,
  SURFACE_RGB655 = 11,
  SURFACE_RGB664 = 12,
  SURFACE_YUY2 = 13,        // per pixel pair Y0 U Y1 V
  SURFACE_UYVY = 14,        // per pixel pair U Y0 V Y1
  SURFACE_YV12 = 15,        // planar: Y, then V, then U at half pitch and height
};
inline constexpr uint32_t kSurfaceTypeCount = 16;

// Display modes of the COPY_MODE_MASK field.
enum CopyMode : uint32_t {
  COPY_MODE_NONE = 0,
  COPY_MODE_HEIGHT_DOUBLED = 1,
  COPY_MODE_HEIGHT_INTERLACED = 2,
  COPY_MODE_WIDTH_DOUBLED = 3,
  COPY_MODE_BOTH_DOUBLED = 4,
  COPY_MODE_WIDTH_DOUBLED_INTERLACED = 5,
  COPY_MODE_HALF_HEIGHT = 6,
  COPY_MODE_SAME_AS_NONE = 7,
};

inline constexpr uint32_t CopyModeOf(uint32_t flags) { return (flags & COPY_MODE_MASK) >> COPY_MODE_SHIFT; }
inline constexpr uint32_t CopyTypeOf(uint32_t flags) { return flags & COPY_TYPE_MASK; }
inline constexpr bool CopyModeDoublesWidth(uint32_t mode) { return mode >= 3 && mode <= 5; }
// Every source row goes to two consecutive destination rows.
inline constexpr bool CopyModeDoublesHeight(uint32_t mode) { return mode == 1 || mode == 4; }
// Destination rows are written every other row.
inline constexpr bool CopyModeInterlaces(uint32_t mode) { return mode == 2 || mode == 5 || mode == 6; }
