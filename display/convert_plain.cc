#include "display/convert_plain.h"

namespace {

template <uint32_t Bytes, bool Alpha>
uint32_t ConvertRgb(const CopyContext* c, uint32_t count, uint32_t column) {
  return plain::RgbSpan<Bytes, Alpha>(c, count, column);
}

template <bool Uyvy>
uint32_t ConvertPackedYuv(const CopyContext* c, uint32_t count, uint32_t column) {
  return plain::PackedYuvSpan<Uyvy>(c, count, column);
}

// Width doubled: every source pixel becomes a whole destination pair, its
// luma twice with its pair's U and V.
template <bool Uyvy>
uint32_t ConvertPackedYuvDoubled(const CopyContext* c, uint32_t count, uint32_t column) {
  uint8_t* out = c->dst;
  for (uint32_t i = 0; i < count; ++i, out += 4) {
    const uint32_t k = ((column + i) >> 1) - (column >> 1);
    const uint8_t y = c->y[i];
    if constexpr (Uyvy) {
      out[0] = c->u[k];
      out[1] = y;
      out[2] = c->v[k];
      out[3] = y;
    } else {
      out[0] = y;
      out[1] = c->u[k];
      out[2] = y;
      out[3] = c->v[k];
    }
  }
  return 0;
}

// Planar: the luma bytes, and on rows that carry chroma the V and U samples of
// every pair the span touches.
uint32_t ConvertPlanar(const CopyContext* c, uint32_t count, uint32_t column) {
  if (count == 0) return 0;
  std::memcpy(c->dst, c->y, count);
  if (!c->dst_v) return 0;
  if (!c->dest_parity) {
    const uint32_t pairs = ((column + count - 1) >> 1) - (column >> 1) + 1;
    std::memcpy(c->dst_v, c->v, pairs);
    std::memcpy(c->dst_u, c->u, pairs);
    return 0;
  }
  // Source and destination pairs straddle each other: a destination pair
  // takes the chroma of the pixel on its even column (or of the rectangle's
  // first pixel, at the left edge).
  const uint32_t firstParity = (column ^ c->dest_parity) & 1;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t col = column + i;
    if (((firstParity + i) & 1) == 0 || col == c->first_column) {
      const uint32_t k = (firstParity + i) >> 1;
      c->dst_v[k] = c->v[(col >> 1) - (column >> 1)];
      c->dst_u[k] = c->u[(col >> 1) - (column >> 1)];
    }
  }
  return 0;
}

// Planar, width doubled: every luma byte twice; every source pixel covers one
// destination pair and so writes one byte of each chroma plane.
uint32_t ConvertPlanarDoubled(const CopyContext* c, uint32_t count, uint32_t column) {
  for (uint32_t i = 0; i < count; ++i) {
    c->dst[2 * i] = c->y[i];
    c->dst[2 * i + 1] = c->y[i];
  }
  if (c->dst_v) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t k = ((column + i) >> 1) - (column >> 1);
      c->dst_v[i] = c->v[k];
      c->dst_u[i] = c->u[k];
    }
  }
  return 0;
}

void Pack24(uint8_t* dst, const uint8_t* scratch, uint32_t pixels) {
  for (uint32_t i = 0; i < pixels; ++i, dst += 3, scratch += 4) {
    dst[0] = scratch[0];
    dst[1] = scratch[1];
    dst[2] = scratch[2];
  }
}

void Pack24Doubled(uint8_t* dst, const uint8_t* scratch, uint32_t pixels) {
  for (uint32_t i = 0; i < pixels; ++i, dst += 6, scratch += 4) {
    dst[0] = dst[3] = scratch[0];
    dst[1] = dst[4] = scratch[1];
    dst[2] = dst[5] = scratch[2];
  }
}

template <uint32_t Bytes>
void Doubled(uint8_t* dst, const uint8_t* scratch, uint32_t pixels) {
  for (uint32_t i = 0; i < pixels; ++i, dst += 2 * Bytes, scratch += Bytes) {
    std::memcpy(dst, scratch, Bytes);
    std::memcpy(dst + Bytes, scratch, Bytes);
  }
}

}  // namespace

RowConverter PlainRgbConverter(uint32_t bytes, bool alpha) {
  switch (bytes) {
    case 1: return &ConvertRgb<1, false>;
    case 2: return alpha ? &ConvertRgb<2, true> : &ConvertRgb<2, false>;
    case 4: return alpha ? &ConvertRgb<4, true> : &ConvertRgb<4, false>;
    default: return nullptr;
  }
}

RowConverter PlainPackedYuvConverter(uint32_t type, bool doubledWidth) {
  const bool uyvy = type == 14;
  if (doubledWidth) return uyvy ? &ConvertPackedYuvDoubled<true> : &ConvertPackedYuvDoubled<false>;
  return uyvy ? &ConvertPackedYuv<true> : &ConvertPackedYuv<false>;
}

RowConverter PlainPlanarConverter(bool doubledWidth) {
  return doubledWidth ? &ConvertPlanarDoubled : &ConvertPlanar;
}

SecondStage PlainSecondStage(uint32_t bytes, bool pack24, bool doubled) {
  if (pack24) return doubled ? &Pack24Doubled : &Pack24;
  if (!doubled) return nullptr;
  switch (bytes) {
    case 1: return &Doubled<1>;
    case 2: return &Doubled<2>;
    case 4: return &Doubled<4>;
    default: return nullptr;
  }
}
