#include "audio/block_writer.h"

#include <cmath>
#include <cstring>

#include "audio/audio_tables.h"

void AudioBitWriterStart(AudioBitWriter* w, uint8_t* out, uint32_t capacity) {
  w->out = out;
  w->capacity = capacity;
  w->size = 0;
  w->acc = 0;
  w->bits = 0;
  w->overflow = 0;
}

static void EmitWord(AudioBitWriter* w) {
  const uint32_t word = uint32_t(w->acc);
  if (w->size + 4 <= w->capacity) {
    const uint8_t b[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
    std::memcpy(w->out + w->size, b, 4);
    w->size += 4;
  } else {
    w->overflow = 1;
  }
  w->acc >>= 32;
  w->bits -= 32;
}

void AudioBitPut(AudioBitWriter* w, uint32_t value, uint32_t n) {
  if (n == 0) return;
  const uint64_t v = uint64_t(value) & ((uint64_t(1) << n) - 1);
  w->acc |= v << w->bits;  // bits < 32, so the shift stays below 64
  w->bits += n;
  if (w->bits >= 32) EmitWord(w);
}

void AudioBitAlign(AudioBitWriter* w) {
  if (w->bits > 0) {
    w->bits = 32;
    EmitWord(w);
  }
}

uint32_t AudioCoefficientField(float value) {
  const double x = std::fabs(double(value));
  if (!(x > 0.0)) return 0;  // zero (and NaN) code as 0
  const uint32_t sign = value < 0.0f ? 1u << 28 : 0u;
  int ex = 0;
  std::frexp(x, &ex);  // x = f 2^ex, 0.5 <= f < 1
  uint32_t e = ex < 0 ? 0u : ex > 23 ? 23u : uint32_t(ex);
  double m = std::nearbyint(std::ldexp(x, 23 - int(e)));
  if (m > 8388607.0 && e < 23) {
    ++e;
    m = std::nearbyint(std::ldexp(x, 23 - int(e)));
  }
  if (m > 8388607.0) m = 8388607.0;
  return sign | uint32_t(m) << 5 | e;
}

uint32_t AudioRunCoefficients(uint32_t code) { return code < 16 ? kAudioRunLength[code] * 8 : 8; }

void AudioWriteTransform(AudioBitWriter* w, uint32_t n, uint32_t field0, uint32_t field1,
                         const uint8_t* codes, uint32_t k, const int32_t* values, const AudioRun* runs,
                         uint32_t run_count) {
  AudioBitPut(w, field0, 29);
  AudioBitPut(w, field1, 29);
  for (uint32_t i = 0; i < k; ++i) AudioBitPut(w, codes[i], 8);
  uint32_t j = 2;
  for (uint32_t r = 0; r < run_count && j < n; ++r) {
    const AudioRun& run = runs[r];
    if (run.code < 16) {
      AudioBitPut(w, 1, 1);
      AudioBitPut(w, run.code, 4);
    } else {
      AudioBitPut(w, 0, 1);
    }
    AudioBitPut(w, run.width, 4);
    const uint32_t len = AudioRunCoefficients(run.code);
    const uint32_t e = j + len < n ? j + len : n;
    if (run.width == 0) {
      j = e;
      continue;
    }
    for (; j < e; ++j) {
      const int32_t v = values[j];
      const uint32_t mag = uint32_t(v < 0 ? -v : v);
      AudioBitPut(w, mag, run.width);
      if (mag) AudioBitPut(w, v < 0 ? 1u : 0u, 1);
    }
  }
}
