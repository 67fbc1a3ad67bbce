// Reading the AC coefficients of a transform block: a significance list
// coded in bit planes (see coefficient_list.h for the list itself).
#pragma once
#include <cstdint>

#include "video/bit_reader.h"

// Writes positions 1..63 of block (natural order), zero where nothing is
// coded; position 0 (the DC value) is left alone. Reads at most 4 bits plus
// 15 passes over a list bounded by its structure, so no input can make it
// index outside the block; a stream that ends early shows as
// BitReaderOverrun(r), which the caller checks.
void ReadCoefficients(BitReader* r, int16_t block[64]);
