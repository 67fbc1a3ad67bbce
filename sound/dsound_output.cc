#include "sound/dsound_output.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "base/thread.h"
#include "base/timer.h"
#include "sound/sound_drivers.h"

const LPDIRECTSOUND kDirectSoundNone = reinterpret_cast<LPDIRECTSOUND>(~uintptr_t(0));

namespace {

static_assert(sizeof(DirectSoundTrack) <= kSoundOutputAreaBytes, "fits the output area");

constexpr uint32_t kCursorCacheMs = 12;
constexpr uint32_t kStaleMs = 540;
constexpr uint32_t kGuardBytes = 1024;     // never written in front of the play cursor
constexpr uint32_t kStableDistance = 1024;  // readings that agree this well are believed
constexpr uint32_t kStableTries = 64;       // then the reading is not trusted
constexpr uint32_t kStartStillMs = 50;      // a start that has not moved is played again
constexpr uint32_t kBoundedWaits = 1000;    // 1 ms waits: about a second

struct ProcessState {
  LPDIRECTSOUND object = kDirectSoundNone;
  uint32_t own_object = 0;
  uint32_t open_outputs = 0;
  const DirectSoundTable* api = nullptr;  // the driver's create entry and methods
  uint32_t primary_format_pending = 0;
  uint32_t init_references = 0;
  void* window = nullptr;
};
ProcessState g_state;

DirectSoundTrack* Track(TrackRecord* r) { return reinterpret_cast<DirectSoundTrack*>(r->output_area); }
uint32_t RoundUp(uint32_t n, uint32_t m) { return (n + m - 1) / m * m; }
uint8_t SilenceByte(const DirectSoundTrack* t) { return t->bits == 8 ? 0x80 : 0x00; }
void MarkStarved(TrackRecord* r) { std::atomic_ref<uint32_t>(r->starved).store(1, std::memory_order_release); }

bool ObjectValid() { return g_state.object && g_state.object != kDirectSoundNone; }

// Takes one reference on the process's object, creating our own when needed.
bool Initialise() {
  if (g_state.init_references++ > 0) return true;
  if (!g_state.own_object) return true;
  if (!g_state.api || !g_state.api->DirectSoundCreate) {
    g_state.init_references = 0;
    return false;
  }
  LPDIRECTSOUND object = nullptr;
  if (g_state.api->DirectSoundCreate(&object) != DS_OK || !object) {
    g_state.init_references -= 1;
    return false;
  }
  g_state.object = object;
  g_state.primary_format_pending =
      g_state.api->SetCooperativeLevel(object, g_state.window, DSSCL_PRIORITY) == DS_OK;
  return true;
}

void ReleaseReference() {
  if (g_state.init_references == 0) return;
  if (--g_state.init_references == 0 && g_state.own_object && ObjectValid()) {
    g_state.api->Release(g_state.object);
    g_state.object = kDirectSoundNone;
  }
}

// The device never came back: the track goes off for good, so the file
// plays on without it (the core counts a sound skip from the mark).
void GiveUp(TrackRecord* r) {
  DirectSoundTrack* t = Track(r);
  t->gave_up = 1;
  r->enabled = 0;
  t->playing = 0;
  MarkStarved(r);
}

// A call that reports a lost buffer is retried after restoring it, 10 ms
// apart, for about a second.
template <typename Call>
HRESULT WithRetry(TrackRecord* r, Call call) {
  DirectSoundTrack* t = Track(r);
  HRESULT hr = call();
  for (uint32_t i = 0; hr == DSERR_BUFFERLOST && i < kLostBufferRetries; ++i) {
    PlatformSleep(10);
    t->api->Restore(t->buffer);
    hr = call();
  }
  if (hr == DSERR_BUFFERLOST) GiveUp(r);
  return hr;
}

HRESULT PlayLooping(TrackRecord* r) {
  DirectSoundTrack* t = Track(r);
  return WithRetry(r, [t] { return t->api->Play(t->buffer, 0, 0, DSBPLAY_LOOPING); });
}

HRESULT LockRegion(TrackRecord* r, uint32_t offset, uint32_t bytes) {
  DirectSoundTrack* t = Track(r);
  t->part1 = t->part2 = nullptr;
  t->part1_size = t->part2_size = 0;
  const HRESULT hr = WithRetry(r, [t, offset, bytes] {
    return t->api->Lock(t->buffer, offset, bytes, &t->part1, &t->part1_size, &t->part2, &t->part2_size, 0);
  });
  if (hr != DS_OK) t->part1 = t->part2 = nullptr, t->part1_size = t->part2_size = 0;
  return hr;
}

void UnlockRegion(DirectSoundTrack* t) {
  if (t->part1 || t->part2) t->api->Unlock(t->buffer, t->part1, t->part1_size, t->part2, t->part2_size);
  t->part1 = t->part2 = nullptr;
  t->part1_size = t->part2_size = 0;
}

void SilenceFill(TrackRecord* r, uint32_t offset, uint32_t bytes) {
  DirectSoundTrack* t = Track(r);
  if (LockRegion(r, offset, bytes) != DS_OK) return;
  if (t->part1) std::memset(t->part1, SilenceByte(t), t->part1_size);
  if (t->part2) std::memset(t->part2, SilenceByte(t), t->part2_size);
  UnlockRegion(t);
}

// Three readings; the last is believed when it is within 1024 bytes of the
// first in both cursors. A device whose readings never settle is not
// believed (false).
bool StableCursors(DirectSoundTrack* t, uint32_t* play, uint32_t* write) {
  for (uint32_t attempt = 0; attempt < kStableTries; ++attempt) {
    uint32_t p0 = 0, w0 = 0, p = 0, w = 0;
    if (t->api->GetCurrentPosition(t->buffer, &p0, &w0) != DS_OK) return false;
    t->api->GetCurrentPosition(t->buffer, &p, &w);
    if (t->api->GetCurrentPosition(t->buffer, &p, &w) != DS_OK) return false;
    if (p - p0 < kStableDistance && p0 - p < kStableDistance && w - w0 < kStableDistance &&
        w0 - w < kStableDistance) {
      *play = p;
      *write = w;
      return true;
    }
  }
  return false;
}

void Start(TrackRecord* r) {
  DirectSoundTrack* t = Track(r);
  t->playing = 1;
  if (PlayLooping(r) == DSERR_BUFFERLOST) return;
  t->paused = 0;
  uint32_t noted_time = MediaTimer();
  uint32_t noted_play = 0, write = 0;
  t->api->GetCurrentPosition(t->buffer, &noted_play, &write);
  // Wait until the play cursor is within the first block: a stopped buffer
  // may still be far into its previous lap.
  for (uint32_t wait = 0;; ++wait) {
    t->api->GetCurrentPosition(t->buffer, &t->last_play_cursor, &t->last_write_cursor);
    if (t->last_play_cursor <= t->block || wait >= kBoundedWaits) break;
    const uint32_t now = MediaTimer();
    if (t->last_play_cursor != noted_play) {
      noted_play = t->last_play_cursor;
      noted_time = now;
    } else if (now - noted_time > kStartStillMs) {
      if (PlayLooping(r) == DSERR_BUFFERLOST) return;
      t->paused = 0;
      noted_time = now;
    }
    PlatformSleep(1);
  }
  t->last_reading_time = MediaTimer();
  // The prebuffer is in front of the cursor.
  t->pending = t->prebuffer > t->last_play_cursor ? t->prebuffer - t->last_play_cursor : 0;
}

void ApplyVolumePan(DirectSoundTrack* t) {
  t->api->SetFrequency(t->buffer, t->rate);
  t->api->SetPan(t->buffer, DirectSoundPanFor(t->pan));
  t->api->SetVolume(t->buffer, DirectSoundVolumeFor(t->volume));
}

int DsReady(TrackRecord* r) {
  DirectSoundTrack* t = Track(r);
  if (t->paused || !r->enabled || !t->buffer) return 0;
  if (!t->playing) return 1;  // prebuffering: taken until the grant is used up
  const uint32_t z = t->buffer_size;
  bool read = MediaTimer() - t->last_reading_time > kCursorCacheMs;
  for (int pass = 0; pass < 4; ++pass) {
    bool underrun = false;
    if (read) {
      uint32_t play = 0, write = 0;
      if (!StableCursors(t, &play, &write)) return 0;
      const uint32_t play_advance = (play + z - t->last_play_cursor % z) % z;
      const uint32_t write_advance = (write + z - t->last_write_cursor % z) % z;
      const uint32_t disagreement =
          play_advance > write_advance ? play_advance - write_advance : write_advance - play_advance;
      if (disagreement > z / 2) return 0;
      const uint32_t now = MediaTimer();
      const uint32_t previous = t->last_reading_time;
      t->pending = play_advance >= t->pending ? 0 : t->pending - play_advance;
      t->last_play_cursor = play;
      t->last_write_cursor = write;
      t->last_reading_time = now;
      // A reading this long after the last may have missed a whole lap.
      underrun = now - previous >= t->stale_time;
    }
    if (!underrun) {
      const uint32_t play = t->last_play_cursor;
      const uint32_t free_bytes = play >= t->write_offset ? play - t->write_offset : play + z - t->write_offset;
      const uint32_t usable = free_bytes < kGuardBytes ? 0 : (free_bytes - kGuardBytes) & ~3u;
      // The cursor came round to the writer when it has passed everything
      // written. (Positions alone cannot tell a lap from a buffer nearly
      // played out: sound still waiting in front of the cursor, the last
      // of a file or a writer that fell behind, plays before any silence.)
      if (t->pending != 0) {
        if (usable < t->block && (t->grant == 0 || usable == 0)) return 0;
        t->grant = usable;
        return 1;
      }
    }
    // Underrun: patch silence in front of the device and write after it.
    MarkStarved(r);
    SilenceFill(r, t->last_write_cursor % z, 2 * t->block);
    if (t->gave_up) return 0;
    t->write_offset = (t->last_write_cursor + 2 * t->block) % z;
    t->pending = (t->write_offset + z - t->last_play_cursor % z) % z;
    read = true;
  }
  return 0;
}

int DsLock(TrackRecord* r, void** destination, uint32_t* bytes) {
  DirectSoundTrack* t = Track(r);
  if (!t->buffer || !r->enabled || t->grant == 0) return 0;
  if (LockRegion(r, t->write_offset, t->grant) != DS_OK) return 0;
  // Only the part up to the end of the buffer is offered; the wrapped part
  // is unlocked untouched at the commit.
  *destination = t->part1;
  *bytes = t->part1_size;
  return t->part1 && t->part1_size;
}

int DsCommit(TrackRecord* r, uint32_t bytes) {
  DirectSoundTrack* t = Track(r);
  if (!t->part1 && !t->part2) return 0;
  if (bytes > t->part1_size) bytes = t->part1_size;
  t->write_offset = (t->write_offset + bytes) % t->buffer_size;
  t->grant = bytes < t->grant ? t->grant - bytes : 0;
  if (t->playing) t->pending = t->pending + bytes < t->buffer_size ? t->pending + bytes : t->buffer_size;
  UnlockRegion(t);
  if (!t->playing && t->grant == 0 && !t->paused) Start(r);
  return 1;
}

void DsSetVolume(TrackRecord* r, uint32_t volume) {
  DirectSoundTrack* t = Track(r);
  t->volume = volume < 0x7FFF ? volume : 0x7FFF;
  if (t->buffer) ApplyVolumePan(t);
}

void DsSetPan(TrackRecord* r, uint32_t pan) {
  DirectSoundTrack* t = Track(r);
  t->pan = pan < 0x10000 ? pan : 0x10000;
  if (t->buffer) ApplyVolumePan(t);
}

int DsPause(TrackRecord* r, int on) {
  DirectSoundTrack* t = Track(r);
  if (on) {
    if (t->playing && t->buffer) t->api->Stop(t->buffer);
    t->paused = 1;
    return 1;
  }
  if (t->buffer && !t->gave_up) {
    if (t->playing)
      PlayLooping(r);
    else if (t->grant == 0)
      Start(r);
  }
  t->paused = 0;
  return 0;
}

int DsEnable(TrackRecord* r, int on) {
  DirectSoundTrack* t = Track(r);
  if (on && !r->enabled) {
    if (t->buffer && !t->gave_up) {
      t->playing = 0;
      r->enabled = 1;
      t->write_offset = 0;
      t->grant = t->prebuffer;
    }
  } else if (!on && r->enabled) {
    if (t->api->Stop(t->buffer) == DS_OK) {
      // The device stops within a poll or two; one that never reports it
      // is not waited for longer than about a second.
      uint32_t status = 0;
      for (uint32_t i = 0; i < kBoundedWaits; ++i) {
        if (t->api->GetStatus(t->buffer, &status) != DS_OK || status == 0) break;
        PlatformSleep(1);
      }
    }
    t->api->SetCurrentPosition(t->buffer, 0);
    SilenceFill(r, 0, t->buffer_size);
    r->enabled = 0;
  }
  return int(r->enabled);
}

void DsClose(TrackRecord* r) {
  DirectSoundTrack* t = Track(r);
  if (!t->buffer) return;
  t->api->Stop(t->buffer);
  t->paused = 1;
  t->api->BufferRelease(t->buffer);
  t->buffer = nullptr;
  r->enabled = 0;
  if (g_state.open_outputs) g_state.open_outputs -= 1;
  ReleaseReference();
}

int DsOpen(TrackRecord* r, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t, const SoundFileLength* file) {
  TrackRecordClear(r);
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate == 0 || rate > 1000000) return 0;
  if (!Initialise()) return 0;
  DirectSoundTrack* t = Track(r);
  t->api = g_state.api;
  t->rate = rate;
  t->bits = bits;
  t->channels = channels;
  r->sample_rate = rate;
  r->bits_per_sample = bits;
  r->channels = channels;
  const uint32_t b = bits / 8 * channels * rate;
  t->buffer_size = RoundUp(uint32_t(uint64_t(b) * 600 / 1000), 1024);
  t->block = RoundUp(uint32_t(uint64_t(b) * 50 / 1000), 256);
  t->lap_limit = uint32_t(uint64_t(t->buffer_size) * 90 / 100);
  t->stale_time = kStaleMs;
  uint64_t file_bytes = t->block;
  if (file && file->rate_dividend && file->rate_divisor)
    file_bytes = uint64_t(file->frame_count) * file->rate_divisor * b / file->rate_dividend;
  t->prebuffer = uint32_t(file_bytes < t->buffer_size ? file_bytes : t->buffer_size);
  r->starved = 0;
  r->latency = 0;

  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = uint16_t(channels);
  format.nSamplesPerSec = rate;
  format.nAvgBytesPerSec = b;
  format.nBlockAlign = uint16_t(bits / 8 * channels);
  format.wBitsPerSample = uint16_t(bits);
  format.cbSize = 0;

  if (g_state.primary_format_pending) {
    DSBUFFERDESC primary = {20, DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
    LPDIRECTSOUNDBUFFER buffer = nullptr;
    if (t->api->CreateSoundBuffer(g_state.object, &primary, &buffer) == DS_OK && buffer) {
      t->api->SetFormat(buffer, &format);
      t->api->Play(buffer, 0, 0, DSBPLAY_LOOPING);
      t->api->BufferRelease(buffer);  // the device keeps its format
    }
    g_state.primary_format_pending = 0;
  }

  const uint32_t flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS |
                         DSBCAPS_GETCURRENTPOSITION2;
  DSBUFFERDESC desc = {20, flags, t->buffer_size, 0, &format};
  if (t->api->CreateSoundBuffer(g_state.object, &desc, &t->buffer) != DS_OK || !t->buffer) {
    t->buffer = nullptr;
    ReleaseReference();
    return 0;
  }
  r->minimum_fill = bits == 8 ? 2 * t->block : t->block;
  t->volume = t->pan = 0x7FFF;
  ApplyVolumePan(t);
  r->enabled = 1;  // the silence fill's lost-buffer give-up may clear it
  SilenceFill(r, 0, t->buffer_size);
  t->playing = 0;
  t->write_offset = 0;
  t->paused = 0;
  t->grant = t->prebuffer;
  r->enabled = t->gave_up ? 0 : 1;
  r->SoundReady = DsReady;
  r->SoundLock = DsLock;
  r->SoundCommit = DsCommit;
  r->SoundSetVolume = DsSetVolume;
  r->SoundSetPan = DsSetPan;
  r->SoundPause = DsPause;
  r->SoundEnable = DsEnable;
  r->SoundClose = DsClose;
  g_state.open_outputs += 1;
  return 1;
}

}  // namespace

SoundOpenOp DirectSoundInitialiser(uintptr_t direct_sound) {
  const auto offered = reinterpret_cast<LPDIRECTSOUND>(direct_sound);
  if (g_state.object != kDirectSoundNone && g_state.object != offered && g_state.open_outputs) return nullptr;
  g_state.object = offered;
  g_state.own_object = offered ? 0 : 1;
  // "Loading the library": the backend's audio starts, or there is none.
  // (The driver list starts a driver once and keeps it.)
  const SoundDevices* devices = SoundDriverDevices();
  g_state.api = devices && devices->direct_sound && devices->direct_sound->DirectSoundCreate ? devices->direct_sound
                                                                                             : nullptr;
  if (!g_state.api) {
    g_state.object = kDirectSoundNone;
    return nullptr;
  }
  if (!Initialise()) {
    if (g_state.own_object) g_state.object = kDirectSoundNone;
    return nullptr;
  }
  ReleaseReference();  // the trial's
  return DsOpen;
}

void DirectSoundSetWindow(void* window) {
  if (!g_state.window) g_state.window = window;
}

DirectSoundTrack* DirectSoundTrackOf(TrackRecord* record) { return Track(record); }

DirectSoundProcessState DirectSoundGetState() {
  return {g_state.object, g_state.own_object, g_state.open_outputs, g_state.primary_format_pending,
          g_state.init_references};
}

int32_t DirectSoundVolumeFor(uint32_t volume) {
  if (volume == 0) return DSBVOLUME_MIN;
  const float factor = 3.0518509e-5f;  // the float nearest 1 / 32767
  const double d = std::round(3333.3333 * std::log10(double(volume) * double(factor)));
  return d < DSBVOLUME_MIN ? DSBVOLUME_MIN : int32_t(d);
}

int32_t DirectSoundPanFor(uint32_t pan) { return (int32_t(pan) - 0x8000) * 10000 / 32768; }
