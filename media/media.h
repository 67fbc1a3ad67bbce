// The playback core's public interface: open a media file, drive playback
// frame by frame, read the statistics. A caller's cycle:
//   while (MediaWait(m)) { sleep a little }
//   if (MediaDecodeFrame(m)) stop;
//   CopyFrameToSurface(&m->copy, ...) and blit unless it skipped;
//   MediaNextFrame(m);
#pragma once
#include <cstdint>

#include "media/input_reader.h"
#include "base/media_error.h"
#include "media/media_file_head.h"
#include "base/open_flags.h"
#include "display/display_flags.h"
#include "sound/track_record.h"

struct MediaFile;

// Opens a file name, an open file handle (OPEN_FILE_HANDLE; the source is
// the handle cast to a pointer, positioned at the media data) or a complete
// media image in memory (OPEN_FROM_MEMORY). Null with MediaGetError's text
// on failure.
MediaFile* MediaOpen(const void* source, uint32_t flags);
// Opens a media image of known size; refuses one whose header promises more
// bytes than there are.
MediaFile* MediaOpenMemory(const void* image, uint64_t size, uint32_t flags);
void MediaClose(MediaFile* media);

// One-shot settings consumed by the next open with the matching flag.
void MediaSetFrameRate(int32_t dividend, int32_t divisor);
void MediaSetSoundTracks(uint32_t count, const uint32_t* identifiers);
void MediaSetReadBufferSize(int32_t bytes);
void MediaSetSimulatedRate(int32_t bytes_per_second);
void MediaSetFileOpener(InputOpener opener);
// Chooses the sound output for the process; nonzero when one is available.
int MediaSetSoundSystem(SoundInitialiser initialiser, uintptr_t parameter);

// Playback.
int MediaWait(MediaFile* media);         // 1: keep waiting; 0: the next frame is due
int MediaDecodeFrame(MediaFile* media);  // 1: stopped by a read error
void MediaNextFrame(MediaFile* media);
int MediaPause(MediaFile* media, int on);
int MediaGetChangedRects(uint32_t display_word, MediaFile* media);

// The display word's SURFACE_DIRECT and SURFACE_STRETCHED bits decide the
// changed rectangles (display/display_flags.h).
// Statistics.
constexpr int kPlaybackSummaryWords = 33;
enum SummaryWord {
  kSummaryCorruptFrames = 31,  // frames the video decoder rejected
  kSummaryLastCorruptFrame = 32,
};
struct PlaybackSummary {
  uint32_t word[kPlaybackSummaryWords];
};
struct RealtimeStats {
  uint32_t word[14];
};
void MediaGetSummary(MediaFile* media, PlaybackSummary* record);
void MediaGetRealtime(MediaFile* media, uint32_t n, RealtimeStats* record);

// The copy-out's view of the file (clock, planes, change map).
struct CopyFrameState;
CopyFrameState* MediaCopyState(MediaFile* media);
