#include "video/bundle_writer.h"

#include "video/scan_tables.h"

namespace {

bool AllEqual(const uint8_t* v, uint32_t n) {
  for (uint32_t i = 1; i < n; ++i)
    if (v[i] != v[0]) return false;
  return true;
}

// Decides between a fill chunk (one value for all) and a list: false when
// the mode demands a fill the values cannot make. An empty chunk is a list.
bool ChooseFill(const uint8_t* v, uint32_t n, ChunkMode mode, bool* fill) {
  *fill = false;
  if (n == 0 || mode == CHUNK_LIST) return true;
  const bool equal = AllEqual(v, n);
  if (mode == CHUNK_FILL) {
    *fill = equal;
    return equal;
  }
  *fill = equal && n > 1;
  return true;
}

bool NibblesOnly(const uint8_t* v, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (v[i] > 15) return false;
  return true;
}

bool CountFits(uint32_t n, uint32_t length_bits) { return length_bits >= 32 || n < (1u << length_bits); }

inline void PutSigned(BitWriter* w, int v) {
  // Magnitude has been written by the caller; the sign follows a non-zero one.
  if (v != 0) PutBit(w, v < 0);
}

uint32_t MagnitudeBits(uint32_t m) {
  uint32_t n = 0;
  while (m) {
    ++n;
    m >>= 1;
  }
  return n;
}

}  // namespace

bool WriteBundleTrees(BitWriter* w, const BundleTrees* t, HuffTreeMode mode) {
  const HuffTree* order[23];
  int k = 0;
  order[k++] = &t->block_types;
  order[k++] = &t->sub_block_types;
  for (const HuffTree& h : t->colour_high) order[k++] = &h;
  order[k++] = &t->colours;
  order[k++] = &t->patterns;
  order[k++] = &t->x_offsets;
  order[k++] = &t->y_offsets;
  order[k++] = &t->runs;
  for (const HuffTree* h : order)
    if (HuffTreeDescriptionBits(h, mode) < 0) return false;
  for (const HuffTree* h : order) WriteHuffTree(w, h, mode);
  return true;
}

namespace {

// The list form of a kind chunk: literals below 12 (each becomes the repeat
// value, which starts at 0) and, for four or more repeats, the escapes for
// 32, 12, 8 and 4 repeats, largest first. emit(symbol, kind) for each
// symbol, kind being the value it stands for; -1 when a value of 12..15
// would need a literal.
template <typename Emit>
int CodeKinds(const uint8_t* v, uint32_t n, Emit emit) {
  static const uint32_t kEscapes[4] = {15, 14, 13, 12};
  int count = 0;
  uint32_t repeat = 0, i = 0;
  while (i < n) {
    uint32_t same = 0;
    while (i + same < n && v[i + same] == repeat) ++same;
    if (same >= 4) {
      for (uint32_t s : kEscapes) {
        while (same >= RUN_LENGTH_ESCAPES[s]) {
          emit(s, repeat);
          ++count;
          same -= RUN_LENGTH_ESCAPES[s];
          i += RUN_LENGTH_ESCAPES[s];
        }
      }
      continue;
    }
    if (v[i] >= 12) return -1;
    emit(v[i], v[i]);
    ++count;
    repeat = v[i++];
  }
  return count;
}

}  // namespace

int KindChunkSymbols(const uint8_t* v, uint32_t n, uint8_t* symbols, uint8_t* kinds) {
  int at = 0;
  return CodeKinds(v, n, [&](uint32_t s, uint32_t kind) {
    if (symbols) symbols[at] = uint8_t(s);
    if (kinds) kinds[at] = uint8_t(kind);
    ++at;
  });
}

bool WriteKindChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const uint8_t* v,
                    uint32_t n, ChunkMode mode) {
  if (!CountFits(n, length_bits)) return false;
  bool fill;
  if (!NibblesOnly(v, n) || !ChooseFill(v, n, mode, &fill)) return false;
  if (n > 0 && !fill && CodeKinds(v, n, [](uint32_t, uint32_t) {}) < 0) return false;
  PutBits(w, n, length_bits);
  if (n == 0) return true;
  PutBit(w, fill);
  if (fill) {
    PutBits(w, v[0], 4);
    return true;
  }
  CodeKinds(v, n, [&](uint32_t s, uint32_t) { PutSymbol(w, tree, s); });
  return true;
}

bool ColourSymbols(bool old_colours, uint32_t value, uint32_t* high, uint32_t* low) {
  uint32_t v = value & 0xFF;
  if (old_colours) {
    // Stored byte = (+-m + 128) mod 256 with m = 0..127.
    if (v >= 128) {
      v = v - 128;
    } else {
      if (v == 0) return false;
      v = 0x80 | (128 - v);
    }
  }
  *high = v >> 4;
  *low = v & 15;
  return true;
}

bool WriteColourChunk(BitWriter* w, ColourCoder* c, uint32_t length_bits, const uint8_t* v,
                      uint32_t n, ChunkMode mode) {
  if (!CountFits(n, length_bits)) return false;
  bool fill;
  if (!ChooseFill(v, n, mode, &fill)) return false;
  uint32_t h = 0, l = 0;
  for (uint32_t i = 0; i < (fill ? 1 : n); ++i)
    if (!ColourSymbols(c->old_colours, v[i], &h, &l)) return false;
  PutBits(w, n, length_bits);
  if (n == 0) return true;
  PutBit(w, fill);
  for (uint32_t i = 0; i < (fill ? 1 : n); ++i) {
    ColourSymbols(c->old_colours, v[i], &h, &l);
    PutSymbol(w, &c->trees->colour_high[c->last_high], h);
    PutSymbol(w, &c->trees->colours, l);
    c->last_high = h;
  }
  return true;
}

bool WritePatternChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const uint8_t* v,
                       uint32_t n) {
  if (!CountFits(n, length_bits)) return false;
  PutBits(w, n, length_bits);
  for (uint32_t i = 0; i < n; ++i) {
    PutSymbol(w, tree, v[i] & 15);
    PutSymbol(w, tree, v[i] >> 4);
  }
  return true;
}

bool WriteOffsetChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const int8_t* v,
                      uint32_t n, ChunkMode mode) {
  if (!CountFits(n, length_bits)) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (v[i] < -15 || v[i] > 15) return false;
  bool fill;
  if (!ChooseFill(reinterpret_cast<const uint8_t*>(v), n, mode, &fill)) return false;
  PutBits(w, n, length_bits);
  if (n == 0) return true;
  PutBit(w, fill);
  if (fill) {
    PutBits(w, uint32_t(v[0] < 0 ? -v[0] : v[0]), 4);
    PutSigned(w, v[0]);
    return true;
  }
  for (uint32_t i = 0; i < n; ++i) {
    PutSymbol(w, tree, uint32_t(v[i] < 0 ? -v[i] : v[i]));
    PutSigned(w, v[i]);
  }
  return true;
}

bool WriteDcChunk(BitWriter* w, bool inter, uint32_t length_bits, const int16_t* v, uint32_t n) {
  if (!CountFits(n, length_bits)) return false;
  if (n > 0) {
    if (inter ? (v[0] < -1023 || v[0] > 1023) : (v[0] < 0 || v[0] > 2047)) return false;
    for (uint32_t i = 1; i < n; ++i)
      if (int16_t(uint16_t(v[i] - v[i - 1])) == -32768) return false;
  }
  PutBits(w, n, length_bits);
  if (n == 0) return true;
  if (inter) {
    PutBits(w, uint32_t(v[0] < 0 ? -v[0] : v[0]), 10);
    PutSigned(w, v[0]);
  } else {
    PutBits(w, uint32_t(v[0]), 11);
  }
  for (uint32_t i = 1; i < n; i += 8) {
    uint32_t group = n - i < 8 ? n - i : 8;
    int deltas[8];
    uint32_t width = 0;
    for (uint32_t k = 0; k < group; ++k) {
      deltas[k] = int16_t(uint16_t(v[i + k] - v[i + k - 1]));
      uint32_t bits = MagnitudeBits(uint32_t(deltas[k] < 0 ? -deltas[k] : deltas[k]));
      if (bits > width) width = bits;
    }
    PutBits(w, width, 4);
    if (width == 0) continue;
    for (uint32_t k = 0; k < group; ++k) {
      PutBits(w, uint32_t(deltas[k] < 0 ? -deltas[k] : deltas[k]), width);
      PutSigned(w, deltas[k]);
    }
  }
  return true;
}

bool WriteRunChunk(BitWriter* w, const HuffTree* tree, uint32_t length_bits, const uint8_t* v,
                   uint32_t n, ChunkMode mode) {
  if (!CountFits(n, length_bits)) return false;
  bool fill;
  if (!NibblesOnly(v, n) || !ChooseFill(v, n, mode, &fill)) return false;
  PutBits(w, n, length_bits);
  if (n == 0) return true;
  PutBit(w, fill);
  if (fill) {
    PutBits(w, v[0], 4);
    return true;
  }
  for (uint32_t i = 0; i < n; ++i) PutSymbol(w, tree, v[i]);
  return true;
}
