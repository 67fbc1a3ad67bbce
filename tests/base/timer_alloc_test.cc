#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/block_planner.h"
#include "base/core_alloc.h"
#include "base/timer.h"
#include "base/clock.h"

namespace {

// A clock the test moves by hand: the fine counter counts microseconds.
struct FakeClock {
  uint32_t ticks = 5000;
  uint64_t counter = 1000000;
  bool has_counter = true;
  uint32_t system = 777;
};

PlatformClock MakeClock(FakeClock* f) {
  PlatformClock c{};
  c.tick_count = [](void* p) { return static_cast<FakeClock*>(p)->ticks; };
  c.high_res_counter = [](void* p, uint64_t* v) {
    auto* f = static_cast<FakeClock*>(p);
    *v = f->counter;
    return f->has_counter;
  };
  c.high_res_frequency = [](void*) -> uint64_t { return 1000000; };
  c.system_time = [](void* p) { return static_cast<FakeClock*>(p)->system; };
  c.context = f;
  return c;
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = MakeClock(&fake_);
    PlatformSetClock(&clock_);
    MediaTimerReset();
  }
  void TearDown() override {
    PlatformSetClock(nullptr);
    MediaTimerReset();
  }
  void Advance(uint32_t ms) {
    fake_.ticks += ms;
    fake_.counter += uint64_t(ms) * 1000;
  }
  FakeClock fake_;
  PlatformClock clock_{};
};

TEST_F(TimerTest, StartsAtZeroAndFollowsTheCounter) {
  EXPECT_EQ(MediaTimer(), 0u);
  Advance(40);
  EXPECT_EQ(MediaTimer(), 40u);
  fake_.counter += 2500;  // 2.5 ms more on the fine counter alone
  EXPECT_EQ(MediaTimer(), 42u);
}

TEST_F(TimerTest, UnconfirmedCounterJumpIsCorrectedAway) {
  EXPECT_EQ(MediaTimer(), 0u);
  Advance(100);
  EXPECT_EQ(MediaTimer(), 100u);
  // The counter leaps 5 s ahead while the tick count moves 10 ms.
  fake_.counter += 5000000 + 10000;
  fake_.ticks += 10;
  EXPECT_EQ(MediaTimer(), 110u);
  Advance(20);
  EXPECT_EQ(MediaTimer(), 130u);  // the correction stays in force
}

TEST_F(TimerTest, SmallDisagreementIsKept) {
  MediaTimer();
  fake_.counter += 150000;  // 150 ms by the counter, tick count unmoved
  EXPECT_EQ(MediaTimer(), 150u);
}

TEST_F(TimerTest, NeverGoesBackwards) {
  MediaTimer();
  Advance(1000);
  EXPECT_EQ(MediaTimer(), 1000u);
  // Counter and tick count both step back 500 ms (no disagreement).
  fake_.counter -= 500000;
  fake_.ticks -= 500;
  EXPECT_EQ(MediaTimer(), 1000u);
  uint32_t last = 0;
  for (int i = 0; i < 50; ++i) {
    fake_.counter += (i % 7) * 333;
    fake_.ticks += (i % 3 == 0) ? 1 : 0;
    const uint32_t now = MediaTimer();
    EXPECT_GE(now, last);
    last = now;
  }
}

TEST_F(TimerTest, WithoutCounterUsesSystemTime) {
  fake_.has_counter = false;
  fake_.system = 12345;
  EXPECT_EQ(MediaTimer(), 12345u);
  fake_.system = 12400;
  EXPECT_EQ(MediaTimer(), 12400u);
}

TEST(CoreAllocTest, RefusesZeroAndAllOnes) {
  EXPECT_EQ(CoreAllocate(0), nullptr);
  EXPECT_EQ(CoreAllocate(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(CoreAllocate(0xFFFFFFF0u), nullptr);
  CoreFree(nullptr);
}

TEST(CoreAllocTest, BlocksAreAlignedAndCarryTheirDistance) {
  std::vector<void*> blocks;
  const uint64_t before = CoreBytesInUse();
  for (uint32_t n : {1u, 3u, 31u, 32u, 33u, 100u, 4097u, 65536u}) {
    auto* p = static_cast<uint8_t*>(CoreAllocate(n));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    EXPECT_GE(p[-1], 33);
    EXPECT_LE(p[-1], 64);
    EXPECT_EQ(p[-2], 0);  // private heap
    for (uint32_t i = 0; i < n; ++i) p[i] = uint8_t(i);
    blocks.push_back(p);
  }
  EXPECT_GT(CoreBytesInUse(), before);
  for (void* p : blocks) CoreFree(p);
  EXPECT_EQ(CoreBytesInUse(), before);
}

TEST(BlockPlannerTest, SharesRoundAndStaggerInRecordingOrder) {
  void* a = nullptr;
  void* b = nullptr;
  // Shares with the running total: a: s=32, stagger ((0 - 1 + 1) mod 32) x 32 = 0
  // -> 32; b: s=64, stagger ((1 - 2 + 1) mod 32) x 32 = 0 -> 64.
  EXPECT_EQ(PlannerShare(0, 1), 32u);
  EXPECT_EQ(PlannerShare(32, 33), 64u);
  PlannerRecord(&a, 1);
  PlannerRecord(&b, 33);
  EXPECT_EQ(PlannerTotal(), 96u);
  auto* head = static_cast<uint8_t*>(PlannerCommit(10));
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(a, head + 32);
  EXPECT_EQ(b, head + 64);
  EXPECT_EQ(PlannerTotal(), 0u);
  CoreFree(head);
}

TEST(BlockPlannerTest, StaggerSpreadsEqualRequests) {
  // Equal requests of 64 bytes (two blocks): the stagger grows with the
  // total, mod 32 blocks. At total 0 it is (0 - 2 + 1) mod 32 = 31 blocks:
  // 64 + 992; at 96 bytes (3 blocks) (3 - 2 + 1) = 2 blocks: 64 + 64.
  EXPECT_EQ(PlannerShare(0, 64), 1056u);
  EXPECT_EQ(PlannerShare(96, 64), 128u);
}

TEST(BlockPlannerTest, GrowsPastThirtyTwoRequestsAndFillsEverySlot) {
  std::vector<void*> slots(100, nullptr);
  for (size_t i = 0; i < slots.size(); ++i) PlannerRecord(&slots[i], uint32_t(i * 7 + 1));
  auto* head = static_cast<uint8_t*>(PlannerCommit(0));
  ASSERT_NE(head, nullptr);
  uint8_t* prev = head;
  for (size_t i = 0; i < slots.size(); ++i) {
    auto* p = static_cast<uint8_t*>(slots[i]);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    EXPECT_GE(p - prev, ptrdiff_t(i == 0 ? 0 : (i - 1) * 7 + 1));
    prev = p;
    for (size_t k = 0; k < i * 7 + 1; ++k) p[k] = 0xAB;  // inside the block (ASan checks)
  }
  CoreFree(head);
}

TEST(BlockPlannerTest, FailedCommitWritesNoSlotAndEmptiesTheList) {
  void* a = reinterpret_cast<void*>(0x1);
  PlannerRecord(&a, 0xFFFFFF00u);
  PlannerRecord(&a, 0xFFFFFF00u);
  EXPECT_EQ(PlannerCommit(0), nullptr);
  EXPECT_EQ(a, reinterpret_cast<void*>(0x1));
  EXPECT_EQ(PlannerTotal(), 0u);
}

}  // namespace
