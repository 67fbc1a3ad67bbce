#include "sound_test_helpers.h"

#include "base/timer.h"
#include "sound/sound_drivers.h"

std::atomic<uint32_t> g_sound_test_ms{0};

namespace {

PlatformClock MakeClock() {
  PlatformClock c{};
  c.tick_count = [](void*) { return g_sound_test_ms.load(); };
  c.high_res_counter = [](void*, uint64_t* v) {
    *v = uint64_t(g_sound_test_ms.load()) * 1000;
    return true;
  };
  c.high_res_frequency = [](void*) -> uint64_t { return 1000000; };
  c.system_time = [](void*) { return g_sound_test_ms.load(); };
  c.yield = [](void*) { g_sound_test_ms += 1; };
  return c;
}
const PlatformClock kClock = MakeClock();

}  // namespace

void SoundTestStart() {
  g_sound_test_ms = 50000;
  PlatformSetClock(&kClock);
  MediaTimerReset();
  MediaTimer();
  HeadlessAudioSetFaults(nullptr);
  HeadlessAudioSetRate(0);
  HeadlessAudioSetTicker(false);
  SoundRegisterDriver(&kHeadlessSoundDriver);
  SoundSelectDriver("headless");
}

void SoundTestStop() {
  HeadlessAudioCaptureMemory(nullptr, 0);
  HeadlessAudioSetFaults(nullptr);
  SoundDriverQuit();
  PlatformSetClock(nullptr);
  MediaTimerReset();
}
