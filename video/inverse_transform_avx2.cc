// The inverse transform eight 32-bit lanes at a time: a whole row of the
// block a vector. As in the SSE2 twin the lanes wrap exactly as the plain
// code's unsigned arithmetic does, every shift is the same arithmetic
// shift, and the full transform stands in for the plain code's shortcuts.
#include "video/inverse_transform_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstring>

#include "base/cpu_features.h"

// Compiled for AVX2 function by function, so the rest of the build stays at
// the baseline instruction set; selection runs these only where the
// processor reports AVX2.
#define VEXA_AVX2 __attribute__((target("avx2")))

namespace {

// The one-dimensional transform of the plain code on s[0..7], in place;
// lane by lane (mullo keeps the low 32 bits of each product).
VEXA_AVX2 inline void Transform8(__m256i s[8]) {
  const __m256i k2896 = _mm256_set1_epi32(2896), k3784 = _mm256_set1_epi32(3784);
  const __m256i km5352 = _mm256_set1_epi32(-5352), k2217 = _mm256_set1_epi32(2217);
  const __m256i a0 = _mm256_add_epi32(s[0], s[4]);
  const __m256i a1 = _mm256_sub_epi32(s[0], s[4]);
  const __m256i a2 = _mm256_add_epi32(s[2], s[6]);
  const __m256i a3 = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(s[2], s[6]), k2896), 11);
  const __m256i a4 = _mm256_add_epi32(s[5], s[3]);
  const __m256i a5 = _mm256_sub_epi32(s[5], s[3]);
  const __m256i a6 = _mm256_add_epi32(s[1], s[7]);
  const __m256i a7 = _mm256_sub_epi32(s[1], s[7]);
  const __m256i b0 = _mm256_add_epi32(a4, a6);
  const __m256i b1 = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_add_epi32(a5, a7), k3784), 11);
  const __m256i b2 =
      _mm256_add_epi32(_mm256_sub_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(a5, km5352), 11), b0), b1);
  const __m256i b3 =
      _mm256_sub_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(a6, a4), k2896), 11), b2);
  const __m256i b4 =
      _mm256_sub_epi32(_mm256_add_epi32(_mm256_srai_epi32(_mm256_mullo_epi32(a7, k2217), 11), b3), b1);
  const __m256i p = _mm256_add_epi32(a0, a2), m = _mm256_sub_epi32(a0, a2);
  const __m256i q = _mm256_sub_epi32(_mm256_add_epi32(a1, a3), a2);
  const __m256i n = _mm256_add_epi32(_mm256_sub_epi32(a1, a3), a2);
  s[0] = _mm256_add_epi32(p, b0);
  s[1] = _mm256_add_epi32(q, b2);
  s[2] = _mm256_add_epi32(n, b3);
  s[3] = _mm256_sub_epi32(m, b4);
  s[4] = _mm256_add_epi32(m, b4);
  s[5] = _mm256_sub_epi32(n, b3);
  s[6] = _mm256_sub_epi32(q, b2);
  s[7] = _mm256_sub_epi32(p, b0);
}

// 8x8 transpose in place: s[i] lane j becomes s[j] lane i.
VEXA_AVX2 inline void Transpose8(__m256i s[8]) {
  __m256i t[8], u[8];
#pragma GCC unroll 8
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(s[i], s[i + 1]);
    t[i + 1] = _mm256_unpackhi_epi32(s[i], s[i + 1]);
  }
#pragma GCC unroll 8
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);      // lanes 0 | 4
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);  // lanes 1 | 5
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);  // lanes 2 | 6
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);  // lanes 3 | 7
  }
#pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    s[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    s[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}

// The low 8 bits of each lane's (value >> 8), sign-extended, so that the
// saturating packs keep them unchanged.
VEXA_AVX2 inline __m256i PixelLanes(__m256i o) { return _mm256_srai_epi32(_mm256_slli_epi32(o, 16), 24); }

// True when positions 1..63 of the block are all zero. The block has
// usually just been written 16 bytes at a time, so it is read that way too:
// wider loads would each wait for two stores to reach the cache.
VEXA_AVX2 inline bool OnlyDc(const int16_t block[64]) {
  const __m128i* b = reinterpret_cast<const __m128i*>(block);
  __m128i any = _mm_and_si128(_mm_loadu_si128(b), _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
#pragma GCC unroll 8
  for (int i = 1; i < 8; ++i) any = _mm_or_si128(any, _mm_loadu_si128(b + i));
  return _mm_testz_si128(any, any) != 0;
}

// The flat value of a block with only a DC value.
inline uint8_t DcPixel(const int16_t block[64], const uint32_t quant[64]) {
  const uint32_t dc = uint32_t(int32_t(uint32_t(int32_t(block[0])) * quant[0]) >> 11);
  return uint8_t(uint32_t(int32_t(dc + 127u) >> 8));
}

// The 64 result bytes, four rows a vector: the low half of rows[0] holds
// rows 0 and 1, its high half rows 4 and 5; rows[1] rows 2, 3 | 6, 7.
VEXA_AVX2 inline __attribute__((always_inline)) void Transform(const int16_t block[64], const uint32_t quant[64], __m256i rows[2]) {
  __m256i s[8];
  const __m128i* b = reinterpret_cast<const __m128i*>(block);
  const __m256i* q = reinterpret_cast<const __m256i*>(quant);
#pragma GCC unroll 8
  for (int r = 0; r < 8; ++r)
    s[r] = _mm256_srai_epi32(
        _mm256_mullo_epi32(_mm256_cvtepi16_epi32(_mm_loadu_si128(b + r)), _mm256_loadu_si256(q + r)), 11);
  Transform8(s);  // columns
  Transpose8(s);
  // Column 0's value feeds every output of a row with weight one, so adding
  // the pixel rounding there adds it to all eight.
  s[0] = _mm256_add_epi32(s[0], _mm256_set1_epi32(127));
  Transform8(s);  // rows: s[c] is column c of the result
  // Pack pairs of columns (bytes c * 4 + r of each 128-bit half hold column
  // c, row r of that half's four rows), transpose the 4x4 byte squares and
  // interleave the two column groups.
#pragma GCC unroll 8
  for (int c = 0; c < 8; ++c) s[c] = PixelLanes(s[c]);
  const __m256i c0123 = _mm256_packs_epi16(_mm256_packs_epi32(s[0], s[1]), _mm256_packs_epi32(s[2], s[3]));
  const __m256i c4567 = _mm256_packs_epi16(_mm256_packs_epi32(s[4], s[5]), _mm256_packs_epi32(s[6], s[7]));
  const __m256i square = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,  //
                                          0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  const __m256i left = _mm256_shuffle_epi8(c0123, square);
  const __m256i right = _mm256_shuffle_epi8(c4567, square);
  rows[0] = _mm256_unpacklo_epi32(left, right);
  rows[1] = _mm256_unpackhi_epi32(left, right);
}

VEXA_AVX2 inline void StoreRows(uint8_t* dst, int pitch, __m128i two) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), two);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + pitch), _mm_unpackhi_epi64(two, two));
}

// rows[0] and rows[1] as four vectors of two rows each, in row order.
VEXA_AVX2 inline void RowPairs(const __m256i rows[2], __m128i pairs[4]) {
  pairs[0] = _mm256_castsi256_si128(rows[0]);
  pairs[1] = _mm256_castsi256_si128(rows[1]);
  pairs[2] = _mm256_extracti128_si256(rows[0], 1);
  pairs[3] = _mm256_extracti128_si256(rows[1], 1);
}

VEXA_AVX2 void Put(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  if (OnlyDc(block)) {
    const uint8_t p = DcPixel(block, quant);
    for (int r = 0; r < 8; ++r) std::memset(dst + r * pitch, p, 8);
    return;
  }
  __m256i rows[2];
  __m128i pairs[4];
  Transform(block, quant, rows);
  RowPairs(rows, pairs);
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) StoreRows(dst + 2 * k * pitch, pitch, pairs[k]);
}

VEXA_AVX2 inline void StoreDoubled(uint8_t* dst, int pitch, __m128i row16) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), row16);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + pitch), row16);
}

VEXA_AVX2 void PutScaled(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  if (OnlyDc(block)) {
    const uint8_t p = DcPixel(block, quant);
    for (int r = 0; r < 16; ++r) std::memset(dst + r * pitch, p, 16);
    return;
  }
  __m256i rows[2];
  __m128i pairs[4];
  Transform(block, quant, rows);
  RowPairs(rows, pairs);
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) {
    StoreDoubled(dst + 4 * k * pitch, pitch, _mm_unpacklo_epi8(pairs[k], pairs[k]));
    StoreDoubled(dst + (4 * k + 2) * pitch, pitch, _mm_unpackhi_epi8(pairs[k], pairs[k]));
  }
}

// Two source rows are loaded before the two destination rows are stored,
// which matches the plain add when the source is the destination itself;
// a source that shares other bytes with the destination (or has a pitch
// of its own) goes to the plain add.
VEXA_AVX2 void Add(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch, const uint8_t* src,
                   int src_pitch) {
  if (pitch != src_pitch || (dst != src && BlocksOverlap(dst, src, pitch))) {
    PlainInverseTransform()->add(block, quant, dst, pitch, src, src_pitch);
    return;
  }
  __m128i pairs[4];
  if (OnlyDc(block)) {
    pairs[0] = pairs[1] = pairs[2] = pairs[3] = _mm_set1_epi8(char(DcPixel(block, quant)));
  } else {
    __m256i rows[2];
    Transform(block, quant, rows);
    RowPairs(rows, pairs);
  }
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) {
    const uint8_t* s = src + 2 * k * src_pitch;
    const __m128i two = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + src_pitch)));
    StoreRows(dst + 2 * k * pitch, pitch, _mm_add_epi8(two, pairs[k]));
  }
}

}  // namespace

void Avx2InverseTransformOverride(InverseTransformKernels* t) { *t = {"avx2", &Put, &PutScaled, &Add}; }

#else

void Avx2InverseTransformOverride(InverseTransformKernels*) {}

#endif
