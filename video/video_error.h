// Why a frame's video data was rejected. The decoder stops at the first
// broken limit, leaves the planes as far as it got, and reports the reason.
#pragma once
#include <cstdint>

enum VideoError : uint32_t {
  VIDEO_OK = 0,
  VIDEO_ERROR_BUNDLE_EMPTY,      // a block took a value its bundle did not have
  VIDEO_ERROR_CHUNK_TOO_LONG,    // a chunk count above its bundle's capacity
  VIDEO_ERROR_SOURCE_OUTSIDE,    // a motion, residue or inter source outside the plane
  VIDEO_ERROR_SCALED_AT_EDGE,    // a scaled block in the last block column or row
  VIDEO_ERROR_RUNS_PAST_END,     // the runs of a run block pass position 64
  VIDEO_ERROR_DATA_OVERRUN,      // a plane read past the end of the video data
  VIDEO_ERROR_PLANE_OUTSIDE,     // a plane start or end outside the video data
  VIDEO_ERROR_NO_PLANES,         // the frame buffers have no planes to decode into
};

// A short text for the reason ("ok" for VIDEO_OK).
const char* VideoErrorText(VideoError error);
