// Block kinds of a plane (the values of the blockTypes and subBlockTypes
// bundles). Values 10..15 name no kind: such a block keeps its pixels.
#pragma once
#include <cstdint>

enum BlockKind : uint32_t {
  BLOCK_SKIP = 0,       // copy of the reference block at the same place
  BLOCK_SCALED = 1,     // 16x16 area drawn doubled from an 8x8 sub-kind
  BLOCK_MOTION = 2,     // displaced copy of the reference
  BLOCK_RUNS = 3,       // runs of colours along a scan
  BLOCK_RESIDUE = 4,    // displaced reference plus a residue
  BLOCK_INTRA_DCT = 5,  // inverse transform
  BLOCK_FILL = 6,       // one colour
  BLOCK_INTER_DCT = 7,  // displaced reference plus an inverse transform
  BLOCK_PATTERN = 8,    // two colours chosen by a bit mask
  BLOCK_RAW = 9,        // 64 colours
  BLOCK_KIND_COUNT = 10
};
