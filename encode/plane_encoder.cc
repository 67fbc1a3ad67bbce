#include "encode/plane_encoder.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "encode/block_candidates.h"
#include "video/forward_transform.h"
#include "video/huff_writer.h"
#include "video/motion.h"
#include "video/plane_writer.h"

namespace {

struct Vector {
  int dx, dy;
};

uint32_t Sad(const uint8_t* s, const uint8_t* r, int pitch, uint32_t bound) {
  uint32_t sad = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) sad += uint32_t(std::abs(int(s[y * 8 + x]) - int(r[y * pitch + x])));
    if (sad >= bound) return sad;  // cannot win any more
  }
  return sad;
}

// A small search: the zero vector and the neighbours' vectors, then a
// shrinking eight-point refinement around the best.
Vector SearchMotion(const PlaneEncodeParams* p, uint32_t x, uint32_t y, const uint8_t s[64],
                    const Vector* predictors, int predictor_count) {
  Vector best{0, 0};
  uint32_t best_sad = Sad(s, p->reference + size_t(y) * p->pitch + x, p->pitch, ~0u);
  auto Try = [&](int dx, int dy) {
    if (dx < -15 || dx > 15 || dy < -15 || dy > 15) return;
    if (!MotionSourceInside(x, y, dx, dy, p->width, p->height)) return;
    const uint32_t sad =
        Sad(s, p->reference + (int64_t(y) + dy) * p->pitch + int64_t(x) + dx, p->pitch, best_sad + 1);
    // Prefer shorter vectors on ties (they cost fewer bits).
    if (sad < best_sad ||
        (sad == best_sad && std::abs(dx) + std::abs(dy) < std::abs(best.dx) + std::abs(best.dy))) {
      best_sad = sad;
      best = {dx, dy};
    }
  };
  for (int i = 0; i < predictor_count; ++i) Try(predictors[i].dx, predictors[i].dy);
  if (best_sad == 0) return best;
  for (int step = 8; step >= 1; step /= 2) {
    const Vector centre = best;
    for (int oy = -1; oy <= 1; ++oy)
      for (int ox = -1; ox <= 1; ++ox)
        if (ox || oy) Try(centre.dx + ox * step, centre.dy + oy * step);
  }
  return best;
}

uint32_t ColoursOf(const BlockCandidate& c) {
  switch (c.kind) {
    case BLOCK_FILL: return 1;
    case BLOCK_PATTERN: return 2;
    case BLOCK_RAW: return 64;
    case BLOCK_RUNS: return uint32_t(c.colour_count);
    default: return 0;
  }
}

int DistinctValues(const uint8_t s[64]) {
  uint64_t seen[4] = {};
  int n = 0;
  for (int i = 0; i < 64; ++i) {
    const uint64_t bit = uint64_t(1) << (s[i] & 63);
    if (!(seen[s[i] >> 6] & bit)) ++n, seen[s[i] >> 6] |= bit;
  }
  return n;
}

struct Choice {
  BlockCandidate best;
  double cost = 1e300;
  double kind_bits = 0;  // of the chosen candidate
  void Consider(const BlockCandidate& c, double lambda, double kind) {
    const double j = double(c.sse) + lambda * (c.bits + kind);
    if (j < cost) {
      cost = j;
      best = c;
      kind_bits = kind;
    }
  }
};

// Room left in the current row's chunks.
struct RowBudget {
  int64_t colours_free;
  int64_t runs_free;
};

// The intra codings of an 8x8 source s (for a scaled block, the downsampled
// area; `area` then points at the 16x16 source to measure against).
void ChooseIntra(const PlaneEncodeParams* p, const uint8_t s[64], const uint8_t* area, const RowBudget& budget,
                 Choice* choice) {
  const uint32_t k = p->kinds;
  const int qlo = p->base_q > 0 ? p->base_q - 1 : 0;
  const int qhi = p->base_q < 15 ? p->base_q + 1 : 15;
  const BitCosts& bc = *p->costs;
  BlockCandidate trial;
  auto Consider = [&](BlockCandidate& c) {
    if (area) c.sse = ScaledSse(area, p->source_pitch, c.recon);
    choice->Consider(c, p->lambda, area ? bc.sub_kind[c.kind] : bc.kind[c.kind]);
  };
  MakeFill(s, bc, &trial);
  if (k & KindBit(BLOCK_FILL)) Consider(trial);
  if (trial.sse == 0 && !area) return;  // a flat block: nothing beats a fill
  if ((k & KindBit(BLOCK_PATTERN)) && budget.colours_free >= 2 && MakePattern(s, bc, &trial)) Consider(trial);
  if (k & KindBit(BLOCK_INTRA_DCT)) {
    int16_t pixels[64];
    for (int i = 0; i < 64; ++i) pixels[i] = s[i];
    double F[64];
    ForwardDct(pixels, F);
    for (int q = qlo; q <= qhi; ++q) {
      MakeIntraDct(s, F, q, bc, &trial);
      Consider(trial);
    }
  }
  if ((k & KindBit(BLOCK_RUNS)) && DistinctValues(s) <= 40) {  // else runs cannot pay
    MakeRuns(s, bc, &trial);
    if (trial.run_count <= budget.runs_free && trial.colour_count <= budget.colours_free) Consider(trial);
  }
  if ((k & KindBit(BLOCK_RAW)) && budget.colours_free >= 64) {
    MakeRaw(s, bc, &trial);
    Consider(trial);
  }
}

// The best coding of the 8x8 block at (x, y); *vector receives the motion
// vector the block used (zero for none).
BlockCandidate ChooseBlock(const PlaneEncodeParams* p, uint32_t x, uint32_t y, const RowBudget& budget,
                           const Vector* predictors, int predictor_count, Vector* vector) {
  uint8_t s[64];
  LoadBlock(p->source + size_t(y) * p->source_pitch + x, p->source_pitch, s);
  Choice choice;
  *vector = {0, 0};
  const uint32_t k = p->kinds;
  const BitCosts& bc = *p->costs;
  if (p->reference && (k & KindBit(BLOCK_SKIP))) {
    BlockCandidate skip;
    skip.kind = BLOCK_SKIP;
    LoadBlock(p->reference + size_t(y) * p->pitch + x, p->pitch, skip.recon);
    skip.bits = 0;
    skip.sse = BlockSse(s, 8, skip.recon);
    choice.Consider(skip, p->lambda, bc.kind[BLOCK_SKIP]);
    if (skip.sse == 0) return skip;  // unchanged: nothing codes it for less
  }
  ChooseIntra(p, s, nullptr, budget, &choice);
  if (p->reference) {
    BlockCandidate trial;
    const uint32_t moving = KindBit(BLOCK_MOTION) | KindBit(BLOCK_RESIDUE) | KindBit(BLOCK_INTER_DCT);
    // An exact but costly intra coding (runs, raw) may still lose to a motion copy.
    if ((choice.best.sse != 0 || choice.best.bits > 12) && (k & moving)) {
      const Vector v = SearchMotion(p, x, y, s, predictors, predictor_count);
      uint8_t ref[64];
      LoadBlock(p->reference + (int64_t(y) + v.dy) * p->pitch + int64_t(x) + v.dx, p->pitch, ref);
      if ((k & KindBit(BLOCK_MOTION)) && (v.dx || v.dy)) {
        trial = BlockCandidate();
        trial.kind = BLOCK_MOTION;
        trial.dx = v.dx, trial.dy = v.dy;
        std::memcpy(trial.recon, ref, 64);
        trial.bits = OffsetCost(bc, v.dx) + OffsetCost(bc, v.dy);
        trial.sse = BlockSse(s, 8, trial.recon);
        choice.Consider(trial, p->lambda, bc.kind[BLOCK_MOTION]);
      }
      const int qlo = p->base_q > 0 ? p->base_q - 1 : 0;
      const int qhi = p->base_q < 15 ? p->base_q + 1 : 15;
      if (choice.best.sse != 0 && (k & KindBit(BLOCK_INTER_DCT))) {
        for (int q = qlo; q <= qhi; ++q) {
          trial = BlockCandidate();
          trial.dx = v.dx, trial.dy = v.dy;
          MakeInterDct(s, ref, q, bc, &trial);
          choice.Consider(trial, p->lambda, bc.kind[BLOCK_INTER_DCT]);
        }
      }
      if (choice.best.sse != 0 && (k & KindBit(BLOCK_RESIDUE))) {
        trial = BlockCandidate();
        trial.dx = v.dx, trial.dy = v.dy;
        MakeResidue(s, ref, -1, bc, &trial);
        const int full = trial.limit;
        choice.Consider(trial, p->lambda, bc.kind[BLOCK_RESIDUE]);
        for (int limit : {31, 15, 7, 3}) {
          if (limit >= full) continue;
          trial = BlockCandidate();
          trial.dx = v.dx, trial.dy = v.dy;
          MakeResidue(s, ref, limit, bc, &trial);
          choice.Consider(trial, p->lambda, bc.kind[BLOCK_RESIDUE]);
        }
      }
      const uint32_t kind = choice.best.kind;
      if (kind == BLOCK_MOTION || kind == BLOCK_INTER_DCT || kind == BLOCK_RESIDUE) *vector = v;
    }
  }
  if (choice.cost >= 1e300) MakeFill(s, bc, &choice.best);  // nothing allowed: a fill always fits
  return choice.best;
}

void StoreBlock(const PlaneEncodeParams* p, uint32_t x, uint32_t y, const uint8_t recon[64]) {
  uint8_t* d = p->recon + size_t(y) * p->pitch + x;
  for (int r = 0; r < 8; ++r) std::memcpy(d + r * p->pitch, recon + r * 8, 8);
}

void StoreDoubled(const PlaneEncodeParams* p, uint32_t x, uint32_t y, const uint8_t recon[64]) {
  uint8_t* d = p->recon + size_t(y) * p->pitch + x;
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) d[r * p->pitch + c] = recon[(r / 2) * 8 + c / 2];
}

// Prices the values of the plane just written under the codes it chose; a
// bundle or kind that was not used keeps its default price.
void MeasureCosts(const PlaneCodingStats& c, BitCosts* m) {
  BitCostsDefault(m);
  auto PerValue = [&](uint32_t id, double* out) {
    if (c.values[id] >= 8) *out = double(c.bits[id]) / double(c.values[id]);
  };
  PerValue(BUNDLE_COLOURS, &m->colour);
  PerValue(BUNDLE_PATTERNS, &m->pattern);
  PerValue(BUNDLE_RUNS, &m->run);
  PerValue(BUNDLE_DC_INTRA, &m->dc_intra);
  PerValue(BUNDLE_DC_INTER, &m->dc_inter);
  if (c.values[BUNDLE_X_OFFSETS] >= 8)
    for (uint32_t v = 0; v < 16; ++v)
      m->offset[v] = (SymbolBits(&c.trees.x_offsets, v) + SymbolBits(&c.trees.y_offsets, v)) / 2.0 + (v ? 1 : 0);
  for (int sub = 0; sub < 2; ++sub) {
    double* kind = sub ? m->sub_kind : m->kind;
    for (uint32_t k = 0; k < 16; ++k) {
      if (c.kind_values[sub][k] == 0) continue;
      // Never quite free: a kind that grows in use costs more per block.
      const double per = double(c.kind_bits[sub][k]) / double(c.kind_values[sub][k]);
      kind[k] = per < 0.25 ? 0.25 : per;
    }
  }
}

struct WriterDeleter {
  void operator()(PlaneWriter* w) const { PlaneWriterDestroy(w); }
};

}  // namespace

bool EncodePlane(const PlaneEncodeParams* params, std::vector<uint8_t>* out, PlaneEncodeStats* stats) {
  PlaneEncodeParams local = *params;
  BitCosts defaults;
  if (!local.costs) {
    BitCostsDefault(&defaults);
    local.costs = &defaults;
  }
  const PlaneEncodeParams* p = &local;
  BundleCapacities caps;
  ComputeBundleCapacities(p->file_width, &caps);
  const std::unique_ptr<PlaneWriter, WriterDeleter> writer(PlaneWriterCreate(p->width, p->height, &caps, false));
  PlaneWriter* w = writer.get();
  const uint32_t rows = p->height / 8, cols = p->width / 8;
  const uint32_t run_limit = PlaneWriterChunkLimit(w, BUNDLE_RUNS);
  const uint32_t colour_limit = PlaneWriterChunkLimit(w, BUNDLE_COLOURS);
  std::vector<Vector> vectors(size_t(rows) * cols, Vector{0, 0});
  // Column pairs drawn by a scaled block of the row above.
  std::vector<uint8_t> scaled_below(cols, 0);
  const bool try_scaled = (p->kinds & KindBit(BLOCK_SCALED)) != 0;

  for (uint32_t by = 0; by < rows; ++by) {
    PlaneWriterBeginRow(w);
    uint32_t runs_used = 0, colours_used = 0;
    const bool odd = (by & 1) != 0;
    for (uint32_t bx = 0; bx < cols;) {
      const uint32_t x = bx * 8, y = by * 8;
      if (odd && scaled_below[bx]) {
        // Drawn by the scaled block above; the kind marks it in the stream.
        BlockSpec mark{};
        mark.kind = BLOCK_SCALED;
        if (!PlaneWriterPutBlock(w, &mark)) return false;
        scaled_below[bx] = 0;
        if (stats) ++stats->kind_count[BLOCK_SCALED];
        bx += 2;
        continue;
      }
      // Values still free in this row's chunks, keeping room for the
      // remaining blocks' cheapest codings (one colour each).
      const int64_t blocks_left = int64_t(cols - bx - 1);
      RowBudget budget{int64_t(colour_limit) - colours_used - blocks_left, int64_t(run_limit) - runs_used};
      Vector pred[2];
      int np = 0;
      if (bx > 0) pred[np++] = vectors[size_t(by) * cols + bx - 1];
      if (by > 0) pred[np++] = vectors[size_t(by - 1) * cols + bx];
      Vector v;
      BlockCandidate best = ChooseBlock(p, x, y, budget, pred, np, &v);

      // A scaled block covers this block, its right neighbour and the two
      // below; it must not start in the last block column or row.
      const bool unchanged = best.kind == BLOCK_SKIP && best.sse == 0;
      if (try_scaled && !unchanged && !odd && bx + 1 < cols && by + 1 < rows) {
        const uint8_t* area = p->source + size_t(y) * p->source_pitch + x;
        uint8_t small[64];
        Downsample16(area, p->source_pitch, small);
        Choice scaled;
        ChooseIntra(p, small, area, budget, &scaled);
        // The odd row's kind and the sub-kind cost a few bits more.
        const double extra = p->lambda * 2 * p->costs->kind[BLOCK_SCALED];
        const double j_scaled = scaled.cost + extra;
        const double j_here = double(best.sse) + p->lambda * (best.bits + p->costs->kind[best.kind]);
        if (j_scaled < j_here * 4) {
          // Worth comparing against the four blocks coded one by one.
          Vector unused;
          double j_four = j_here;
          const uint32_t others[3][2] = {{x + 8, y}, {x, y + 8}, {x + 8, y + 8}};
          for (const auto& o : others) {
            if (j_four >= j_scaled) break;
            const BlockCandidate c = ChooseBlock(p, o[0], o[1], budget, pred, np, &unused);
            j_four += double(c.sse) + p->lambda * (c.bits + p->costs->kind[c.kind]);
          }
          if (j_scaled < j_four && int64_t(ColoursOf(scaled.best)) <= budget.colours_free + 1) {
            if (!EmitBlock(&scaled.best, w, true)) return false;
            StoreDoubled(p, x, y, scaled.best.recon);
            if (scaled.best.kind == BLOCK_RUNS) runs_used += uint32_t(scaled.best.run_count);
            colours_used += ColoursOf(scaled.best);
            scaled_below[bx] = 1;
            if (stats) {
              ++stats->kind_count[BLOCK_SCALED];
              stats->sse += scaled.best.sse;
            }
            bx += 2;
            continue;
          }
        }
      }

      if (!EmitBlock(&best, w)) return false;
      StoreBlock(p, x, y, best.recon);
      vectors[size_t(by) * cols + bx] = v;
      if (best.kind == BLOCK_RUNS) runs_used += uint32_t(best.run_count);
      colours_used += ColoursOf(best);
      if (stats) {
        ++stats->kind_count[best.kind];
        stats->sse += best.sse;
      }
      ++bx;
    }
  }
  const size_t before = out->size();
  PlaneCodingStats coding;
  if (!PlaneWriterFinish(w, HUFF_TREE_AUTO, out, stats ? &coding : nullptr)) return false;
  if (stats) {
    stats->bytes += out->size() - before;
    MeasureCosts(coding, &stats->measured);
  }
  return true;
}
