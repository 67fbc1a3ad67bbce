#include "encode/plane_encoder.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "encode/block_candidates.h"
#include "encode/block_metrics.h"
#include "encode/coefficient_choice.h"
#include "encode/speed_presets.h"
#include "video/coefficients_scan.h"
#include "video/forward_transform.h"
#include "video/huff_writer.h"
#include "video/motion.h"
#include "video/plane_writer.h"
#include "video/residue_writer.h"

namespace {

struct Vector {
  int dx, dy;
};

bool Shorter(int dx, int dy, const Vector& than) {
  return std::abs(dx) + std::abs(dy) < std::abs(than.dx) + std::abs(than.dy);
}

// Motion search from predictors (zero, the neighbours' vectors): the best
// of them, then either a shrinking eight-point pattern from the preset's
// first step, or a small diamond walked while it improves; the slowest
// setting ends with every vector one step around the best.
Vector SearchMotion(const PlaneEncodeParams* p, const SpeedPreset& preset, uint32_t x, uint32_t y,
                    const uint8_t s[64], const Vector* predictors, int predictor_count) {
  Vector best{0, 0};
  uint32_t best_sad = BlockSad(s, p->reference + size_t(y) * p->pitch + x, p->pitch);
  auto Try = [&](int dx, int dy) {
    if (dx < -15 || dx > 15 || dy < -15 || dy > 15) return false;
    if (!MotionSourceInside(x, y, dx, dy, p->width, p->height)) return false;
    const uint32_t sad = BlockSad(s, p->reference + (int64_t(y) + dy) * p->pitch + int64_t(x) + dx, p->pitch);
    // Prefer shorter vectors on ties (they cost fewer bits).
    if (sad < best_sad || (sad == best_sad && Shorter(dx, dy, best))) {
      best_sad = sad;
      best = {dx, dy};
      return true;
    }
    return false;
  };
  for (int i = 0; i < predictor_count; ++i)
    if (predictors[i].dx != best.dx || predictors[i].dy != best.dy) Try(predictors[i].dx, predictors[i].dy);
  if (best_sad == 0) return best;
  if (preset.motion_step > 0) {
    for (int step = preset.motion_step; step >= 1; step /= 2) {
      const Vector centre = best;
      for (int oy = -1; oy <= 1; ++oy)
        for (int ox = -1; ox <= 1; ++ox)
          if (ox || oy) Try(centre.dx + ox * step, centre.dy + oy * step);
    }
  } else {
    for (int walk = 0; walk < 16 && best_sad; ++walk) {
      const Vector centre = best;
      bool moved = false;
      moved |= Try(centre.dx + 1, centre.dy);
      moved |= Try(centre.dx - 1, centre.dy);
      moved |= Try(centre.dx, centre.dy + 1);
      moved |= Try(centre.dx, centre.dy - 1);
      if (!moved) break;
    }
  }
  if (preset.motion_refine && best_sad) {
    const Vector centre = best;
    for (int oy = -preset.motion_refine; oy <= preset.motion_refine; ++oy)
      for (int ox = -preset.motion_refine; ox <= preset.motion_refine; ++ox)
        if (ox || oy) Try(centre.dx + ox, centre.dy + oy);
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

// The number of distinct values in s, or cap + 1 as soon as there are more
// than cap.
int DistinctValues(const uint8_t s[64], int cap) {
  uint64_t seen[4] = {};
  int n = 0;
  for (int i = 0; i < 64; ++i) {
    const uint64_t bit = uint64_t(1) << (s[i] & 63);
    if (!(seen[s[i] >> 6] & bit)) {
      if (++n > cap) return n;
      seen[s[i] >> 6] |= bit;
    }
  }
  return n;
}

// The best coding so far and a slot for the next trial: a trial that wins
// swaps places with the best instead of being copied.
struct Choice {
  BlockCandidate slots[2];
  BlockCandidate* best = &slots[0];
  BlockCandidate* spare = &slots[1];
  double cost = 1e300;
  double kind_bits = 0;  // of the chosen candidate
  // Where the next trial is built (its contents are undefined).
  BlockCandidate& Trial() {
    spare->dx = spare->dy = 0;
    return *spare;
  }
  // Takes the trial (built in Trial()) when it costs less than the best;
  // returns the trial's cost.
  double Consider(double lambda, double kind) {
    const BlockCandidate& c = *spare;
    const double j = double(c.sse) + lambda * (c.bits + kind);
    if (j < cost) {
      cost = j;
      std::swap(best, spare);
      kind_bits = kind;
    }
    return j;
  }
};

// Calls code(q) for the central quantiser, then for its neighbours within
// the preset's spread; code returns the cost it reached. The faster settings
// leave the neighbours out when the central one came nowhere near the best.
template <typename Code>
void ForEachQuantiser(int base_q, const SpeedPreset& preset, const Choice* choice, Code code) {
  const double cost = code(base_q);
  if (preset.q_spread == 0 || cost > choice->cost * preset.q_margin) return;
  for (int d = 1; d <= preset.q_spread; ++d) {
    if (base_q - d >= 0) code(base_q - d);
    if (base_q + d <= 15) code(base_q + d);
  }
}

// Tries a transform kind at the preset's quantisers: build(q, quick) makes
// and considers the coding at q (quick as for MakeIntraDct) and returns its
// cost. With quick ranking, the quantiser that ranked best is then coded
// with the exact choice of values, when that may still win.
template <typename Build>
void TryTransform(int base_q, const SpeedPreset& preset, const Choice* choice, Build build) {
  const double quick = preset.quick_rounding;
  int best_q = base_q;
  double best = 1e300;
  ForEachQuantiser(base_q, preset, choice, [&](int q) {
    const double j = build(q, quick);
    if (j < best) best = j, best_q = q;
    return j;
  });
  if (quick > 0 && best <= choice->cost * preset.refine_margin) build(best_q, 0.0);
}

// Room left in the current row's chunks.
struct RowBudget {
  int64_t colours_free;
  int64_t runs_free;
};

// What one block choice works with.
struct Search {
  const PlaneEncodeParams* p;
  const SpeedPreset* preset;
};

// The intra codings of an 8x8 source s (for a scaled block, the downsampled
// area; `area` then points at the 16x16 source to measure against, and
// sse_floor is the least error any doubled block has there). A coding is
// only built when its least possible cost could still beat the best so far.
void ChooseIntra(const Search& search, const uint8_t s[64], const uint8_t* area, uint64_t sse_floor,
                 const RowBudget& budget, Choice* choice) {
  const PlaneEncodeParams* p = search.p;
  const SpeedPreset& preset = *search.preset;
  const uint32_t k = p->kinds;
  const BitCosts& bc = *p->costs;
  const double* kind_cost = area ? bc.sub_kind : bc.kind;
  const double lambda = p->lambda;
  // True when a coding of kind with at least `bits` bits may still win.
  auto MayWin = [&](uint32_t kind, double bits) {
    return double(sse_floor) + lambda * (bits + kind_cost[kind]) < choice->cost;
  };
  // Considers the trial; returns its cost.
  auto Consider = [&]() {
    BlockCandidate& c = choice->Trial();
    if (area) c.sse = ScaledSse(area, p->source_pitch, c.recon);
    return choice->Consider(lambda, kind_cost[c.kind]);
  };
  if (k & KindBit(BLOCK_FILL)) {
    MakeFill(s, bc, &choice->Trial());
    const bool flat = choice->Trial().sse == 0;
    Consider();
    if (flat && !area) return;  // a flat block: nothing beats a fill
  }
  if ((k & KindBit(BLOCK_INTRA_DCT)) && MayWin(BLOCK_INTRA_DCT, bc.dc_intra + 8)) {
    int16_t pixels[64];
    for (int i = 0; i < 64; ++i) pixels[i] = s[i];
    double F[64];
    ForwardDct(pixels, F);
    TryTransform(p->base_q, preset, choice, [&](int q, double quick) {
      MakeIntraDct(s, F, q, lambda, bc, &choice->Trial(), quick);
      return Consider();
    });
  }
  if (preset.pattern && (k & KindBit(BLOCK_PATTERN)) && budget.colours_free >= 2 &&
      MayWin(BLOCK_PATTERN, 2 * bc.colour + 8 * bc.pattern) && MakePattern(s, bc, &choice->Trial()))
    Consider();
  if (!preset.runs_distinct) return;
  // Runs hold every distinct value at least once, in at least four runs.
  const double runs_floor = 4 + 4 * (1 + bc.run);
  if ((k & KindBit(BLOCK_RUNS)) && MayWin(BLOCK_RUNS, runs_floor + bc.colour)) {
    const int64_t cap = preset.runs_distinct < budget.colours_free ? preset.runs_distinct : budget.colours_free;
    const int distinct = DistinctValues(s, int(cap < 0 ? 0 : cap));
    if (distinct <= cap && MayWin(BLOCK_RUNS, runs_floor + distinct * bc.colour)) {
      // Only a scan cheaper than the best so far is worth building.
      const double bound = (choice->cost - double(sse_floor)) / lambda - kind_cost[BLOCK_RUNS];
      BlockCandidate& trial = choice->Trial();
      if (MakeRuns(s, bc, &trial, bound) && trial.run_count <= budget.runs_free &&
          trial.colour_count <= budget.colours_free)
        Consider();
    }
  }
  if ((k & KindBit(BLOCK_RAW)) && budget.colours_free >= 64 && MayWin(BLOCK_RAW, 64 * bc.colour)) {
    MakeRaw(s, bc, &choice->Trial());
    Consider();
  }
}

// The best coding of the 8x8 block at (x, y); *vector receives the motion
// vector the block used (zero for none). The result lives in *choice.
const BlockCandidate& ChooseBlock(const Search& search, uint32_t x, uint32_t y, const RowBudget& budget,
                                  const Vector* predictors, int predictor_count, Vector* vector, Choice* out) {
  const PlaneEncodeParams* p = search.p;
  const SpeedPreset& preset = *search.preset;
  uint8_t s[64];
  LoadBlock(p->source + size_t(y) * p->source_pitch + x, p->source_pitch, s);
  Choice& choice = *out;
  choice.cost = 1e300;
  choice.kind_bits = 0;
  *vector = {0, 0};
  const uint32_t k = p->kinds;
  const BitCosts& bc = *p->costs;
  const double lambda = p->lambda;
  auto MayWin = [&](uint32_t kind, double bits) { return lambda * (bits + bc.kind[kind]) < choice.cost; };
  if (p->reference && (k & KindBit(BLOCK_SKIP))) {
    BlockCandidate& skip = choice.Trial();
    skip.kind = BLOCK_SKIP;
    LoadBlock(p->reference + size_t(y) * p->pitch + x, p->pitch, skip.recon);
    skip.bits = 0;
    skip.sse = BlockSse(s, 8, skip.recon);
    choice.Consider(lambda, bc.kind[BLOCK_SKIP]);
    if (choice.best->sse == 0) return *choice.best;  // unchanged: nothing codes it for less
  }
  const uint32_t moving = KindBit(BLOCK_MOTION) | KindBit(BLOCK_RESIDUE) | KindBit(BLOCK_INTER_DCT);
  bool intra_done = false;
  Vector v{0, 0};
  if (!p->reference || !(k & moving)) {
    ChooseIntra(search, s, nullptr, 0, budget, &choice);
    intra_done = true;
  }
  if (p->reference && (k & moving)) {
    v = SearchMotion(p, preset, x, y, s, predictors, predictor_count);
    uint8_t ref[64];
    LoadBlock(p->reference + (int64_t(y) + v.dy) * p->pitch + int64_t(x) + v.dx, p->pitch, ref);
    const double offsets = OffsetCost(bc, v.dx) + OffsetCost(bc, v.dy);
    if ((k & KindBit(BLOCK_MOTION)) && (v.dx || v.dy) && MayWin(BLOCK_MOTION, offsets)) {
      BlockCandidate& trial = choice.Trial();
      trial.kind = BLOCK_MOTION;
      trial.dx = v.dx, trial.dy = v.dy;
      std::memcpy(trial.recon, ref, 64);
      trial.bits = offsets;
      trial.sse = BlockSse(s, 8, trial.recon);
      choice.Consider(lambda, bc.kind[BLOCK_MOTION]);
    }
    if (choice.best->sse != 0 && (k & KindBit(BLOCK_INTER_DCT)) && MayWin(BLOCK_INTER_DCT, offsets + bc.dc_inter + 8)) {
      double F[64];
      DifferenceDct(s, ref, F);
      TryTransform(p->base_q, preset, &choice, [&](int q, double quick) {
        BlockCandidate& trial = choice.Trial();
        trial.dx = v.dx, trial.dy = v.dy;
        MakeInterDct(s, ref, F, q, lambda, bc, &trial, quick);
        return choice.Consider(lambda, bc.kind[BLOCK_INTER_DCT]);
      });
    }
    if (choice.best->sse != 0 && (k & KindBit(BLOCK_RESIDUE)) && MayWin(BLOCK_RESIDUE, offsets + 7)) {
      // The wrapped difference in list order. The exact residue spends at
      // least a bit on every change it makes.
      int8_t target[64];
      for (int i = 0; i < 64; ++i) target[i] = int8_t(uint8_t(s[COEFF_SCAN[i]] - ref[COEFF_SCAN[i]]));
      int full = ResidueChanges(target);
      // Coded in full (under 128 changes) it stops at its last change, and
      // spends at least every pass before that change's.
      int least = full;
      if (full <= 128 && MayWin(BLOCK_RESIDUE, offsets + 7 + full)) ResidueWalkBits(target, &least);
      full = full == 0 ? 0 : full - 1 > 127 ? 127 : full - 1;
      if (MayWin(BLOCK_RESIDUE, offsets + 7 + (least > full ? least : full))) {
        BlockCandidate& trial = choice.Trial();
        trial.dx = v.dx, trial.dy = v.dy;
        MakeResidue(s, ref, -1, bc, &trial);
        choice.Consider(lambda, bc.kind[BLOCK_RESIDUE]);
      }
      const int limits[4] = {31, 15, 7, 3};
      for (int i = 0; i < preset.residue_limits; ++i) {
        // The faster settings keep the coarser limits, which the small
        // residues of a good match need most.
        const int limit = limits[preset.residue_limits < 4 ? 3 - i : i];
        if (limit >= full) continue;
        BlockCandidate& trial = choice.Trial();
        trial.dx = v.dx, trial.dy = v.dy;
        MakeResidue(s, ref, limit, bc, &trial);
        choice.Consider(lambda, bc.kind[BLOCK_RESIDUE]);
      }
    }
  }
  // The faster settings take a close displaced copy without trying the
  // intra codings: one whose error is under a quarter of lambda a pixel
  // rarely loses to them.
  if (!intra_done && (preset.intra_after_motion || double(choice.best->sse) * 4 > 64 * lambda))
    ChooseIntra(search, s, nullptr, 0, budget, &choice);
  if (choice.cost >= 1e300) MakeFill(s, bc, choice.best);  // nothing allowed: a fill always fits
  const uint32_t kind = choice.best->kind;
  if (kind == BLOCK_MOTION || kind == BLOCK_INTER_DCT || kind == BLOCK_RESIDUE) *vector = v;
  return *choice.best;
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

// One plane's rows being chosen: what the rows share, and each row's blocks
// as the writer will take them.
struct PlaneRows {
  Search search;
  uint32_t rows = 0, cols = 0;
  int64_t run_limit = 0, colour_limit = 0;
  bool try_scaled = false;
  std::vector<Vector> vectors;       // each block's vector, rows x cols
  std::vector<uint8_t> scaled_here;  // odd-row blocks drawn by a scaled block above
  std::vector<std::vector<BlockSpec>> specs;
  std::vector<PlaneEncodeStats> tally;  // per row: kinds and error
  // Blocks finished in each row, left to right; a row waits on the one above.
  std::unique_ptr<std::atomic<uint32_t>[]> done;
  // What the row below waits for, when it waits (kNoWaiter otherwise): the
  // row wakes it only once it gets there, not at every block.
  std::unique_ptr<std::atomic<uint32_t>[]> wanted;
};

constexpr uint32_t kNoWaiter = 0xFFFFFFFFu;
// A row that has to wait lets the row above get this many blocks further
// ahead than it needs, so the two take turns less often.
constexpr uint32_t kWaitAhead = 16;

// Waits until the row above has finished the blocks that block bx looks at:
// its own column (vector, scaled mark) and the next (above-right vector).
void WaitForAbove(PlaneRows* r, uint32_t by, uint32_t bx) {
  if (by == 0) return;
  const uint32_t need = bx + 2 < r->cols ? bx + 2 : r->cols;
  std::atomic<uint32_t>& above = r->done[by - 1];
  if (above.load(std::memory_order_acquire) >= need) return;
  const uint32_t want = need + kWaitAhead < r->cols ? need + kWaitAhead : r->cols;
  // Said before looking again, so a row that finishes blocks in between
  // either shows them here or sees the wish and wakes this one.
  r->wanted[by - 1].store(want, std::memory_order_seq_cst);
  for (uint32_t seen = above.load(std::memory_order_seq_cst); seen < want; seen = above.load(std::memory_order_seq_cst))
    above.wait(seen, std::memory_order_seq_cst);
  r->wanted[by - 1].store(kNoWaiter, std::memory_order_relaxed);  // no more wake-ups needed
}

void Finished(PlaneRows* r, uint32_t by, uint32_t bx) {
  r->done[by].store(bx, std::memory_order_seq_cst);
  if (bx >= r->wanted[by].load(std::memory_order_seq_cst)) r->done[by].notify_all();
}

void ChooseRow(PlaneRows* r, uint32_t by) {
  const PlaneEncodeParams* p = r->search.p;
  const SpeedPreset& preset = *r->search.preset;
  const uint32_t cols = r->cols;
  std::vector<BlockSpec>& specs = r->specs[by];
  specs.clear();
  specs.reserve(cols);
  PlaneEncodeStats& tally = r->tally[by];
  int64_t runs_used = 0, colours_used = 0;
  const bool odd = (by & 1) != 0;
  Choice block_choice, scaled_choice, other_choice;
  for (uint32_t bx = 0; bx < cols;) {
    WaitForAbove(r, by, bx);
    const uint32_t x = bx * 8, y = by * 8;
    if (odd && r->scaled_here[size_t(by) * cols + bx]) {
      // Drawn by the scaled block above; the kind marks it in the stream.
      specs.emplace_back().kind = BLOCK_SCALED;
      ++tally.kind_count[BLOCK_SCALED];
      bx += 2;
      Finished(r, by, bx);
      continue;
    }
    // Values still free in this row's chunks, keeping room for the
    // remaining blocks' cheapest codings (one colour each).
    const int64_t blocks_left = int64_t(cols - bx - 1);
    const RowBudget budget{r->colour_limit - colours_used - blocks_left, r->run_limit - runs_used};
    Vector pred[4];
    int np = 0;
    if (p->hint_dx || p->hint_dy) pred[np++] = Vector{p->hint_dx, p->hint_dy};
    if (bx > 0) pred[np++] = r->vectors[size_t(by) * cols + bx - 1];
    if (by > 0) pred[np++] = r->vectors[size_t(by - 1) * cols + bx];
    if (by > 0 && bx + 1 < cols && preset.motion_neighbours) pred[np++] = r->vectors[size_t(by - 1) * cols + bx + 1];
    Vector v;
    const BlockCandidate& best = ChooseBlock(r->search, x, y, budget, pred, np, &v, &block_choice);

    // A scaled block covers this block, its right neighbour and the two
    // below; it must not start in the last block column or row.
    const bool unchanged = best.kind == BLOCK_SKIP && best.sse == 0;
    if (r->try_scaled && !unchanged && !odd && bx + 1 < cols && by + 1 < r->rows) {
      const uint8_t* area = p->source + size_t(y) * p->source_pitch + x;
      const double extra = p->lambda * 2 * p->costs->kind[BLOCK_SCALED];
      const double j_here = double(best.sse) + p->lambda * (best.bits + p->costs->kind[best.kind]);
      // The odd row's kind and the sub-kind cost a few bits more; worth a
      // look only when the area's least error leaves room to win.
      const uint64_t floor = ScaledSseFloor(area, p->source_pitch);
      if (double(floor) + extra < j_here * 4) {
        uint8_t small[64];
        Downsample16(area, p->source_pitch, small);
        Choice& scaled = scaled_choice;
        scaled.cost = 1e300;
        ChooseIntra(r->search, small, area, floor, budget, &scaled);
        const double j_scaled = scaled.cost + extra;
        if (j_scaled < j_here * 4) {
          // Worth comparing against the four blocks coded one by one.
          Vector unused;
          double j_four = j_here;
          const uint32_t others[3][2] = {{x + 8, y}, {x, y + 8}, {x + 8, y + 8}};
          for (const auto& o : others) {
            if (j_four >= j_scaled) break;
            const BlockCandidate& c = ChooseBlock(r->search, o[0], o[1], budget, pred, np, &unused, &other_choice);
            j_four += double(c.sse) + p->lambda * (c.bits + p->costs->kind[c.kind]);
          }
          if (j_scaled < j_four && int64_t(ColoursOf(*scaled.best)) <= budget.colours_free + 1) {
            BlockToSpec(scaled.best, true, &specs.emplace_back());
            StoreDoubled(p, x, y, scaled.best->recon);
            if (scaled.best->kind == BLOCK_RUNS) runs_used += scaled.best->run_count;
            colours_used += ColoursOf(*scaled.best);
            r->scaled_here[size_t(by + 1) * cols + bx] = 1;
            ++tally.kind_count[BLOCK_SCALED];
            tally.sse += scaled.best->sse;
            bx += 2;
            Finished(r, by, bx);
            continue;
          }
        }
      }
    }

    BlockToSpec(&best, false, &specs.emplace_back());
    StoreBlock(p, x, y, best.recon);
    r->vectors[size_t(by) * cols + bx] = v;
    if (best.kind == BLOCK_RUNS) runs_used += best.run_count;
    colours_used += ColoursOf(best);
    ++tally.kind_count[best.kind];
    tally.sse += best.sse;
    ++bx;
    Finished(r, by, bx);
  }
}

}  // namespace

struct PlaneScratch {
  PlaneRows rows;
};

namespace {

// One plane of a group being coded: its settings, rows and writer.
struct PlaneJob {
  PlaneEncodeParams params;
  BitCosts defaults;
  std::unique_ptr<PlaneWriter, WriterDeleter> writer;
  PlaneRows own_rows;
  PlaneRows* rows = &own_rows;  // the caller's scratch, or own_rows
  std::atomic<uint32_t> rows_done{0};
  std::vector<uint8_t>* out = nullptr;
  PlaneEncodeStats* stats = nullptr;
  bool ok = true;
};

bool PrepareJob(const PlaneEncodeParams* params, std::vector<uint8_t>* out, PlaneEncodeStats* stats, PlaneJob* job) {
  job->params = *params;
  if (!job->params.costs) {
    BitCostsDefault(&job->defaults);
    job->params.costs = &job->defaults;
  }
  job->out = out;
  job->stats = stats;
  const PlaneEncodeParams* p = &job->params;
  BundleCapacities caps;
  ComputeBundleCapacities(p->file_width, &caps);
  job->writer.reset(PlaneWriterCreate(p->width, p->height, &caps, false));
  PlaneWriter* w = job->writer.get();
  if (!w) return false;
  if (p->scratch) job->rows = &p->scratch->rows;
  PlaneRows& r = *job->rows;
  const uint32_t old_rows = r.rows;
  r.search = Search{p, &SpeedPresetFor(p->speed)};
  r.rows = p->height / 8;
  r.cols = p->width / 8;
  r.run_limit = PlaneWriterChunkLimit(w, BUNDLE_RUNS);
  r.colour_limit = PlaneWriterChunkLimit(w, BUNDLE_COLOURS);
  r.try_scaled = (p->kinds & KindBit(BLOCK_SCALED)) != 0 && r.search.preset->scaled;
  r.vectors.assign(size_t(r.rows) * r.cols, Vector{0, 0});
  r.scaled_here.assign(size_t(r.rows) * r.cols, 0);
  r.specs.resize(r.rows);  // each row keeps its blocks' room from the last plane
  r.tally.assign(r.rows, PlaneEncodeStats{});
  if (!r.done || old_rows != r.rows) {
    r.done = std::make_unique<std::atomic<uint32_t>[]>(r.rows);
    r.wanted = std::make_unique<std::atomic<uint32_t>[]>(r.rows);
  }
  for (uint32_t by = 0; by < r.rows; ++by) {
    r.done[by].store(0, std::memory_order_relaxed);
    r.wanted[by].store(kNoWaiter, std::memory_order_relaxed);
  }
  return true;
}

// Writes the plane stream once every row has been chosen.
bool WriteJob(PlaneJob* job) {
  PlaneRows& r = *job->rows;
  PlaneWriter* w = job->writer.get();
  PlaneEncodeStats* stats = job->stats;
  for (uint32_t by = 0; by < r.rows; ++by) {
    PlaneWriterBeginRow(w);
    for (const BlockSpec& b : r.specs[by])
      if (!PlaneWriterPutBlock(w, &b)) return false;
    if (stats) {
      for (int k = 0; k < int(BLOCK_KIND_COUNT); ++k) stats->kind_count[k] += r.tally[by].kind_count[k];
      stats->sse += r.tally[by].sse;
    }
  }
  if (stats) {
    // The nonzero vector most blocks took, the first in plane order on a tie.
    std::vector<uint32_t> votes(31 * 31, 0);
    uint32_t most = 0;
    for (const Vector& v : r.vectors) {
      if (!v.dx && !v.dy) continue;
      const uint32_t n = ++votes[size_t(v.dy + 15) * 31 + size_t(v.dx + 15)];
      if (n > most) most = n, stats->common_dx = v.dx, stats->common_dy = v.dy;
    }
  }
  std::vector<uint8_t>* out = job->out;
  const size_t before = out->size();
  PlaneCodingStats coding;
  if (!PlaneWriterFinish(w, HUFF_TREE_AUTO, out, stats ? &coding : nullptr)) return false;
  if (stats) {
    stats->bytes += out->size() - before;
    MeasureCosts(coding, &stats->measured);
  }
  return true;
}

}  // namespace

PlaneScratch* PlaneScratchCreate() { return new PlaneScratch; }
void PlaneScratchDestroy(PlaneScratch* s) { delete s; }

bool EncodePlanes(const PlaneEncodeParams* const* params, std::vector<uint8_t>* const* outs,
                  PlaneEncodeStats* const* stats, int count) {
  if (count <= 0) return true;
  std::unique_ptr<PlaneJob[]> jobs(new PlaneJob[count]);
  uint32_t total = 0;
  bool prepared = true;
  for (int i = 0; i < count; ++i) {
    prepared &= PrepareJob(params[i], outs[i], stats ? stats[i] : nullptr, &jobs[i]);
    total += jobs[i].rows->rows;
  }
  if (!prepared) return false;

  // The planes' rows form one sequence, plane after plane, top to bottom,
  // and each worker takes the next row not yet taken: a row only ever
  // waits for one already under way. The worker that finishes a plane's
  // last row writes its stream while the others go on with the next plane.
  std::atomic<uint32_t> next{0};
  auto Work = [&]() {
    for (;;) {
      uint32_t index = next.fetch_add(1, std::memory_order_relaxed);
      if (index >= total) return;
      int i = 0;
      while (index >= jobs[i].rows->rows) index -= jobs[i++].rows->rows;
      PlaneJob& job = jobs[i];
      ChooseRow(job.rows, index);
      if (job.rows_done.fetch_add(1, std::memory_order_acq_rel) + 1 == job.rows->rows) job.ok = WriteJob(&job);
    }
  };
  const uint32_t threads = params[0]->threads;
  const uint32_t n = threads > 1 ? (threads < total ? threads : total) : 1;
  std::vector<std::thread> helpers;
  for (uint32_t t = 1; t < n; ++t) {
    try {
      helpers.emplace_back(Work);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the rows go to those there are
    }
  }
  Work();
  for (std::thread& t : helpers) t.join();
  for (int i = 0; i < count; ++i)
    if (jobs[i].rows->rows == 0) jobs[i].ok = WriteJob(&jobs[i]);  // nothing to choose: an empty plane
  bool ok = true;
  for (int i = 0; i < count; ++i) ok &= jobs[i].ok;
  return ok;
}

bool EncodePlane(const PlaneEncodeParams* params, std::vector<uint8_t>* out, PlaneEncodeStats* stats) {
  return EncodePlanes(&params, &out, stats ? &stats : nullptr, 1);
}
