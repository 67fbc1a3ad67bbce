// The headless sound driver on an injected clock, for the output tests.
#pragma once
#include <cstdint>

#include "base/clock.h"
#include "platform/headless/headless_audio.h"

// Milliseconds of the injected clock; tests move it.
#include <atomic>
extern std::atomic<uint32_t> g_sound_test_ms;

// Injects the clock (starting the core's timer at 0), chooses the headless
// driver with no faults; Stop puts the platform's clock back.
void SoundTestStart();
void SoundTestStop();
inline void SoundTestAdvance(uint32_t ms) {
  g_sound_test_ms += ms;
  HeadlessAudioAdvance();
}
