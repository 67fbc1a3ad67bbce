#include "video/forward_transform.h"

#include <cmath>

namespace {

struct CosTable {
  double c[8][8];  // c[u][x] = C(u) / 2 * cos((2x + 1) u pi / 16)
  double scale[8];  // a(k) = sqrt(2) cos(k pi / 16), a(0) = 1
  double weight[64];  // 65536 a(r) a(c)
  CosTable() {
    for (int u = 0; u < 8; ++u) {
      const double cu = u == 0 ? std::sqrt(0.5) : 1.0;
      for (int x = 0; x < 8; ++x) c[u][x] = cu / 2 * std::cos((2 * x + 1) * u * M_PI / 16);
      scale[u] = u == 0 ? 1.0 : std::sqrt(2.0) * std::cos(u * M_PI / 16);
    }
    for (int p = 0; p < 64; ++p) weight[p] = 65536.0 * scale[p / 8] * scale[p % 8];
  }
};

const CosTable& Table() {
  static const CosTable t;
  return t;
}

}  // namespace

void ForwardDct(const int16_t in[64], double out[64]) {
  // Single precision is ample for 8-bit pixels and their differences; the
  // loops run over eight outputs at once, which the compiler vectorises.
  struct FloatTable {
    float ct[8][8];  // ct[x][u] = c[u][x]
    FloatTable() {
      const CosTable& t = Table();
      for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u) ct[x][u] = float(t.c[u][x]);
    }
  };
  static const FloatTable f;
  float rows[8][8];  // rows[y][u]
  for (int y = 0; y < 8; ++y) {
    float acc[8] = {};
    for (int x = 0; x < 8; ++x) {
      const float v = float(in[y * 8 + x]);
      for (int u = 0; u < 8; ++u) acc[u] += f.ct[x][u] * v;
    }
    for (int u = 0; u < 8; ++u) rows[y][u] = acc[u];
  }
  for (int v = 0; v < 8; ++v) {
    float acc[8] = {};
    for (int y = 0; y < 8; ++y) {
      const float c = f.ct[y][v];
      for (int u = 0; u < 8; ++u) acc[u] += c * rows[y][u];
    }
    for (int u = 0; u < 8; ++u) out[v * 8 + u] = double(acc[u]);
  }
}

void QuantizeCoefficients(const double F[64], const uint32_t quant[64], double rounding, int16_t out[64]) {
  const CosTable& t = Table();
  for (int p = 0; p < 64; ++p) {
    // The inverse maps coefficient x to F = x * quant / (65536 a(r) a(c)).
    const double m = std::fabs(F[p]) * t.weight[p] / quant[p];
    double q = std::floor(m + (p == 0 ? 0.5 : rounding));
    if (q > 32767) q = 32767;
    out[p] = int16_t(F[p] < 0 ? -q : q);
  }
}

double CoefficientStep(const uint32_t quant[64], int p) { return quant[p] / Table().weight[p]; }
