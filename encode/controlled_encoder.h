// The video encoder steered frame by frame: key frames where the scene
// changes, and quantisers from a rate controller when the clip has a byte
// target. What the tools and the tests drive, so both code the same way.
#pragma once
#include <cstdint>
#include <vector>

#include "encode/rate_control.h"
#include "encode/scene_change.h"
#include "encode/video_encoder.h"

struct ControlledEncoder {
  VideoEncoder* encoder = nullptr;
  SceneDetector scenes;
  bool scene_keys = false;
  bool rated = false;  // quantisers come from `rate`; else from the quality
  RateControl rate;
  std::vector<RateFrameRecord> records;  // one a frame coded
  double last_quantiser = -1;            // of the last frame (-1: from the quality)
};

// False when the encoder cannot be made. `rate` null: constant quality.
bool ControlledEncoderInit(ControlledEncoder* c, const VideoEncoderSettings* settings,
                           const RateControlSettings* rate, bool scene_keys);
void ControlledEncoderFree(ControlledEncoder* c);

// Codes the next picture (see VideoEncodeFrame).
bool ControlledEncodeFrame(ControlledEncoder* c, const VideoPicture* picture, std::vector<uint8_t>* out,
                           bool* key);

// Changes the byte target of the rest of the clip (a file size target
// learns the container's share as frames go by).
void ControlledEncoderSetTarget(ControlledEncoder* c, double target_bytes);
