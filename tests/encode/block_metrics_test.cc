// The vector block metrics against plain loops, on random areas with a
// pitch wider than the block, extremes included.
#include "encode/block_metrics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

TEST(BlockMetrics, MatchPlainLoops) {
  std::mt19937 rng(13);
  constexpr int kPitch = 40;
  for (int t = 0; t < 500; ++t) {
    uint8_t area[16 * kPitch], block[64];
    const int spread = t % 3 == 0 ? 256 : 1 + int(rng() % 16);  // noise, or near-flat cells
    const int base = int(rng() % 256);
    for (uint8_t& v : area) v = uint8_t(spread == 256 ? rng() % 256 : (base + int(rng() % uint32_t(spread))) % 256);
    for (uint8_t& v : block) v = uint8_t(rng() % 256);
    if (t == 0)
      for (int i = 0; i < 64; ++i) area[(i / 8) * kPitch + i % 8] = 255, block[i] = 0;

    uint64_t sad = 0, sse = 0, scaled = 0, floor = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const int d = int(block[y * 8 + x]) - int(area[y * kPitch + x]);
        sad += uint64_t(std::abs(d));
        sse += uint64_t(d * d);
        int sum = 0;
        for (int k = 0; k < 4; ++k) sum += area[(2 * y + k / 2) * kPitch + 2 * x + k % 2];
        const int mean = (sum + 2) / 4;
        for (int k = 0; k < 4; ++k) {
          const int p = area[(2 * y + k / 2) * kPitch + 2 * x + k % 2];
          floor += uint64_t((p - mean) * (p - mean));
          scaled += uint64_t((p - block[y * 8 + x]) * (p - block[y * 8 + x]));
        }
      }
    ASSERT_EQ(BlockSad(block, area, kPitch), sad) << t;
    ASSERT_EQ(BlockSse(area, kPitch, block), sse) << t;
    ASSERT_EQ(ScaledSse(area, kPitch, block), scaled) << t;
    ASSERT_EQ(ScaledSseFloor(area, kPitch), floor) << t;
  }
}

}  // namespace
