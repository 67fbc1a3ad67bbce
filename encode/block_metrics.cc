#include "encode/block_metrics.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
inline __m128i TwoRows(const uint8_t* a, const uint8_t* b) {
  uint64_t lo, hi;
  std::memcpy(&lo, a, 8);
  std::memcpy(&hi, b, 8);
  return _mm_set_epi64x(int64_t(hi), int64_t(lo));
}

// Sum of squares of the differences of 16 byte pairs, as four 32-bit lanes.
inline __m128i SquaredDiff16(__m128i a, __m128i b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
  const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
  return _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi));
}

inline uint64_t Lanes32(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4e));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xb1));
  return uint32_t(_mm_cvtsi128_si32(v));
}
#endif

}  // namespace

uint32_t BlockSad(const uint8_t s[64], const uint8_t* r, int pitch) {
#if defined(__SSE2__)
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < 8; y += 2) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + y * 8));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(a, TwoRows(r + y * pitch, r + (y + 1) * pitch)));
  }
  return uint32_t(_mm_cvtsi128_si32(acc)) + uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc)));
#else
  uint32_t sad = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) sad += uint32_t(std::abs(int(s[y * 8 + x]) - int(r[y * pitch + x])));
  return sad;
#endif
}

uint64_t BlockSse(const uint8_t* s, int pitch, const uint8_t recon[64]) {
#if defined(__SSE2__)
  // At most 64 * 255^2: fits the 32-bit lanes.
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < 8; y += 2) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(recon + y * 8));
    acc = _mm_add_epi32(acc, SquaredDiff16(TwoRows(s + y * pitch, s + (y + 1) * pitch), b));
  }
  return Lanes32(acc);
#else
  uint64_t e = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int d = int(s[y * pitch + x]) - int(recon[y * 8 + x]);
      e += uint64_t(d * d);
    }
  return e;
#endif
}

uint64_t ScaledSse(const uint8_t* src, int pitch, const uint8_t recon[64]) {
#if defined(__SSE2__)
  // 256 * 255^2 still fits the 32-bit lanes.
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    uint64_t half;
    std::memcpy(&half, recon + y * 8, 8);
    const __m128i row = _mm_cvtsi64_si128(int64_t(half));
    const __m128i doubled = _mm_unpacklo_epi8(row, row);
    for (int r = 0; r < 2; ++r) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + (2 * y + r) * pitch));
      acc = _mm_add_epi32(acc, SquaredDiff16(a, doubled));
    }
  }
  return Lanes32(acc);
#else
  uint64_t e = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int d = int(src[y * pitch + x]) - int(recon[(y / 2) * 8 + x / 2]);
      e += uint64_t(d * d);
    }
  return e;
#endif
}

uint64_t ScaledSseFloor(const uint8_t* src, int pitch) {
  // A cell's least error against one whole value v is sum(p^2) - 2 v sum(p) + 4 v^2,
  // smallest at the integer nearest the mean.
#if defined(__SSE2__)
  // Two rows of sixteen at a time: each cell's nearest whole mean spread
  // back over its pixels, then the squared differences. At most
  // 256 * 255^2 in all: the 32-bit lanes hold it.
  const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi16(1), two = _mm_set1_epi32(2);
  __m128i acc = zero;
  for (int y = 0; y < 16; y += 2) {
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y * pitch));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + (y + 1) * pitch));
    const __m128i rows[2][2] = {{_mm_unpacklo_epi8(r0, zero), _mm_unpacklo_epi8(r1, zero)},
                                {_mm_unpackhi_epi8(r0, zero), _mm_unpackhi_epi8(r1, zero)}};
    for (const auto& half : rows) {
      const __m128i sums = _mm_madd_epi16(_mm_add_epi16(half[0], half[1]), ones);  // four cells
      const __m128i v = _mm_srli_epi32(_mm_add_epi32(sums, two), 2);
      const __m128i spread = _mm_or_si128(v, _mm_slli_epi32(v, 16));
      const __m128i d0 = _mm_sub_epi16(half[0], spread), d1 = _mm_sub_epi16(half[1], spread);
      acc = _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(d0, d0), _mm_madd_epi16(d1, d1)));
    }
  }
  return Lanes32(acc);
#else
  uint64_t e = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint8_t* q = src + 2 * y * pitch + 2 * x;
      const int a = q[0], b = q[1], c = q[pitch], d = q[pitch + 1];
      const int sum = a + b + c + d;
      const int v = (sum + 2) / 4;
      e += uint64_t(a * a + b * b + c * c + d * d - 2 * v * sum + 4 * v * v);
    }
  return e;
#endif
}
