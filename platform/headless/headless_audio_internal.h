// Shared state of the headless sound driver's devices and mixer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "platform/headless/headless_audio.h"
#include "sound/dsound_device.h"
#include "sound/wave_device.h"

constexpr int kHeadlessMaxWaves = 16;
constexpr int kHeadlessMaxBuffers = 32;

// Reading position of a source in mixer frames: 32.32 fixed point steps.
struct HeadlessResampler {
  uint64_t step;   // source frames per mixer frame, << 32
  uint64_t phase;  // fraction of the current source frame, << 32
};

struct WaveOutDevice {
  WAVEFORMATEX format;
  WAVEHDR* head;  // playing queue
  WAVEHDR* tail;
  bool paused;
  float gain_left, gain_right;
  HeadlessResampler resampler;
};

struct DirectSoundBuffer {
  bool primary;
  WAVEFORMATEX format;
  uint8_t* data;
  uint32_t size;
  uint32_t play;  // byte offset, frame-aligned
  uint32_t frequency;
  bool playing;
  int32_t volume, pan;
  float gain_left, gain_right;
  HeadlessResampler resampler;
};

struct DirectSoundObject {
  int unused;
};

struct HeadlessAudio {
  std::mutex mutex;
  bool started = false;
  uint32_t fixed_rate = 0;  // set by the caller, 0: from the first format
  uint32_t rate = 44100;
  uint32_t last_ms = 0;
  uint64_t elapsed_ms = 0;
  uint64_t frames_done = 0;
  uint64_t frames_total = 0;
  HeadlessAudioFaults faults = {};
  uint32_t reads = 0;
  uint32_t random = 12345;
  uint32_t stalled_play = 0, stalled_write = 0;
  bool stall_taken = false;
  uint32_t restores = 0;
  int16_t* capture = nullptr;
  uint32_t capture_capacity = 0;
  uint32_t capture_frames = 0;
  FILE* wav = nullptr;
  uint64_t wav_frames = 0;
  WaveOutDevice* waves[kHeadlessMaxWaves] = {};
  DirectSoundBuffer* buffers[kHeadlessMaxBuffers] = {};
  DirectSoundObject object = {};
  int objects = 0;
};

HeadlessAudio& HeadlessAudioState();
// Brings the mix up to the clock; the caller holds the mutex.
void HeadlessAdvanceLocked(HeadlessAudio& h);
// A first device sets the mix's rate (unless fixed) and starts its clock.
void HeadlessDeviceOpening(HeadlessAudio& h, uint32_t rate);
void HeadlessSetResampler(HeadlessResampler* r, uint32_t source_rate, uint32_t device_rate);

extern const WaveOutTable kHeadlessWaveOut;
extern const DirectSoundTable kHeadlessDirectSound;
