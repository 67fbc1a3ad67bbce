#include "encode/scene_change.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Each picture shrinks to a thumbnail of 8x8 area means (luma, and the two
// chroma planes weighted double as they vary less). The score is the mean,
// over the thumbnail, of the best match within one area in any direction in
// the last thumbnail, so that pans and slow zooms score low while a new
// picture scores high.
namespace {

// A cut scores this many times the usual change, and at least kLeast.
constexpr double kStandOut = 3;
constexpr double kLeast = 16;
// What counts as usual before a clip has shown its own.
constexpr double kUsualAtStart = 12;

}  // namespace

void SceneDetectorInit(SceneDetector* d, uint32_t width, uint32_t height) {
  d->width = width;
  d->height = height;
  d->cols = std::max<uint32_t>(1, width / 8);
  d->rows = std::max<uint32_t>(1, height / 8);
  d->last.assign(size_t(d->cols) * d->rows * 3, 0);
  d->now.assign(d->last.size(), 0);
  d->have_last = false;
  d->usual = kUsualAtStart;
}

namespace {

#if defined(__SSE2__)
// The sum of an 8x8 (wide) or 4x4 area inside the plane.
uint32_t WholeAreaSum(const uint8_t* p, int pitch, bool wide) {
  __m128i acc = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  if (wide) {
    for (int r = 0; r < 8; r += 2) {
      const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + size_t(r) * pitch));
      const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + size_t(r + 1) * pitch));
      acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_unpacklo_epi64(a, b), zero));
    }
    return uint32_t(_mm_cvtsi128_si32(acc)) + uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc)));
  }
  uint32_t rows[4];
  for (int r = 0; r < 4; ++r) std::memcpy(&rows[r], p + size_t(r) * pitch, 4);
  const __m128i all = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows));
  acc = _mm_sad_epu8(all, zero);
  return uint32_t(_mm_cvtsi128_si32(acc)) + uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc)));
}
#endif

// The mean of a w x h area clipped to the plane.
int AreaMean(const uint8_t* p, int pitch, uint32_t pw, uint32_t ph, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  const uint32_t x1 = std::min(pw, x + w), y1 = std::min(ph, y + h);
  if (x >= x1 || y >= y1) return 128;
#if defined(__SSE2__)
  if (x1 - x == w && y1 - y == h && w == h && (w == 8 || w == 4))
    return int(WholeAreaSum(p + size_t(y) * pitch + x, pitch, w == 8) / (w * h));
#endif
  uint32_t sum = 0;
  for (uint32_t r = y; r < y1; ++r)
    for (uint32_t c = x; c < x1; ++c) sum += p[size_t(r) * pitch + c];
  return int(sum / ((x1 - x) * (y1 - y)));
}

}  // namespace

double SceneDetectorScore(SceneDetector* d, const uint8_t* y, int y_pitch, const uint8_t* u, const uint8_t* v,
                          int c_pitch) {
  const uint32_t cw = (d->width + 1) / 2, ch = (d->height + 1) / 2;
  const size_t cells = size_t(d->cols) * d->rows;
  for (uint32_t r = 0; r < d->rows; ++r)
    for (uint32_t c = 0; c < d->cols; ++c) {
      const size_t at = size_t(r) * d->cols + c;
      d->now[at] = AreaMean(y, y_pitch, d->width, d->height, c * 8, r * 8, 8, 8);
      d->now[cells + at] = u ? 2 * AreaMean(u, c_pitch, cw, ch, c * 4, r * 4, 4, 4) : 256;
      d->now[2 * cells + at] = v ? 2 * AreaMean(v, c_pitch, cw, ch, c * 4, r * 4, 4, 4) : 256;
    }
  double total = 0;
  if (d->have_last) {
    for (uint32_t r = 0; r < d->rows; ++r)
      for (uint32_t c = 0; c < d->cols; ++c) {
        int best = 1 << 30;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int rr = int(r) + dy, cc = int(c) + dx;
            if (rr < 0 || cc < 0 || rr >= int(d->rows) || cc >= int(d->cols)) continue;
            const size_t a = size_t(r) * d->cols + c, b = size_t(rr) * d->cols + cc;
            int diff = 0;
            for (int plane = 0; plane < 3; ++plane)
              diff += std::abs(d->now[plane * cells + a] - d->last[plane * cells + b]);
            best = std::min(best, diff);
          }
        total += best;
      }
    total /= double(cells);
  }
  d->last.swap(d->now);
  d->have_last = true;
  return total;
}

bool SceneDetectorCut(SceneDetector* d, const uint8_t* y, int y_pitch, const uint8_t* u, const uint8_t* v,
                      int c_pitch) {
  const bool first = !d->have_last;
  const double score = SceneDetectorScore(d, y, y_pitch, u, v, c_pitch);
  if (first) return false;
  const bool cut = score > std::max(kLeast, kStandOut * d->usual);
  if (!cut) d->usual = 0.7 * d->usual + 0.3 * score;
  return cut;
}
