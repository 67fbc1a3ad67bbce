// Prefix-code selections of a plane (HuffTree): one of the sixteen fixed code
// tables plus a permutation from code indices to symbols.
#pragma once
#include <cstdint>

#include "video/bit_reader.h"
#include "video/code_tables.h"

struct HuffTree {
  uint8_t table;    // code table index 0..15
  uint8_t map[16];  // code index -> symbol
  // Built by HuffTreeBuild from table and map: for each 7-bit peek, the code
  // length in the high nibble and the symbol in the low nibble, so decoding
  // is one peek, one lookup and one shift.
  uint8_t decode[128];
  // The same for a signed value (the offsets), built on first use by
  // HuffTreeBuildSigned: for each 8-bit peek, the value with its sign
  // applied in the low byte and the bits taken (the code, and a sign bit
  // after a nonzero magnitude) in the high byte.
  bool signed_built;
  uint16_t signed_decode[256];
};

// Fills decode[] from table and map (and marks signed_decode[] as not built).
void HuffTreeBuild(HuffTree* tree);
// Fills signed_decode[] from decode[].
void HuffTreeBuildSigned(HuffTree* tree);

// Reads a tree description (either mode) and builds the tree. A description
// that lists a symbol twice still yields sixteen map entries.
void ReadHuffTree(BitReader* r, HuffTree* tree);

inline uint32_t DecodeSymbol(BitReader* r, const HuffTree* tree) {
  uint32_t e = tree->decode[PeekBits(r, kCodePeekBits)];
  SkipBits(r, e >> 4);
  return e & 15;
}
