#include "video/huff_writer.h"

#include <algorithm>

namespace {

bool IsIdentity(const uint8_t map[16]) {
  for (int i = 0; i < 16; ++i)
    if (map[i] != i) return false;
  return true;
}

// Explicit mode: the number of listed symbols (1..8), or 0 when the map does
// not end with the unlisted symbols in increasing order after at most eight.
uint32_t ExplicitCount(const uint8_t map[16]) {
  for (uint32_t listed = 1; listed <= 8; ++listed) {
    bool seen[16] = {};
    for (uint32_t i = 0; i < listed; ++i) seen[map[i] & 15] = true;
    uint32_t o = listed;
    bool ok = true;
    for (uint32_t s = 0; s < 16 && ok; ++s) {
      if (seen[s]) continue;
      ok = o < 16 && map[o] == s;
      ++o;
    }
    if (ok && o == 16) return listed;
  }
  return 0;
}

// Merge mode: the pass count (1..4) for which every list of the last pass
// holds exactly its own range of symbols, or 0.
uint32_t MergePasses(const uint8_t map[16]) {
  for (uint32_t passes = 1; passes <= 4; ++passes) {
    uint32_t size = 1u << passes;
    bool ok = true;
    for (uint32_t i = 0; i < 16 && ok; ++i) ok = (map[i] & 15) / size == i / size;
    if (ok) return passes;
  }
  return 0;
}

// Emits (or, with w null, counts) the choice bits of the merge passes.
uint32_t MergeBits(BitWriter* w, const uint8_t map[16], uint32_t passes) {
  uint32_t bits = 0;
  for (uint32_t p = 0, size = 1; p < passes; ++p, size *= 2) {
    for (uint32_t base = 0; base < 16; base += 2 * size) {
      // The merged list is the map restricted to [base, base + 2 size).
      uint32_t left_a = size, left_b = size;
      for (uint32_t i = 0; i < 16 && left_a && left_b; ++i) {
        uint32_t s = map[i] & 15;
        if (s < base || s >= base + 2 * size) continue;
        bool from_b = s >= base + size;
        if (w) PutBit(w, from_b);
        ++bits;
        if (from_b) --left_b; else --left_a;
      }
    }
  }
  return bits;
}

int ModeBits(const HuffTree* tree, HuffTreeMode mode) {
  if (mode == HUFF_TREE_EXPLICIT) {
    uint32_t listed = ExplicitCount(tree->map);
    return listed ? int(4 + 1 + 3 + 4 * listed) : -1;
  }
  uint32_t passes = MergePasses(tree->map);
  return passes ? int(4 + 1 + 2 + MergeBits(nullptr, tree->map, passes)) : -1;
}

}  // namespace

int HuffTreeDescriptionBits(const HuffTree* tree, HuffTreeMode mode) {
  if (tree->table == 0) return IsIdentity(tree->map) ? 4 : -1;
  if (mode != HUFF_TREE_AUTO) return ModeBits(tree, mode);
  int e = ModeBits(tree, HUFF_TREE_EXPLICIT), m = ModeBits(tree, HUFF_TREE_MERGE);
  if (e < 0) return m;
  if (m < 0) return e;
  return std::min(e, m);
}

bool WriteHuffTree(BitWriter* w, const HuffTree* tree, HuffTreeMode mode) {
  if (tree->table == 0) {
    if (!IsIdentity(tree->map)) return false;
    PutBits(w, 0, 4);
    return true;
  }
  if (mode == HUFF_TREE_AUTO) {
    int e = ModeBits(tree, HUFF_TREE_EXPLICIT), m = ModeBits(tree, HUFF_TREE_MERGE);
    if (e < 0 && m < 0) return false;
    mode = (e >= 0 && (m < 0 || e <= m)) ? HUFF_TREE_EXPLICIT : HUFF_TREE_MERGE;
  }
  if (mode == HUFF_TREE_EXPLICIT) {
    uint32_t listed = ExplicitCount(tree->map);
    if (!listed) return false;
    PutBits(w, tree->table, 4);
    PutBit(w, 1);
    PutBits(w, listed - 1, 3);
    for (uint32_t i = 0; i < listed; ++i) PutBits(w, tree->map[i], 4);
    return true;
  }
  uint32_t passes = MergePasses(tree->map);
  if (!passes) return false;
  PutBits(w, tree->table, 4);
  PutBit(w, 0);
  PutBits(w, passes - 1, 2);
  MergeBits(w, tree->map, passes);
  return true;
}

void ChooseHuffTree(const uint32_t counts[16], HuffTree* tree) {
  // Symbols by falling count; unused symbols last in increasing order, which
  // keeps explicit descriptions short.
  uint8_t order[16];
  for (int i = 0; i < 16; ++i) order[i] = uint8_t(i);
  std::stable_sort(order, order + 16, [&](uint8_t a, uint8_t b) { return counts[a] > counts[b]; });

  uint64_t best_cost = ~0ull;
  HuffTree candidate{};
  for (uint32_t t = 0; t < 16; ++t) {
    candidate.table = uint8_t(t);
    // Code lengths never fall with the code index, so the most frequent
    // symbol takes code 0.
    for (int i = 0; i < 16; ++i) candidate.map[i] = t == 0 ? uint8_t(i) : order[i];
    int desc = HuffTreeDescriptionBits(&candidate, HUFF_TREE_AUTO);
    if (desc < 0) continue;
    uint64_t cost = uint64_t(desc);
    for (int i = 0; i < 16; ++i)
      cost += uint64_t(counts[candidate.map[i]]) * CODE_TABLES.lengths[t][i];
    if (cost < best_cost) {
      best_cost = cost;
      *tree = candidate;
    }
  }
  HuffTreeBuild(tree);
}
