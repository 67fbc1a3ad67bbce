// Scan orders of the video blocks.
#pragma once
#include <cstdint>

// Visiting orders of the 64 pixels of a run block: RUN_SCANS[s][i] is the
// position (row * 8 + column) that the i-th pixel of the runs fills.
extern const uint8_t RUN_SCANS[16][64];

// The coefficient and residue order, COEFF_SCAN, lives with the coefficient
// readers in video/coefficients_scan.h.

// How often a block-kind symbol of 12..15 repeats the last kind.
extern const uint8_t RUN_LENGTH_ESCAPES[16];
