// Copying the most recently decoded frame of a media file into a surface,
// with the frame-level decisions around it: the lateness test that may skip
// the copy, the read-ahead top-up, and the choice between converting the
// whole rectangle and only the changed blocks.
#pragma once
#include <atomic>
#include <cstdint>

struct FrameBuffers;

// What the copy needs from a media file. The playback core keeps one of these
// in each MediaFile as the home of these fields (the sequencing operations
// read and write the same timing fields) and hands it to every copy.
struct CopyFrameState {
  // The picture, set at open.
  const FrameBuffers* frames;  // null when the file was opened without video
  uint32_t video_width;        // the file's picture size
  uint32_t video_height;
  uint32_t output_width;      // the MediaFile's output size: the picture size,
  uint32_t output_height;     //   doubled where the player doubles by display mode
  uint32_t open_flags;        // display mode, swapped chroma, grayscale, OPEN_NO_SKIP
  const uint8_t* change_map;  // changed 16x16 blocks of the last decodes
  uint32_t change_map_pitch;
  uint32_t block_count;      // blocks in the change map
  uint32_t unchanged_areas;  // what the last decode returned
  // Playback clock and counters (milliseconds of MediaTimer).
  uint32_t open_tracks;    // number of opened sound tracks
  uint32_t rate_dividend;  // frames per second = dividend / divisor
  uint32_t rate_divisor;
  uint32_t paused;
  uint32_t frames_decoded;
  uint32_t clock_base;  // 0: the clock is not started
  uint32_t clock_base_frame;
  uint32_t paused_elapsed;
  uint32_t late_credit;
  uint32_t late_threshold;
  uint32_t consecutive_skips;
  uint32_t skip_flag;              // the current frame's copy was skipped
  uint32_t previous_blit_skipped;  // keeps the change map from being cleared
  uint32_t skipped_blits;
  uint32_t last_copy_flags;
  std::atomic<uint32_t>* decode_mark;  // the input's decode-in-progress mark, or null
  // One non-blocking read-ahead top-up of the input, or null.
  void (*top_up)(void* context);
  void* top_up_context;
};

// Converts the source rectangle (in output pixels) of the current frame into
// the destination surface (see CopyPictureToSurface for the surface's
// geometry). Returns 1 when the copy of this frame was skipped because the
// frame is late, or was made although the frame is late; else 0.
int CopyFrameToSurface(CopyFrameState* media, uint8_t* dest, int32_t pitch, uint32_t destHeight,
                       uint32_t destX, uint32_t destY, uint32_t srcX, uint32_t srcY, uint32_t srcWidth,
                       uint32_t srcHeight, uint32_t copyFlags);
