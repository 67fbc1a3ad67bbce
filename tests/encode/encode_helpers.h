// Shared by the encoder tests: test pictures, and decoding the encoder's
// output with the real frame decoder.
#pragma once
#include <cstdint>
#include <vector>

#include "encode/video_encoder.h"

struct TestPicture {
  uint32_t width, height;
  std::vector<uint8_t> y, u, v, a;
  VideoPicture View() const;
};

// Frame `frame` of the synthetic source (with alpha).
TestPicture MakeTestPicture(uint32_t width, uint32_t height, uint32_t frame);

struct DecodeCheck {
  int frames = 0;
  int mismatched_frames = 0;  // reconstruction differs from the decoder
  int rejected_frames = 0;    // the decoder refused the data
  uint64_t bytes = 0;
};

// Encodes `frames` frames of the test source with the settings and decodes
// each with DecodeVideoFrame, comparing every plane with the encoder's
// reconstruction bit for bit.
DecodeCheck EncodeAndDecode(const VideoEncoderSettings& settings, int frames, VideoEncoderStats* stats);

// Decodes what an encoder codes, frame by frame, with the real decoder.
struct FrameChecker;
FrameChecker* FrameCheckerCreate(const VideoEncoder* enc, uint32_t width, uint32_t height, bool all_key);
void FrameCheckerDestroy(FrameChecker* c);
// 1: the decoder's planes equal the encoder's reconstruction bit for bit;
// 0: they differ; -1: the decoder refused the frame.
int FrameCheckerFrame(FrameChecker* c, const VideoEncoder* enc, const std::vector<uint8_t>& data, bool key);

double Psnr(uint64_t sse, uint64_t samples);
