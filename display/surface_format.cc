// Surface types of DirectDraw pixel formats, and filling a surface black.
#include <cstddef>
#include <cstring>

#include "display/copy_flags.h"
#include "display/display_buffer.h"

int32_t SurfaceTypeOfPixelFormat(const DDPixelFormat& f) {
  if (f.flags & DDPF_FOURCC) {
    if (f.fourcc == FOURCC_UYVY) return SURFACE_UYVY;
    if (f.fourcc == FOURCC_YV12) return SURFACE_YV12;
    if (f.fourcc == FOURCC_YUY2) return SURFACE_YUY2;
    return -1;
  }
  uint32_t alpha = (f.flags & DDPF_ALPHAPIXELS) ? f.alpha_mask : 0;
  uint32_t r = f.red_mask, g = f.green_mask, b = f.blue_mask;
  switch (f.rgb_bit_count) {
    case 8: return SURFACE_RGB332;
    case 24: return r == 0xFF0000u ? SURFACE_BGR24 : SURFACE_RGB24;
    case 32:
      if (!alpha) return r == 0xFF0000u ? SURFACE_XRGB32 : SURFACE_XBGR32;
      return r == 0xFF0000u ? SURFACE_ARGB32 : SURFACE_ABGR32;
    default: break;
  }
  if (r == 0xF800u && g == 0x7E0u && b == 0x1Fu) return SURFACE_RGB565;
  if (r == 0x7C00u && g == 0x3E0u && b == 0x1Fu) return alpha == 0x8000u ? SURFACE_ARGB1555 : SURFACE_RGB555;
  if (r == 0xFC00u && g == 0x3E0u && b == 0x1Fu) return SURFACE_RGB655;
  if (r == 0xFC00u && g == 0x3F0u && b == 0xFu) return SURFACE_RGB664;
  if (alpha == 0xF000u && r == 0xF00u && g == 0xF0u && b == 0xFu) return SURFACE_ARGB4444;
  return -1;
}

int32_t SurfaceTypeFromFormat(DDSurface* surface) {
  const DisplayDriver* d = DisplayGetDriver();
  if (!surface || !d || !d->ddraw) return -1;
  DDPixelFormat format{};
  if (d->ddraw->GetPixelFormat(surface, &format) != DD_OK) return -1;
  return SurfaceTypeOfPixelFormat(format);
}

namespace {

uint32_t RgbBytes(uint32_t type) {
  if (type == SURFACE_RGB332) return 1;
  if (type <= SURFACE_RGB24) return 3;
  if (type <= SURFACE_ABGR32) return 4;
  return 2;
}

// Pixel pairs of a packed YUV surface: `pair` per two pixels, its first two
// bytes for an odd last pixel.
void FillPairs(uint8_t* row, uint32_t width, const uint8_t pair[4]) {
  uint32_t x = 0;
  for (; x + 1 < width; x += 2, row += 4) memcpy(row, pair, 4);
  if (x < width) memcpy(row, pair, 2);
}

}  // namespace

void FillSurfaceBlack(uint32_t surface_word, uint8_t* pointer, int32_t pitch, uint32_t width, uint32_t height) {
  if (!pointer) return;
  uint32_t type = surface_word & COPY_TYPE_MASK;
  static constexpr uint8_t kYuy2[4] = {0x00, 0x80, 0x00, 0x80};
  static constexpr uint8_t kUyvy[4] = {0x80, 0x00, 0x80, 0x00};
  if (type == SURFACE_YV12) {
    for (uint32_t y = 0; y < height; ++y) memset(pointer + ptrdiff_t(y) * pitch, 16, width);
    uint8_t* chroma = pointer + ptrdiff_t(height) * pitch;
    int32_t half = pitch / 2;
    for (uint32_t plane = 0; plane < 2; ++plane)
      for (uint32_t y = 0; y < height / 2; ++y, chroma += half) memset(chroma, 128, width / 2);
    return;
  }
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = pointer + ptrdiff_t(y) * pitch;
    if (type == SURFACE_YUY2) {
      FillPairs(row, width, kYuy2);
    } else if (type == SURFACE_UYVY) {
      FillPairs(row, width, kUyvy);
    } else {
      // Every RGB type is black at zero (the alpha types included, so no
      // stale memory reaches the screen).
      memset(row, 0, size_t(width) * RgbBytes(type));
    }
  }
}
