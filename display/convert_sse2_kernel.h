// The SSE2 colour kernel: sixteen pixels (eight chroma pairs) per step, all
// arithmetic in 16-bit lanes. It evaluates the same equations as the tables:
//   luma  = x + (x * 10856 >> 16), x = clamp(Y, 16, 235) - 16
//           (that is floor(x * 76392 / 65536), the luma table)
//   chroma = (C - 128) * 26572 >> 16 (signed high half: the chroma table)
// and clamps the channel sums to 0-255 before dropping bits, so the packed
// pixels equal those of the plain converters.
#pragma once
#include <emmintrin.h>

#include <cstdint>

#include "display/colour_tables.h"
#include "display/converter.h"

namespace sse2 {

enum : int { FAMILY_RED_HIGH = 0, FAMILY_RED_LOW = 1, FAMILY_WORD16 = 2, FAMILY_BYTE = 3 };

constexpr uint32_t FamilyBytes(int family) {
  return family == FAMILY_WORD16 ? 2u : (family == FAMILY_BYTE ? 1u : 4u);
}

inline void Advance(CopyContext* c, uint32_t pixels, uint32_t pairs, uint32_t bytes) {
  c->y += pixels;
  if (c->a) c->a += pixels;
  c->v += pairs;
  c->u += pairs;
  c->dst += pixels * bytes;
}

inline __m128i Luma(__m128i y16) {
  const __m128i x = _mm_sub_epi16(
      _mm_min_epi16(_mm_max_epi16(y16, _mm_set1_epi16(16)), _mm_set1_epi16(235)), _mm_set1_epi16(16));
  return _mm_add_epi16(x, _mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<int16_t>(kLumaScale - 65536))));
}

inline __m128i Chroma(__m128i c16) {
  return _mm_mulhi_epi16(_mm_sub_epi16(c16, _mm_set1_epi16(128)), _mm_set1_epi16(kChromaScale));
}

inline __m128i Clamp255(__m128i x) {
  return _mm_min_epi16(_mm_max_epi16(x, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// Lanes alternate the even-column and odd-column offsets.
inline __m128i DitherVector(const CopyContext* c, int channel) {
  const int16_t e = c->dither[0][channel];
  const int16_t o = c->dither[1][channel];
  return _mm_set_epi16(o, e, o, e, o, e, o, e);
}

struct Shifts {
  __m128i right[3];
  __m128i left[3];
  __m128i alpha_left;
  __m128i alpha_mask;
};

inline Shifts MakeShifts(const CopyContext* c, const PixelLayout* l) {
  Shifts s;
  for (int ch = 0; ch < 3; ++ch) {
    s.right[ch] = _mm_cvtsi32_si128(l->shift_right[ch]);
    s.left[ch] = _mm_cvtsi32_si128(l->shift_left[ch]);
  }
  s.alpha_left = _mm_cvtsi32_si128(l->alpha_shift);
  s.alpha_mask = _mm_set1_epi16(static_cast<int16_t>(l->alpha_mask & 0xFFFF));
  return s;
}

// Eight pixels in 16-bit lanes packed into 16-bit words.
inline __m128i PackWord16(const __m128i rgb[3], const Shifts& s) {
  __m128i p = _mm_sll_epi16(_mm_srl_epi16(rgb[0], s.right[0]), s.left[0]);
  p = _mm_or_si128(p, _mm_sll_epi16(_mm_srl_epi16(rgb[1], s.right[1]), s.left[1]));
  return _mm_or_si128(p, _mm_sll_epi16(_mm_srl_epi16(rgb[2], s.right[2]), s.left[2]));
}

// Converts blocks x 16 pixels starting at an even column.
template <int Family, bool Alpha>
inline void RgbKernel(const CopyContext* c, uint32_t blocks) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i dither[3] = {DitherVector(c, 0), DitherVector(c, 1), DitherVector(c, 2)};
  [[maybe_unused]] const Shifts shifts = MakeShifts(c, c->layout);
  const uint8_t* ys = c->y;
  const uint8_t* vs = c->v;
  const uint8_t* us = c->u;
  [[maybe_unused]] const uint8_t* as = c->a;
  uint8_t* out = c->dst;
  for (uint32_t b = 0; b < blocks; ++b, ys += 16, vs += 8, us += 8, out += 16 * FamilyBytes(Family)) {
    const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys));
    const __m128i v = Chroma(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(vs)), zero));
    const __m128i u = Chroma(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(us)), zero));
    // Chroma terms of the eight pairs, each then spread over its two pixels.
    const __m128i red = _mm_slli_epi16(v, 2);
    const __m128i green = _mm_sub_epi16(_mm_setzero_si128(), _mm_add_epi16(u, _mm_slli_epi16(v, 1)));
    const __m128i blue = _mm_add_epi16(_mm_slli_epi16(u, 2), u);
    const __m128i terms[2][3] = {
        {_mm_unpacklo_epi16(red, red), _mm_unpacklo_epi16(green, green), _mm_unpacklo_epi16(blue, blue)},
        {_mm_unpackhi_epi16(red, red), _mm_unpackhi_epi16(green, green), _mm_unpackhi_epi16(blue, blue)}};
    __m128i a8 = zero;
    if constexpr (Alpha) a8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(as + 16 * b));
    if constexpr (Family == FAMILY_RED_HIGH || Family == FAMILY_RED_LOW) {
      // No dither in the 24/32-bit types; the saturating pack is the clamp.
      __m128i sum[2][3];
      for (int half = 0; half < 2; ++half) {
        const __m128i y = Luma(half == 0 ? _mm_unpacklo_epi8(y8, zero) : _mm_unpackhi_epi8(y8, zero));
        for (int ch = 0; ch < 3; ++ch) sum[half][ch] = _mm_add_epi16(y, terms[half][ch]);
      }
      const __m128i red = _mm_packus_epi16(sum[0][0], sum[1][0]);
      const __m128i green = _mm_packus_epi16(sum[0][1], sum[1][1]);
      const __m128i blue = _mm_packus_epi16(sum[0][2], sum[1][2]);
      const __m128i low = Family == FAMILY_RED_HIGH ? blue : red;
      const __m128i high = Family == FAMILY_RED_HIGH ? red : blue;
      const __m128i top = Alpha ? a8 : zero;
      const __m128i lowLo = _mm_unpacklo_epi8(low, green), lowHi = _mm_unpackhi_epi8(low, green);
      const __m128i highLo = _mm_unpacklo_epi8(high, top), highHi = _mm_unpackhi_epi8(high, top);
      __m128i* o = reinterpret_cast<__m128i*>(out);
      _mm_storeu_si128(o, _mm_unpacklo_epi16(lowLo, highLo));
      _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(lowLo, highLo));
      _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(lowHi, highHi));
      _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(lowHi, highHi));
      continue;
    }
    __m128i packed[2];
    for (int half = 0; half < 2; ++half) {
      const __m128i y = Luma(half == 0 ? _mm_unpacklo_epi8(y8, zero) : _mm_unpackhi_epi8(y8, zero));
      // The 16-bit types share one dither set over the three channels.
      const __m128i yd = Family == FAMILY_WORD16 ? _mm_add_epi16(y, dither[0]) : y;
      __m128i rgb[3];
      for (int ch = 0; ch < 3; ++ch) {
        const __m128i base = Family == FAMILY_WORD16 ? yd : _mm_add_epi16(y, dither[ch]);
        rgb[ch] = Clamp255(_mm_add_epi16(base, terms[half][ch]));
      }
      __m128i p = PackWord16(rgb, shifts);
      if constexpr (Alpha) {
        const __m128i a16 = half == 0 ? _mm_unpacklo_epi8(a8, zero) : _mm_unpackhi_epi8(a8, zero);
        p = _mm_or_si128(p, _mm_and_si128(_mm_sll_epi16(a16, shifts.alpha_left), shifts.alpha_mask));
      }
      packed[half] = p;
    }
    if constexpr (Family == FAMILY_WORD16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed[0]);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), packed[1]);
    } else if constexpr (Family == FAMILY_BYTE) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(packed[0], packed[1]));
    }
  }
}

}  // namespace sse2
