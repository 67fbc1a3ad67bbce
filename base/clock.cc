#include "base/clock.h"

#include <sched.h>
#include <time.h>

namespace {

uint64_t MonotonicNanos(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

uint32_t NativeTickCount(void*) {
#ifdef CLOCK_MONOTONIC_COARSE
  return uint32_t(MonotonicNanos(CLOCK_MONOTONIC_COARSE) / 1000000u);
#else
  return uint32_t(MonotonicNanos(CLOCK_MONOTONIC) / 1000000u);
#endif
}

bool NativeHighResCounter(void*, uint64_t* value) {
  *value = MonotonicNanos(CLOCK_MONOTONIC);
  return true;
}

uint64_t NativeHighResFrequency(void*) { return 1000000000u; }

uint32_t NativeSystemTime(void*) { return uint32_t(MonotonicNanos(CLOCK_MONOTONIC) / 1000000u); }

const PlatformClock kNativeClock = {NativeTickCount, NativeHighResCounter, NativeHighResFrequency,
                                    NativeSystemTime, nullptr, nullptr};
const PlatformClock* g_clock = &kNativeClock;

}  // namespace

const PlatformClock* PlatformGetClock() { return g_clock; }
void PlatformSetClock(const PlatformClock* clock) { g_clock = clock ? clock : &kNativeClock; }

uint32_t PlatformTickCount() { return g_clock->tick_count(g_clock->context); }
bool PlatformHighResCounter(uint64_t* value) { return g_clock->high_res_counter(g_clock->context, value); }
uint64_t PlatformHighResFrequency() { return g_clock->high_res_frequency(g_clock->context); }
uint32_t PlatformSystemTime() { return g_clock->system_time(g_clock->context); }

void PlatformYield() {
  if (g_clock->yield)
    g_clock->yield(g_clock->context);
  else
    sched_yield();
}
