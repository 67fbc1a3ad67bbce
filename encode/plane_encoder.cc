#include "encode/plane_encoder.h"

#include <cstdlib>
#include <cstring>

#include "encode/block_candidates.h"
#include "encode/plane_writer.h"
#include "video/forward_transform.h"
#include "video/motion.h"

namespace {

struct Vector {
  int dx, dy;
};

uint32_t Sad(const uint8_t* s, const uint8_t* r, int pitch) {
  uint32_t sad = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) sad += uint32_t(std::abs(int(s[y * 8 + x]) - int(r[y * pitch + x])));
  return sad;
}

// A small search: the zero vector and the neighbours' vectors, then a
// shrinking eight-point refinement around the best.
Vector SearchMotion(const PlaneEncodeParams* p, uint32_t x, uint32_t y, const uint8_t s[64],
                    const Vector* predictors, int predictor_count) {
  Vector best{0, 0};
  uint32_t best_sad = Sad(s, p->reference + y * p->pitch + x, p->pitch);
  auto Try = [&](int dx, int dy) {
    if (dx < -15 || dx > 15 || dy < -15 || dy > 15) return;
    if (!MotionSourceInside(x, y, dx, dy, p->width, p->height)) return;
    const uint32_t sad = Sad(s, p->reference + (int64_t(y) + dy) * p->pitch + int64_t(x) + dx, p->pitch);
    // Prefer shorter vectors on ties (they cost fewer bits).
    if (sad < best_sad || (sad == best_sad && std::abs(dx) + std::abs(dy) < std::abs(best.dx) + std::abs(best.dy))) {
      best_sad = sad;
      best = {dx, dy};
    }
  };
  for (int i = 0; i < predictor_count; ++i) Try(predictors[i].dx, predictors[i].dy);
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

double Cost(const BlockCandidate& c, double lambda) { return double(c.sse) + lambda * c.bits; }

}  // namespace

bool EncodePlane(const PlaneEncodeParams* p, std::vector<uint8_t>* out, PlaneEncodeStats* stats) {
  PlaneParts parts;
  parts.width = p->width;
  parts.file_width = p->file_width;
  const uint32_t rows = p->height / 8, cols = p->width / 8;
  parts.rows.resize(rows);
  const uint32_t run_limit = ChunkLimit(&parts, BUNDLE_RUNS);
  const uint32_t colour_limit = ChunkLimit(&parts, BUNDLE_COLOURS);
  const bool inter = p->reference != nullptr;
  std::vector<Vector> vectors(size_t(rows) * cols, Vector{0, 0});
  const int qlo = p->base_q > 0 ? p->base_q - 1 : 0;
  const int qhi = p->base_q < 15 ? p->base_q + 1 : 15;

  for (uint32_t by = 0; by < rows; ++by) {
    PlaneRow& row = parts.rows[by];
    uint32_t runs_used = 0, colours_used = 0;
    for (uint32_t bx = 0; bx < cols; ++bx) {
      const uint32_t x = bx * 8, y = by * 8;
      uint8_t s[64];
      LoadBlock(p->source + size_t(y) * p->source_pitch + x, p->source_pitch, s);
      // Values still free in this row's chunks, keeping room for the
      // remaining blocks' cheapest codings (one colour each).
      const int64_t blocks_left = int64_t(cols - bx - 1);
      const int64_t colours_free = int64_t(colour_limit) - colours_used - blocks_left;
      const int64_t runs_free = int64_t(run_limit) - runs_used;

      BlockCandidate best, trial;
      double best_cost = 1e300;
      auto Consider = [&](const BlockCandidate& c) {
        const double cost = Cost(c, p->lambda);
        if (cost < best_cost) {
          best_cost = cost;
          best = c;
        }
      };
      const uint32_t k = p->kinds;
      if (k & KindBit(BLOCK_FILL)) {
        MakeFill(s, &trial);
        Consider(trial);
      }
      if (best.sse != 0 || best_cost >= 1e300) {
        if ((k & KindBit(BLOCK_PATTERN)) && colours_free >= 2 && MakePattern(s, &trial)) Consider(trial);
        if ((k & KindBit(BLOCK_INTRA_DCT))) {
          int16_t pixels[64];
          for (int i = 0; i < 64; ++i) pixels[i] = s[i];
          double F[64];
          ForwardDct(pixels, F);
          for (int q = qlo; q <= qhi; ++q) {
            MakeIntraDct(s, F, q, &trial);
            Consider(trial);
          }
        }
        if ((k & KindBit(BLOCK_RUNS)) && best.sse != 0) {
          MakeRuns(s, &trial);
          if (trial.run_count <= runs_free && trial.colour_count <= colours_free) Consider(trial);
        }
        if ((k & KindBit(BLOCK_RAW)) && colours_free >= 64) {
          MakeRaw(s, &trial);
          Consider(trial);
        }
      }
      if (inter) {
        const uint8_t* same = p->reference + size_t(y) * p->pitch + x;
        if (k & KindBit(BLOCK_SKIP)) {
          trial = BlockCandidate();
          trial.kind = BLOCK_SKIP;
          LoadBlock(same, p->pitch, trial.recon);
          trial.bits = kKindBits - 1;
          trial.sse = BlockSse(s, 8, trial.recon);
          Consider(trial);
        }
        if (best.sse != 0 && (k & (KindBit(BLOCK_MOTION) | KindBit(BLOCK_RESIDUE) | KindBit(BLOCK_INTER_DCT)))) {
          Vector pred[3] = {{0, 0}, {0, 0}, {0, 0}};
          int np = 0;
          if (bx > 0) pred[np++] = vectors[size_t(by) * cols + bx - 1];
          if (by > 0) pred[np++] = vectors[size_t(by - 1) * cols + bx];
          const Vector v = SearchMotion(p, x, y, s, pred, np);
          uint8_t ref[64];
          LoadBlock(p->reference + (int64_t(y) + v.dy) * p->pitch + int64_t(x) + v.dx, p->pitch, ref);
          if ((k & KindBit(BLOCK_MOTION)) && (v.dx || v.dy)) {
            trial = BlockCandidate();
            trial.kind = BLOCK_MOTION;
            trial.dx = v.dx, trial.dy = v.dy;
            std::memcpy(trial.recon, ref, 64);
            trial.bits = kKindBits + OffsetBits(v.dx) + OffsetBits(v.dy);
            trial.sse = BlockSse(s, 8, trial.recon);
            Consider(trial);
          }
          if (best.sse != 0 && (k & KindBit(BLOCK_INTER_DCT))) {
            for (int q = qlo; q <= qhi; ++q) {
              trial = BlockCandidate();
              trial.dx = v.dx, trial.dy = v.dy;
              MakeInterDct(s, ref, q, &trial);
              Consider(trial);
            }
          }
          if (best.sse != 0 && (k & KindBit(BLOCK_RESIDUE))) {
            trial = BlockCandidate();
            trial.dx = v.dx, trial.dy = v.dy;
            MakeResidue(s, ref, -1, &trial);
            Consider(trial);
            for (int limit : {31, 15, 7}) {
              if (limit >= trial.limit) continue;
              BlockCandidate cut;
              cut.dx = v.dx, cut.dy = v.dy;
              MakeResidue(s, ref, limit, &cut);
              Consider(cut);
            }
          }
          if (best.kind == BLOCK_MOTION || best.kind == BLOCK_INTER_DCT || best.kind == BLOCK_RESIDUE)
            vectors[size_t(by) * cols + bx] = v;
        }
      }
      if (best_cost >= 1e300) {  // nothing allowed fits: a fill always does
        MakeFill(s, &best);
      }
      EmitBlock(&best, &row);
      if (best.kind == BLOCK_RUNS) runs_used += uint32_t(best.run_count);
      colours_used += ColoursOf(best);
      uint8_t* d = p->recon + size_t(y) * p->pitch + x;
      for (int r = 0; r < 8; ++r) std::memcpy(d + r * p->pitch, best.recon + r * 8, 8);
      if (stats) {
        ++stats->kind_count[best.kind];
        stats->sse += best.sse;
      }
    }
  }
  const size_t before = out->size();
  if (!WritePlaneStream(&parts, out)) return false;
  if (stats) stats->bytes += out->size() - before;
  return true;
}
