#include "platform/sdl/sdl_audio.h"

#include <time.h>

#include "platform/headless/headless_audio.h"
#include "platform/sdl/sdl_audio_internal.h"

std::atomic<uint64_t> g_sdl_callback_nanos{0};
std::atomic<uint64_t> g_sdl_callback_frames{0};

namespace {

uint64_t ThreadNanos() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

bool SdlInit(SoundDevices* devices) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  devices->wave_out = &kSdlWaveOut;
  devices->direct_sound = &kSdlDirectSound;
  return true;
}

void SdlQuit() { SDL_QuitSubSystem(SDL_INIT_AUDIO); }

}  // namespace

SdlCallbackTimer::SdlCallbackTimer() : start(ThreadNanos()) {}
void SdlCallbackTimer::Done(uint32_t frames) {
  g_sdl_callback_nanos.fetch_add(ThreadNanos() - start, std::memory_order_relaxed);
  g_sdl_callback_frames.fetch_add(frames, std::memory_order_relaxed);
}

const SoundBootstrap kSdlSoundDriver = {"sdl", "SDL2 audio devices", false, SdlInit, SdlQuit};

void PlatformRegisterSoundDrivers() {
  SoundRegisterDriver(&kSdlSoundDriver);
  SoundRegisterDriver(&kHeadlessSoundDriver);
}

uint64_t SdlAudioCallbackNanos() { return g_sdl_callback_nanos.load(); }
uint64_t SdlAudioCallbackFrames() { return g_sdl_callback_frames.load(); }
