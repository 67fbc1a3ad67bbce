// Writer of residue lists, the mirror of ReadResidue.
#pragma once
#include <cstdint>

#include "video/bit_writer.h"

// Changes (values becoming significant plus refinement bits of 1) that
// coding target exactly takes; a limit of this minus one (at most 127)
// codes it in full.
int ResidueChanges(const int8_t target[64]);

// Writes the residue bits (not the 7-bit limit, which the block writes
// before them) for target (list order) under limit 0..127. Coding stops
// where the reader stops, so with a limit below ResidueChanges - 1 only the
// most significant part of target is coded. decoded (may be null) receives
// what ReadResidue will return. With w null nothing is written; the result
// is the bit count either way.
uint32_t WriteResidue(BitWriter* w, const int8_t target[64], int limit, int8_t decoded[64]);
