#include "encode/coefficient_choice.h"

#include <bit>
#include <cstdlib>
#include <initializer_list>

#include "video/coefficients_scan.h"
#include "video/forward_transform.h"

namespace {

// Bits of a value of significance plane s (its bit length, 0 for zero).
int Plane(int m) { return std::bit_width(unsigned(m)); }

// The bits of the three start entries and the groups behind them, in n
// passes, from the longest plane (gm) and nonzero count (nz) of each aligned
// group of four: a group processed in pass g costs each of its values a
// bit per pass down to its own (g in all), plus one for a nonzero value.
int StartEntryBits(int n, const uint8_t gm[16], const uint8_t nz[16]) {
  int bits = 0;
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
    bits += n - g + 1 + 4 * g + nz[first];
    if (g16 == 0) {
      bits += g;
      continue;
    }
    bits += g - g16 + 1;
    for (int i = first + 1; i <= first + 4; ++i)
      bits += gm[i] == 0 ? g16 : g16 - gm[i] + 1 + 4 * gm[i] + nz[i];
  }
  return bits;
}

// The coefficient count from the planes of list positions 1..3 (first3,
// single entries) and the groups from 1 on.
int BitsFromGroups(const uint8_t first3[3], const uint8_t gm[16], const uint8_t nz[16]) {
  // Every maximum is one over whole groups.
  int n = 0;
  for (int k = 0; k < 3; ++k) n = first3[k] > n ? first3[k] : n;
  for (int i = 1; i < 16; ++i) n = gm[i] > n ? gm[i] : n;
  int bits = 4;
  for (int k = 0; k < 3; ++k) bits += n + (first3[k] != 0);
  return bits + StartEntryBits(n, gm, nz);
}

// List group i (1..15) of a block: the 2x2 square of natural positions
// whose top left is COEFF_SCAN[4i].
constexpr uint8_t GroupCorner(int i) { return COEFF_SCAN[4 * i]; }

}  // namespace

int CoefficientBits(const uint8_t s[64]) {
  uint8_t gm[16] = {}, nz[16] = {};
  for (int i = 1; i < 16; ++i) {
    const uint8_t* g = s + 4 * i;
    const uint8_t a = g[0] > g[1] ? g[0] : g[1], b = g[2] > g[3] ? g[2] : g[3];
    gm[i] = a > b ? a : b;
    nz[i] = uint8_t((g[0] != 0) + (g[1] != 0) + (g[2] != 0) + (g[3] != 0));
  }
  return BitsFromGroups(s + 1, gm, nz);
}

uint32_t CountCoefficientBits(const int16_t coef[64]) {
  // Straight from the 2x2 squares: a group's longest plane is that of the
  // OR of its magnitudes.
  auto Mag = [](int16_t v) { return unsigned(v < 0 ? -int(v) : int(v)); };
  uint8_t first3[3], gm[16] = {}, nz[16] = {};
  for (int k = 1; k <= 3; ++k) first3[k - 1] = uint8_t(Plane(int(Mag(coef[COEFF_SCAN[k]]))));
  for (int i = 1; i < 16; ++i) {
    const int16_t* c = coef + GroupCorner(i);
    gm[i] = uint8_t(std::bit_width(Mag(c[0]) | Mag(c[1]) | Mag(c[8]) | Mag(c[9])));
    nz[i] = uint8_t((c[0] != 0) + (c[1] != 0) + (c[8] != 0) + (c[9] != 0));
  }
  return uint32_t(BitsFromGroups(first3, gm, nz));
}

namespace {

// The walk's bits in all passes, and in the passes above plane `low`, from
// the same structure as StartEntryBits: everything the walk still holds (a
// waiting entry, or a value of a group already processed) spends one bit in
// every pass; a value adds its sign in the pass of its own plane.
struct WalkCount {
  int low;
  int total = 0, above = 0;
  const uint8_t* s;
  // One bit in each pass from plane `from` down to plane `to`.
  void Every(int from, int to) {
    total += from - to + 1;
    const int top_to = to > low + 1 ? to : low + 1;
    above += from >= top_to ? from - top_to + 1 : 0;
  }
  void Group(int i, int g) {
    Every(g, 1);
    total += 3 * g;
    above += 3 * (g > low ? g - low : 0);
    for (int k = 4 * i; k < 4 * i + 4; ++k) total += s[k] != 0, above += s[k] > low;
  }
};

}  // namespace

int ResidueWalkBits(const int8_t target[64], int* least) {
  uint8_t s[64], gm[16] = {};
  unsigned all = 0;
  for (int k = 0; k < 64; ++k) {
    const unsigned m = unsigned(target[k] < 0 ? -int(target[k]) : int(target[k]));
    all |= m;
    s[k] = uint8_t(std::bit_width(m));
    gm[k >> 2] = s[k] > gm[k >> 2] ? s[k] : gm[k >> 2];
  }
  const int n = all ? std::bit_width(all) : 1;  // a residue always has its last pass
  // The last change comes in the pass of the lowest plane any value has set.
  WalkCount w{all ? std::countr_zero(all) + 1 : 0, 0, 0, s};
  // Group 0 is a group entry of its own.
  if (gm[0] == 0) {
    w.Every(n, 1);
  } else {
    w.Every(n, gm[0]);
    w.Group(0, gm[0]);
  }
  for (int first : {1, 6, 11}) {
    int g16 = 0;
    for (int i = first + 1; i <= first + 4; ++i) g16 = gm[i] > g16 ? gm[i] : g16;
    const int g = gm[first] > g16 ? gm[first] : g16;
    if (g == 0) {
      w.Every(n, 1);
      continue;
    }
    w.Every(n, g);
    w.Group(first, g);
    if (g16 == 0) {
      w.Every(g, 1);
      continue;
    }
    w.Every(g, g16);
    for (int i = first + 1; i <= first + 4; ++i) {
      if (gm[i] == 0) {
        w.Every(g16, 1);
      } else {
        w.Every(g16, gm[i]);
        w.Group(i, gm[i]);
      }
    }
  }
  // The 3-bit top plane; nothing after the last change is written, but
  // everything before its pass is, and the change itself.
  if (least) *least = all ? 3 + w.above + 1 : 3 + w.total;
  return 3 + w.total;
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
  // Each group's longest plane and nonzero count, kept up to date so that
  // a move is counted without looking at the other groups again.
  uint8_t gm[16] = {}, nz[16] = {};
  for (int i = 1; i < 16; ++i)
    for (int k = 4 * i; k < 4 * i + 4; ++k) gm[i] = s[k] > gm[i] ? s[k] : gm[i], nz[i] += s[k] != 0;
  int bits = BitsFromGroups(s + 1, gm, nz);
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
      const int i = k >> 2;
      int others = 0;
      bool group_max = k < 4;
      if (!group_max) {
        const int g = k & ~3;
        for (int j = g; j < g + 4; ++j)
          if (j != k && s[j] > others) others = s[j];
        group_max = s_now > others;
      }
      for (int m : {(1 << (s_now - 1)) - 1, 0}) {
        const double e = f[k] - m * step[k];
        const double more_error = e * e - now * now;
        if (more_error >= lambda * bits) continue;
        s[k] = uint8_t(Plane(m));
        int b = bits - (m == 0);
        if (group_max) {
          // The first three are counted from s itself; a group from its
          // maximum and count, changed for the trial and put back.
          const uint8_t gm_now = gm[i], nz_now = nz[i];
          if (k >= 4) gm[i] = uint8_t(others > s[k] ? others : s[k]), nz[i] = uint8_t(nz[i] - (m == 0));
          b = BitsFromGroups(s + 1, gm, nz);
          gm[i] = gm_now, nz[i] = nz_now;
        }
        const double j = more_error + lambda * (b - bits);
        if (j < best_j) best_j = j, best_m = m, best_bits = b;
        if (m == 0) break;
      }
      mag[k] = best_m;
      s[k] = uint8_t(Plane(best_m));
      if (k >= 4) gm[i] = uint8_t(others > s[k] ? others : s[k]), nz[i] = uint8_t(nz[i] - (best_m == 0));
      if (best_m != m_now) changed = true, bits = best_bits;
    }
    if (!changed) break;
  }
  // One value at a time never empties a group whose entry costs more than
  // any of its values saves: weigh clearing each start entry's twenty
  // values at once, and then every value.
  auto Clear = [&](int first, int last) {
    double more_error = 0;
    uint8_t kept[64];
    bool any = false;
    for (int k = first; k <= last; ++k) {
      if (!mag[k]) continue;
      any = true;
      const double e = f[k] - mag[k] * step[k];
      more_error += f[k] * f[k] - e * e;
    }
    if (!any || more_error >= lambda * bits) return;
    for (int k = first; k <= last; ++k) kept[k] = s[k], s[k] = 0;
    const int b = CoefficientBits(s);
    if (more_error + lambda * (b - bits) < 0) {
      for (int k = first; k <= last; ++k) mag[k] = 0;
      bits = b;
    } else {
      for (int k = first; k <= last; ++k) s[k] = kept[k];
    }
  };
  Clear(44, 63);
  Clear(24, 43);
  Clear(4, 23);
  Clear(1, 63);
  for (int k = 1; k < 64; ++k) {
    const int p = COEFF_SCAN[k];
    coef[p] = int16_t(coef[p] < 0 ? -mag[k] : mag[k]);
  }
  return uint32_t(bits);
}
