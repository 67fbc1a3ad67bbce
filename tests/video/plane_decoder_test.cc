// Plane decoding: every block kind and scaled sub-kind stated as values,
// written with our plane writer and decoded; the change map and unchanged
// count; and the limits that make a plane's data invalid.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/video/video_test_helpers.h"
#include "video/bit_writer.h"
#include "video/block_kinds.h"
#include "video/coefficients_scan.h"
#include "video/inverse_transform.h"
#include "video/quant_tables.h"
#include "video/scan_tables.h"

namespace {

using Rows = std::vector<std::vector<BlockSpec>>;

// The expected result of one block at (x, y), computed independently of the decoder
// (the transform comes from the inverse transform itself).
void Expect(const BlockSpec& b, uint32_t x, uint32_t y, uint32_t width, const std::vector<uint8_t>& ref,
            std::vector<uint8_t>* out) {
  auto at = [&](std::vector<uint8_t>& p, uint32_t px, uint32_t py) -> uint8_t& { return p[py * width + px]; };
  std::vector<uint8_t>& o = *out;
  std::vector<uint8_t>& r = const_cast<std::vector<uint8_t>&>(ref);
  uint8_t block[64];
  bool doubled = b.kind == BLOCK_SCALED;
  uint32_t kind = doubled ? b.sub_kind : b.kind;
  auto put = [&](const uint8_t* px) {
    for (uint32_t i = 0; i < (doubled ? 256u : 64u); ++i) {
      uint32_t bx = doubled ? (i % 16) : (i % 8), by = doubled ? (i / 16) : (i / 8);
      at(o, x + bx, y + by) = doubled ? px[(by / 2) * 8 + bx / 2] : px[by * 8 + bx];
    }
  };
  int16_t coeffs[64];
  std::memcpy(coeffs, b.coeffs, sizeof(coeffs));
  coeffs[0] = b.dc;
  switch (kind) {
    case BLOCK_SKIP:
      if (doubled) return;
      for (int i = 0; i < 64; ++i) block[i] = at(r, x + i % 8, y + i / 8);
      put(block);
      return;
    case BLOCK_MOTION:
    case BLOCK_RESIDUE:
    case BLOCK_INTER_DCT:
      if (doubled) return;
      for (int i = 0; i < 64; ++i) block[i] = at(r, x + b.dx + i % 8, y + b.dy + i / 8);
      if (kind == BLOCK_RESIDUE)
        for (int k = 0; k < 64; ++k) block[COEFF_SCAN[k]] = uint8_t(block[COEFF_SCAN[k]] + b.residue[k]);
      if (kind == BLOCK_INTER_DCT) {
        uint8_t v[64];
        InverseTransform(coeffs, INTER_QUANT[b.quant], v);
        for (int i = 0; i < 64; ++i) block[i] = uint8_t(block[i] + v[i]);
      }
      put(block);
      return;
    case BLOCK_RUNS:
    case BLOCK_RAW: put(b.pixels); return;
    case BLOCK_INTRA_DCT: InverseTransform(coeffs, INTRA_QUANT[b.quant], block); put(block); return;
    case BLOCK_FILL: std::memset(block, b.colour0, 64); put(block); return;
    case BLOCK_PATTERN:
      for (int i = 0; i < 64; ++i) block[i] = (b.pattern[i / 8] >> (i % 8) & 1) ? b.colour1 : b.colour0;
      put(block);
      return;
    default: return;  // kept
  }
}

// A random valid block at (x, y) of a width x height plane.
BlockSpec RandomBlock(std::mt19937* rng, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  uint8_t pixels[64];
  RandomPixels(rng, pixels);
  int16_t coeffs[64] = {};
  for (int k = 1; k < 64; ++k)
    if ((*rng)() % 6 == 0) coeffs[k] = int16_t(int((*rng)() % 41) - 20);
  auto offset = [&](uint32_t pos, uint32_t size) {
    int lo = -int(pos < 15 ? pos : 15), hi = int(size - 8 - pos < 15 ? size - 8 - pos : 15);
    return lo + int((*rng)() % uint32_t(hi - lo + 1));
  };
  int dx = offset(x, width), dy = offset(y, height);
  switch ((*rng)() % 11) {
    case 0: return SkipBlock();
    case 1: return MotionBlock(dx, dy);
    case 2: return RunsBlock(pixels, (*rng)() % 16);
    case 3: {
      int8_t residue[64] = {};
      for (int k = 0; k < 64; ++k)
        if ((*rng)() % 4 == 0) residue[k] = int8_t(int((*rng)() % 31) - 15);
      return ResidueBlock(dx, dy, residue);
    }
    case 4: return IntraBlock(int16_t((*rng)() % 2048), coeffs, (*rng)() % 16);
    case 5: return FillBlockSpec(uint8_t((*rng)()));
    case 6: return InterBlock(dx, dy, int16_t(int((*rng)() % 401) - 200), coeffs, (*rng)() % 16);
    case 7: return PatternBlockSpec(uint8_t((*rng)()), uint8_t((*rng)()), pixels);
    case 8: return RawBlock(pixels);
    case 9: return KindBlock(10 + (*rng)() % 2);
    default: return KindBlock(10 + (*rng)() % 2);  // 12..15 only fit uniform chunks
  }
}

TEST(PlaneDecoder, RandomPlanesOfEveryKindRoundTrip) {
  std::mt19937 rng(2024);
  for (int iter = 0; iter < 40; ++iter) {
    const uint32_t width = 8 * (1 + rng() % 12), height = 8 * (1 + rng() % 8);
    std::vector<uint8_t> ref(width * height);
    for (uint8_t& p : ref) p = uint8_t(rng());
    std::vector<uint8_t> expected(width * height, 0x33);
    Rows rows;
    for (uint32_t y = 0; y < height; y += 8) {
      rows.emplace_back();
      for (uint32_t x = 0; x < width; x += 8) {
        rows.back().push_back(RandomBlock(&rng, x, y, width, height));
        Expect(rows.back().back(), x, y, width, ref, &expected);
      }
    }
    const bool old = iter % 4 == 3;
    if (old)  // byte 0 has no sign-and-magnitude code
      for (auto& row : rows)
        for (BlockSpec& b : row) {
          b.colour0 |= 1;
          b.colour1 |= 1;
          for (uint8_t& p : b.pixels) p |= 1;
        }
    if (old) {
      expected.assign(width * height, 0x33);
      for (uint32_t y = 0; y < height; y += 8)
        for (uint32_t x = 0; x < width; x += 8) Expect(rows[y / 8][x / 8], x, y, width, ref, &expected);
    }
    const HuffTreeMode mode = iter % 3 == 0 ? HUFF_TREE_MERGE : HUFF_TREE_AUTO;
    std::vector<uint8_t> stream = EncodePlane(width, height, rows, false, old, mode);
    ASSERT_FALSE(stream.empty()) << "iteration " << iter;
    PlaneRun run = RunPlane(stream, width, height, &ref, 0x33, 1, nullptr, old);
    ASSERT_TRUE(run.ok) << VideoErrorText(run.result.error) << " iteration " << iter;
    ASSERT_EQ(run.dst, expected) << "iteration " << iter << " " << width << "x" << height;
    // The stream is consumed exactly: the reader stops in its last word.
    EXPECT_EQ(run.result.end_offset, stream.size());
  }
}

TEST(PlaneDecoder, ScaledSubKindsDrawDoubledAndOddRowsOnlyMark) {
  std::mt19937 rng(9);
  uint8_t pixels[64], runs_px[64];
  RandomPixels(&rng, pixels);
  RandomPixels(&rng, runs_px);
  const uint8_t rows8[8] = {0x0F, 0xF0, 0x55, 0xAA, 0x01, 0x80, 0xFF, 0x00};
  int16_t coeffs[64] = {};
  coeffs[1] = 12;
  coeffs[8] = -7;
  BlockSpec fill = FillBlockSpec(90), pattern = PatternBlockSpec(10, 200, rows8), raw = RawBlock(pixels),
            runs = RunsBlock(runs_px, 6), intra = IntraBlock(900, coeffs, 2), empty = KindBlock(BLOCK_MOTION);
  BlockSpec s_fill = ScaledBlock(&fill), s_pattern = ScaledBlock(&pattern), s_raw = ScaledBlock(&raw),
            s_runs = ScaledBlock(&runs), s_intra = ScaledBlock(&intra), s_empty = ScaledBlock(&empty);
  BlockSpec cont = ScaledBlock();
  // 48 x 32: two scaled rows of three areas each.
  Rows rows = {{s_fill, s_pattern, s_raw}, {cont, cont, cont}, {s_runs, s_intra, s_empty}, {cont, cont, cont}};
  std::vector<uint8_t> ref(48 * 32, 1);
  std::vector<uint8_t> expected(48 * 32, 0x44);
  Expect(s_fill, 0, 0, 48, ref, &expected);
  Expect(s_pattern, 16, 0, 48, ref, &expected);
  Expect(s_raw, 32, 0, 48, ref, &expected);
  Expect(s_runs, 0, 16, 48, ref, &expected);
  Expect(s_intra, 16, 16, 48, ref, &expected);
  std::vector<uint8_t> stream = EncodePlane(48, 32, rows);
  ASSERT_FALSE(stream.empty());
  PlaneRun run = RunPlane(stream, 48, 32, &ref, 0x44);
  ASSERT_TRUE(run.ok) << VideoErrorText(run.result.error);
  EXPECT_EQ(run.dst, expected);
  // The pattern 0x0F on (10, 200): a row 200 x8 then 10 x8 (doubled).
  EXPECT_EQ(run.dst[16], 200);
  EXPECT_EQ(run.dst[16 + 7], 200);
  EXPECT_EQ(run.dst[16 + 8], 10);
  // Every scaled area is marked, including the empty sub-kind.
  EXPECT_EQ(run.map, std::vector<uint8_t>(3 * 2, 1));
  EXPECT_EQ(run.result.unchanged, 0);
}

TEST(PlaneDecoder, ChangeMapAndUnchangedCount) {
  std::vector<uint8_t> ref(32 * 32, 9);
  {
    // Luma: four skips in area 0 count; the skips in area 1 follow a fill
    // and do not; kinds 11 and 12 neither mark nor count.
    Rows rows = {{SkipBlock(), SkipBlock(), FillBlockSpec(5), KindBlock(11)},
                 {SkipBlock(), SkipBlock(), SkipBlock(), SkipBlock()},
                 {KindBlock(12), KindBlock(12), KindBlock(12), KindBlock(12)},
                 {KindBlock(11), KindBlock(11), KindBlock(11), SkipBlock()}};
    std::vector<uint8_t> stream = EncodePlane(32, 32, rows);
    PlaneRun run = RunPlane(stream, 32, 32, &ref, 0);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.map, (std::vector<uint8_t>{0, 1, 0, 0}));
    EXPECT_EQ(run.result.unchanged, 5);
    EXPECT_EQ(run.dst[24], 0);            // kind 11 kept its pixels
    EXPECT_EQ(run.dst[16 * 32 + 8], 0);  // and so did kind 12
    EXPECT_EQ(run.dst[0], 9);    // skip copied the reference
    // An area an earlier plane marked does not count.
    std::vector<uint8_t> marked = {1, 0, 0, 1};
    run = RunPlane(stream, 32, 32, &ref, 0, 1, &marked);
    EXPECT_EQ(run.result.unchanged, 0);
  }
  {
    // Chroma (map step 2): one map byte per block, one map row per block row.
    Rows rows = {{SkipBlock(), FillBlockSpec(5)}, {SkipBlock(), SkipBlock()}};
    std::vector<uint8_t> stream = EncodePlane(16, 16, rows);
    PlaneRun run = RunPlane(stream, 16, 16, &ref, 0, 2);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.map, (std::vector<uint8_t>{0, 1, 0, 0}));
    EXPECT_EQ(run.result.unchanged, 3);
  }
}

TEST(PlaneDecoder, RunsOf63TakeALastColourAndRunsOf64DoNot) {
  for (uint32_t last : {15u, 16u}) {
    BlockSpec runs = KindBlock(BLOCK_RUNS);
    runs.scan = 0;
    for (int i = 0; i < 64; ++i) runs.pixels[i] = uint8_t(i);
    runs.run_count = 4;
    runs.runs[0] = {16, true};
    runs.runs[1] = {16, false};
    runs.runs[2] = {16, true};
    runs.runs[3] = {uint8_t(last), false};
    // A fill after it shows that exactly the right colours were taken.
    Rows rows = {{runs, FillBlockSpec(222)}};
    std::vector<uint8_t> stream = EncodePlane(16, 8, rows);
    ASSERT_FALSE(stream.empty());
    PlaneRun run = RunPlane(stream, 16, 8, nullptr, 0);
    ASSERT_TRUE(run.ok);
    const uint8_t* scan = RUN_SCANS[0];
    auto px = [&](int pos) { return run.dst[(pos / 8) * 16 + pos % 8]; };
    EXPECT_EQ(px(scan[5]), scan[0]);    // fill run: the colour of its first position
    EXPECT_EQ(px(scan[20]), scan[20]);  // literal run
    EXPECT_EQ(px(scan[63]), scan[63]);  // the extra colour, or the last literal
    EXPECT_EQ(run.dst[8], 222);
  }
}

TEST(PlaneDecoder, PlaneOfWidthEightAndInPlaceMotion) {
  std::vector<uint8_t> column(8 * 24);
  for (size_t i = 0; i < column.size(); ++i) column[i] = uint8_t(i);
  Rows rows = {{FillBlockSpec(7)}, {MotionBlock(0, -8)}, {KindBlock(11)}};
  std::vector<uint8_t> stream = EncodePlane(8, 24, rows);
  // One plane set: the reference is the destination, so the motion block
  // copies the fill decoded just above it.
  PlaneRun run = RunPlane(stream, 8, 24, nullptr, 3);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.dst[8 * 8], 7);
  EXPECT_EQ(run.dst[16 * 8], 3);
}

struct BadCase {
  const char* what;
  uint32_t width, height;
  Rows rows;
  VideoError error;
};

TEST(PlaneDecoder, DataBreakingALimitIsRejectedWhereItBreaks) {
  int16_t coeffs[64] = {};
  int8_t residue[64] = {};
  residue[0] = 3;
  BlockSpec fill = FillBlockSpec(50);
  BlockSpec runs = KindBlock(BLOCK_RUNS);
  runs.run_count = 5;
  for (int i = 0; i < 4; ++i) runs.runs[i] = {16, true};
  runs.runs[3] = {14, true};
  runs.runs[4] = {3, true};  // 16 + 16 + 16 + 14 + 3 = 65
  std::vector<BadCase> cases = {
      {"motion left of the plane", 16, 8, {{fill, MotionBlock(-9, 0)}}, VIDEO_ERROR_SOURCE_OUTSIDE},
      {"motion below the plane", 16, 16, {{fill, fill}, {MotionBlock(0, 1), fill}}, VIDEO_ERROR_SOURCE_OUTSIDE},
      {"residue above the plane", 16, 8, {{fill, ResidueBlock(0, -1, residue)}}, VIDEO_ERROR_SOURCE_OUTSIDE},
      {"inter right of the plane", 16, 8, {{fill, InterBlock(1, 0, 4, coeffs, 0)}}, VIDEO_ERROR_SOURCE_OUTSIDE},
      {"scaled in the last column", 24, 16, {{fill, fill, ScaledBlock(&fill)}, {fill, fill, fill}},
       VIDEO_ERROR_SCALED_AT_EDGE},
      {"scaled in the last row", 32, 8, {{fill, ScaledBlock(&fill), fill}}, VIDEO_ERROR_SCALED_AT_EDGE},
      {"runs past the block", 16, 8, {{fill, runs}}, VIDEO_ERROR_RUNS_PAST_END},
  };
  for (const BadCase& c : cases) {
    std::vector<uint8_t> stream = EncodePlane(c.width, c.height, c.rows, true);
    ASSERT_FALSE(stream.empty()) << c.what;
    std::vector<uint8_t> ref(c.width * c.height, 1);
    PlaneRun run = RunPlane(stream, c.width, c.height, &ref, 0xEE);
    EXPECT_FALSE(run.ok) << c.what;
    EXPECT_EQ(run.result.error, c.error) << c.what;
    EXPECT_EQ(run.dst[0], 50) << c.what;  // decoded before the fault
    // From the offending block on, the plane shows the reference.
    EXPECT_EQ(run.dst.back(), 1) << c.what;
  }
}

TEST(PlaneDecoder, TakingFromAnEndedBundleIsRejected) {
  // Hand-made: all trees table 0, one fill block whose colours bundle ended.
  std::vector<uint8_t> bytes(256);
  BitWriter w;
  BitWriterInit(&w, bytes.data(), uint32_t(bytes.size()));
  for (int t = 0; t < 23; ++t) PutBits(&w, 0, 4);
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    PutBits(&w, id == BUNDLE_BLOCK_TYPES ? 1 : 0, BundleLengthBits(id, 8));
    if (id == BUNDLE_BLOCK_TYPES) {
      PutBit(&w, 1);
      PutBits(&w, BLOCK_FILL, 4);
    }
  }
  bytes.resize(BitWriterFlush(&w));
  PlaneRun run = RunPlane(bytes, 8, 8, nullptr, 0x21);
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.result.error, VIDEO_ERROR_BUNDLE_EMPTY);
  EXPECT_EQ(run.dst, std::vector<uint8_t>(64, 0x21));
}

TEST(PlaneDecoder, TruncatedAndFlippedStreamsNeverReadOutside) {
  std::mt19937 rng(77);
  const uint32_t width = 64, height = 48;
  Rows rows;
  for (uint32_t y = 0; y < height; y += 8) {
    rows.emplace_back();
    for (uint32_t x = 0; x < width; x += 8) rows.back().push_back(RandomBlock(&rng, x, y, width, height));
  }
  std::vector<uint8_t> stream = EncodePlane(width, height, rows);
  ASSERT_FALSE(stream.empty());
  std::vector<uint8_t> ref(width * height, 5);
  int rejected = 0;
  for (int iter = 0; iter < 300; ++iter) {
    std::vector<uint8_t> bad = stream;
    if (iter % 2) {
      bad.resize(rng() % bad.size());
    } else {
      for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
    }
    // Exact-size copies let the sanitizer see any read past the data.
    PlaneRun run = RunPlane(bad, width, height, &ref, 0);
    if (!run.ok) ++rejected;
    EXPECT_LE(run.result.end_offset, bad.size());
  }
  EXPECT_GT(rejected, 100);
}

}  // namespace
