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

struct PlatformMutex {
  std::recursive_mutex m;
};

struct PlatformEvent {
  std::mutex m;
  std::condition_variable cv;
  bool signalled = false;
};

struct PlatformThread {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  PlatformPriority priority = kPriorityNormal;
  std::mutex m;
  std::condition_variable cv;
  bool released = false;
  long tid = 0;
  std::thread thread;
};

PlatformMutex* PlatformMutexCreate() { return new (std::nothrow) PlatformMutex; }
void PlatformMutexDestroy(PlatformMutex* mutex) { delete mutex; }
void PlatformMutexLock(PlatformMutex* mutex) { mutex->m.lock(); }
bool PlatformMutexTryLock(PlatformMutex* mutex) { return mutex->m.try_lock(); }
void PlatformMutexUnlock(PlatformMutex* mutex) { mutex->m.unlock(); }

int PlatformMutexWaitAny(PlatformMutex* const* mutexes, int count, uint32_t timeout_ms) {
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
  {
    std::lock_guard<std::mutex> hold(event->m);
    event->signalled = true;
  }
  event->cv.notify_one();
}

bool PlatformEventWait(PlatformEvent* event, uint32_t timeout_ms) {
  std::unique_lock<std::mutex> hold(event->m);
  const bool got = event->cv.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                      [event] { return event->signalled; });
  if (got) event->signalled = false;
  return got;
}

namespace {

void ApplyPriority(long tid, PlatformPriority priority) {
  // Best effort: lowering always works, raising needs privileges.
  const int nice_value = priority == kPriorityBelowNormal ? 5 : priority == kPriorityTimeCritical ? -10 : 0;
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
  t->body(t->argument);
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
  if (thread->thread.joinable()) thread->thread.join();
  delete thread;
}

void PlatformSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
void PlatformTimerResolutionBegin() {}
void PlatformTimerResolutionEnd() {}
