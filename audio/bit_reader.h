// Bit reading for audio blocks: 32-bit little-endian words, bits taken from
// the least significant end, a field's first bit its bit 0. The reader is
// bounded by the end of its packet: bytes at or past `end` are never read;
// they read as zero bits, and the caller learns of it by comparing the bits
// consumed with the bits there were.
#pragma once
#include <cstdint>
#include <cstring>

struct AudioBitReader {
  const uint8_t* p;    // next byte to load
  const uint8_t* end;  // first byte not to read
  uint64_t acc;        // bits not yet consumed, next one in bit 0
  uint32_t bits;       // number of valid bits in acc (< 64)
  uint32_t words;      // 32-bit words loaded so far, including ones past end
};

inline void AudioBitReaderStart(AudioBitReader* r, const uint8_t* input, const uint8_t* end) {
  r->p = input;
  r->end = end > input ? end : input;
  r->acc = 0;
  r->bits = 0;
  r->words = 0;
}

// Loads the next word; called only when fewer than 32 bits remain, so the
// shift stays below the width of acc.
inline void AudioBitReaderLoad(AudioBitReader* r) {
  uint32_t word = 0;
  const size_t left = size_t(r->end - r->p);
  if (left >= 4) {
    uint8_t b[4];
    std::memcpy(b, r->p, 4);
    word = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    r->p += 4;
  } else {
    for (size_t i = 0; i < left; ++i) word |= uint32_t(r->p[i]) << (8 * i);
    r->p = r->end;
  }
  r->acc |= uint64_t(word) << r->bits;
  r->bits += 32;
  ++r->words;
}

// Reads an n-bit field, 1 <= n <= 32.
inline uint32_t AudioBitRead(AudioBitReader* r, uint32_t n) {
  if (r->bits < n) AudioBitReaderLoad(r);
  const uint32_t v = uint32_t(r->acc & ((uint64_t(1) << n) - 1));
  r->acc >>= n;
  r->bits -= n;
  return v;
}

// Bits consumed since the start.
inline uint64_t AudioBitsConsumed(const AudioBitReader* r) { return uint64_t(r->words) * 32 - r->bits; }
