#include "encode/block_candidates.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "base/bit_count.h"
#include "encode/coefficient_choice.h"
#include "encode/run_neighbours.h"
#include "video/block_kinds.h"
#include "video/coefficients_scan.h"
#include "video/forward_transform.h"
#include "video/inverse_transform.h"
#include "video/quant_tables.h"
#include "video/residue.h"
#include "video/residue_writer.h"
#include "video/scan_tables.h"

void LoadBlock(const uint8_t* src, int pitch, uint8_t out[64]) {
  for (int y = 0; y < 8; ++y) std::memcpy(out + y * 8, src + y * pitch, 8);
}

void BitCostsDefault(BitCosts* c) {
  for (int k = 0; k < 16; ++k) c->kind[k] = c->sub_kind[k] = 3.0;
  c->kind[0] = 2.0;  // skips come in long repeats
  c->colour = 6.5;
  c->pattern = 7.0;
  c->run = 3.0;
  c->dc_intra = c->dc_inter = 6.0;
  c->offset[0] = 1.5;
  for (int m = 1; m < 16; ++m) c->offset[m] = 4.5;
}

void MakeFill(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c) {
  int sum = 0;
  for (int i = 0; i < 64; ++i) sum += s[i];
  c->kind = BLOCK_FILL;
  c->colours[0] = uint8_t((sum + 32) / 64);
  c->colour_count = 1;
  std::memset(c->recon, c->colours[0], 64);
  c->bits = bc.colour;
  c->sse = BlockSse(s, 8, c->recon);
}

bool MakePattern(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c) {
  int lo = 255, hi = 0;
  for (int i = 0; i < 64; ++i) lo = s[i] < lo ? s[i] : lo, hi = s[i] > hi ? s[i] : hi;
  if (lo == hi) return false;
  // Two means, refined four times; a pixel joins the upper one when it is
  // nearer to it, that is above the midpoint (s0/n0 + s1/n1) / 2, which is
  // compared in whole numbers: 2 p n0 n1 > s0 n1 + s1 n0.
  int32_t s0 = lo, n0 = 1, s1 = hi, n1 = 1;  // every product stays below 2^22
  for (int iter = 0; iter < 4; ++iter) {
    const int32_t a = 2 * n0 * n1, b = s0 * n1 + s1 * n0;
    int32_t t0 = 0, t1 = 0, m1 = 0;
    for (int i = 0; i < 64; ++i) {
      const int32_t up = int32_t(s[i]) * a > b;
      t1 += up * s[i];
      m1 += up;
      t0 += s[i];
    }
    t0 -= t1;
    if (64 - m1) s0 = t0, n0 = 64 - m1;
    if (m1) s1 = t1, n1 = m1;
  }
  // Nearest whole colours, halves away from zero.
  const double m0 = double(s0) / double(n0), m1 = double(s1) / double(n1);
  c->kind = BLOCK_PATTERN;
  c->c0 = uint8_t(std::lround(m0));
  c->c1 = uint8_t(std::lround(m1));
  for (int y = 0; y < 8; ++y) {
    uint8_t m = 0;
    for (int x = 0; x < 8; ++x) {
      const uint8_t p = s[y * 8 + x];
      const bool one = std::abs(p - c->c1) < std::abs(p - c->c0);
      if (one) m |= uint8_t(1 << x);
      c->recon[y * 8 + x] = one ? c->c1 : c->c0;
    }
    c->pattern[y] = m;
  }
  c->bits = 2 * bc.colour + 8 * bc.pattern;
  c->sse = BlockSse(s, 8, c->recon);
  return true;
}

void MakeRaw(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c) {
  c->kind = BLOCK_RAW;
  std::memcpy(c->colours, s, 64);
  c->colour_count = 64;
  std::memcpy(c->recon, s, 64);
  c->bits = 64 * bc.colour;
  c->sse = 0;
}

namespace {

// Runs of one scan; returns the estimated bits, or 1e30 as soon as they
// reach bound (a scan already found is cheaper).
double RunsAlong(const uint8_t s[64], int scan, const BitCosts& bc, BlockCandidate* c, double bound) {
  uint8_t seq[64];
  for (int i = 0; i < 64; ++i) seq[i] = s[RUN_SCANS[scan][i]];
  c->run_count = 0;
  c->colour_count = 0;
  int i = 0;
  while (i < 63) {
    int r;
    if (seq[i] == seq[i + 1]) {
      r = 1;
      while (i + r < 64 && r < 16 && seq[i + r] == seq[i]) ++r;
      c->run_flags[c->run_count] = 1;
      c->colours[c->colour_count++] = seq[i];
    } else {
      r = 0;
      while (i + r < 64 && r < 16 && (i + r == 63 || seq[i + r] != seq[i + r + 1])) {
        c->colours[c->colour_count++] = seq[i + r];
        ++r;
      }
      c->run_flags[c->run_count] = 0;
    }
    c->run_lengths[c->run_count++] = uint8_t(r - 1);
    i += r;
    if (4 + c->run_count * (1 + bc.run) + c->colour_count * bc.colour >= bound) return 1e30;
  }
  if (i == 63) c->colours[c->colour_count++] = seq[63];
  return 4 + c->run_count * (1 + bc.run) + c->colour_count * bc.colour;
}

// The bits RunsAlong finds for a scan, or 1e30 as soon as they reach
// bound, from the scan's equal neighbours alone (bit i: pixels i and i + 1
// along it are equal; bit 63 clear): a run of equal pixels is the ones
// there, a literal run the zeros.
double RunsCount(uint64_t equal, const BitCosts& bc, double bound) {
  int i = 0, runs = 0, colours = 0;
  while (i < 63) {
    const uint64_t rest = equal >> i;
    int r;
    if (rest & 1) {
      r = 1 + std::countr_one(rest);
      ++colours;
    } else {
      r = std::countr_zero(rest);
      r = r < 64 - i ? r : 64 - i;
      r = r < 16 ? r : 16;
      colours += r;
    }
    r = r < 16 ? r : 16;
    ++runs;
    i += r;
    if (4 + runs * (1 + bc.run) + colours * bc.colour >= bound) return 1e30;
  }
  if (i == 63) ++colours;
  return 4 + runs * (1 + bc.run) + colours * bc.colour;
}

}  // namespace

bool MakeRuns(const uint8_t s[64], const BitCosts& bc, BlockCandidate* c, double bound) {
  double best = bound;
  int best_scan = -1;
  // Every run holds at most sixteen pixels, and a pixel needs no colour of
  // its own only when it equals the one before: a floor that rules most
  // scans out without counting their runs.
  const double floor = 4 + 4 * (1 + bc.run);
  for (int scan = 0; scan < 16; ++scan) {
    const uint64_t equal = EqualNeighbours(s, scan);
    if (floor + (64 - BitCount64(equal)) * bc.colour >= best) continue;
    const double bits = RunsCount(equal, bc, best);
    if (bits < best) {
      best = bits;
      best_scan = scan;
    }
  }
  if (best_scan < 0) return false;
  c->scan = best_scan;
  c->bits = RunsAlong(s, c->scan, bc, c, 1e30);
  c->kind = BLOCK_RUNS;
  std::memcpy(c->recon, s, 64);
  c->sse = 0;
  return true;
}

namespace {

// Bits of the AC values of a transform block quantised to nearest (or, with
// quick, already rounded that way), after the choice lowers those that do
// not pay (none with quick).
uint32_t AcBits(const double F[64], const uint32_t quant[64], double lambda, double quick, int16_t coef[64]) {
  return quick > 0 ? CountCoefficientBits(coef) : ChooseCoefficients(F, quant, lambda, coef);
}

}  // namespace

void MakeIntraDct(const uint8_t s[64], const double F[64], int q, double lambda, const BitCosts& bc, BlockCandidate* c,
                  double quick) {
  c->kind = BLOCK_INTRA_DCT;
  c->q = q;
  // Nearest values first; the choice then lowers those that do not pay.
  QuantizeCoefficients(F, INTRA_QUANT[q], quick > 0 ? quick : 0.5, c->coef);
  if (c->coef[0] < 0) c->coef[0] = 0;
  if (c->coef[0] > 2047) c->coef[0] = 2047;
  c->dc = c->coef[0];
  const uint32_t ac_bits = AcBits(F, INTRA_QUANT[q], lambda, quick, c->coef);
  InverseTransform(c->coef, INTRA_QUANT[q], c->recon);
  c->bits = bc.dc_intra + ac_bits + 4;
  c->sse = BlockSse(s, 8, c->recon);
}

void DifferenceDct(const uint8_t s[64], const uint8_t ref[64], double F[64]) {
  int16_t diff[64];
  for (int i = 0; i < 64; ++i) diff[i] = int16_t(int(s[i]) - int(ref[i]));
  ForwardDct(diff, F);
}

void MakeInterDct(const uint8_t s[64], const uint8_t ref[64], const double F[64], int q, double lambda,
                  const BitCosts& bc, BlockCandidate* c, double quick) {
  c->kind = BLOCK_INTER_DCT;
  c->q = q;
  QuantizeCoefficients(F, INTER_QUANT[q], quick > 0 ? quick : 0.5, c->coef);
  if (c->coef[0] < -1023) c->coef[0] = -1023;
  if (c->coef[0] > 1023) c->coef[0] = 1023;
  c->dc = c->coef[0];
  const uint32_t ac_bits = AcBits(F, INTER_QUANT[q], lambda, quick, c->coef);
  InverseTransformAdd(c->coef, INTER_QUANT[q], c->recon, 8, ref, 8);
  c->bits = OffsetCost(bc, c->dx) + OffsetCost(bc, c->dy) + bc.dc_inter + ac_bits + 4;
  c->sse = BlockSse(s, 8, c->recon);
}

void MakeResidue(const uint8_t s[64], const uint8_t ref[64], int limit, const BitCosts& bc, BlockCandidate* c) {
  // Residues add modulo 256, so the wrapped difference is always exact.
  for (int k = 0; k < 64; ++k) {
    const int p = COEFF_SCAN[k];
    c->target[k] = int8_t(uint8_t(s[p] - ref[p]));
  }
  if (limit < 0) {
    const int changes = ResidueChanges(c->target);
    limit = changes == 0 ? 0 : changes - 1 > 127 ? 127 : changes - 1;
  }
  c->kind = BLOCK_RESIDUE;
  c->limit = limit;
  const uint32_t bits = WriteResidue(nullptr, c->target, limit, c->residue);
  ResidueAdd(c->residue, c->recon, 8, ref, 8);
  c->bits = OffsetCost(bc, c->dx) + OffsetCost(bc, c->dy) + 7 + bits;
  c->sse = BlockSse(s, 8, c->recon);
}

void Downsample16(const uint8_t* src, int pitch, uint8_t out[64]) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint8_t* q = src + 2 * y * pitch + 2 * x;
      out[y * 8 + x] = uint8_t((q[0] + q[1] + q[pitch] + q[pitch + 1] + 2) / 4);
    }
}

void BlockToSpec(const BlockCandidate* c, bool scaled, BlockSpec* spec) {
  BlockSpec& b = *spec;
  b = BlockSpec{};
  b.kind = scaled ? uint32_t(BLOCK_SCALED) : c->kind;
  b.sub_kind = c->kind;
  b.dx = c->dx;
  b.dy = c->dy;
  switch (c->kind) {
    case BLOCK_FILL: b.colour0 = c->colours[0]; break;
    case BLOCK_PATTERN:
      b.colour0 = c->c0;
      b.colour1 = c->c1;
      std::memcpy(b.pattern, c->pattern, 8);
      break;
    case BLOCK_RAW: std::memcpy(b.pixels, c->colours, 64); break;
    case BLOCK_RUNS:
      // Runs are lossless: the reconstruction is the block they code.
      std::memcpy(b.pixels, c->recon, 64);
      b.scan = uint32_t(c->scan);
      b.run_count = uint32_t(c->run_count);
      for (int r = 0; r < c->run_count; ++r)
        b.runs[r] = RunSpec{uint8_t(c->run_lengths[r] + 1), c->run_flags[r] != 0};
      break;
    case BLOCK_INTRA_DCT:
    case BLOCK_INTER_DCT:
      b.dc = int16_t(c->dc);
      std::memcpy(b.coeffs, c->coef, sizeof b.coeffs);
      b.quant = uint32_t(c->q);
      break;
    case BLOCK_RESIDUE:
      b.residue_limit = uint32_t(c->limit);
      std::memcpy(b.residue, c->target, 64);
      break;
    default: break;
  }
}

bool EmitBlock(const BlockCandidate* c, PlaneWriter* w, bool scaled) {
  BlockSpec b;
  BlockToSpec(c, scaled, &b);
  return PlaneWriterPutBlock(w, &b);
}
