// The video decoder's entry per frame: decodes the planes present in a
// frame's video data into the next plane set and marks the changed areas.
#pragma once
#include <cstdint>

#include "video/bundle.h"
#include "video/frame_buffers.h"
#include "video/video_error.h"

// What a decode did besides the unchanged-area count.
struct VideoFrameStatus {
  VideoError error;  // VIDEO_OK, or why the frame's data was rejected
  uint32_t plane;    // PlaneIndex of the plane that failed (when error is set)
};

// Decodes one frame.
//   video, video_size: the frame's video data (after the audio packets).
//   change_map, map_pitch: one byte per 16x16 area of the picture; the caller
//     clears it between shown frames. It must cover the frame buffers'
//     picture: map_pitch >= (y_width + 15) / 16, (y_height + 15) / 16 rows.
//   key_frame: passed for the record; every frame is decoded the same way.
//   open_flags: FLAG_OLD_BITSTREAM, FLAG_GRAYSCALE, FLAG_ALPHA of the open.
//   video_flags: the file header's video flags (FLAG_ALPHA: the data carries
//     an alpha plane).
// Returns unchangedAreas: in colour files the chroma-2 skip blocks whose area
// was unmarked when decoded, in grayscale files a quarter of the Y plane's.
// A frame whose data breaks a limit stops at the offending block, returns 0
// and reports the reason in *status (which may be null). The new set then
// holds the blocks decoded up to there and, everywhere else, the previous
// frame: what the screen shows in the areas the change map leaves unmarked.
int32_t DecodeVideoFrame(FrameBuffers* fb, uint8_t* change_map, int map_pitch, const uint8_t* video,
                         uint32_t video_size, bool key_frame, const BundleBuffers* bundles,
                         uint32_t open_flags, uint32_t video_flags, VideoFrameStatus* status);
