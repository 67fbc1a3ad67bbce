#include "video/forward_transform.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Single precision is ample for 8-bit pixels and their differences.
struct FloatTable {
  float ct[8][8];       // ct[x][u] = c[u][x]
  float splat[8][8][4];  // splat[y][v]: ct[y][v] four times
  FloatTable() {
    const CosTable& t = Table();
    for (int x = 0; x < 8; ++x)
      for (int u = 0; u < 8; ++u) {
        ct[x][u] = float(t.c[u][x]);
        for (int i = 0; i < 4; ++i) splat[x][u][i] = ct[x][u];
      }
  }
};

const FloatTable& Floats() {
  static const FloatTable f;
  return f;
}

#if defined(__SSE2__)
template <int I>
inline __m128 Lane(__m128 v) {
  return _mm_shuffle_ps(v, v, _MM_SHUFFLE(I, I, I, I));
}
#endif

}  // namespace

void ForwardDct(const int16_t in[64], double out[64]) {
  // Rows, then columns, each output a sum in the same order on every path,
  // so the vector code gives the plain loops' results exactly.
  const FloatTable& f = Floats();
#if defined(__SSE2__)
  __m128 lo[8], hi[8];  // rows[y][0..3], rows[y][4..7]
  for (int y = 0; y < 8; ++y) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * y));
    const __m128i sign = _mm_srai_epi16(r, 15);
    const __m128 a = _mm_cvtepi32_ps(_mm_unpacklo_epi16(r, sign));
    const __m128 b = _mm_cvtepi32_ps(_mm_unpackhi_epi16(r, sign));
    __m128 acc0 = _mm_setzero_ps(), acc1 = _mm_setzero_ps();
    auto Add = [&](int x, __m128 v) {
      acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(f.ct[x]), v));
      acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_loadu_ps(f.ct[x] + 4), v));
    };
    Add(0, Lane<0>(a)), Add(1, Lane<1>(a)), Add(2, Lane<2>(a)), Add(3, Lane<3>(a));
    Add(4, Lane<0>(b)), Add(5, Lane<1>(b)), Add(6, Lane<2>(b)), Add(7, Lane<3>(b));
    lo[y] = acc0, hi[y] = acc1;
  }
  for (int v = 0; v < 8; ++v) {
    __m128 acc0 = _mm_setzero_ps(), acc1 = _mm_setzero_ps();
    for (int y = 0; y < 8; ++y) {
      const __m128 c = _mm_loadu_ps(f.splat[y][v]);
      acc0 = _mm_add_ps(acc0, _mm_mul_ps(c, lo[y]));
      acc1 = _mm_add_ps(acc1, _mm_mul_ps(c, hi[y]));
    }
    double* o = out + v * 8;
    _mm_storeu_pd(o, _mm_cvtps_pd(acc0));
    _mm_storeu_pd(o + 2, _mm_cvtps_pd(_mm_movehl_ps(acc0, acc0)));
    _mm_storeu_pd(o + 4, _mm_cvtps_pd(acc1));
    _mm_storeu_pd(o + 6, _mm_cvtps_pd(_mm_movehl_ps(acc1, acc1)));
  }
#else
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
#endif
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
#if defined(__SSE2__)
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffll));
  const __m128d top = _mm_set1_pd(32767.0), zero = _mm_setzero_pd();
  const __m128d first_round = _mm_set_pd(rounding, 0.5), round = _mm_set1_pd(rounding);  // the DC rounds to nearest
  // Two values: |F| times the factor, plus rounding, truncated (that is
  // rounded down, all being positive) below the top, then signed.
  auto Pair = [&](int p, __m128d r) {
    const __m128d v = _mm_loadu_pd(F + p);
    const __m128d m = _mm_min_pd(_mm_add_pd(_mm_mul_pd(_mm_and_pd(v, magnitude), _mm_loadu_pd(scale + p)), r), top);
    const __m128i q = _mm_cvttpd_epi32(m);
    const __m128i neg = _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmplt_pd(v, zero)), _MM_SHUFFLE(3, 1, 2, 0));
    return _mm_sub_epi32(_mm_xor_si128(q, neg), neg);
  };
  for (int p = 0; p < 64; p += 8) {
    const __m128i a = _mm_unpacklo_epi64(Pair(p, p == 0 ? first_round : round), Pair(p + 2, round));
    const __m128i b = _mm_unpacklo_epi64(Pair(p + 4, round), Pair(p + 6, round));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + p), _mm_packs_epi32(a, b));
  }
#else
  for (int p = 0; p < 64; ++p) {
    const double m = std::fabs(F[p]) * scale[p] + (p == 0 ? 0.5 : rounding);
    const int32_t q = m < 32767.0 ? int32_t(m) : 32767;  // truncation is floor here: m >= 0
    out[p] = int16_t(F[p] < 0 ? -q : q);
  }
#endif
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
