// The video encoder: turns pictures into the video data of revision "i"
// frames, one plane stream per plane, and keeps the decoder's own
// reconstruction of every plane as its reference.
#pragma once
#include <cstdint>
#include <vector>

#include "encode/plane_encoder.h"
#include "video/frame_buffers.h"  // PlaneIndex

struct VideoEncoderSettings {
  uint32_t width, height;  // picture size in pixels
  bool grayscale;          // code Y only (FLAG_GRAYSCALE)
  bool alpha;              // every frame carries an alpha plane (FLAG_ALPHA)
  int quality;             // 0 (smallest) .. 100 (best); 75 is a good default
  uint32_t keyint;         // at most keyint frames from one key frame to the next
                           // (1: all key; 0: only the first and forced ones)
  uint32_t kinds;          // allowed block kinds (kAllKinds normally; tests narrow it)
  int speed;               // 0 (slowest, best) .. 4 (fastest); the tool's default is 2
  uint32_t threads;        // threads to code with (0: one per processor); the output is the same for any
};

// One picture: Y width x height; U (blue difference) and V (red difference)
// ceil(width/2) x ceil(height/2); alpha width x height when the encoder
// codes alpha.
struct VideoPicture {
  const uint8_t* y;
  int y_pitch;
  const uint8_t* u;
  const uint8_t* v;
  int c_pitch;
  const uint8_t* a;
  int a_pitch;
};

struct VideoEncoder;

// Null when the settings are unusable (zero or huge size).
VideoEncoder* VideoEncoderCreate(const VideoEncoderSettings* settings);
void VideoEncoderDestroy(VideoEncoder* e);

// The video flags for the file header (FLAG_GRAYSCALE, FLAG_ALPHA).
uint32_t VideoEncoderFlags(const VideoEncoder* e);

// Codes the next picture; out receives the frame's video data and key
// whether it is a key frame. False when a plane the encoder codes is
// missing from the picture, or on an internal failure.
bool VideoEncodeFrame(VideoEncoder* e, const VideoPicture* picture, std::vector<uint8_t>* out, bool* key);

// What a rate controller decides for one frame: the quantiser 0 (finest)
// .. kMaxQuantiser, fractions moving the weight of bits against error
// between the steps (below 0: the one the quality setting gives), and
// whether the frame must be a key frame (a scene change).
constexpr double kMaxQuantiser = 15;
struct VideoFrameControl {
  double quantiser = -1;
  bool force_key = false;
};
bool VideoEncodeFrameWith(VideoEncoder* e, const VideoPicture* picture, const VideoFrameControl* control,
                          std::vector<uint8_t>* out, bool* key);

// Whether the next frame will be a key frame: the first, one forced, or
// keyint frames after the last key frame.
bool VideoEncoderKeyDue(const VideoEncoder* e, bool force_key);

// The reconstruction the decoder will hold after the last coded frame:
// plane (PlaneIndex; chroma 1 carries the red difference), its padded width and
// height (multiples of 8) and pitch. Null for a plane that is not coded.
const uint8_t* VideoEncoderPlane(const VideoEncoder* e, int plane, uint32_t* width, uint32_t* height,
                                 int* pitch);

// Statistics of everything coded so far.
struct VideoEncoderStats {
  uint64_t frames;
  uint64_t bytes;
  uint32_t kind_count[BLOCK_KIND_COUNT];
  uint64_t sse[4];      // per plane, against the padded source
  uint64_t samples[4];  // per plane
};
void VideoEncoderGetStats(const VideoEncoder* e, VideoEncoderStats* stats);
