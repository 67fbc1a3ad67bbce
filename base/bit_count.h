// Bits set in a word, in a few plain operations: the baseline instruction
// set has no population count, and the library's falls back to a call.
#pragma once
#include <cstdint>

inline int BitCount64(uint64_t v) {
  v = v - ((v >> 1) & 0x5555555555555555ull);
  v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
  v = (v + (v >> 4)) & 0x0f0f0f0f0f0f0f0full;
  return int((v * 0x0101010101010101ull) >> 56);
}
