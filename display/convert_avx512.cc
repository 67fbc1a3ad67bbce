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

// Sixty-four pixels (thirty-two chroma pairs) per step.
//
// 32-bit output: luma is split into the even and the odd pixel of each pair
// as 16-bit lanes, so that a pair's chroma terms meet both its pixels without
// being spread first; each channel's two sums are packed to bytes with
// saturation (the clamp), which leaves 128-bit lane k holding the even pixels
// of pairs 8k..8k+7 in bytes 0-7 and their odd pixels in bytes 8-15. Output
// vector j (pixels 16j..16j+15) needs lane j of every channel: one lane
// shuffle joins the low and green channels' lanes for two outputs, and a byte
// permute that reads that and the high channel places every byte.
//
// 24-bit output: from the same packed channels, byte permutes that read two
// vectors at once place the first two bytes of every output pixel, a masked
// one the third.
constexpr uint32_t kStep = 64;

using ByteTable = std::array<std::array<uint8_t, 64>, 4>;

// Where pixel p (0-63) sits in a packed channel vector: lane p / 16, the
// even pixel of its pair in bytes 0-7, the odd one in bytes 8-15.
constexpr uint32_t Packed(uint32_t p) { return 16 * (p / 16) + (p % 16) / 2 + 8 * (p % 2); }

// 32-bit output j from (joined, high): the joined vector holds the low
// channel's lanes j & ~1 and j | 1 in its lanes 0 and 1 and the green
// channel's in lanes 2 and 3; the high vector is the high channel itself, or
// with alpha the high channel's two lanes followed by the alpha plane's two
// (alpha is in pixel order, the channels in the packed order above).
constexpr ByteTable Make32(bool alpha) {
  ByteTable t{};
  for (uint32_t j = 0; j < 4; ++j)
    for (uint32_t i = 0; i < 64; ++i) {
      const uint32_t p = i / 4, c = i % 4, slot = Packed(p), lane = j % 2;
      uint32_t from = 0;
      if (c == 0) from = 16 * lane + slot;
      if (c == 1) from = 16 * (lane + 2) + slot;
      if (c == 2) from = 64 + 16 * (alpha ? lane : j) + slot;
      if (c == 3) from = alpha ? 64 + 16 * (lane + 2) + p : 0;  // zeroed by the mask without alpha
      t[j][i] = static_cast<uint8_t>(from);
    }
  return t;
}

// 24-bit output j (bytes 64j..64j+63 of the 192): bytes 0 and 1 of each
// pixel from (low, green), byte 2 from high alone.
constexpr ByteTable Make24(bool upper) {
  ByteTable t{};
  for (uint32_t j = 0; j < 3; ++j)
    for (uint32_t i = 0; i < 64; ++i) {
      const uint32_t n = 64 * j + i, p = Packed(n / 3), c = n % 3;
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

alignas(64) constexpr ByteTable kOut32 = Make32(false);
alignas(64) constexpr ByteTable kOut32Alpha = Make32(true);
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

// Every byte but the top one of each 32-bit pixel.
constexpr __mmask64 kBelowTop = 0x7777777777777777ull;

// The first `bytes` of a 64-byte vector (all for 64 and more, none for 0 and less).
constexpr __mmask64 FirstBytes(int64_t bytes) {
  return bytes >= 64 ? ~__mmask64{0} : (bytes <= 0 ? __mmask64{0} : (__mmask64{1} << bytes) - 1);
}

VEXA_AVX512 inline __m512i Table(const ByteTable& t, uint32_t j) {
  return _mm512_load_si512(static_cast<const void*>(t[j].data()));
}

// Two 128-bit lanes of a and two of b (the zero-masking form with every
// lane kept: GCC's plain form passes an undefined vector through).
template <int Imm>
VEXA_AVX512 inline __m512i Lanes(__m512i a, __m512i b) {
  return _mm512_maskz_shuffle_i64x2(0xFF, a, b, Imm);
}

struct Channels {
  __m512i red, green, blue;
};

// The channels of sixty-four pixels from an even column, clamped to bytes,
// in the packed order described above. Luma as the table has it:
// x = clamp(Y, 16, 235) - 16, then x * 76392 >> 16 taken as the high half of
// 2x * 38196 (2x is formed by the byte multiply-add, which also separates the
// even and odd pixels); chroma (C - 128) * 26572 >> 16, C - 128 being the
// sample with its top bit flipped, read as signed.
VEXA_AVX512 inline Channels PairRgb(__m512i y8, __m256i v8, __m256i u8) {
  const __m512i x = _mm512_min_epu8(_mm512_subs_epu8(y8, _mm512_set1_epi8(16)), _mm512_set1_epi8(static_cast<char>(219)));
  const __m512i luma = _mm512_set1_epi16(static_cast<int16_t>(kLumaScale / 2));
  const __m512i even = _mm512_mulhi_epu16(_mm512_maddubs_epi16(x, _mm512_set1_epi16(2)), luma);
  const __m512i odd = _mm512_mulhi_epu16(_mm512_maddubs_epi16(x, _mm512_set1_epi16(2 << 8)), luma);
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  const __m512i scale = _mm512_set1_epi16(kChromaScale);
  const __m512i v = _mm512_mulhi_epi16(_mm512_cvtepi8_epi16(_mm256_xor_si256(v8, flip)), scale);
  const __m512i u = _mm512_mulhi_epi16(_mm512_cvtepi8_epi16(_mm256_xor_si256(u8, flip)), scale);
  const __m512i red = _mm512_slli_epi16(v, 2);
  const __m512i green = _mm512_add_epi16(u, _mm512_add_epi16(v, v));  // subtracted
  const __m512i blue = _mm512_add_epi16(_mm512_slli_epi16(u, 2), u);
  return {_mm512_packus_epi16(_mm512_add_epi16(even, red), _mm512_add_epi16(odd, red)),
          _mm512_packus_epi16(_mm512_sub_epi16(even, green), _mm512_sub_epi16(odd, green)),
          _mm512_packus_epi16(_mm512_add_epi16(even, blue), _mm512_add_epi16(odd, blue))};
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
    const Channels ch = PairRgb(y8, v8, u8);
    const __m512i low = Family == FAMILY_RED_HIGH ? ch.blue : ch.red;
    const __m512i high = Family == FAMILY_RED_HIGH ? ch.red : ch.blue;
    const __m512i joined[2] = {Lanes<0x44>(low, ch.green), Lanes<0xEE>(low, ch.green)};
    __m512i top[2] = {high, high};
    if constexpr (Alpha) {
      const __m512i a8 = Partial ? _mm512_maskz_loadu_epi8(pixels, c->a) : _mm512_loadu_si512(c->a);
      top[0] = Lanes<0x44>(high, a8);
      top[1] = Lanes<0xEE>(high, a8);
    }
    for (uint32_t j = 0; j < 4; ++j) {
      const __m512i order = Table(Alpha ? kOut32Alpha : kOut32, j);
      const __m512i px = Alpha ? _mm512_permutex2var_epi8(joined[j / 2], order, top[j / 2])
                               : _mm512_maskz_permutex2var_epi8(kBelowTop, joined[j / 2], order, top[j / 2]);
      if constexpr (Partial) {
        _mm512_mask_storeu_epi8(out + 64 * j, FirstBytes(4 * int64_t(n) - 64 * j), px);
      } else {
        _mm512_storeu_si512(out + 64 * j, px);
      }
    }
  } else {
    const Channels ch = PairRgb(y8, v8, u8);
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
// How many pixels (an even number, so that steps keep starting on pairs) to
// write before the destination reaches a 64-byte boundary; 0 when a pair
// never ends on one.
inline uint32_t YuvPixelsToLine(const uint8_t* dst) {
  const uint32_t gap = static_cast<uint32_t>(-reinterpret_cast<uintptr_t>(dst)) & 63;
  return gap % 4 == 0 ? gap / 2 : 0;
}

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
  // Whole cache lines for the full steps: a span that starts off a line
  // first writes up to the next one.
  if (rest > 2 * kStep) {
    if (const uint32_t lead = YuvPixelsToLine(t.dst)) {
      YuvStep<true>(&t, order, lead);
      Advance(&t, lead, lead / 2, 2);
      rest -= lead;
    }
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
