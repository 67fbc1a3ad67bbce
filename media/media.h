// The playback core's public interface: open a media file, drive playback
// frame by frame, read the statistics. A caller's cycle:
//   while (MediaWait(m)) { sleep a little }
//   if (MediaDecodeFrame(m)) stop;
//   CopyFrameToSurface(MediaCopyState(m), ...) and blit unless it skipped;
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
constexpr uint32_t kMaxSoundTracks = 8;  // tracks one file may have open
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
// Statistics: the words of the two records.
enum SummaryWord : uint32_t {
  SUMMARY_WIDTH = 0,               // output size
  SUMMARY_HEIGHT,
  SUMMARY_PLAYBACK_TIME,           // since the first decode
  SUMMARY_FILE_DIVIDEND,           // the file's rate
  SUMMARY_FILE_DIVISOR,
  SUMMARY_RATE_DIVIDEND,           // the rate in effect
  SUMMARY_RATE_DIVISOR,
  SUMMARY_OPEN_TIME,
  SUMMARY_FRAME_COUNT,
  SUMMARY_FRAMES_PLAYED,           // frames decoded
  SUMMARY_SKIPPED_FRAMES,          // always 0: every frame is decoded
  SUMMARY_SKIPPED_BLITS,
  SUMMARY_SOUND_SKIPS,
  SUMMARY_BLIT_TIME,
  SUMMARY_READ_TIME,
  SUMMARY_VIDEO_TIME,
  SUMMARY_AUDIO_TIME,
  SUMMARY_IDLE_READ_TIME,
  SUMMARY_BACKGROUND_READ_TIME,
  SUMMARY_DEVICE_SPEED,            // bytes per second
  SUMMARY_SLOWEST,                 // the two longest frame cycles
  SUMMARY_SECOND_SLOWEST,
  SUMMARY_SLOWEST_FRAME,           // and their frame numbers
  SUMMARY_SECOND_SLOWEST_FRAME,
  SUMMARY_AVERAGE_RATE,            // bytes per second
  SUMMARY_AVERAGE_FRAME_SIZE,
  SUMMARY_MEMORY_TOTAL,
  SUMMARY_INPUT_MEMORY,            // read-ahead ring size
  SUMMARY_INPUT_MEMORY_USED,       // its highest fill
  SUMMARY_PEAK_RATE,
  SUMMARY_PEAK_FRAME,              // 1-based
  SUMMARY_CORRUPT_FRAMES,          // frames the video decoder rejected
  SUMMARY_LAST_CORRUPT_FRAME,
  // Frames from the first that the file holds whole (a cut-off or damaged
  // file holds fewer than its frame count); playback delivers these.
  SUMMARY_INTACT_FRAMES,
  // The frame (1-based) that could not be read and so stopped playback; 0
  // when none did.
  SUMMARY_UNREADABLE_FRAME,
  kPlaybackSummaryWords
};
enum RealtimeWord : uint32_t {
  REALTIME_LAST_DECODED_FRAME = 0,
  REALTIME_RATE_DIVIDEND,
  REALTIME_RATE_DIVISOR,
  REALTIME_SPAN,                   // decodes the figures below cover
  REALTIME_ELAPSED,                // between the span's decode starts (at least 1)
  REALTIME_VIDEO_TIME,
  REALTIME_AUDIO_TIME,
  REALTIME_READ_TIME,
  REALTIME_IDLE_READ_TIME,
  REALTIME_BACKGROUND_READ_TIME,
  REALTIME_BLIT_TIME,
  REALTIME_READ_AHEAD_TARGET,
  REALTIME_READ_AHEAD_BUFFERED,
  REALTIME_DATA_RATE,              // bytes per second over the span
  kRealtimeStatsWords
};
struct PlaybackSummary {
  uint32_t word[kPlaybackSummaryWords];
};
struct RealtimeStats {
  uint32_t word[kRealtimeStatsWords];
};
void MediaGetSummary(MediaFile* media, PlaybackSummary* record);
void MediaGetRealtime(MediaFile* media, uint32_t n, RealtimeStats* record);

// The leading fields of the record, which callers read directly (null for
// a null media).
const MediaFileHead* MediaHead(const MediaFile* media);

// What the tools read besides the statistics.
// Frames the video decoder rejected so far; the last one's VideoError and
// the plane it failed in when those pointers are not null.
uint32_t MediaCorruptFrames(const MediaFile* media, uint32_t* last_error, uint32_t* last_plane);
// Frames from the first that the file holds whole: a cut-off or damaged
// file holds fewer than its frame count, and playback delivers these, then
// stops as at a read error. The frame (1-based) whose read stopped playback,
// 0 while none has, when the pointer is not null.
uint32_t MediaIntactFrames(const MediaFile* media, uint32_t* unreadable_frame);
// The opened sound tracks in play order: their number, and track k's record
// and its identifier in the file (null past the end).
uint32_t MediaOpenedTrackCount(const MediaFile* media);
const TrackRecord* MediaOpenedTrack(const MediaFile* media, uint32_t k, uint32_t* identifier);
// The planes of the frame most recently decoded; null without video.
struct FrameBuffers;
const FrameBuffers* MediaDecodedPlanes(const MediaFile* media);

// The copy-out's view of the file (clock, planes, change map).
struct CopyFrameState;
CopyFrameState* MediaCopyState(MediaFile* media);
