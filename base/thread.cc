#include "base/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "base/clock.h"
#include "base/thread_records.h"

PlatformMutex* PlatformMutexCreate() { return new (std::nothrow) PlatformMutex; }
void PlatformMutexDestroy(PlatformMutex* mutex) { delete mutex; }
void PlatformMutexLock(PlatformMutex* mutex) {
  if (PlatformVirtualClockOn()) return VirtualMutexLock(mutex);
  mutex->m.lock();
}
bool PlatformMutexTryLock(PlatformMutex* mutex) {
  if (PlatformVirtualClockOn()) return VirtualMutexTryLock(mutex);
  return mutex->m.try_lock();
}
void PlatformMutexUnlock(PlatformMutex* mutex) {
  if (PlatformVirtualClockOn()) return VirtualMutexUnlock(mutex);
  mutex->m.unlock();
}

int PlatformMutexWaitAny(PlatformMutex* const* mutexes, int count, uint32_t timeout_ms) {
  if (PlatformVirtualClockOn()) return VirtualMutexWaitAny(mutexes, count, timeout_ms);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    for (int i = 0; i < count; ++i)
      if (mutexes[i]->m.try_lock()) return i;
    if (std::chrono::steady_clock::now() >= until) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

PlatformEvent* PlatformEventCreate() { return new (std::nothrow) PlatformEvent; }
void PlatformEventDestroy(PlatformEvent* event) { delete event; }

void PlatformEventSignal(PlatformEvent* event) {
  if (PlatformVirtualClockOn()) return VirtualEventSignal(event);
  {
    std::lock_guard<std::mutex> hold(event->m);
    event->signalled = true;
  }
  event->cv.notify_one();
}

bool PlatformEventWait(PlatformEvent* event, uint32_t timeout_ms) {
  if (PlatformVirtualClockOn()) return VirtualEventWait(event, timeout_ms);
  std::unique_lock<std::mutex> hold(event->m);
  const bool got = event->cv.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                      [event] { return event->signalled; });
  if (got) event->signalled = false;
  return got;
}

namespace {

void ApplyPriority(long tid, PlatformPriority priority) {
  // Best effort: lowering always works, raising needs privileges.
  const int nice_value = priority == PRIORITY_BELOW_NORMAL ? 5 : priority == PRIORITY_TIME_CRITICAL ? -10 : 0;
  if (tid) setpriority(PRIO_PROCESS, id_t(tid), nice_value);
}

void ThreadMain(PlatformThread* t) {
  long tid;
  PlatformPriority priority;
  {
    std::unique_lock<std::mutex> hold(t->m);
    t->tid = tid = long(syscall(SYS_gettid));
    t->cv.wait(hold, [t] { return t->released; });
    priority = t->priority;
  }
  ApplyPriority(tid, priority);
  const bool virtual_clock = PlatformVirtualClockOn();
  if (virtual_clock) VirtualThreadBegins(t);
  t->body(t->argument);
  if (virtual_clock) VirtualThreadEnded(t);
}

}  // namespace

PlatformThread* PlatformThreadCreate(void (*body)(void*), void* argument, uint32_t stack_bytes,
                                     PlatformPriority priority) {
  auto* t = new (std::nothrow) PlatformThread;
  if (!t) return nullptr;
  t->body = body;
  t->argument = argument;
  t->priority = priority;
  try {
    t->thread = std::thread(ThreadMain, t);
  } catch (...) {
    delete t;
    return nullptr;
  }
  return t;
}

void PlatformThreadStart(PlatformThread* thread) {
  if (PlatformVirtualClockOn()) VirtualThreadStarted(thread);  // counted as running from here
  {
    std::lock_guard<std::mutex> hold(thread->m);
    thread->released = true;
  }
  thread->cv.notify_one();
}

void PlatformThreadSetPriority(PlatformThread* thread, PlatformPriority priority) {
  long tid;
  {
    std::lock_guard<std::mutex> hold(thread->m);
    thread->priority = priority;
    tid = thread->released ? thread->tid : 0;
  }
  ApplyPriority(tid, priority);
}

void PlatformThreadJoin(PlatformThread* thread) {
  if (!thread) return;
  PlatformThreadStart(thread);
  if (PlatformVirtualClockOn()) VirtualThreadJoin(thread);
  if (thread->thread.joinable()) thread->thread.join();
  delete thread;
}

uint32_t PlatformProcessorCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

void PlatformSleep(uint32_t ms) {
  if (!PlatformVirtualClockOn())
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  else if (ms == 0)
    PlatformYield();  // a sleep of nothing still lets time move
  else
    VirtualSleepMicros(uint64_t(ms) * 1000u);
}
void PlatformTimerResolutionBegin() {}
void PlatformTimerResolutionEnd() {}
