// The complex FFT eight floats at a time: the same radix-4 self-sorting
// transform on split rows as the four-float one (complex_fft_sse2.cc), with
// the stage of stride 4 done four floats at a time.
//
// Lengths outside 32 .. kFftTwiddleMaxPoints complex points go to the plain
// transform.
#include "audio/complex_fft_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "audio/fft_twiddles.h"

#define VEXA_AVX2 __attribute__((target("avx2")))

namespace {

struct V {
  __m256 r, i;
};
struct V4 {
  __m128 r, i;
};
struct Split {
  float* r;
  float* i;
};

VEXA_AVX2 inline V Add(V a, V b) { return {_mm256_add_ps(a.r, b.r), _mm256_add_ps(a.i, b.i)}; }
VEXA_AVX2 inline V Sub(V a, V b) { return {_mm256_sub_ps(a.r, b.r), _mm256_sub_ps(a.i, b.i)}; }
VEXA_AVX2 inline V Mul(V x, __m256 wr, __m256 wi) {
  return {_mm256_sub_ps(_mm256_mul_ps(x.r, wr), _mm256_mul_ps(x.i, wi)),
          _mm256_add_ps(_mm256_mul_ps(x.r, wi), _mm256_mul_ps(x.i, wr))};
}
VEXA_AVX2 inline V Load(Split s, uint32_t k) { return {_mm256_loadu_ps(s.r + k), _mm256_loadu_ps(s.i + k)}; }
VEXA_AVX2 inline void Store(Split s, uint32_t k, V v) {
  _mm256_storeu_ps(s.r + k, v.r);
  _mm256_storeu_ps(s.i + k, v.i);
}
// Complex values k .. k+7 of an interleaved array, parts swapped if asked.
template <bool kSwap>
VEXA_AVX2 inline V LoadInterleaved(const float* a, uint32_t k) {
  const __m256 v0 = _mm256_loadu_ps(a + 2 * k), v1 = _mm256_loadu_ps(a + 2 * k + 8);
  // In-lane shuffles give r0 r1 r4 r5 | r2 r3 r6 r7; the 64-bit pairs are
  // then put in order.
  const __m256 r4 = _mm256_shuffle_ps(v0, v1, _MM_SHUFFLE(2, 0, 2, 0));
  const __m256 i4 = _mm256_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 1, 3, 1));
  const __m256 r = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(r4), _MM_SHUFFLE(3, 1, 2, 0)));
  const __m256 i = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(i4), _MM_SHUFFLE(3, 1, 2, 0)));
  return kSwap ? V{i, r} : V{r, i};
}
template <bool kSwap>
VEXA_AVX2 inline void StoreInterleaved(float* a, uint32_t k, V v) {
  const __m256 r = kSwap ? v.i : v.r, i = kSwap ? v.r : v.i;
  const __m256 lo = _mm256_unpacklo_ps(r, i), hi = _mm256_unpackhi_ps(r, i);
  _mm256_storeu_ps(a + 2 * k, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(a + 2 * k + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

// The four-point DFT with w = e^(2 pi i/4): y0 = (a+c)+(b+d),
// y1 = (a-c)+i(b-d), y2 = (a+c)-(b+d), y3 = (a-c)-i(b-d).
VEXA_AVX2 inline void Radix4(V a, V b, V c, V d, V y[4]) {
  const V apc = Add(a, c), amc = Sub(a, c), bpd = Add(b, d), bmd = Sub(b, d);
  y[0] = Add(apc, bpd);
  y[2] = Sub(apc, bpd);
  y[1] = {_mm256_sub_ps(amc.r, bmd.i), _mm256_add_ps(amc.i, bmd.r)};
  y[3] = {_mm256_add_ps(amc.r, bmd.i), _mm256_sub_ps(amc.i, bmd.r)};
}

// Rows x0..x3 of each 128-bit half transposed in place.
VEXA_AVX2 inline void Transpose4(__m256& x0, __m256& x1, __m256& x2, __m256& x3) {
  const __m256 t0 = _mm256_unpacklo_ps(x0, x1), t1 = _mm256_unpackhi_ps(x0, x1);
  const __m256 t2 = _mm256_unpacklo_ps(x2, x3), t3 = _mm256_unpackhi_ps(x2, x3);
  x0 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(t0), _mm256_castps_pd(t2)));
  x1 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(t0), _mm256_castps_pd(t2)));
  x2 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(t1), _mm256_castps_pd(t3)));
  x3 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(t1), _mm256_castps_pd(t3)));
}

// Butterfly p+j's four results (lane j of y0..y3, after the in-half
// transpose: half j/4, row j%4) to row 4(p+j) .. 4(p+j)+3.
VEXA_AVX2 inline void StoreRows(float* dst, __m256 y0, __m256 y1, __m256 y2, __m256 y3) {
  Transpose4(y0, y1, y2, y3);
  _mm256_storeu_ps(dst, _mm256_permute2f128_ps(y0, y1, 0x20));
  _mm256_storeu_ps(dst + 8, _mm256_permute2f128_ps(y2, y3, 0x20));
  _mm256_storeu_ps(dst + 16, _mm256_permute2f128_ps(y0, y1, 0x31));
  _mm256_storeu_ps(dst + 24, _mm256_permute2f128_ps(y2, y3, 0x31));
}

// The first stage over all m points (stride 1): eight butterflies side by
// side, p .. p+7, each with its own twiddles; butterfly p's four results
// land at 4p .. 4p+3.
template <bool kInterleaved, bool kSwap>
VEXA_AVX2 void FirstStage(uint32_t m, const float* a, Split src, Split dst) {
  const uint32_t q = m / 4;
  const FftStageTwiddles tw = FftTwiddlesFor(m);
  for (uint32_t p = 0; p < q; p += 8) {
    V x[4], y[4];
    for (uint32_t l = 0; l < 4; ++l) x[l] = kInterleaved ? LoadInterleaved<kSwap>(a, p + l * q) : Load(src, p + l * q);
    Radix4(x[0], x[1], x[2], x[3], y);
    y[1] = Mul(y[1], _mm256_loadu_ps(tw.c1 + p), _mm256_loadu_ps(tw.s1 + p));
    y[2] = Mul(y[2], _mm256_loadu_ps(tw.c2 + p), _mm256_loadu_ps(tw.s2 + p));
    y[3] = Mul(y[3], _mm256_loadu_ps(tw.c3 + p), _mm256_loadu_ps(tw.s3 + p));
    StoreRows(dst.r + 4 * p, y[0].r, y[1].r, y[2].r, y[3].r);
    StoreRows(dst.i + 4 * p, y[0].i, y[1].i, y[2].i, y[3].i);
  }
}

// The middle stage of stride 4, four floats at a time.
VEXA_AVX2 inline V4 Load4(Split s, uint32_t k) { return {_mm_loadu_ps(s.r + k), _mm_loadu_ps(s.i + k)}; }
VEXA_AVX2 inline void Store4(Split s, uint32_t k, __m128 r, __m128 i) {
  _mm_storeu_ps(s.r + k, r);
  _mm_storeu_ps(s.i + k, i);
}
VEXA_AVX2 inline void StoreMul4(Split s, uint32_t k, __m128 r, __m128 i, float wr, float wi) {
  const __m128 cr = _mm_set1_ps(wr), ci = _mm_set1_ps(wi);
  Store4(s, k, _mm_sub_ps(_mm_mul_ps(r, cr), _mm_mul_ps(i, ci)), _mm_add_ps(_mm_mul_ps(r, ci), _mm_mul_ps(i, cr)));
}
VEXA_AVX2 void MiddleStageStride4(uint32_t m, uint32_t l, Split src, Split dst) {
  const uint32_t q = m / 4;
  const FftStageTwiddles tw = FftTwiddlesFor(l);
  for (uint32_t p = 0; p < l / 4; ++p) {
    const uint32_t in = 4 * p, out = 16 * p;
    const V4 a = Load4(src, in), b = Load4(src, in + q), c = Load4(src, in + 2 * q), d = Load4(src, in + 3 * q);
    const __m128 apcr = _mm_add_ps(a.r, c.r), apci = _mm_add_ps(a.i, c.i);
    const __m128 amcr = _mm_sub_ps(a.r, c.r), amci = _mm_sub_ps(a.i, c.i);
    const __m128 bpdr = _mm_add_ps(b.r, d.r), bpdi = _mm_add_ps(b.i, d.i);
    const __m128 bmdr = _mm_sub_ps(b.r, d.r), bmdi = _mm_sub_ps(b.i, d.i);
    Store4(dst, out, _mm_add_ps(apcr, bpdr), _mm_add_ps(apci, bpdi));
    StoreMul4(dst, out + 4, _mm_sub_ps(amcr, bmdi), _mm_add_ps(amci, bmdr), tw.c1[p], tw.s1[p]);
    StoreMul4(dst, out + 8, _mm_sub_ps(apcr, bpdr), _mm_sub_ps(apci, bpdi), tw.c2[p], tw.s2[p]);
    StoreMul4(dst, out + 12, _mm_add_ps(amcr, bmdi), _mm_sub_ps(amci, bmdr), tw.c3[p], tw.s3[p]);
  }
}

// A middle stage: sub-transforms of length l (>= 8) with stride s (>= 8).
VEXA_AVX2 void MiddleStage(uint32_t m, uint32_t l, uint32_t s, Split src, Split dst) {
  const uint32_t q = m / 4;
  const FftStageTwiddles tw = FftTwiddlesFor(l);
  for (uint32_t p = 0; p < l / 4; ++p) {
    const __m256 w1r = _mm256_set1_ps(tw.c1[p]), w1i = _mm256_set1_ps(tw.s1[p]);
    const __m256 w2r = _mm256_set1_ps(tw.c2[p]), w2i = _mm256_set1_ps(tw.s2[p]);
    const __m256 w3r = _mm256_set1_ps(tw.c3[p]), w3i = _mm256_set1_ps(tw.s3[p]);
    const uint32_t in = s * p, out = 4 * s * p;
    for (uint32_t k = 0; k < s; k += 8) {
      V y[4];
      Radix4(Load(src, in + k), Load(src, in + k + q), Load(src, in + k + 2 * q), Load(src, in + k + 3 * q), y);
      Store(dst, out + k, y[0]);
      Store(dst, out + k + s, Mul(y[1], w1r, w1i));
      Store(dst, out + k + 2 * s, Mul(y[2], w2r, w2i));
      Store(dst, out + k + 3 * s, Mul(y[3], w3r, w3i));
    }
  }
}

// The last stage when m is a power of four: four-point transforms of
// stride m/4 without twiddles, written back interleaved.
template <bool kSwap>
VEXA_AVX2 void LastStage4(uint32_t m, Split src, float* a) {
  const uint32_t q = m / 4;
  for (uint32_t k = 0; k < q; k += 8) {
    V y[4];
    Radix4(Load(src, k), Load(src, k + q), Load(src, k + 2 * q), Load(src, k + 3 * q), y);
    for (uint32_t t = 0; t < 4; ++t) StoreInterleaved<kSwap>(a, k + t * q, y[t]);
  }
}

// The last stage otherwise: two-point transforms of stride m/2.
template <bool kSwap>
VEXA_AVX2 void LastStage2(uint32_t m, Split src, float* a) {
  const uint32_t h = m / 2;
  for (uint32_t k = 0; k < h; k += 8) {
    const V x0 = Load(src, k), x1 = Load(src, k + h);
    StoreInterleaved<kSwap>(a, k, Add(x0, x1));
    StoreInterleaved<kSwap>(a, k + h, Sub(x0, x1));
  }
}

template <bool kSwap>
VEXA_AVX2 void Deinterleave(uint32_t m, const float* a, Split dst) {
  for (uint32_t k = 0; k < m; k += 8) Store(dst, k, LoadInterleaved<kSwap>(a, k));
}

// X[k] = sum_j x[j] e^(+2 pi i jk/m) over m = n/2 points; with kSwap the
// parts are exchanged on the way in and out, which gives the sum with
// e^(-2 pi i jk/m).
template <bool kSwap>
VEXA_AVX2 void Transform(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  const uint32_t m = n / 2;
  if (m < 32 || m > kFftTwiddleMaxPoints) {
    const ComplexFftKernels* plain = PlainComplexFft();
    (kSwap ? plain->backward : plain->forward)(n, a, ip, w, nw);
    return;
  }
  alignas(32) float scratch[2 * kFftTwiddleMaxPoints];
  Split arr{a, a + m}, tmp{scratch, scratch + m};
  uint32_t stages = 0, l = m;
  for (; l >= 4; l /= 4) ++stages;
  if (l == 2) ++stages;
  // The last stage must read the scratch area: with an odd number of
  // stages the input is first moved there.
  Split cur = tmp, other = arr;
  if (stages % 2 == 0) {
    FirstStage<true, kSwap>(m, a, arr, tmp);
  } else {
    Deinterleave<kSwap>(m, a, tmp);
    FirstStage<false, false>(m, a, tmp, arr);
    cur = arr, other = tmp;
  }
  uint32_t s = 4;
  for (l = m / 4; l >= 8; l /= 4, s *= 4) {
    if (s == 4)
      MiddleStageStride4(m, l, cur, other);
    else
      MiddleStage(m, l, s, cur, other);
    const Split t = cur;
    cur = other, other = t;
  }
  if (l == 4)
    LastStage4<kSwap>(m, cur, a);
  else
    LastStage2<kSwap>(m, cur, a);
}

void Forward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) { Transform<false>(n, a, ip, w, nw); }
void Backward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) { Transform<true>(n, a, ip, w, nw); }

}  // namespace

void Avx2ComplexFftOverride(ComplexFftKernels* table) {
  table->name = "avx2";
  table->forward = &Forward;
  table->backward = &Backward;
}

#else

void Avx2ComplexFftOverride(ComplexFftKernels*) {}

#endif
