// Every vector inverse transform against its plain twin, byte for byte:
// blocks of every coefficient magnitude up to the full 16-bit range, the
// extremes that overflow the 32-bit products and sums, sparse and DC-only
// blocks, every quantiser row of both tables, and adds whose source is the
// destination itself or overlaps it.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <vector>

#include "base/cpu_features.h"
#include "video/inverse_transform_kernels.h"
#include "video/quant_tables.h"

namespace {

struct SetCase {
  const char* name;
  const InverseTransformKernels* (*get)();
};
void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class InverseTransformSimd : public ::testing::TestWithParam<SetCase> {
 protected:
  void SetUp() override {
    set_ = GetParam().get();
    if (!set_) GTEST_SKIP() << GetParam().name << " is not built for this processor family";
    if ((ProcessorFeatures() & set_->features) != set_->features) GTEST_SKIP() << "processor lacks " << set_->name;
  }
  const InverseTransformKernels* set_ = nullptr;
};

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

TEST_P(InverseTransformSimd, PutAndScaledPutMatchThePlainTwin) {
  const InverseTransformKernels* plain = PlainInverseTransform();
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
            set_->put(block, quant, a.data() + kAt, kPitch);
            plain->put(block, quant, b.data() + kAt, kPitch);
            ASSERT_EQ(a, b) << "put: table " << table << " q " << q << " bits " << bits << " kind " << kind;
            set_->put_scaled(block, quant, a.data() + kAt, kPitch);
            plain->put_scaled(block, quant, b.data() + kAt, kPitch);
            ASSERT_EQ(a, b) << "scaled: table " << table << " q " << q << " bits " << bits << " kind " << kind;
          }
}

TEST_P(InverseTransformSimd, AddMatchesThePlainTwinForEverySourcePlace) {
  const InverseTransformKernels* plain = PlainInverseTransform();
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
          set_->add(block, quant, a.data() + kAt, kPitch, src.data() + 1, src_pitch);
          plain->add(block, quant, b.data() + kAt, kPitch, src.data() + 1, src_pitch);
          ASSERT_EQ(a, b) << "separate source, pitch " << src_pitch << ", trial " << trial;
        }
        // The source in the destination's own plane: the block itself, its
        // overlapping neighbours (read after the plain add has written
        // them) and blocks clear of it.
        for (int dy = -3; dy <= 3; ++dy)
          for (int dx : {-5, -1, 0, 1, 5}) {
            b = a;
            std::vector<uint8_t> c = a;
            set_->add(block, quant, b.data() + kAt, kPitch, b.data() + kAt + dy * kPitch + dx, kPitch);
            plain->add(block, quant, c.data() + kAt, kPitch, c.data() + kAt + dy * kPitch + dx, kPitch);
            ASSERT_EQ(b, c) << "source at (" << dx << ", " << dy << "), trial " << trial;
          }
        for (int dx : {-8, 8, 9}) {
          b = a;
          std::vector<uint8_t> c = a;
          set_->add(block, quant, b.data() + kAt, kPitch, b.data() + kAt + 2 * kPitch + dx, kPitch);
          plain->add(block, quant, c.data() + kAt, kPitch, c.data() + kAt + 2 * kPitch + dx, kPitch);
          ASSERT_EQ(b, c) << "source at (" << dx << ", 2), trial " << trial;
        }
      }
}

INSTANTIATE_TEST_SUITE_P(Sets, InverseTransformSimd,
                         ::testing::Values(SetCase{"sse2", &Sse2InverseTransform}, SetCase{"avx2", &Avx2InverseTransform}),
                         [](const ::testing::TestParamInfo<SetCase>& i) { return std::string(i.param.name); });

TEST(InverseTransformSelection, TakesTheFastestSetTheFeaturesCover) {
  EXPECT_EQ(InverseTransformFor(0), PlainInverseTransform());
  if (!Sse2InverseTransform()) GTEST_SKIP() << "no vector sets in this build";
  EXPECT_EQ(InverseTransformFor(CPU_MMX | CPU_SSE | CPU_SSE2), Sse2InverseTransform());
  EXPECT_EQ(InverseTransformFor(CPU_SSE2 | CPU_SSSE3 | CPU_SSE41 | CPU_AVX2), Avx2InverseTransform());
  EXPECT_EQ(InverseTransformFor(CPU_AVX2), Avx2InverseTransform());
  const InverseTransformKernels* active = ActiveInverseTransform();
  EXPECT_EQ(ProcessorFeatures() & active->features, active->features);
}

// Blocks with only a DC value are flat, whatever path the set takes.
TEST_P(InverseTransformSimd, DcOnlyBlocksAreFlatAndWrap) {
  int16_t block[64] = {};
  for (int dc : {-32768, -8, 0, 5, 1016, 2044, 2045, 32767}) {
    block[0] = int16_t(dc);
    uint8_t out[64], want[64];
    set_->put(block, INTRA_QUANT[0], out, 8);
    PlainInverseTransform()->put(block, INTRA_QUANT[0], want, 8);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(out[i], want[0]) << "dc " << dc << " at " << i;
  }
}

}  // namespace
