#include "video/huff.h"

#include <cstring>

void HuffTreeBuild(HuffTree* tree) {
  const uint8_t* lookup = CODE_TABLES.lookup[tree->table & 15];
  for (int i = 0; i < 128; ++i) {
    uint8_t e = lookup[i];
    tree->decode[i] = uint8_t((e & 0xF0) | (tree->map[e & 15] & 15));
  }
  tree->signed_built = false;
}

void HuffTreeBuildSigned(HuffTree* tree) {
  // Codes are at most 7 bits, so the sign bit after one is inside the peek.
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t e = tree->decode[i & 127];
    const uint32_t length = e >> 4, m = e & 15;
    const uint32_t coded = m != 0;
    const uint32_t negative = (i >> length) & coded;
    tree->signed_decode[i] = uint16_t(uint8_t((m ^ (0u - negative)) + negative) | (length + coded) << 8);
  }
  tree->signed_built = true;
}

namespace {

// Merges list a (na symbols) with list b (nb symbols) into out, one bit per
// choice while both lists still have symbols: 1 takes from b, 0 from a.
void MergeLists(BitReader* r, const uint8_t* a, uint32_t na, const uint8_t* b, uint32_t nb,
                uint8_t* out) {
  uint32_t ia = 0, ib = 0, o = 0;
  while (ia < na && ib < nb) out[o++] = ReadBit(r) ? b[ib++] : a[ia++];
  while (ia < na) out[o++] = a[ia++];
  while (ib < nb) out[o++] = b[ib++];
}

}  // namespace

void ReadHuffTree(BitReader* r, HuffTree* tree) {
  uint32_t t = ReadBits(r, 4);
  tree->table = uint8_t(t);
  if (t == 0) {
    for (int i = 0; i < 16; ++i) tree->map[i] = uint8_t(i);
  } else if (ReadBit(r)) {
    // Explicit: the first k + 1 symbols, then the rest in increasing order.
    uint32_t count = ReadBits(r, 3) + 1;
    bool listed[16] = {};
    uint32_t o = 0;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t s = ReadBits(r, 4);
      listed[s] = true;
      tree->map[o++] = uint8_t(s);
    }
    for (uint32_t s = 0; s < 16 && o < 16; ++s)
      if (!listed[s]) tree->map[o++] = uint8_t(s);
  } else {
    // Merge passes: sixteen one-symbol lists, merged pairwise d + 1 times.
    uint32_t passes = ReadBits(r, 2) + 1;
    uint8_t lists[16], merged[16];
    for (int i = 0; i < 16; ++i) lists[i] = uint8_t(i);
    for (uint32_t p = 0, size = 1; p < passes; ++p, size *= 2) {
      for (uint32_t at = 0; at < 16; at += 2 * size)
        MergeLists(r, lists + at, size, lists + at + size, size, merged + at);
      std::memcpy(lists, merged, 16);
    }
    std::memcpy(tree->map, lists, 16);
  }
  HuffTreeBuild(tree);
}
