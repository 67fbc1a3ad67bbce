#include "video/inverse_transform.h"

#include <cstring>

namespace {

// Arithmetic right shift of a wrapped 32-bit value.
inline uint32_t Sar(uint32_t x, int n) { return uint32_t(int32_t(x) >> n); }

// One-dimensional transform of s[0], s[stride], ..., s[7 * stride] into
// o[0], o[ostride], ... Every sum and product wraps modulo 2^32.
inline void Transform8(const uint32_t* s, int stride, uint32_t* o, int ostride) {
  const uint32_t s0 = s[0], s1 = s[stride], s2 = s[2 * stride], s3 = s[3 * stride];
  const uint32_t s4 = s[4 * stride], s5 = s[5 * stride], s6 = s[6 * stride], s7 = s[7 * stride];
  const uint32_t a0 = s0 + s4;
  const uint32_t a1 = s0 - s4;
  const uint32_t a2 = s2 + s6;
  const uint32_t a3 = Sar((s2 - s6) * 2896u, 11);
  const uint32_t a4 = s5 + s3;
  const uint32_t a5 = s5 - s3;
  const uint32_t a6 = s1 + s7;
  const uint32_t a7 = s1 - s7;
  const uint32_t b0 = a4 + a6;
  const uint32_t b1 = Sar((a5 + a7) * 3784u, 11);
  const uint32_t b2 = Sar(a5 * uint32_t(-5352), 11) - b0 + b1;
  const uint32_t b3 = Sar((a6 - a4) * 2896u, 11) - b2;
  const uint32_t b4 = Sar(a7 * 2217u, 11) + b3 - b1;
  o[0] = a0 + a2 + b0;
  o[ostride] = a1 + a3 - a2 + b2;
  o[2 * ostride] = a1 - a3 + a2 + b3;
  o[3 * ostride] = a0 - a2 - b4;
  o[4 * ostride] = a0 - a2 + b4;
  o[5 * ostride] = a1 - a3 + a2 - b3;
  o[6 * ostride] = a1 + a3 - a2 - b2;
  o[7 * ostride] = a0 + a2 - b0;
}

// Dequantise and run the column pass into tmp (natural order).
inline void ColumnPass(const int16_t block[64], const uint32_t quant[64], uint32_t tmp[64]) {
  for (int c = 0; c < 8; ++c) {
    bool ac = false;
    for (int r = 1; r < 8; ++r) ac |= block[r * 8 + c] != 0;
    if (!ac) {
      const uint32_t dc = Sar(uint32_t(int32_t(block[c])) * quant[c], 11);
      for (int r = 0; r < 8; ++r) tmp[r * 8 + c] = dc;
      continue;
    }
    uint32_t s[8];
    for (int r = 0; r < 8; ++r) s[r] = Sar(uint32_t(int32_t(block[r * 8 + c])) * quant[r * 8 + c], 11);
    Transform8(s, 1, tmp + c, 8);
  }
}

// Row pass: the eight pixel values of row r, (out + 127) >> 8, low 8 bits.
inline void RowPass(const uint32_t tmp[64], int r, uint8_t v[8]) {
  uint32_t o[8];
  Transform8(tmp + r * 8, 1, o, 1);
  for (int c = 0; c < 8; ++c) v[c] = uint8_t(Sar(o[c] + 127u, 8));
}

}  // namespace

void InverseTransform(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]) {
  uint32_t tmp[64];
  ColumnPass(block, quant, tmp);
  for (int r = 0; r < 8; ++r) RowPass(tmp, r, out + r * 8);
}

void InverseTransformPut(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  uint32_t tmp[64];
  ColumnPass(block, quant, tmp);
  for (int r = 0; r < 8; ++r) RowPass(tmp, r, dst + r * pitch);
}

void InverseTransformPutScaled(const int16_t block[64], const uint32_t quant[64], uint8_t* dst,
                               int pitch) {
  uint32_t tmp[64];
  ColumnPass(block, quant, tmp);
  for (int r = 0; r < 8; ++r) {
    uint8_t v[8];
    RowPass(tmp, r, v);
    uint8_t* d0 = dst + 2 * r * pitch;
    for (int c = 0; c < 8; ++c) d0[2 * c] = d0[2 * c + 1] = v[c];
    std::memcpy(d0 + pitch, d0, 16);
  }
}

void InverseTransformAdd(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch,
                         const uint8_t* src, int src_pitch) {
  uint32_t tmp[64];
  ColumnPass(block, quant, tmp);
  for (int r = 0; r < 8; ++r) {
    uint8_t v[8];
    RowPass(tmp, r, v);
    const uint8_t* s = src + r * src_pitch;
    uint8_t* d = dst + r * pitch;
    for (int c = 0; c < 8; ++c) d[c] = uint8_t(s[c] + v[c]);
  }
}
