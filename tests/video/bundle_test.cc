// Prefix codes, tree descriptions and the chunk coding of every bundle kind:
// writer -> reader round trips plus hand-made streams for the fixed cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/video/video_test_helpers.h"
#include "video/bit_reader.h"
#include "video/bit_writer.h"
#include "video/bundle.h"
#include "video/bundle_writer.h"
#include "video/code_tables.h"
#include "video/huff.h"
#include "video/huff_writer.h"

namespace {

struct Stream {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(1 << 16);
  BitWriter w;
  Stream() { BitWriterInit(&w, bytes.data(), uint32_t(bytes.size())); }
  BitReader Reader() {
    uint32_t size = BitWriterFlush(&w);
    EXPECT_GT(size, 0u);
    BitReader r;
    BitReaderInit(&r, bytes.data(), size);
    return r;
  }
};

TEST(CodeTables, EveryCodeDecodesToItsIndexAndLength) {
  for (uint32_t t = 0; t < 16; ++t) {
    HuffTree tree = IdentityTree(t);
    for (uint32_t i = 0; i < 16; ++i) {
      Stream s;
      PutSymbol(&s.w, &tree, i);
      PutBits(&s.w, 0x7F, 7);  // ones behind the code must not matter
      BitReader r = s.Reader();
      ASSERT_EQ(DecodeSymbol(&r, &tree), i) << "table " << t;
      ASSERT_EQ(BitReaderConsumed(&r), CODE_TABLES.lengths[t][i]);
    }
  }
  // Spot checks against the written-out codes: table 1 code 2 is "11000",
  // table 13 code 8 is "1111000".
  EXPECT_EQ(CODE_TABLES.lengths[1][2], 5);
  EXPECT_EQ(CODE_TABLES.bits[1][2], 0b00011);
  EXPECT_EQ(CODE_TABLES.lengths[13][8], 7);
  EXPECT_EQ(CODE_TABLES.bits[13][8], 0b0001111);
}

TEST(HuffTree, DescriptionExamples) {
  {  // Table index 0: 4 bits, identity map.
    Stream s;
    PutBits(&s.w, 0, 4);
    PutBits(&s.w, 0xFFFFFFF, 28);
    BitReader r = s.Reader();
    HuffTree t;
    ReadHuffTree(&r, &t);
    EXPECT_EQ(BitReaderConsumed(&r), 4u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t.map[i], i);
  }
  {  // Explicit: k = 2, symbols 5, 0, 9.
    Stream s;
    PutBits(&s.w, 3, 4);
    PutBit(&s.w, 1);
    PutBits(&s.w, 2, 3);
    PutBits(&s.w, 5, 4);
    PutBits(&s.w, 0, 4);
    PutBits(&s.w, 9, 4);
    BitReader r = s.Reader();
    HuffTree t;
    ReadHuffTree(&r, &t);
    const uint8_t want[16] = {5, 0, 9, 1, 2, 3, 4, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(t.table, 3);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t.map[i], want[i]);
  }
  {  // Merge with d = 0: one bit per pair; 1 takes the second list first.
    Stream s;
    PutBits(&s.w, 7, 4);
    PutBit(&s.w, 0);
    PutBits(&s.w, 0, 2);
    PutBits(&s.w, 0b10000001, 8);
    BitReader r = s.Reader();
    HuffTree t;
    ReadHuffTree(&r, &t);
    EXPECT_EQ(BitReaderConsumed(&r), 4u + 1 + 2 + 8);
    const uint8_t want[16] = {1, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 14};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t.map[i], want[i]);
  }
}

TEST(HuffTree, DuplicateListedSymbolStillGivesSixteenEntries) {
  Stream s;
  PutBits(&s.w, 2, 4);
  PutBit(&s.w, 1);
  PutBits(&s.w, 7, 3);  // eight symbols, all 4
  for (int i = 0; i < 8; ++i) PutBits(&s.w, 4, 4);
  BitReader r = s.Reader();
  HuffTree t;
  ReadHuffTree(&r, &t);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(t.map[i], 4);
  EXPECT_EQ(t.map[8], 0);
  EXPECT_EQ(t.map[15], 8);
  Stream probe;  // decoding still yields symbols in 0..15
  PutBits(&probe.w, 0x5555, 16);
  BitReader pr = probe.Reader();
  for (int i = 0; i < 4; ++i) EXPECT_LT(DecodeSymbol(&pr, &t), 16u);
}

TEST(HuffTree, BothDescriptionModesRoundTrip) {
  std::mt19937 rng(11);
  for (int iter = 0; iter < 300; ++iter) {
    HuffTree tree = RandomTree(&rng);
    if (iter % 3 == 0 && tree.table) {
      // A map that explicit mode can express: a few symbols first.
      uint8_t first[3] = {uint8_t(rng() % 16), 0, 0};
      first[1] = uint8_t((first[0] + 1 + rng() % 15) % 16);
      uint8_t map[16];
      int o = 0;
      map[o++] = first[0];
      map[o++] = first[1];
      for (int sym = 0; sym < 16; ++sym)
        if (sym != first[0] && sym != first[1]) map[o++] = uint8_t(sym);
      tree = MakeTree(tree.table, map);
    }
    for (HuffTreeMode mode : {HUFF_TREE_AUTO, HUFF_TREE_EXPLICIT, HUFF_TREE_MERGE}) {
      int bits = HuffTreeDescriptionBits(&tree, mode);
      Stream s;
      bool ok = WriteHuffTree(&s.w, &tree, mode);
      ASSERT_EQ(ok, bits >= 0);
      if (!ok) continue;
      ASSERT_EQ(BitWriterBitCount(&s.w), uint64_t(bits));
      BitReader r = s.Reader();
      HuffTree back;
      ReadHuffTree(&r, &back);
      ASSERT_EQ(back.table, tree.table);
      for (int i = 0; i < 16; ++i) ASSERT_EQ(back.map[i], tree.map[i]);
      ASSERT_EQ(BitReaderConsumed(&r), uint64_t(bits));
    }
  }
}

TEST(HuffTree, ChosenTreeCodesTheSymbols) {
  std::mt19937 rng(3);
  for (int iter = 0; iter < 50; ++iter) {
    uint32_t counts[16] = {};
    std::vector<uint32_t> symbols;
    for (int i = 0; i < 200; ++i) {
      uint32_t s = (rng() % 4 == 0) ? rng() % 16 : rng() % 3;
      symbols.push_back(s);
      ++counts[s];
    }
    HuffTree tree;
    ChooseHuffTree(counts, &tree);
    Stream s;
    ASSERT_TRUE(WriteHuffTree(&s.w, &tree, HUFF_TREE_AUTO));
    for (uint32_t v : symbols) PutSymbol(&s.w, &tree, v);
    // Skewed symbols must beat four bits each.
    EXPECT_LT(BitWriterBitCount(&s.w), 4u * symbols.size());
    BitReader r = s.Reader();
    HuffTree back;
    ReadHuffTree(&r, &back);
    for (uint32_t v : symbols) ASSERT_EQ(DecodeSymbol(&r, &back), v);
  }
}

// A plane's bundles over test-owned buffers, for chunk round trips.
struct ChunkFixture {
  TestBundles bundles{320};
  PlaneBundles p{};
  std::mt19937 rng{5};
  ChunkFixture() {
    p.t = RandomTrees(&rng);
    for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
      Bundle* b = &p.b[id];
      b->start = b->read = b->end = bundles.buffers.data[id];
      b->capacity = BundleCapacityValues(&bundles.buffers.caps, id);
      b->length_bits = BundleLengthBits(id, 320);
      b->ended = false;
    }
  }
  std::vector<int32_t> Values(uint32_t id) {
    Bundle* b = &p.b[id];
    std::vector<int32_t> out;
    for (uint8_t* at = b->read; at < b->end; at += BundleElementBytes(id)) {
      if (id == BUNDLE_DC_INTRA || id == BUNDLE_DC_INTER)
        out.push_back(*reinterpret_cast<int16_t*>(at));
      else if (id == BUNDLE_X_OFFSETS || id == BUNDLE_Y_OFFSETS)
        out.push_back(int8_t(*at));
      else
        out.push_back(*at);
    }
    return out;
  }
};

TEST(Chunks, EveryBundleKindRoundTripsWithAndWithoutFill) {
  ChunkFixture f;
  for (int iter = 0; iter < 200; ++iter) {
    uint32_t id = iter % BUNDLE_COUNT;
    bool uniform = (iter / BUNDLE_COUNT) % 2 == 1;
    uint32_t n = 1 + f.rng() % 100;
    std::vector<int32_t> v(n);
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t r = uniform ? 9 : f.rng();
      switch (id) {
        case BUNDLE_BLOCK_TYPES:
        case BUNDLE_SUB_BLOCK_TYPES: v[i] = (r % 3 == 0) ? 0 : int32_t(r % 12); break;
        case BUNDLE_X_OFFSETS:
        case BUNDLE_Y_OFFSETS: v[i] = int32_t(r % 31) - 15; break;
        case BUNDLE_DC_INTRA: v[i] = i == 0 ? int32_t(r % 2048) : v[i - 1] + int32_t(r % 201) - 100; break;
        case BUNDLE_DC_INTER: v[i] = i == 0 ? int32_t(r % 2047) - 1023 : int32_t(int16_t(r)); break;
        case BUNDLE_RUNS: v[i] = int32_t(r % 16); break;
        default: v[i] = int32_t(r % 256); break;
      }
    }
    if (id == BUNDLE_DC_INTER && uniform) v.assign(n, -77);
    for (ChunkMode mode : {CHUNK_AUTO, CHUNK_LIST, CHUNK_FILL}) {
      if (mode == CHUNK_FILL && (!uniform || id == BUNDLE_PATTERNS || id >= BUNDLE_DC_INTRA)) continue;
      Stream s;
      const uint32_t bits = f.p.b[id].length_bits;
      std::vector<uint8_t> bytes(v.begin(), v.end());
      std::vector<int8_t> offsets(v.begin(), v.end());
      std::vector<int16_t> dcs(v.begin(), v.end());
      ColourCoder coder{&f.p.t, f.p.last_high, false};
      bool ok = false;
      switch (id) {
        case BUNDLE_BLOCK_TYPES: ok = WriteKindChunk(&s.w, &f.p.t.block_types, bits, bytes.data(), n, mode); break;
        case BUNDLE_SUB_BLOCK_TYPES: ok = WriteKindChunk(&s.w, &f.p.t.sub_block_types, bits, bytes.data(), n, mode); break;
        case BUNDLE_COLOURS: ok = WriteColourChunk(&s.w, &coder, bits, bytes.data(), n, mode); break;
        case BUNDLE_PATTERNS: ok = WritePatternChunk(&s.w, &f.p.t.patterns, bits, bytes.data(), n); break;
        case BUNDLE_X_OFFSETS: ok = WriteOffsetChunk(&s.w, &f.p.t.x_offsets, bits, offsets.data(), n, mode); break;
        case BUNDLE_Y_OFFSETS: ok = WriteOffsetChunk(&s.w, &f.p.t.y_offsets, bits, offsets.data(), n, mode); break;
        case BUNDLE_DC_INTRA: ok = WriteDcChunk(&s.w, false, bits, dcs.data(), n); break;
        case BUNDLE_DC_INTER: ok = WriteDcChunk(&s.w, true, bits, dcs.data(), n); break;
        case BUNDLE_RUNS: ok = WriteRunChunk(&s.w, &f.p.t.runs, bits, bytes.data(), n, mode); break;
      }
      ASSERT_TRUE(ok) << "bundle " << id << " mode " << mode;
      uint64_t written = BitWriterBitCount(&s.w);
      BitReader r = s.Reader();
      ASSERT_TRUE(ReadChunk(&f.p, &r, id));
      ASSERT_EQ(BitReaderConsumed(&r), written) << "bundle " << id;
      if (id == BUNDLE_COLOURS) {
        ASSERT_EQ(f.p.last_high, coder.last_high);
      }
      ASSERT_EQ(f.Values(id), v) << "bundle " << id << " mode " << mode;
    }
  }
}

void WriteKindSymbols(Stream* s, uint32_t n, std::initializer_list<uint32_t> symbols) {
  PutBits(&s->w, n, 10);
  PutBit(&s->w, 0);
  for (uint32_t sym : symbols) PutBits(&s->w, CODE_TABLES.bits[0][sym], 4);  // table 0, identity
}

TEST(Chunks, KindEscapesRepeatTheLastLiteral) {
  ChunkFixture f;
  f.p.t.block_types = IdentityTree(0);
  f.p.b[BUNDLE_BLOCK_TYPES].length_bits = 10;
  {
    Stream s;
    WriteKindSymbols(&s, 5, {3, 12});  // a 3, then four more
    BitReader r = s.Reader();
    ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_BLOCK_TYPES));
    EXPECT_EQ(f.Values(BUNDLE_BLOCK_TYPES), std::vector<int32_t>(5, 3));
  }
  {
    Stream s;
    WriteKindSymbols(&s, 32, {15});  // the repeat value starts at 0
    BitReader r = s.Reader();
    ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_BLOCK_TYPES));
    EXPECT_EQ(f.Values(BUNDLE_BLOCK_TYPES), std::vector<int32_t>(32, 0));
  }
  {
    // An escape that would pass the count stops at it, writing nothing past
    // the chunk; the next field is read from where the escape's code ended.
    Stream s;
    WriteKindSymbols(&s, 6, {7, 13});
    PutBits(&s.w, 0x2A, 6);
    BitReader r = s.Reader();
    uint8_t* start = f.p.b[BUNDLE_BLOCK_TYPES].start;
    std::fill(start, start + 16, 0xEE);
    ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_BLOCK_TYPES));
    EXPECT_EQ(f.Values(BUNDLE_BLOCK_TYPES), std::vector<int32_t>(6, 7));
    EXPECT_EQ(std::vector<uint8_t>(start + 6, start + 16), std::vector<uint8_t>(10, 0xEE));
    EXPECT_EQ(ReadBits(&r, 6), 0x2Au);
  }
}

TEST(Chunks, OldBitstreamColoursAreSignAndMagnitude) {
  ChunkFixture f;
  f.p.old_colours = true;
  f.p.last_high = 0;
  for (HuffTree& h : f.p.t.colour_high) h = IdentityTree(0);
  f.p.t.colours = IdentityTree(0);
  // Table 0 codes are the 4-bit index written MSB first.
  Stream fixed;
  PutBits(&fixed.w, 2, f.p.b[BUNDLE_COLOURS].length_bits);
  PutBit(&fixed.w, 0);
  for (uint32_t sym : {8u, 5u, 0u, 5u}) PutBits(&fixed.w, CODE_TABLES.bits[0][sym], 4);
  BitReader r = fixed.Reader();
  ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_COLOURS));
  EXPECT_EQ(f.Values(BUNDLE_COLOURS), (std::vector<int32_t>{123, 133}));
  EXPECT_EQ(f.p.last_high, 0u);
  // The writer's codes, worked out by hand: 128 + m is m, 128 - m is 0x80 | m;
  // 0 has no code (128 - 128 would need m = 128).
  uint32_t h, l;
  EXPECT_FALSE(ColourSymbols(true, 0, &h, &l));
  const struct { uint32_t value, code; } codes[] = {
      {128, 0x00}, {129, 0x01}, {255, 0x7F}, {127, 0x81}, {123, 0x85}, {1, 0xFF}};
  for (const auto& c : codes) {
    ASSERT_TRUE(ColourSymbols(true, c.value, &h, &l)) << c.value;
    EXPECT_EQ(h << 4 | l, c.code) << c.value;
  }
}

TEST(Chunks, ColourFillDecodesOneValueAndMovesTheContext) {
  ChunkFixture f;
  f.p.last_high = 3;
  Stream s;
  ColourCoder coder{&f.p.t, 3, false};
  const uint8_t v[4] = {0xC7, 0xC7, 0xC7, 0xC7};
  ASSERT_TRUE(WriteColourChunk(&s.w, &coder, f.p.b[BUNDLE_COLOURS].length_bits, v, 4, CHUNK_FILL));
  uint64_t bits = BitWriterBitCount(&s.w);
  EXPECT_EQ(bits, f.p.b[BUNDLE_COLOURS].length_bits + 1 + SymbolBits(&f.p.t.colour_high[3], 0xC) +
                      SymbolBits(&f.p.t.colours, 7));
  BitReader r = s.Reader();
  ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_COLOURS));
  EXPECT_EQ(f.Values(BUNDLE_COLOURS), std::vector<int32_t>(4, 0xC7));
  EXPECT_EQ(f.p.last_high, 0xCu);
}

TEST(Chunks, DcZeroValuesReadNoSignAndZeroWidthGroupsReadNothing) {
  ChunkFixture f;
  const uint32_t lb = f.p.b[BUNDLE_DC_INTER].length_bits;
  Stream s;
  const int16_t v[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
  ASSERT_TRUE(WriteDcChunk(&s.w, true, lb, v, 10));
  // count, 10-bit zero magnitude (no sign), group of 8 with width 0, group
  // of 1 with width 3: magnitude and sign.
  EXPECT_EQ(BitWriterBitCount(&s.w), lb + 10 + 4 + 4 + 3 + 1);
  BitReader r = s.Reader();
  ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_DC_INTER));
  EXPECT_EQ(f.Values(BUNDLE_DC_INTER), std::vector<int32_t>(v, v + 10));
  // Sums wrap as 16-bit values.
  Stream w2;
  const int16_t wrap[3] = {2047, 32767, -32767};
  ASSERT_TRUE(WriteDcChunk(&w2.w, false, lb, wrap, 3));
  BitReader r2 = w2.Reader();
  ASSERT_TRUE(ReadChunk(&f.p, &r2, BUNDLE_DC_INTRA));
  EXPECT_EQ(f.Values(BUNDLE_DC_INTRA), std::vector<int32_t>(wrap, wrap + 3));
}

// The offsets' signed table is made on first use; a tree rebuilt for the
// next plane must not decode through the table of the one before.
TEST(Chunks, OffsetsFollowATreeRebuiltAfterUse) {
  ChunkFixture f;
  const int8_t offsets[6] = {-15, 7, 0, 1, -1, 15};
  for (uint32_t table : {3u, 0u, 11u}) {
    HuffTree* t = &f.p.t.x_offsets;  // rebuilt in place, as a plane's trees are read
    t->table = uint8_t(table);
    for (int i = 0; i < 16; ++i) t->map[i] = uint8_t(15 - i);
    HuffTreeBuild(t);
    Stream s;
    const uint32_t bits = f.p.b[BUNDLE_X_OFFSETS].length_bits;
    ASSERT_TRUE(WriteOffsetChunk(&s.w, t, bits, offsets, 6, CHUNK_LIST));
    BitReader r = s.Reader();
    ASSERT_TRUE(ReadChunk(&f.p, &r, BUNDLE_X_OFFSETS));
    EXPECT_EQ(f.Values(BUNDLE_X_OFFSETS), std::vector<int32_t>(offsets, offsets + 6)) << "table " << table;
  }
}

TEST(Chunks, WritersRefuseWhatCannotBeCoded) {
  ChunkFixture f;
  Stream s;
  const uint8_t kinds[2] = {13, 2};
  EXPECT_FALSE(WriteKindChunk(&s.w, &f.p.t.block_types, 10, kinds, 2, CHUNK_LIST));
  const uint8_t same[3] = {13, 13, 13};
  EXPECT_TRUE(WriteKindChunk(&s.w, &f.p.t.block_types, 10, same, 3, CHUNK_AUTO));
  const int8_t far[1] = {16};
  EXPECT_FALSE(WriteOffsetChunk(&s.w, &f.p.t.x_offsets, 10, far, 1, CHUNK_LIST));
  const int16_t big_first[1] = {2048};
  EXPECT_FALSE(WriteDcChunk(&s.w, false, 10, big_first, 1));
  const uint8_t runs[2] = {1, 2};
  EXPECT_FALSE(WriteRunChunk(&s.w, &f.p.t.runs, 10, runs, 2, CHUNK_FILL));
  EXPECT_FALSE(WriteRunChunk(&s.w, &f.p.t.runs, 1, runs, 2, CHUNK_LIST));  // count 2 needs 2 bits
}

TEST(Bundles, CapacitiesAndLengthFields) {
  BundleCapacities caps;
  ComputeBundleCapacities(200, &caps);  // W = 208: 26 blocks
  EXPECT_EQ(caps.bytes[BUNDLE_BLOCK_TYPES], (26u + 515) & ~3u);
  EXPECT_EQ(caps.bytes[BUNDLE_SUB_BLOCK_TYPES], (13u + 515) & ~3u);
  EXPECT_EQ(caps.bytes[BUNDLE_COLOURS], 26u * 64 + 512);
  EXPECT_EQ(caps.bytes[BUNDLE_PATTERNS], 208u + 512);
  EXPECT_EQ(caps.bytes[BUNDLE_DC_INTRA], (52u + 1027) & ~3u);
  EXPECT_EQ(BundleCapacityValues(&caps, BUNDLE_DC_INTER), ((52u + 1027) & ~3u) / 2);
  EXPECT_EQ(caps.bytes[BUNDLE_RUNS], 26u * 48 + 512);
  EXPECT_EQ(LengthFieldBits(511), 9u);
  EXPECT_EQ(LengthFieldBits(512), 10u);
  EXPECT_EQ(LengthFieldBits(16383), 14u);
  EXPECT_EQ(LengthFieldBits(16384), 15u);
  EXPECT_EQ(LengthFieldBits(1u << 30), 15u);
  EXPECT_EQ(BundleLengthBits(BUNDLE_COLOURS, 1920), 14u);
  EXPECT_EQ(BundleLengthBits(BUNDLE_COLOURS, 2048), 15u);
  EXPECT_EQ(BundleLengthBits(BUNDLE_BLOCK_TYPES, 8), 10u);  // 1 + 511
}

TEST(Bundles, EndMarkStopsRefillsAndOversizedChunksAreRejected) {
  ChunkFixture f;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) f.p.b[id].read = f.p.b[id].end = f.p.b[id].start;
  Stream s;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) PutBits(&s.w, 0, f.p.b[id].length_bits);
  PutBits(&s.w, 0xFFFFFFFF, 32);
  BitReader r = s.Reader();
  ASSERT_TRUE(RefillBundles(&f.p, &r));
  uint64_t after = BitReaderConsumed(&r);
  ASSERT_TRUE(RefillBundles(&f.p, &r));  // every bundle ended: nothing read
  EXPECT_EQ(BitReaderConsumed(&r), after);
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) EXPECT_TRUE(f.p.b[id].ended);

  ChunkFixture g;
  Stream big;
  PutBits(&big.w, g.p.b[BUNDLE_RUNS].capacity + 1, g.p.b[BUNDLE_RUNS].length_bits);
  PutBit(&big.w, 1);
  PutBits(&big.w, 3, 4);
  BitReader rb = big.Reader();
  EXPECT_FALSE(ReadChunk(&g.p, &rb, BUNDLE_RUNS));
  EXPECT_EQ(BundleLeft(&g.p.b[BUNDLE_RUNS]), 0u);
  EXPECT_TRUE(g.p.b[BUNDLE_RUNS].ended);
}

}  // namespace
