// Every optimised routine against its plain twin, byte for byte, from one
// list: the optimised sets of each family of routines (the inverse
// transform, the colour converters), each compared through the table built
// for exactly its features. Then how the tables are chosen and forced.
//
// Inverse transform: blocks of every coefficient magnitude up to the full
// 16-bit range, the extremes that overflow the 32-bit products and sums,
// sparse and DC-only blocks, every quantiser row of both tables, and adds
// whose source is the destination itself or overlaps it.
// Converters: random planes, every surface type and display mode, spans
// starting on even and odd columns, widths 1 to 67 and a few that take
// several of the widest steps plus a tail, with and without alpha,
// grayscale and swapped chroma; wide spans at every destination alignment.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/cpu_features.h"
#include "display/converter.h"
#include "display/converter_kernels.h"
#include "display/copy_flags.h"
#include "display/copy_walk.h"
#include "display_test_helpers.h"
#include "video/inverse_transform_kernels.h"
#include "video/quant_tables.h"

namespace {

// ---- Inverse transform ----

// A block of the given kind; magnitudes below 2^bits (bits 0..15).
void MakeBlock(std::mt19937& rng, int kind, int bits, int16_t block[64]) {
  const int32_t span = int32_t(1) << bits;
  auto value = [&] { return int16_t(int32_t(rng() % uint32_t(2 * span - 1)) - (span - 1)); };
  std::memset(block, 0, 64 * sizeof(int16_t));
  switch (kind) {
    case 0:  // dense
      for (int i = 0; i < 64; ++i) block[i] = value();
      break;
    case 1:  // a few values anywhere
      for (int n = int(rng() % 6); n >= 0; --n) block[rng() % 64] = value();
      break;
    case 2:  // first row and column only (the plain code's shortcut paths)
      for (int i = 0; i < 8; ++i) block[rng() % 2 ? i : i * 8] = value();
      break;
    case 3:  // the extremes and their neighbours
      for (int i = 0; i < 64; ++i) {
        static const int16_t kEdge[] = {-32768, -32767, 32767, 32766, -1, 0, 1};
        block[i] = kEdge[rng() % 7];
      }
      break;
    default:  // DC only
      block[0] = value();
      break;
  }
}

constexpr int kPitch = 37;  // odd, so rows start at every alignment

// Fills a buffer bigger than the 16x16 area with noise; the block goes at
// row 3, column 5.
std::vector<uint8_t> Canvas(std::mt19937& rng) {
  std::vector<uint8_t> c(kPitch * 24);
  for (uint8_t& b : c) b = uint8_t(rng());
  return c;
}
constexpr int kAt = 3 * kPitch + 5;

void PutAndScaledPutMatch(const InverseTransformKernels& set, const InverseTransformKernels& plain) {
  std::mt19937 rng(101);
  int16_t block[64];
  for (int table = 0; table < 2; ++table)
    for (int q = 0; q < 16; ++q)
      for (int bits = 0; bits <= 15; ++bits)
        for (int kind = 0; kind < 5; ++kind)
          for (int trial = 0; trial < 4; ++trial) {
            const uint32_t* quant = table ? INTER_QUANT[q] : INTRA_QUANT[q];
            MakeBlock(rng, kind, bits, block);
            std::vector<uint8_t> a = Canvas(rng), b = a;
            set.put(block, quant, a.data() + kAt, kPitch);
            plain.put(block, quant, b.data() + kAt, kPitch);
            ASSERT_EQ(a, b) << "put: table " << table << " q " << q << " bits " << bits << " kind " << kind;
            set.put_scaled(block, quant, a.data() + kAt, kPitch);
            plain.put_scaled(block, quant, b.data() + kAt, kPitch);
            ASSERT_EQ(a, b) << "scaled: table " << table << " q " << q << " bits " << bits << " kind " << kind;
          }
}

void AddMatchesForEverySourcePlace(const InverseTransformKernels& set, const InverseTransformKernels& plain) {
  std::mt19937 rng(202);
  int16_t block[64];
  int trial = 0;
  for (int q = 0; q < 16; ++q)
    for (int bits = 0; bits <= 15; bits += 3)
      for (int kind = 0; kind < 5; ++kind, ++trial) {
        const uint32_t* quant = (trial & 1) ? INTER_QUANT[q] : INTRA_QUANT[q];
        MakeBlock(rng, kind, bits, block);
        // A separate source, with the destination's pitch and one of its own.
        std::vector<uint8_t> src = Canvas(rng), a = Canvas(rng), b = a;
        for (int src_pitch : {kPitch, 11}) {
          set.add(block, quant, a.data() + kAt, kPitch, src.data() + 1, src_pitch);
          plain.add(block, quant, b.data() + kAt, kPitch, src.data() + 1, src_pitch);
          ASSERT_EQ(a, b) << "separate source, pitch " << src_pitch << ", trial " << trial;
        }
        // The source in the destination's own plane: the block itself, its
        // overlapping neighbours (read after the plain add has written
        // them) and blocks clear of it.
        for (int dy = -3; dy <= 3; ++dy)
          for (int dx : {-5, -1, 0, 1, 5}) {
            b = a;
            std::vector<uint8_t> c = a;
            set.add(block, quant, b.data() + kAt, kPitch, b.data() + kAt + dy * kPitch + dx, kPitch);
            plain.add(block, quant, c.data() + kAt, kPitch, c.data() + kAt + dy * kPitch + dx, kPitch);
            ASSERT_EQ(b, c) << "source at (" << dx << ", " << dy << "), trial " << trial;
          }
        for (int dx : {-8, 8, 9}) {
          b = a;
          std::vector<uint8_t> c = a;
          set.add(block, quant, b.data() + kAt, kPitch, b.data() + kAt + 2 * kPitch + dx, kPitch);
          plain.add(block, quant, c.data() + kAt, kPitch, c.data() + kAt + 2 * kPitch + dx, kPitch);
          ASSERT_EQ(b, c) << "source at (" << dx << ", 2), trial " << trial;
        }
      }
}

// Blocks with only a DC value are flat, whatever path the set takes.
void DcOnlyBlocksAreFlatAndWrap(const InverseTransformKernels& set, const InverseTransformKernels& plain) {
  int16_t block[64] = {};
  for (int dc : {-32768, -8, 0, 5, 1016, 2044, 2045, 32767}) {
    block[0] = int16_t(dc);
    uint8_t out[64], want[64];
    set.put(block, INTRA_QUANT[0], out, 8);
    plain.put(block, INTRA_QUANT[0], want, 8);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], want[0]) << "dc " << dc << " at " << i;
  }
}

// Returns false when the features bring no optimised entry in this build.
bool CheckInverseTransform(uint32_t features) {
  const InverseTransformKernels set = InverseTransformFor(features);
  const InverseTransformKernels& plain = *PlainInverseTransform();
  if (set.put == plain.put) return false;
  PutAndScaledPutMatch(set, plain);
  AddMatchesForEverySourcePlace(set, plain);
  DcOnlyBlocksAreFlatAndWrap(set, plain);
  return true;
}

// ---- Colour converters ----

bool CheckConverters(uint32_t features) {
  TestPicture pictures[2] = {MakeRandomPicture(136, 4, false, 21), MakeRandomPicture(136, 4, true, 22)};
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
          EXPECT_TRUE(SelectConverterFor(&vec, flags, !p.alpha.empty(), features));
          EXPECT_TRUE(SelectConverterFor(&ref, flags, !p.alpha.empty(), 0));
          if (vec.row == ref.row && vec.second == ref.second) continue;  // nothing optimised for this type
          for (uint32_t x : {0u, 1u, 2u, 3u}) {
            for (uint32_t width = 1; width <= 127 && x + width <= p.width; width += width < 67 ? 1 : 30) {
              TestSurface a = MakeSurface(type, mode, p.width, p.height);
              TestSurface b = a;
              const CopyRect r{x, 1, width, 3};
              EXPECT_TRUE(CopyPictureToSurface(p.Planes(), a.data(), a.pitch, a.height, x, 1, r, flags, false,
                                               features));
              EXPECT_TRUE(CopyPictureToSurface(p.Planes(), b.data(), b.pitch, b.height, x, 1, r, flags, false, 0));
              if (a.bytes != b.bytes) {
                ADD_FAILURE() << vec.name << " type " << type << " mode " << mode << " flags " << std::hex << flags
                              << std::dec << " x " << x << " width " << width;
                return true;
              }
              ++compared;
            }
          }
        }
      }
    }
  }
  // Spans wider than two of the widest steps at every destination alignment,
  // so that the steps meet cache lines at every offset.
  for (const TestPicture& p : pictures) {
    for (uint32_t type = 0; type < 16; ++type) {
      for (uint32_t x : {0u, 1u}) {
        for (uint32_t destX = 0; destX < 34; ++destX) {
          TestSurface a = MakeSurface(type, 0, p.width + 34, p.height);
          TestSurface b = a;
          const CopyRect r{x, 1, p.width - x, 3};
          EXPECT_TRUE(CopyPictureToSurface(p.Planes(), a.data(), a.pitch, a.height, destX, 1, r, type, false,
                                           features));
          EXPECT_TRUE(CopyPictureToSurface(p.Planes(), b.data(), b.pitch, b.height, destX, 1, r, type, false, 0));
          if (a.bytes != b.bytes) {
            ADD_FAILURE() << "type " << type << " x " << x << " destination x " << destX;
            return true;
          }
        }
      }
    }
  }
  return compared > 0;
}

// ---- The one list ----

struct Routine {
  std::string name;
  uint32_t features;
  bool (*check)(uint32_t features);  // false: nothing optimised in this build
};

std::vector<Routine> OptimisedRoutines() {
  std::vector<Routine> list;
  for (const auto& set : kInverseTransformSets)
    list.push_back({std::string("inverse_transform_") + set.name, set.features, &CheckInverseTransform});
  for (const auto& set : kConverterSets)
    list.push_back({std::string("converters_") + set.name, set.features, &CheckConverters});
  return list;
}

class OptimisedRoutine : public ::testing::TestWithParam<Routine> {};

TEST_P(OptimisedRoutine, MatchesItsPlainTwinByteForByte) {
  const Routine& r = GetParam();
  if ((ProcessorFeatures() & r.features) != r.features) GTEST_SKIP() << "processor lacks " << r.name;
  if (!r.check(r.features)) GTEST_SKIP() << r.name << " is not built for this processor family";
}

INSTANTIATE_TEST_SUITE_P(All, OptimisedRoutine, ::testing::ValuesIn(OptimisedRoutines()),
                         [](const ::testing::TestParamInfo<Routine>& info) { return info.param.name; });

// ---- Choosing and forcing ----

TEST(KernelChoice, TheWidestSetTheFeaturesCoverWins) {
  EXPECT_STREQ(InverseTransformFor(0).name, "plain");
  if (InverseTransformFor(CPU_SSE2).put == PlainInverseTransform()->put) GTEST_SKIP() << "no vector sets";
  EXPECT_STREQ(InverseTransformFor(CPU_MMX | CPU_SSE | CPU_SSE2).name, "sse2");
  EXPECT_STREQ(InverseTransformFor(CPU_SSE2 | CPU_SSSE3 | CPU_SSE41 | CPU_AVX2).name, "avx2");
  EXPECT_STREQ(InverseTransformFor(CPU_AVX2).name, "avx2");
  ConverterKernels k = ConverterKernelsFor(CPU_SSE2 | CPU_AVX2);
  EXPECT_STREQ(k.name[SURFACE_XRGB32][0], "avx2 24/32-bit");
  EXPECT_STREQ(k.name[SURFACE_YUY2][0], "avx2 packed yuv");
  EXPECT_EQ(k.pack24, PlainConverterKernels().pack24);  // needs SSSE3
  EXPECT_STREQ(k.name24, "avx2 24-bit");
  EXPECT_EQ(ConverterKernelsFor(CPU_SSE2 | CPU_SSSE3).row24[0], nullptr);
  k = ConverterKernelsFor(CPU_SSE2 | CPU_SSSE3 | CPU_AVX2 | CPU_AVX512);
  EXPECT_STREQ(k.name[SURFACE_ARGB32][1], "avx512 32-bit alpha");
  EXPECT_STREQ(k.name[SURFACE_UYVY][0], "avx512 packed yuv");
  EXPECT_STREQ(k.name[SURFACE_RGB565][0], "avx2 16-bit");  // no wider one
  // The 24-bit types go straight to three bytes, except when doubled.
  ConverterSet s;
  ASSERT_TRUE(SelectConverterFor(&s, SURFACE_RGB24, false, CPU_SSE2 | CPU_AVX2 | CPU_AVX512));
  EXPECT_STREQ(s.name, "avx512 24-bit");
  EXPECT_EQ(s.second, nullptr);
  ASSERT_TRUE(SelectConverterFor(&s, SURFACE_RGB24 | (3u << COPY_MODE_SHIFT), false, CPU_SSE2 | CPU_AVX2 | CPU_AVX512));
  EXPECT_STREQ(s.name, "avx512 24/32-bit");
  EXPECT_NE(s.second, nullptr);
}

TEST(KernelChoice, TheFeatureMaskForcesThePlainRoutinesAndBack) {
  SetFeatureMask(0);
  EXPECT_EQ(UsableFeatures() & ~CPU_PROBED, 0u);
  EXPECT_STREQ(ActiveInverseTransform()->name, "plain");
  ConverterSet s;
  ASSERT_TRUE(SelectConverterFor(&s, SURFACE_XRGB32, false, UsableFeatures()));
  EXPECT_STREQ(s.name, "plain 24/32-bit");
  SetFeatureMask(~0u);
  EXPECT_STREQ(ActiveInverseTransform()->name, InverseTransformFor(ProcessorFeatures()).name);
  ASSERT_TRUE(SelectConverterFor(&s, SURFACE_XRGB32, false, UsableFeatures()));
  ConverterSet best;
  ASSERT_TRUE(SelectConverterFor(&best, SURFACE_XRGB32, false, ProcessorFeatures()));
  EXPECT_STREQ(s.name, best.name);
}

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
