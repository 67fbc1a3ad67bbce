#include "video/bundle.h"

#include <cstring>

#include "video/scan_tables.h"

void ComputeBundleCapacities(uint32_t width, BundleCapacities* caps) {
  uint32_t w = (width + 15) & ~15u;
  uint32_t blocks = w / 8;
  caps->bytes[BUNDLE_BLOCK_TYPES] = (blocks + 515) & ~3u;
  caps->bytes[BUNDLE_SUB_BLOCK_TYPES] = (w / 16 + 515) & ~3u;
  caps->bytes[BUNDLE_COLOURS] = blocks * 64 + 512;
  caps->bytes[BUNDLE_PATTERNS] = w + 512;
  caps->bytes[BUNDLE_X_OFFSETS] = (blocks + 515) & ~3u;
  caps->bytes[BUNDLE_Y_OFFSETS] = (blocks + 515) & ~3u;
  caps->bytes[BUNDLE_DC_INTRA] = (2 * blocks + 1027) & ~3u;
  caps->bytes[BUNDLE_DC_INTER] = (2 * blocks + 1027) & ~3u;
  caps->bytes[BUNDLE_RUNS] = blocks * 48 + 512;
}

uint32_t BundleLengthBits(uint32_t id, uint32_t plane_width) {
  uint32_t blocks = plane_width / 8;
  switch (id) {
    case BUNDLE_SUB_BLOCK_TYPES: return LengthFieldBits(plane_width / 16 + 511);
    case BUNDLE_COLOURS: return LengthFieldBits(blocks * 64 + 511);
    case BUNDLE_PATTERNS: return LengthFieldBits(plane_width + 511);
    case BUNDLE_RUNS: return LengthFieldBits(blocks * 48 + 511);
    default: return LengthFieldBits(blocks + 511);
  }
}

void ReadBundleTrees(BitReader* r, BundleTrees* t) {
  ReadHuffTree(r, &t->block_types);
  ReadHuffTree(r, &t->sub_block_types);
  for (HuffTree& h : t->colour_high) ReadHuffTree(r, &h);
  ReadHuffTree(r, &t->colours);
  ReadHuffTree(r, &t->patterns);
  ReadHuffTree(r, &t->x_offsets);
  ReadHuffTree(r, &t->y_offsets);
  ReadHuffTree(r, &t->runs);
}

void OpenPlaneBundles(PlaneBundles* p, BitReader* r, const BundleBuffers* buffers,
                      uint32_t plane_width, bool old_colours) {
  ReadBundleTrees(r, &p->t);
  p->last_high = 0;
  p->old_colours = old_colours;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    Bundle* b = &p->b[id];
    b->start = b->read = b->end = buffers->data[id];
    b->capacity = BundleCapacityValues(&buffers->caps, id);
    b->length_bits = BundleLengthBits(id, plane_width);
    b->ended = false;
  }
}

namespace {

inline void Fill(uint8_t* out, uint32_t value, uint32_t n) { std::memset(out, int(value), n); }

// Block kinds: a fill, or symbols below 12 as literals (each becoming the
// repeat value) and 12..15 as repeats of the repeat value. A repeat that
// would pass the count stops at it.
void ReadKindChunk(BitReader* r, const HuffTree* tree, uint8_t* out, uint32_t n) {
  if (ReadBit(r)) {
    Fill(out, ReadBits(r, 4), n);
    return;
  }
  uint32_t o = 0, repeat = 0;
  while (o < n) {
    uint32_t s = DecodeSymbol(r, tree);
    if (s < 12) {
      out[o++] = uint8_t(s);
      repeat = s;
    } else {
      uint32_t count = RUN_LENGTH_ESCAPES[s];
      if (count > n - o) count = n - o;
      Fill(out + o, repeat, count);
      o += count;
    }
  }
}

// One colour: the high nibble under the tree that the previous high nibble
// selects, then the low nibble.
inline uint32_t ReadColour(const BundleTrees* t, bool old_colours, uint32_t* last_high, BitReader* r) {
  uint32_t h = DecodeSymbol(r, &t->colour_high[*last_high]);
  uint32_t l = DecodeSymbol(r, &t->colours);
  *last_high = h;
  uint32_t v = h << 4 | l;
  if (old_colours) {
    uint32_t m = v & 0x7F;
    v = ((v & 0x80) ? 128 - m : 128 + m) & 0xFF;
  }
  return v;
}

void ReadColourChunk(PlaneBundles* p, BitReader* r, uint8_t* out, uint32_t n) {
  // The context lives in a register for the chunk, not in the bundle state.
  uint32_t last_high = p->last_high;
  const bool old_colours = p->old_colours;
  if (ReadBit(r)) {
    Fill(out, ReadColour(&p->t, old_colours, &last_high, r), n);
  } else {
    for (uint32_t i = 0; i < n; ++i) out[i] = uint8_t(ReadColour(&p->t, old_colours, &last_high, r));
  }
  p->last_high = last_high;
}

void ReadPatternChunk(BitReader* r, const HuffTree* tree, uint8_t* out, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t low = DecodeSymbol(r, tree);
    uint32_t high = DecodeSymbol(r, tree);
    out[i] = uint8_t(high << 4 | low);
  }
}

inline uint32_t ApplySign(BitReader* r, uint32_t m) { return m && ReadBit(r) ? 0u - m : m; }

void ReadOffsetChunk(BitReader* r, HuffTree* tree, uint8_t* out, uint32_t n) {
  if (ReadBit(r)) {
    Fill(out, ApplySign(r, ReadBits(r, 4)), n);
    return;
  }
  if (!tree->signed_built) HuffTreeBuildSigned(tree);
  // A magnitude and its sign bit take at most 8 bits, so one top-up serves
  // four values, each one lookup of the signed table.
  for (uint32_t i = 0; i < n; ++i) {
    if ((i & 3) == 0) BitReaderNeed(r, 32);
    const uint32_t e = tree->signed_decode[r->cache & 255];
    out[i] = uint8_t(e);
    SkipBits(r, e >> 8);
  }
}

void ReadDcChunk(BitReader* r, bool inter, int16_t* out, uint32_t n) {
  uint32_t current = inter ? ApplySign(r, ReadBits(r, 10)) : ReadBits(r, 11);
  out[0] = int16_t(uint16_t(current));
  for (uint32_t i = 1; i < n; i += 8) {
    uint32_t group = n - i < 8 ? n - i : 8;
    uint32_t width = ReadBits(r, 4);
    if (width == 0) {
      for (uint32_t k = 0; k < group; ++k) out[i + k] = int16_t(uint16_t(current));
      continue;
    }
    // A difference and its sign bit take at most 16 bits.
    const uint32_t mask = (1u << width) - 1;
    for (uint32_t k = 0; k < group; ++k) {
      BitReaderNeed(r, 16);
      const uint32_t m = uint32_t(r->cache) & mask;
      const uint32_t coded = m != 0;
      const uint32_t negative = uint32_t(r->cache >> width) & coded;
      SkipBits(r, width + coded);
      current = uint16_t(current + (m ^ (0u - negative)) + negative);
      out[i + k] = int16_t(uint16_t(current));
    }
  }
}

void ReadRunChunk(BitReader* r, const HuffTree* tree, uint8_t* out, uint32_t n) {
  if (ReadBit(r)) {
    Fill(out, ReadBits(r, 4), n);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) out[i] = uint8_t(DecodeSymbol(r, tree));
}

}  // namespace

bool ReadChunk(PlaneBundles* p, BitReader* reader, uint32_t id) {
  Bundle* b = &p->b[id];
  // A local copy of the reader stays in registers: the output stores could
  // otherwise alias its fields.
  BitReader local = *reader;
  BitReader* r = &local;
  uint32_t n = ReadBits(r, b->length_bits);
  b->read = b->end = b->start;
  if (n == 0 || n > b->capacity) {
    *reader = local;
    b->ended = true;
    return n == 0;
  }
  uint8_t* out = b->start;
  switch (id) {
    case BUNDLE_BLOCK_TYPES: ReadKindChunk(r, &p->t.block_types, out, n); break;
    case BUNDLE_SUB_BLOCK_TYPES: ReadKindChunk(r, &p->t.sub_block_types, out, n); break;
    case BUNDLE_COLOURS: ReadColourChunk(p, r, out, n); break;
    case BUNDLE_PATTERNS: ReadPatternChunk(r, &p->t.patterns, out, n); break;
    case BUNDLE_X_OFFSETS: ReadOffsetChunk(r, &p->t.x_offsets, out, n); break;
    case BUNDLE_Y_OFFSETS: ReadOffsetChunk(r, &p->t.y_offsets, out, n); break;
    case BUNDLE_DC_INTRA: ReadDcChunk(r, false, reinterpret_cast<int16_t*>(out), n); break;
    case BUNDLE_DC_INTER: ReadDcChunk(r, true, reinterpret_cast<int16_t*>(out), n); break;
    case BUNDLE_RUNS: ReadRunChunk(r, &p->t.runs, out, n); break;
  }
  b->end = out + n * BundleElementBytes(id);
  *reader = local;
  return true;
}

bool RefillBundles(PlaneBundles* p, BitReader* r) {
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    Bundle* b = &p->b[id];
    if (b->ended || b->read < b->end) continue;
    if (!ReadChunk(p, r, id)) return false;
  }
  return true;
}
