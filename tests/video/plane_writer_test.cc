// The plane writer's chunk planning and the coding statistics it reports
// (the encoder prices its next plane by them).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/video/video_test_helpers.h"
#include "video/block_kinds.h"

namespace {

using Rows = std::vector<std::vector<BlockSpec>>;

// Raw blocks of noise; the expected picture goes to *pixels (pitch = width).
Rows NoiseRows(uint32_t width, uint32_t height, uint32_t raw_per_row, std::vector<uint8_t>* pixels) {
  std::mt19937 rng(5);
  pixels->assign(size_t(width) * height, 0);
  Rows rows(height / 8);
  for (uint32_t by = 0; by < height / 8; ++by)
    for (uint32_t bx = 0; bx < width / 8; ++bx) {
      uint8_t block[64];
      for (uint8_t& p : block) p = uint8_t(rng());
      if (bx >= raw_per_row) std::fill(block, block + 64, uint8_t(bx));
      rows[by].push_back(bx < raw_per_row ? RawBlock(block) : FillBlockSpec(block[0]));
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) (*pixels)[(by * 8 + y) * width + bx * 8 + x] = block[y * 8 + x];
    }
  return rows;
}

PlaneWriter* Writer(uint32_t width, uint32_t height, BundleCapacities* caps) {
  ComputeBundleCapacities(width, caps);
  return PlaneWriterCreate(width, height, caps, false);
}

TEST(PlaneWriter, ChunkLimitIsTheCapacityOrTheLengthFieldWhicheverIsLess) {
  BundleCapacities caps;
  struct Case {
    uint32_t width, id, limit;
  } cases[] = {
      {64, BUNDLE_COLOURS, 1023},    // capacity 1024, 10-bit count
      {640, BUNDLE_RUNS, 4352},      // capacity 80 * 48 + 512, 13-bit count
      {4160, BUNDLE_COLOURS, 32767}, // capacity 33792, 15-bit count
  };
  for (const Case& c : cases) {
    PlaneWriter* w = Writer(c.width, 8, &caps);
    EXPECT_EQ(PlaneWriterChunkLimit(w, c.id), c.limit) << c.width;
    PlaneWriterDestroy(w);
  }
}

// Rows are gathered into one chunk only while its count fits the length
// field: two rows of 512 colours (64 wide) or of 16585 colours (4160 wide)
// stay within the capacity but not within the field, and must be split.
TEST(PlaneWriter, ChunksSpanningRowsStayWithinTheLengthField) {
  struct Case {
    uint32_t width, height, raw_per_row;
  } cases[] = {{64, 32, 8}, {4160, 16, 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    std::vector<uint8_t> pixels;
    const Rows rows = NoiseRows(c.width, c.height, c.raw_per_row, &pixels);
    std::vector<uint8_t> stream = EncodePlane(c.width, c.height, rows);
    ASSERT_FALSE(stream.empty());
    PlaneRun run = RunPlane(stream, c.width, c.height, nullptr, 0);
    ASSERT_TRUE(run.ok) << VideoErrorText(run.result.error);
    EXPECT_EQ(run.dst, pixels);
    EXPECT_EQ(run.result.end_offset, stream.size());
  }
  // One row of 33280 colours cannot be coded at all.
  std::vector<uint8_t> pixels;
  EXPECT_TRUE(EncodePlane(4160, 8, NoiseRows(4160, 8, 520, &pixels)).empty());
}

// One row, so every bundle with values takes one chunk and the unused ones
// an end mark: trees, the reported chunk bits and the end marks are the
// whole stream but its padding.
TEST(PlaneWriter, StatsAccountForEveryChunkBitAndEveryKind) {
  const uint32_t width = 80;
  BundleCapacities caps;
  PlaneWriter* w = Writer(width, 8, &caps);
  uint8_t rows8[8] = {1, 2, 4, 8, 16, 32, 64, 128}, noise[64];
  std::mt19937 rng(8);
  for (uint8_t& p : noise) p = uint8_t(rng());
  // Kinds: fill, then four more fills (one escape for four repeats),
  // pattern, raw, fill, motion, skip.
  const std::vector<BlockSpec> row = {
      FillBlockSpec(10), FillBlockSpec(10), FillBlockSpec(20), FillBlockSpec(30), FillBlockSpec(40),
      PatternBlockSpec(3, 200, rows8), RawBlock(noise), FillBlockSpec(50), MotionBlock(0, 0), SkipBlock()};
  PlaneWriterBeginRow(w);
  for (const BlockSpec& b : row) ASSERT_TRUE(PlaneWriterPutBlock(w, &b));
  std::vector<uint8_t> out;
  PlaneCodingStats stats;
  ASSERT_TRUE(PlaneWriterFinish(w, HUFF_TREE_AUTO, &out, &stats));
  PlaneWriterDestroy(w);

  const uint64_t want_values[BUNDLE_COUNT] = {10, 0, 5 + 2 + 64 + 1, 8, 1, 1, 0, 0, 0};
  uint64_t bits = 0;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    EXPECT_EQ(stats.values[id], want_values[id]) << id;
    bits += stats.values[id] ? stats.bits[id] : BundleLengthBits(id, width);
  }
  const HuffTree* trees[] = {&stats.trees.block_types, &stats.trees.sub_block_types, &stats.trees.colours,
                             &stats.trees.patterns,    &stats.trees.x_offsets,       &stats.trees.y_offsets,
                             &stats.trees.runs};
  for (const HuffTree* t : trees) bits += uint64_t(HuffTreeDescriptionBits(t, HUFF_TREE_AUTO));
  for (const HuffTree& t : stats.trees.colour_high)
    bits += uint64_t(HuffTreeDescriptionBits(&t, HUFF_TREE_AUTO));
  EXPECT_LE(bits, out.size() * 8);
  EXPECT_GT(bits + 32, out.size() * 8);

  // The kind chunk is a list: fill 10, escape (four repeats), pattern, raw,
  // fill, motion, skip.
  const HuffTree* kinds = &stats.trees.block_types;
  EXPECT_EQ(stats.kind_values[0][BLOCK_FILL], 6u);
  EXPECT_EQ(stats.kind_bits[0][BLOCK_FILL], 2u * SymbolBits(kinds, BLOCK_FILL) + SymbolBits(kinds, 12));
  EXPECT_EQ(stats.kind_values[0][BLOCK_RAW], 1u);
  EXPECT_EQ(stats.kind_bits[0][BLOCK_RAW], SymbolBits(kinds, BLOCK_RAW));
  uint64_t listed = 0;
  for (uint32_t k = 0; k < 16; ++k) listed += stats.kind_values[0][k] + stats.kind_values[1][k];
  EXPECT_EQ(listed, 10u);
}

// A kind chunk in the fill form codes no symbols: nothing to price a kind by.
TEST(PlaneWriter, StatsOfAFillFormKindChunkListNoKinds) {
  BundleCapacities caps;
  PlaneWriter* w = Writer(32, 16, &caps);
  for (int r = 0; r < 2; ++r) {
    PlaneWriterBeginRow(w);
    for (int b = 0; b < 4; ++b) {
      BlockSpec fill = FillBlockSpec(uint8_t(r * 4 + b));
      ASSERT_TRUE(PlaneWriterPutBlock(w, &fill));
    }
  }
  std::vector<uint8_t> out;
  PlaneCodingStats stats;
  ASSERT_TRUE(PlaneWriterFinish(w, HUFF_TREE_AUTO, &out, &stats));
  PlaneWriterDestroy(w);
  EXPECT_EQ(stats.values[BUNDLE_BLOCK_TYPES], 8u);
  for (uint32_t k = 0; k < 16; ++k) EXPECT_EQ(stats.kind_values[0][k], 0u);
  // Fill bit and the 4-bit kind after the count.
  EXPECT_EQ(stats.bits[BUNDLE_BLOCK_TYPES], BundleLengthBits(BUNDLE_BLOCK_TYPES, 32) + 5u);
}

}  // namespace
