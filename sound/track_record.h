// The record of one opened sound track. It begins with the table of
// operation slots that a sound output fills when it opens the track; the
// playback core then feeds, pauses, switches and closes the track only
// through them. Then come the fields the output sets and the core reads,
// the core's ring of decoded sound, and an area that belongs to the output.
#pragma once
#include <cstdint>

struct AudioDecoder;
struct TrackRecord;

using SoundReadyOp = int (*)(TrackRecord* record);
using SoundLockOp = int (*)(TrackRecord* record, void** destination, uint32_t* bytes);
using SoundCommitOp = int (*)(TrackRecord* record, uint32_t bytes);
using SoundSetVolumeOp = void (*)(TrackRecord* record, uint32_t volume);
using SoundSetPanOp = void (*)(TrackRecord* record, uint32_t pan);
using SoundPauseOp = int (*)(TrackRecord* record, int on);
using SoundEnableOp = int (*)(TrackRecord* record, int on);
using SoundCloseOp = void (*)(TrackRecord* record);

// What an output needs to know of the file a track belongs to: its length,
// as a frame count and the frame rate in force (dividend / divisor).
struct SoundFileLength {
  uint32_t frame_count;
  uint32_t rate_dividend;
  uint32_t rate_divisor;
};

// The track-open operation an output's initialiser hands to the core.
using SoundOpenOp = int (*)(TrackRecord* record, uint32_t sample_rate, uint32_t bits_per_sample,
                            uint32_t channels, uint32_t open_flags, const SoundFileLength* file);
// An output's initialiser: prepares the output, returns its track-open operation or null.
using SoundInitialiser = SoundOpenOp (*)(uintptr_t parameter);

constexpr uint32_t kSoundOutputAreaBytes = 256;

struct TrackRecord {
  // Slot table, filled by the output.
  SoundReadyOp SoundReady;
  SoundLockOp SoundLock;
  SoundCommitOp SoundCommit;
  SoundSetVolumeOp SoundSetVolume;
  SoundSetPanOp SoundSetPan;
  SoundPauseOp SoundPause;
  SoundEnableOp SoundEnable;
  SoundCloseOp SoundClose;
  void* reserved_slot8;  // nothing calls these two
  void* reserved_slot9;

  // Set by the output, read by the core.
  uint32_t minimum_fill;      // 16-bit bytes that must wait in the ring before mid-file feeding
  uint32_t read_alignment_mask;  // 0 from the outputs; the core makes it all ones
  uint32_t starved;           // the device ran dry while playing; cleared by the core
  uint32_t self_driven;       // nonzero: the output pulls data by itself
  uint32_t enabled;           // 1 while the output is on
  uint32_t latency;           // ms
  uint32_t sample_rate;
  uint32_t bits_per_sample;   // 8 or 16
  uint32_t channels;          // 1 or 2

  // The core's ring of decoded 16-bit sound and its counters.
  uint32_t ring_size;
  uint8_t* ring_start;
  uint8_t* ring_end;
  uint8_t* write;
  uint8_t* read;
  AudioDecoder* decoder;
  uint32_t queued;            // changed with atomic additions (std::atomic_ref)
  uint32_t eight_bit_output;
  uint32_t last_underrun_frame;
  uint32_t preroll_bytes;

  // Belongs to the output.
  alignas(16) uint8_t output_area[kSoundOutputAreaBytes];
};

// Clears the whole record, as every SoundOpen does first.
void TrackRecordClear(TrackRecord* record);
