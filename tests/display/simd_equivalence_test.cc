// Every vector converter against its plain twin: random planes, every
// surface type and display mode, spans starting on even and odd columns,
// widths 1 to 67, with and without alpha, grayscale and swapped chroma.
#include <gtest/gtest.h>

#include <string>

#include "display/copy_flags.h"
#include "display/converter.h"
#include "display_test_helpers.h"
#include "base/cpu_features.h"

namespace {

struct FeatureCase {
  const char* name;
  uint32_t features;
};

class SimdEquivalence : public ::testing::TestWithParam<FeatureCase> {};

TEST_P(SimdEquivalence, MatchesPlainConverterByteForByte) {
  const uint32_t features = GetParam().features;
  if ((ProcessorFeatures() & features) != features) GTEST_SKIP() << "processor lacks " << GetParam().name;
  TestPicture pictures[2] = {MakeRandomPicture(80, 4, false, 21), MakeRandomPicture(80, 4, true, 22)};
  // Luma near the clamp points and chroma at the extremes exercise saturation.
  for (size_t i = 0; i < pictures[1].y.size(); i += 7) pictures[1].y[i] = (i & 8) ? 255 : 0;
  for (size_t i = 0; i < pictures[1].c1.size(); i += 3) pictures[1].c1[i] = (i & 4) ? 255 : 0;
  uint32_t compared = 0;
  for (const TestPicture& p : pictures) {
    for (uint32_t type = 0; type < 16; ++type) {
      for (uint32_t mode = 0; mode < 8; ++mode) {
        for (uint32_t extra : {0u, COPY_GRAYSCALE, COPY_SWAPPED_CHROMA | COPY_ALPHA_AS_LUMA}) {
          const uint32_t flags = type | (mode << COPY_MODE_SHIFT) | extra;
          ConverterSet vec, ref;
          ASSERT_TRUE(SelectConverterFor(&vec, flags, !p.alpha.empty(), features));
          ASSERT_TRUE(SelectConverterFor(&ref, flags, !p.alpha.empty(), 0));
          if (vec.row == ref.row) continue;  // no vector candidate for this type
          for (uint32_t x : {0u, 1u, 2u, 3u}) {
            for (uint32_t width = 1; width <= 67 && x + width <= p.width; ++width) {
              TestSurface a = MakeSurface(type, mode, p.width, p.height);
              TestSurface b = a;
              const CopyRect r{x, 1, width, 3};
              ASSERT_TRUE(CopyPictureToSurface(p.Planes(), a.data(), a.pitch, a.height, x, 1, r, flags, false,
                                               features));
              ASSERT_TRUE(CopyPictureToSurface(p.Planes(), b.data(), b.pitch, b.height, x, 1, r, flags, false, 0));
              ASSERT_EQ(a.bytes, b.bytes) << vec.name << " type " << type << " mode " << mode << " flags "
                                          << std::hex << flags << std::dec << " x " << x << " width " << width;
              ++compared;
            }
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 0u);
}

INSTANTIATE_TEST_SUITE_P(Features, SimdEquivalence,
                         ::testing::Values(FeatureCase{"sse2", CPU_SSE2}, FeatureCase{"ssse3", CPU_SSE2 | CPU_SSSE3},
                                           FeatureCase{"avx2", CPU_SSE2 | CPU_SSSE3 | CPU_AVX2}),
                         [](const ::testing::TestParamInfo<FeatureCase>& info) { return std::string(info.param.name); });

TEST(ConverterSelection, CandidateOrderAndModes) {
  ConverterSet s;
  // Types 5 and 6 without alpha are served like 3 and 4.
  ASSERT_TRUE(SelectConverterFor(&s, 5, false, 0));
  EXPECT_STREQ(s.name, "plain 24/32-bit");
  EXPECT_FALSE(s.with_alpha);
  ASSERT_TRUE(SelectConverterFor(&s, 5, true, 0));
  EXPECT_STREQ(s.name, "plain 32-bit alpha");
  ASSERT_TRUE(SelectConverterFor(&s, 8, true, CPU_SSE2));
  EXPECT_STREQ(s.name, "sse2 16-bit alpha");
  ASSERT_TRUE(SelectConverterFor(&s, 3, false, CPU_SSE2 | CPU_AVX2));
  EXPECT_STREQ(s.name, "avx2 24/32-bit");
  ASSERT_TRUE(SelectConverterFor(&s, 15, false, CPU_SSE2 | CPU_AVX2));
  EXPECT_STREQ(s.name, "planar yuv");
  // 24-bit: two-stage with 128-pixel chunks; width doubling doubles the bytes.
  ASSERT_TRUE(SelectConverterFor(&s, 1 | (3u << COPY_MODE_SHIFT), false, 0));
  EXPECT_NE(s.second, nullptr);
  EXPECT_EQ(s.bytes_per_pixel, 6u);
  EXPECT_EQ(s.chunk_shift, 2u);
  ASSERT_TRUE(SelectConverterFor(&s, 10 | (4u << COPY_MODE_SHIFT), false, 0));
  EXPECT_EQ(s.bytes_per_pixel, 4u);
  ASSERT_TRUE(SelectConverterFor(&s, 3 | (7u << COPY_MODE_SHIFT), false, 0));
  EXPECT_EQ(s.mode, 0u);
  EXPECT_EQ(s.second, nullptr);
}

}  // namespace
