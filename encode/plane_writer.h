// Assembling one plane stream from what the block choice produced: the
// values each block row puts into the nine bundles and the bits its blocks
// read directly. The writer plans the bundle chunks (a chunk may serve
// several rows; a bundle with nothing left to give is ended), picks a prefix
// code for every tree from the plane's own statistics, and writes the tree
// descriptions, then row by row the chunks due at that row followed by the
// row's direct bits.
#pragma once
#include <cstdint>
#include <vector>

#include "encode/bit_costs.h"
#include "encode/bit_list.h"
#include "video/bundle.h"

struct PlaneRow {
  std::vector<int32_t> values[BUNDLE_COUNT];  // in take order
  BitList bits;                               // direct bits of the row's blocks
};

struct PlaneParts {
  uint32_t width = 0;       // plane width (multiple of 8)
  uint32_t file_width = 0;  // picture width of the file: sizes the bundles
  std::vector<PlaneRow> rows;
};

// The most values one chunk of bundle id may hold for this plane: the
// smaller of its buffer capacity and what its length field can express.
uint32_t ChunkLimit(const PlaneParts* parts, uint32_t id);

// Appends the plane stream (a whole number of 32-bit words) to out. False
// when a row's values for one bundle exceed ChunkLimit (the block choice
// must keep within it). measured (may be null) receives what the values
// cost under the codes chosen, for the next plane's block choice.
bool WritePlaneStream(const PlaneParts* parts, std::vector<uint8_t>* out, BitCosts* measured);
