// The virtual clock's scheduler: time moves only when every thread waits,
// to the earliest deadline, and signals and releases wake at the current
// time. The switch is process-wide, so every test here runs on it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "base/clock.h"
#include "base/thread.h"

namespace {

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformUseVirtualClock(5000);
    ASSERT_TRUE(PlatformVirtualClockOn());
    start_ = PlatformTickCount();
  }
  uint32_t Elapsed() const { return PlatformTickCount() - start_; }
  uint32_t start_ = 0;
};

struct Ticker {
  uint32_t interval;
  int wakes;
  bool by_event;  // waits on an event nobody signals instead of sleeping
  PlatformMutex* log_lock;
  std::vector<std::pair<uint32_t, uint32_t>>* log;  // (time, interval)
};

void TickerBody(void* argument) {
  auto* t = static_cast<Ticker*>(argument);
  PlatformEvent* never = PlatformEventCreate();
  for (int i = 0; i < t->wakes; ++i) {
    if (t->by_event)
      EXPECT_FALSE(PlatformEventWait(never, t->interval));
    else
      PlatformSleep(t->interval);
    PlatformMutexLock(t->log_lock);
    t->log->push_back({PlatformTickCount(), t->interval});
    PlatformMutexUnlock(t->log_lock);
  }
  PlatformEventDestroy(never);
}

TEST_F(VirtualClock, ThreadsWakeInDeadlineOrderAndTimeMovesExactly) {
  std::vector<std::pair<uint32_t, uint32_t>> log;
  PlatformMutex* lock = PlatformMutexCreate();
  Ticker fast{30, 7, false, lock, &log};
  Ticker slow{70, 3, true, lock, &log};
  PlatformThread* a = PlatformThreadCreate(TickerBody, &fast, 0, PRIORITY_NORMAL);
  PlatformThread* b = PlatformThreadCreate(TickerBody, &slow, 0, PRIORITY_NORMAL);
  PlatformThreadStart(a);
  PlatformThreadStart(b);
  PlatformThreadJoin(a);
  PlatformThreadJoin(b);
  PlatformMutexDestroy(lock);
  // At 210 both are due: the 70 ms waiter began its wait first (at 140).
  const uint32_t s = start_;
  const std::vector<std::pair<uint32_t, uint32_t>> want = {
      {s + 30, 30},  {s + 60, 30},  {s + 70, 70},  {s + 90, 30},  {s + 120, 30},
      {s + 140, 70}, {s + 150, 30}, {s + 180, 30}, {s + 210, 70}, {s + 210, 30}};
  EXPECT_EQ(log, want);
  EXPECT_EQ(Elapsed(), 210u);
}

struct Holder {
  PlatformMutex* mutex;
  PlatformEvent* event;
};

// Takes the mutex, sleeps 20 ms holding it, releases it, sleeps 5 ms more
// and signals the event.
void HolderBody(void* argument) {
  auto* h = static_cast<Holder*>(argument);
  PlatformMutexLock(h->mutex);
  PlatformSleep(20);
  PlatformMutexUnlock(h->mutex);
  PlatformSleep(5);
  PlatformEventSignal(h->event);
}

TEST_F(VirtualClock, SignalsAndReleasesWakeAtTheCurrentTime) {
  Holder h{PlatformMutexCreate(), PlatformEventCreate()};
  PlatformThread* t = PlatformThreadCreate(HolderBody, &h, 0, PRIORITY_NORMAL);
  PlatformThreadStart(t);
  PlatformSleep(1);  // the holder has the mutex now
  // A timed wait for the held mutex runs out after exactly its time-out.
  EXPECT_EQ(PlatformMutexWaitAny(&h.mutex, 1, 3), -1);
  EXPECT_EQ(Elapsed(), 4u);
  // A plain lock behind a sleeping holder does not stall time: the holder's
  // release wakes it at 20.
  PlatformMutexLock(h.mutex);
  EXPECT_EQ(Elapsed(), 20u);
  PlatformMutexUnlock(h.mutex);
  // The signal at 25 ends a wait of a second without moving time further.
  EXPECT_TRUE(PlatformEventWait(h.event, 1000));
  EXPECT_EQ(Elapsed(), 25u);
  PlatformThreadJoin(t);
  EXPECT_EQ(Elapsed(), 25u);
  PlatformEventDestroy(h.event);
  PlatformMutexDestroy(h.mutex);
}

TEST_F(VirtualClock, LongSleepReturnsAtOnce) {
  uint64_t fine0 = 0, fine1 = 0;
  ASSERT_TRUE(PlatformHighResCounter(&fine0));
  const auto real0 = std::chrono::steady_clock::now();
  PlatformSleep(10000);
  const auto real = std::chrono::steady_clock::now() - real0;
  ASSERT_TRUE(PlatformHighResCounter(&fine1));
  EXPECT_LT(real, std::chrono::seconds(2));
  EXPECT_EQ(Elapsed(), 10000u);
  EXPECT_EQ(fine1 - fine0, 10000u * PlatformHighResFrequency() / 1000u);
  EXPECT_EQ(PlatformSystemTime(), PlatformTickCount());
}

}  // namespace
