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
  const FrameBuffers* frames;    // null when the file was opened without video
  uint32_t videoWidth;           // the file's picture size
  uint32_t videoHeight;
  uint32_t outputWidth;          // the MediaFile's output size: the picture size,
  uint32_t outputHeight;         //   doubled where the player doubles by display mode
  uint32_t openFlags;            // display mode, swapped chroma, grayscale, OPEN_NO_SKIP
  const uint8_t* changeMap;      // changed 16x16 blocks of the last decodes
  uint32_t changeMapPitch;
  uint32_t blockCount;           // blocks in the change map
  uint32_t unchangedAreas;       // what the last decode returned
  // Playback clock and counters (milliseconds of MediaTimer).
  uint32_t openTracks;           // number of opened sound tracks
  uint32_t rateDividend;         // frames per second = dividend / divisor
  uint32_t rateDivisor;
  uint32_t paused;
  uint32_t framesDecoded;
  uint32_t clockBase;            // 0: the clock is not started
  uint32_t clockBaseFrame;
  uint32_t pausedElapsed;
  uint32_t lateCredit;
  uint32_t lateThreshold;
  uint32_t consecutiveSkips;
  uint32_t skipFlag;             // the current frame's copy was skipped
  uint32_t previousBlitSkipped;  // keeps the change map from being cleared
  uint32_t skippedBlits;
  uint32_t lastCopyFlags;
  std::atomic<uint32_t>* decodeMark;  // the input's decode-in-progress mark, or null
  // One non-blocking read-ahead top-up of the input, or null.
  void (*topUp)(void* context);
  void* topUpContext;
};

// Converts the source rectangle (in output pixels) of the current frame into
// the destination surface (see CopyPictureToSurface for the surface's
// geometry). Returns 1 when the copy of this frame was skipped because the
// frame is late, or was made although the frame is late; else 0.
int CopyFrameToSurface(CopyFrameState* media, uint8_t* dest, int32_t pitch, uint32_t destHeight,
                       uint32_t destX, uint32_t destY, uint32_t srcX, uint32_t srcY, uint32_t srcWidth,
                       uint32_t srcHeight, uint32_t copyFlags);
