// Which neighbouring pixels along a run scan are equal: the one look at a
// block that every run count starts from. The vector form gathers a scan
// sixteen pixels at a time where the processor has SSSE3.
#pragma once
#include <cstdint>

// Bit i set when pixels i and i + 1 along RUN_SCANS[scan] are equal (bit 63
// always clear). s: the 8x8 block, row by row.
uint64_t EqualNeighbours(const uint8_t s[64], int scan);

// The plain form, whichever form EqualNeighbours runs (for tests).
uint64_t EqualNeighboursPlain(const uint8_t s[64], int scan);
