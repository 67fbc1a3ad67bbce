#include "display/convert_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#include <tmmintrin.h>

#include "display/convert_plain.h"
#include "display/convert_sse2_kernel.h"

namespace {

using namespace sse2;

// A span converter around the 16-pixel kernel: the leading odd pixel and the
// tail go through the plain code, so the result is the plain one.
template <int Family, bool Alpha>
uint32_t ConvertRgb(const CopyContext* c, uint32_t count, uint32_t column) {
  constexpr uint32_t kBytes = FamilyBytes(Family);
  if (count == 0) return 0;
  CopyContext t = *c;
  uint32_t done = 0;
  if (column & 1) {
    plain::RgbSpan<kBytes, Alpha>(&t, 1, column);
    Advance(&t, 1, 1, kBytes);
    done = 1;
  }
  const uint32_t blocks = (count - done) / 16;
  if (blocks != 0) {
    RgbKernel<Family, Alpha>(&t, blocks);
    Advance(&t, blocks * 16, blocks * 8, kBytes);
    done += blocks * 16;
  }
  const uint32_t rest = count - done;
  if (rest == 0) return 0;
  if (rest == 1 && count > 1) return 1;
  return plain::RgbSpan<kBytes, Alpha>(&t, rest, column + done);
}

template <bool Uyvy>
uint32_t ConvertPackedYuv(const CopyContext* c, uint32_t count, uint32_t column) {
  if (count == 0) return 0;
  CopyContext t = *c;
  uint32_t done = 0;
  if (column & 1) {
    plain::PackedYuvSpan<Uyvy>(&t, 1, column);
    Advance(&t, 1, 1, 2);
    done = 1;
  }
  const uint32_t blocks = (count - done) / 16;
  for (uint32_t b = 0; b < blocks; ++b) {
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.y + 16 * b));
    const __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t.u + 8 * b));
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(t.v + 8 * b));
    const __m128i uv = _mm_unpacklo_epi8(u, v);  // U0 V0 U1 V1 ...
    __m128i* out = reinterpret_cast<__m128i*>(t.dst + 32 * b);
    if constexpr (Uyvy) {
      _mm_storeu_si128(out, _mm_unpacklo_epi8(uv, y));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi8(uv, y));
    } else {
      _mm_storeu_si128(out, _mm_unpacklo_epi8(y, uv));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi8(y, uv));
    }
  }
  Advance(&t, blocks * 16, blocks * 8, 2);
  done += blocks * 16;
  const uint32_t rest = count - done;
  if (rest == 0) return 0;
  if (rest == 1 && count > 1) return 1;
  return plain::PackedYuvSpan<Uyvy>(&t, rest, column + done);
}

// Four pixels per shuffle; each 16-byte store also writes four bytes past its
// twelve, which the next store (or the byte loop) overwrites, so the loop
// stops while a whole store still fits inside the span.
__attribute__((target("ssse3"))) void Pack24(uint8_t* dst, const uint8_t* scratch, uint32_t pixels) {
  const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  uint32_t i = 0;
  for (; i + 8 <= pixels; i += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scratch + 4 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * i), _mm_shuffle_epi8(four, order));
  }
  for (; i < pixels; ++i) {
    dst[3 * i] = scratch[4 * i];
    dst[3 * i + 1] = scratch[4 * i + 1];
    dst[3 * i + 2] = scratch[4 * i + 2];
  }
}

}  // namespace

SecondStage Ssse3Pack24Stage() { return &Pack24; }

RowConverter Sse2RgbConverter(uint32_t type, bool alpha) {
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

RowConverter Sse2PackedYuvConverter(uint32_t type) {
  if (type == 13) return &ConvertPackedYuv<false>;
  if (type == 14) return &ConvertPackedYuv<true>;
  return nullptr;
}

#else

RowConverter Sse2RgbConverter(uint32_t, bool) { return nullptr; }
RowConverter Sse2PackedYuvConverter(uint32_t) { return nullptr; }
SecondStage Ssse3Pack24Stage() { return nullptr; }

#endif
