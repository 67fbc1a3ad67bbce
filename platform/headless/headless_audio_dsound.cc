// The headless looping-buffer device.
#include <cmath>
#include <cstring>
#include <new>

#include "platform/headless/headless_audio_internal.h"

namespace {

using Hold = std::lock_guard<std::mutex>;

// The device takes this much ahead of the play cursor: the write cursor
// leads by it.
constexpr uint32_t kTakenMs = 10;

float DecibelGain(int32_t hundredths) { return hundredths >= 0 ? 1.0f : float(std::pow(10.0, hundredths / 2000.0)); }

void UpdateGains(DirectSoundBuffer* b) {
  const float g = DecibelGain(b->volume);
  b->gain_left = g * (b->pan > 0 ? DecibelGain(-b->pan) : 1.0f);
  b->gain_right = g * (b->pan < 0 ? DecibelGain(b->pan) : 1.0f);
}

bool TakeLoss(HeadlessAudio& h) {
  if (!h.faults.lose_buffer) return false;
  if (h.faults.lose_buffer != ~0u) h.faults.lose_buffer -= 1;
  return true;
}

HRESULT Create(LPDIRECTSOUND* object) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  if (h.faults.no_library) return DSERR_NODRIVER;
  HeadlessAdvanceLocked(h);
  HeadlessDeviceOpening(h, 0);
  h.objects += 1;
  *object = &h.object;
  return DS_OK;
}

void Release(LPDIRECTSOUND) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (h.objects) h.objects -= 1;
}

HRESULT SetCooperativeLevel(LPDIRECTSOUND object, void*, uint32_t) { return object ? DS_OK : DSERR_INVALIDPARAM; }

HRESULT CreateBuffer(LPDIRECTSOUND object, const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* out) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  if (!object || !desc || !out) return DSERR_INVALIDPARAM;
  const bool primary = desc->dwFlags & DSBCAPS_PRIMARYBUFFER;
  const WAVEFORMATEX* f = desc->lpwfxFormat;
  if (!primary) {
    if (h.faults.fail_open) return DSERR_GENERIC;
    if (!f || f->wFormatTag != WAVE_FORMAT_PCM || (f->nChannels != 1 && f->nChannels != 2) ||
        (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || !f->nSamplesPerSec || !desc->dwBufferBytes)
      return DSERR_INVALIDPARAM;
  }
  int slot = 0;
  while (slot < kHeadlessMaxBuffers && h.buffers[slot]) ++slot;
  if (slot == kHeadlessMaxBuffers) return DSERR_OUTOFMEMORY;
  HeadlessAdvanceLocked(h);
  auto* b = new (std::nothrow) DirectSoundBuffer{};
  if (!b) return DSERR_OUTOFMEMORY;
  b->primary = primary;
  if (!primary) {
    b->format = *f;
    b->format.nBlockAlign = uint16_t(f->wBitsPerSample / 8 * f->nChannels);
    b->size = desc->dwBufferBytes - desc->dwBufferBytes % b->format.nBlockAlign;
    b->data = new (std::nothrow) uint8_t[desc->dwBufferBytes];
    if (!b->data) {
      delete b;
      return DSERR_OUTOFMEMORY;
    }
    std::memset(b->data, f->wBitsPerSample == 8 ? 0x80 : 0, desc->dwBufferBytes);
    b->frequency = f->nSamplesPerSec;
    HeadlessSetResampler(&b->resampler, b->frequency, h.rate);
  }
  UpdateGains(b);
  h.buffers[slot] = b;
  *out = b;
  return DS_OK;
}

void BufferRelease(LPDIRECTSOUNDBUFFER b) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  for (DirectSoundBuffer*& slot : h.buffers)
    if (slot == b) slot = nullptr;
  delete[] b->data;
  delete b;
}

HRESULT SetFormat(LPDIRECTSOUNDBUFFER b, const WAVEFORMATEX* f) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  if (!b->primary || !f || !f->nSamplesPerSec) return DSERR_INVALIDPARAM;
  // The device rate follows while nothing else plays on it.
  bool busy = false;
  for (DirectSoundBuffer* x : h.buffers) busy = busy || (x && !x->primary);
  for (WaveOutDevice* d : h.waves) busy = busy || d;
  if (busy || h.fixed_rate) return DS_OK;
  HeadlessAdvanceLocked(h);
  if (h.rate == f->nSamplesPerSec) return DS_OK;
  if (h.wav && h.wav_frames) return DS_OK;  // a file holds one rate
  h.rate = f->nSamplesPerSec;
  h.elapsed_ms = 0;
  h.frames_done = 0;
  return DS_OK;
}

HRESULT Lock(LPDIRECTSOUNDBUFFER b, uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2,
             uint32_t) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (TakeLoss(h)) return DSERR_BUFFERLOST;
  if (b->primary || offset >= b->size || bytes > b->size || !bytes) return DSERR_INVALIDPARAM;
  const uint32_t first = bytes < b->size - offset ? bytes : b->size - offset;
  *p1 = b->data + offset;
  *n1 = first;
  *p2 = first < bytes ? b->data : nullptr;
  *n2 = bytes - first;
  return DS_OK;
}

HRESULT Unlock(LPDIRECTSOUNDBUFFER, void*, uint32_t, void*, uint32_t) { return DS_OK; }

HRESULT Play(LPDIRECTSOUNDBUFFER b, uint32_t, uint32_t, uint32_t) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (TakeLoss(h)) return DSERR_BUFFERLOST;
  b->playing = true;
  return DS_OK;
}

HRESULT Stop(LPDIRECTSOUNDBUFFER b) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  b->playing = false;
  return DS_OK;
}

HRESULT GetCurrentPosition(LPDIRECTSOUNDBUFFER b, uint32_t* play, uint32_t* write) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (!b->size) return DSERR_INVALIDPARAM;
  const uint32_t align = b->format.nBlockAlign;
  uint32_t taken = uint32_t(uint64_t(b->frequency) * kTakenMs / 1000) * align;
  uint32_t p = b->play;
  uint32_t w = b->playing ? (p + taken) % b->size : p;
  if (h.faults.stall_cursors) {
    if (!h.stall_taken) {
      h.stalled_play = p;
      h.stalled_write = w;
      h.stall_taken = true;
    }
    p = h.stalled_play;
    w = h.stalled_write;
  }
  if (h.faults.jitter_bytes) {
    h.random = h.random * 1103515245u + 12345u;
    const uint32_t wander = (h.random >> 8) % h.faults.jitter_bytes;
    p = (p + wander - wander % align) % b->size;
  }
  if (h.faults.play_offset) p = (p + h.faults.play_offset) % b->size;
  *play = p;
  *write = w;
  return DS_OK;
}

HRESULT GetStatus(LPDIRECTSOUNDBUFFER b, uint32_t* status) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  *status = (b->playing || h.faults.status_stuck) ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
  if (h.faults.lose_buffer) *status |= DSBSTATUS_BUFFERLOST;
  return DS_OK;
}

HRESULT SetCurrentPosition(LPDIRECTSOUNDBUFFER b, uint32_t position) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (!b->size) return DSERR_INVALIDPARAM;
  b->play = (position % b->size) / b->format.nBlockAlign * b->format.nBlockAlign;
  b->resampler.phase = 0;
  return DS_OK;
}

HRESULT SetFrequency(LPDIRECTSOUNDBUFFER b, uint32_t frequency) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (b->primary || frequency < 100 || frequency > 200000) return DSERR_INVALIDPARAM;
  b->frequency = frequency;
  HeadlessSetResampler(&b->resampler, frequency, h.rate);
  return DS_OK;
}

HRESULT SetPan(LPDIRECTSOUNDBUFFER b, int32_t pan) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  b->pan = pan;
  UpdateGains(b);
  return DS_OK;
}

HRESULT SetVolume(LPDIRECTSOUNDBUFFER b, int32_t volume) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  b->volume = volume;
  UpdateGains(b);
  return DS_OK;
}

HRESULT Restore(LPDIRECTSOUNDBUFFER) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  h.restores += 1;
  return DS_OK;
}

}  // namespace

const DirectSoundTable kHeadlessDirectSound = {
    Create,  Release,   SetCooperativeLevel, CreateBuffer,       BufferRelease, SetFormat,          Lock,
    Unlock,  Play,      Stop,                GetCurrentPosition, GetStatus,     SetCurrentPosition, SetFrequency,
    SetPan,  SetVolume, Restore};
