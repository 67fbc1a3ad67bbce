// The nine value streams (bundles) of a plane: their buffers, the chunk
// coding of each kind, and the per-row refill.
//
// A bundle's chunk is decoded into its buffer in one tight loop at the start
// of a block row; blocks then take values straight from the buffer. Takes are
// not checked one by one: a block checks once that the bundles it draws from
// hold enough values (or, for run blocks, checks afterwards), and every buffer
// carries kBundleSlackBytes of spare room so that the takes of one block can
// never leave it.
#pragma once
#include <cstdint>

#include "video/bit_reader.h"
#include "video/huff.h"

enum BundleId : uint32_t {
  BUNDLE_BLOCK_TYPES = 0,
  BUNDLE_SUB_BLOCK_TYPES,
  BUNDLE_COLOURS,
  BUNDLE_PATTERNS,
  BUNDLE_X_OFFSETS,
  BUNDLE_Y_OFFSETS,
  BUNDLE_DC_INTRA,
  BUNDLE_DC_INTER,
  BUNDLE_RUNS,
  BUNDLE_COUNT
};

// Spare bytes behind every bundle buffer: room for the unchecked takes of one
// block past the values a chunk supplied (at most 64 colours or runs).
constexpr uint32_t kBundleSlackBytes = 128;

// Buffer sizes in bytes of the nine bundles for a picture width; the same
// buffers serve every plane. Values of the DC bundles are 16-bit.
struct BundleCapacities {
  uint32_t bytes[BUNDLE_COUNT];
};

// width: the output width of the file (before rounding to 16).
void ComputeBundleCapacities(uint32_t width, BundleCapacities* caps);

inline uint32_t BundleElementBytes(uint32_t id) {
  return id == BUNDLE_DC_INTRA || id == BUNDLE_DC_INTER ? 2 : 1;
}

// Capacity of a bundle in values: the largest chunk count it accepts.
inline uint32_t BundleCapacityValues(const BundleCapacities* caps, uint32_t id) {
  return caps->bytes[id] / BundleElementBytes(id);
}

// The nine buffers (each caps.bytes[id] + kBundleSlackBytes long).
struct BundleBuffers {
  uint8_t* data[BUNDLE_COUNT];
  BundleCapacities caps;
};

// Number of binary digits of x, at most 15.
inline uint32_t LengthFieldBits(uint32_t x) {
  uint32_t n = 0;
  while (x && n < 15) {
    ++n;
    x >>= 1;
  }
  return x ? 15 : n;
}

// Width of the chunk length field of bundle id for a plane of width w.
uint32_t BundleLengthBits(uint32_t id, uint32_t plane_width);

struct Bundle {
  uint8_t* start;     // buffer
  uint8_t* read;      // next value
  uint8_t* end;       // end of the current chunk's values
  uint32_t capacity;  // values
  uint32_t length_bits;
  bool ended;  // a chunk of count 0 was read: nothing more this plane
};

// The prefix-code selections of a plane, read at its start.
struct BundleTrees {
  HuffTree block_types, sub_block_types, colours, patterns, x_offsets, y_offsets, runs;
  HuffTree colour_high[16];  // selected by the previous colour's high nibble
};

// Bundle state of one plane: cursors, trees and the colour context.
struct PlaneBundles {
  Bundle b[BUNDLE_COUNT];
  BundleTrees t;
  uint32_t last_high;
  bool old_colours;  // colour values are coded as sign and magnitude
};

// Reads the tree descriptions of a plane in stream order.
void ReadBundleTrees(BitReader* r, BundleTrees* t);

// Opens a plane: reads the tree descriptions in stream order and resets every
// bundle so that the first row refills it.
void OpenPlaneBundles(PlaneBundles* p, BitReader* r, const BundleBuffers* buffers,
                      uint32_t plane_width, bool old_colours);

// The start-of-row refill of every exhausted, not-ended bundle in the fixed
// order. False when a chunk count exceeds its bundle's capacity (the data is
// invalid; the bundle is left ended and empty).
bool RefillBundles(PlaneBundles* p, BitReader* r);

// One chunk of one bundle (the refill applies it to exhausted bundles only).
bool ReadChunk(PlaneBundles* p, BitReader* r, uint32_t id);

// Values left in a bundle's current chunk.
inline uint32_t BundleLeft(const Bundle* b) { return uint32_t(b->end - b->read); }
