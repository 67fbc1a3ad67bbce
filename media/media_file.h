// The playback core's per-file record. Callers read the leading fields
// (MediaFileHead); everything else is private to the core: the frame index
// and track tables, the input, the decoded frames, the opened sound tracks
// with their rings, the service-thread nodes, and the timing and statistics
// fields.
#pragma once
#include <atomic>
#include <cstdint>

#include "display/frame_copy.h"
#include "base/container.h"
#include "media/input_reader.h"
#include "media/media.h"
#include "media/media_file_head.h"
#include "media/playback_clock.h"
#include "media/service_thread.h"
#include "sound/track_record.h"
#include "video/bundle.h"
#include "video/frame_buffers.h"

constexpr int kHistoryRings = 7;
enum HistoryRing {
  HISTORY_START = 0,
  HISTORY_VIDEO,
  HISTORY_AUDIO,
  HISTORY_BLIT,
  HISTORY_READ,
  HISTORY_IDLE_READ,
  HISTORY_BACKGROUND_READ,
};

struct MediaFile : MediaFileHead {
  // Picture and index.
  FrameBuffers* frames;        // null with OPEN_NO_VIDEO
  uint8_t* change_map;         // block count + 16 bytes, a zero byte at index block count
  uint32_t blocks_across;
  uint32_t block_count;
  FileHeader header;
  ContainerLayout layout;      // tables and index (our copies)
  uint32_t first_frame_offset;
  uint32_t peak_rate;
  uint32_t peak_frame;         // 0-based first frame of the peak window
  uint32_t all_key_frames;
  uint32_t file_width, file_height;
  uint32_t file_dividend, file_divisor;
  uint32_t rounded_rate;       // at least 1

  // Frame data.
  const uint8_t* frame_data;   // the current frame's bytes
  uint32_t frame_size;
  uint32_t frame_key;
  uint32_t frame_broken;       // the current frame could not be read or walked
  uint64_t data_end;           // media offset past the last byte that can be read:
                               // the header's data end, or the source's end when shorter
  uint32_t intact_frames;      // frames from the first that can be read (ContainerIntactFrames)
  uint32_t unreadable_frame;   // the frame (1-based) whose read stopped playback; 0: none
  const uint8_t* image;        // the caller's memory image, or our preloaded block
  uint32_t image_base;         // media offset of image[0]
  uint8_t* preload;            // our preloaded block (freed at close)
  uint8_t* read_block;         // read-ahead ring (header of the block) + one-frame buffer
  uint32_t read_ahead_size;
  uint8_t* frame_buffer;       // one-frame buffer (largest-frame bytes)
  uint32_t data_in_memory;     // preloaded or image
  InputReader reader;
  uint32_t input_open;

  // Sound.
  uint32_t requested_tracks;   // records planned
  uint32_t* opened_tracks;     // positions in the track tables, in play order
  uint32_t opened_count;
  TrackRecord* tracks;         // one record per requested track (at least one)
  uint32_t sound_playing;
  uint32_t sound_restart_failed;
  uint32_t first_frame_decoded;

  // Background services.
  ServiceNode reader_node;
  ServiceNode audio_node;
  uint32_t reader_joined;
  uint32_t audio_joined;

  // Decoder state.
  BundleBuffers bundles;

  // Timing and counters.
  PlaybackClock clock;
  CopyFrameState copy;         // the copy-out's view: picture, change map, the clock's ops
  uint32_t playback_start;
  uint32_t playback_started;   // the first decode has happened (the timer may read 0 then)
  uint32_t decode_start;
  uint32_t decode_end;
  uint32_t decode_end_pending;  // a copy and blit since decode_end are still to be booked
  uint32_t sound_skips;
  uint32_t video_time, audio_time, blit_time;
  uint32_t open_time;
  uint32_t slowest, second_slowest;
  uint32_t slowest_frame, second_slowest_frame;
  uint32_t frame_cycle_start;
  uint32_t memory_total;
  uint32_t resync_time;
  uint32_t resync_requested;
  uint32_t last_decoded_frame;
  uint32_t corrupt_frames;     // frames the video decoder rejected
  uint32_t last_corrupt_frame;
  uint32_t last_video_error;   // VideoError of the last rejected frame
  uint32_t last_video_plane;   // and the plane it failed in
  uint32_t* history[kHistoryRings];
  uint32_t history_index;
  uint32_t current_offset;     // media offset of the current frame
};

// Locks of the two service nodes (no-ops when the node has no mutex).
void MediaLockAudio(MediaFile* m);
bool MediaTryLockAudio(MediaFile* m);
void MediaUnlockAudio(MediaFile* m);
