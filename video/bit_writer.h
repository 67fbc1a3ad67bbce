// Bit writer, the mirror of BitReader: bits are put least significant first
// into little-endian 32-bit words.
//
// The writer fills a caller-owned buffer. Running out of room sets `overflow`
// and drops further bits; the caller checks the flag once at the end rather
// than after every put.
#pragma once
#include <cstdint>

struct BitWriter {
  uint8_t* data;      // output buffer
  uint32_t capacity;  // bytes available in data
  uint32_t size;      // whole bytes written so far (a multiple of 4)
  uint64_t cache;     // pending bits, first bit in bit 0
  uint32_t bits;      // pending bit count (0..31 between calls)
  bool overflow;      // a word did not fit
};

void BitWriterInit(BitWriter* w, uint8_t* data, uint32_t capacity);

// Puts the low n bits of value (0 <= n <= 32), bit 0 first.
inline void PutBits(BitWriter* w, uint32_t value, uint32_t n);
inline void PutBit(BitWriter* w, uint32_t bit) { PutBits(w, bit & 1, 1); }

// Writes out a full pending word; used by PutBits.
void BitWriterEmitWord(BitWriter* w);

inline void PutBits(BitWriter* w, uint32_t value, uint32_t n) {
  uint64_t v = n >= 32 ? uint64_t(value) : (uint64_t(value) & ((uint64_t(1) << n) - 1));
  w->cache |= v << w->bits;
  w->bits += n;
  if (w->bits >= 32) BitWriterEmitWord(w);
}

// Bits put so far.
inline uint64_t BitWriterBitCount(const BitWriter* w) { return uint64_t(w->size) * 8 + w->bits; }

// Pads the stream with zero bits to the next 32-bit word boundary and returns
// the bytes written (a multiple of 4), or 0 when the buffer overflowed.
uint32_t BitWriterFlush(BitWriter* w);
