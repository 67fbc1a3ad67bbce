#include "video/forward_transform.h"

#include <cmath>

#include "video/quant_tables.h"

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

namespace {

// Per-position factors of one quantiser row: |F| times scale[p] is the
// coefficient before rounding, step[p] the value one coefficient stands for.
struct QuantScale {
  double scale[64];
  double step[64];
  void Make(const uint32_t quant[64]) {
    const CosTable& t = Table();
    for (int p = 0; p < 64; ++p) {
      scale[p] = t.weight[p] / quant[p];
      step[p] = quant[p] / t.weight[p];
    }
  }
};

// Every row of the format's two quantiser tables, made once.
struct QuantScales {
  QuantScale intra[16], inter[16];
  QuantScales() {
    for (int q = 0; q < 16; ++q) {
      intra[q].Make(INTRA_QUANT[q]);
      inter[q].Make(INTER_QUANT[q]);
    }
  }
};

// The factors of quant: looked up when it is a row of the format's tables,
// else made into *local.
const QuantScale& ScaleFor(const uint32_t quant[64], QuantScale* local) {
  static const QuantScales all;
  const uint32_t* intra = &INTRA_QUANT[0][0];
  const uint32_t* inter = &INTER_QUANT[0][0];
  if (quant >= intra && quant < intra + 16 * 64 && (quant - intra) % 64 == 0) return all.intra[(quant - intra) / 64];
  if (quant >= inter && quant < inter + 16 * 64 && (quant - inter) % 64 == 0) return all.inter[(quant - inter) / 64];
  local->Make(quant);
  return *local;
}

}  // namespace

void QuantizeCoefficients(const double F[64], const uint32_t quant[64], double rounding, int16_t out[64]) {
  QuantScale local;
  const double* scale = ScaleFor(quant, &local).scale;
  // The inverse maps coefficient x to F = x * quant / (65536 a(r) a(c)).
  // Plain loops over the 64 positions: the compiler vectorises them.
  double m[64];
  for (int p = 0; p < 64; ++p) m[p] = std::fabs(F[p]) * scale[p] + rounding;
  m[0] = std::fabs(F[0]) * scale[0] + 0.5;  // the DC rounds to nearest
  for (int p = 0; p < 64; ++p) {
    const int32_t q = m[p] < 32767.0 ? int32_t(m[p]) : 32767;  // truncation is floor here: m >= 0
    out[p] = int16_t(F[p] < 0 ? -q : q);
  }
}

double CoefficientStep(const uint32_t quant[64], int p) { return CoefficientSteps(quant)[p]; }

const double* CoefficientSteps(const uint32_t quant[64]) {
  QuantScale local;
  const QuantScale& s = ScaleFor(quant, &local);
  // Only the format's rows are looked up; any other row gets the factors
  // of a row kept per thread, good until the next call on that thread.
  if (&s != &local) return s.step;
  thread_local double steps[64];
  for (int p = 0; p < 64; ++p) steps[p] = local.step[p];
  return steps;
}
