// The virtual clock: a small discrete-event scheduler over the real threads.
//
// Time moves only when every thread taking part waits. Each timed wait
// records its deadline; the thread whose wait makes all of them wait moves
// time to the earliest deadline (earliest begun first among equals) and
// wakes that one thread. A signal or a mutex release wakes its waiter at the
// current time. Blocking mutex locks and joins are waits without a deadline,
// so a thread stuck behind a sleeping holder never counts as running.
//
// One lock guards all of it, mutex ownership included, which keeps the
// bookkeeping trivially consistent at the price of speed nobody needs here.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "base/clock.h"
#include "base/thread_records.h"
#include "base/timer.h"

namespace {

constexpr uint64_t kNoDeadline = ~uint64_t(0);
// A yield costs this much virtual time, so loops that wait for time to pass
// by yielding move forward.
constexpr uint64_t kYieldMicros = 100;

enum VirtualWake { WAKE_NONE = 0, WAKE_BY_TIME, WAKE_BY_SIGNAL, WAKE_BY_RELEASE, WAKE_BY_END };

std::mutex g_lock;
std::atomic<uint64_t> g_now{0};  // microseconds
std::atomic<bool> g_on{false};
VirtualWaiter* g_threads = nullptr;  // registered threads
int g_registered = 0;
int g_waiting = 0;
uint64_t g_order = 0;
VirtualWaiter g_first_thread;  // the thread that switched the clock on
thread_local VirtualWaiter* t_self = nullptr;
thread_local char t_identity;  // the address names the thread as a mutex owner

void Link(VirtualWaiter* w) {
  w->next = g_threads;
  g_threads = w;
  w->registered = true;
  ++g_registered;
}

void Unlink(VirtualWaiter* w) {
  for (VirtualWaiter** link = &g_threads; *link; link = &(*link)->next)
    if (*link == w) {
      *link = w->next;
      break;
    }
  w->registered = false;
  --g_registered;
}

void Wake(VirtualWaiter* w, int why) {
  w->waiting = false;
  w->woken_by = why;
  w->event = nullptr;
  w->mutexes = nullptr;
  w->mutex_count = 0;
  --g_waiting;
  w->cv.notify_one();
}

// When no thread is running: moves time to the earliest deadline and wakes
// its owner. Every thread waiting without a deadline is a deadlock of the
// program itself; it is reported rather than left hanging.
void Settle() {
  if (g_registered == 0 || g_waiting < g_registered) return;
  VirtualWaiter* first = nullptr;
  for (VirtualWaiter* w = g_threads; w; w = w->next)
    if (w->waiting && w->deadline != kNoDeadline &&
        (!first || w->deadline < first->deadline ||
         (w->deadline == first->deadline && w->order < first->order)))
      first = w;
  if (!first) {
    std::fprintf(stderr, "virtual clock: every thread waits and none has a deadline\n");
    std::abort();
  }
  if (first->deadline > g_now.load()) g_now.store(first->deadline);
  Wake(first, WAKE_BY_TIME);
}

// Waits (under g_lock) until woken; returns why. A thread that never
// registered takes part only for the length of the wait.
int Block(std::unique_lock<std::mutex>& hold, VirtualWaiter* w, uint64_t deadline) {
  const bool visiting = !w->registered;
  if (visiting) Link(w);
  w->deadline = deadline;
  w->order = ++g_order;
  w->waiting = true;
  w->woken_by = WAKE_NONE;
  ++g_waiting;
  Settle();
  w->cv.wait(hold, [w] { return w->woken_by != WAKE_NONE; });
  if (visiting) {
    Unlink(w);
    Settle();
  }
  return w->woken_by;
}

uint64_t DeadlineAfter(uint64_t micros) {
  const uint64_t now = g_now.load();
  return micros >= kNoDeadline - now ? kNoDeadline - 1 : now + micros;
}

bool Take(PlatformMutex* m) {
  if (m->owner && m->owner != &t_identity) return false;
  m->owner = &t_identity;
  ++m->depth;
  return true;
}

uint32_t TickCount(void*) { return uint32_t(g_now.load() / 1000u); }
bool HighResCounter(void*, uint64_t* value) {
  *value = g_now.load();
  return true;
}
uint64_t HighResFrequency(void*) { return 1000000u; }
void Yield(void*) { VirtualSleepMicros(kYieldMicros); }

const PlatformClock kVirtualClock = {TickCount, HighResCounter, HighResFrequency, TickCount, Yield, nullptr};

}  // namespace

// The waits below use the calling thread's record, or one on the stack for
// a thread the scheduler does not know.
#define VIRTUAL_SELF(name) \
  VirtualWaiter visitor_;   \
  VirtualWaiter* name = t_self ? t_self : &visitor_

void PlatformUseVirtualClock(uint32_t start_ms) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_on.load()) return;
  g_now.store(uint64_t(start_ms) * 1000u);
  Link(&g_first_thread);
  t_self = &g_first_thread;
  PlatformSetClock(&kVirtualClock);
  MediaTimerReset();  // it may have started on the platform's clock
  g_on.store(true);
}

bool PlatformVirtualClockOn() { return g_on.load(std::memory_order_relaxed); }

void VirtualMutexLock(PlatformMutex* mutex) {
  VIRTUAL_SELF(w);
  std::unique_lock<std::mutex> hold(g_lock);
  while (!Take(mutex)) {
    w->mutexes = &mutex;
    w->mutex_count = 1;
    Block(hold, w, kNoDeadline);
  }
}

bool VirtualMutexTryLock(PlatformMutex* mutex) {
  std::lock_guard<std::mutex> hold(g_lock);
  return Take(mutex);
}

void VirtualMutexUnlock(PlatformMutex* mutex) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (mutex->owner != &t_identity || mutex->depth == 0) return;
  if (--mutex->depth) return;
  mutex->owner = nullptr;
  for (VirtualWaiter* w = g_threads; w; w = w->next)
    for (int i = 0; w->waiting && i < w->mutex_count; ++i)
      if (w->mutexes[i] == mutex) Wake(w, WAKE_BY_RELEASE);
}

int VirtualMutexWaitAny(PlatformMutex* const* mutexes, int count, uint32_t timeout_ms) {
  VIRTUAL_SELF(w);
  std::unique_lock<std::mutex> hold(g_lock);
  const uint64_t deadline = DeadlineAfter(uint64_t(timeout_ms) * 1000u);
  for (;;) {
    for (int i = 0; i < count; ++i)
      if (Take(mutexes[i])) return i;
    if (g_now.load() >= deadline) return -1;
    w->mutexes = mutexes;
    w->mutex_count = count;
    Block(hold, w, deadline);
  }
}

void VirtualEventSignal(PlatformEvent* event) {
  std::lock_guard<std::mutex> hold(g_lock);
  VirtualWaiter* first = nullptr;
  for (VirtualWaiter* w = g_threads; w; w = w->next)
    if (w->waiting && w->event == event && (!first || w->order < first->order)) first = w;
  if (first)
    Wake(first, WAKE_BY_SIGNAL);
  else
    event->signalled = true;
}

bool VirtualEventWait(PlatformEvent* event, uint32_t timeout_ms) {
  VIRTUAL_SELF(w);
  std::unique_lock<std::mutex> hold(g_lock);
  if (event->signalled) {
    event->signalled = false;
    return true;
  }
  if (timeout_ms == 0) return false;
  w->event = event;
  return Block(hold, w, DeadlineAfter(uint64_t(timeout_ms) * 1000u)) == WAKE_BY_SIGNAL;
}

void VirtualSleepMicros(uint64_t micros) {
  VIRTUAL_SELF(w);
  std::unique_lock<std::mutex> hold(g_lock);
  Block(hold, w, DeadlineAfter(micros));
}

void VirtualThreadStarted(PlatformThread* thread) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (thread->counted) return;
  thread->counted = true;
  Link(&thread->waiter);
}

void VirtualThreadBegins(PlatformThread* thread) { t_self = &thread->waiter; }

void VirtualThreadEnded(PlatformThread* thread) {
  std::lock_guard<std::mutex> hold(g_lock);
  Unlink(&thread->waiter);
  thread->ended = true;
  if (thread->joiner && thread->joiner->waiting) Wake(thread->joiner, WAKE_BY_END);
  Settle();
}

void VirtualThreadJoin(PlatformThread* thread) {
  VIRTUAL_SELF(w);
  std::unique_lock<std::mutex> hold(g_lock);
  if (thread->ended) return;
  thread->joiner = w;
  Block(hold, w, kNoDeadline);
}
