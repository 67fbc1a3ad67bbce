// Test helpers: describe audio blocks coefficient by coefficient, write them
// with the block writer, and model their decoding in double precision.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/block_writer.h"

struct TransformSpec {
  uint32_t field0 = 0, field1 = 0;
  std::vector<uint8_t> codes;    // one per band
  std::vector<int32_t> values;   // n entries; 0 and 1 unused
  std::vector<AudioRun> runs;
};

// A spec of zeros with 8-coefficient runs of width 0.
TransformSpec SilentTransform(const AudioDecoder* d);
// Random scale codes (0-255), runs and values fitting their widths; `level`
// caps the band scale codes so outputs stay in the ordinary range.
TransformSpec RandomTransform(const AudioDecoder* d, std::mt19937* rng, uint32_t max_code,
                              uint32_t max_width);

// One block's bytes for the decoder's kind (DCT kind: 2 header bits first).
std::vector<uint8_t> WriteBlock(const AudioDecoder* d, const std::vector<TransformSpec>& t);

// The block's samples before the cross-fade, from the defining sums in
// double precision, scaled by 2/sqrt(N), interleaved (not yet rounded).
std::vector<double> ModelBlock(const AudioDecoder* d, const std::vector<TransformSpec>& t);
// Rounding to nearest-even and clamping as the decoder does.
int16_t ModelSample(double x);
