// The leading fields of a MediaFile: the part callers read directly. The
// rest of the record is private to the playback core (media/media_file.h).
#pragma once
#include <cstdint>

struct ChangedRect {
  int32_t x, y, width, height;  // output pixels
};

constexpr int kMaxChangedRects = 8;

struct MediaFileHead {
  uint32_t width;          // output size: the file's, doubled by the doubling mode
  uint32_t height;
  uint32_t frame_count;
  int32_t current_frame;   // 1-based number of the frame in the read buffer; -1 before frame 1
  int32_t last_frame;      // the frame most recently decoded (the one on screen)
  uint32_t rate_dividend;  // rate in effect (the override's when one was used)
  uint32_t rate_divisor;
  uint32_t stopped;        // a read error has ended playback
  uint32_t open_flags;     // as merged with the file
  uint32_t video_flags;    // the file's
  uint32_t data_size;      // from the header
  ChangedRect rects[kMaxChangedRects];
  int32_t rect_count;      // -1: not computed for the current frame
};
