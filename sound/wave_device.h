// The queued-buffer sound device: what the waveOut output asks of the
// platform. A backend fills the table; the device plays written headers in
// order and sets WHDR_DONE on each (from its own thread) as it finishes.
#pragma once
#include <cstdint>

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;
constexpr uint16_t WAVE_FORMAT_PCM = 1;

constexpr uint32_t WHDR_DONE = 1;      // played (or never written): the buffer is free
constexpr uint32_t WHDR_PREPARED = 2;
constexpr uint32_t WHDR_INQUEUE = 16;  // written and not yet played

struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};

// dwFlags is shared with the device's thread: both sides touch it through
// std::atomic_ref (the output reads WHDR_DONE with acquire ordering).
struct WAVEHDR {
  uint8_t* lpData;
  uint32_t dwBufferLength;
  uint32_t dwFlags;
  WAVEHDR* lpNext;    // the device's queue link
  uint32_t reserved;  // the device's read position in the buffer
};

struct WaveOutDevice;
using HWAVEOUT = WaveOutDevice*;

struct WaveOutTable {
  // device_id is WAVE_MAPPER (the default device); no callback.
  MMRESULT (*waveOutOpen)(HWAVEOUT* device, uint32_t device_id, const WAVEFORMATEX* format);
  MMRESULT (*waveOutPrepareHeader)(HWAVEOUT device, WAVEHDR* header, uint32_t header_size);
  MMRESULT (*waveOutUnprepareHeader)(HWAVEOUT device, WAVEHDR* header, uint32_t header_size);
  // Queues a prepared header; the caller has cleared WHDR_DONE.
  MMRESULT (*waveOutWrite)(HWAVEOUT device, WAVEHDR* header, uint32_t header_size);
  MMRESULT (*waveOutPause)(HWAVEOUT device);
  MMRESULT (*waveOutRestart)(HWAVEOUT device);
  // Stops and marks every queued header done.
  MMRESULT (*waveOutReset)(HWAVEOUT device);
  // Left gain in the low 16 bits, right in the high 16 bits (0xFFFF = full).
  MMRESULT (*waveOutSetVolume)(HWAVEOUT device, uint32_t volume);
  MMRESULT (*waveOutClose)(HWAVEOUT device);
};

// Header flag access shared by the outputs and the backends.
uint32_t WaveHeaderFlags(const WAVEHDR* header);
void WaveHeaderSetFlags(WAVEHDR* header, uint32_t flags);
