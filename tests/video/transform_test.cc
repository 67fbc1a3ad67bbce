#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "video/forward_transform.h"
#include "video/inverse_transform.h"
#include "video/quant_tables.h"
#include "video/residue.h"

namespace {

// Every pixel of a block with only a DC value.
uint8_t FlatPixel(int16_t dc, const uint32_t* quant) {
  int16_t block[64] = {};
  block[0] = dc;
  uint8_t out[64];
  InverseTransform(block, quant, out);
  for (int i = 1; i < 64; ++i) EXPECT_EQ(out[i], out[0]);
  return out[0];
}

TEST(InverseTransform, FlatBlocksWrapInsteadOfClamping) {
  EXPECT_EQ(FlatPixel(1016, INTRA_QUANT[0]), 127);
  EXPECT_EQ(FlatPixel(2044, INTRA_QUANT[0]), 255);
  EXPECT_EQ(FlatPixel(2045, INTRA_QUANT[0]), 0);
  EXPECT_EQ(FlatPixel(2047, INTRA_QUANT[0]), 0);
  EXPECT_EQ(FlatPixel(5, INTRA_QUANT[0]), 1);
  EXPECT_EQ(FlatPixel(-8, INTER_QUANT[0]), 255);  // -1: negative results wrap too
}

TEST(InverseTransform, AddWrapsModulo256) {
  int16_t block[64] = {};
  block[0] = 5;  // v = 1 everywhere
  uint8_t ref[64], dst[64];
  std::memset(ref, 255, sizeof ref);
  InverseTransformAdd(block, INTER_QUANT[0], dst, 8, ref, 8);
  for (uint8_t p : dst) EXPECT_EQ(p, 0);
  // In place (destination is the source).
  InverseTransformAdd(block, INTER_QUANT[0], ref, 8, ref, 8);
  for (uint8_t p : ref) EXPECT_EQ(p, 0);
}

// Against a floating-point inverse of the same coefficients: the integer
// transform with its shifts stays within a couple of levels of the exact one.
TEST(InverseTransform, MatchesTheExactTransform) {
  std::mt19937 rng(7);
  const double a[8] = {1,
                       std::sqrt(2) * std::cos(1 * M_PI / 16),
                       std::sqrt(2) * std::cos(2 * M_PI / 16),
                       std::sqrt(2) * std::cos(3 * M_PI / 16),
                       std::sqrt(2) * std::cos(4 * M_PI / 16),
                       std::sqrt(2) * std::cos(5 * M_PI / 16),
                       std::sqrt(2) * std::cos(6 * M_PI / 16),
                       std::sqrt(2) * std::cos(7 * M_PI / 16)};
  int compared = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const int q = trial % 4;
    const uint32_t* quant = (trial & 4) ? INTER_QUANT[q] : INTRA_QUANT[q];
    int16_t block[64] = {};
    block[0] = 1024;
    const int count = 1 + trial % 6;
    for (int i = 0; i < count; ++i) block[1 + rng() % 63] = int16_t(int(rng() % 21) - 10);
    double F[64];
    for (int p = 0; p < 64; ++p) F[p] = block[p] * double(quant[p]) / (65536.0 * a[p / 8] * a[p % 8]);
    uint8_t out[64];
    InverseTransform(block, quant, out);
    double exact[64];
    bool in_range = true;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double s = 0;
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u)
            s += (u ? 1 : std::sqrt(0.5)) * (v ? 1 : std::sqrt(0.5)) * F[v * 8 + u] *
                 std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
        exact[y * 8 + x] = s / 4;
        in_range &= s / 4 >= 2 && s / 4 <= 253;
      }
    if (!in_range) continue;  // would wrap; compared elsewhere
    ++compared;
    for (int i = 0; i < 64; ++i) EXPECT_NEAR(out[i], exact[i], 2.0) << "trial " << trial << " at " << i;
  }
  EXPECT_GE(compared, 100);
}

// The transform as plainly stated, every column and row transformed in
// full, with explicit 32-bit wrapping.
void PlainTransform(const int16_t block[64], const uint32_t* quant, uint8_t out[64]) {
  auto W = [](int64_t v) { return int32_t(uint32_t(uint64_t(v))); };
  auto T = [&](const int32_t* s, int32_t* o) {
    const int32_t a0 = W(int64_t(s[0]) + s[4]), a1 = W(int64_t(s[0]) - s[4]), a2 = W(int64_t(s[2]) + s[6]);
    const int32_t a3 = W(int64_t(W(int64_t(s[2]) - s[6])) * 2896) >> 11;
    const int32_t a4 = W(int64_t(s[5]) + s[3]), a5 = W(int64_t(s[5]) - s[3]);
    const int32_t a6 = W(int64_t(s[1]) + s[7]), a7 = W(int64_t(s[1]) - s[7]);
    const int32_t b0 = W(int64_t(a4) + a6);
    const int32_t b1 = W(int64_t(W(int64_t(a5) + a7)) * 3784) >> 11;
    const int32_t b2 = W(int64_t(W(int64_t(a5) * -5352) >> 11) - b0 + b1);
    const int32_t b3 = W(int64_t(W(int64_t(W(int64_t(a6) - a4)) * 2896) >> 11) - b2);
    const int32_t b4 = W(int64_t(W(int64_t(a7) * 2217) >> 11) + b3 - b1);
    o[0] = W(int64_t(a0) + a2 + b0);
    o[1] = W(int64_t(a1) + a3 - a2 + b2);
    o[2] = W(int64_t(a1) - a3 + a2 + b3);
    o[3] = W(int64_t(a0) - a2 - b4);
    o[4] = W(int64_t(a0) - a2 + b4);
    o[5] = W(int64_t(a1) - a3 + a2 - b3);
    o[6] = W(int64_t(a1) + a3 - a2 - b2);
    o[7] = W(int64_t(a0) + a2 - b0);
  };
  int32_t tmp[64];
  for (int c = 0; c < 8; ++c) {
    int32_t s[8], o[8];
    for (int r = 0; r < 8; ++r) s[r] = W(int64_t(block[r * 8 + c]) * int64_t(quant[r * 8 + c])) >> 11;
    T(s, o);
    for (int r = 0; r < 8; ++r) tmp[r * 8 + c] = o[r];
  }
  for (int r = 0; r < 8; ++r) {
    int32_t o[8];
    T(tmp + r * 8, o);
    for (int c = 0; c < 8; ++c) out[r * 8 + c] = uint8_t(W(int64_t(o[c]) + 127) >> 8);
  }
}

// The skipped columns, rows and blocks give exactly what the full
// transform gives, wrapping included.
TEST(InverseTransform, ShortcutsAgreeWithTheFullTransform) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 3000; ++trial) {
    int16_t block[64] = {};
    const int count = trial % 9;
    const int range = trial % 3 == 0 ? 32767 : 60;
    block[0] = int16_t(int(rng() % (2 * range + 1)) - range);
    for (int i = 0; i < count; ++i) {
      // Favour the first row and column, where the shortcuts matter.
      const int p = trial % 2 ? int(rng() % 8) * (rng() % 2 ? 8 : 1) : int(rng() % 64);
      block[p] = int16_t(int(rng() % (2 * range + 1)) - range);
    }
    const uint32_t* quant = (trial & 4) ? INTER_QUANT[trial % 16] : INTRA_QUANT[trial % 16];
    uint8_t fast[64], plain[64];
    InverseTransform(block, quant, fast);
    PlainTransform(block, quant, plain);
    ASSERT_EQ(std::memcmp(fast, plain, 64), 0) << "trial " << trial;
  }
}

TEST(InverseTransform, ScaledDoublesEveryPixel) {
  std::mt19937 rng(3);
  int16_t block[64];
  for (int16_t& c : block) c = int16_t(int(rng() % 61) - 30);
  block[0] = 900;
  uint8_t small[64], big[16 * 20];
  std::memset(big, 0xAB, sizeof big);
  InverseTransform(block, INTRA_QUANT[2], small);
  InverseTransformPutScaled(block, INTRA_QUANT[2], big, 20);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) EXPECT_EQ(big[y * 20 + x], small[(y / 2) * 8 + x / 2]);
    for (int x = 16; x < 20; ++x) EXPECT_EQ(big[y * 20 + x], 0xAB);  // outside the block
  }
  uint8_t put[8 * 10];
  InverseTransformPut(block, INTRA_QUANT[2], put, 10);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(put[y * 10 + x], small[y * 8 + x]);
}

// Extreme coefficients overflow the 32-bit products and sums; that must be
// plain wrapping (the sanitizer build checks there is no undefined overflow).
TEST(InverseTransform, ExtremeCoefficientsWrap) {
  int16_t block[64];
  for (int i = 0; i < 64; ++i) block[i] = (i & 1) ? 32767 : -32768;
  uint8_t a[64], b[64];
  InverseTransform(block, INTRA_QUANT[15], a);
  InverseTransform(block, INTRA_QUANT[15], b);
  EXPECT_EQ(std::memcmp(a, b, 64), 0);
}

// Forward transform, quantisation and the decoder's inverse bring a smooth
// block back closely at a fine quantiser.
TEST(ForwardTransform, RoundTripsThroughTheInverse) {
  int16_t pixels[64];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) pixels[y * 8 + x] = int16_t(60 + 9 * x + 5 * y + ((x * y) % 7));
  double F[64];
  ForwardDct(pixels, F);
  int16_t coef[64];
  QuantizeCoefficients(F, INTRA_QUANT[0], 0.5, coef);
  uint8_t out[64];
  InverseTransform(coef, INTRA_QUANT[0], out);
  for (int i = 0; i < 64; ++i) EXPECT_NEAR(out[i], pixels[i], 3) << i;
  // A coarse quantiser with a dead zone keeps the mean.
  QuantizeCoefficients(F, INTRA_QUANT[12], 0.2, coef);
  InverseTransform(coef, INTRA_QUANT[12], out);
  int sum_in = 0, sum_out = 0;
  for (int i = 0; i < 64; ++i) sum_in += pixels[i], sum_out += out[i];
  EXPECT_NEAR(sum_out / 64.0, sum_in / 64.0, 3.0);
}

// The format's quantiser rows use factors made once; any other row gets
// the same arithmetic made on the spot, and a value just under a half step
// rounds down while one just over rounds up.
TEST(ForwardTransform, QuantisesAnyRowAlike) {
  uint32_t copy[64];
  std::memcpy(copy, INTER_QUANT[9], sizeof copy);
  const double* steps = CoefficientSteps(INTER_QUANT[9]);
  const double* local = CoefficientSteps(copy);
  double F[64];
  for (int p = 0; p < 64; ++p) {
    ASSERT_EQ(steps[p], local[p]) << p;
    ASSERT_EQ(steps[p], CoefficientStep(INTER_QUANT[9], p)) << p;
    F[p] = (p % 3 - 1) * steps[p] * (3 + (p & 1 ? 0.49 : 0.51));
  }
  int16_t a[64], b[64];
  QuantizeCoefficients(F, INTER_QUANT[9], 0.5, a);
  QuantizeCoefficients(F, copy, 0.5, b);
  for (int p = 0; p < 64; ++p) {
    ASSERT_EQ(a[p], b[p]) << p;
    EXPECT_EQ(a[p], (p % 3 - 1) * (p & 1 ? 3 : 4)) << p;
  }
}

TEST(ResidueAdd, WrapsAndFollowsTheScan) {
  int8_t residue[64] = {};
  residue[0] = 10;   // natural position 0
  residue[2] = -3;   // list index 2 is natural position 8 (row 1, column 0)
  uint8_t ref[64], dst[64];
  std::memset(ref, 250, sizeof ref);
  ResidueAdd(residue, dst, 8, ref, 8);
  EXPECT_EQ(dst[0], 4);
  EXPECT_EQ(dst[8], 247);
  EXPECT_EQ(dst[1], 250);
}

}  // namespace
