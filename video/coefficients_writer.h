// Writers of the coefficient and residue lists: the exact mirror of
// ReadCoefficients and ReadResidue.
#pragma once
#include <cstdint>

#include "video/bit_writer.h"

// Writes the AC coefficients of block (natural order, positions 1..63;
// position 0 is the DC value and is not written). Magnitudes above 32767 are
// clamped to 32767. With w null nothing is written; the result is the number
// of bits the coding takes either way.
uint32_t WriteCoefficients(BitWriter* w, const int16_t block[64]);
