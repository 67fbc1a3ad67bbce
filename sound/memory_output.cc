#include "sound/memory_output.h"

#include <atomic>
#include <cstring>

#include "base/core_alloc.h"
#include "base/timer.h"

namespace {

// Per-track state in the record's output area.
struct MemoryTrack {
  MemoryOutputConfig* config;
  uint32_t index;
  uint8_t* block;          // one allocation: the device FIFO, then the staging chunk
  uint32_t device_size;    // bytes
  uint32_t head;           // FIFO read index
  uint32_t count;          // FIFO bytes
  uint8_t* staging;
  uint32_t chunk;          // S: bytes handed out per lock
  uint32_t bytes_per_second;
  uint32_t frame_bytes;    // bytes per sample frame
  uint32_t start_threshold;
  uint32_t playing;
  uint32_t paused;
  uint32_t lock_pending;
  uint32_t play_start;     // clock ms when playing began (moved by pauses)
  uint32_t paused_at;
  uint64_t played_since_start;
  uint64_t played_total;
};
static_assert(sizeof(MemoryTrack) <= kSoundOutputAreaBytes, "fits the output area");

MemoryOutputConfig g_default_config = {nullptr, nullptr, true, 16, 0, {}, nullptr, 0, 0, 0, false, false};
MemoryOutputConfig* g_config = &g_default_config;

MemoryTrack* Track(TrackRecord* r) { return reinterpret_cast<MemoryTrack*>(r->output_area); }

uint32_t Now(const MemoryOutputConfig* c) { return c->clock ? c->clock(c->clock_context) : MediaTimer(); }

// Tracks of different files are fed under different locks, so the shared
// log takes its slots atomically.
void Log(MemoryTrack* t, MemoryOutputOp op, uint32_t argument) {
  MemoryOutputConfig* c = t->config;
  const uint32_t slot = std::atomic_ref<uint32_t>(c->log_count).fetch_add(1, std::memory_order_relaxed);
  if (c->log && slot < c->log_capacity) c->log[slot] = {uint8_t(t->index), uint8_t(op), argument};
}

uint32_t RoundUp32(uint32_t n) { return (n + 31u) & ~31u; }

void Consume(MemoryTrack* t, uint32_t n) {
  n -= n % t->frame_bytes;
  if (n > t->count) n = t->count;
  t->head = (t->head + n) % t->device_size;
  t->count -= n;
  t->played_since_start += n;
  t->played_total += n;
}

// Plays what the clock says has played since the device started.
void Advance(TrackRecord* r) {
  MemoryTrack* t = Track(r);
  if (!t->playing || t->paused) return;
  const uint32_t elapsed = Now(t->config) - t->play_start;
  const uint64_t due = uint64_t(elapsed) * t->bytes_per_second / 1000u;
  if (due <= t->played_since_start) return;
  const uint64_t want = due - t->played_since_start;
  if (want > t->count) {
    // The device ran dry: everything queued has played; wait for the
    // threshold again.
    Consume(t, t->count);
    t->count = 0;
    t->head = 0;
    t->playing = 0;
    r->starved = 1;
    return;
  }
  Consume(t, uint32_t(want));
}

void StartPlaying(MemoryTrack* t) {
  t->playing = 1;
  t->play_start = Now(t->config);
  t->played_since_start = 0;
}

int MemReady(TrackRecord* r) {
  MemoryTrack* t = Track(r);
  int ready = 0;
  if (r->enabled && !t->paused) {
    Advance(r);
    ready = t->device_size - t->count >= t->chunk;
  }
  Log(t, kMemReady, uint32_t(ready));
  return ready;
}

int MemLock(TrackRecord* r, void** destination, uint32_t* bytes) {
  MemoryTrack* t = Track(r);
  Log(t, kMemLock, t->chunk);
  if (!r->enabled || t->device_size - t->count < t->chunk) return 0;
  *destination = t->staging;
  *bytes = t->chunk;
  t->lock_pending = 1;
  return 1;
}

int MemCommit(TrackRecord* r, uint32_t bytes) {
  MemoryTrack* t = Track(r);
  Log(t, kMemCommit, bytes);
  if (!t->lock_pending) return 0;
  t->lock_pending = 0;
  if (bytes > t->chunk) bytes = t->chunk;
  MemoryOutputCapture& cap = t->config->capture[t->index % kMemoryOutputMaxTracks];
  if (cap.bytes && cap.length < cap.capacity) {
    const uint32_t n = bytes < cap.capacity - cap.length ? bytes : cap.capacity - cap.length;
    std::memcpy(cap.bytes + cap.length, t->staging, n);
    cap.length += n;
  }
  cap.total += bytes;
  // Into the FIFO (it has room: the lock checked).
  uint32_t tail = (t->head + t->count) % t->device_size;
  const uint32_t first = bytes < t->device_size - tail ? bytes : t->device_size - tail;
  std::memcpy(t->block + tail, t->staging, first);
  std::memcpy(t->block, t->staging + first, bytes - first);
  t->count += bytes;
  if (t->config->instant) {
    Consume(t, t->count);
    t->count = 0;
    t->head = 0;
  } else if (!t->playing && t->count >= t->start_threshold) {
    StartPlaying(t);
  }
  return 1;
}

void MemSetVolume(TrackRecord* r, uint32_t volume) { Log(Track(r), kMemSetVolume, volume); }
void MemSetPan(TrackRecord* r, uint32_t pan) { Log(Track(r), kMemSetPan, pan); }

int MemPause(TrackRecord* r, int on) {
  MemoryTrack* t = Track(r);
  Log(t, kMemPause, uint32_t(on));
  if (on && !t->paused) {
    Advance(r);
    t->paused = 1;
    t->paused_at = Now(t->config);
  } else if (!on && t->paused) {
    t->paused = 0;
    t->play_start += Now(t->config) - t->paused_at;  // paused time does not play
  }
  return int(t->paused);
}

int MemEnable(TrackRecord* r, int on) {
  MemoryTrack* t = Track(r);
  Log(t, kMemEnable, uint32_t(on));
  if (on == 1 && !r->enabled && !t->config->fail_enable) {
    r->enabled = 1;
  } else if (on == 0 && r->enabled) {
    // Off: stop and drop what the device held.
    r->enabled = 0;
    t->count = 0;
    t->head = 0;
    t->playing = 0;
  }
  return int(r->enabled);
}

void MemClose(TrackRecord* r) {
  MemoryTrack* t = Track(r);
  Log(t, kMemClose, 0);
  CoreFree(t->block);
  t->block = nullptr;
  r->enabled = 0;
}

int MemOpen(TrackRecord* r, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t, const SoundFileLength* file) {
  MemoryOutputConfig* c = g_config;
  TrackRecordClear(r);
  MemoryTrack* t = Track(r);
  t->config = c;
  t->index = c->tracks_opened++;
  Log(t, kMemOpen, rate);
  if (c->fail_open || (bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate == 0 ||
      rate > 1000000) {
    c->fail_open = false;
    return 0;
  }
  t->frame_bytes = bits / 8 * channels;
  t->bytes_per_second = rate * t->frame_bytes;
  t->chunk = RoundUp32(t->bytes_per_second / 16);
  t->chunk -= t->chunk % t->frame_bytes;
  if (!t->chunk) t->chunk = t->frame_bytes;
  const uint32_t sixteenths = c->device_sixteenths ? c->device_sixteenths : 16;
  t->device_size = t->chunk * sixteenths;
  uint64_t file_bytes = t->bytes_per_second;
  if (file && file->rate_dividend && file->rate_divisor)
    file_bytes = uint64_t(file->frame_count) * file->rate_divisor * t->bytes_per_second / file->rate_dividend;
  const uint64_t half = RoundUp32(t->bytes_per_second / 2);
  t->start_threshold = uint32_t(half < file_bytes ? half : file_bytes);
  if (t->start_threshold > t->device_size) t->start_threshold = t->device_size;
  if (!t->start_threshold) t->start_threshold = 1;
  t->block = static_cast<uint8_t*>(CoreAllocate(t->device_size + t->chunk));
  if (!t->block) return 0;
  t->staging = t->block + t->device_size;
  r->SoundReady = MemReady;
  r->SoundLock = MemLock;
  r->SoundCommit = MemCommit;
  r->SoundSetVolume = MemSetVolume;
  r->SoundSetPan = MemSetPan;
  r->SoundPause = MemPause;
  r->SoundEnable = MemEnable;
  r->SoundClose = MemClose;
  r->sample_rate = rate;
  r->bits_per_sample = bits;
  r->channels = channels;
  r->enabled = 1;
  r->latency = c->latency;
  r->minimum_fill = bits == 8 ? 2 * t->chunk : t->chunk;
  return 1;
}

}  // namespace

SoundOpenOp MemoryOutputInitialiser(uintptr_t parameter) {
  g_config = parameter ? reinterpret_cast<MemoryOutputConfig*>(parameter) : &g_default_config;
  return MemOpen;
}

uint32_t MemoryOutputQueuedBytes(TrackRecord* r) {
  Advance(r);
  return Track(r)->count;
}
uint64_t MemoryOutputPlayedBytes(TrackRecord* r) {
  Advance(r);
  return Track(r)->played_total;
}
bool MemoryOutputPlaying(TrackRecord* r) { return Track(r)->playing != 0; }
void MemoryOutputStarve(TrackRecord* r) {
  MemoryTrack* t = Track(r);
  t->count = 0;
  t->head = 0;
  if (t->playing) {
    t->playing = 0;
    r->starved = 1;
  }
}
