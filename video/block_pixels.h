// Pixel moves of the block kinds: 8x8 copies, fills and two-colour patterns,
// plain and doubled to 16x16. Rows move as 64-bit words.
#pragma once
#include <cstdint>
#include <cstring>

// kPatternMasks[m] has byte k (in memory order) 0xFF where bit k of m is set.
struct PatternMaskTable {
  uint64_t mask[256];
};
constexpr PatternMaskTable MakePatternMasks() {
  PatternMaskTable t{};
  for (uint32_t m = 0; m < 256; ++m)
    for (uint32_t k = 0; k < 8; ++k)
      if (m >> k & 1) t.mask[m] |= uint64_t(0xFF) << (8 * k);
  return t;
}
inline constexpr PatternMaskTable kPatternMasks = MakePatternMasks();

inline uint64_t LoadRow(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void StoreRow(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Rows are loaded whole before they are stored, so a source overlapping the
// destination within a row is read before it is written.
inline void CopyBlock8x8(uint8_t* dst, const uint8_t* src, int pitch) {
  for (int y = 0; y < 8; ++y) StoreRow(dst + y * pitch, LoadRow(src + y * pitch));
}

inline void FillBlock(uint8_t* dst, int pitch, uint32_t colour, int size) {
  uint64_t v = uint64_t(colour & 0xFF) * 0x0101010101010101ull;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; x += 8) StoreRow(dst + y * pitch + x, v);
}

inline void PatternBlock(uint8_t* dst, int pitch, uint32_t c0, uint32_t c1, const uint8_t rows[8]) {
  uint64_t v0 = uint64_t(c0 & 0xFF) * 0x0101010101010101ull;
  uint64_t v1 = uint64_t(c1 & 0xFF) * 0x0101010101010101ull;
  for (int y = 0; y < 8; ++y) {
    uint64_t m = kPatternMasks.mask[rows[y]];
    StoreRow(dst + y * pitch, (v0 & ~m) | (v1 & m));
  }
}

inline void PutBlock8x8(uint8_t* dst, int pitch, const uint8_t src[64]) {
  for (int y = 0; y < 8; ++y) StoreRow(dst + y * pitch, LoadRow(src + y * 8));
}

// Each of the 64 source pixels as a 2x2 square: 16x16 pixels at dst.
inline void PutBlockDoubled(uint8_t* dst, int pitch, const uint8_t src[64]) {
  for (int y = 0; y < 8; ++y) {
    uint8_t row[16];
    for (int x = 0; x < 8; ++x) row[2 * x] = row[2 * x + 1] = src[y * 8 + x];
    std::memcpy(dst + (2 * y) * pitch, row, 16);
    std::memcpy(dst + (2 * y + 1) * pitch, row, 16);
  }
}

// Doubled pattern: each mask bit chooses a 2x2 square.
inline void PatternBlockDoubled(uint8_t* dst, int pitch, uint32_t c0, uint32_t c1,
                                const uint8_t rows[8]) {
  uint8_t block[64];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) block[y * 8 + x] = uint8_t((rows[y] >> x & 1) ? c1 : c0);
  PutBlockDoubled(dst, pitch, block);
}
