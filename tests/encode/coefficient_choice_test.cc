// The bit count the coefficient choice works from must be the writer's own,
// and the choice may only lower magnitudes, never raise them or flip signs.
#include "encode/coefficient_choice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "video/coefficients_scan.h"
#include "video/coefficients_writer.h"
#include "video/forward_transform.h"
#include "video/quant_tables.h"
#include "video/residue_writer.h"

namespace {

void Planes(const int16_t c[64], uint8_t s[64]) {
  s[0] = 0;
  for (int k = 1; k < 64; ++k) {
    int m = std::abs(c[COEFF_SCAN[k]]), b = 0;
    while (m >> b) ++b;
    s[k] = uint8_t(b);
  }
}

TEST(CoefficientChoice, BitCountMatchesTheWriter) {
  std::mt19937 rng(7);
  for (int t = 0; t < 20000; ++t) {
    int16_t c[64] = {};
    const int count = int(rng() % 64), top = 1 << (rng() % 16);
    for (int i = 0; i < count; ++i) c[1 + rng() % 63] = int16_t(int(rng() % uint32_t(top)) * (rng() % 2 ? 1 : -1));
    uint8_t s[64];
    Planes(c, s);
    ASSERT_EQ(CoefficientBits(s), int(WriteCoefficients(nullptr, c))) << "block " << t;
    ASSERT_EQ(CountCoefficientBits(c), WriteCoefficients(nullptr, c)) << "block " << t;
  }
}

// Residues of every size, sparse and dense, whose changes stay under the
// limit: the walk is then written to its end, and the exact coding, which
// stops at the last change, never spends less than the least count.
TEST(CoefficientChoice, ResidueWalkMatchesTheWriter) {
  std::mt19937 rng(5);
  for (int t = 0; t < 20000; ++t) {
    int8_t r[64] = {};
    const int count = int(rng() % 65), top = 1 << (rng() % 8);
    for (int i = 0; i < count; ++i) r[rng() % 64] = int8_t(int(rng() % uint32_t(top + 1)) * (rng() % 2 ? 1 : -1));
    const int changes = ResidueChanges(r);
    if (changes > 127) continue;
    int least = 0;
    ASSERT_EQ(ResidueWalkBits(r, &least), int(WriteResidue(nullptr, r, 127, nullptr))) << "residue " << t;
    const int exact = int(WriteResidue(nullptr, r, changes ? changes - 1 : 0, nullptr));
    ASSERT_LE(least, exact) << "residue " << t;
  }
}

TEST(CoefficientChoice, OnlyLowersAndPaysOff) {
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 30.0);
  for (int t = 0; t < 300; ++t) {
    int16_t pixels[64];
    for (int i = 0; i < 64; ++i) pixels[i] = int16_t(noise(rng) / (1 + i % 8));
    double F[64];
    ForwardDct(pixels, F);
    const uint32_t* quant = INTER_QUANT[t % 16];
    int16_t nearest[64];
    QuantizeCoefficients(F, quant, 0.5, nearest);
    int16_t free_bits[64], chosen[64];
    std::copy(nearest, nearest + 64, free_bits);
    std::copy(nearest, nearest + 64, chosen);
    ChooseCoefficients(F, quant, 0.0, free_bits);  // bits cost nothing: nothing changes
    const double lambda = 20.0 * (1 + t % 8);
    const uint32_t bits = ChooseCoefficients(F, quant, lambda, chosen);
    EXPECT_EQ(bits, WriteCoefficients(nullptr, chosen));
    EXPECT_LE(bits, WriteCoefficients(nullptr, nearest));
    // Never worse than dropping every AC value, which costs 4 bits.
    const double* steps = CoefficientSteps(quant);
    double error = 0, cleared = 0;
    for (int p = 1; p < 64; ++p) {
      const double e = std::abs(F[p]) - std::abs(chosen[p]) * steps[p];
      error += e * e;
      cleared += F[p] * F[p];
    }
    EXPECT_LE(error + lambda * bits, cleared + lambda * 4 + 1e-6);
    for (int p = 0; p < 64; ++p) {
      ASSERT_EQ(free_bits[p], nearest[p]);
      ASSERT_LE(std::abs(chosen[p]), std::abs(nearest[p]));
      ASSERT_TRUE(chosen[p] == 0 || (chosen[p] < 0) == (nearest[p] < 0));
    }
  }
}

}  // namespace
