#include "encode/coefficient_choice.h"

#include <bit>
#include <cstdlib>
#include <initializer_list>

#include "video/coefficients_scan.h"
#include "video/forward_transform.h"

namespace {

// Bits of a value of significance plane s (its bit length, 0 for zero).
int Plane(int m) { return std::bit_width(unsigned(m)); }

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

}  // namespace

int CoefficientBits(const uint8_t s[64]) {
  // Longest of each aligned group of four (group 0 holds the first three);
  // every maximum below is one over whole groups.
  uint8_t gm[16];
  gm[0] = 0;
  int n = 0;
  for (int k = 1; k <= 3; ++k) n = s[k] > n ? s[k] : n;
  for (int i = 1; i < 16; ++i) {
    gm[i] = uint8_t(MaxPlane(s, 4 * i, 4));
    n = gm[i] > n ? gm[i] : n;
  }
  int bits = 4;
  for (int k = 1; k <= 3; ++k) bits += n + (s[k] != 0);
  for (int first : {1, 6, 11}) {
    int g16 = 0;
    for (int i = first + 1; i <= first + 4; ++i) g16 = gm[i] > g16 ? gm[i] : g16;
    const int g = gm[first] > g16 ? gm[first] : g16;
    if (g == 0) {
      bits += n;
      continue;
    }
    // The start entry opens its own group, then stands for the sixteen
    // after it from the same pass on; those split into four groups.
    bits += n - g + 1 + ProcessedBits(s, 4 * first, g);
    if (g16 == 0) {
      bits += g;
      continue;
    }
    bits += g - g16 + 1;
    for (int i = first + 1; i <= first + 4; ++i)
      bits += gm[i] == 0 ? g16 : g16 - gm[i] + 1 + ProcessedBits(s, 4 * i, gm[i]);
  }
  return bits;
}

uint32_t CountCoefficientBits(const int16_t coef[64]) {
  uint8_t s[64];
  s[0] = 0;
  for (int k = 1; k < 64; ++k) s[k] = uint8_t(Plane(std::abs(coef[COEFF_SCAN[k]])));
  return uint32_t(CoefficientBits(s));
}

uint32_t ChooseCoefficients(const double F[64], const uint32_t quant[64], double lambda, int16_t coef[64]) {
  // Work in list order: magnitude, its plane, and the error at each choice.
  int mag[64];
  uint8_t s[64];
  double f[64], step[64];
  s[0] = 0;
  const double* steps = CoefficientSteps(quant);
  for (int k = 1; k < 64; ++k) {
    const int p = COEFF_SCAN[k];
    mag[k] = std::abs(coef[p]);
    s[k] = uint8_t(Plane(mag[k]));
    f[k] = F[p] < 0 ? -F[p] : F[p];
    step[k] = steps[p];
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
      // Past the first three, every maximum the count takes over a value
      // includes its aligned group of four: when another of the four is at
      // least as long, lowering it changes no maximum and saves only the
      // nonzero bit of a value that becomes zero.
      bool group_max = k < 4;
      if (!group_max) {
        const int g = k & ~3;
        int others = 0;
        for (int j = g; j < g + 4; ++j)
          if (j != k && s[j] > others) others = s[j];
        group_max = s_now > others;
      }
      for (int m : {(1 << (s_now - 1)) - 1, 0}) {
        const double e = f[k] - m * step[k];
        const double more_error = e * e - now * now;
        if (more_error >= lambda * bits) continue;
        s[k] = uint8_t(Plane(m));
        const int b = group_max ? CoefficientBits(s) : bits - (m == 0);
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
