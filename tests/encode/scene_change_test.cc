// The scene detector's thumbnail: area means of every plane, whole areas
// and those clipped at the picture's edges alike.
#include "encode/scene_change.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

int Mean(const std::vector<uint8_t>& p, uint32_t pitch, uint32_t pw, uint32_t ph, uint32_t x, uint32_t y, uint32_t n) {
  uint32_t sum = 0, count = 0;
  for (uint32_t r = y; r < y + n && r < ph; ++r)
    for (uint32_t c = x; c < x + n && c < pw; ++c) sum += p[r * pitch + c], ++count;
  return count ? int(sum / count) : 128;
}

TEST(SceneChange, ThumbnailHoldsTheAreaMeans) {
  for (const uint32_t size : {45u * 100 + 27, 5u * 100 + 3}) {  // the small one clips its only area
  const uint32_t w = size / 100, h = size % 100, cw = (w + 1) / 2, ch = (h + 1) / 2;
  std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch);
  uint32_t seed = 7;
  auto Next = [&] { return uint8_t((seed = seed * 1103515245u + 12345u) >> 24); };
  for (uint8_t& b : y) b = Next();
  for (uint8_t& b : u) b = Next();
  for (uint8_t& b : v) b = Next();
  SceneDetector d;
  SceneDetectorInit(&d, w, h);
  SceneDetectorScore(&d, y.data(), int(w), u.data(), v.data(), int(cw));
  const size_t cells = size_t(d.cols) * d.rows;
  for (uint32_t r = 0; r < d.rows; ++r)
    for (uint32_t c = 0; c < d.cols; ++c) {
      const size_t at = r * d.cols + c;
      EXPECT_EQ(d.last[at], Mean(y, w, w, h, c * 8, r * 8, 8)) << r << "," << c;
      EXPECT_EQ(d.last[cells + at], 2 * Mean(u, cw, cw, ch, c * 4, r * 4, 4)) << r << "," << c;
      EXPECT_EQ(d.last[2 * cells + at], 2 * Mean(v, cw, cw, ch, c * 4, r * 4, 4)) << r << "," << c;
    }
  }
}

}  // namespace
