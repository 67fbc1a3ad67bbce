// The decoded pictures: one or two plane sets of Y, two half-size chroma
// planes and an optional alpha plane, plus their allocation.
//
// Freshly allocated planes hold a black, opaque picture: luma 16, chroma 128
// and alpha 255, so a file whose first frame does not code every block shows
// black rather than stale memory.
#pragma once
#include <cstdint>

#include "video/bundle.h"

enum PlaneIndex : uint32_t { PLANE_Y = 0, PLANE_CHROMA1 = 1, PLANE_CHROMA2 = 2, PLANE_ALPHA = 3 };

struct DecodedPlane {
  uint32_t present;
  uint8_t* pixels;  // first pixel; rows back to back
  int32_t pitch;    // bytes per row (= the plane width)
};

struct PlaneSet {
  DecodedPlane plane[4];  // Y, chroma 1, chroma 2, alpha
};

struct FrameWorker;

struct FrameBuffers {
  uint32_t set_count;  // 1 or 2
  uint32_t y_width, y_height;            // video size rounded up to multiples of 8
  uint32_t chroma_width, chroma_height;  // half the video size (rounded up), then to multiples of 8
  uint32_t current;                      // set holding the most recently decoded frame
  PlaneSet sets[2];
  // A second decoding thread (video/frame_worker.h), or null: the frame
  // decoder then decodes every plane on its caller's thread. Freed with the
  // frame buffers.
  FrameWorker* worker;
};

constexpr uint8_t kPlaneInitialLuma = 16;
constexpr uint8_t kPlaneInitialChroma = 128;
constexpr uint8_t kPlaneInitialAlpha = 255;

// Fills the sizes and present flags; pointers and pitches are zero. One set
// when every frame is a key frame, else two. open_flags: FLAG_ALPHA adds the
// alpha plane.
void InitFrameBuffers(FrameBuffers* fb, uint32_t width, uint32_t height, uint32_t open_flags,
                      bool all_key_frames);

// Plane sizes of a present plane.
inline uint32_t PlaneWidth(const FrameBuffers* fb, uint32_t index) {
  return index == PLANE_CHROMA1 || index == PLANE_CHROMA2 ? fb->chroma_width : fb->y_width;
}
inline uint32_t PlaneHeight(const FrameBuffers* fb, uint32_t index) {
  return index == PLANE_CHROMA1 || index == PLANE_CHROMA2 ? fb->chroma_height : fb->y_height;
}

// Change map of a picture: (width + 15) / 16 bytes per row, (height + 15) / 16 rows.
inline uint32_t ChangeMapPitch(uint32_t width) { return (width + 15) / 16; }
inline uint32_t ChangeMapRows(uint32_t height) { return (height + 15) / 16; }

// Records the nine bundle buffers (each with its slack) in the open's block
// plan; the caller's PlannerCommit fills buffers->data. output_width is the
// output width of the file (the video width, doubled by horizontally doubling
// display modes).
void BundleBuffersPlan(BundleBuffers* buffers, uint32_t output_width);

// Allocates a FrameBuffers record with every present plane of every set and,
// when bundles is not null, the nine bundle buffers, all in one block of the
// core allocator; the planes start black. Null when out of memory or the
// sizes are absurd (a plane above 2 GiB). Free with FrameBuffersFree; the
// bundle buffers live in the same block and go with it.
FrameBuffers* FrameBuffersAllocate(uint32_t width, uint32_t height, uint32_t open_flags,
                                   bool all_key_frames, BundleBuffers* bundles, uint32_t output_width);
// Also ends and frees the worker, when there is one.
void FrameBuffersFree(FrameBuffers* fb);

// Sets every present plane of every set to the initial black picture.
void FrameBuffersClear(FrameBuffers* fb);
