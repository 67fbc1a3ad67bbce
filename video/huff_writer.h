// Writing prefix-code selections: tree descriptions in both modes, symbols,
// and a helper that picks a cheap tree for a set of symbol counts.
#pragma once
#include <cstdint>

#include "video/bit_writer.h"
#include "video/huff.h"

enum HuffTreeMode {
  HUFF_TREE_AUTO = 0,      // the shorter description that can express the map
  HUFF_TREE_EXPLICIT = 1,  // fill bit 1: up to eight listed symbols, the rest in order
  HUFF_TREE_MERGE = 2,     // fill bit 0: merge passes
};

// Bits the description of tree would take in the given mode, or -1 when that
// mode cannot express its map. Table 0 always costs 4 bits and needs the
// identity map.
int HuffTreeDescriptionBits(const HuffTree* tree, HuffTreeMode mode);

// Writes the description; false (nothing written) when the mode cannot
// express the map.
bool WriteHuffTree(BitWriter* w, const HuffTree* tree, HuffTreeMode mode);

// Writes the code of symbol (0..15) under tree.
inline void PutSymbol(BitWriter* w, const HuffTree* tree, uint32_t symbol) {
  uint32_t index = 0;
  while (index < 15 && tree->map[index] != symbol) ++index;
  PutBits(w, CODE_TABLES.bits[tree->table][index], CODE_TABLES.lengths[tree->table][index]);
}

// Bits that symbol costs under tree.
inline uint32_t SymbolBits(const HuffTree* tree, uint32_t symbol) {
  uint32_t index = 0;
  while (index < 15 && tree->map[index] != symbol) ++index;
  return CODE_TABLES.lengths[tree->table][index];
}

// Chooses the table and map that code symbols with the given counts in the
// fewest bits, description included, and builds the tree.
void ChooseHuffTree(const uint32_t counts[16], HuffTree* tree);
