#include "sound/wave_output.h"

#include <atomic>
#include <cstring>

#include "base/core_alloc.h"
#include "sound/sound_drivers.h"

namespace {

static_assert(sizeof(WaveOutTrack) <= kSoundOutputAreaBytes, "fits the output area");

constexpr uint32_t kHeaderSize = sizeof(WAVEHDR);

WaveOutTrack* Track(TrackRecord* r) { return reinterpret_cast<WaveOutTrack*>(r->output_area); }

uint32_t RoundUp32(uint32_t n) { return (n + 31u) & ~31u; }
uint32_t BytesPerSecond(const TrackRecord* r) { return r->sample_rate * r->bits_per_sample * r->channels / 8; }

bool IsDone(const WAVEHDR* h) { return (WaveHeaderFlags(h) & WHDR_DONE) != 0; }
void SetDone(WAVEHDR* h) { WaveHeaderSetFlags(h, WaveHeaderFlags(h) | WHDR_DONE); }

void CloseDevice(WaveOutTrack* t) {
  if (t->device) {
    t->api->waveOutReset(t->device);
    for (uint32_t i = 0; i < kWaveBuffers; ++i) {
      t->headers[i]->dwBufferLength = t->buffer_size;
      t->api->waveOutUnprepareHeader(t->device, t->headers[i], kHeaderSize);
      SetDone(t->headers[i]);
    }
    t->api->waveOutClose(t->device);
    t->device = nullptr;
  }
  CoreFree(t->data);
  t->data = nullptr;
  t->headers = nullptr;
}

bool OpenDevice(TrackRecord* r) {
  WaveOutTrack* t = Track(r);
  const uint32_t b = BytesPerSecond(r);
  t->buffer_size = RoundUp32(b / 16);
  const uint32_t half = RoundUp32(b / 2);
  t->start_threshold = half < t->file_bytes ? half : t->file_bytes;
  t->next_buffer = t->last_buffer = -1;
  t->playing = 0;
  t->queued_bytes = 0;
  if (!t->api || !t->buffer_size) return false;

  // One block: the buffers, the header pointer table, the headers.
  const uint64_t total = uint64_t(kWaveBuffers) * (t->buffer_size + sizeof(WAVEHDR*) + sizeof(WAVEHDR));
  if (total > 0xFFFFFFFFu) return false;
  t->data = static_cast<uint8_t*>(CoreAllocate(uint32_t(total)));
  if (!t->data) return false;
  t->headers = reinterpret_cast<WAVEHDR**>(t->data + kWaveBuffers * t->buffer_size);
  auto* header_area = reinterpret_cast<WAVEHDR*>(t->headers + kWaveBuffers);
  for (uint32_t i = 0; i < kWaveBuffers; ++i) {
    t->headers[i] = &header_area[i];
    std::memset(static_cast<void*>(t->headers[i]), 0, sizeof(WAVEHDR));
    t->headers[i]->lpData = t->data + i * t->buffer_size;
  }
  std::memset(t->data, r->bits_per_sample == 8 ? 0x80 : 0x00, kWaveBuffers * t->buffer_size);

  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = uint16_t(r->channels);
  format.nSamplesPerSec = r->sample_rate;
  format.nAvgBytesPerSec = r->bits_per_sample / 8 * r->channels * r->sample_rate;
  format.nBlockAlign = uint16_t(r->bits_per_sample / 8 * r->channels);
  format.wBitsPerSample = uint16_t(r->bits_per_sample);
  if (t->api->waveOutOpen(&t->device, WAVE_MAPPER, &format) != MMSYSERR_NOERROR) {
    t->device = nullptr;
    CoreFree(t->data);
    t->data = nullptr;
    t->headers = nullptr;
    return false;
  }
  for (uint32_t i = 0; i < kWaveBuffers; ++i) {
    t->headers[i]->dwBufferLength = t->buffer_size;
    t->api->waveOutPrepareHeader(t->device, t->headers[i], kHeaderSize);
    SetDone(t->headers[i]);
  }
  return true;
}

// Clears the done mark and queues the buffer with `length` bytes.
void WriteBuffer(WaveOutTrack* t, int32_t i, uint32_t length) {
  WAVEHDR* h = t->headers[i];
  h->dwBufferLength = length;
  WaveHeaderSetFlags(h, WaveHeaderFlags(h) & ~WHDR_DONE);
  if (t->device) t->api->waveOutWrite(t->device, h, kHeaderSize);
}

void ApplyVolumePan(WaveOutTrack* t) {
  const uint32_t v = t->volume, p = t->pan;
  uint32_t left, right;
  if (p <= 0x7FFF) {
    left = v;
    right = v * p / 0x7FFF;
  } else {
    right = v;
    left = v * (0x10000 - p) / 0x8001;
  }
  if (t->device) t->api->waveOutSetVolume(t->device, (left & 0xFFFF) | (right << 16));
}

int WaveReady(TrackRecord* r) {
  WaveOutTrack* t = Track(r);
  if (t->paused || !r->enabled || !t->headers) return 0;
  if (t->playing) {
    bool all_done = true;
    for (uint32_t i = 0; i < kWaveBuffers && all_done; ++i) all_done = IsDone(t->headers[i]);
    if (all_done) {
      // The device ran dry: collect a new start threshold from buffer 0.
      std::atomic_ref<uint32_t>(r->starved).store(1, std::memory_order_release);
      t->playing = 0;
      t->queued_bytes = 0;
      t->next_buffer = t->last_buffer = -1;
    }
  }
  const int32_t b = (t->last_buffer + 1) % int32_t(kWaveBuffers);
  if (IsDone(t->headers[b])) {
    t->next_buffer = b;
    return 1;
  }
  for (uint32_t i = 0; i < kWaveBuffers; ++i)
    if (IsDone(t->headers[i])) {
      t->next_buffer = int32_t(i);
      return 1;
    }
  return 0;
}

int WaveLock(TrackRecord* r, void** destination, uint32_t* bytes) {
  WaveOutTrack* t = Track(r);
  if (t->next_buffer < 0 || !t->data) return 0;
  *destination = t->data + uint32_t(t->next_buffer) * t->buffer_size;
  *bytes = t->buffer_size;
  return 1;
}

int WaveCommit(TrackRecord* r, uint32_t bytes) {
  WaveOutTrack* t = Track(r);
  if (t->next_buffer < 0) return 0;
  if (bytes > t->buffer_size) bytes = t->buffer_size;
  t->last_buffer = t->next_buffer;
  t->next_buffer = -1;
  t->queued_bytes += bytes;
  if (t->playing) {
    WriteBuffer(t, t->last_buffer, bytes);
  } else {
    // Waiting buffers remember how much they hold, so a short last piece
    // plays no stale bytes after it.
    t->headers[t->last_buffer]->dwBufferLength = bytes;
    // All sixteen buffers full also starts the device: a seventeenth
    // commit would overwrite buffer 0 before it was played.
    if (t->queued_bytes >= t->start_threshold || t->last_buffer == int32_t(kWaveBuffers) - 1) {
      t->playing = 1;
      for (int32_t i = 0; i <= t->last_buffer; ++i) WriteBuffer(t, i, t->headers[i]->dwBufferLength);
    }
  }
  return 1;
}

void WaveSetVolume(TrackRecord* r, uint32_t volume) {
  WaveOutTrack* t = Track(r);
  t->volume = uint32_t((uint64_t(volume < 0xFFFF ? volume : 0xFFFF) + 1) * 0x7FFF / 0x10000);
  ApplyVolumePan(t);
}

void WaveSetPan(TrackRecord* r, uint32_t pan) {
  WaveOutTrack* t = Track(r);
  t->pan = pan < 0x10000 ? pan : 0x10000;
  ApplyVolumePan(t);
}

int WavePause(TrackRecord* r, int on) {
  WaveOutTrack* t = Track(r);
  if (on) {
    if (t->device) t->api->waveOutPause(t->device);
    t->paused = 1;
  } else {
    if (t->device) t->api->waveOutRestart(t->device);
    t->paused = 0;
  }
  return int(t->paused);
}

int WaveEnable(TrackRecord* r, int on) {
  WaveOutTrack* t = Track(r);
  if (on == 1 && !r->enabled) {
    if (OpenDevice(r)) r->enabled = 1;
  } else if (on == 0 && r->enabled) {
    CloseDevice(t);
    r->enabled = 0;
  }
  return int(r->enabled);
}

void WaveClose(TrackRecord* r) {
  CloseDevice(Track(r));
  r->enabled = 0;
}

int WaveOpen(TrackRecord* r, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t, const SoundFileLength* file) {
  TrackRecordClear(r);
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate == 0 || rate > 1000000) return 0;
  WaveOutTrack* t = Track(r);
  r->sample_rate = rate;
  r->bits_per_sample = bits;
  r->channels = channels;
  const uint32_t b = BytesPerSecond(r);
  uint64_t file_bytes = b;
  if (file && file->rate_dividend && file->rate_divisor)
    file_bytes = uint64_t(file->frame_count) * file->rate_divisor * b / file->rate_dividend;
  t->file_bytes = file_bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(file_bytes);
  t->volume = t->pan = 0x7FFF;
  r->enabled = 1;
  r->SoundReady = WaveReady;
  r->SoundLock = WaveLock;
  r->SoundCommit = WaveCommit;
  r->SoundSetVolume = WaveSetVolume;
  r->SoundSetPan = WaveSetPan;
  r->SoundPause = WavePause;
  r->SoundEnable = WaveEnable;
  r->SoundClose = WaveClose;
  const SoundDevices* devices = SoundDriverDevices();
  t->api = devices ? devices->wave_out : nullptr;
  if (!OpenDevice(r)) {
    r->enabled = 0;
    return 0;
  }
  r->minimum_fill = bits == 8 ? 2 * t->buffer_size : t->buffer_size;
  r->latency = 0;
  return 1;
}

}  // namespace

SoundOpenOp WaveOutInitialiser(uintptr_t) { return WaveOpen; }

WaveOutTrack* WaveOutTrackOf(TrackRecord* record) { return Track(record); }
