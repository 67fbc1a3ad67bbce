// Bit reader for the video planes: bits are taken least significant first
// from little-endian 32-bit words.
//
// The reader keeps up to 64 unread bits in a 64-bit cache and loads the
// stream one 32-bit word at a time, so no shift ever reaches the width of the
// value it shifts. The stream is bounded: words at or past `size` read as
// zero (a partial last word is padded with zero bytes), so peeking ahead of
// the end never looks at memory beyond the frame's video data. Only bits that
// are actually consumed past the end make the data invalid; that is reported
// by BitReaderOverrun, which stays true once it has become true because the
// consumed count only grows.
#pragma once
#include <cstdint>
#include <cstring>

struct BitReader {
  const uint8_t* data;  // first byte of the stream (need not be aligned)
  uint32_t size;        // bytes readable from data
  uint32_t next;        // byte offset of the next word to load
  uint64_t cache;       // unread bits, next bit in bit 0
  uint32_t bits;        // number of valid bits in cache (0..63)
};

inline void BitReaderInit(BitReader* r, const uint8_t* data, uint32_t size) {
  r->data = data;
  r->size = size;
  r->next = 0;
  r->cache = 0;
  r->bits = 0;
}

// Loads the next 32-bit word behind the cached bits. Needs bits <= 32.
inline void BitReaderLoad(BitReader* r) {
  uint32_t w = 0;
  uint32_t at = r->next;
  if (at < r->size) {
    if (r->size - at >= 4) {
      std::memcpy(&w, r->data + at, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      w = __builtin_bswap32(w);
#endif
    } else {
      for (uint32_t i = 0; at + i < r->size; ++i) w |= uint32_t(r->data[at + i]) << (8 * i);
    }
  }
  r->cache |= uint64_t(w) << r->bits;
  r->bits += 32;
  r->next = at + 4;
}

// The next n bits (0 <= n <= 32) without consuming them.
inline uint32_t PeekBits(BitReader* r, uint32_t n) {
  if (r->bits < n) BitReaderLoad(r);
  return uint32_t(r->cache & ((uint64_t(1) << n) - 1));
}

// Consumes n bits (n <= 32) that a PeekBits of at least n has made available.
inline void SkipBits(BitReader* r, uint32_t n) {
  r->cache >>= n;
  r->bits -= n;
}

// Reads n bits (0 <= n <= 32); the first bit read is bit 0 of the value.
inline uint32_t ReadBits(BitReader* r, uint32_t n) {
  if (r->bits < n) BitReaderLoad(r);
  uint32_t v = uint32_t(r->cache & ((uint64_t(1) << n) - 1));
  r->cache >>= n;
  r->bits -= n;
  return v;
}

inline uint32_t ReadBit(BitReader* r) {
  if (r->bits == 0) BitReaderLoad(r);
  uint32_t v = uint32_t(r->cache & 1);
  r->cache >>= 1;
  r->bits -= 1;
  return v;
}

// Bits consumed since the start of the stream.
inline uint64_t BitReaderConsumed(const BitReader* r) { return uint64_t(r->next) * 8 - r->bits; }

// True once a bit past the end of the stream has been consumed.
inline bool BitReaderOverrun(const BitReader* r) {
  return BitReaderConsumed(r) > uint64_t(r->size) * 8;
}

// Byte offset of the first 32-bit word from which no bit has been taken.
inline uint64_t BitReaderWordOffset(const BitReader* r) { return (BitReaderConsumed(r) + 31) / 32 * 4; }
