// The complex FFT four floats at a time: a radix-4 self-sorting (Stockham)
// transform on split real and imaginary rows, so that every butterfly of a
// stage works on whole vectors and no bit-reversal pass is needed. The first
// stage reads the interleaved array and the last one writes it back; the
// stages in between ping-pong between the array and a scratch area on the
// stack. The backward transform is the forward one with the real and
// imaginary parts swapped on the way in and out.
//
// The real <-> complex step around it works on four pairs of entries at a
// time with the same operations as the plain one, so it gives the same
// floats.
//
// Lengths outside 16 .. kFftTwiddleMaxPoints complex points go to the plain
// transform.
#include "audio/complex_fft_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

#include "audio/fft_twiddles.h"

#define VEXA_SSE2 __attribute__((target("sse2")))

namespace {

struct V {
  __m128 r, i;
};
struct Split {
  float* r;
  float* i;
};

VEXA_SSE2 inline V Add(V a, V b) { return {_mm_add_ps(a.r, b.r), _mm_add_ps(a.i, b.i)}; }
VEXA_SSE2 inline V Sub(V a, V b) { return {_mm_sub_ps(a.r, b.r), _mm_sub_ps(a.i, b.i)}; }
VEXA_SSE2 inline V Mul(V x, __m128 wr, __m128 wi) {
  return {_mm_sub_ps(_mm_mul_ps(x.r, wr), _mm_mul_ps(x.i, wi)),
          _mm_add_ps(_mm_mul_ps(x.r, wi), _mm_mul_ps(x.i, wr))};
}
VEXA_SSE2 inline V Load(Split s, uint32_t k) { return {_mm_loadu_ps(s.r + k), _mm_loadu_ps(s.i + k)}; }
VEXA_SSE2 inline void Store(Split s, uint32_t k, V v) {
  _mm_storeu_ps(s.r + k, v.r);
  _mm_storeu_ps(s.i + k, v.i);
}
// Complex values k .. k+3 of an interleaved array, parts swapped if asked.
template <bool kSwap>
VEXA_SSE2 inline V LoadInterleaved(const float* a, uint32_t k) {
  const __m128 v0 = _mm_loadu_ps(a + 2 * k), v1 = _mm_loadu_ps(a + 2 * k + 4);
  const __m128 r = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(2, 0, 2, 0));
  const __m128 i = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 1, 3, 1));
  return kSwap ? V{i, r} : V{r, i};
}
template <bool kSwap>
VEXA_SSE2 inline void StoreInterleaved(float* a, uint32_t k, V v) {
  const __m128 r = kSwap ? v.i : v.r, i = kSwap ? v.r : v.i;
  _mm_storeu_ps(a + 2 * k, _mm_unpacklo_ps(r, i));
  _mm_storeu_ps(a + 2 * k + 4, _mm_unpackhi_ps(r, i));
}

// The four-point DFT with w = e^(2 pi i/4): y0 = (a+c)+(b+d),
// y1 = (a-c)+i(b-d), y2 = (a+c)-(b+d), y3 = (a-c)-i(b-d).
VEXA_SSE2 inline void Radix4(V a, V b, V c, V d, V y[4]) {
  const V apc = Add(a, c), amc = Sub(a, c), bpd = Add(b, d), bmd = Sub(b, d);
  y[0] = Add(apc, bpd);
  y[2] = Sub(apc, bpd);
  y[1] = {_mm_sub_ps(amc.r, bmd.i), _mm_add_ps(amc.i, bmd.r)};
  y[3] = {_mm_add_ps(amc.r, bmd.i), _mm_sub_ps(amc.i, bmd.r)};
}

// The first stage over all m points (stride 1): four butterflies side by
// side, p .. p+3, each with its own twiddles; their outputs are transposed
// so that butterfly p's four results land at 4p .. 4p+3.
template <bool kInterleaved, bool kSwap>
VEXA_SSE2 void FirstStage(uint32_t m, const float* a, Split src, Split dst) {
  const uint32_t q = m / 4;
  const FftStageTwiddles tw = FftTwiddlesFor(m);
  for (uint32_t p = 0; p < q; p += 4) {
    V x[4], y[4];
    for (uint32_t l = 0; l < 4; ++l) x[l] = kInterleaved ? LoadInterleaved<kSwap>(a, p + l * q) : Load(src, p + l * q);
    Radix4(x[0], x[1], x[2], x[3], y);
    y[1] = Mul(y[1], _mm_loadu_ps(tw.c1 + p), _mm_loadu_ps(tw.s1 + p));
    y[2] = Mul(y[2], _mm_loadu_ps(tw.c2 + p), _mm_loadu_ps(tw.s2 + p));
    y[3] = Mul(y[3], _mm_loadu_ps(tw.c3 + p), _mm_loadu_ps(tw.s3 + p));
    _MM_TRANSPOSE4_PS(y[0].r, y[1].r, y[2].r, y[3].r);
    _MM_TRANSPOSE4_PS(y[0].i, y[1].i, y[2].i, y[3].i);
    for (uint32_t t = 0; t < 4; ++t) Store(dst, 4 * (p + t), y[t]);
  }
}

// A middle stage: sub-transforms of length l (>= 8) with stride s (>= 4).
VEXA_SSE2 void MiddleStage(uint32_t m, uint32_t l, uint32_t s, Split src, Split dst) {
  const uint32_t q = m / 4;
  const FftStageTwiddles tw = FftTwiddlesFor(l);
  for (uint32_t p = 0; p < l / 4; ++p) {
    const __m128 w1r = _mm_set1_ps(tw.c1[p]), w1i = _mm_set1_ps(tw.s1[p]);
    const __m128 w2r = _mm_set1_ps(tw.c2[p]), w2i = _mm_set1_ps(tw.s2[p]);
    const __m128 w3r = _mm_set1_ps(tw.c3[p]), w3i = _mm_set1_ps(tw.s3[p]);
    const uint32_t in = s * p, out = 4 * s * p;
    for (uint32_t k = 0; k < s; k += 4) {
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
VEXA_SSE2 void LastStage4(uint32_t m, Split src, float* a) {
  const uint32_t q = m / 4;
  for (uint32_t k = 0; k < q; k += 4) {
    V y[4];
    Radix4(Load(src, k), Load(src, k + q), Load(src, k + 2 * q), Load(src, k + 3 * q), y);
    for (uint32_t t = 0; t < 4; ++t) StoreInterleaved<kSwap>(a, k + t * q, y[t]);
  }
}

// The last stage otherwise: two-point transforms of stride m/2.
template <bool kSwap>
VEXA_SSE2 void LastStage2(uint32_t m, Split src, float* a) {
  const uint32_t h = m / 2;
  for (uint32_t k = 0; k < h; k += 4) {
    const V x0 = Load(src, k), x1 = Load(src, k + h);
    StoreInterleaved<kSwap>(a, k, Add(x0, x1));
    StoreInterleaved<kSwap>(a, k + h, Sub(x0, x1));
  }
}

template <bool kSwap>
VEXA_SSE2 void Deinterleave(uint32_t m, const float* a, Split dst) {
  for (uint32_t k = 0; k < m; k += 4) Store(dst, k, LoadInterleaved<kSwap>(a, k));
}

// X[k] = sum_j x[j] e^(+2 pi i jk/m) over m = n/2 points; with kSwap the
// parts are exchanged on the way in and out, which gives the sum with
// e^(-2 pi i jk/m).
template <bool kSwap>
VEXA_SSE2 void Transform(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  const uint32_t m = n / 2;
  if (m < 16 || m > kFftTwiddleMaxPoints) {
    const ComplexFftKernels* plain = PlainComplexFft();
    (kSwap ? plain->backward : plain->forward)(n, a, ip, w, nw);
    return;
  }
  alignas(16) float scratch[2 * kFftTwiddleMaxPoints];
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
    MiddleStage(m, l, s, cur, other);
    const Split t = cur;
    cur = other, other = t;
  }
  if (l == 4)
    LastStage4<kSwap>(m, cur, a);
  else
    LastStage2<kSwap>(m, cur, a);
}

VEXA_SSE2 inline __m128 Reverse(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// The real <-> complex step four pairs at a time: complex entries i .. i+3
// with m-i .. m-i-3 (m = n/2), the latter read and written in reverse.
VEXA_SSE2 void RealStep(uint32_t n, float* a, uint32_t nc, const float* c, float sign) {
  const uint32_t m = n / 2, h = m / 2;
  const uint32_t ks = 2 * nc / m;
  const __m128 half = _mm_set1_ps(0.5f), sg = _mm_set1_ps(sign);
  uint32_t i = 1;
  for (; i + 3 < h; i += 4) {
    __m128 cs, cc;  // c[kk] and c[nc - kk], kk = i*ks .. (i+3)*ks
    const uint32_t k0 = i * ks;
    if (ks == 1) {
      cs = _mm_loadu_ps(c + i);
      cc = Reverse(_mm_loadu_ps(c + nc - i - 3));
    } else {
      cs = _mm_setr_ps(c[k0], c[k0 + ks], c[k0 + 2 * ks], c[k0 + 3 * ks]);
      cc = _mm_setr_ps(c[nc - k0], c[nc - k0 - ks], c[nc - k0 - 2 * ks], c[nc - k0 - 3 * ks]);
    }
    const __m128 wr = _mm_sub_ps(half, cc), wi = _mm_mul_ps(sg, cs);
    V f = LoadInterleaved<false>(a, i);
    const V back = LoadInterleaved<false>(a, m - i - 3);
    V b = {Reverse(back.r), Reverse(back.i)};
    const __m128 xr = _mm_sub_ps(f.r, b.r), xi = _mm_add_ps(f.i, b.i);
    const __m128 yr = _mm_sub_ps(_mm_mul_ps(wr, xr), _mm_mul_ps(wi, xi));
    const __m128 yi = _mm_add_ps(_mm_mul_ps(wr, xi), _mm_mul_ps(wi, xr));
    f = {_mm_sub_ps(f.r, yr), _mm_sub_ps(f.i, yi)};
    b = {_mm_add_ps(b.r, yr), _mm_sub_ps(b.i, yi)};
    StoreInterleaved<false>(a, i, f);
    StoreInterleaved<false>(a, m - i - 3, V{Reverse(b.r), Reverse(b.i)});
  }
  for (; i < h; ++i) {
    const uint32_t j = 2 * i, k = n - j, kk = i * ks;
    const float wr = 0.5f - c[nc - kk], wi = sign * c[kk];
    const float xr = a[j] - a[k], xi = a[j + 1] + a[k + 1];
    const float yr = wr * xr - wi * xi, yi = wr * xi + wi * xr;
    a[j] -= yr;
    a[j + 1] -= yi;
    a[k] += yr;
    a[k + 1] -= yi;
  }
}

void Forward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) { Transform<false>(n, a, ip, w, nw); }
void Backward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) { Transform<true>(n, a, ip, w, nw); }

}  // namespace

void Sse2ComplexFftOverride(ComplexFftKernels* table) {
  table->name = "sse2";
  table->forward = &Forward;
  table->backward = &Backward;
  table->real_step = &RealStep;
}

#else

void Sse2ComplexFftOverride(ComplexFftKernels*) {}

#endif
