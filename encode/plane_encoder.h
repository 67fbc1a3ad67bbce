// Encoding one plane: the choice of block kind for every 8x8 block, by
// estimated bits plus weighted squared error, and the plane stream. Block
// rows may be chosen on several threads at once, each row a little behind
// the one above (it takes its neighbours' vectors and the scaled blocks
// that reach into it from there), so the result never depends on timing.
#pragma once
#include <cstdint>
#include <vector>

#include "encode/bit_costs.h"
#include "video/block_kinds.h"

// Kind masks for PlaneEncodeParams::kinds.
constexpr uint32_t KindBit(uint32_t kind) { return 1u << kind; }
constexpr uint32_t kAllKinds = (1u << BLOCK_KIND_COUNT) - 1;

// Buffers a plane's coding keeps from one call to the next, so that a
// plane coded every frame does not allocate its row records every time.
// One plane at a time may use it.
struct PlaneScratch;
PlaneScratch* PlaneScratchCreate();
void PlaneScratchDestroy(PlaneScratch* s);

struct PlaneEncodeParams {
  const uint8_t* source;     // width x height, padded to whole blocks
  int source_pitch;
  const uint8_t* reference;  // the decoder's previous plane; null for a key frame
  uint8_t* recon;            // receives the decoder's result (not the reference)
  int pitch;                 // of reference and recon
  uint32_t width, height;    // multiples of 8
  uint32_t file_width;       // picture width of the file (sizes the bundles)
  double lambda;             // weight of one bit against squared error
  int base_q;                // central quantiser index 0..15
  uint32_t kinds;            // allowed kinds (KindBit mask)
  const BitCosts* costs;     // value costs to assume (measured on an earlier plane)
  int speed;                 // 0 (slowest, best) .. 4 (fastest); see speed_presets.h
  uint32_t threads;          // block rows coded at once (0 or 1: one); the stream is the same for any
  // A vector every block's search also starts from: the one most blocks of
  // the plane's last inter frame took. In a pan it finds the true motion of
  // flat areas, where the differences alone point nowhere.
  int hint_dx, hint_dy;
  PlaneScratch* scratch;  // null: buffers made for this call alone
};

struct PlaneEncodeStats {
  uint32_t kind_count[BLOCK_KIND_COUNT] = {};
  uint64_t sse = 0;
  uint64_t bytes = 0;
  BitCosts measured;  // value costs of the plane just written
  int common_dx = 0, common_dy = 0;  // the nonzero vector most blocks took (zero: none)
};

// Appends the plane stream to out and writes the reconstruction. False only
// on an internal limit failure (it should not happen: block choice keeps the
// bundles within their chunk limits).
bool EncodePlane(const PlaneEncodeParams* p, std::vector<uint8_t>* out, PlaneEncodeStats* stats);
// Encodes count planes at once on params[0]->threads threads: a thread that
// is done with one plane's rows goes on with the next plane's while the
// first plane's stream is written. Each plane comes out as EncodePlane
// would make it; stats may be null, or hold null entries.
bool EncodePlanes(const PlaneEncodeParams* const* params, std::vector<uint8_t>* const* outs,
                  PlaneEncodeStats* const* stats, int count);
