// Every vector complex FFT against the plain one, forward and backward, at
// every length the transforms take (they may differ only by float
// rounding), and the vector real <-> complex steps (the same floats). Each
// set is compared through the table built for exactly its features.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_transform.h"
#include "audio/complex_fft_kernels.h"
#include "base/cpu_features.h"

namespace {

double RelativeDifference(const std::vector<float>& got, const std::vector<float>& want) {
  double peak = 1e-30, err = 0;
  for (size_t k = 0; k < want.size(); ++k) {
    peak = std::max(peak, double(std::fabs(want[k])));
    err = std::max(err, std::fabs(double(got[k]) - double(want[k])));
  }
  return err / peak;
}

TEST(OptimisedFft, EverySetMatchesPlainAtEveryLength) {
  const ComplexFftKernels* plain = PlainComplexFft();
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
  for (const KernelSet<ComplexFftKernels>& set : kComplexFftSets) {
    if ((ProcessorFeatures() & set.features) != set.features) continue;
    const ComplexFftKernels k = ComplexFftFor(set.features);
    ASSERT_STREQ(k.name, set.name);
    for (uint32_t n = 4; n <= 8192; n *= 2) {
      std::vector<int32_t> ip(AudioTransformIndexEntries(n), 0);
      std::vector<float> w(AudioTransformTableFloats(n, false));
      AudioBuildTwiddles(n / 4, ip.data(), w.data());
      for (int dir = 0; dir < 2; ++dir) {
        std::vector<float> want(n);
        for (float& v : want) v = d(rng);
        std::vector<float> got = want;
        (dir ? plain->backward : plain->forward)(n, want.data(), ip.data() + 2, w.data(), n / 4);
        (dir ? k.backward : k.forward)(n, got.data(), ip.data() + 2, w.data(), n / 4);
        EXPECT_LT(RelativeDifference(got, want), 2e-6) << set.name << " n=" << n << " dir=" << dir;
      }
    }
  }
}

// The real <-> complex step computes each pair with the plain operations:
// the same floats, for both table strides (real DFT and cosine transform)
// and both signs, at lengths with and without a scalar tail.
TEST(OptimisedFft, RealStepMatchesPlainExactly) {
  const ComplexFftKernels* plain = PlainComplexFft();
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
  for (const KernelSet<ComplexFftKernels>& set : kComplexFftSets) {
    if ((ProcessorFeatures() & set.features) != set.features) continue;
    const ComplexFftKernels k = ComplexFftFor(set.features);
    for (uint32_t n = 8; n <= 4096; n *= 2)
      for (const bool dct : {false, true}) {
        const uint32_t nc = dct ? n : n / 4;
        std::vector<int32_t> ip(2);
        std::vector<float> c(nc);
        AudioBuildCosines(nc, ip.data(), c.data());
        std::vector<float> want(n);
        for (float& v : want) v = d(rng);
        std::vector<float> got = want;
        plain->real_step(n, want.data(), nc, c.data(), dct ? 1.0f : -1.0f);
        k.real_step(n, got.data(), nc, c.data(), dct ? 1.0f : -1.0f);
        EXPECT_EQ(got, want) << set.name << " n=" << n << " dct=" << dct;
      }
  }
}

TEST(OptimisedFft, MaskChoosesTheSet) {
  const uint32_t old = FeatureMask();
  SetFeatureMask(0);
  EXPECT_STREQ(ActiveComplexFft()->name, "plain");
  SetFeatureMask(~0u);
  EXPECT_STREQ(ActiveComplexFft()->name, ComplexFftFor(ProcessorFeatures()).name);
  SetFeatureMask(old);
}

}  // namespace
