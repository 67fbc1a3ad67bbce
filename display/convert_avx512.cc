#include "display/convert_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <array>

#include "display/colour_tables.h"
#include "display/convert_plain.h"
#include "display/convert_sse2_kernel.h"

// Compiled for AVX-512 (F, BW, VL, VBMI) function by function, like the AVX2
// converters; selection runs these only where the processor reports all four.
#define VEXA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

namespace {

using sse2::Advance;
using sse2::FAMILY_RED_HIGH;
using sse2::FAMILY_RED_LOW;

// Sixty-four pixels (thirty-two chroma pairs) per step, the channels
// computed as in the narrower kernels and packed to one byte vector each.
//
// 32-bit output: the samples are first permuted so that 128-bit lane k holds
// pixels 4k..4k+3, 16+4k.., 32+4k.. and 48+4k.. (and the chroma vectors the
// pairs of those pixels, in the order the in-lane unpacks spread them); then
// the same in-lane unpacks that interleave the channels put pixels 0-15,
// 16-31, 32-47 and 48-63 into the four output vectors, in order.
//
// 24-bit output: the channels stay in pixel order and byte permutes that read
// two vectors at once place them: one the first two bytes of every output
// pixel, a masked one the third.
constexpr uint32_t kStep = 64;

using ByteTable = std::array<std::array<uint8_t, 64>, 4>;

// Row 0: where each byte of the lane-ordered luma comes from; row 1 (first
// 32 bytes): the same for the chroma pairs.
constexpr ByteTable MakeLaneOrder() {
  ByteTable t{};
  for (uint32_t b = 0; b < 64; ++b) {
    const uint32_t k = b / 16, e = b % 16;
    t[0][b] = static_cast<uint8_t>(16 * (e / 4) + 4 * k + e % 4);
  }
  for (uint32_t b = 0; b < 32; ++b) {
    const uint32_t k = b / 8, e = b % 8;
    t[1][b] = static_cast<uint8_t>(8 * (e / 2) + 2 * k + e % 2);
  }
  return t;
}

// 24-bit output j (bytes 64j..64j+63 of the 192): bytes 0 and 1 of each
// pixel from (low, green), byte 2 from high alone.
constexpr ByteTable Make24(bool upper) {
  ByteTable t{};
  for (uint32_t j = 0; j < 3; ++j)
    for (uint32_t i = 0; i < 64; ++i) {
      const uint32_t n = 64 * j + i, p = n / 3, c = n % 3;
      t[j][i] = static_cast<uint8_t>(upper ? (c == 2 ? p : 0) : (c == 2 ? 0 : p + (c == 1 ? 64 : 0)));
    }
  return t;
}

// Packed YUV output j (pixels 32j..32j+31) from luma and the chroma vector
// that holds the U samples in bytes 0-31 and the V samples in 32-63.
constexpr ByteTable MakeYuv(bool uyvy) {
  ByteTable t{};
  for (uint32_t j = 0; j < 2; ++j)
    for (uint32_t i = 0; i < 64; ++i) {
      const uint32_t p = 32 * j + i / 2, k = p / 2, c = i % 4;
      const uint32_t luma = p, u = 64 + k, v = 96 + k;
      const uint32_t pick = uyvy ? (c == 0 ? u : (c == 2 ? v : luma)) : (c == 1 ? u : (c == 3 ? v : luma));
      t[j][i] = static_cast<uint8_t>(pick);
    }
  return t;
}

alignas(64) constexpr ByteTable kLaneOrder = MakeLaneOrder();
alignas(64) constexpr ByteTable kLow24 = Make24(false);
alignas(64) constexpr ByteTable kHigh24 = Make24(true);
alignas(64) constexpr ByteTable kYuy2 = MakeYuv(false);
alignas(64) constexpr ByteTable kUyvy = MakeYuv(true);

constexpr __mmask64 Mask24(uint32_t j) {
  __mmask64 m = 0;
  for (uint32_t i = 0; i < 64; ++i)
    if ((64 * j + i) % 3 == 2) m |= __mmask64{1} << i;
  return m;
}
constexpr __mmask64 kUpper24[3] = {Mask24(0), Mask24(1), Mask24(2)};

// The first `bytes` of a 64-byte vector (all for 64 and more, none for 0 and less).
constexpr __mmask64 FirstBytes(int64_t bytes) {
  return bytes >= 64 ? ~__mmask64{0} : (bytes <= 0 ? __mmask64{0} : (__mmask64{1} << bytes) - 1);
}

VEXA_AVX512 inline __m512i Table(const ByteTable& t, uint32_t j) {
  return _mm512_load_si512(static_cast<const void*>(t[j].data()));
}

VEXA_AVX512 inline __m512i Luma(__m512i x) {
  return _mm512_add_epi16(x, _mm512_mulhi_epu16(x, _mm512_set1_epi16(static_cast<int16_t>(kLumaScale - 65536))));
}

VEXA_AVX512 inline __m512i Chroma(__m256i c8) {
  return _mm512_mulhi_epi16(_mm512_sub_epi16(_mm512_cvtepu8_epi16(c8), _mm512_set1_epi16(128)),
                            _mm512_set1_epi16(kChromaScale));
}

struct Channels {
  __m512i red, green, blue;
};

// The channels of sixty-four pixels, clamped to bytes, in the order of the
// luma vector. The in-lane unpacks spread chroma element e of lane k over
// bytes 2e and 2e + 1 of luma lane k, so the chroma vectors must hold each
// pixel's pair there: in pixel order, lane k of the luma (pixels
// 16k..16k+15) meets pairs 8k..8k+7.
VEXA_AVX512 inline Channels Rgb(__m512i y8, __m256i v8, __m256i u8) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i x8 = _mm512_min_epu8(_mm512_subs_epu8(y8, _mm512_set1_epi8(16)),
                                     _mm512_set1_epi8(static_cast<char>(219)));  // clamp(Y, 16, 235) - 16
  const __m512i v = Chroma(v8);
  const __m512i u = Chroma(u8);
  const __m512i termPair[3] = {_mm512_slli_epi16(v, 2),
                               _mm512_sub_epi16(zero, _mm512_add_epi16(u, _mm512_slli_epi16(v, 1))),
                               _mm512_add_epi16(_mm512_slli_epi16(u, 2), u)};
  __m512i sum[2][3];
  for (int half = 0; half < 2; ++half) {
    const __m512i y = Luma(half == 0 ? _mm512_unpacklo_epi8(x8, zero) : _mm512_unpackhi_epi8(x8, zero));
    for (int ch = 0; ch < 3; ++ch) {
      const __m512i term = half == 0 ? _mm512_unpacklo_epi16(termPair[ch], termPair[ch])
                                     : _mm512_unpackhi_epi16(termPair[ch], termPair[ch]);
      sum[half][ch] = _mm512_add_epi16(y, term);
    }
  }
  // The saturating pack is the clamp to 0-255.
  return {_mm512_packus_epi16(sum[0][0], sum[1][0]), _mm512_packus_epi16(sum[0][1], sum[1][1]),
          _mm512_packus_epi16(sum[0][2], sum[1][2])};
}

// One step of `n` pixels (1..64) from an even column; a partial step loads
// and stores under masks, so it touches no byte outside the span.
template <int Family, uint32_t Bytes, bool Alpha, bool Partial>
VEXA_AVX512 inline void RgbStep(const CopyContext* c, uint32_t n) {
  const __mmask64 pixels = Partial ? FirstBytes(n) : ~__mmask64{0};
  const __mmask32 pairs = Partial ? static_cast<__mmask32>(FirstBytes((n + 1) / 2)) : ~__mmask32{0};
  const __m512i y8 = Partial ? _mm512_maskz_loadu_epi8(pixels, c->y) : _mm512_loadu_si512(c->y);
  const __m256i v8 = Partial ? _mm256_maskz_loadu_epi8(pairs, c->v)
                             : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->v));
  const __m256i u8 = Partial ? _mm256_maskz_loadu_epi8(pairs, c->u)
                             : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->u));
  uint8_t* out = c->dst;
  if constexpr (Bytes == 4) {
    // (The zero-masking forms with every lane kept, as GCC's plain forms
    // pass an undefined vector through.)
    constexpr __mmask64 kAll = ~__mmask64{0};
    const __m512i lumaOrder = Table(kLaneOrder, 0);
    const __m256i chromaOrder = _mm256_load_si256(reinterpret_cast<const __m256i*>(kLaneOrder[1].data()));
    const Channels ch = Rgb(_mm512_maskz_permutexvar_epi8(kAll, lumaOrder, y8),
                            _mm256_maskz_permutexvar_epi8(~__mmask32{0}, chromaOrder, v8),
                            _mm256_maskz_permutexvar_epi8(~__mmask32{0}, chromaOrder, u8));
    const __m512i low = Family == FAMILY_RED_HIGH ? ch.blue : ch.red;
    const __m512i high = Family == FAMILY_RED_HIGH ? ch.red : ch.blue;
    __m512i top = _mm512_setzero_si512();
    if constexpr (Alpha)
      top = _mm512_maskz_permutexvar_epi8(
          kAll, lumaOrder, Partial ? _mm512_maskz_loadu_epi8(pixels, c->a) : _mm512_loadu_si512(c->a));
    const __m512i lowLo = _mm512_unpacklo_epi8(low, ch.green), lowHi = _mm512_unpackhi_epi8(low, ch.green);
    const __m512i highLo = _mm512_unpacklo_epi8(high, top), highHi = _mm512_unpackhi_epi8(high, top);
    const __m512i quarter[4] = {_mm512_unpacklo_epi16(lowLo, highLo), _mm512_unpackhi_epi16(lowLo, highLo),
                                _mm512_unpacklo_epi16(lowHi, highHi), _mm512_unpackhi_epi16(lowHi, highHi)};
    for (uint32_t j = 0; j < 4; ++j) {
      const __m512i px = quarter[j];
      if constexpr (Partial) {
        _mm512_mask_storeu_epi8(out + 64 * j, FirstBytes(4 * int64_t(n) - 64 * j), px);
      } else {
        _mm512_storeu_si512(out + 64 * j, px);
      }
    }
  } else {
    const Channels ch = Rgb(y8, v8, u8);
    const __m512i low = Family == FAMILY_RED_HIGH ? ch.blue : ch.red;
    const __m512i high = Family == FAMILY_RED_HIGH ? ch.red : ch.blue;
    for (uint32_t j = 0; j < 3; ++j) {
      const __m512i lg = _mm512_permutex2var_epi8(low, Table(kLow24, j), ch.green);
      const __m512i px = _mm512_mask_permutexvar_epi8(lg, kUpper24[j], Table(kHigh24, j), high);
      if constexpr (Partial) {
        _mm512_mask_storeu_epi8(out + 64 * j, FirstBytes(3 * int64_t(n) - 64 * j), px);
      } else {
        _mm512_storeu_si512(out + 64 * j, px);
      }
    }
  }
}

// A span of the 24- and 32-bit types. Without dither a pixel depends only on
// its luma and its pair's chroma, so a leading odd pixel is a one-pixel step
// whose chroma pointer already points at its pair.
template <int Family, uint32_t Bytes, bool Alpha>
VEXA_AVX512 uint32_t ConvertRgb(const CopyContext* c, uint32_t count, uint32_t column) {
  if (count == 0) return 0;
  CopyContext t = *c;
  uint32_t rest = count;
  if (column & 1) {
    RgbStep<Family, Bytes, Alpha, true>(&t, 1);
    Advance(&t, 1, 1, Bytes);
    --rest;
  }
  uint32_t left = 0;
  if ((rest & 1) && count > 1) {  // ends inside a pair: the last pixel waits
    --rest;
    left = 1;
  }
  for (; rest >= kStep; rest -= kStep) {
    RgbStep<Family, Bytes, Alpha, false>(&t, kStep);
    Advance(&t, kStep, kStep / 2, Bytes);
  }
  if (rest != 0) RgbStep<Family, Bytes, Alpha, true>(&t, rest);
  return left;
}

template <bool Partial>
VEXA_AVX512 inline void YuvStep(const CopyContext* c, const ByteTable& order, uint32_t n) {
  const __mmask64 pixels = Partial ? FirstBytes(n) : ~__mmask64{0};
  const __mmask32 pairs = Partial ? static_cast<__mmask32>(FirstBytes((n + 1) / 2)) : ~__mmask32{0};
  const __m512i y = Partial ? _mm512_maskz_loadu_epi8(pixels, c->y) : _mm512_loadu_si512(c->y);
  const __m256i u = Partial ? _mm256_maskz_loadu_epi8(pairs, c->u)
                            : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->u));
  const __m256i v = Partial ? _mm256_maskz_loadu_epi8(pairs, c->v)
                            : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->v));
  const __m512i uv = _mm512_mask_broadcast_i64x4(_mm512_castsi256_si512(u), 0xF0, v);
  for (uint32_t j = 0; j < 2; ++j) {
    const __m512i px = _mm512_permutex2var_epi8(y, Table(order, j), uv);
    if constexpr (Partial) {
      _mm512_mask_storeu_epi8(c->dst + 64 * j, FirstBytes(2 * int64_t(n) - 64 * j), px);
    } else {
      _mm512_storeu_si512(c->dst + 64 * j, px);
    }
  }
}

// Packed YUV. A single even pixel takes its pair's U like the first pixel of
// a pair, which a one-pixel step gives; a leading odd pixel carries V instead
// and goes through the plain code.
template <bool Uyvy>
VEXA_AVX512 uint32_t ConvertPackedYuv(const CopyContext* c, uint32_t count, uint32_t column) {
  if (count == 0) return 0;
  const ByteTable& order = Uyvy ? kUyvy : kYuy2;
  CopyContext t = *c;
  uint32_t rest = count;
  if (column & 1) {
    plain::PackedYuvSpan<Uyvy>(&t, 1, column);
    Advance(&t, 1, 1, 2);
    --rest;
  }
  uint32_t left = 0;
  if ((rest & 1) && count > 1) {
    --rest;
    left = 1;
  }
  for (; rest >= kStep; rest -= kStep) {
    YuvStep<false>(&t, order, kStep);
    Advance(&t, kStep, kStep / 2, 2);
  }
  if (rest != 0) YuvStep<true>(&t, order, rest);
  return left;
}

}  // namespace

RowConverter Avx512RgbConverter(uint32_t type, bool alpha) {
  switch (type) {
    case 1: case 3: case 5:
      return alpha ? &ConvertRgb<FAMILY_RED_HIGH, 4, true> : &ConvertRgb<FAMILY_RED_HIGH, 4, false>;
    case 2: case 4: case 6:
      return alpha ? &ConvertRgb<FAMILY_RED_LOW, 4, true> : &ConvertRgb<FAMILY_RED_LOW, 4, false>;
    default: return nullptr;
  }
}

RowConverter Avx512Rgb24Converter(uint32_t type) {
  if (type == 1) return &ConvertRgb<FAMILY_RED_HIGH, 3, false>;
  if (type == 2) return &ConvertRgb<FAMILY_RED_LOW, 3, false>;
  return nullptr;
}

RowConverter Avx512PackedYuvConverter(uint32_t type) {
  if (type == 13) return &ConvertPackedYuv<false>;
  if (type == 14) return &ConvertPackedYuv<true>;
  return nullptr;
}

#else

RowConverter Avx512RgbConverter(uint32_t, bool) { return nullptr; }
RowConverter Avx512Rgb24Converter(uint32_t) { return nullptr; }
RowConverter Avx512PackedYuvConverter(uint32_t) { return nullptr; }

#endif
