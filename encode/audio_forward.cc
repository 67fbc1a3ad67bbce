#include "encode/audio_forward.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// In-place radix-2 DFT with e^(-2 pi i jk / n).
void Fft(AudioForward* f) {
  std::vector<std::complex<double>>& a = f->work;
  const uint32_t n = f->n;
  for (uint32_t i = 0; i < n; ++i)
    if (i < f->reverse[i]) std::swap(a[i], a[f->reverse[i]]);
  for (uint32_t len = 2; len <= n; len *= 2) {
    const uint32_t step = n / len;
    for (uint32_t s = 0; s < n; s += len)
      for (uint32_t k = 0; k < len / 2; ++k) {
        const std::complex<double> t = a[s + k + len / 2] * f->roots[k * step];
        a[s + k + len / 2] = a[s + k] - t;
        a[s + k] += t;
      }
  }
}

}  // namespace

void AudioForwardInit(AudioForward* f, uint32_t n) {
  f->n = n;
  f->roots.resize(n / 2);
  for (uint32_t k = 0; k < n / 2; ++k) f->roots[k] = std::polar(1.0, -2 * kPi * k / n);
  f->reverse.resize(n);
  uint32_t bits = 0;
  while ((1u << bits) < n) ++bits;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t r = 0;
    for (uint32_t b = 0; b < bits; ++b) r |= ((i >> b) & 1u) << (bits - 1 - b);
    f->reverse[i] = r;
  }
  f->work.resize(n);
}

// X = DFT(x) = A - iB with A_j = sum x cos, B_j = sum x sin; the inverse
// real DFT's coefficients are 2A/n and 2B/n.
void AudioForwardRealDft(AudioForward* f, const double* x, double* a) {
  const uint32_t n = f->n;
  for (uint32_t k = 0; k < n; ++k) f->work[k] = x[k];
  Fft(f);
  const double g = 2.0 / n;
  a[0] = g * f->work[0].real();
  a[1] = g * f->work[n / 2].real();
  for (uint32_t j = 1; j < n / 2; ++j) {
    a[2 * j] = g * f->work[j].real();
    a[2 * j + 1] = -g * f->work[j].imag();
  }
}

// DCT-II through one complex DFT of the even samples followed by the odd
// ones reversed; the inverse DCT's coefficients are X0/n and 2Xj/n.
void AudioForwardDct(AudioForward* f, const double* x, double* a) {
  const uint32_t n = f->n;
  for (uint32_t k = 0; k < n / 2; ++k) {
    f->work[k] = x[2 * k];
    f->work[n - 1 - k] = x[2 * k + 1];
  }
  Fft(f);
  for (uint32_t j = 0; j < n; ++j) {
    const std::complex<double> t = f->work[j] * std::polar(1.0, -kPi * j / (2.0 * n));
    a[j] = t.real() * (j == 0 ? 1.0 : 2.0) / n;
  }
}
