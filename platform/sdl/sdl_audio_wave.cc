// The queued-buffer device on SDL: one SDL device per wave device, in the
// track's own format; the callback copies from the written headers in
// order and marks each done as it is used up.
#include <cstring>
#include <new>

#include "platform/sdl/sdl_audio_internal.h"

struct WaveOutDevice {
  SDL_AudioDeviceID id;
  WAVEFORMATEX format;
  uint8_t silence;
  WAVEHDR* head;  // guarded by the SDL device lock
  WAVEHDR* tail;
  uint32_t volume;  // left low 16 bits, right high 16 bits
};

namespace {

void FinishHeader(WAVEHDR* h) {
  h->lpNext = nullptr;
  WaveHeaderSetFlags(h, (WaveHeaderFlags(h) & ~WHDR_INQUEUE) | WHDR_DONE);
}

void ApplyVolume(WaveOutDevice* d, uint8_t* out, uint32_t bytes) {
  if (d->volume == 0xFFFFFFFFu) return;
  const uint32_t gain[2] = {d->volume & 0xFFFF, d->volume >> 16};
  const uint32_t channels = d->format.nChannels;
  if (d->format.wBitsPerSample == 8) {
    for (uint32_t i = 0; i < bytes; ++i) {
      const int32_t v = (int32_t(out[i]) - 128) * int32_t(gain[channels == 2 ? i & 1 : 0]) / 0xFFFF;
      out[i] = uint8_t(v + 128);
    }
  } else {
    for (uint32_t i = 0; i + 1 < bytes; i += 2) {
      const int16_t s = int16_t(uint16_t(out[i] | (out[i + 1] << 8)));
      const int32_t v = int32_t(s) * int32_t(gain[channels == 2 ? (i / 2) & 1 : 0]) / 0xFFFF;
      out[i] = uint8_t(v & 0xFF);
      out[i + 1] = uint8_t((v >> 8) & 0xFF);
    }
  }
}

void Callback(void* user, Uint8* stream, int length) {
  SdlCallbackTimer timer;
  auto* d = static_cast<WaveOutDevice*>(user);
  uint32_t at = 0;
  const uint32_t len = uint32_t(length);
  while (at < len && d->head) {
    WAVEHDR* h = d->head;
    const uint32_t left = h->dwBufferLength > h->reserved ? h->dwBufferLength - h->reserved : 0;
    const uint32_t n = left < len - at ? left : len - at;
    std::memcpy(stream + at, h->lpData + h->reserved, n);
    h->reserved += n;
    at += n;
    if (h->reserved >= h->dwBufferLength) {
      d->head = h->lpNext;
      if (!d->head) d->tail = nullptr;
      FinishHeader(h);
    }
  }
  ApplyVolume(d, stream, at);
  if (at < len) std::memset(stream + at, d->silence, len - at);
  timer.Done(len / (d->format.nBlockAlign ? d->format.nBlockAlign : 1));
}

MMRESULT Open(HWAVEOUT* device, uint32_t, const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag != WAVE_FORMAT_PCM || (f->nChannels != 1 && f->nChannels != 2) ||
      (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || !f->nSamplesPerSec)
    return MMSYSERR_ERROR;
  auto* d = new (std::nothrow) WaveOutDevice{};
  if (!d) return MMSYSERR_NOMEM;
  d->format = *f;
  d->format.nBlockAlign = uint16_t(f->wBitsPerSample / 8 * f->nChannels);
  d->silence = f->wBitsPerSample == 8 ? 0x80 : 0x00;
  d->volume = 0xFFFFFFFFu;
  SDL_AudioSpec want{};
  want.freq = int(f->nSamplesPerSec);
  want.format = f->wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  want.channels = uint8_t(f->nChannels);
  // About 20 ms a period.
  want.samples = f->nSamplesPerSec >= 32000 ? 1024 : 512;
  want.callback = Callback;
  want.userdata = d;
  SDL_AudioSpec have{};
  // Our format exactly; SDL converts to what the hardware takes.
  d->id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!d->id) {
    delete d;
    return MMSYSERR_NODRIVER;
  }
  SDL_PauseAudioDevice(d->id, 0);
  *device = d;
  return MMSYSERR_NOERROR;
}

MMRESULT Prepare(HWAVEOUT d, WAVEHDR* h, uint32_t) {
  if (!d || !h) return MMSYSERR_INVALHANDLE;
  WaveHeaderSetFlags(h, WaveHeaderFlags(h) | WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(HWAVEOUT d, WAVEHDR* h, uint32_t) {
  if (!d || !h) return MMSYSERR_INVALHANDLE;
  WaveHeaderSetFlags(h, WaveHeaderFlags(h) & ~WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

void ResetLocked(WaveOutDevice* d) {
  for (WAVEHDR* h = d->head; h;) {
    WAVEHDR* next = h->lpNext;
    FinishHeader(h);
    h = next;
  }
  d->head = d->tail = nullptr;
}

MMRESULT Write(HWAVEOUT d, WAVEHDR* h, uint32_t) {
  if (!d || !h) return MMSYSERR_INVALHANDLE;
  SDL_LockAudioDevice(d->id);
  h->reserved = 0;
  h->lpNext = nullptr;
  if (h->dwBufferLength == 0 || SDL_GetAudioDeviceStatus(d->id) == SDL_AUDIO_STOPPED) {
    // Nothing to play, or a device that went away: done at once, so that
    // the output never waits on it.
    ResetLocked(d);
    FinishHeader(h);
  } else {
    WaveHeaderSetFlags(h, (WaveHeaderFlags(h) & ~WHDR_DONE) | WHDR_INQUEUE);
    if (d->tail)
      d->tail->lpNext = h;
    else
      d->head = h;
    d->tail = h;
  }
  SDL_UnlockAudioDevice(d->id);
  return MMSYSERR_NOERROR;
}

MMRESULT Pause(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  SDL_PauseAudioDevice(d->id, 1);
  return MMSYSERR_NOERROR;
}

MMRESULT Restart(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  SDL_PauseAudioDevice(d->id, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT Reset(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  SDL_LockAudioDevice(d->id);
  ResetLocked(d);
  SDL_UnlockAudioDevice(d->id);
  SDL_PauseAudioDevice(d->id, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT SetVolume(HWAVEOUT d, uint32_t volume) {
  if (!d) return MMSYSERR_INVALHANDLE;
  SDL_LockAudioDevice(d->id);
  d->volume = volume;
  SDL_UnlockAudioDevice(d->id);
  return MMSYSERR_NOERROR;
}

MMRESULT Close(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  SDL_CloseAudioDevice(d->id);  // the callback has finished when this returns
  ResetLocked(d);
  delete d;
  return MMSYSERR_NOERROR;
}

}  // namespace

const WaveOutTable kSdlWaveOut = {Open, Prepare, Unprepare, Write, Pause, Restart, Reset, SetVolume, Close};
