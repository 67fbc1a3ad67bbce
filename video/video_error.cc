#include "video/video_error.h"

const char* VideoErrorText(VideoError error) {
  switch (error) {
    case VIDEO_OK: return "ok";
    case VIDEO_ERROR_BUNDLE_EMPTY: return "a block took a value its bundle did not have";
    case VIDEO_ERROR_CHUNK_TOO_LONG: return "a chunk is longer than its bundle";
    case VIDEO_ERROR_SOURCE_OUTSIDE: return "a block's source lies outside the reference plane";
    case VIDEO_ERROR_SCALED_AT_EDGE: return "a scaled block starts in the last block column or row";
    case VIDEO_ERROR_RUNS_PAST_END: return "the runs of a run block pass the end of the block";
    case VIDEO_ERROR_DATA_OVERRUN: return "a plane reads past the end of the video data";
    case VIDEO_ERROR_PLANE_OUTSIDE: return "a plane starts or ends outside the video data";
    case VIDEO_ERROR_NO_PLANES: return "no planes to decode into";
  }
  return "unknown error";
}
