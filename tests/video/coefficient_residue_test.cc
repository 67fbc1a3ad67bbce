// Coefficient and residue lists: writer -> reader round trips, the bit
// costs the coding is defined by, and the list's worst cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "video/bit_reader.h"
#include "video/bit_writer.h"
#include "video/coefficient_list.h"
#include "video/coefficients.h"
#include "video/coefficients_scan.h"
#include "video/coefficients_writer.h"
#include "video/residue.h"
#include "video/residue_writer.h"

namespace {

struct Bits {
  std::vector<uint8_t> buf = std::vector<uint8_t>(4096);
  BitWriter w;
  Bits() { BitWriterInit(&w, buf.data(), uint32_t(buf.size())); }
  // Flushes and returns a reader over the written bytes.
  BitReader Reader() {
    const uint32_t n = BitWriterFlush(&w);
    BitReader r;
    BitReaderInit(&r, buf.data(), n);
    return r;
  }
};

TEST(Coefficients, EmptyBlockReadsFourBits) {
  Bits b;
  int16_t block[64] = {};
  block[0] = 77;
  EXPECT_EQ(WriteCoefficients(&b.w, block), 4u);
  BitReader r = b.Reader();
  int16_t out[64];
  for (int16_t& v : out) v = 999;
  out[0] = 77;
  ReadCoefficients(&r, out);
  EXPECT_EQ(BitReaderConsumed(&r), 4u);
  EXPECT_EQ(out[0], 77);  // the DC is not the reader's
  for (int i = 1; i < 64; ++i) EXPECT_EQ(out[i], 0);
}

TEST(Coefficients, RoundTripsRandomBlocks) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 500; ++trial) {
    int16_t block[64] = {};
    const int count = trial % 64;
    const int range = 1 << (trial % 15);
    for (int i = 0; i < count; ++i) block[1 + rng() % 63] = int16_t(int(rng() % (2 * range + 1)) - range);
    if (trial == 499) block[63] = -32767;
    Bits b;
    const uint32_t bits = WriteCoefficients(&b.w, block);
    EXPECT_EQ(WriteCoefficients(nullptr, block), bits);  // counting alone agrees
    BitReader r = b.Reader();
    int16_t out[64] = {};
    ReadCoefficients(&r, out);
    EXPECT_EQ(BitReaderConsumed(&r), bits);
    EXPECT_FALSE(BitReaderOverrun(&r));
    for (int i = 1; i < 64; ++i) ASSERT_EQ(out[i], block[i]) << "trial " << trial << " position " << i;
  }
}

// A coefficient valued while its group is processed costs its processing
// bit 0 plus its value: one sign bit in the last plane, b bits in plane b.
TEST(Coefficients, CostOfAValueInAGroup) {
  // List index 4 is natural position 2; its group is coded by entry (4, 0).
  int16_t block[64] = {};
  block[COEFF_SCAN[4]] = -1;
  // 4 (planes) + 1 (4,0) + [4: 0 + sign] + [5,6,7: 1 each] + (8,1): 0
  // + (24,0): 0 + (44,0): 0 + (1,3) (2,3) (3,3): 0 each.
  EXPECT_EQ(WriteCoefficients(nullptr, block), 4u + 1 + 2 + 3 + 1 + 2 + 3);
  // Value 5 needs three planes; it costs 1 + 3 bits in the first, and the
  // two later planes examine the nine remaining entries once each.
  block[COEFF_SCAN[4]] = 5;
  EXPECT_EQ(WriteCoefficients(nullptr, block), 4u + (1 + 4 + 3 + 1 + 2 + 3) + 9 + 9);
}

// A split mode-1 entry appends three entries visited in the same pass: a
// single coefficient at list index 20 is found within one plane.
TEST(Coefficients, SplitEntriesAreVisitedInTheSamePass) {
  Bits b;
  // planes = 1; (4,0): 1; group 4..7: 1 1 1 1 (all wait); (8,1): 1 -> split;
  // (8,2): 1?  no: 0; (24,0) 0; (44,0) 0; (1,3) (2,3) (3,3): 0 0 0;
  // appended (12,2): 0; (16,2): 0; (20,2): 1; group 20..23: 0 + sign 0,
  // then 1 1 1.
  const char* bits = "1000" "1" "1111" "1" "0" "0" "0" "000" "0" "0" "1" "00" "111";
  for (const char* p = bits; *p; ++p) PutBit(&b.w, *p == '1');
  BitReader r = b.Reader();
  int16_t out[64] = {};
  ReadCoefficients(&r, out);
  for (int k = 1; k < 64; ++k) EXPECT_EQ(out[COEFF_SCAN[k]], k == 20 ? 1 : 0) << k;
  EXPECT_EQ(BitReaderConsumed(&r), std::strlen(bits));
}

TEST(Coefficients, TruncatedStreamIsFlaggedNotOverrun) {
  std::vector<uint8_t> ones(8, 0xFF);
  BitReader r;
  BitReaderInit(&r, ones.data(), uint32_t(ones.size()));
  int16_t out[64] = {};
  ReadCoefficients(&r, out);  // 15 planes of ones: runs past the 64 bits
  EXPECT_TRUE(BitReaderOverrun(&r));
}

TEST(Residue, RoundTripsRandomResidues) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 500; ++trial) {
    int8_t target[64] = {};
    const int count = trial % 65;
    const int range = 1 << (trial % 8);
    for (int i = 0; i < count; ++i) {
      const int v = int(rng() % (2 * range + 1)) - range;
      target[rng() % 64] = int8_t(v < -128 ? -128 : v > 127 ? 127 : v);
    }
    const int changes = ResidueChanges(target);
    const int limit = changes == 0 ? 0 : changes - 1 > 127 ? 127 : changes - 1;
    Bits b;
    int8_t predicted[64];
    const uint32_t bits = WriteResidue(&b.w, target, limit, predicted);
    BitReader r = b.Reader();
    int8_t out[64];
    ReadResidue(&r, limit, out);
    EXPECT_EQ(BitReaderConsumed(&r), bits);
    EXPECT_EQ(std::memcmp(out, predicted, 64), 0) << "trial " << trial;
    if (changes <= 128) {
      EXPECT_EQ(std::memcmp(out, target, 64), 0) << "trial " << trial;
    }
  }
}

// A limit below the changes needed keeps the most significant part: limit 0
// stops after the first value, in the first pass.
TEST(Residue, LimitStopsEarly) {
  int8_t target[64] = {};
  target[10] = -4;
  target[40] = 4;
  target[41] = 7;
  int8_t predicted[64];
  Bits b;
  const uint32_t bits = WriteResidue(&b.w, target, 0, predicted);
  BitReader r = b.Reader();
  int8_t out[64];
  ReadResidue(&r, 0, out);
  EXPECT_EQ(BitReaderConsumed(&r), bits);
  int nonzero = 0;
  for (int k = 0; k < 64; ++k) nonzero += out[k] != 0;
  EXPECT_EQ(nonzero, 1);
  EXPECT_EQ(std::memcmp(out, predicted, 64), 0);
  // Refinement moves away from zero in the value's own direction.
  target[41] = 0;
  target[10] = -6;
  target[40] = 6;
  Bits full;
  WriteResidue(&full.w, target, 127, nullptr);
  r = full.Reader();
  ReadResidue(&r, 127, out);
  EXPECT_EQ(out[10], -6);
  EXPECT_EQ(out[40], 6);
}

// All ones: every one of the 64 list indices (0 included, through the
// (0, 2) start entry) is inserted in front in the first pass; the next
// passes set and refine them until the limit of 128 changes.
TEST(Residue, EveryIndexInsertedInFront) {
  std::vector<uint8_t> ones(64, 0xFF);
  BitReader r;
  BitReaderInit(&r, ones.data(), uint32_t(ones.size()));
  int8_t out[64];
  ReadResidue(&r, 127, out);
  for (int k = 0; k < 64; ++k) EXPECT_EQ(out[k], -96) << k;  // -64, refined by -32
  EXPECT_FALSE(BitReaderOverrun(&r));
}

// Values are signed bytes at every step: +128 is stored as -128, and its
// refinement follows the wrapped sign.
TEST(Residue, ValuesWrapAtEveryStep) {
  Bits b;
  // c = 7; mask 128: (4,0) 0, (24,0) 0, (44,0) 0, (0,2) 1; group: index 0
  // value now (0) with sign 0 -> +128 = -128; 1..3 wait (1 1 1).
  // mask 64: refine index 0 with 1: -128 - 64 wraps to 64; rest zeros.
  const char* bits = "111" "000" "1" "0" "0" "111" "1";
  for (const char* p = bits; *p; ++p) PutBit(&b.w, *p == '1');
  BitReader r = b.Reader();
  int8_t out[64];
  ReadResidue(&r, 1, out);  // two changes: the limit test ends it right there
  EXPECT_EQ(out[0], 64);
  EXPECT_EQ(BitReaderConsumed(&r), std::strlen(bits));
}

// Plain readers: the list walk one bit at a time, with none of the
// shortcuts the real readers take over runs of waiting indices.
struct PlainCoefficientPolicy {
  BitReader* r;
  int16_t* values;
  int b;
  bool EntryBit(int, int) { return ReadBit(r) != 0; }
  bool GroupBit(int) { return ReadBit(r) != 0; }
  bool Receive(int k) {
    if (b == 1) {
      values[k] = ReadBit(r) ? -1 : 1;
    } else {
      const uint32_t top = 1u << (b - 1), t = ReadBits(r, uint32_t(b));
      const int m = int(top | (t & (top - 1)));
      values[k] = int16_t((t & top) ? -m : m);
    }
    return true;
  }
};

void PlainReadCoefficients(BitReader* r, int16_t block[64]) {
  int16_t values[64] = {};
  CoefficientList list;
  ListStart(&list);
  for (int e : {4, 24, 44}) ListAppend(&list, e, 0);
  for (int e : {1, 2, 3}) ListAppend(&list, e, 3);
  PlainCoefficientPolicy p{r, values, 0};
  for (int b = int(ReadBits(r, 4)); b >= 1; --b) {
    p.b = b;
    ListWalkPass(&list, p);
  }
  for (int k = 1; k < 64; ++k) block[COEFF_SCAN[k]] = values[k];
}

struct PlainResiduePolicy {
  BitReader* r = nullptr;
  int8_t* values = nullptr;
  int mask = 0, limit = 0, updates = 0;
  std::vector<int> significant;
  bool Changed() { return updates == limit ? false : (++updates, true); }
  bool EntryBit(int, int) { return ReadBit(r) != 0; }
  bool GroupBit(int) { return ReadBit(r) != 0; }
  bool Receive(int k) {
    significant.push_back(k);
    values[k] = int8_t(ReadBit(r) ? -mask : mask);
    return Changed();
  }
};

void PlainReadResidue(BitReader* r, int limit, int8_t out[64]) {
  std::memset(out, 0, 64);
  CoefficientList list;
  ListStart(&list);
  for (int e : {4, 24, 44}) ListAppend(&list, e, 0);
  ListAppend(&list, 0, 2);
  PlainResiduePolicy p;
  p.r = r;
  p.values = out;
  p.limit = limit;
  for (int mask = 1 << ReadBits(r, 3); mask >= 1; mask >>= 1) {
    p.mask = mask;
    bool go = true;
    for (size_t i = 0; i < p.significant.size() && go; ++i) {
      if (!ReadBit(r)) continue;
      int8_t& v = out[p.significant[i]];
      v = int8_t(v < 0 ? v - mask : v + mask);
      go = p.Changed();
    }
    if (!go || !ListWalkPass(&list, p)) return;
  }
}

// Whatever the bits, the readers stay inside their lists and blocks (the
// sanitizer build checks the memory side), coefficient values stay within
// what 15 bit planes can express, and the results and bits taken are those
// of the plain walk.
TEST(CoefficientsAndResidue, ArbitraryBitsStayInBounds) {
  std::mt19937 rng(99);
  std::vector<uint8_t> bytes(256);
  for (int trial = 0; trial < 3000; ++trial) {
    const int density = trial % 5;  // from mostly zeros to mostly ones
    for (uint8_t& b : bytes) {
      uint8_t v = 0;
      for (int bit = 0; bit < 8; ++bit) v |= uint8_t((int(rng() % 4) < density) << bit);
      b = v;
    }
    BitReader r, plain;
    BitReaderInit(&r, bytes.data(), uint32_t(bytes.size()));
    BitReaderInit(&plain, bytes.data(), uint32_t(bytes.size()));
    int16_t block[64] = {}, plain_block[64] = {};
    ReadCoefficients(&r, block);
    PlainReadCoefficients(&plain, plain_block);
    for (int i = 1; i < 64; ++i) ASSERT_LE(std::abs(int(block[i])), 32767);
    ASSERT_EQ(std::memcmp(block, plain_block, sizeof block), 0) << "trial " << trial;
    ASSERT_EQ(BitReaderConsumed(&r), BitReaderConsumed(&plain));
    const int limit = int(rng() % 128);
    int8_t residue[64], plain_residue[64];
    ReadResidue(&r, limit, residue);
    PlainReadResidue(&plain, limit, plain_residue);
    ASSERT_EQ(std::memcmp(residue, plain_residue, 64), 0) << "trial " << trial;
    ASSERT_EQ(BitReaderConsumed(&r), BitReaderConsumed(&plain));
  }
}


// The coefficient reader is specialised for speed; on short and unaligned
// streams of every bit density it must take the same values, the same bits
// and report the same overrun as the plain walk.
TEST(Coefficients, SpecialisedReaderMatchesThePlainWalkOnShortStreams) {
  std::mt19937 rng(7);
  std::vector<uint8_t> buffer(64);
  for (int trial = 0; trial < 30000; ++trial) {
    const uint32_t offset = uint32_t(trial % 4);
    const uint32_t size = uint32_t(rng() % 40);
    const int density = int(rng() % 9);  // eighths of one bits
    for (uint8_t& b : buffer) {
      uint8_t v = 0;
      for (int bit = 0; bit < 8; ++bit) v |= uint8_t((int(rng() % 8) < density) << bit);
      b = v;
    }
    // Exactly the stream's bytes on the heap, so the sanitizer build sees any
    // read past its end.
    std::vector<uint8_t> stream(buffer.begin(), buffer.begin() + offset + size);
    BitReader r, plain;
    BitReaderInit(&r, stream.data() + offset, size);
    BitReaderInit(&plain, stream.data() + offset, size);
    int16_t block[64], plain_block[64];
    std::memset(block, 0x55, sizeof block);
    std::memset(plain_block, 0x55, sizeof plain_block);
    ReadCoefficients(&r, block);
    PlainReadCoefficients(&plain, plain_block);
    ASSERT_EQ(std::memcmp(block + 1, plain_block + 1, 63 * sizeof(int16_t)), 0) << "trial " << trial;
    ASSERT_EQ(BitReaderConsumed(&r), BitReaderConsumed(&plain)) << "trial " << trial;
    ASSERT_EQ(BitReaderOverrun(&r), BitReaderOverrun(&plain)) << "trial " << trial;
  }
}

// Well inside a long stream the reader drops its end checks; there it must
// still match the plain walk, and no block may come near the distance from
// the end at which those checks return (1024 bytes).
TEST(Coefficients, SpecialisedReaderMatchesThePlainWalkInsideLongStreams) {
  std::mt19937 rng(3);
  uint64_t most = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int density = trial % 9;  // eighths of one bits
    const uint32_t size = 1024 + uint32_t(rng() % 600);
    std::vector<uint8_t> stream(size);
    for (uint8_t& b : stream) {
      uint8_t v = 0;
      for (int bit = 0; bit < 8; ++bit) v |= uint8_t((int(rng() % 8) < density) << bit);
      b = v;
    }
    BitReader r, plain;
    BitReaderInit(&r, stream.data(), size);
    BitReaderInit(&plain, stream.data(), size);
    while (!BitReaderOverrun(&r)) {
      int16_t block[64], plain_block[64];
      const uint64_t before = BitReaderConsumed(&r);
      ReadCoefficients(&r, block);
      PlainReadCoefficients(&plain, plain_block);
      ASSERT_EQ(std::memcmp(block + 1, plain_block + 1, 63 * sizeof(int16_t)), 0) << "trial " << trial;
      ASSERT_EQ(BitReaderConsumed(&r), BitReaderConsumed(&plain)) << "trial " << trial;
      most = std::max(most, BitReaderConsumed(&r) - before);
    }
  }
  EXPECT_LT(most, 2400u);
}

}  // namespace
