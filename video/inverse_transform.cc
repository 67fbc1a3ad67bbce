#include "video/inverse_transform.h"

#include <cstring>

#include "base/cpu_features.h"
#include "video/inverse_transform_kernels.h"

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

// Dequantise and run the column pass into tmp (natural order). A column
// whose rows 1..7 are zero passes its dequantised DC to all eight rows (the
// transform of such a column gives exactly that). Returns false when every
// AC coefficient of the block is zero: tmp then holds the DC in tmp[0] only.
inline bool ColumnPass(const int16_t block[64], const uint32_t quant[64], uint32_t tmp[64]) {
  // Which columns carry AC values: rows 1..7 OR-ed together.
  int16_t ac[8] = {};
  for (int r = 1; r < 8; ++r)
    for (int c = 0; c < 8; ++c) ac[c] = int16_t(ac[c] | block[r * 8 + c]);
  int16_t row0 = 0;
  for (int c = 1; c < 8; ++c) row0 = int16_t(row0 | block[c]);
  int16_t any = row0;
  for (int c = 0; c < 8; ++c) any = int16_t(any | ac[c]);
  if (!any) {
    tmp[0] = Sar(uint32_t(int32_t(block[0])) * quant[0], 11);
    return false;
  }
  for (int c = 0; c < 8; ++c) {
    if (!ac[c]) {
      const uint32_t dc = Sar(uint32_t(int32_t(block[c])) * quant[c], 11);
      for (int r = 0; r < 8; ++r) tmp[r * 8 + c] = dc;
      continue;
    }
    uint32_t s[8];
    for (int r = 0; r < 8; ++r) s[r] = Sar(uint32_t(int32_t(block[r * 8 + c])) * quant[r * 8 + c], 11);
    Transform8(s, 1, tmp + c, 8);
  }
  return true;
}

inline uint8_t Pixel(uint32_t out) { return uint8_t(Sar(out + 127u, 8)); }

// Row pass: the eight pixel values of row r, (out + 127) >> 8, low 8 bits.
// A row whose entries 1..7 are zero transforms to its entry 0 everywhere.
inline void RowPass(const uint32_t tmp[64], int r, uint8_t v[8]) {
  const uint32_t* t = tmp + r * 8;
  if (!(t[1] | t[2] | t[3] | t[4] | t[5] | t[6] | t[7])) {
    const uint8_t p = Pixel(t[0]);
    for (int c = 0; c < 8; ++c) v[c] = p;
    return;
  }
  uint32_t o[8];
  Transform8(t, 1, o, 1);
  for (int c = 0; c < 8; ++c) v[c] = Pixel(o[c]);
}

// The 64 result values of a block; see ColumnPass for the flat case.
inline void Transform(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]) {
  uint32_t tmp[64];
  if (!ColumnPass(block, quant, tmp)) {
    std::memset(out, Pixel(tmp[0]), 64);
    return;
  }
  for (int r = 0; r < 8; ++r) RowPass(tmp, r, out + r * 8);
}

void PlainPut(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  uint8_t v[64];
  Transform(block, quant, v);
  for (int r = 0; r < 8; ++r) std::memcpy(dst + r * pitch, v + r * 8, 8);
}

void PlainPutScaled(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  uint8_t v[64];
  Transform(block, quant, v);
  for (int r = 0; r < 8; ++r) {
    uint8_t* d0 = dst + 2 * r * pitch;
    for (int c = 0; c < 8; ++c) d0[2 * c] = d0[2 * c + 1] = v[r * 8 + c];
    std::memcpy(d0 + pitch, d0, 16);
  }
}

// Pixel by pixel in raster order, so a source that overlaps the destination
// is read as the loop leaves it.
void PlainAdd(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch, const uint8_t* src,
              int src_pitch) {
  uint8_t v[64];
  Transform(block, quant, v);
  for (int r = 0; r < 8; ++r) {
    const uint8_t* s = src + r * src_pitch;
    uint8_t* d = dst + r * pitch;
    for (int c = 0; c < 8; ++c) d[c] = uint8_t(s[c] + v[r * 8 + c]);
  }
}

constexpr InverseTransformKernels kPlain = {"plain", &PlainPut, &PlainPutScaled, &PlainAdd};

// The table the public functions run; plain until the first choice.
InverseTransformKernels g_active = kPlain;

void ChooseInverseTransform(uint32_t usable) { g_active = InverseTransformFor(usable); }
[[maybe_unused]] const bool kRegistered = RegisterFeatureChoice(&ChooseInverseTransform);

}  // namespace

const KernelSet<InverseTransformKernels> kInverseTransformSets[2] = {
    {"sse2", CPU_SSE2, &Sse2InverseTransformOverride},
    {"avx2", CPU_AVX2, &Avx2InverseTransformOverride},
};

const InverseTransformKernels* PlainInverseTransform() { return &kPlain; }

InverseTransformKernels InverseTransformFor(uint32_t features) {
  return BuildKernelTable(kPlain, kInverseTransformSets, features);
}

const InverseTransformKernels* ActiveInverseTransform() { return &g_active; }

void InverseTransform(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]) {
  g_active.put(block, quant, out, 8);
}

void InverseTransformPut(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch) {
  g_active.put(block, quant, dst, pitch);
}

void InverseTransformPutScaled(const int16_t block[64], const uint32_t quant[64], uint8_t* dst,
                               int pitch) {
  g_active.put_scaled(block, quant, dst, pitch);
}

void InverseTransformAdd(const int16_t block[64], const uint32_t quant[64], uint8_t* dst, int pitch,
                         const uint8_t* src, int src_pitch) {
  g_active.add(block, quant, dst, pitch, src, src_pitch);
}
