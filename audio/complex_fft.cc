// The plain complex FFT, the reference for the vector ones: split radix,
// decimation in frequency, over tables of cos/sin pairs (see complex_fft.h for the table layout).
//
// A block of P complex points comes in two kinds. Kind 1 is a plain DFT:
//   X[k] = sum_j x[j] w_P^(jk).
// Kind 2 is the odd half of a DFT twice as long:
//   X[k] = sum_j x[j] w_2P^(j(2k+1)).
// One four-way pass turns a block into four quarter blocks whose own
// transforms, laid out in bit-reversed order, give the block's transform in
// bit-reversed order: kind 1 splits into kinds (1, 2, 1, 1), kind 2 into
// (1, 2, 1, 2). The whole transform is the first pass over the full array,
// then quarter blocks handled recursively above 512 floats and breadth-first
// below, ending in 16- and 8-point leaf kernels, and finally the bit-reversal
// permutation.
//
// The backward transform is conj(forward(conj(x))): its first pass reads
// the imaginary parts negated and its permutation negates them again.
#include "audio/complex_fft.h"
#include "audio/complex_fft_kernels.h"

#include <utility>

namespace {

// Direction of the forward transform: w_P = e^(kSign 2 pi i / P).
constexpr float kSign = 1.0f;

struct Twiddle {
  float r1, i1;  // w^j
  float r3, i3;  // w^(3j)
};

// cos/sin of 2 pi m / Q and 6 pi m / Q from the table of a Q-point block,
// for m = 0 .. Q/8. Only 0 < m < Q/8 is stored; m = Q/8 is the eighth turn.
inline void TableAngles(const float* t, uint32_t m, uint32_t q, float* c1, float* s1, float* c3,
                        float* s3) {
  if (m == 0) {
    *c1 = 1.0f, *s1 = 0.0f, *c3 = 1.0f, *s3 = 0.0f;
  } else if (8 * m == q) {
    const float r = t[1];
    *c1 = r, *s1 = r, *c3 = -r, *s3 = r;
  } else {
    *c1 = t[4 * m], *s1 = t[4 * m + 1], *c3 = t[4 * m + 2], *s3 = t[4 * m + 3];
  }
}

// The kind-1 butterfly at complex index j of a block whose quarter is `q2`
// floats long: four inputs a, b, c, d become a+b+c+d, (a+c)-(b+d),
// ((a-c) + i(b-d)) w^j and ((a-c) - i(b-d)) w^3j (i carrying the sign).
template <bool kConjIn>
inline void Butterfly1(float* p0, uint32_t q2, const Twiddle& w) {
  float* p1 = p0 + q2;
  float* p2 = p1 + q2;
  float* p3 = p2 + q2;
  const float s = kConjIn ? -1.0f : 1.0f;
  const float ar = p0[0], ai = s * p0[1], br = p1[0], bi = s * p1[1];
  const float cr = p2[0], ci = s * p2[1], dr = p3[0], di = s * p3[1];
  const float x0r = ar + cr, x0i = ai + ci, x1r = ar - cr, x1i = ai - ci;
  const float x2r = br + dr, x2i = bi + di, x3r = br - dr, x3i = bi - di;
  p0[0] = x0r + x2r;
  p0[1] = x0i + x2i;
  p1[0] = x0r - x2r;
  p1[1] = x0i - x2i;
  const float gr = x1r - kSign * x3i, gi = x1i + kSign * x3r;
  const float hr = x1r + kSign * x3i, hi = x1i - kSign * x3r;
  p2[0] = gr * w.r1 - gi * w.i1;
  p2[1] = gr * w.i1 + gi * w.r1;
  p3[0] = hr * w.r3 - hi * w.i3;
  p3[1] = hr * w.i3 + hi * w.r3;
}

inline Twiddle Direct(float c1, float s1, float c3, float s3) {
  return Twiddle{c1, kSign * s1, c3, kSign * s3};
}
// The twiddles of index P/4 - m from those of m: w^(P/4) = i, w^(3P/4) = -i.
inline Twiddle Mirrored(float c1, float s1, float c3, float s3) {
  return Twiddle{s1, kSign * c1, -s3, -kSign * c3};
}

// Kind-1 pass over a block of p complex points (p >= 4); `t` is the table
// of p-point blocks.
[[gnu::always_inline]] inline void Pass1(float* a, uint32_t p, const float* t) {
  const uint32_t q2 = p / 2;
  Butterfly1<false>(a, q2, Twiddle{1.0f, 0.0f, 1.0f, 0.0f});
  for (uint32_t m = 1; 8 * m <= p; ++m) {
    float c1, s1, c3, s3;
    TableAngles(t, m, p, &c1, &s1, &c3, &s3);
    Butterfly1<false>(a + 2 * m, q2, Direct(c1, s1, c3, s3));
    if (8 * m < p) Butterfly1<false>(a + 2 * (p / 4 - m), q2, Mirrored(c1, s1, c3, s3));
  }
}

inline void Mul(float xr, float xi, float wr, float wi, float* out) {
  out[0] = xr * wr - xi * wi;
  out[1] = xr * wi + xi * wr;
}

// Kind-2 pass over a block of p complex points (p >= 4); `t` is the table of
// 2p-point blocks, `r` the cosine of an eighth turn.
[[gnu::always_inline]] inline void Pass2(float* a, uint32_t p, const float* t, float r) {
  const uint32_t q2 = p / 2;
  for (uint32_t j = 0; j < p / 4; ++j) {
    float c1, s1, c3, s3;
    TableAngles(t, j, 2 * p, &c1, &s1, &c3, &s3);
    const float w1r = c1, w1i = kSign * s1, w3r = c3, w3i = kSign * s3;
    float* p0 = a + 2 * j;
    float* p1 = p0 + q2;
    float* p2 = p1 + q2;
    float* p3 = p2 + q2;
    const float ar = p0[0], ai = p0[1], br = p1[0], bi = p1[1];
    const float cr = p2[0], ci = p2[1], dr = p3[0], di = p3[1];
    // a + i c, b + i d, a - i c, b - i d (i carrying the sign).
    const float ur = ar - kSign * ci, ui = ai + kSign * cr;
    const float vr = br - kSign * di, vi = bi + kSign * dr;
    const float xr = ar + kSign * ci, xi = ai - kSign * cr;
    const float yr = br + kSign * di, yi = bi - kSign * dr;
    // (b + i d) times an eighth turn, (b - i d) times three eighths.
    const float tr = r * (vr - kSign * vi), ti = r * (vi + kSign * vr);
    const float sr = -r * (yr + kSign * yi), si = r * (kSign * yr - yi);
    Mul(ur + tr, ui + ti, w1r, w1i, p0);
    Mul(ur - tr, ui - ti, w1r, w1i, p1);
    Mul(xr + sr, xi + si, w3r, w3i, p2);
    Mul(xr - sr, xi - si, w3r, w3i, p3);
  }
}

// The first pass over the whole array of m complex points. The main table
// holds the twiddles of m/2-point blocks, i.e. the even powers of w_m; the
// odd ones are the normalised sums of their two even neighbours.
template <bool kConjIn>
void FirstPass(float* a, uint32_t m, const float* t) {
  const uint32_t q2 = m / 2;
  const uint32_t half = m / 2;  // table block size
  const float csc1 = t[2], csc3 = t[3];
  Butterfly1<kConjIn>(a, q2, Twiddle{1.0f, 0.0f, 1.0f, 0.0f});
  for (uint32_t j = 1; 8 * j <= m; ++j) {
    float c1, s1, c3, s3;
    if ((j & 1) == 0) {
      TableAngles(t, j / 2, half, &c1, &s1, &c3, &s3);
    } else {
      float ac1, as1, ac3, as3, bc1, bs1, bc3, bs3;
      TableAngles(t, (j - 1) / 2, half, &ac1, &as1, &ac3, &as3);
      TableAngles(t, (j + 1) / 2, half, &bc1, &bs1, &bc3, &bs3);
      c1 = csc1 * (ac1 + bc1);
      s1 = csc1 * (as1 + bs1);
      c3 = csc3 * (ac3 + bc3);
      s3 = csc3 * (as3 + bs3);
    }
    Butterfly1<kConjIn>(a + 2 * j, q2, Direct(c1, s1, c3, s3));
    if (8 * j < m) Butterfly1<kConjIn>(a + 2 * (m / 4 - j), q2, Mirrored(c1, s1, c3, s3));
  }
}

// Leaf kernels: a whole block of 16 or 8 points, or fewer for tiny
// transforms, down to single points.
struct Tables {
  const float* w;
  uint32_t nw;
  // Blocks of 8 points or fewer read only entry 1 (an eighth turn), which
  // every table has; they may ask for a table larger than the main one.
  const float* For(uint32_t q) const { return q <= nw ? w + nw - q : w; }
};

void Radix2(float* a, int kind) {
  const float ar = a[0], ai = a[1], br = a[2], bi = a[3];
  if (kind == 1) {
    a[0] = ar + br, a[1] = ai + bi, a[2] = ar - br, a[3] = ai - bi;
  } else {  // a + i b, a - i b
    a[0] = ar - kSign * bi, a[1] = ai + kSign * br;
    a[2] = ar + kSign * bi, a[3] = ai - kSign * br;
  }
}

inline int ChildKind(int parent, uint32_t digit) {
  return digit == 1 ? 2 : digit == 3 ? parent : 1;
}

// Fixed kernels for the leaves of 16, 8 and 4 points, kinds 1 and 2; the
// block size is a constant, so the passes unroll.
template <uint32_t P, int K>
inline void FixedPass(float* a, const Tables& t) {
  if (K == 1)
    Pass1(a, P, t.For(P));
  else
    Pass2(a, P, t.For(2 * P), t.w[1]);
}

template <int K>
void Leaf4(float* a, const Tables& t) {
  FixedPass<4, K>(a, t);  // four single points follow: nothing more
}

template <int K>
void Leaf8(float* a, const Tables& t) {
  FixedPass<8, K>(a, t);
  Radix2(a, 1);
  Radix2(a + 4, 2);
  Radix2(a + 8, 1);
  Radix2(a + 12, K);
}

template <int K>
void Leaf16(float* a, const Tables& t) {
  FixedPass<16, K>(a, t);
  Leaf4<1>(a, t);
  Leaf4<2>(a + 8, t);
  Leaf4<1>(a + 16, t);
  Leaf4<K>(a + 24, t);
}

void Leaf(float* a, uint32_t p, int kind, const Tables& t) {
  if (p == 16) {
    kind == 1 ? Leaf16<1>(a, t) : Leaf16<2>(a, t);
    return;
  }
  if (p == 8) {
    kind == 1 ? Leaf8<1>(a, t) : Leaf8<2>(a, t);
    return;
  }
  if (p < 2) return;
  if (p == 2) {
    Radix2(a, kind);
    return;
  }
  if (kind == 1)
    Pass1(a, p, t.For(p));
  else
    Pass2(a, p, t.For(2 * p), t.w[1]);
  for (uint32_t d = 0; d < 4; ++d) Leaf(a + d * (p / 2), p / 4, ChildKind(kind, d), t);
}

// Breadth-first expansion of a block of at most 256 points down to leaves.
void Expand(float* a, uint32_t p, int kind, const Tables& t) {
  uint32_t s = p;
  uint32_t depth = 0;
  while (s > 16) {
    const uint32_t count = p / s;
    for (uint32_t b = 0; b < count; ++b) {
      int k = kind;
      for (uint32_t d = depth; d > 0; --d) k = ChildKind(k, (b >> (2 * (d - 1))) & 3);
      float* blk = a + 2 * b * s;
      if (k == 1)
        Pass1(blk, s, t.For(s));
      else
        Pass2(blk, s, t.For(2 * s), t.w[1]);
    }
    s /= 4;
    ++depth;
  }
  const uint32_t count = p / s;
  for (uint32_t b = 0; b < count; ++b) {
    int k = kind;
    for (uint32_t d = depth; d > 0; --d) k = ChildKind(k, (b >> (2 * (d - 1))) & 3);
    Leaf(a + 2 * b * s, s, k, t);
  }
}

// Quarter-wise recursion while a block is larger than 512 floats.
void Recurse(float* a, uint32_t p, int kind, const Tables& t) {
  if (2 * p <= 512) {
    Expand(a, p, kind, t);
    return;
  }
  if (kind == 1)
    Pass1(a, p, t.For(p));
  else
    Pass2(a, p, t.For(2 * p), t.w[1]);
  for (uint32_t d = 0; d < 4; ++d) Recurse(a + d * (p / 2), p / 4, ChildKind(kind, d), t);
}

// Bit-reversal permutation of m = 2^b complex values, optionally negating
// the imaginary parts. ip receives the reversal of the low half of the bits.
void BitReverse(float* a, uint32_t m, int32_t* ip, bool conj) {
  uint32_t b = 0;
  while ((1u << b) < m) ++b;
  const uint32_t l = b / 2, u = b - l;
  const uint32_t lo = 1u << l;
  for (uint32_t i = 0; i < lo; ++i) {
    uint32_t r = 0;
    for (uint32_t k = 0; k < l; ++k) r |= ((i >> k) & 1u) << (l - 1 - k);
    ip[i] = int32_t(r);
  }
  const uint32_t hi = 1u << u;
  for (uint32_t h = 0; h < hi; ++h) {
    const uint32_t rh = (u == l) ? uint32_t(ip[h]) : ((uint32_t(ip[h & (lo - 1)]) << 1) | (h >> l));
    for (uint32_t g = 0; g < lo; ++g) {
      const uint32_t i = (h << l) | g;
      const uint32_t r = (uint32_t(ip[g]) << u) | rh;
      if (i < r) {
        std::swap(a[2 * i], a[2 * r]);
        std::swap(a[2 * i + 1], a[2 * r + 1]);
        if (conj) a[2 * i + 1] = -a[2 * i + 1], a[2 * r + 1] = -a[2 * r + 1];
      } else if (i == r && conj) {
        a[2 * i + 1] = -a[2 * i + 1];
      }
    }
  }
}

template <bool kBackward>
void Transform(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  const uint32_t m = n / 2;
  const Tables t{w, nw};
  if (m >= 16) {
    FirstPass<kBackward>(a, m, t.For(m / 2));
    for (uint32_t d = 0; d < 4; ++d) Recurse(a + d * (m / 2), m / 4, ChildKind(1, d), t);
  } else {
    if (kBackward)
      for (uint32_t i = 0; i < m; ++i) a[2 * i + 1] = -a[2 * i + 1];
    Leaf(a, m, 1, t);
  }
  BitReverse(a, m, ip, kBackward);
}

void PlainForward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  Transform<false>(n, a, ip, w, nw);
}

void PlainBackward(uint32_t n, float* a, int32_t* ip, const float* w, uint32_t nw) {
  Transform<true>(n, a, ip, w, nw);
}

void PlainRealStep(uint32_t n, float* a, uint32_t nc, const float* c, float sign) {
  const uint32_t m = n / 2;
  const uint32_t ks = 2 * nc / m;
  uint32_t kk = 0;
  for (uint32_t j = 2; j < m; j += 2) {
    const uint32_t k = n - j;
    kk += ks;
    const float wr = 0.5f - c[nc - kk];
    const float wi = sign * c[kk];
    const float xr = a[j] - a[k];
    const float xi = a[j + 1] + a[k + 1];
    const float yr = wr * xr - wi * xi;
    const float yi = wr * xi + wi * xr;
    a[j] -= yr;
    a[j + 1] -= yi;
    a[k] += yr;
    a[k + 1] -= yi;
  }
}

constexpr ComplexFftKernels kPlain = {"plain", &PlainForward, &PlainBackward, &PlainRealStep};

}  // namespace

const ComplexFftKernels* PlainComplexFft() { return &kPlain; }
