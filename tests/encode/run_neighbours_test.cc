// The vector gather of a run scan must see exactly the equal neighbours the
// plain loop sees, on every scan, including the last pixel's missing next.
#include "encode/run_neighbours.h"

#include <gtest/gtest.h>

#include <random>

#include "video/scan_tables.h"

namespace {

TEST(RunNeighbours, VectorMatchesPlainOnEveryScan) {
  std::mt19937 rng(11);
  for (int t = 0; t < 2000; ++t) {
    uint8_t s[64];
    const uint32_t values = 1 + rng() % 4;  // few values: many equal neighbours
    for (uint8_t& v : s) v = uint8_t(rng() % values * 85);
    for (int scan = 0; scan < 16; ++scan) {
      const uint64_t plain = EqualNeighboursPlain(s, scan);
      ASSERT_EQ(EqualNeighbours(s, scan), plain) << "block " << t << " scan " << scan;
      ASSERT_EQ(plain >> 63, 0u);
      for (int i = 0; i < 63; i += 21)
        ASSERT_EQ((plain >> i) & 1, uint64_t(s[RUN_SCANS[scan][i]] == s[RUN_SCANS[scan][i + 1]]));
    }
  }
}

}  // namespace
