// InverseRealDft and InverseDct: real-input wrappers around the complex FFT,
// and the building of their cos/sin tables.
#include "audio/audio_transform.h"

#include <cmath>

#include "audio/complex_fft.h"

namespace {

constexpr double kQuarterPi = 0.78539816339744830962;

}  // namespace

uint32_t AudioTransformIndexEntries(uint32_t n) {
  return uint32_t(std::lround(std::sqrt(double(n / 2)))) + 2;
}

uint32_t AudioTransformTableFloats(uint32_t n, bool dct) { return dct ? n / 4 + n : n / 2; }

void AudioBuildTwiddles(uint32_t nw, int32_t* ip, float* w) {
  ip[0] = int32_t(nw);
  ip[1] = 1;
  if (nw <= 2) return;
  uint32_t h = nw / 2;
  const float delta = float(kQuarterPi / double(h));
  w[0] = 1.0f;
  w[1] = float(std::cos(double(delta) * h));
  if (h >= 4) {
    w[2] = float(0.5 / std::cos(double(delta) * 2.0));
    w[3] = float(0.5 / std::cos(double(delta) * 6.0));
  }
  for (uint32_t j = 4; j < h; j += 4) {
    w[j] = float(std::cos(double(delta) * j));
    w[j + 1] = float(std::sin(double(delta) * j));
    w[j + 2] = float(std::cos(double(delta) * 3.0 * j));
    w[j + 3] = float(std::sin(double(delta) * 3.0 * j));
  }
  // Sub-tables for blocks half as long: every other entry of the one before.
  uint32_t p = 0;
  while (h > 2) {
    const uint32_t q = p + h;
    h /= 2;
    w[q] = 1.0f;
    w[q + 1] = w[1];
    if (h >= 4) {
      w[q + 2] = 0.5f / w[p + 4];
      w[q + 3] = 0.5f / w[p + 6];
      for (uint32_t j = 4; j < h; j += 4) {
        w[q + j] = w[p + 2 * j];
        w[q + j + 1] = w[p + 2 * j + 1];
        w[q + j + 2] = w[p + 2 * j + 2];
        w[q + j + 3] = w[p + 2 * j + 3];
      }
    }
    p = q;
  }
}

void AudioBuildCosines(uint32_t nc, int32_t* ip, float* c) {
  ip[1] = int32_t(nc);
  if (nc <= 1) return;
  const uint32_t h = nc / 2;
  const float delta = float(kQuarterPi / double(h));
  c[0] = float(std::cos(double(delta) * h));
  c[h] = 0.5f * c[0];
  for (uint32_t j = 1; j < h; ++j) {
    c[j] = float(0.5 * std::cos(double(delta) * j));
    c[nc - j] = float(0.5 * std::sin(double(delta) * j));
  }
}

void InverseRealDft(uint32_t n, float* a, int32_t* ip, float* w) {
  uint32_t nw = uint32_t(ip[0]);
  if (n > 4 * nw) {
    nw = n / 4;
    AudioBuildTwiddles(nw, ip, w);
  }
  uint32_t nc = uint32_t(ip[1]);
  if (n > 4 * nc) {
    nc = n / 4;
    AudioBuildCosines(nc, ip, w + nw);
  }
  a[1] = 0.5f * (a[0] - a[1]);
  a[0] -= a[1];
  if (n > 4) ComplexFftRealStep(n, a, nc, w + nw, -1.0f);
  ComplexFftBackward(n, a, ip + 2, w, nw);
}

void InverseDct(uint32_t n, float* a, int32_t* ip, float* w) {
  uint32_t nw = uint32_t(ip[0]);
  if (n > 4 * nw) {
    nw = n / 4;
    AudioBuildTwiddles(nw, ip, w);
  }
  uint32_t nc = uint32_t(ip[1]);
  if (n > nc) {
    nc = n;
    AudioBuildCosines(nc, ip, w + nw);
  }
  const float* c = w + nw;
  const uint32_t m = n / 2;
  // Cosine pre-rotation.
  const uint32_t ks = nc / n;
  for (uint32_t j = 1; j < m; ++j) {
    const uint32_t k = n - j;
    const uint32_t kk = j * ks;
    const float wr = c[kk] - c[nc - kk];
    const float wi = c[kk] + c[nc - kk];
    const float xr = wi * a[j] - wr * a[k];
    a[j] = wr * a[j] + wi * a[k];
    a[k] = xr;
  }
  a[m] *= c[0];
  ComplexFftForward(n, a, ip + 2, w, nw);
  if (n > 4) ComplexFftRealStep(n, a, nc, c, 1.0f);
  // Final butterflies.
  const float r = a[0] - a[1];
  a[0] += a[1];
  for (uint32_t j = 2; j < n; j += 2) {
    a[j - 1] = a[j] - a[j + 1];
    a[j] += a[j + 1];
  }
  a[n - 1] = r;
}
