#include "display/convert_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "display/convert_plain.h"
#include "display/convert_sse2_kernel.h"

// Everything here is compiled for AVX2 function by function, so the rest of
// the build stays at the baseline instruction set; selection makes sure these
// run only where the processor reports AVX2.
#define VEXA_AVX2 __attribute__((target("avx2")))

namespace {

using sse2::FamilyBytes;
using sse2::kFamilyByte;
using sse2::kFamilyRedHigh;
using sse2::kFamilyRedLow;
using sse2::kFamilyWord16;

VEXA_AVX2 inline __m256i Luma(__m256i y16) {
  const __m256i x = _mm256_sub_epi16(
      _mm256_min_epi16(_mm256_max_epi16(y16, _mm256_set1_epi16(16)), _mm256_set1_epi16(235)),
      _mm256_set1_epi16(16));
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

// Thirty-two pixels (sixteen pairs) per step from an even column.
template <int Family, bool Alpha>
VEXA_AVX2 void RgbKernel(const CopyContext* c, uint32_t blocks) {
  const __m256i dither[3] = {DitherVector(c, 0), DitherVector(c, 1), DitherVector(c, 2)};
  const PixelLayout* l = c->layout;
  __m128i right[3], left[3];
  for (int ch = 0; ch < 3; ++ch) {
    right[ch] = _mm_cvtsi32_si128(l->shiftRight[ch]);
    left[ch] = _mm_cvtsi32_si128(l->shiftLeft[ch]);
  }
  [[maybe_unused]] const __m128i alphaLeft = _mm_cvtsi32_si128(l->alphaShift);
  [[maybe_unused]] const __m256i alphaMask = _mm256_set1_epi16(static_cast<int16_t>(l->alphaMask & 0xFFFF));
  constexpr uint32_t kBytes = FamilyBytes(Family);
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint8_t* ys = c->y + 32 * b;
    uint8_t* out = c->dst + 32 * b * kBytes;
    const __m256i y8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ys));
    const __m256i v = Chroma(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c->v + 16 * b))));
    const __m256i u = Chroma(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c->u + 16 * b))));
    const __m256i termPair[3] = {
        _mm256_slli_epi16(v, 2),
        _mm256_sub_epi16(_mm256_setzero_si256(), _mm256_add_epi16(u, _mm256_slli_epi16(v, 1))),
        _mm256_add_epi16(_mm256_slli_epi16(u, 2), u)};
    // Spread each pair's term over its two pixels, in pixel order.
    __m256i terms[2][3];
    for (int ch = 0; ch < 3; ++ch) {
      const __m256i lo = _mm256_unpacklo_epi16(termPair[ch], termPair[ch]);
      const __m256i hi = _mm256_unpackhi_epi16(termPair[ch], termPair[ch]);
      terms[0][ch] = _mm256_permute2x128_si256(lo, hi, 0x20);
      terms[1][ch] = _mm256_permute2x128_si256(lo, hi, 0x31);
    }
    __m256i a8 = _mm256_setzero_si256();
    if constexpr (Alpha) a8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c->a + 32 * b));
    [[maybe_unused]] __m256i packed[2];
    for (int half = 0; half < 2; ++half) {
      const __m128i yh = half == 0 ? _mm256_castsi256_si128(y8) : _mm256_extracti128_si256(y8, 1);
      const __m256i y = Luma(_mm256_cvtepu8_epi16(yh));
      __m256i rgb[3];
      for (int ch = 0; ch < 3; ++ch) {
        rgb[ch] = Clamp255(_mm256_add_epi16(_mm256_add_epi16(y, dither[ch]), terms[half][ch]));
      }
      __m256i a16 = _mm256_setzero_si256();
      if constexpr (Alpha) {
        a16 = _mm256_cvtepu8_epi16(half == 0 ? _mm256_castsi256_si128(a8) : _mm256_extracti128_si256(a8, 1));
      }
      if constexpr (Family == kFamilyRedHigh || Family == kFamilyRedLow) {
        const __m256i low = Family == kFamilyRedHigh ? rgb[2] : rgb[0];
        const __m256i high = Family == kFamilyRedHigh ? rgb[0] : rgb[2];
        const __m256i lowPair = _mm256_or_si256(low, _mm256_slli_epi16(rgb[1], 8));
        const __m256i highPair = Alpha ? _mm256_or_si256(high, _mm256_slli_epi16(a16, 8)) : high;
        const __m256i p0 = _mm256_unpacklo_epi16(lowPair, highPair);  // pixels 0-3, 8-11
        const __m256i p1 = _mm256_unpackhi_epi16(lowPair, highPair);  // pixels 4-7, 12-15
        __m256i* o = reinterpret_cast<__m256i*>(out + 64 * half);
        _mm256_storeu_si256(o, _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(p0, p1, 0x31));
      } else {
        __m256i p = _mm256_sll_epi16(_mm256_srl_epi16(rgb[0], right[0]), left[0]);
        p = _mm256_or_si256(p, _mm256_sll_epi16(_mm256_srl_epi16(rgb[1], right[1]), left[1]));
        p = _mm256_or_si256(p, _mm256_sll_epi16(_mm256_srl_epi16(rgb[2], right[2]), left[2]));
        if constexpr (Alpha) p = _mm256_or_si256(p, _mm256_and_si256(_mm256_sll_epi16(a16, alphaLeft), alphaMask));
        packed[half] = p;
      }
    }
    if constexpr (Family == kFamilyWord16) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed[0]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), packed[1]);
    } else if constexpr (Family == kFamilyByte) {
      const __m256i bytes = _mm256_packus_epi16(packed[0], packed[1]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute4x64_epi64(bytes, 0xD8));
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

}  // namespace

RowConverter Avx2RgbConverter(uint32_t type, bool alpha) {
  switch (type) {
    case 0: return &ConvertRgb<kFamilyByte, false>;
    case 1: case 3: case 5:
      return alpha ? &ConvertRgb<kFamilyRedHigh, true> : &ConvertRgb<kFamilyRedHigh, false>;
    case 2: case 4: case 6:
      return alpha ? &ConvertRgb<kFamilyRedLow, true> : &ConvertRgb<kFamilyRedLow, false>;
    case 7: case 8: case 9: case 10: case 11: case 12:
      return alpha ? &ConvertRgb<kFamilyWord16, true> : &ConvertRgb<kFamilyWord16, false>;
    default: return nullptr;
  }
}

#else

RowConverter Avx2RgbConverter(uint32_t, bool) { return nullptr; }

#endif
