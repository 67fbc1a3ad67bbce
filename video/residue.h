// Residue blocks: small signed corrections added to a displaced reference
// block, coded as a significance list in bit planes with a cap on the number
// of values changed.
#pragma once
#include <cstdint>

#include "video/bit_reader.h"

// Reads a residue into out (64 signed 8-bit values in list order). Reading
// stops after limit + 1 changes (a value becoming significant, or a
// refinement bit of 1). Values wrap modulo 256 at every step. The list is
// bounded by its structure whatever the bits; a stream that ends early shows
// as BitReaderOverrun(r), which the caller checks.
void ReadResidue(BitReader* r, int limit, int8_t out[64]);

// dst pixel = (src pixel + residue value at that position) modulo 256, the
// residue in list order and mapped through COEFF_SCAN. dst and src may be
// the same block.
void ResidueAdd(const int8_t residue[64], uint8_t* dst, int pitch, const uint8_t* src, int src_pitch);
