// The inverse transform four 32-bit lanes at a time. The lanes wrap exactly
// as the plain code's unsigned arithmetic does and every shift is the same
// arithmetic shift, so the bytes are the plain code's for every input. The
// plain code's shortcuts for columns and rows without AC values are left
// out: the full transform of such a column or row gives the same values.
#include "video/inverse_transform_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

#include <cstring>

#include "base/cpu_features.h"

// Compiled for SSE2 function by function, so that 32-bit builds keep their
// baseline; selection runs these only where the processor reports SSE2.
#define VEXA_SSE2 __attribute__((target("sse2")))

namespace {

// x * c modulo 2^32 in each lane, for a constant 0 < c < 65536 given in
// every 16-bit lane of c16: the low half's full product plus the high
// half's low product moved up.
VEXA_SSE2 inline __m128i MulConst(__m128i x, __m128i c16) {
  return _mm_add_epi32(_mm_mullo_epi16(x, c16), _mm_slli_epi32(_mm_mulhi_epu16(x, c16), 16));
}

// a * b modulo 2^32 in each lane.
VEXA_SSE2 inline __m128i Mul32(__m128i a, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// The one-dimensional transform of the plain code on s[0..7], in place;
// lane by lane.
VEXA_SSE2 inline void Transform8(__m128i s[8]) {
  const __m128i k2896 = _mm_set1_epi16(2896), k3784 = _mm_set1_epi16(3784);
  const __m128i k5352 = _mm_set1_epi16(5352), k2217 = _mm_set1_epi16(2217);
  const __m128i a0 = _mm_add_epi32(s[0], s[4]);
  const __m128i a1 = _mm_sub_epi32(s[0], s[4]);
  const __m128i a2 = _mm_add_epi32(s[2], s[6]);
  const __m128i a3 = _mm_srai_epi32(MulConst(_mm_sub_epi32(s[2], s[6]), k2896), 11);
  const __m128i a4 = _mm_add_epi32(s[5], s[3]);
  const __m128i a5 = _mm_sub_epi32(s[5], s[3]);
  const __m128i a6 = _mm_add_epi32(s[1], s[7]);
  const __m128i a7 = _mm_sub_epi32(s[1], s[7]);
  const __m128i b0 = _mm_add_epi32(a4, a6);
  const __m128i b1 = _mm_srai_epi32(MulConst(_mm_add_epi32(a5, a7), k3784), 11);
  // a5 * -5352 is the negated product of a5 and 5352.
  const __m128i m5 = _mm_sub_epi32(_mm_setzero_si128(), MulConst(a5, k5352));
  const __m128i b2 = _mm_add_epi32(_mm_sub_epi32(_mm_srai_epi32(m5, 11), b0), b1);
  const __m128i b3 = _mm_sub_epi32(_mm_srai_epi32(MulConst(_mm_sub_epi32(a6, a4), k2896), 11), b2);
  const __m128i b4 = _mm_sub_epi32(_mm_add_epi32(_mm_srai_epi32(MulConst(a7, k2217), 11), b3), b1);
  const __m128i p = _mm_add_epi32(a0, a2), m = _mm_sub_epi32(a0, a2);
  const __m128i q = _mm_sub_epi32(_mm_add_epi32(a1, a3), a2);
  const __m128i n = _mm_add_epi32(_mm_sub_epi32(a1, a3), a2);
  s[0] = _mm_add_epi32(p, b0);
  s[1] = _mm_add_epi32(q, b2);
  s[2] = _mm_add_epi32(n, b3);
  s[3] = _mm_sub_epi32(m, b4);
  s[4] = _mm_add_epi32(m, b4);
  s[5] = _mm_sub_epi32(n, b3);
  s[6] = _mm_sub_epi32(q, b2);
  s[7] = _mm_sub_epi32(p, b0);
}

// 4x4 transpose of a[0..3] into b[0..3] (b[i] lane j = a[j] lane i).
VEXA_SSE2 inline void Transpose4(const __m128i* a, __m128i* b) {
  const __m128i t0 = _mm_unpacklo_epi32(a[0], a[1]), t1 = _mm_unpacklo_epi32(a[2], a[3]);
  const __m128i t2 = _mm_unpackhi_epi32(a[0], a[1]), t3 = _mm_unpackhi_epi32(a[2], a[3]);
  b[0] = _mm_unpacklo_epi64(t0, t1);
  b[1] = _mm_unpackhi_epi64(t0, t1);
  b[2] = _mm_unpacklo_epi64(t2, t3);
  b[3] = _mm_unpackhi_epi64(t2, t3);
}

// The low 8 bits of each lane's (value >> 8), sign-extended, so that the
// saturating packs keep them unchanged.
VEXA_SSE2 inline __m128i PixelLanes(__m128i o) { return _mm_srai_epi32(_mm_slli_epi32(o, 16), 24); }

// True when positions 1..63 of the block are all zero.
VEXA_SSE2 inline bool OnlyDc(const int16_t block[64]) {
  const __m128i* b = reinterpret_cast<const __m128i*>(block);
  __m128i any = _mm_and_si128(_mm_loadu_si128(b), _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
#pragma GCC unroll 8
  for (int i = 1; i < 8; ++i) any = _mm_or_si128(any, _mm_loadu_si128(b + i));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
}

// The flat value of a block with only a DC value.
inline uint8_t DcPixel(const int16_t block[64], const uint32_t quant[64]) {
  const uint32_t dc = uint32_t(int32_t(uint32_t(int32_t(block[0])) * quant[0]) >> 11);
  return uint8_t(uint32_t(int32_t(dc + 127u) >> 8));
}

// The 64 result bytes, two rows a vector: rows[k] holds rows 2k and 2k + 1.
VEXA_SSE2 inline __attribute__((always_inline)) void Transform(const int16_t block[64], const uint32_t quant[64], __m128i rows[4]) {
  // Dequantise: lo[r] holds columns 0-3 of row r, hi[r] columns 4-7.
  __m128i lo[8], hi[8];
  const __m128i* b = reinterpret_cast<const __m128i*>(block);
  const __m128i* q = reinterpret_cast<const __m128i*>(quant);
#pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    const __m128i w = _mm_loadu_si128(b + r);
    const __m128i wl = _mm_srai_epi32(_mm_unpacklo_epi16(w, w), 16);
    const __m128i wh = _mm_srai_epi32(_mm_unpackhi_epi16(w, w), 16);
    lo[r] = _mm_srai_epi32(Mul32(wl, _mm_loadu_si128(q + 2 * r)), 11);
    hi[r] = _mm_srai_epi32(Mul32(wh, _mm_loadu_si128(q + 2 * r + 1)), 11);
  }
  // Columns, then transpose: top[c] holds rows 0-3 of column c, bottom[c]
  // rows 4-7.
  Transform8(lo);
  Transform8(hi);
  __m128i top[8], bottom[8];
  Transpose4(lo, top);
  Transpose4(hi, top + 4);
  Transpose4(lo + 4, bottom);
  Transpose4(hi + 4, bottom + 4);
  // Rows. Column 0's value feeds every output with weight one, so adding
  // the pixel rounding there adds it to all eight.
  const __m128i k127 = _mm_set1_epi32(127);
  top[0] = _mm_add_epi32(top[0], k127);
  bottom[0] = _mm_add_epi32(bottom[0], k127);
  Transform8(top);
  Transform8(bottom);
  // To bytes: w[c] = column c, rows 0-7 as 16-bit values; then two columns
  // a vector, and an 8x8 byte transpose back to rows.
  __m128i w[8];
#pragma GCC unroll 8
  for (int c = 0; c < 8; ++c) w[c] = _mm_packs_epi32(PixelLanes(top[c]), PixelLanes(bottom[c]));
  const __m128i c01 = _mm_packs_epi16(w[0], w[1]), c23 = _mm_packs_epi16(w[2], w[3]);
  const __m128i c45 = _mm_packs_epi16(w[4], w[5]), c67 = _mm_packs_epi16(w[6], w[7]);
  const __m128i t0 = _mm_unpacklo_epi8(c01, c23), t1 = _mm_unpackhi_epi8(c01, c23);
  const __m128i t2 = _mm_unpacklo_epi8(c45, c67), t3 = _mm_unpackhi_epi8(c45, c67);
  // u0: rows 0-3 of columns 0-3 (4 bytes a row); u1 rows 4-7; u2, u3 the
  // same for columns 4-7.
  const __m128i u0 = _mm_unpacklo_epi8(t0, t1), u1 = _mm_unpackhi_epi8(t0, t1);
  const __m128i u2 = _mm_unpacklo_epi8(t2, t3), u3 = _mm_unpackhi_epi8(t2, t3);
  rows[0] = _mm_unpacklo_epi32(u0, u2);
  rows[1] = _mm_unpackhi_epi32(u0, u2);
  rows[2] = _mm_unpacklo_epi32(u1, u3);
  rows[3] = _mm_unpackhi_epi32(u1, u3);
}

VEXA_SSE2 inline void StoreRows(uint8_t* dst, int pitch, __m128i two) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), two);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + pitch), _mm_unpackhi_epi64(two, two));
}

VEXA_SSE2 void Put(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  if (OnlyDc(block)) {
    const uint8_t p = DcPixel(block, quant);
    for (int r = 0; r < 8; ++r) std::memset(dst + r * pitch, p, 8);
    return;
  }
  __m128i rows[4];
  Transform(block, quant, rows);
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) StoreRows(dst + 2 * k * pitch, pitch, rows[k]);
}

VEXA_SSE2 inline void StoreDoubled(uint8_t* dst, int pitch, __m128i row16) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), row16);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + pitch), row16);
}

VEXA_SSE2 void PutScaled(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  if (OnlyDc(block)) {
    const uint8_t p = DcPixel(block, quant);
    for (int r = 0; r < 16; ++r) std::memset(dst + r * pitch, p, 16);
    return;
  }
  __m128i rows[4];
  Transform(block, quant, rows);
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) {
    StoreDoubled(dst + 4 * k * pitch, pitch, _mm_unpacklo_epi8(rows[k], rows[k]));
    StoreDoubled(dst + (4 * k + 2) * pitch, pitch, _mm_unpackhi_epi8(rows[k], rows[k]));
  }
}

// Two source rows are loaded before the two destination rows are stored,
// which matches the plain add when the source is the destination itself;
// a source that shares other bytes with the destination (or has a pitch
// of its own) goes to the plain add.
VEXA_SSE2 void Add(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch, const uint8_t* src,
                   int src_pitch) {
  if (pitch != src_pitch || (dst != src && BlocksOverlap(dst, src, pitch))) {
    PlainInverseTransform()->add(block, quant, dst, pitch, src, src_pitch);
    return;
  }
  __m128i rows[4];
  if (OnlyDc(block)) {
    rows[0] = rows[1] = rows[2] = rows[3] = _mm_set1_epi8(char(DcPixel(block, quant)));
  } else {
    Transform(block, quant, rows);
  }
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) {
    const uint8_t* s = src + 2 * k * src_pitch;
    const __m128i two = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + src_pitch)));
    StoreRows(dst + 2 * k * pitch, pitch, _mm_add_epi8(two, rows[k]));
  }
}

}  // namespace

void Sse2InverseTransformOverride(InverseTransformKernels* t) { *t = {"sse2", &Put, &PutScaled, &Add}; }

#else

void Sse2InverseTransformOverride(InverseTransformKernels*) {}

#endif
