// The plain converters: table look-ups, additions and shifts, the reference
// that every vector converter matches byte for byte. The span helpers are
// inline so that the vector converters can finish the odd pixels of a span
// with exactly the same code.
#pragma once
#include <cstdint>
#include <cstring>

#include "display/colour_tables.h"
#include "display/converter.h"

namespace plain {

inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// One RGB pixel from its luma sample and its pair's chroma samples.
inline uint32_t RgbPixel(const PackTables* t, uint8_t y8, uint8_t v8, uint8_t u8, const int16_t* d) {
  const int32_t y = LumaTable[y8];
  const int32_t v = ChromaTable[v8];
  const int32_t u = ChromaTable[u8];
  return t->channel[CHANNEL_RED][kClampBias + y + d[CHANNEL_RED] + 4 * v] |
         t->channel[CHANNEL_GREEN][kClampBias + y + d[CHANNEL_GREEN] - u - 2 * v] |
         t->channel[CHANNEL_BLUE][kClampBias + y + d[CHANNEL_BLUE] + 5 * u];
}

template <uint32_t Bytes, bool Alpha>
inline uint32_t OnePixel(const CopyContext* c, uint32_t i, uint32_t chroma, uint32_t parity) {
  uint32_t p = RgbPixel(c->tables, c->y[i], c->v[chroma], c->u[chroma], c->dither[parity]);
  if constexpr (Alpha) p |= c->tables->alpha[c->a[i]];
  return p;
}

template <uint32_t Bytes>
inline void StorePixel(uint8_t* out, uint32_t p) {
  if constexpr (Bytes == 4) {
    Store32(out, p);
  } else if constexpr (Bytes == 2) {
    Store16(out, p);
  } else {
    *out = static_cast<uint8_t>(p);
  }
}

// Converts pixels [first, first + count) of the span that starts at picture
// column `column` (so pixel i has column parity (column + i) & 1).
template <uint32_t Bytes, bool Alpha>
inline uint32_t RgbSpan(const CopyContext* c, uint32_t count, uint32_t column) {
  uint32_t i = 0;
  uint32_t chroma = 0;
  uint8_t* out = c->dst;
  if (count == 0) return 0;
  if (column & 1) {
    StorePixel<Bytes>(out, OnePixel<Bytes, Alpha>(c, 0, 0, 1));
    out += Bytes;
    i = 1;
    chroma = 1;
  }
  for (; i + 2 <= count; i += 2, ++chroma, out += 2 * Bytes) {
    const uint32_t p0 = OnePixel<Bytes, Alpha>(c, i, chroma, 0);
    const uint32_t p1 = OnePixel<Bytes, Alpha>(c, i + 1, chroma, 1);
    // Two pixels per store where they fit one word.
    if constexpr (Bytes == 4) {
      Store32(out, p0);
      Store32(out + 4, p1);
    } else if constexpr (Bytes == 2) {
      Store32(out, p0 | (p1 << 16));
    } else {
      Store16(out, p0 | (p1 << 8));
    }
  }
  if (i < count) {
    if (count > 1) return 1;  // ends inside a pair: left for the next span
    StorePixel<Bytes>(out, OnePixel<Bytes, Alpha>(c, i, chroma, 0));
  }
  return 0;
}

// The packed YUV types without doubling: Uyvy false writes Y0 U Y1 V, true
// writes U Y0 V Y1. A lone leading odd pixel is written with its V sample, a
// lone single even pixel with its U sample.
template <bool Uyvy>
inline uint32_t PackedYuvSpan(const CopyContext* c, uint32_t count, uint32_t column) {
  uint32_t i = 0;
  uint32_t chroma = 0;
  uint8_t* out = c->dst;
  if (count == 0) return 0;
  if (column & 1) {
    out[Uyvy ? 1 : 0] = c->y[0];
    out[Uyvy ? 0 : 1] = c->v[0];
    out += 2;
    i = 1;
    chroma = 1;
  }
  for (; i + 2 <= count; i += 2, ++chroma, out += 4) {
    if constexpr (Uyvy) {
      out[0] = c->u[chroma];
      out[1] = c->y[i];
      out[2] = c->v[chroma];
      out[3] = c->y[i + 1];
    } else {
      out[0] = c->y[i];
      out[1] = c->u[chroma];
      out[2] = c->y[i + 1];
      out[3] = c->v[chroma];
    }
  }
  if (i < count) {
    if (count > 1) return 1;
    out[Uyvy ? 1 : 0] = c->y[i];
    out[Uyvy ? 0 : 1] = c->u[chroma];
  }
  return 0;
}

}  // namespace plain

// Plain candidates.
RowConverter PlainRgbConverter(uint32_t bytes, bool alpha);  // bytes 1, 2 or 4
RowConverter PlainPackedYuvConverter(uint32_t type, bool doubledWidth);
RowConverter PlainPlanarConverter(bool doubledWidth);

// Second stages: the 24-bit packing and the pixel doubling of the
// width-doubled modes (bytes is the first stage's pixel size).
SecondStage PlainSecondStage(uint32_t bytes, bool pack24, bool doubled);
