// Bit reader and writer: bit order, word loading, the end of the data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "video/bit_reader.h"
#include "video/bit_writer.h"

namespace {

TEST(BitReader, ReadsLeastSignificantBitFirstFromLittleEndianWords) {
  const uint8_t data[8] = {0xA5, 0x01, 0x00, 0x80, 0x0F, 0x00, 0x00, 0x00};
  BitReader r;
  BitReaderInit(&r, data, 8);
  EXPECT_EQ(ReadBit(&r), 1u);      // bit 0 of 0xA5
  EXPECT_EQ(ReadBits(&r, 3), 2u);  // bits 1..3: 0, 1, 0
  EXPECT_EQ(ReadBits(&r, 4), 0xAu);
  // 24 bits left in word 0, then the low 4 bits of word 1.
  EXPECT_EQ(ReadBits(&r, 28), 0x0F800001u);
  EXPECT_EQ(ReadBits(&r, 28), 0u);
  EXPECT_FALSE(BitReaderOverrun(&r));
}

TEST(BitReader, FullWidthReadsAndUnalignedStart) {
  std::vector<uint8_t> bytes(1 + 12);
  const uint32_t words[3] = {0xDEADBEEF, 0x01234567, 0xFFFFFFFF};
  std::memcpy(bytes.data() + 1, words, 12);  // host is little-endian in CI
  BitReader r;
  BitReaderInit(&r, bytes.data() + 1, 12);
  EXPECT_EQ(ReadBits(&r, 32), 0xDEADBEEFu);
  EXPECT_EQ(ReadBits(&r, 4), 0x7u);
  EXPECT_EQ(ReadBits(&r, 32), 0xF0123456u);
  EXPECT_EQ(ReadBits(&r, 28), 0x0FFFFFFFu);
  EXPECT_FALSE(BitReaderOverrun(&r));
  EXPECT_EQ(BitReaderWordOffset(&r), 12u);
}

TEST(BitReader, WordOffsetCountsOnlyWordsWithConsumedBits) {
  const uint8_t data[12] = {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0};
  BitReader r;
  BitReaderInit(&r, data, 12);
  EXPECT_EQ(BitReaderWordOffset(&r), 0u);
  ReadBits(&r, 32);
  // Ending exactly on a word boundary leaves the pointer after that word,
  // even though a peek has looked into the next one.
  EXPECT_EQ(PeekBits(&r, 7), 1u);
  EXPECT_EQ(BitReaderWordOffset(&r), 4u);
  ReadBit(&r);
  EXPECT_EQ(BitReaderWordOffset(&r), 8u);
}

TEST(BitReader, PeekPastTheEndSeesZerosAndOnlyConsumptionOverruns) {
  // The stream is the first 5 bytes; the byte after it must never show.
  const uint8_t data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0xFF};
  BitReader r;
  BitReaderInit(&r, data, 5);
  ReadBits(&r, 32);
  EXPECT_EQ(PeekBits(&r, 7), 0x03u);
  ReadBits(&r, 8);  // the last real byte
  EXPECT_FALSE(BitReaderOverrun(&r));
  EXPECT_EQ(PeekBits(&r, 7), 0u);
  EXPECT_EQ(ReadBits(&r, 24), 0u);  // padding of the partial word
  EXPECT_TRUE(BitReaderOverrun(&r));
  ReadBits(&r, 32);  // far past the end: still zeros, still overrun
  EXPECT_TRUE(BitReaderOverrun(&r));
}

TEST(BitReader, EmptyStream) {
  BitReader r;
  BitReaderInit(&r, nullptr, 0);
  EXPECT_EQ(PeekBits(&r, 7), 0u);
  EXPECT_FALSE(BitReaderOverrun(&r));
  EXPECT_EQ(ReadBit(&r), 0u);
  EXPECT_TRUE(BitReaderOverrun(&r));
}

// The cache is topped up eight bytes at a time, byte by byte near the end:
// against a plain bit-at-a-time reading of every stream length and start
// alignment, with mixed peeks, skips and reads, on exact-size buffers (the
// sanitizer build sees any read past the end).
TEST(BitReader, TopUpsMatchPlainReadingAtEveryLengthAndAlignment) {
  std::mt19937 rng(3);
  for (uint32_t size = 0; size <= 24; ++size)
    for (uint32_t offset = 0; offset < 8; ++offset) {
      std::vector<uint8_t> bytes(offset + size);
      for (uint8_t& b : bytes) b = uint8_t(rng());
      const uint8_t* stream = bytes.data() + offset;
      auto plain_bit = [&](uint64_t at) -> uint32_t {
        return at / 8 < size ? stream[at / 8] >> (at % 8) & 1 : 0;
      };
      BitReader r;
      BitReaderInit(&r, stream, size);
      uint64_t at = 0;
      while (at < uint64_t(size) * 8 + 40) {
        const uint32_t n = rng() % 33, how = rng() % 3;
        uint32_t want = 0;
        for (uint32_t i = 0; i < n; ++i) want |= plain_bit(at + i) << i;
        if (how == 0) {
          ASSERT_EQ(PeekBits(&r, n), want) << size << " " << offset << " " << at;
          SkipBits(&r, n);
        } else if (how == 1 && n > 0) {
          ASSERT_EQ(ReadBit(&r), plain_bit(at));
          at += 1;
          continue;
        } else {
          ASSERT_EQ(ReadBits(&r, n), want) << size << " " << offset << " " << at;
        }
        at += n;
        ASSERT_EQ(BitReaderConsumed(&r), at);
        ASSERT_EQ(BitReaderOverrun(&r), at > uint64_t(size) * 8);
      }
    }
}

TEST(BitWriter, RoundTripsRandomFieldsAndPadsToWords) {
  std::mt19937 rng(7);
  std::vector<std::pair<uint32_t, uint32_t>> fields;
  std::vector<uint8_t> buffer(4096);
  BitWriter w;
  BitWriterInit(&w, buffer.data(), uint32_t(buffer.size()));
  uint64_t bits = 0;
  for (int i = 0; i < 500; ++i) {
    uint32_t n = rng() % 33;
    uint32_t v = n == 32 ? uint32_t(rng()) : uint32_t(rng()) & ((1u << n) - 1);
    fields.push_back({v, n});
    PutBits(&w, v | (n < 32 ? 0xFFFFFFFFu << n : 0), n);  // high garbage is ignored
    bits += n;
  }
  EXPECT_EQ(BitWriterBitCount(&w), bits);
  uint32_t size = BitWriterFlush(&w);
  EXPECT_EQ(size, (bits + 31) / 32 * 4);
  BitReader r;
  BitReaderInit(&r, buffer.data(), size);
  for (auto [v, n] : fields) ASSERT_EQ(ReadBits(&r, n), v);
  EXPECT_FALSE(BitReaderOverrun(&r));
  EXPECT_EQ(BitReaderWordOffset(&r), size);
}

TEST(BitWriter, OverflowIsReportedNotWritten) {
  uint8_t buffer[8] = {};
  uint8_t guard = 0x5A;
  BitWriter w;
  BitWriterInit(&w, buffer, 4);
  PutBits(&w, 0xFFFFFFFF, 32);
  PutBits(&w, 0xFFFFFFFF, 32);
  EXPECT_TRUE(w.overflow);
  EXPECT_EQ(BitWriterFlush(&w), 0u);
  EXPECT_EQ(buffer[4], 0);
  EXPECT_EQ(guard, 0x5A);
}

}  // namespace
