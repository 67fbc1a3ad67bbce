// Scene changes: a picture that does not continue the one before it, even
// allowing for motion, should start with a key frame.
#pragma once
#include <cstdint>
#include <vector>

struct SceneDetector {
  uint32_t width = 0, height = 0;  // of the picture
  uint32_t cols = 0, rows = 0;     // of the thumbnails
  std::vector<int> last, now;      // luma and chroma means of 8x8 areas
  bool have_last = false;
  double usual = 0;  // running mean of the scores of frames within a scene
};

void SceneDetectorInit(SceneDetector* d, uint32_t width, uint32_t height);

// How far the picture is from the last one (0: the same); the first picture
// scores 0. Chroma may be null (grey pictures).
double SceneDetectorScore(SceneDetector* d, const uint8_t* y, int y_pitch, const uint8_t* u, const uint8_t* v,
                          int c_pitch);

// Whether the picture starts a new scene: its score stands out against the
// clip's usual change from frame to frame (busy clips change a lot every
// frame) and is high in itself.
bool SceneDetectorCut(SceneDetector* d, const uint8_t* y, int y_pitch, const uint8_t* u, const uint8_t* v,
                      int c_pitch);
