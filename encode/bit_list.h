// A growable bit string for the encoder: bits are collected per block row
// and spliced into the plane stream once the row's bundle chunks are known.
#pragma once
#include <cstdint>
#include <vector>

#include "video/bit_writer.h"

struct BitList {
  std::vector<uint32_t> words;
  uint64_t count = 0;

  void Put(uint32_t value, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      if ((count & 31) == 0) words.push_back(0);
      words.back() |= ((value >> i) & 1u) << (count & 31);
      ++count;
    }
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
