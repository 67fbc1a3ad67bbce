// Shared parts of the SDL sound driver.
#pragma once
#include <SDL.h>

#include <atomic>
#include <cstdint>

#include "sound/dsound_device.h"
#include "sound/wave_device.h"

extern const WaveOutTable kSdlWaveOut;
extern const DirectSoundTable kSdlDirectSound;

extern std::atomic<uint64_t> g_sdl_callback_nanos;
extern std::atomic<uint64_t> g_sdl_callback_frames;

// Times one callback on its thread's processor clock.
struct SdlCallbackTimer {
  uint64_t start;
  explicit SdlCallbackTimer();
  void Done(uint32_t frames);
};
