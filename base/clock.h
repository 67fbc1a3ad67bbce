// Monotonic clocks of the platform, as the core's timer expects them:
// a coarse millisecond tick count and a fine high-resolution counter with
// its frequency. Tests replace both with an injected clock.
#pragma once
#include <cstdint>

struct PlatformClock {
  // Milliseconds since an arbitrary start; wraps at 2^32.
  uint32_t (*tick_count)(void* context);
  // Returns false when the fine counter is not available.
  bool (*high_res_counter)(void* context, uint64_t* value);
  // Counts per second of the fine counter.
  uint64_t (*high_res_frequency)(void* context);
  // Milliseconds of the multimedia system time (used when there is no fine counter).
  uint32_t (*system_time)(void* context);
  // Gives up the processor once. May be null (the platform's own yield); an
  // injected clock uses it to let time pass in loops that wait by yielding.
  void (*yield)(void* context);
  void* context;
};

// The clock in force: the platform's own unless one was injected.
const PlatformClock* PlatformGetClock();
// Injects a clock (null restores the platform's own). Not thread-safe: set it
// before anything reads the time.
void PlatformSetClock(const PlatformClock* clock);

uint32_t PlatformTickCount();
bool PlatformHighResCounter(uint64_t* value);
uint64_t PlatformHighResFrequency();
uint32_t PlatformSystemTime();
// Gives up the processor once (through the injected clock's yield when it has one).
void PlatformYield();

// Switches the whole process onto a virtual clock that starts at start_ms
// and moves only when every thread taking part waits (base/virtual_clock.cc
// says how). Call it once, from the thread that will take part as the first
// one, before any other thread starts and while no PlatformMutex is held;
// later calls do nothing. From then on the tick count, the fine counter
// (microseconds) and the system time read virtual time (MediaTimer starts
// again at 0), and every sleep, yield and timed wait of base/thread.h goes
// through the scheduler. Threads made by PlatformThreadCreate take part from
// PlatformThreadStart on.
void PlatformUseVirtualClock(uint32_t start_ms);
bool PlatformVirtualClockOn();
