// Writing audio blocks: the bit writer and the block syntax, the inverse of
// what AudioDecodeBlock reads. Choosing the values (scales, runs, widths)
// is the encoder's business.
#pragma once
#include <cstdint>

// Bits go into 32-bit little-endian words from the least significant end.
struct AudioBitWriter {
  uint8_t* out;
  uint32_t capacity;  // bytes available at out
  uint32_t size;      // whole words written so far, in bytes
  uint64_t acc;
  uint32_t bits;      // pending bits in acc (< 32 between calls)
  uint32_t overflow;  // 1 when a word did not fit; later words are dropped
};

void AudioBitWriterStart(AudioBitWriter* w, uint8_t* out, uint32_t capacity);
// Appends the low n bits of value, 0 <= n <= 32.
void AudioBitPut(AudioBitWriter* w, uint32_t value, uint32_t n);
// Pads with zero bits to the next 32-bit boundary.
void AudioBitAlign(AudioBitWriter* w);

// The 29-bit field closest to `value`: exponent e in bits 0-4, 23-bit
// mantissa m in bits 5-27, sign in bit 28; it stands for m x 2^(e - 23).
// Magnitudes beyond the largest field are clamped to it.
uint32_t AudioCoefficientField(float value);

// One run of coefficients: `code` 0-15 selects a long run from the run
// length table, kAudioShortRun the 8-coefficient run; `width` 0-15 bits per
// magnitude.
constexpr uint32_t kAudioShortRun = 16;
struct AudioRun {
  uint32_t code;
  uint32_t width;
};

// Length in coefficients of a run code.
uint32_t AudioRunCoefficients(uint32_t code);

// Writes one transform's coefficients: the two fields, the k band scale
// codes, then coefficients 2 .. n-1 from `values` (signed magnitudes,
// |v| < 2^width of their run) in the given runs, which must cover them.
void AudioWriteTransform(AudioBitWriter* w, uint32_t n, uint32_t field0, uint32_t field1,
                         const uint8_t* codes, uint32_t k, const int32_t* values, const AudioRun* runs,
                         uint32_t run_count);
