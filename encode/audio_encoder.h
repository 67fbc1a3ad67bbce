// The audio encoder: turns 16-bit PCM into the packets of an audio track,
// one packet per video frame, in either transform kind.
//
// Blocks overlap by 1/16 of their length, the decoder's cross-fade, so the
// decoded stream follows the input sample for sample (up to quantisation).
// A packet's last block is cut short by the decoder; the encoder lays that
// block out so its held-back tail carries the samples the next packet
// begins with, which keeps packets independent of block boundaries.
#pragma once
#include <cstdint>

#include "audio/audio_decoder.h"
#include "audio/block_writer.h"
#include "encode/audio_forward.h"

struct AudioEncoder {
  uint32_t rate, channels, flags;  // flags: AUDIO_KIND_DCT or 0
  uint32_t sixteen_bit;            // output sample width wanted by the track
  uint32_t block_length;           // L, frames per block
  uint32_t overlap_frames;         // L / 16
  uint32_t n;                      // transform length
  uint32_t transforms;             // per block
  uint32_t band_count;
  uint32_t bounds[26];
  double snr_db;                   // quantisation target per transform
  AudioForward forward;
  // Work areas, sized at open.
  std::vector<double> block;       // L x channels interleaved samples
  std::vector<double> signal;      // one transform's input
  std::vector<double> coeffs;      // one transform's coefficients
  std::vector<int32_t> values;     // quantised magnitudes
  std::vector<uint8_t> codes;
  std::vector<AudioRun> runs;
};

// kind: AUDIO_KIND_DCT (cosine transform, one per channel) or 0 (real DFT
// of the interleaved stream). Null for unusable arguments (rate 1-65535,
// channels 1 or 2).
AudioEncoder* AudioEncoderOpen(uint32_t rate, uint32_t channels, uint32_t kind, uint32_t sixteen_bit);
void AudioEncoderClose(AudioEncoder* enc);

// Signal-to-noise target of the quantiser in dB (default 48).
void AudioEncoderSetQuality(AudioEncoder* enc, double snr_db);

// The track's format word for the container.
uint32_t AudioEncoderTrackFormat(const AudioEncoder* enc);

// Largest packet AudioEncodePacket can write for `count` frames.
uint32_t AudioPacketBound(const AudioEncoder* enc, uint32_t count);

// Encodes one packet of `count` sample frames (interleaved) from `samples`.
// `available` (>= count) frames may be read from `samples`: those past
// `count` are the look-ahead the last block's tail is made from; beyond
// `available` the last sample is held. Writes the packet (decoded-byte count,
// then the blocks) and returns its size: 0 for count 0 (no packet this
// frame) or when `capacity` is too small.
uint32_t AudioEncodePacket(AudioEncoder* enc, const int16_t* samples, uint32_t count, uint32_t available,
                           uint8_t* out, uint32_t capacity);

// Sample frames of video frame `frame` (0-based) so that packets follow the
// frame timing without drift: floor((f+1) r d / D) - floor(f r d / D) for a
// rate of D/d frames per second.
uint32_t AudioFrameSamples(uint32_t rate, uint32_t dividend, uint32_t divisor, uint32_t frame);
