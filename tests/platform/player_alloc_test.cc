// Playing a file with the live statistics line allocates nothing per frame
// on the headless backend: every allocation in the process, the service
// threads' included, is counted, and the count is taken at each present.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/headless/headless_player.h"
#include "player/player_main.h"
#include "player/window_services.h"
#include "sound/dsound_output.h"
#include "sound/wave_output.h"

namespace {
std::atomic<uint64_t> g_allocations{0};
}  // namespace

void* operator new(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
// The replaced operators allocate with malloc, so free is their match.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VEXA_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VEXA_SANITIZED 1
#endif
#ifndef VEXA_SANITIZED
// The C allocations too (the libraries' surfaces and textures), where no
// sanitizer owns malloc.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
}
#endif

namespace {

constexpr int kMaxPresents = 1024;
uint64_t g_count_at[kMaxPresents];
uint32_t g_frame_at[kMaxPresents];
int g_presents = 0;
const WindowServices* g_real = nullptr;
WindowServices g_counting;

void CountingPresent(PlatformWindow* window, uint32_t frame) {
  if (g_presents < kMaxPresents) {
    g_count_at[g_presents] = g_allocations.load();
    g_frame_at[g_presents] = frame;
    ++g_presents;
  }
  g_real->Present(window, frame);
}

TEST(PlayerAllocationTest, StatisticsLineDrawsWithoutAllocatingPerFrame) {
  char dir[] = "/tmp/vexaplay_allocXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string clip = std::string(dir) + "/a.vxa";
  const std::string encode = std::string("'") + VEXA_TOOL_PATH + "' encode --quiet --testsrc 96x64 --frames 20 -o '" +
                             clip + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(encode.c_str()), 0);
  setenv("VEXA_HEADLESS_CLOCK", "virtual", 1);
  setenv("XDG_CONFIG_HOME", dir, 1);
  unsetenv("VEXA_HEADLESS_CAPTURE");
  unsetenv("VEXA_HEADLESS_EVENTS");
  unsetenv("VEXA_HEADLESS_SCREEN");
  const char* error = nullptr;
  ASSERT_TRUE(HeadlessPlayerStart(&error)) << error;
  g_real = PlayerWindowServices();
  g_counting = *g_real;
  g_counting.Present = CountingPresent;
  PlayerRegisterWindowServices(&g_counting);
  char program[] = "vexaplay", statistics[] = "/Q", loops[] = "/L3";
  std::string name = clip;
  char* argv[] = {program, name.data(), statistics, loops};
  PlayerStartup startup{4, argv, WaveOutInitialiser, DirectSoundInitialiser};
  const int code = PlayerMain(&startup);
  HeadlessPlayerStop();
  std::system((std::string("rm -rf '") + dir + "'").c_str());
  ASSERT_EQ(code, 0);

  // The second and third plays of the file: the caches are warm.
  int first = -1, last = -1, starts = 0;
  for (int i = 0; i < g_presents; ++i) {
    if (g_frame_at[i] == 1 && ++starts == 2) first = i;
    if (g_frame_at[i] != 0) last = i;
  }
  ASSERT_GE(first, 0);
  ASSERT_EQ(last - first + 1, 40);
  for (int i = first; i <= last; ++i)
    EXPECT_EQ(g_count_at[i] - g_count_at[first], 0u) << "allocations by frame " << g_frame_at[i];
}

}  // namespace
