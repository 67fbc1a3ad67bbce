#include "encode/plane_writer.h"

#include <cstdlib>

#include "video/huff_writer.h"

namespace {

// Tree numbering in stream order.
enum TreeId {
  TREE_BLOCK_TYPES = 0,
  TREE_SUB_BLOCK_TYPES = 1,
  TREE_COLOUR_HIGH = 2,  // 2..17, by previous high nibble
  TREE_COLOURS = 18,
  TREE_PATTERNS = 19,
  TREE_X_OFFSETS = 20,
  TREE_Y_OFFSETS = 21,
  TREE_RUNS = 22,
  TREE_COUNT = 23
};

const int kRepeatEscapes[4] = {32, 12, 8, 4};  // symbols 15, 14, 13, 12

// Counting pass: gathers symbol statistics, and what each bundle and each
// block kind uses, to price them once the codes are chosen.
struct CountSink {
  uint32_t counts[TREE_COUNT][16] = {};
  uint32_t bundle = 0;                       // bundle of the chunk being coded
  uint64_t plain_bits[BUNDLE_COUNT] = {};    // bits outside prefix codes
  uint64_t values[BUNDLE_COUNT] = {};
  uint32_t kind_symbols[2][16][16] = {};     // [sub?][kind][symbol]
  uint64_t kind_values[2][16] = {};
  void Begin(uint32_t id, uint32_t n) {
    bundle = id;
    values[id] += n;
  }
  void Bits(uint32_t, uint32_t n) { plain_bits[bundle] += n; }
  void Symbol(int tree, uint32_t s) { ++counts[tree][s & 15]; }
  // A block-kind symbol standing for n values of one kind.
  void KindSymbol(int tree, uint32_t s, uint32_t kind, uint32_t n) {
    ++counts[tree][s & 15];
    ++kind_symbols[tree][kind & 15][s & 15];
    kind_values[tree][kind & 15] += n;
  }
};

// Writing pass.
struct WriteSink {
  BitWriter* w;
  const HuffTree* trees;
  void Begin(uint32_t, uint32_t) {}
  void Bits(uint32_t v, uint32_t n) { PutBits(w, v, n); }
  void Symbol(int tree, uint32_t s) { PutSymbol(w, &trees[tree], s & 15); }
  void KindSymbol(int tree, uint32_t s, uint32_t, uint32_t) { Symbol(tree, s); }
};

bool AllEqual(const int32_t* v, uint32_t n) {
  for (uint32_t i = 1; i < n; ++i)
    if (v[i] != v[0]) return false;
  return true;
}

template <class Sink>
void KindChunk(Sink& s, int tree, const int32_t* v, uint32_t n) {
  if (AllEqual(v, n)) {
    s.Bits(1, 1);
    s.Bits(uint32_t(v[0]), 4);
    return;
  }
  s.Bits(0, 1);
  int32_t repeat = 0;
  uint32_t i = 0;
  while (i < n) {
    uint32_t run = 0;
    while (i + run < n && v[i + run] == repeat) ++run;
    bool escaped = false;
    for (int e = 0; e < 4; ++e)
      if (run >= uint32_t(kRepeatEscapes[e])) {
        s.KindSymbol(tree, uint32_t(15 - e), uint32_t(repeat), uint32_t(kRepeatEscapes[e]));
        i += uint32_t(kRepeatEscapes[e]);
        escaped = true;
        break;
      }
    if (escaped) continue;
    s.KindSymbol(tree, uint32_t(v[i]), uint32_t(v[i]), 1);
    repeat = v[i];
    ++i;
  }
}

template <class Sink>
void Colour(Sink& s, uint32_t* last_high, int32_t c) {
  const uint32_t h = uint32_t(c) >> 4 & 15, l = uint32_t(c) & 15;
  s.Symbol(TREE_COLOUR_HIGH + int(*last_high), h);
  s.Symbol(TREE_COLOURS, l);
  *last_high = h;
}

template <class Sink>
void ColourChunk(Sink& s, uint32_t* last_high, const int32_t* v, uint32_t n) {
  if (n > 1 && AllEqual(v, n)) {
    s.Bits(1, 1);
    Colour(s, last_high, v[0]);
    return;
  }
  s.Bits(0, 1);
  for (uint32_t i = 0; i < n; ++i) Colour(s, last_high, v[i]);
}

template <class Sink>
void PatternChunk(Sink& s, const int32_t* v, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    s.Symbol(TREE_PATTERNS, uint32_t(v[i]) & 15);
    s.Symbol(TREE_PATTERNS, uint32_t(v[i]) >> 4 & 15);
  }
}

template <class Sink>
void OffsetChunk(Sink& s, int tree, const int32_t* v, uint32_t n) {
  if (AllEqual(v, n)) {
    s.Bits(1, 1);
    s.Bits(uint32_t(std::abs(v[0])), 4);
    if (v[0]) s.Bits(v[0] < 0, 1);
    return;
  }
  s.Bits(0, 1);
  for (uint32_t i = 0; i < n; ++i) {
    s.Symbol(tree, uint32_t(std::abs(v[i])));
    if (v[i]) s.Bits(v[i] < 0, 1);
  }
}

template <class Sink>
void RunChunk(Sink& s, const int32_t* v, uint32_t n) {
  if (AllEqual(v, n)) {
    s.Bits(1, 1);
    s.Bits(uint32_t(v[0]), 4);
    return;
  }
  s.Bits(0, 1);
  for (uint32_t i = 0; i < n; ++i) s.Symbol(TREE_RUNS, uint32_t(v[i]));
}

uint32_t BitsOf(uint32_t x) {
  uint32_t n = 0;
  while (x) ++n, x >>= 1;
  return n;
}

// DC values: the first in full, then deltas in groups of eight sharing a
// magnitude width.
template <class Sink>
void DcChunk(Sink& s, bool inter, const int32_t* v, uint32_t n) {
  if (inter) {
    s.Bits(uint32_t(std::abs(v[0])), 10);
    if (v[0]) s.Bits(v[0] < 0, 1);
  } else {
    s.Bits(uint32_t(v[0]), 11);
  }
  int32_t current = v[0];
  for (uint32_t g = 1; g < n; g += 8) {
    const uint32_t end = g + 8 < n ? g + 8 : n;
    uint32_t width = 0;
    for (uint32_t i = g; i < end; ++i) {
      const int32_t d = int32_t(int16_t(uint16_t(v[i] - current)));
      const uint32_t b = BitsOf(uint32_t(std::abs(d)));
      if (b > width) width = b;
      current = v[i];
    }
    s.Bits(width, 4);
    current = v[g - 1];
    for (uint32_t i = g; i < end; ++i) {
      const int32_t d = int32_t(int16_t(uint16_t(v[i] - current)));
      current = v[i];
      if (width == 0) continue;
      s.Bits(uint32_t(std::abs(d)), width);
      if (d) s.Bits(d < 0, 1);
    }
  }
}

// Walks the rows as the decoder's refills will, emitting chunks (and, with
// direct = true, the rows' direct bits) into the sink.
template <class Sink>
bool EmitPlane(const PlaneParts* parts, Sink& s, bool direct) {
  const uint32_t rows = uint32_t(parts->rows.size());
  uint32_t next_refill[BUNDLE_COUNT] = {};
  bool ended[BUNDLE_COUNT] = {};
  uint32_t last_high = 0;
  std::vector<int32_t> chunk;
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
      if (ended[id] || next_refill[id] != r) continue;
      const uint32_t limit = ChunkLimit(parts, id);
      const uint32_t bits = BundleLengthBits(id, parts->width);
      // Gather rows s..t: the first row with values, then more rows while
      // they fit.
      chunk.clear();
      uint32_t t = r;
      for (uint32_t q = r; q < rows; ++q) {
        const std::vector<int32_t>& v = parts->rows[q].values[id];
        if (v.empty()) continue;
        if (chunk.size() + v.size() > limit) {
          if (chunk.empty()) return false;
          break;
        }
        chunk.insert(chunk.end(), v.begin(), v.end());
        t = q;
      }
      if (chunk.empty()) {
        s.Bits(0, bits);
        ended[id] = true;
        continue;
      }
      const uint32_t n = uint32_t(chunk.size());
      s.Begin(id, n);
      s.Bits(n, bits);
      next_refill[id] = t + 1;
      const int32_t* v = chunk.data();
      switch (id) {
        case BUNDLE_BLOCK_TYPES: KindChunk(s, TREE_BLOCK_TYPES, v, n); break;
        case BUNDLE_SUB_BLOCK_TYPES: KindChunk(s, TREE_SUB_BLOCK_TYPES, v, n); break;
        case BUNDLE_COLOURS: ColourChunk(s, &last_high, v, n); break;
        case BUNDLE_PATTERNS: PatternChunk(s, v, n); break;
        case BUNDLE_X_OFFSETS: OffsetChunk(s, TREE_X_OFFSETS, v, n); break;
        case BUNDLE_Y_OFFSETS: OffsetChunk(s, TREE_Y_OFFSETS, v, n); break;
        case BUNDLE_DC_INTRA: DcChunk(s, false, v, n); break;
        case BUNDLE_DC_INTER: DcChunk(s, true, v, n); break;
        case BUNDLE_RUNS: RunChunk(s, v, n); break;
      }
    }
    if (direct) s.Direct(&parts->rows[r].bits);
  }
  return true;
}

struct CountSinkNoDirect : CountSink {
  void Direct(const BitList*) {}
};
struct WriteSinkDirect : WriteSink {
  void Direct(const BitList* b) { PutBitList(w, b); }
};

}  // namespace

uint32_t ChunkLimit(const PlaneParts* parts, uint32_t id) {
  BundleCapacities caps;
  ComputeBundleCapacities(parts->file_width, &caps);
  const uint32_t capacity = BundleCapacityValues(&caps, id);
  const uint32_t field = (1u << BundleLengthBits(id, parts->width)) - 1;
  return capacity < field ? capacity : field;
}

namespace {

// Bits a tree's symbols took in total.
double TreeBits(const CountSink& c, const HuffTree* trees, int t) {
  double bits = 0;
  for (uint32_t s = 0; s < 16; ++s) bits += double(c.counts[t][s]) * SymbolBits(&trees[t], s);
  return bits;
}

// Prices the values of the plane just planned under its chosen codes; a
// bundle or kind that was not used keeps its default price.
void MeasureCosts(const CountSink& c, const HuffTree* trees, BitCosts* m) {
  BitCostsDefault(m);
  auto PerValue = [&](uint32_t id, double symbol_bits, double* out) {
    if (c.values[id] >= 8) *out = (double(c.plain_bits[id]) + symbol_bits) / double(c.values[id]);
  };
  double colour_bits = TreeBits(c, trees, TREE_COLOURS);
  for (int h = 0; h < 16; ++h) colour_bits += TreeBits(c, trees, TREE_COLOUR_HIGH + h);
  PerValue(BUNDLE_COLOURS, colour_bits, &m->colour);
  PerValue(BUNDLE_PATTERNS, TreeBits(c, trees, TREE_PATTERNS), &m->pattern);
  PerValue(BUNDLE_RUNS, TreeBits(c, trees, TREE_RUNS), &m->run);
  PerValue(BUNDLE_DC_INTRA, 0, &m->dc_intra);
  PerValue(BUNDLE_DC_INTER, 0, &m->dc_inter);
  if (c.values[BUNDLE_X_OFFSETS] >= 8)
    for (uint32_t v = 0; v < 16; ++v)
      m->offset[v] = (SymbolBits(&trees[TREE_X_OFFSETS], v) + SymbolBits(&trees[TREE_Y_OFFSETS], v)) / 2.0 + (v ? 1 : 0);
  for (int sub = 0; sub < 2; ++sub) {
    double* kind = sub ? m->sub_kind : m->kind;
    const int t = sub ? TREE_SUB_BLOCK_TYPES : TREE_BLOCK_TYPES;
    for (uint32_t k = 0; k < 16; ++k) {
      if (c.kind_values[sub][k] == 0) continue;
      double bits = 0;
      for (uint32_t s = 0; s < 16; ++s) bits += double(c.kind_symbols[sub][k][s]) * SymbolBits(&trees[t], s);
      // Never quite free: a kind that grows in use costs more per block.
      const double per = bits / double(c.kind_values[sub][k]);
      kind[k] = per < 0.25 ? 0.25 : per;
    }
  }
}

}  // namespace

bool WritePlaneStream(const PlaneParts* parts, std::vector<uint8_t>* out, BitCosts* measured) {
  CountSinkNoDirect counter;
  if (!EmitPlane(parts, counter, false)) return false;
  HuffTree trees[TREE_COUNT];
  for (int t = 0; t < TREE_COUNT; ++t) ChooseHuffTree(counter.counts[t], &trees[t]);
  if (measured) MeasureCosts(counter, trees, measured);

  // Room: direct bits, plus a generous bound for trees and chunks.
  uint64_t bound = 8192;
  for (const PlaneRow& row : parts->rows) {
    bound += row.bits.count / 8 + 64;
    for (const auto& v : row.values) bound += v.size() * 4 + 16;
  }
  std::vector<uint8_t> buffer(size_t(bound + 8));
  BitWriter w;
  BitWriterInit(&w, buffer.data(), uint32_t(buffer.size()));
  for (const HuffTree& t : trees) WriteHuffTree(&w, &t, HUFF_TREE_AUTO);
  WriteSinkDirect writer;
  writer.w = &w;
  writer.trees = trees;
  if (!EmitPlane(parts, writer, true)) return false;
  const uint32_t bytes = BitWriterFlush(&w);
  if (w.overflow) return false;
  out->insert(out->end(), buffer.begin(), buffer.begin() + bytes);
  return true;
}
