// The dequantisation tables are stored as constant data; this rebuilds both
// from their defining rule (weights, steps, scale factors and the listed
// entries that sit one above the rounded value) and compares every entry.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "video/quant_tables.h"

namespace {

const int kIntraWeights[64] = {
    16, 16, 16, 19, 16, 19, 22, 22, 22, 22, 26, 24, 26, 22, 22, 27, 27, 27, 26, 26, 26, 29,
    29, 29, 27, 27, 27, 26, 34, 34, 34, 29, 29, 29, 27, 27, 37, 34, 34, 32, 32, 29, 29, 38,
    37, 35, 35, 34, 35, 40, 40, 40, 38, 38, 48, 48, 46, 46, 58, 56, 56, 69, 69, 83};
const int kInterWeights[64] = {
    16, 17, 17, 18, 18, 18, 19, 19, 19, 19, 20, 20, 20, 20, 20, 21, 21, 21, 21, 21, 21, 22,
    22, 22, 22, 22, 22, 22, 23, 23, 23, 23, 23, 23, 23, 23, 24, 24, 24, 25, 24, 24, 24, 25,
    26, 26, 26, 26, 25, 27, 27, 27, 27, 27, 28, 28, 28, 28, 30, 30, 30, 31, 31, 33};
const double kSteps[16] = {1,       4.0 / 3, 5.0 / 3, 2,  8.0 / 3, 3.5, 4,  5,
                           6,       8,       12,      17, 22,      28,  34, 44};

using Bumps = std::map<int, std::vector<int>>;
const Bumps kIntraBumps = {
    {5, {33}},
    {6, {48, 53}},
    {7, {10, 21, 42}},
    {9, {8, 24, 35}},
    {10, {25, 48}},
    {11, {2, 6, 20, 24, 28, 33, 35}},
    {12, {37, 40, 51, 59}},
    {13, {2, 11, 12, 20, 29, 31, 48, 60}},
    {14, {1, 10, 11, 17, 18, 19, 21, 25, 26, 29, 42}},
    {15, {21, 42, 44, 46, 48}}};
const Bumps kInterBumps = {{0, {18}},
                           {1, {27}},
                           {3, {33}},
                           {4, {34}},
                           {7, {18}},
                           {8, {33}},
                           {9, {34, 61}},
                           {10, {3, 37, 40}},
                           {11, {13, 16, 18, 20, 25, 43}},
                           {12, {14, 19, 26, 30, 33}},
                           {13, {43, 48, 49}},
                           {14, {10, 19, 22, 26, 33, 54}},
                           {15, {12, 17, 22, 25, 27, 41, 55}}};

double Scale(int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * M_PI / 16); }

void CheckTable(const uint32_t (*table)[64], const int* weights, const Bumps& bumps) {
  for (int q = 0; q < 16; ++q) {
    for (int p = 0; p < 64; ++p) {
      const double exact = kSteps[q] * weights[p] * 4096 * Scale(p / 8) * Scale(p % 8);
      // The rule is only unambiguous when no product sits near a half.
      ASSERT_GT(std::fabs(exact - std::floor(exact) - 0.5), 1e-4);
      uint32_t want = uint32_t(std::floor(exact + 0.5));
      auto it = bumps.find(q);
      if (it != bumps.end())
        for (int b : it->second) want += b == p;
      EXPECT_EQ(table[q][p], want) << "q " << q << " position " << p;
    }
  }
}

TEST(QuantTables, IntraFollowsItsRule) { CheckTable(INTRA_QUANT, kIntraWeights, kIntraBumps); }
TEST(QuantTables, InterFollowsItsRule) { CheckTable(INTER_QUANT, kInterWeights, kInterBumps); }

TEST(QuantTables, KnownEntries) {
  EXPECT_EQ(INTRA_QUANT[0][0], 65536u);
  EXPECT_EQ(INTRA_QUANT[0][10], 192998u);
  EXPECT_EQ(INTRA_QUANT[0][63], 25879u);
  EXPECT_EQ(INTER_QUANT[0][18], 146839u);  // one of the bumped entries
  EXPECT_EQ(INTER_QUANT[0][63], 10289u);
  EXPECT_EQ(INTRA_QUANT[15][0], 2883584u);
  EXPECT_EQ(INTRA_QUANT[15][1], 3999646u);
  EXPECT_EQ(INTRA_QUANT[15][2], 3767584u);
  EXPECT_EQ(INTRA_QUANT[15][63], 1138655u);
  EXPECT_EQ(INTER_QUANT[15][1], 4249624u);
  EXPECT_EQ(INTER_QUANT[15][63], 452718u);
}

}  // namespace
