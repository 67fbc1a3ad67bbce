#include "encode/coefficient_choice.h"

#include <cstdlib>
#include <initializer_list>

#include "video/coefficients_scan.h"
#include "video/forward_transform.h"

namespace {

// Bits of a value of significance plane s (its bit length, 0 for zero).
int Plane(int m) {
  int s = 0;
  while (m >> s) ++s;
  return s;
}

int MaxPlane(const uint8_t* s, int first, int count) {
  int g = 0;
  for (int k = first; k < first + count; ++k) g = s[k] > g ? s[k] : g;
  return g;
}

// A group of four processed in pass g: each value then costs a bit per
// pass down to its own (g in all), plus one for a nonzero value.
int ProcessedBits(const uint8_t* s, int first, int g) {
  int bits = 4 * g;
  for (int k = first; k < first + 4; ++k) bits += s[k] != 0;
  return bits;
}

// A group of four examined from pass `from` on: a bit per pass until it
// opens in the pass of its largest value.
int GroupBits(const uint8_t* s, int first, int from) {
  const int g = MaxPlane(s, first, 4);
  return g == 0 ? from : from - g + 1 + ProcessedBits(s, first, g);
}

}  // namespace

int CoefficientBits(const uint8_t s[64]) {
  const int n = MaxPlane(s, 1, 63);
  int bits = 4;
  for (int k = 1; k <= 3; ++k) bits += n + (s[k] != 0);
  for (int start : {4, 24, 44}) {
    const int g = MaxPlane(s, start, 20);
    if (g == 0) {
      bits += n;
      continue;
    }
    // The start entry opens its own group, then stands for the sixteen
    // after it from the same pass on; those split into four groups.
    bits += n - g + 1 + ProcessedBits(s, start, g);
    const int g16 = MaxPlane(s, start + 4, 16);
    if (g16 == 0) {
      bits += g;
      continue;
    }
    bits += g - g16 + 1;
    for (int j = start + 4; j < start + 20; j += 4) bits += GroupBits(s, j, g16);
  }
  return bits;
}

uint32_t ChooseCoefficients(const double F[64], const uint32_t quant[64], double lambda, int16_t coef[64]) {
  // Work in list order: magnitude, its plane, and the error at each choice.
  int mag[64];
  uint8_t s[64];
  double f[64], step[64];
  s[0] = 0;
  for (int k = 1; k < 64; ++k) {
    const int p = COEFF_SCAN[k];
    mag[k] = std::abs(coef[p]);
    s[k] = uint8_t(Plane(mag[k]));
    f[k] = F[p] < 0 ? -F[p] : F[p];
    step[k] = CoefficientStep(quant, p);
  }
  int bits = CoefficientBits(s);
  // Within its plane a value costs the same bits whatever it is, so the
  // only moves worth weighing drop a value to the top of the plane below
  // or to zero. Highest list positions first: their groups empty first.
  for (int sweep = 0; sweep < 2; ++sweep) {
    bool changed = false;
    for (int k = 63; k >= 1; --k) {
      if (mag[k] == 0) continue;
      const double now = f[k] - mag[k] * step[k];
      const int m_now = mag[k];
      const uint8_t s_now = s[k];
      int best_m = m_now, best_bits = bits;
      double best_j = 0;
      for (int m : {(1 << (s_now - 1)) - 1, 0}) {
        const double e = f[k] - m * step[k];
        const double more_error = e * e - now * now;
        if (more_error >= lambda * bits) continue;
        s[k] = uint8_t(Plane(m));
        const int b = CoefficientBits(s);
        const double j = more_error + lambda * (b - bits);
        if (j < best_j) best_j = j, best_m = m, best_bits = b;
        if (m == 0) break;
      }
      mag[k] = best_m;
      s[k] = uint8_t(Plane(best_m));
      if (best_m != m_now) changed = true, bits = best_bits;
    }
    if (!changed) break;
  }
  for (int k = 1; k < 64; ++k) {
    const int p = COEFF_SCAN[k];
    coef[p] = int16_t(coef[p] < 0 ? -mag[k] : mag[k]);
  }
  return uint32_t(bits);
}
