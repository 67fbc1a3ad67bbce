#include "display/convert_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstring>

#include "display/convert_plain.h"
#include "display/convert_sse2_kernel.h"

// Everything here is compiled for AVX2 function by function, so the rest of
// the build stays at the baseline instruction set; selection makes sure these
// run only where the processor reports AVX2.
#define VEXA_AVX2 __attribute__((target("avx2")))

namespace {

using sse2::FamilyBytes;
using sse2::FAMILY_BYTE;
using sse2::FAMILY_RED_HIGH;
using sse2::FAMILY_RED_LOW;
using sse2::FAMILY_WORD16;

// clamp(Y, 16, 235) - 16 on the bytes, thirty-two samples at once.
VEXA_AVX2 inline __m256i LumaOffset(__m256i y8) {
  return _mm256_min_epu8(_mm256_subs_epu8(y8, _mm256_set1_epi8(16)), _mm256_set1_epi8(static_cast<char>(219)));
}

// The luma table's value from an offset sample widened to 16 bits.
VEXA_AVX2 inline __m256i Luma(__m256i x) {
  return _mm256_add_epi16(x, _mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<int16_t>(kLumaScale - 65536))));
}

VEXA_AVX2 inline __m256i Chroma(__m256i c16) {
  return _mm256_mulhi_epi16(_mm256_sub_epi16(c16, _mm256_set1_epi16(128)), _mm256_set1_epi16(kChromaScale));
}

VEXA_AVX2 inline __m256i Clamp255(__m256i x) {
  return _mm256_min_epi16(_mm256_max_epi16(x, _mm256_setzero_si256()), _mm256_set1_epi16(255));
}

VEXA_AVX2 inline __m256i DitherVector(const CopyContext* c, int channel) {
  const uint32_t e = static_cast<uint16_t>(c->dither[0][channel]);
  const uint32_t o = static_cast<uint16_t>(c->dither[1][channel]);
  return _mm256_set1_epi32(static_cast<int32_t>(e | (o << 16)));
}

// The channels of thirty-two pixels of the 24/32-bit types, clamped to
// bytes, lane k holding pixels 16k..16k+15 in order. Luma is split into the
// even and the odd pixel of each pair as 16-bit lanes (the byte multiply-add
// by 2 gives 2x, whose high half of a product with 38196 is the luma table's
// x * 76392 >> 16), so that a pair's chroma terms meet both its pixels
// without being spread; chroma is (C - 128) * 26572 >> 16, C - 128 being the
// sample with its top bit flipped, read as signed. The saturating pack is the
// clamp; it leaves each lane's even pixels in bytes 0-7 and its odd pixels in
// bytes 8-15, which one byte shuffle interleaves.
VEXA_AVX2 inline void PairChannels(const uint8_t* y, const uint8_t* v8, const uint8_t* u8, __m256i* red,
                                   __m256i* green, __m256i* blue) {
  const __m256i x = LumaOffset(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y)));
  const __m256i luma = _mm256_set1_epi16(static_cast<int16_t>(kLumaScale / 2));
  const __m256i even = _mm256_mulhi_epu16(_mm256_maddubs_epi16(x, _mm256_set1_epi16(2)), luma);
  const __m256i odd = _mm256_mulhi_epu16(_mm256_maddubs_epi16(x, _mm256_set1_epi16(2 << 8)), luma);
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m256i scale = _mm256_set1_epi16(kChromaScale);
  const __m256i v = _mm256_mulhi_epi16(
      _mm256_cvtepi8_epi16(_mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v8)), flip)), scale);
  const __m256i u = _mm256_mulhi_epi16(
      _mm256_cvtepi8_epi16(_mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u8)), flip)), scale);
  const __m256i r = _mm256_slli_epi16(v, 2);
  const __m256i g = _mm256_add_epi16(u, _mm256_add_epi16(v, v));  // subtracted
  const __m256i bl = _mm256_add_epi16(_mm256_slli_epi16(u, 2), u);
  const __m256i order = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,  //
                                         0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
  *red = _mm256_shuffle_epi8(_mm256_packus_epi16(_mm256_add_epi16(even, r), _mm256_add_epi16(odd, r)), order);
  *green = _mm256_shuffle_epi8(_mm256_packus_epi16(_mm256_sub_epi16(even, g), _mm256_sub_epi16(odd, g)), order);
  *blue = _mm256_shuffle_epi8(_mm256_packus_epi16(_mm256_add_epi16(even, bl), _mm256_add_epi16(odd, bl)), order);
}

// Eight 32-bit pixels stored as twenty-four bytes: a byte shuffle packs each
// lane's four pixels into its low twelve bytes and a dword permute closes the
// gap. Last says whether the next eight bytes are still to be written by
// the caller; if not, the store is split so that it ends with the pixels.
template <bool Last>
VEXA_AVX2 inline void Store24(uint8_t* out, __m256i eight) {
  const __m256i order = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                         0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i packed =
      _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(eight, order), _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  if constexpr (Last) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
  } else {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
  }
}

// Thirty-two pixels (sixteen pairs) per step from an even column. The work
// is done in the order the in-lane unpacks give: half 0 holds pixels 0-7 and
// 16-23, half 1 pixels 8-15 and 24-31, so that spreading a pair's chroma
// over its two pixels needs no lane crossing; the stores put pixels back in
// order. Out24 writes the 24/32-bit families' pixels as three bytes each.
template <int Family, bool Alpha, bool Out24 = false>
VEXA_AVX2 void RgbKernel(const CopyContext* c, uint32_t blocks) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i dither[3] = {DitherVector(c, 0), DitherVector(c, 1), DitherVector(c, 2)};
  const PixelLayout* l = c->layout;
  __m128i right[3], left[3];
  for (int ch = 0; ch < 3; ++ch) {
    right[ch] = _mm_cvtsi32_si128(l->shift_right[ch]);
    left[ch] = _mm_cvtsi32_si128(l->shift_left[ch]);
  }
  [[maybe_unused]] const __m128i alphaLeft = _mm_cvtsi32_si128(l->alpha_shift);
  [[maybe_unused]] const __m256i alphaMask = _mm256_set1_epi16(static_cast<int16_t>(l->alpha_mask & 0xFFFF));
  constexpr uint32_t kBytes = Out24 ? 3 : FamilyBytes(Family);
  for (uint32_t b = 0; b < blocks; ++b) {
    uint8_t* out = c->dst + 32 * b * kBytes;
    const __m256i y8 = LumaOffset(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->y + 32 * b)));
    // Chroma of pairs 0-7 in lane 0 and 8-15 in lane 1.
    const __m256i v = Chroma(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c->v + 16 * b))));
    const __m256i u = Chroma(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c->u + 16 * b))));
    const __m256i termPair[3] = {
        _mm256_slli_epi16(v, 2),
        _mm256_sub_epi16(zero, _mm256_add_epi16(u, _mm256_slli_epi16(v, 1))),
        _mm256_add_epi16(_mm256_slli_epi16(u, 2), u)};
    __m256i a8 = zero;
    if constexpr (Alpha) a8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->a + 32 * b));
    if constexpr (Family == FAMILY_RED_HIGH || Family == FAMILY_RED_LOW) {
      // 24/32-bit types have no dither: see PairChannels.
      __m256i red, green, blue;
      PairChannels(c->y + 32 * b, c->v + 16 * b, c->u + 16 * b, &red, &green, &blue);
      const __m256i low = Family == FAMILY_RED_HIGH ? blue : red;
      const __m256i high = Family == FAMILY_RED_HIGH ? red : blue;
      const __m256i top = Alpha ? a8 : zero;
      const __m256i lowLo = _mm256_unpacklo_epi8(low, green);  // pixels 0-7, 16-23
      const __m256i lowHi = _mm256_unpackhi_epi8(low, green);  // pixels 8-15, 24-31
      const __m256i highLo = _mm256_unpacklo_epi8(high, top);
      const __m256i highHi = _mm256_unpackhi_epi8(high, top);
      const __m256i w0 = _mm256_unpacklo_epi16(lowLo, highLo);  // pixels 0-3, 16-19
      const __m256i w1 = _mm256_unpackhi_epi16(lowLo, highLo);  // pixels 4-7, 20-23
      const __m256i w2 = _mm256_unpacklo_epi16(lowHi, highHi);  // pixels 8-11, 24-27
      const __m256i w3 = _mm256_unpackhi_epi16(lowHi, highHi);  // pixels 12-15, 28-31
      if constexpr (Out24) {
        Store24<false>(out, _mm256_permute2x128_si256(w0, w1, 0x20));
        Store24<false>(out + 24, _mm256_permute2x128_si256(w2, w3, 0x20));
        Store24<false>(out + 48, _mm256_permute2x128_si256(w0, w1, 0x31));
        Store24<true>(out + 72, _mm256_permute2x128_si256(w2, w3, 0x31));
        continue;
      }
      __m256i* o = reinterpret_cast<__m256i*>(out);
      _mm256_storeu_si256(o, _mm256_permute2x128_si256(w0, w1, 0x20));
      _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(w2, w3, 0x20));
      _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(w0, w1, 0x31));
      _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(w2, w3, 0x31));
      continue;
    }
    __m256i packed[2];
    for (int half = 0; half < 2; ++half) {
      const __m256i y = Luma(half == 0 ? _mm256_unpacklo_epi8(y8, zero) : _mm256_unpackhi_epi8(y8, zero));
      // The 16-bit types share one dither set over the three channels.
      const __m256i yd = Family == FAMILY_WORD16 ? _mm256_add_epi16(y, dither[0]) : y;
      __m256i rgb[3];
      for (int ch = 0; ch < 3; ++ch) {
        const __m256i term = half == 0 ? _mm256_unpacklo_epi16(termPair[ch], termPair[ch])
                                       : _mm256_unpackhi_epi16(termPair[ch], termPair[ch]);
        const __m256i base = Family == FAMILY_WORD16 ? yd : _mm256_add_epi16(y, dither[ch]);
        rgb[ch] = Clamp255(_mm256_add_epi16(base, term));
      }
      __m256i p = _mm256_sll_epi16(_mm256_srl_epi16(rgb[0], right[0]), left[0]);
      p = _mm256_or_si256(p, _mm256_sll_epi16(_mm256_srl_epi16(rgb[1], right[1]), left[1]));
      p = _mm256_or_si256(p, _mm256_sll_epi16(_mm256_srl_epi16(rgb[2], right[2]), left[2]));
      if constexpr (Alpha) {
        const __m256i a16 = half == 0 ? _mm256_unpacklo_epi8(a8, zero) : _mm256_unpackhi_epi8(a8, zero);
        p = _mm256_or_si256(p, _mm256_and_si256(_mm256_sll_epi16(a16, alphaLeft), alphaMask));
      }
      packed[half] = p;  // half 0: pixels 0-7, 16-23; half 1: 8-15, 24-31
    }
    __m256i* o = reinterpret_cast<__m256i*>(out);
    if constexpr (Family == FAMILY_WORD16) {
      _mm256_storeu_si256(o, _mm256_permute2x128_si256(packed[0], packed[1], 0x20));
      _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(packed[0], packed[1], 0x31));
    } else {
      // In-lane packing puts the bytes straight back in pixel order.
      _mm256_storeu_si256(o, _mm256_packus_epi16(packed[0], packed[1]));
    }
  }
}

template <int Family, bool Alpha>
VEXA_AVX2 uint32_t ConvertRgb(const CopyContext* c, uint32_t count, uint32_t column) {
  constexpr uint32_t kBytes = FamilyBytes(Family);
  if (count == 0) return 0;
  CopyContext t = *c;
  uint32_t done = 0;
  if (column & 1) {
    plain::RgbSpan<kBytes, Alpha>(&t, 1, column);
    sse2::Advance(&t, 1, 1, kBytes);
    done = 1;
  }
  const uint32_t blocks = (count - done) / 32;
  if (blocks != 0) {
    RgbKernel<Family, Alpha>(&t, blocks);
    sse2::Advance(&t, blocks * 32, blocks * 16, kBytes);
    done += blocks * 32;
  }
  if (count - done >= 16) {
    sse2::RgbKernel<Family, Alpha>(&t, 1);
    sse2::Advance(&t, 16, 8, kBytes);
    done += 16;
  }
  const uint32_t rest = count - done;
  if (rest == 0) return 0;
  if (rest == 1 && count > 1) return 1;
  return plain::RgbSpan<kBytes, Alpha>(&t, rest, column + done);
}

// Up to thirty-two pixels through the plain code, as 32-bit pixels into a
// buffer and then their three low bytes.
uint32_t PlainSpan24(const CopyContext* c, uint32_t count, uint32_t column) {
  uint8_t pixels[4 * 32];
  CopyContext t = *c;
  t.dst = pixels;
  const uint32_t left = plain::RgbSpan<4, false>(&t, count, column);
  for (uint32_t i = 0; i < count - left; ++i) std::memcpy(c->dst + 3 * i, pixels + 4 * i, 3);
  return left;
}

// The 24-bit types in one stage, thirty-two pixels per step.
template <int Family>
VEXA_AVX2 uint32_t ConvertRgb24(const CopyContext* c, uint32_t count, uint32_t column) {
  if (count == 0) return 0;
  CopyContext t = *c;
  uint32_t done = 0;
  if (column & 1) {
    PlainSpan24(&t, 1, column);
    sse2::Advance(&t, 1, 1, 3);
    done = 1;
  }
  const uint32_t blocks = (count - done) / 32;
  if (blocks != 0) {
    RgbKernel<Family, false, true>(&t, blocks);
    sse2::Advance(&t, blocks * 32, blocks * 16, 3);
    done += blocks * 32;
  }
  const uint32_t rest = count - done;
  if (rest == 0) return 0;
  if (rest == 1 && count > 1) return 1;
  return PlainSpan24(&t, rest, column + done);
}

// Packed YUV, thirty-two pixels per step: the chroma pairs of each half are
// interleaved in the lane that holds that half's luma, so one in-lane unpack
// of luma with chroma gives the pixel order within each lane.
template <bool Uyvy>
VEXA_AVX2 uint32_t ConvertPackedYuv(const CopyContext* c, uint32_t count, uint32_t column) {
  if (count == 0) return 0;
  CopyContext t = *c;
  uint32_t done = 0;
  if (column & 1) {
    plain::PackedYuvSpan<Uyvy>(&t, 1, column);
    sse2::Advance(&t, 1, 1, 2);
    done = 1;
  }
  const uint32_t blocks = (count - done) / 32;
  for (uint32_t b = 0; b < blocks; ++b) {
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t.y + 32 * b));
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.u + 16 * b));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.v + 16 * b));
    const __m256i uv = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi8(u, v)),
                                               _mm_unpackhi_epi8(u, v), 1);  // pairs 0-7 | 8-15
    const __m256i lo = Uyvy ? _mm256_unpacklo_epi8(uv, y) : _mm256_unpacklo_epi8(y, uv);  // pixels 0-7 | 16-23
    const __m256i hi = Uyvy ? _mm256_unpackhi_epi8(uv, y) : _mm256_unpackhi_epi8(y, uv);  // pixels 8-15 | 24-31
    __m256i* out = reinterpret_cast<__m256i*>(t.dst + 64 * b);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  sse2::Advance(&t, blocks * 32, blocks * 16, 2);
  done += blocks * 32;
  const uint32_t rest = count - done;
  if (rest == 0) return 0;
  if (rest == 1 && count > 1) return 1;
  return plain::PackedYuvSpan<Uyvy>(&t, rest, column + done);
}

}  // namespace

RowConverter Avx2Rgb24Converter(uint32_t type) {
  if (type == 1) return &ConvertRgb24<FAMILY_RED_HIGH>;
  if (type == 2) return &ConvertRgb24<FAMILY_RED_LOW>;
  return nullptr;
}

RowConverter Avx2PackedYuvConverter(uint32_t type) {
  if (type == 13) return &ConvertPackedYuv<false>;
  if (type == 14) return &ConvertPackedYuv<true>;
  return nullptr;
}

RowConverter Avx2RgbConverter(uint32_t type, bool alpha) {
  switch (type) {
    case 0: return &ConvertRgb<FAMILY_BYTE, false>;
    case 1: case 3: case 5:
      return alpha ? &ConvertRgb<FAMILY_RED_HIGH, true> : &ConvertRgb<FAMILY_RED_HIGH, false>;
    case 2: case 4: case 6:
      return alpha ? &ConvertRgb<FAMILY_RED_LOW, true> : &ConvertRgb<FAMILY_RED_LOW, false>;
    case 7: case 8: case 9: case 10: case 11: case 12:
      return alpha ? &ConvertRgb<FAMILY_WORD16, true> : &ConvertRgb<FAMILY_WORD16, false>;
    default: return nullptr;
  }
}

#else

RowConverter Avx2RgbConverter(uint32_t, bool) { return nullptr; }
RowConverter Avx2PackedYuvConverter(uint32_t) { return nullptr; }
RowConverter Avx2Rgb24Converter(uint32_t) { return nullptr; }

#endif
