// The sixteen fixed prefix codes of the video planes. Every code table has
// sixteen codes, indexed 0..15; a plane chooses one table per value stream
// and maps code indices to symbols through its own permutation (HuffTree).
#pragma once
#include <cstdint>

constexpr uint32_t kCodePeekBits = 7;

struct CodeTableSet {
  // Decoding: indexed by the next 7 bits of the stream taken LSB first (the
  // first bit of the code in bit 0). Each byte holds the code length in its
  // high nibble and the code index in its low nibble. Every 7-bit index whose
  // low bits equal a code carries that code's entry, so one lookup decodes a
  // code of any table (the longest code of any table is 7 bits).
  uint8_t lookup[16][128];
  // Encoding: code index -> its bits as an LSB-first number (the first bit
  // in bit 0) and its length in bits.
  uint8_t bits[16][16];
  uint8_t lengths[16][16];
};

extern const CodeTableSet CODE_TABLES;
