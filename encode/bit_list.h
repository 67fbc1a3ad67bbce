// A growable bit string for the encoder: bits are collected per block row
// and spliced into the plane stream once the row's bundle chunks are known.
#pragma once
#include <cstdint>
#include <vector>

#include "video/bit_writer.h"

struct BitList {
  std::vector<uint32_t> words;
  uint64_t count = 0;

  // Puts the low n bits of value (n <= 32), bit 0 first.
  void Put(uint32_t value, uint32_t n) {
    if (n == 0) return;
    if (n < 32) value &= (1u << n) - 1;
    const uint32_t used = uint32_t(count & 31);
    if (used == 0) {
      words.push_back(value);
    } else {
      words.back() |= value << used;
      if (used + n > 32) words.push_back(value >> (32 - used));
    }
    count += n;
  }
  void Clear() {
    words.clear();
    count = 0;
  }
};

// Appends what a BitWriter holds (whole words and pending bits).
inline void AppendWriterBits(BitList* list, const BitWriter* w) {
  for (uint32_t i = 0; i + 4 <= w->size; i += 4) {
    const uint32_t word = uint32_t(w->data[i]) | uint32_t(w->data[i + 1]) << 8 |
                          uint32_t(w->data[i + 2]) << 16 | uint32_t(w->data[i + 3]) << 24;
    list->Put(word, 32);
  }
  list->Put(uint32_t(w->cache), w->bits);
}

// Puts the whole list into a writer.
inline void PutBitList(BitWriter* w, const BitList* list) {
  uint64_t left = list->count;
  for (uint32_t word : list->words) {
    const uint32_t n = left >= 32 ? 32 : uint32_t(left);
    PutBits(w, word, n);
    left -= n;
  }
}
