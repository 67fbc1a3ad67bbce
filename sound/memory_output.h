// The memory output: a sound output without a device, for tests and batch
// use. It plays into memory at the rate of a clock (the core's timer, an
// injected one, or at once), can capture what it was fed, can be made to
// starve, and records the calls it receives so that tests can check the
// core's calling order.
#pragma once
#include <cstdint>

#include "sound/track_record.h"

enum MemoryOutputOp : uint8_t {
  kMemOpen = 1,
  kMemReady,
  kMemLock,
  kMemCommit,
  kMemSetVolume,
  kMemSetPan,
  kMemPause,
  kMemEnable,
  kMemClose,
};

struct MemoryOutputCall {
  uint8_t track;  // order in which the track was opened (0 first)
  uint8_t op;     // MemoryOutputOp
  uint32_t argument;  // bytes for lock/commit, on for pause/enable, result for ready
};

constexpr int kMemoryOutputMaxTracks = 8;

struct MemoryOutputCapture {
  uint8_t* bytes;     // caller's buffer (device format), may be null
  uint32_t capacity;
  uint32_t length;    // bytes stored
  uint64_t total;     // bytes committed in all, stored or not
};

struct MemoryOutputConfig {
  // Milliseconds now; null takes the core's MediaTimer.
  uint32_t (*clock)(void* context);
  void* clock_context;
  // Plays everything at once when it is committed: never starves, never
  // holds data back. For batch decoding.
  bool instant;
  // Device size in sixteenths of a second (default 16: one second).
  uint32_t device_sixteenths;
  uint32_t latency;  // ms reported to the core
  MemoryOutputCapture capture[kMemoryOutputMaxTracks];
  MemoryOutputCall* log;  // caller's array, may be null
  uint32_t log_capacity;
  uint32_t log_count;     // calls seen (may exceed the capacity)
  uint32_t tracks_opened;
  bool fail_open;         // the next SoundOpen fails
  bool fail_enable;       // SoundEnable(1) fails
};

// Initialiser: the parameter is a MemoryOutputConfig* (0: instant output
// with no capture and no log, shared by the process).
SoundOpenOp MemoryOutputInitialiser(uintptr_t parameter);

// State of one track, for tests.
uint32_t MemoryOutputQueuedBytes(TrackRecord* record);  // waiting in the device
uint64_t MemoryOutputPlayedBytes(TrackRecord* record);  // played since open
bool MemoryOutputPlaying(TrackRecord* record);
// Drops what the device holds, so that the next poll finds it starved.
void MemoryOutputStarve(TrackRecord* record);
