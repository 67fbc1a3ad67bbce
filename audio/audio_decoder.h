// Audio block decoding: one AudioDecoder per opened track turns the coded
// blocks of the track's packets into signed 16-bit PCM, channels
// interleaved. A block holds a fixed number of samples per channel described
// in the frequency domain; consecutive blocks overlap by 1/16 and are
// cross-faded, so every block delivers 15/16 of its samples.
#pragma once
#include <cstdint>

// Flags bit 0: the cosine-transform kind (1) rather than the real-DFT kind (0).
constexpr uint32_t AUDIO_KIND_DCT = 1;

struct AudioDecoder {
  uint32_t transform_length;  // N
  float output_scale;         // 2 / sqrt(N)
  uint32_t block_bytes;       // B = 2 x L x channels
  uint32_t overlap_bytes;     // B / 16
  uint32_t transform_count;   // channels for the DCT kind, else 1
  int16_t* pcm;               // B bytes: the last block's output
  uint32_t first_block;       // 1 until the first block is decoded
  uint32_t band_count;        // K
  uint32_t* band_bounds;      // K + 1 entries, in coefficient pairs
  int32_t* transform_index;   // transform index area
  float* transform_table;     // transform cos/sin table
  int16_t* tail;              // the previous block's last B / 16 bytes
  uint32_t flags;             // as given to AudioDecoderOpen
  uint32_t channels;
  uint32_t block_length;      // L, samples per channel
};

// Block length L for a sample rate: 2048 from 44100 Hz, 1024 from 22050 Hz,
// else 512.
uint32_t AudioBlockLength(uint32_t sample_rate);

// Band count K and bounds (K + 1 entries, bounds must hold 26) for an
// effective rate r (sample rate x channels for the real-DFT kind) and a
// transform of n floats.
uint32_t AudioBandLayout(uint32_t r, uint32_t n, uint32_t* bounds);

// Value of a 29-bit directly coded coefficient: mantissa (bits 5-27) x
// 2^(exponent (bits 0-4) - 23), 0 for exponents above 23, sign in bit 28.
float AudioFieldValue(uint32_t field);

// Sets up a decoder for a track (channels 1 or 2). One allocation through
// the core's planner (process-wide: not to be called while another open
// uses it); null when it fails or the arguments are unusable. The
// transform tables live in the decoder and are built by its first block, so
// decoders of different tracks share nothing and may run on different
// threads; one decoder is used by one thread at a time.
AudioDecoder* AudioDecoderOpen(uint32_t sample_rate, uint32_t channels, uint32_t flags);
// Frees the decoder and everything it holds; null does nothing.
void AudioDecoderClose(AudioDecoder* decoder);

// Decodes the block that begins at `input`, reading nothing at or past
// `end`: bits beyond it read as zero. Results through optional pointers:
// *pcm the decoder's PCM buffer, *pcm_bytes the bytes to deliver
// (B - B/16), *next where the next block begins (never past `end`).
// Returns 1, or 0 when the block's bits ran past `end` (the block is still
// decoded, with the missing bits as zeros).
int AudioDecodeBlock(AudioDecoder* decoder, const uint8_t* input, const uint8_t* end,
                     const int16_t** pcm, uint32_t* pcm_bytes, const uint8_t** next);
