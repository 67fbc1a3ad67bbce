// The records behind base/thread.h's handles, shared by the thread services
// and the virtual clock's scheduler (base/virtual_clock.cc). Not for use
// outside base/.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/thread.h"

struct PlatformMutex;
struct PlatformEvent;
struct PlatformThread;

// A thread taking part in the virtual clock's scheduling: its state while
// it waits and what may wake it.
struct VirtualWaiter {
  std::condition_variable cv;
  VirtualWaiter* next = nullptr;  // in the list of registered threads
  bool registered = false;
  bool waiting = false;
  int woken_by = 0;               // VirtualWake, set by whoever wakes it
  uint64_t deadline = 0;          // microseconds of virtual time; kNoDeadline for none
  uint64_t order = 0;             // when it began waiting: earlier first among equal deadlines
  PlatformEvent* event = nullptr;             // waited on
  PlatformMutex* const* mutexes = nullptr;    // waited on (any of them)
  int mutex_count = 0;
};

struct PlatformMutex {
  std::recursive_mutex m;  // on the platform's clock
  const void* owner = nullptr;  // on the virtual clock: the holding thread, and its depth
  uint32_t depth = 0;
};

struct PlatformEvent {
  std::mutex m;
  std::condition_variable cv;
  bool signalled = false;
};

struct PlatformThread {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  PlatformPriority priority = PRIORITY_NORMAL;
  std::mutex m;
  std::condition_variable cv;
  bool released = false;
  long tid = 0;
  std::thread thread;
  // On the virtual clock: the thread's scheduling record, whether it has
  // been counted in, whether its body has ended, and who waits to join it.
  VirtualWaiter waiter;
  bool counted = false;
  bool ended = false;
  VirtualWaiter* joiner = nullptr;
};

// The scheduler's side of each service, used by base/thread.cc when the
// virtual clock is on (PlatformVirtualClockOn).
void VirtualMutexLock(PlatformMutex* mutex);
bool VirtualMutexTryLock(PlatformMutex* mutex);
void VirtualMutexUnlock(PlatformMutex* mutex);
int VirtualMutexWaitAny(PlatformMutex* const* mutexes, int count, uint32_t timeout_ms);
void VirtualEventSignal(PlatformEvent* event);
bool VirtualEventWait(PlatformEvent* event, uint32_t timeout_ms);
void VirtualSleepMicros(uint64_t micros);
// Counts a started thread in (before it runs) and out (when its body ends).
void VirtualThreadStarted(PlatformThread* thread);
void VirtualThreadBegins(PlatformThread* thread);  // on the thread itself
void VirtualThreadEnded(PlatformThread* thread);
void VirtualThreadJoin(PlatformThread* thread);  // waits for the body to end
