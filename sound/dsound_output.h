// The looping-buffer output: each track plays through one looping secondary
// buffer of about 0.6 s on a process-wide device object, written in place
// behind the play cursor. The output follows the play and write cursors
// itself, and patches the buffer with silence when the device has caught up
// with the writer.
#pragma once
#include <cstdint>

#include "sound/dsound_device.h"
#include "sound/track_record.h"

// directSound: an existing object to use (an LPDIRECTSOUND of the running
// driver, as uintptr_t), or 0 to create one. Null when there is no usable
// device, or when another object is offered while tracks are open.
SoundOpenOp DirectSoundInitialiser(uintptr_t directSound);

// The window for the cooperative level (an opaque handle; null before the
// player's window exists). Kept for the process once set.
void DirectSoundSetWindow(void* window);

// Lost-buffer retries, 10 ms apart, before a track gives up (about a second).
constexpr uint32_t kLostBufferRetries = 100;

// The output's state in the record's output area, for tests.
struct DirectSoundTrack {
  LPDIRECTSOUNDBUFFER buffer;
  uint32_t buffer_size;  // Z
  uint32_t block;        // K
  uint32_t rate, bits, channels;
  uint32_t volume, pan;
  uint32_t playing, paused;
  uint32_t write_offset;
  uint32_t grant;
  uint32_t prebuffer;
  uint32_t last_write_cursor, last_play_cursor;
  uint32_t lap_limit;
  uint32_t last_reading_time;
  uint32_t stale_time;
  uint32_t part1_size;
  void* part1;
  uint32_t part2_size;
  void* part2;
  uint32_t gave_up;  // the device never came back: the track stays off
  uint32_t pending;  // bytes written that the play cursor had not reached at the last reading
  const DirectSoundTable* api;
};
DirectSoundTrack* DirectSoundTrackOf(TrackRecord* record);

// Process-wide state, for tests.
struct DirectSoundProcessState {
  LPDIRECTSOUND object;  // kDirectSoundNone before any is chosen
  uint32_t own_object;
  uint32_t open_outputs;
  uint32_t primary_format_pending;
  uint32_t init_references;
};
DirectSoundProcessState DirectSoundGetState();
extern const LPDIRECTSOUND kDirectSoundNone;

// The buffer volume in hundredths of a decibel for a volume of 0 … 0x7FFF,
// and the buffer pan (-10000 … 10000) for a pan of 0 … 0x10000.
int32_t DirectSoundVolumeFor(uint32_t volume);
int32_t DirectSoundPanFor(uint32_t pan);
