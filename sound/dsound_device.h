// The looping-buffer sound device: what the DirectSound output asks of the
// platform. One process-wide object owns the device; secondary buffers are
// read in a loop at their play cursor and mixed, each at its own format,
// frequency, pan and volume. A backend fills the table.
#pragma once
#include <cstdint>

#include "sound/wave_device.h"

using HRESULT = int32_t;
constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_GENERIC = HRESULT(0x80004005u);
constexpr HRESULT DSERR_INVALIDPARAM = HRESULT(0x80070057u);
constexpr HRESULT DSERR_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT DSERR_NODRIVER = HRESULT(0x88780078u);
constexpr HRESULT DSERR_BUFFERLOST = HRESULT(0x88780096u);

constexpr uint32_t DSSCL_PRIORITY = 2;

constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

constexpr uint32_t DSBPLAY_LOOPING = 0x1;
constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_BUFFERLOST = 0x2;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;

constexpr int32_t DSBVOLUME_MIN = -10000;  // hundredths of a decibel
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_RIGHT = 10000;

struct DSBUFFERDESC {
  uint32_t dwSize;
  uint32_t dwFlags;
  uint32_t dwBufferBytes;  // 0 for the primary buffer
  uint32_t dwReserved;
  const WAVEFORMATEX* lpwfxFormat;  // null for the primary buffer
};

struct DirectSoundObject;
struct DirectSoundBuffer;
using LPDIRECTSOUND = DirectSoundObject*;
using LPDIRECTSOUNDBUFFER = DirectSoundBuffer*;

struct DirectSoundTable {
  // Creates the object on the default device.
  HRESULT (*DirectSoundCreate)(LPDIRECTSOUND* object);
  void (*Release)(LPDIRECTSOUND object);
  HRESULT (*SetCooperativeLevel)(LPDIRECTSOUND object, void* window, uint32_t level);
  HRESULT (*CreateSoundBuffer)(LPDIRECTSOUND object, const DSBUFFERDESC* desc, LPDIRECTSOUNDBUFFER* buffer);

  void (*BufferRelease)(LPDIRECTSOUNDBUFFER buffer);
  // Primary buffer only: the device format, where the backend allows it.
  HRESULT (*SetFormat)(LPDIRECTSOUNDBUFFER buffer, const WAVEFORMATEX* format);
  // Two parts: up to the end of the buffer, then wrapped from its start.
  HRESULT (*Lock)(LPDIRECTSOUNDBUFFER buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                  void** part2, uint32_t* bytes2, uint32_t flags);
  HRESULT (*Unlock)(LPDIRECTSOUNDBUFFER buffer, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
  HRESULT (*Play)(LPDIRECTSOUNDBUFFER buffer, uint32_t reserved1, uint32_t priority, uint32_t flags);
  HRESULT (*Stop)(LPDIRECTSOUNDBUFFER buffer);
  HRESULT (*GetCurrentPosition)(LPDIRECTSOUNDBUFFER buffer, uint32_t* play, uint32_t* write);
  HRESULT (*GetStatus)(LPDIRECTSOUNDBUFFER buffer, uint32_t* status);
  HRESULT (*SetCurrentPosition)(LPDIRECTSOUNDBUFFER buffer, uint32_t position);
  HRESULT (*SetFrequency)(LPDIRECTSOUNDBUFFER buffer, uint32_t frequency);
  HRESULT (*SetPan)(LPDIRECTSOUNDBUFFER buffer, int32_t pan);        // -10000 … 10000
  HRESULT (*SetVolume)(LPDIRECTSOUNDBUFFER buffer, int32_t volume);  // -10000 … 0
  HRESULT (*Restore)(LPDIRECTSOUNDBUFFER buffer);
};
