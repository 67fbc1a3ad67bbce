// Bit reader for the video planes: bits are taken least significant first
// from little-endian 32-bit words.
//
// The reader keeps up to 63 unread bits in a 64-bit cache and tops it up
// eight bytes at a time: one unaligned 64-bit load while at least eight bytes
// of the stream are left, byte by byte near its end. A top-up leaves 56 to 63
// bits in the cache, so any field of up to 32 bits, or a 32-bit peek, needs at
// most one. Bits of the cache above the count are the stream's next bits (or
// zero), never anything else, so a later top-up may OR them in again.
//
// The stream is bounded: bytes at or past `size` read as zero (a partial last
// word is padded with zero bytes), so peeking ahead of the end never looks at
// memory beyond the frame's video data. Only bits that are actually consumed
// past the end make the data invalid; that is reported by BitReaderOverrun,
// which stays true once it has become true because the consumed count only
// grows.
#pragma once
#include <cstdint>
#include <cstring>

struct BitReader {
  const uint8_t* data;  // first byte of the stream (need not be aligned)
  uint32_t size;        // bytes readable from data
  uint32_t next;        // byte offset of the next byte to load
  uint32_t wide_end;    // the 64-bit load is used while next < wide_end
  uint64_t cache;       // unread bits, next bit in bit 0
  uint32_t bits;        // number of valid bits in cache (0..63)
};

inline void BitReaderInit(BitReader* r, const uint8_t* data, uint32_t size) {
  r->data = data;
  r->size = size;
  r->next = 0;
  r->wide_end = size >= 8 ? size - 7 : 0;
  r->cache = 0;
  r->bits = 0;
}

// The end of the stream: byte by byte, zeros past the end.
inline void BitReaderRefillTail(BitReader* r) {
  while (r->bits < 56) {
    const uint32_t at = r->next++;
    if (at < r->size) r->cache |= uint64_t(r->data[at]) << r->bits;
    r->bits += 8;
  }
}

// Tops a cache of `bits` (0..63) bits up to 56..63 from the eight bytes at
// p, which must all be readable; returns how many of them it took.
inline __attribute__((always_inline)) uint32_t BitCacheTopUp(uint64_t* cache, uint32_t* bits, const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  w = __builtin_bswap64(w);
#endif
  *cache |= w << *bits;
  const uint32_t taken = (63 - *bits) >> 3;
  *bits |= 56;
  return taken;
}

// Tops the cache up to 56..63 bits.
inline void BitReaderRefill(BitReader* r) {
  if (r->next < r->wide_end) [[likely]] {
    r->next += BitCacheTopUp(&r->cache, &r->bits, r->data + r->next);
  } else {
    BitReaderRefillTail(r);
  }
}

// Makes at least n (n <= 56) bits available.
inline void BitReaderNeed(BitReader* r, uint32_t n) {
  if (r->bits < n) BitReaderRefill(r);
}

// The next n bits (0 <= n <= 32) without consuming them.
inline uint32_t PeekBits(BitReader* r, uint32_t n) {
  BitReaderNeed(r, n);
  return uint32_t(r->cache & ((uint64_t(1) << n) - 1));
}

// Consumes n bits (n <= 32) that a PeekBits of at least n has made available.
inline void SkipBits(BitReader* r, uint32_t n) {
  r->cache >>= n;
  r->bits -= n;
}

// Reads n bits (0 <= n <= 32); the first bit read is bit 0 of the value.
inline uint32_t ReadBits(BitReader* r, uint32_t n) {
  BitReaderNeed(r, n);
  uint32_t v = uint32_t(r->cache & ((uint64_t(1) << n) - 1));
  r->cache >>= n;
  r->bits -= n;
  return v;
}

inline uint32_t ReadBit(BitReader* r) {
  if (r->bits == 0) BitReaderRefill(r);
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
