// The order in which coefficient and residue lists map to pixels: list
// index k belongs to natural position (row * 8 + column) COEFF_SCAN[k].
// List indices 4j..4j+3 form a 2x2 square of natural positions.
#pragma once
#include <cstdint>

extern const uint8_t COEFF_SCAN[64];
