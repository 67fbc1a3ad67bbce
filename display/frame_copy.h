// Copying the most recently decoded frame of a media file into a surface,
// with the frame-level decisions around it: the lateness test that may skip
// the copy, the read-ahead top-up, and the choice between converting the
// whole rectangle and only the changed blocks.
#pragma once
#include <atomic>
#include <cstdint>

struct FrameBuffers;

// The playback clock's verdict on one copy of the current frame.
enum CopyLateness : uint32_t {
  LATENESS_ON_TIME = 0,
  LATENESS_LATE_SHOWN,  // late, but copied all the same
  LATENESS_SKIPPED,     // too late: the copy is skipped (the clock counts it)
};

// How the copy asks the playback clock about the current frame. The core
// owns the clock and fills this table; the copy never sees the clock's
// fields.
struct CopyClockOps {
  // Nonzero when the current frame's copy has already been skipped.
  uint32_t (*skipped)(const void* clock);
  // Judges one copy of the current frame; with no_skip a late frame is
  // shown all the same.
  CopyLateness (*judge)(void* clock, bool no_skip);
};

// What the copy needs from a media file. The playback core keeps one of these
// in each MediaFile and hands it to every copy.
struct CopyFrameState {
  // The picture, set at open.
  const FrameBuffers* frames;  // null when the file was opened without video
  uint32_t video_width;        // the file's picture size
  uint32_t video_height;
  uint32_t output_width;       // the MediaFile's output size: the picture size,
  uint32_t output_height;      //   doubled where the player doubles by display mode
  uint32_t open_flags;         // display mode, swapped chroma, grayscale, OPEN_NO_SKIP
  const uint8_t* change_map;   // changed 16x16 blocks of the last decodes
  uint32_t change_map_pitch;
  uint32_t block_count;        // blocks in the change map
  uint32_t unchanged_areas;    // what the last decode returned
  uint32_t last_copy_flags;    // set by every copy that is made
  std::atomic<uint32_t>* decode_mark;  // the input's decode-in-progress mark, or null
  // One non-blocking read-ahead top-up of the input, or null.
  void (*top_up)(void* context);
  void* top_up_context;
  // The playback clock; null ops: every frame is on time.
  const CopyClockOps* clock_ops;
  void* clock;
};

// Converts the source rectangle (in output pixels) of the current frame into
// the destination surface (see CopyPictureToSurface for the surface's
// geometry). Returns 1 when the copy of this frame was skipped because the
// frame is late, or was made although the frame is late; else 0.
int CopyFrameToSurface(CopyFrameState* media, uint8_t* dest, int32_t pitch, uint32_t destHeight,
                       uint32_t destX, uint32_t destY, uint32_t srcX, uint32_t srcY, uint32_t srcWidth,
                       uint32_t srcHeight, uint32_t copyFlags);
