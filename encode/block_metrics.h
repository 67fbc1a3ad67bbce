// Sums of differences over 8x8 blocks, the inner loops of the motion search
// and of every candidate's error: vectorised where the processor has SSE2.
#pragma once
#include <cstdint>

// Sum of absolute differences between the 8x8 block s (row by row, 8 apart)
// and the block at r (rows pitch apart).
uint32_t BlockSad(const uint8_t s[64], const uint8_t* r, int pitch);

// Sum of squared differences between the block at s (rows pitch apart) and
// recon (row by row).
uint64_t BlockSse(const uint8_t* s, int pitch, const uint8_t recon[64]);

// Squared error of an 8x8 result drawn doubled over the 16x16 area at src.
uint64_t ScaledSse(const uint8_t* src, int pitch, const uint8_t recon[64]);

// The least squared error any doubled 8x8 result can have over the 16x16
// area: each 2x2 cell at best takes its mean.
uint64_t ScaledSseFloor(const uint8_t* src, int pitch);
