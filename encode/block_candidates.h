// Ways to code one 8x8 block, each built with the decoder's own arithmetic
// so that its reconstruction is exactly what a decoder will produce. The
// plane encoder compares them by estimated bits and squared error.
#pragma once
#include <cstdint>

#include "encode/bit_costs.h"
#include "encode/block_metrics.h"
#include "video/plane_writer.h"

// A candidate coding of one block.
struct BlockCandidate {
  uint32_t kind = 0;
  uint8_t recon[64];  // resulting pixels, row by row
  double bits = 0;    // estimated cost in bits, the kind's own excluded
  uint64_t sse = 0;   // squared error against the source
  // What the block puts into the bundles and the stream.
  int dx = 0, dy = 0;
  int q = 0;
  int32_t dc = 0;
  int16_t coef[64];
  int8_t target[64];   // residue to code (list order)
  int8_t residue[64];  // what the decoder will read back under limit
  int limit = 0;
  uint8_t c0 = 0, c1 = 0, pattern[8] = {};
  uint8_t colours[64];
  int colour_count = 0;
  int scan = 0;
  uint8_t run_lengths[64];  // r - 1 of each run
  uint8_t run_flags[64];    // 1: one colour for the whole run
  int run_count = 0;
};


// Source block pixels row by row (8x8 from src with pitch).
void LoadBlock(const uint8_t* src, int pitch, uint8_t out[64]);

void MakeFill(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c);
// False when the block has a single colour (a fill does better).
bool MakePattern(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c);
void MakeRaw(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c);
// Lossless runs along the cheapest of the sixteen scans. False (c then
// unchanged) when no scan comes in under bound bits.
bool MakeRuns(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c, double bound = 1e30);
// Intra transform F of s at quantiser q, its values chosen for the least
// squared error plus lambda times bits; or, with quick above 0, only
// rounded with that rounding (below 0.5: a dead zone around zero), which
// costs a fraction of the choice and serves to rank candidates.
void MakeIntraDct(const uint8_t s[64], const double F[64], int q, double lambda, const BitCosts& bc,
                  BlockCandidate* c, double quick = 0);
// Displaced reference block ref (8x8, row by row) plus transform at q; F is
// the transform of s - ref (DifferenceDct). quick as for MakeIntraDct.
void MakeInterDct(const uint8_t s[64], const uint8_t ref[64], const double F[64], int q, double lambda,
                  const BitCosts& bc, BlockCandidate* c, double quick = 0);
void DifferenceDct(const uint8_t s[64], const uint8_t ref[64], double F[64]);
// Displaced reference plus the residue truncated to `limit` (-1: exact).
void MakeResidue(const uint8_t s[64], const uint8_t ref[64], int limit, const BitCosts& bc, BlockCandidate* c);

// Appends the block to the plane writer's current row. With scaled, the
// block is the 8x8 source of a scaled block: the writer codes a scaled block
// with the candidate's kind as its sub-kind. False when the writer refuses
// the block.
bool EmitBlock(const BlockCandidate* c, PlaneWriter* w, bool scaled = false);
// The block as the writer takes it (what EmitBlock appends).
void BlockToSpec(const BlockCandidate* c, bool scaled, BlockSpec* spec);

// 2x2 averages of a 16x16 area: the 8x8 source of a scaled block.
void Downsample16(const uint8_t* src, int pitch, uint8_t out[64]);
