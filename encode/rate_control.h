// Rate control: picks each frame's quantiser so that a clip of known length
// comes out at a given number of bytes. One pass models the bytes a frame
// costs from the frames before it; a second pass spreads the bytes by what
// each frame cost in the first, at one quantiser for the whole clip as far
// as the budget allows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What the first pass saw of one frame.
struct RateFrameRecord {
  double quantiser;
  double bytes;
  bool key;
};

struct RateControlSettings {
  double target_bytes = 0;  // video bytes for the whole clip
  uint32_t frames = 0;      // frames in the clip
  uint32_t pixels = 0;      // luma samples of one picture
  uint32_t keyint = 0;      // the encoder's key frame interval (0: first only)
  const std::vector<RateFrameRecord>* first_pass = nullptr;  // null: one pass
};

struct RateControl {
  RateControlSettings settings;
  uint32_t done = 0;
  double spent = 0;
  double last_q = -1;
  // Bytes a frame costs at quantiser 0 in the model bytes = c * 2^(-q / kRateHalving).
  double c_key = 0, c_inter = 0;
  bool seen_inter = false;
  // Second pass: the first pass's costs at quantiser 0, how many bytes the
  // rest of them come to, and how actual bytes compare with predictions.
  std::vector<double> costs;
  double costs_left = 0;
  double global_q = 0;
  double predicted = 0, actual = 0;
};

// Quantiser steps in which a frame's bytes halve (measured on photographic
// content; the feedback mends what the model misses).
constexpr double kRateHalving = 4.0;

void RateControlInit(RateControl* rc, const RateControlSettings* settings);
// The quantiser for the next frame, a key frame or not.
double RateControlQuantiser(RateControl* rc, bool key);
// Books the frame just coded.
void RateControlDone(RateControl* rc, bool key, double quantiser, size_t bytes);
