// The headless queued-buffer device.
#include <new>

#include "platform/headless/headless_audio_internal.h"

namespace {

using Hold = std::lock_guard<std::mutex>;

MMRESULT Open(HWAVEOUT* device, uint32_t, const WAVEFORMATEX* f) {
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  if (h.faults.fail_open || !f || f->wFormatTag != WAVE_FORMAT_PCM || (f->nChannels != 1 && f->nChannels != 2) ||
      (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || !f->nSamplesPerSec)
    return MMSYSERR_ERROR;
  int slot = 0;
  while (slot < kHeadlessMaxWaves && h.waves[slot]) ++slot;
  if (slot == kHeadlessMaxWaves) return MMSYSERR_NOMEM;
  HeadlessAdvanceLocked(h);
  HeadlessDeviceOpening(h, f->nSamplesPerSec);
  auto* d = new (std::nothrow) WaveOutDevice{};
  if (!d) return MMSYSERR_NOMEM;
  d->format = *f;
  d->format.nBlockAlign = uint16_t(f->wBitsPerSample / 8 * f->nChannels);
  d->gain_left = d->gain_right = 1.0f;
  HeadlessSetResampler(&d->resampler, f->nSamplesPerSec, h.rate);
  h.waves[slot] = d;
  *device = d;
  return MMSYSERR_NOERROR;
}

MMRESULT Prepare(HWAVEOUT device, WAVEHDR* header, uint32_t) {
  if (!device || !header) return MMSYSERR_INVALHANDLE;
  WaveHeaderSetFlags(header, WaveHeaderFlags(header) | WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(HWAVEOUT device, WAVEHDR* header, uint32_t) {
  if (!device || !header) return MMSYSERR_INVALHANDLE;
  WaveHeaderSetFlags(header, WaveHeaderFlags(header) & ~WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT Write(HWAVEOUT d, WAVEHDR* header, uint32_t) {
  if (!d || !header) return MMSYSERR_INVALHANDLE;
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  header->reserved = 0;
  header->lpNext = nullptr;
  if (header->dwBufferLength < d->format.nBlockAlign) {
    // Nothing to play: done at once.
    WaveHeaderSetFlags(header, (WaveHeaderFlags(header) & ~WHDR_INQUEUE) | WHDR_DONE);
    return MMSYSERR_NOERROR;
  }
  WaveHeaderSetFlags(header, (WaveHeaderFlags(header) & ~WHDR_DONE) | WHDR_INQUEUE);
  if (d->tail)
    d->tail->lpNext = header;
  else
    d->head = header;
  d->tail = header;
  return MMSYSERR_NOERROR;
}

MMRESULT Pause(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  d->paused = true;
  return MMSYSERR_NOERROR;
}

MMRESULT Restart(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  d->paused = false;
  return MMSYSERR_NOERROR;
}

void ResetLocked(WaveOutDevice* d) {
  for (WAVEHDR* x = d->head; x;) {
    WAVEHDR* next = x->lpNext;
    x->lpNext = nullptr;
    WaveHeaderSetFlags(x, (WaveHeaderFlags(x) & ~WHDR_INQUEUE) | WHDR_DONE);
    x = next;
  }
  d->head = d->tail = nullptr;
}

MMRESULT Reset(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  ResetLocked(d);
  d->paused = false;
  return MMSYSERR_NOERROR;
}

MMRESULT SetVolume(HWAVEOUT d, uint32_t volume) {
  if (!d) return MMSYSERR_INVALHANDLE;
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  d->gain_left = float(volume & 0xFFFF) / 65535.0f;
  d->gain_right = float(volume >> 16) / 65535.0f;
  return MMSYSERR_NOERROR;
}

MMRESULT Close(HWAVEOUT d) {
  if (!d) return MMSYSERR_INVALHANDLE;
  HeadlessAudio& h = HeadlessAudioState();
  Hold hold(h.mutex);
  HeadlessAdvanceLocked(h);
  ResetLocked(d);
  for (WaveOutDevice*& slot : h.waves)
    if (slot == d) slot = nullptr;
  delete d;
  return MMSYSERR_NOERROR;
}

}  // namespace

const WaveOutTable kHeadlessWaveOut = {Open, Prepare, Unprepare, Write, Pause, Restart, Reset, SetVolume, Close};
