// The looping-buffer device on SDL: one SDL device for the object, 16-bit
// stereo at the primary buffer's rate (or 44100); the callback mixes every
// playing buffer at its play cursor, each converted to the device's format
// and rate by an SDL audio stream, with its pan and volume.
#include <cmath>
#include <cstring>
#include <new>

#include "platform/sdl/sdl_audio_internal.h"

namespace {
constexpr int kMaxBuffers = 32;
constexpr uint32_t kPutFrames = 256;  // frames handed to a stream at a time
}  // namespace

struct DirectSoundBuffer {
  DirectSoundObject* owner;
  bool primary;
  WAVEFORMATEX format;
  uint8_t* data;
  uint32_t size;
  uint32_t play;  // bytes taken by the callback, modulo size
  uint32_t frequency;
  bool playing;
  int32_t volume, pan;
  float gain_left, gain_right;
  SDL_AudioStream* stream;
};

struct DirectSoundObject {
  SDL_AudioDeviceID id;
  SDL_AudioSpec spec;  // what the device took: 16-bit stereo
  DirectSoundBuffer* buffers[kMaxBuffers];
  int16_t* scratch;    // one period of converted sound
  int32_t* mix;        // one period of the sum
  uint32_t period_bytes;
};

namespace {

float DecibelGain(int32_t hundredths) { return hundredths >= 0 ? 1.0f : float(std::pow(10.0, hundredths / 2000.0)); }

void UpdateGains(DirectSoundBuffer* b) {
  const float g = DecibelGain(b->volume);
  b->gain_left = g * (b->pan > 0 ? DecibelGain(-b->pan) : 1.0f);
  b->gain_right = g * (b->pan < 0 ? DecibelGain(b->pan) : 1.0f);
}

void MixOne(DirectSoundObject* o, DirectSoundBuffer* b, uint32_t length) {
  const uint32_t chunk = kPutFrames * b->format.nBlockAlign;
  while (SDL_AudioStreamAvailable(b->stream) < int(length)) {
    uint32_t n = b->size - b->play < chunk ? b->size - b->play : chunk;
    if (SDL_AudioStreamPut(b->stream, b->data + b->play, int(n)) != 0) return;
    b->play = (b->play + n) % b->size;
  }
  const int got = SDL_AudioStreamGet(b->stream, o->scratch, int(length));
  if (got <= 0) return;
  const uint32_t samples = uint32_t(got) / 2;
  if (b->gain_left == 1.0f && b->gain_right == 1.0f) {
    for (uint32_t i = 0; i < samples; ++i) o->mix[i] += o->scratch[i];
  } else {
    for (uint32_t i = 0; i + 1 < samples; i += 2) {
      o->mix[i] += int32_t(std::lrintf(float(o->scratch[i]) * b->gain_left));
      o->mix[i + 1] += int32_t(std::lrintf(float(o->scratch[i + 1]) * b->gain_right));
    }
  }
}

void Callback(void* user, Uint8* stream, int length) {
  SdlCallbackTimer timer;
  auto* o = static_cast<DirectSoundObject*>(user);
  uint32_t len = uint32_t(length);
  if (len > o->period_bytes) len = o->period_bytes;
  const uint32_t samples = len / 2;
  std::memset(o->mix, 0, samples * sizeof(int32_t));
  for (DirectSoundBuffer* b : o->buffers)
    if (b && !b->primary && b->playing && b->stream) MixOne(o, b, len);
  auto* out = reinterpret_cast<int16_t*>(stream);
  for (uint32_t i = 0; i < samples; ++i) {
    const int32_t v = o->mix[i];
    out[i] = int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
  }
  if (len < uint32_t(length)) std::memset(stream + len, 0, uint32_t(length) - len);
  timer.Done(uint32_t(length) / 4);
}

bool OpenDevice(DirectSoundObject* o, int rate) {
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = rate >= 32000 ? 1024 : 512;
  want.callback = Callback;
  want.userdata = o;
  // The device may pick its own rate when it has none of ours; the buffers'
  // streams convert to it.
  o->id = SDL_OpenAudioDevice(nullptr, 0, &want, &o->spec, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (!o->id) return false;
  const uint32_t bytes = o->spec.size ? o->spec.size : uint32_t(o->spec.samples) * 4;
  if (bytes > o->period_bytes) {
    delete[] o->scratch;
    delete[] o->mix;
    o->scratch = new (std::nothrow) int16_t[bytes / 2];
    o->mix = new (std::nothrow) int32_t[bytes / 2];
    o->period_bytes = o->scratch && o->mix ? bytes : 0;
  }
  return true;
}

bool NewStream(DirectSoundObject* o, DirectSoundBuffer* b) {
  if (b->stream) SDL_FreeAudioStream(b->stream);
  b->stream = SDL_NewAudioStream(b->format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB,
                                 uint8_t(b->format.nChannels), int(b->frequency), AUDIO_S16SYS, 2, o->spec.freq);
  return b->stream != nullptr;
}

// A device that went away (unplugged, the sound server restarted) stops.
bool Lost(DirectSoundBuffer* b) { return SDL_GetAudioDeviceStatus(b->owner->id) == SDL_AUDIO_STOPPED; }

HRESULT Create(LPDIRECTSOUND* object) {
  auto* o = new (std::nothrow) DirectSoundObject{};
  if (!o) return DSERR_OUTOFMEMORY;
  if (!OpenDevice(o, 44100) || !o->period_bytes) {
    if (o->id) SDL_CloseAudioDevice(o->id);
    delete[] o->scratch;
    delete[] o->mix;
    delete o;
    return DSERR_NODRIVER;
  }
  SDL_PauseAudioDevice(o->id, 0);
  *object = o;
  return DS_OK;
}

void Release(LPDIRECTSOUND o) {
  SDL_CloseAudioDevice(o->id);
  delete[] o->scratch;
  delete[] o->mix;
  delete o;
}

HRESULT SetCooperativeLevel(LPDIRECTSOUND o, void*, uint32_t) { return o ? DS_OK : DSERR_INVALIDPARAM; }

HRESULT CreateBuffer(LPDIRECTSOUND o, const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* out) {
  if (!o || !desc || !out) return DSERR_INVALIDPARAM;
  const bool primary = desc->dwFlags & DSBCAPS_PRIMARYBUFFER;
  const WAVEFORMATEX* f = desc->lpwfxFormat;
  if (!primary && (!f || f->wFormatTag != WAVE_FORMAT_PCM || (f->nChannels != 1 && f->nChannels != 2) ||
                   (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || !f->nSamplesPerSec ||
                   !desc->dwBufferBytes))
    return DSERR_INVALIDPARAM;
  int slot = 0;
  while (slot < kMaxBuffers && o->buffers[slot]) ++slot;
  if (slot == kMaxBuffers) return DSERR_OUTOFMEMORY;
  auto* b = new (std::nothrow) DirectSoundBuffer{};
  if (!b) return DSERR_OUTOFMEMORY;
  b->owner = o;
  b->primary = primary;
  if (!primary) {
    b->format = *f;
    b->format.nBlockAlign = uint16_t(f->wBitsPerSample / 8 * f->nChannels);
    b->size = desc->dwBufferBytes - desc->dwBufferBytes % b->format.nBlockAlign;
    b->frequency = f->nSamplesPerSec;
    b->data = new (std::nothrow) uint8_t[desc->dwBufferBytes];
    if (!b->data || !NewStream(o, b)) {
      delete[] b->data;
      delete b;
      return DSERR_OUTOFMEMORY;
    }
    std::memset(b->data, f->wBitsPerSample == 8 ? 0x80 : 0, desc->dwBufferBytes);
  }
  UpdateGains(b);
  SDL_LockAudioDevice(o->id);
  o->buffers[slot] = b;
  SDL_UnlockAudioDevice(o->id);
  *out = b;
  return DS_OK;
}

void BufferRelease(LPDIRECTSOUNDBUFFER b) {
  DirectSoundObject* o = b->owner;
  SDL_LockAudioDevice(o->id);
  for (DirectSoundBuffer*& slot : o->buffers)
    if (slot == b) slot = nullptr;
  SDL_UnlockAudioDevice(o->id);
  if (b->stream) SDL_FreeAudioStream(b->stream);
  delete[] b->data;
  delete b;
}

HRESULT SetFormat(LPDIRECTSOUNDBUFFER b, const WAVEFORMATEX* f) {
  if (!b->primary || !f || !f->nSamplesPerSec) return DSERR_INVALIDPARAM;
  DirectSoundObject* o = b->owner;
  for (DirectSoundBuffer* x : o->buffers)
    if (x && !x->primary) return DS_OK;  // the device keeps its rate while buffers play on it
  if (o->spec.freq == int(f->nSamplesPerSec)) return DS_OK;
  SDL_CloseAudioDevice(o->id);
  if (!OpenDevice(o, int(f->nSamplesPerSec)) && !OpenDevice(o, 44100)) return DSERR_GENERIC;
  SDL_PauseAudioDevice(o->id, 0);
  return DS_OK;
}

HRESULT Lock(LPDIRECTSOUNDBUFFER b, uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2,
             uint32_t) {
  if (b->primary || offset >= b->size || !bytes || bytes > b->size) return DSERR_INVALIDPARAM;
  if (Lost(b)) return DSERR_BUFFERLOST;
  const uint32_t first = bytes < b->size - offset ? bytes : b->size - offset;
  *p1 = b->data + offset;
  *n1 = first;
  *p2 = first < bytes ? b->data : nullptr;
  *n2 = bytes - first;
  return DS_OK;
}

HRESULT Unlock(LPDIRECTSOUNDBUFFER b, void*, uint32_t, void*, uint32_t) {
  // Orders the writes before the callback's next read.
  SDL_LockAudioDevice(b->owner->id);
  SDL_UnlockAudioDevice(b->owner->id);
  return DS_OK;
}

HRESULT Play(LPDIRECTSOUNDBUFFER b, uint32_t, uint32_t, uint32_t) {
  if (!b->primary && Lost(b)) return DSERR_BUFFERLOST;
  SDL_LockAudioDevice(b->owner->id);
  b->playing = true;
  SDL_UnlockAudioDevice(b->owner->id);
  return DS_OK;
}

HRESULT Stop(LPDIRECTSOUNDBUFFER b) {
  SDL_LockAudioDevice(b->owner->id);
  b->playing = false;
  SDL_UnlockAudioDevice(b->owner->id);
  return DS_OK;
}

HRESULT GetCurrentPosition(LPDIRECTSOUNDBUFFER b, uint32_t* play, uint32_t* write) {
  if (b->primary || !b->size) return DSERR_INVALIDPARAM;
  DirectSoundObject* o = b->owner;
  SDL_LockAudioDevice(o->id);
  const uint32_t p = b->play;
  const bool playing = b->playing;
  SDL_UnlockAudioDevice(o->id);
  // The device takes a period at a time: the write cursor leads by one.
  const uint64_t period = uint64_t(o->spec.samples) * b->frequency / uint32_t(o->spec.freq);
  const uint32_t lead = uint32_t(period) * b->format.nBlockAlign;
  *play = p;
  *write = playing ? uint32_t((uint64_t(p) + lead) % b->size) : p;
  return DS_OK;
}

HRESULT GetStatus(LPDIRECTSOUNDBUFFER b, uint32_t* status) {
  SDL_LockAudioDevice(b->owner->id);
  *status = b->playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
  SDL_UnlockAudioDevice(b->owner->id);
  if (!b->primary && Lost(b)) *status |= DSBSTATUS_BUFFERLOST;
  return DS_OK;
}

HRESULT SetCurrentPosition(LPDIRECTSOUNDBUFFER b, uint32_t position) {
  if (b->primary || !b->size) return DSERR_INVALIDPARAM;
  SDL_LockAudioDevice(b->owner->id);
  b->play = (position % b->size) / b->format.nBlockAlign * b->format.nBlockAlign;
  if (b->stream) SDL_AudioStreamClear(b->stream);
  SDL_UnlockAudioDevice(b->owner->id);
  return DS_OK;
}

HRESULT SetFrequency(LPDIRECTSOUNDBUFFER b, uint32_t frequency) {
  if (b->primary || frequency < 100 || frequency > 200000) return DSERR_INVALIDPARAM;
  if (frequency == b->frequency) return DS_OK;
  SDL_LockAudioDevice(b->owner->id);
  b->frequency = frequency;
  const bool ok = NewStream(b->owner, b);
  SDL_UnlockAudioDevice(b->owner->id);
  return ok ? DS_OK : DSERR_OUTOFMEMORY;
}

HRESULT SetPan(LPDIRECTSOUNDBUFFER b, int32_t pan) {
  if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  SDL_LockAudioDevice(b->owner->id);
  b->pan = pan;
  UpdateGains(b);
  SDL_UnlockAudioDevice(b->owner->id);
  return DS_OK;
}

HRESULT SetVolume(LPDIRECTSOUNDBUFFER b, int32_t volume) {
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  SDL_LockAudioDevice(b->owner->id);
  b->volume = volume;
  UpdateGains(b);
  SDL_UnlockAudioDevice(b->owner->id);
  return DS_OK;
}

// Reopens the default device when ours went away; the buffers keep their
// contents and cursors.
HRESULT Restore(LPDIRECTSOUNDBUFFER b) {
  if (!Lost(b)) return DS_OK;
  DirectSoundObject* o = b->owner;
  const int rate = o->spec.freq;
  SDL_CloseAudioDevice(o->id);
  o->id = 0;
  if (!OpenDevice(o, rate)) return DSERR_BUFFERLOST;
  for (DirectSoundBuffer* x : o->buffers)
    if (x && !x->primary) NewStream(o, x);
  SDL_PauseAudioDevice(o->id, 0);
  return DS_OK;
}

}  // namespace

const DirectSoundTable kSdlDirectSound = {
    Create, Release,   SetCooperativeLevel, CreateBuffer,       BufferRelease, SetFormat,          Lock,
    Unlock, Play,      Stop,                GetCurrentPosition, GetStatus,     SetCurrentPosition, SetFrequency,
    SetPan, SetVolume, Restore};
