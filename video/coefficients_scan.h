// The order in which coefficient and residue lists map to pixels: list
// index k belongs to natural position (row * 8 + column) COEFF_SCAN[k].
// List indices 4j..4j+3 form a 2x2 square of natural positions.
#pragma once
#include <cstdint>

inline constexpr uint8_t COEFF_SCAN[64] = {
    0,  1,  8,  9,  2,  3,  10, 11, 4,  5,  12, 13, 6,  7,  14, 15, 20, 21, 28, 29, 22, 23,
    30, 31, 16, 17, 24, 25, 32, 33, 40, 41, 34, 35, 42, 43, 48, 49, 56, 57, 50, 51, 58, 59,
    18, 19, 26, 27, 36, 37, 44, 45, 38, 39, 46, 47, 52, 53, 60, 61, 54, 55, 62, 63,
};

// True when every group of four list indices 4j..4j+3 lands on the square
// p, p + 1, p + 8, p + 9: a group then moves as two pairs.
constexpr bool CoeffScanGroupsAreSquares() {
  for (int g = 0; g < 16; ++g) {
    const int p = COEFF_SCAN[4 * g];
    if (COEFF_SCAN[4 * g + 1] != p + 1 || COEFF_SCAN[4 * g + 2] != p + 8 || COEFF_SCAN[4 * g + 3] != p + 9)
      return false;
  }
  return true;
}
static_assert(CoeffScanGroupsAreSquares());
