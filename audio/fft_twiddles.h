// Twiddles of the vector FFTs, one table for the process: for every stage
// length L = 8 .. kFftTwiddleMaxPoints (a power of two), six rows of L/4
// floats, cos and sin of 2 pi p/L, 4 pi p/L and 6 pi p/L for p = 0 .. L/4-1.
// Built once on first use (safe from any thread), never freed.
#pragma once
#include <cstdint>

constexpr uint32_t kFftTwiddleMaxPoints = 2048;

struct FftStageTwiddles {
  const float* c1;
  const float* s1;
  const float* c2;
  const float* s2;
  const float* c3;
  const float* s3;
};

// The rows for stage length l (8 <= l <= kFftTwiddleMaxPoints).
FftStageTwiddles FftTwiddlesFor(uint32_t l);
