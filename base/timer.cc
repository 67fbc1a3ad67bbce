#include "base/timer.h"

#include <mutex>

#include "base/clock.h"

namespace {

struct TimerState {
  bool started = false;
  bool has_counter = false;
  uint64_t first_counter = 0;
  uint64_t frequency = 1;
  uint32_t last_tick = 0;
  uint32_t last_result = 0;
  int64_t correction = 0;  // milliseconds added to the counter's time
};

TimerState g_timer;
std::mutex g_timer_lock;

}  // namespace

uint32_t MediaTimer() {
  std::lock_guard<std::mutex> hold(g_timer_lock);
  TimerState& t = g_timer;
  if (!t.started) {
    t.started = true;
    uint64_t counter = 0;
    t.has_counter = PlatformHighResCounter(&counter) && PlatformHighResFrequency() != 0;
    if (!t.has_counter) return PlatformSystemTime();
    t.first_counter = counter;
    t.frequency = PlatformHighResFrequency();
    t.last_tick = PlatformTickCount();
    t.last_result = 0;
    t.correction = 0;
    return 0;
  }
  if (!t.has_counter) return PlatformSystemTime();

  uint64_t counter = 0;
  PlatformHighResCounter(&counter);
  const uint32_t tick = PlatformTickCount();
  // 64-bit product: (counter delta) x 1000 / frequency. The delta is split so
  // that the multiplication cannot overflow for long runs.
  const uint64_t delta = counter - t.first_counter;
  const uint64_t whole = delta / t.frequency;
  const uint64_t part = delta % t.frequency;
  uint32_t ms = uint32_t(whole * 1000u + part * 1000u / t.frequency + uint64_t(t.correction));

  // The tick count wins against jumps of the counter: when the two disagree
  // about the time since the previous call by more than 200 ms, the
  // difference becomes part of the correction.
  const int64_t tick_elapsed = int64_t(uint32_t(tick - t.last_tick));
  const int64_t counter_elapsed = int64_t(int32_t(ms - t.last_result));
  const int64_t disagreement = tick_elapsed - counter_elapsed;
  if (disagreement > 200 || disagreement < -200) {
    t.correction += disagreement;
    ms += uint32_t(disagreement);
  }
  if (uint32_t(ms - t.last_result) > 0xC0000000u) return t.last_result;  // went backwards
  t.last_result = ms;
  t.last_tick = tick;
  return ms;
}

void MediaTimerReset() {
  std::lock_guard<std::mutex> hold(g_timer_lock);
  g_timer = TimerState{};
}
