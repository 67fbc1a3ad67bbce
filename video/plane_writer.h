// Writing a whole plane stream: the caller (the encoder, or a test) states
// each block as values, row by row, and the writer sorts the values into the
// bundles, keeps the bits that blocks read directly in row order, plans the
// chunks (a chunk may serve several rows; a bundle with nothing left to give
// is ended), picks the prefix codes from the plane's statistics and emits
// trees, chunks and block bits in the order the decoder reads them. A
// tool-side writer: it allocates freely.
#pragma once
#include <cstdint>
#include <vector>

#include "video/bundle.h"
#include "video/huff_writer.h"

struct RunSpec {
  uint8_t length;  // 1..16 positions
  bool fill;       // one colour for the whole run, else one colour per position
};

// One block stated as values. Which fields count depends on the kind (for a
// scaled block in an even block row, on sub_kind; in odd rows only the kind
// is written).
struct BlockSpec {
  uint32_t kind;      // BlockKind, or 10..15 (keeps its pixels)
  uint32_t sub_kind;  // BLOCK_SCALED: 3, 5, 6, 8, 9, or another value (area kept)
  int dx, dy;         // BLOCK_MOTION, BLOCK_RESIDUE, BLOCK_INTER_DCT: -15..15
  uint8_t colour0, colour1;  // BLOCK_FILL: colour0; BLOCK_PATTERN: both
  uint8_t pattern[8];        // BLOCK_PATTERN: row masks, bit k = column k uses colour1
  uint8_t pixels[64];        // BLOCK_RAW and BLOCK_RUNS: the 8x8 colours, raster order
  uint32_t scan;             // BLOCK_RUNS: RUN_SCANS index
  uint32_t run_count;        // BLOCK_RUNS: runs covering 63 or 64 positions along the scan
  RunSpec runs[64];
  int16_t dc;                // transform blocks: the DC value
  int16_t coeffs[64];        // transform blocks: natural order, positions 1..63 coded
  uint32_t quant;            // transform blocks: 0..15
  uint32_t residue_limit;    // BLOCK_RESIDUE: 0..127
  int8_t residue[64];        // BLOCK_RESIDUE: list order; the limit may stop the coding short of it
};

// Runs for the pixels along a scan: equal neighbours become fill runs, the
// rest literal runs, each at most 16 long. Returns the run count.
uint32_t PlanRuns(const uint8_t pixels[64], uint32_t scan, RunSpec runs[64]);

struct PlaneWriter;

// width, height: the plane size (multiples of 8). caps: the decoder's bundle
// capacities (a row whose values exceed one makes the plane fail).
PlaneWriter* PlaneWriterCreate(uint32_t width, uint32_t height, const BundleCapacities* caps,
                               bool old_colours);
void PlaneWriterDestroy(PlaneWriter* w);

// Lets tests state blocks that the decoder must reject: scaled blocks at the
// last block column or row and runs that pass the end of the block.
void PlaneWriterAllowInvalid(PlaneWriter* w);

// The most values one chunk of bundle id may hold: the smaller of the
// bundle's capacity and what its length field can express. A row whose
// values exceed it cannot be coded.
uint32_t PlaneWriterChunkLimit(const PlaneWriter* w, uint32_t id);

// Starts the next block row (call before the first block of every row).
void PlaneWriterBeginRow(PlaneWriter* w);
// Appends the next block of the current row. False when the block cannot be
// coded (the writer is then failed and Finish returns false).
bool PlaneWriterPutBlock(PlaneWriter* w, const BlockSpec* block);

// What the written plane's chunks took, for pricing values by the codes a
// plane actually used.
struct PlaneCodingStats {
  BundleTrees trees;              // the codes chosen
  uint64_t bits[BUNDLE_COUNT];    // all bits of each bundle's chunks but end marks, length fields included
  uint64_t values[BUNDLE_COUNT];  // values those chunks held
  // List-form chunks of blockTypes [0] and subBlockTypes [1]: the code bits
  // spent on each kind (an escape counts for the kind it repeats) and the
  // values of that kind they coded.
  uint64_t kind_bits[2][16];
  uint64_t kind_values[2][16];
};

// Emits the plane: tree descriptions (mode), then per row the chunks and the
// blocks' bits, padded to a 32-bit word. Appends to out and fills stats (may
// be null). False when a block failed, a row was incomplete, or a row's
// values exceed a chunk (PlaneWriterChunkLimit).
bool PlaneWriterFinish(PlaneWriter* w, HuffTreeMode mode, std::vector<uint8_t>* out,
                       PlaneCodingStats* stats = nullptr);

// Lays out a frame's video data from coded planes (alpha, c1, c2 may be
// null): the alpha length field and plane, the Y length field (not with the
// old bitstream) and plane, then the chroma planes.
void AssembleVideoData(const std::vector<uint8_t>* alpha, const std::vector<uint8_t>& y,
                       const std::vector<uint8_t>* chroma1, const std::vector<uint8_t>* chroma2,
                       bool old_bitstream, std::vector<uint8_t>* out);
