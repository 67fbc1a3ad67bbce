// Threads, recursive mutexes and auto-reset events for the background
// service threads.
//
// Priorities: "normal", "below normal" and "time critical" map to nice
// values on Linux where the process may set them (best effort: failures are
// ignored). The 1 ms timer resolution needs nothing on Linux, whose sleeps
// and waits are already that fine; the calls exist so the callers can say
// what they need.
#pragma once
#include <cstdint>

struct PlatformMutex;
struct PlatformEvent;
struct PlatformThread;

enum PlatformPriority { PRIORITY_BELOW_NORMAL = -1, PRIORITY_NORMAL = 0, PRIORITY_TIME_CRITICAL = 2 };

PlatformMutex* PlatformMutexCreate();  // recursive
void PlatformMutexDestroy(PlatformMutex* mutex);
void PlatformMutexLock(PlatformMutex* mutex);
bool PlatformMutexTryLock(PlatformMutex* mutex);
void PlatformMutexUnlock(PlatformMutex* mutex);

// Waits until one of the mutexes can be taken, preferring the earliest in
// the list when several are free, for at most timeout_ms. Returns its index,
// or -1 on time-out.
int PlatformMutexWaitAny(PlatformMutex* const* mutexes, int count, uint32_t timeout_ms);

PlatformEvent* PlatformEventCreate();  // auto-reset, initially clear
void PlatformEventDestroy(PlatformEvent* event);
void PlatformEventSignal(PlatformEvent* event);
// True when the event was signalled (and is now clear again), false on time-out.
bool PlatformEventWait(PlatformEvent* event, uint32_t timeout_ms);

// Creates a thread that runs body(argument) once PlatformThreadStart is called.
PlatformThread* PlatformThreadCreate(void (*body)(void*), void* argument, uint32_t stack_bytes,
                                     PlatformPriority priority);
void PlatformThreadStart(PlatformThread* thread);
void PlatformThreadSetPriority(PlatformThread* thread, PlatformPriority priority);
// Waits for the thread to end (starting it first if it never ran) and frees it.
void PlatformThreadJoin(PlatformThread* thread);

// Processors of the machine (at least 1).
uint32_t PlatformProcessorCount();

void PlatformSleep(uint32_t ms);
void PlatformTimerResolutionBegin();
void PlatformTimerResolutionEnd();
