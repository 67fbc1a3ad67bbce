// The queued-buffer output: one track through the default wave device with
// a ring of sixteen fixed-size device buffers, started once half a second
// (or the whole file) has been collected, and collected again after the
// device runs dry.
#pragma once
#include <cstdint>

#include "sound/track_record.h"
#include "sound/wave_device.h"

constexpr uint32_t kWaveBuffers = 16;

// Ignores its parameter and always succeeds (the device is looked for at
// each track open).
SoundOpenOp WaveOutInitialiser(uintptr_t parameter);

// The output's state in the record's output area, for tests.
struct WaveOutTrack {
  uint32_t volume;
  uint32_t pan;
  uint32_t playing;
  uint32_t paused;
  int32_t next_buffer;
  int32_t last_buffer;
  uint32_t queued_bytes;
  uint32_t start_threshold;
  uint32_t file_bytes;
  uint32_t buffer_size;  // S
  HWAVEOUT device;
  WAVEHDR** headers;
  uint8_t* data;
  const WaveOutTable* api;
};
WaveOutTrack* WaveOutTrackOf(TrackRecord* record);
