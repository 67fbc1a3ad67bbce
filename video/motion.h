// Motion compensation limits: a displaced source block must lie entirely
// inside the reference plane; offsets are whole pixels in -15..15.
#pragma once
#include <cstdint>

inline bool MotionSourceInside(uint32_t x, uint32_t y, int dx, int dy, uint32_t width, uint32_t height) {
  int64_t sx = int64_t(x) + dx, sy = int64_t(y) + dy;
  return sx >= 0 && sy >= 0 && sx + 8 <= int64_t(width) && sy + 8 <= int64_t(height);
}
