#include "video/plane_writer.h"

#include <cstring>

#include "video/bit_reader.h"
#include "video/block_kinds.h"
#include "video/bundle_writer.h"
#include "video/coefficients_writer.h"
#include "video/residue_writer.h"
#include "video/scan_tables.h"

namespace {

// A growable bit sink for the bits that blocks read directly.
struct BitLog {
  std::vector<uint32_t> words;
  uint64_t bits = 0;

  void Put(uint32_t value, uint32_t n) {
    for (uint32_t done = 0; done < n;) {
      uint32_t used = uint32_t(bits % 32);
      if (used == 0) words.push_back(0);
      uint32_t take = n - done < 32 - used ? n - done : 32 - used;
      uint32_t part = uint32_t((uint64_t(value) >> done) & ((uint64_t(1) << take) - 1));
      words.back() |= part << used;
      bits += take;
      done += take;
    }
  }
  // Copies the bits a BitWriter holds (before its flush).
  void Append(const BitWriter* w) {
    uint64_t total = BitWriterBitCount(w);
    uint32_t whole = w->size;
    for (uint32_t at = 0; at < whole; at += 4)
      Put(uint32_t(w->data[at]) | uint32_t(w->data[at + 1]) << 8 | uint32_t(w->data[at + 2]) << 16 |
              uint32_t(w->data[at + 3]) << 24,
          32);
    if (total > uint64_t(whole) * 8) Put(uint32_t(w->cache), uint32_t(total - uint64_t(whole) * 8));
  }
  void CopyTo(BitWriter* out) const {
    uint64_t left = bits;
    for (uint32_t word : words) {
      uint32_t n = left < 32 ? uint32_t(left) : 32;
      PutBits(out, word, n);
      left -= n;
    }
  }
};

struct ChunkPlan {
  uint32_t row;    // row at whose start the chunk is read
  uint32_t first;  // index of its first value
  uint32_t count;  // 0: the end mark
};

}  // namespace

struct PlaneWriter {
  uint32_t width, height, rows;
  BundleCapacities caps;
  bool old_colours;
  int32_t row = -1;
  uint32_t x = 0;
  bool failed = false;
  bool allow_invalid = false;
  std::vector<int32_t> values[BUNDLE_COUNT];
  std::vector<uint32_t> row_end[BUNDLE_COUNT];  // values taken up to the end of each row
  std::vector<BitLog> row_bits;
  std::vector<uint8_t> scratch;  // one block's direct bits
};

uint32_t PlanRuns(const uint8_t pixels[64], uint32_t scan, RunSpec runs[64]) {
  const uint8_t* order = RUN_SCANS[scan & 15];
  uint32_t count = 0, i = 0;
  while (i < 63) {
    uint32_t same = 1;
    while (i + same < 64 && same < 16 && pixels[order[i + same]] == pixels[order[i]]) ++same;
    if (same >= 2) {
      runs[count++] = RunSpec{uint8_t(same), true};
      i += same;
      continue;
    }
    uint32_t len = 1;
    while (i + len < 64 && len < 16 &&
           !(i + len + 1 < 64 && pixels[order[i + len]] == pixels[order[i + len + 1]]))
      ++len;
    runs[count++] = RunSpec{uint8_t(len), false};
    i += len;
  }
  return count;
}

PlaneWriter* PlaneWriterCreate(uint32_t width, uint32_t height, const BundleCapacities* caps,
                               bool old_colours) {
  auto* w = new PlaneWriter;
  w->width = width;
  w->height = height;
  w->rows = (height + 7) / 8;
  w->caps = *caps;
  w->old_colours = old_colours;
  w->failed = width == 0 || height == 0 || width % 8 || height % 8;
  w->scratch.resize(16384);
  return w;
}

void PlaneWriterDestroy(PlaneWriter* w) { delete w; }

void PlaneWriterAllowInvalid(PlaneWriter* w) { w->allow_invalid = true; }

uint32_t PlaneWriterChunkLimit(const PlaneWriter* w, uint32_t id) {
  const uint32_t capacity = BundleCapacityValues(&w->caps, id);
  const uint32_t field = (1u << BundleLengthBits(id, w->width)) - 1;
  return capacity < field ? capacity : field;
}

void PlaneWriterBeginRow(PlaneWriter* w) {
  if (w->row >= 0 && w->x != w->width) w->failed = true;
  ++w->row;
  w->x = 0;
  if (uint32_t(w->row) >= w->rows) {
    w->failed = true;
    return;
  }
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) w->row_end[id].push_back(uint32_t(w->values[id].size()));
  w->row_bits.emplace_back();
}

namespace {

void Value(PlaneWriter* w, uint32_t id, int32_t v) {
  w->values[id].push_back(v);
  w->row_end[id].back() = uint32_t(w->values[id].size());
}

bool PutRuns(PlaneWriter* w, BitWriter* bits, const BlockSpec* b) {
  const uint8_t* order = RUN_SCANS[b->scan & 15];
  uint32_t i = 0;
  if (b->run_count > 64) return false;
  for (uint32_t k = 0; k < b->run_count; ++k) {
    if (b->runs[k].length < 1 || b->runs[k].length > 16) return false;
    if (!w->allow_invalid && (i >= 63 || i + b->runs[k].length > 64)) return false;
    i += b->runs[k].length;
  }
  if (!w->allow_invalid && i < 63) return false;
  PutBits(bits, b->scan & 15, 4);
  i = 0;
  for (uint32_t k = 0; k < b->run_count; ++k) {
    const RunSpec& run = b->runs[k];
    PutBit(bits, run.fill);
    Value(w, BUNDLE_RUNS, run.length - 1);
    if (run.fill) Value(w, BUNDLE_COLOURS, b->pixels[order[i & 63]]);
    for (uint32_t n = 0; n < run.length; ++n, ++i)
      if (!run.fill) Value(w, BUNDLE_COLOURS, b->pixels[order[i & 63]]);
  }
  if (i == 63) Value(w, BUNDLE_COLOURS, b->pixels[order[63]]);
  return true;
}

bool PutOffsets(PlaneWriter* w, const BlockSpec* b) {
  if (b->dx < -15 || b->dx > 15 || b->dy < -15 || b->dy > 15) return false;
  Value(w, BUNDLE_X_OFFSETS, b->dx);
  Value(w, BUNDLE_Y_OFFSETS, b->dy);
  return true;
}

bool PutPattern(PlaneWriter* w, const BlockSpec* b) {
  Value(w, BUNDLE_COLOURS, b->colour0);
  Value(w, BUNDLE_COLOURS, b->colour1);
  for (int k = 0; k < 8; ++k) Value(w, BUNDLE_PATTERNS, b->pattern[k]);
  return true;
}

bool PutRaw(PlaneWriter* w, const BlockSpec* b) {
  for (int k = 0; k < 64; ++k) Value(w, BUNDLE_COLOURS, b->pixels[k]);
  return true;
}

bool PutIntra(PlaneWriter* w, BitWriter* bits, const BlockSpec* b) {
  if (b->quant > 15) return false;
  Value(w, BUNDLE_DC_INTRA, b->dc);
  WriteCoefficients(bits, b->coeffs);
  PutBits(bits, b->quant, 4);
  return true;
}

// The block's values and direct bits; false when it cannot be coded.
bool PutBlockParts(PlaneWriter* w, BitWriter* bits, const BlockSpec* b, bool odd_row) {
  switch (b->kind) {
    case BLOCK_SKIP: return true;
    case BLOCK_SCALED:
      if (odd_row) return true;
      if (b->sub_kind > 15) return false;
      Value(w, BUNDLE_SUB_BLOCK_TYPES, int32_t(b->sub_kind));
      switch (b->sub_kind) {
        case BLOCK_RUNS: return PutRuns(w, bits, b);
        case BLOCK_INTRA_DCT: return PutIntra(w, bits, b);
        case BLOCK_FILL: Value(w, BUNDLE_COLOURS, b->colour0); return true;
        case BLOCK_PATTERN: return PutPattern(w, b);
        case BLOCK_RAW: return PutRaw(w, b);
        default: return true;
      }
    case BLOCK_MOTION: return PutOffsets(w, b);
    case BLOCK_RUNS: return PutRuns(w, bits, b);
    case BLOCK_RESIDUE:
      if (!PutOffsets(w, b) || b->residue_limit > 127) return false;
      PutBits(bits, b->residue_limit, 7);
      WriteResidue(bits, b->residue, int(b->residue_limit), nullptr);
      return true;
    case BLOCK_INTRA_DCT: return PutIntra(w, bits, b);
    case BLOCK_FILL: Value(w, BUNDLE_COLOURS, b->colour0); return true;
    case BLOCK_INTER_DCT:
      if (!PutOffsets(w, b) || b->quant > 15) return false;
      Value(w, BUNDLE_DC_INTER, b->dc);
      WriteCoefficients(bits, b->coeffs);
      PutBits(bits, b->quant, 4);
      return true;
    case BLOCK_PATTERN: return PutPattern(w, b);
    case BLOCK_RAW: return PutRaw(w, b);
    default: return b->kind <= 15;
  }
}

}  // namespace

bool PlaneWriterPutBlock(PlaneWriter* w, const BlockSpec* b) {
  if (w->failed || w->row < 0) return w->failed = true, false;
  const bool odd_row = (w->row & 1) != 0;
  const uint32_t span = b->kind == BLOCK_SCALED ? 16 : 8;
  const bool scaled_outside = b->kind == BLOCK_SCALED && !odd_row && uint32_t(w->row) * 8 + 16 > w->height;
  if (w->x + (w->allow_invalid ? 8 : span) > w->width || (scaled_outside && !w->allow_invalid))
    return w->failed = true, false;
  Value(w, BUNDLE_BLOCK_TYPES, int32_t(b->kind));
  BitWriter bits;
  BitWriterInit(&bits, w->scratch.data(), uint32_t(w->scratch.size()));
  if (!PutBlockParts(w, &bits, b, odd_row) || bits.overflow) return w->failed = true, false;
  w->row_bits.back().Append(&bits);
  w->x += span;
  if (w->x > w->width) w->x = w->width;  // a scaled block in the last column (invalid data)
  return true;
}

namespace {

// Kinds of 12..15 can only be coded by a chunk that holds nothing else.
bool Codable(const PlaneWriter* w, uint32_t id, uint32_t first, uint32_t count) {
  if (id != BUNDLE_BLOCK_TYPES && id != BUNDLE_SUB_BLOCK_TYPES) return true;
  const int32_t* v = w->values[id].data() + first;
  bool high = false, equal = true;
  for (uint32_t i = 0; i < count; ++i) {
    high |= v[i] >= 12;
    equal &= v[i] == v[0];
  }
  return !high || equal;
}

// Chunks of one bundle: each read at a row start when the bundle has run
// dry, holding whole rows and ending on a row that takes values; a chunk
// takes in further rows while it stays within the chunk limit. After the
// last values, an end mark if rows remain.
bool PlanChunks(const PlaneWriter* w, uint32_t id, std::vector<ChunkPlan>* plan) {
  const std::vector<uint32_t>& ends = w->row_end[id];
  const uint32_t cap = PlaneWriterChunkLimit(w, id);
  uint32_t row = 0, first = 0;
  auto used = [&](uint32_t r) { return ends[r] - (r ? ends[r - 1] : 0); };
  while (row < w->rows) {
    if (first == ends[w->rows - 1]) {
      plan->push_back(ChunkPlan{row, first, 0});
      return true;
    }
    uint32_t last = row;
    while (used(last) == 0) ++last;
    if (ends[last] - first > cap) return false;
    if (!Codable(w, id, first, ends[last] - first)) return false;
    for (uint32_t next = last + 1; next < w->rows; ++next) {
      if (ends[next] - first > cap) break;
      if (!used(next)) continue;
      if (!Codable(w, id, first, ends[next] - first)) break;
      last = next;
    }
    plan->push_back(ChunkPlan{row, first, ends[last] - first});
    first = ends[last];
    row = last + 1;
  }
  return true;
}

bool FillForm(const int32_t* v, uint32_t n) {
  if (n < 2) return false;
  for (uint32_t i = 1; i < n; ++i)
    if (v[i] != v[0]) return false;
  return true;
}

int32_t Magnitude(int32_t v) { return v < 0 ? -v : v; }

}  // namespace

bool PlaneWriterFinish(PlaneWriter* w, HuffTreeMode mode, std::vector<uint8_t>* out,
                       PlaneCodingStats* stats) {
  if (w->failed || w->row + 1 != int32_t(w->rows) || w->x != w->width) return false;
  std::vector<ChunkPlan> plans[BUNDLE_COUNT];
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id)
    if (!PlanChunks(w, id, &plans[id])) return false;

  // Symbol statistics of the list-form chunks, in decoding order.
  uint32_t counts[7][16] = {};
  uint32_t high_counts[16][16] = {};
  uint32_t kind_counts[2][16][16] = {};  // [sub-kinds?][kind][symbol]
  enum { kKinds, kSubKinds, kColoursLow, kPatterns, kX, kY, kRuns };
  const int tree_of[BUNDLE_COUNT] = {kKinds, kSubKinds, kColoursLow, kPatterns, kX, kY, -1, -1, kRuns};
  uint32_t last_high = 0;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    if (tree_of[id] < 0) continue;
    uint32_t* c = counts[tree_of[id]];
    for (const ChunkPlan& p : plans[id]) {
      const int32_t* v = w->values[id].data() + p.first;
      uint32_t n = p.count;
      bool fill = id != BUNDLE_PATTERNS && FillForm(v, n);
      if (id == BUNDLE_COLOURS) {
        for (uint32_t i = 0; i < (fill ? 1 : n); ++i) {
          uint32_t h, l;
          if (!ColourSymbols(w->old_colours, uint32_t(v[i]), &h, &l)) return false;
          ++high_counts[last_high][h];
          ++c[l];
          last_high = h;
        }
      } else if (fill) {
        continue;
      } else if (id == BUNDLE_BLOCK_TYPES || id == BUNDLE_SUB_BLOCK_TYPES) {
        std::vector<uint8_t> bytes(v, v + n), symbols(n), kinds(n);
        int k = KindChunkSymbols(bytes.data(), n, symbols.data(), kinds.data());
        if (k < 0) return false;
        for (int i = 0; i < k; ++i) {
          ++c[symbols[i]];
          ++kind_counts[id == BUNDLE_SUB_BLOCK_TYPES][kinds[i] & 15][symbols[i]];
        }
      } else if (id == BUNDLE_PATTERNS) {
        for (uint32_t i = 0; i < n; ++i) {
          ++c[v[i] & 15];
          ++c[(v[i] >> 4) & 15];
        }
      } else {
        for (uint32_t i = 0; i < n; ++i) ++c[Magnitude(v[i]) & 15];
      }
    }
  }
  BundleTrees trees;
  ChooseHuffTree(counts[kKinds], &trees.block_types);
  ChooseHuffTree(counts[kSubKinds], &trees.sub_block_types);
  ChooseHuffTree(counts[kColoursLow], &trees.colours);
  ChooseHuffTree(counts[kPatterns], &trees.patterns);
  ChooseHuffTree(counts[kX], &trees.x_offsets);
  ChooseHuffTree(counts[kY], &trees.y_offsets);
  ChooseHuffTree(counts[kRuns], &trees.runs);
  for (int h = 0; h < 16; ++h) ChooseHuffTree(high_counts[h], &trees.colour_high[h]);
  if (stats) {
    *stats = PlaneCodingStats{};
    stats->trees = trees;
    for (int sub = 0; sub < 2; ++sub) {
      const HuffTree* tree = sub ? &trees.sub_block_types : &trees.block_types;
      for (uint32_t kind = 0; kind < 16; ++kind)
        for (uint32_t s = 0; s < 16; ++s) {
          const uint32_t n = kind_counts[sub][kind][s];
          stats->kind_bits[sub][kind] += uint64_t(n) * SymbolBits(tree, s);
          stats->kind_values[sub][kind] += uint64_t(n) * (s < 12 ? 1 : RUN_LENGTH_ESCAPES[s]);
        }
    }
  }

  // Generous bound: every value and bit with room for the trees and headers.
  uint64_t bound = 4096;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) bound += uint64_t(w->values[id].size()) * 32 + plans[id].size() * 64;
  for (const BitLog& log : w->row_bits) bound += log.bits + 32;
  std::vector<uint8_t> buffer(size_t(bound / 8 + 64));
  BitWriter bw;
  BitWriterInit(&bw, buffer.data(), uint32_t(buffer.size()));
  if (!WriteBundleTrees(&bw, &trees, mode)) return false;

  ColourCoder colours{&trees, 0, w->old_colours};
  size_t next[BUNDLE_COUNT] = {};
  std::vector<uint8_t> bytes;
  std::vector<int8_t> offsets;
  std::vector<int16_t> dcs;
  for (uint32_t row = 0; row < w->rows; ++row) {
    for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
      if (next[id] >= plans[id].size() || plans[id][next[id]].row != row) continue;
      const ChunkPlan& p = plans[id][next[id]++];
      const int32_t* v = w->values[id].data() + p.first;
      const uint32_t bits = BundleLengthBits(id, w->width);
      const uint64_t start = BitWriterBitCount(&bw);
      bool ok = true;
      switch (id) {
        case BUNDLE_BLOCK_TYPES:
        case BUNDLE_SUB_BLOCK_TYPES:
        case BUNDLE_PATTERNS:
        case BUNDLE_RUNS:
        case BUNDLE_COLOURS: {
          bytes.assign(v, v + p.count);
          const HuffTree* tree = id == BUNDLE_BLOCK_TYPES ? &trees.block_types
                                 : id == BUNDLE_SUB_BLOCK_TYPES ? &trees.sub_block_types
                                 : id == BUNDLE_PATTERNS ? &trees.patterns
                                                         : &trees.runs;
          if (id == BUNDLE_COLOURS)
            ok = WriteColourChunk(&bw, &colours, bits, bytes.data(), p.count, CHUNK_AUTO);
          else if (id == BUNDLE_PATTERNS)
            ok = WritePatternChunk(&bw, tree, bits, bytes.data(), p.count);
          else if (id == BUNDLE_RUNS)
            ok = WriteRunChunk(&bw, tree, bits, bytes.data(), p.count, CHUNK_AUTO);
          else
            ok = WriteKindChunk(&bw, tree, bits, bytes.data(), p.count, CHUNK_AUTO);
          break;
        }
        case BUNDLE_X_OFFSETS:
        case BUNDLE_Y_OFFSETS:
          offsets.assign(v, v + p.count);
          ok = WriteOffsetChunk(&bw, id == BUNDLE_X_OFFSETS ? &trees.x_offsets : &trees.y_offsets, bits,
                                offsets.data(), p.count, CHUNK_AUTO);
          break;
        default:
          dcs.assign(v, v + p.count);
          ok = WriteDcChunk(&bw, id == BUNDLE_DC_INTER, bits, dcs.data(), p.count);
          break;
      }
      if (!ok) return false;
      if (stats && p.count) {  // an end mark is the plane's, not the values'
        stats->bits[id] += BitWriterBitCount(&bw) - start;
        stats->values[id] += p.count;
      }
    }
    w->row_bits[row].CopyTo(&bw);
  }
  uint32_t size = BitWriterFlush(&bw);
  if (!size) return false;
  out->insert(out->end(), buffer.begin(), buffer.begin() + size);
  return true;
}

void AssembleVideoData(const std::vector<uint8_t>* alpha, const std::vector<uint8_t>& y,
                       const std::vector<uint8_t>* chroma1, const std::vector<uint8_t>* chroma2,
                       bool old_bitstream, std::vector<uint8_t>* out) {
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
  };
  if (alpha) {
    put32(uint32_t(alpha->size() + 4));
    out->insert(out->end(), alpha->begin(), alpha->end());
  }
  if (!old_bitstream) put32(uint32_t(y.size() + 4));
  out->insert(out->end(), y.begin(), y.end());
  if (chroma1) out->insert(out->end(), chroma1->begin(), chroma1->end());
  if (chroma2) out->insert(out->end(), chroma2->begin(), chroma2->end());
}
