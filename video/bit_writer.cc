#include "video/bit_writer.h"

void BitWriterInit(BitWriter* w, uint8_t* data, uint32_t capacity) {
  w->data = data;
  w->capacity = capacity;
  w->size = 0;
  w->cache = 0;
  w->bits = 0;
  w->overflow = false;
}

void BitWriterEmitWord(BitWriter* w) {
  uint32_t word = uint32_t(w->cache);
  if (w->capacity - w->size >= 4 && w->size <= w->capacity) {
    uint8_t* p = w->data + w->size;
    p[0] = uint8_t(word);
    p[1] = uint8_t(word >> 8);
    p[2] = uint8_t(word >> 16);
    p[3] = uint8_t(word >> 24);
    w->size += 4;
  } else {
    w->overflow = true;
  }
  w->cache >>= 32;
  w->bits -= 32;
}

uint32_t BitWriterFlush(BitWriter* w) {
  if (w->bits > 0) {
    w->bits = 32;
    BitWriterEmitWord(w);
  }
  return w->overflow ? 0 : w->size;
}
