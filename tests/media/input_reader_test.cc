#include "media/input_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/core_alloc.h"
#include "base/open_flags.h"
#include "media/service_thread.h"
#include "base/timer.h"
#include "base/clock.h"
#include "base/file.h"
#include "base/thread.h"

namespace {

// Byte i of the test file is a function of i, so any misplaced byte shows.
uint8_t PatternByte(uint32_t i) { return uint8_t((i * 131u) ^ (i >> 8)); }

class TempFile {
 public:
  TempFile(uint32_t size, uint32_t prefix = 0) {
    char name[] = "/tmp/vexa_reader_XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    std::vector<uint8_t> bytes(prefix + size);
    for (uint32_t i = 0; i < prefix; ++i) bytes[i] = 0xEE;
    for (uint32_t i = 0; i < size; ++i) bytes[prefix + i] = PatternByte(i);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

void ExpectPattern(const std::vector<uint8_t>& got, uint32_t offset) {
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(got[i], PatternByte(uint32_t(offset + i))) << "at " << offset + i;
}

struct Reader {
  InputReader r;
  void* ring = nullptr;
  Reader() { InputReaderClear(&r); }
  ~Reader() {
    if (r.close) r.close(&r);
    CoreFree(ring);
  }
  void Ring(uint32_t size, uint32_t end, uint32_t speed = 0) {
    ring = CoreAllocate(size);
    r.set_ring(&r, ring, size, end, speed);
  }
  std::vector<uint8_t> Frame(uint32_t offset, uint32_t size) {
    std::vector<uint8_t> out(size);
    out.resize(r.read_frame(&r, 0, offset, out.data(), size));
    return out;
  }
  int Fills() {
    int n = 0;
    while (r.fill(&r) != 0) ++n;
    return n;
  }
};

constexpr uint32_t kFileSize = 5 * 65536 + 1000;

TEST(InputReaderTest, StreamsThroughTheRingAndReadsTheTailDirectly) {
  TempFile file(kFileSize);
  Reader rd;
  ASSERT_EQ(FileInputOpen(&rd.r, file.path(), 0), 1);
  std::vector<uint8_t> head(44);
  EXPECT_EQ(rd.r.read_header(&rd.r, 0, head.data(), 44), 44u);
  ExpectPattern(head, 0);
  EXPECT_EQ(rd.r.size_rule(&rd.r, 1), 65536u);
  EXPECT_EQ(rd.r.size_rule(&rd.r, 131072), 131072u);
  rd.Ring(3 * 65536 + 100, kFileSize);  // rounded down to three chunks
  EXPECT_EQ(rd.r.ring_size, 3u * 65536);

  EXPECT_EQ(rd.Fills(), 3);  // full ring
  EXPECT_EQ(rd.r.buffered, 3u * 65536);
  EXPECT_EQ(rd.r.highest_fill, 3u * 65536);
  // Frames read back to back from the ring, wrapping at its end.
  uint32_t at = 44;
  for (uint32_t size : {1000u, 70000u, 65536u}) {
    auto got = rd.Frame(at, size);
    ASSERT_EQ(got.size(), size);
    ExpectPattern(got, at);
    at += size;
    rd.Fills();
  }
  // The last part shorter than a chunk is never read ahead: it comes directly.
  auto rest = rd.Frame(at, kFileSize - at);
  ASSERT_EQ(rest.size(), kFileSize - at);
  ExpectPattern(rest, at);
  EXPECT_EQ(rd.r.error, 0u);
  EXPECT_EQ(rd.r.bytes_read, kFileSize - 44);
  // Past the end: a short read sets the error and every later read gives 0.
  EXPECT_LT(rd.Frame(kFileSize - 10, 20).size(), 20u);
  EXPECT_EQ(rd.r.error, 1u);
  EXPECT_EQ(rd.Frame(44, 10).size(), 0u);
  EXPECT_EQ(rd.r.fill(&rd.r), 0u);
}

TEST(InputReaderTest, SkipsForwardInsideTheRingAndRepositionsOtherwise) {
  TempFile file(kFileSize);
  Reader rd;
  ASSERT_EQ(FileInputOpen(&rd.r, file.path(), 0), 1);
  std::vector<uint8_t> head(44);
  rd.r.read_header(&rd.r, 0, head.data(), 44);
  rd.Ring(4 * 65536, kFileSize);
  rd.Fills();
  const uint32_t bytes_before = rd.r.bytes_read;
  // Skip forward inside the buffered range: no device read.
  auto got = rd.Frame(50000, 3000);
  ExpectPattern(got, 50000);
  EXPECT_EQ(rd.r.bytes_read, bytes_before);
  EXPECT_EQ(rd.r.buffered, rd.r.device_position - rd.r.logical_position);
  EXPECT_EQ(rd.r.buffered + rd.r.ring_free, rd.r.ring_size);
  // Looping back to the first frame discards the ring and repositions.
  got = rd.Frame(44, 500);
  ExpectPattern(got, 44);
  EXPECT_EQ(rd.r.device_position, 544u);
  EXPECT_EQ(rd.r.logical_position, 544u);
  EXPECT_EQ(rd.r.buffered, 0u);
  // A jump past the buffered range too.
  rd.Fills();
  got = rd.Frame(300000, 1000);
  ExpectPattern(got, 300000);
  EXPECT_EQ(rd.r.error, 0u);
}

TEST(InputReaderTest, ReadsFromAHandleInsideALargerFileAndLeavesItOpen) {
  TempFile file(kFileSize, 5000);
  const PlatformFile handle = PlatformOpenRead(file.path());
  ASSERT_NE(handle, kNoFile);
  ASSERT_TRUE(PlatformSeek(handle, 5000));
  {
    Reader rd;
    ASSERT_EQ(FileInputOpen(&rd.r, reinterpret_cast<const void*>(handle), OPEN_FILE_HANDLE), 1);
    EXPECT_EQ(rd.r.media_start, 5000u);
    std::vector<uint8_t> head(44);
    EXPECT_EQ(rd.r.read_header(&rd.r, 0, head.data(), 44), 44u);
    ExpectPattern(head, 0);
    rd.Ring(65536, kFileSize);
    rd.Fills();
    ExpectPattern(rd.Frame(70000, 100), 70000);  // reposition relative to the media start
  }
  // The reader closed nothing: the handle still reads.
  uint8_t b = 0;
  EXPECT_TRUE(PlatformSeek(handle, 5001));
  EXPECT_EQ(PlatformRead(handle, &b, 1), 1u);
  EXPECT_EQ(b, PatternByte(1));
  PlatformClose(handle);
}

TEST(InputReaderTest, MissingFileFailsToOpen) {
  InputReader r;
  InputReaderClear(&r);
  EXPECT_EQ(FileInputOpen(&r, "/nonexistent/vexa/file.vxa", 0), 0);
}

// A clock that moves only when the reader reads or yields.
struct SteppedClock {
  uint32_t ms = 0;
};
SteppedClock g_stepped;

TEST(InputReaderTest, SimulatedSpeedThrottlesAfterEachChunk) {
  PlatformClock clock{};
  clock.tick_count = [](void*) { return g_stepped.ms; };
  clock.high_res_counter = [](void*, uint64_t* v) {
    *v = uint64_t(g_stepped.ms) * 1000;
    return true;
  };
  clock.high_res_frequency = [](void*) -> uint64_t { return 1000000; };
  clock.system_time = [](void*) { return g_stepped.ms; };
  clock.yield = [](void*) { g_stepped.ms += 1; };
  PlatformSetClock(&clock);
  MediaTimerReset();
  MediaTimer();

  TempFile file(kFileSize);
  {
    Reader rd;
    ASSERT_EQ(FileInputOpen(&rd.r, file.path(), 0), 1);
    std::vector<uint8_t> head(44);
    rd.r.read_header(&rd.r, 0, head.data(), 44);
    rd.Ring(2 * 65536, kFileSize, 100000);
    // 65536 bytes at 100000 bytes per second owe 655 ms; the read itself took
    // no clock time here, so the fill yields for all of it.
    const uint32_t before = MediaTimer();
    EXPECT_EQ(rd.r.fill(&rd.r), 65536u);
    const uint32_t spent = MediaTimer() - before;
    EXPECT_EQ(spent, 655u);
    EXPECT_EQ(rd.r.device_time, 655u);
    EXPECT_EQ(rd.r.idle_time, 655u);
    rd.r.decode_mark = 1;
    EXPECT_EQ(rd.r.fill(&rd.r), 65536u);
    EXPECT_EQ(rd.r.background_time, 655u);
    // A direct read is throttled too, and counted in the frame-read time.
    const uint32_t read_before = rd.r.frame_read_time;
    rd.Frame(44, 3 * 65536);
    EXPECT_GT(rd.r.frame_read_time, read_before);
    EXPECT_LE(rd.r.simulated_debt, 0);
  }
  PlatformSetClock(nullptr);
  MediaTimerReset();
}

TEST(InputReaderTest, ReaderNeedFollowsTheFillLevelAndThePass) {
  InputReader r;
  InputReaderClear(&r);
  ServiceNode node{};
  node.client = &r;
  r.target = 100000;
  r.buffered = 10000;  // 10 % full: urgent
  EXPECT_EQ(ReaderClientNeed(&node, 7), 0xFFFFFFFFu - 10);
  r.buffered = 60000;  // 60 %: one chunk a pass
  node.last_serviced_pass = 7;
  EXPECT_EQ(ReaderClientNeed(&node, 7), 0u);
  EXPECT_EQ(ReaderClientNeed(&node, 8), 0x80000000u - 7);
  r.error = 1;
  r.buffered = 0;
  EXPECT_EQ(ReaderClientNeed(&node, 9), 0u);  // a failed reader asks for nothing
}

// Service threads ---------------------------------------------------------

struct CountingClient {
  ServiceNode node{};
  uint32_t need = 0;
  int services = 0;
  std::vector<int>* order = nullptr;
  int id = 0;
};

uint32_t CountingNeed(ServiceNode* n, uint32_t pass) {
  auto* c = static_cast<CountingClient*>(n->client);
  return n->last_serviced_pass == pass ? 0 : c->need;
}
void CountingService(ServiceNode* n, uint32_t pass) {
  auto* c = static_cast<CountingClient*>(n->client);
  c->services++;
  if (c->order) c->order->push_back(c->id);
  n->last_serviced_pass = pass;
}

void MakeClient(CountingClient* c, uint32_t need, int id, std::vector<int>* order) {
  c->node.client = c;
  c->node.need = CountingNeed;
  c->node.service = CountingService;
  c->node.mutex = PlatformMutexCreate();
  c->need = need;
  c->id = id;
  c->order = order;
}

TEST(ServiceThreadTest, PassServesByDescendingNeedEqualNeedsNewestFirst) {
  ServiceThread* t = ServiceThreadCreate(80);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->interval, 12u);
  std::vector<int> order;
  CountingClient a, b, c, d;
  MakeClient(&a, 5, 1, &order);
  MakeClient(&b, 9, 2, &order);
  MakeClient(&c, 5, 3, &order);
  MakeClient(&d, 0, 4, &order);
  for (auto* x : {&a, &b, &c, &d}) ServiceThreadJoin(t, &x->node);
  EXPECT_EQ(t->count, 4u);
  // Not started: drive one pass by hand.
  t->state = SERVICE_RUNNING;
  ServiceThreadRunPass(t);
  t->state = SERVICE_CREATED;
  // List order is c, b, a (joined at the head); chain: b (9), then the equal
  // needs of c and a with a chained before c because it was met later.
  EXPECT_EQ(order, (std::vector<int>{2, 1, 3}));
  EXPECT_EQ(d.services, 0);
  ServiceThread* slot = t;
  for (auto* x : {&a, &b, &c, &d}) ServiceThreadLeave(&slot, &x->node);
  EXPECT_EQ(slot, nullptr);
  for (auto* x : {&a, &b, &c, &d}) PlatformMutexDestroy(x->node.mutex);
}

TEST(ServiceThreadTest, ProcessThreadLivesWhileItHasClients) {
  CountingClient a, b;
  MakeClient(&a, 1, 1, nullptr);
  MakeClient(&b, 1, 2, nullptr);
  ASSERT_TRUE(ServiceJoinProcessThread(SERVICE_READER, &a.node));
  ServiceThread* first = *ProcessServiceThread(SERVICE_READER);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(ServiceJoinProcessThread(SERVICE_READER, &b.node));
  EXPECT_EQ(*ProcessServiceThread(SERVICE_READER), first);  // shared
  EXPECT_EQ(first->count, 2u);
  ServiceThreadPauseBoth(first, nullptr);
  EXPECT_EQ(first->state, SERVICE_PAUSED);
  ServiceThreadResumeBoth(first, nullptr);
  EXPECT_EQ(first->state, SERVICE_RUNNING);
  ServiceThreadLeave(ProcessServiceThread(SERVICE_READER), &a.node);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_READER), first);  // still serving b
  EXPECT_EQ(first->count, 1u);
  ServiceThreadLeave(ProcessServiceThread(SERVICE_READER), &b.node);
  EXPECT_EQ(*ProcessServiceThread(SERVICE_READER), nullptr);  // destroyed
  PlatformMutexDestroy(a.node.mutex);
  PlatformMutexDestroy(b.node.mutex);
}

TEST(ServiceThreadTest, ThreadFillsAReaderInTheBackground) {
  TempFile file(kFileSize);
  Reader rd;
  ASSERT_EQ(FileInputOpen(&rd.r, file.path(), 0), 1);
  std::vector<uint8_t> head(44);
  rd.r.read_header(&rd.r, 0, head.data(), 44);
  ServiceNode node{};
  node.client = &rd.r;
  node.need = ReaderClientNeed;
  node.service = ReaderClientService;
  node.mutex = PlatformMutexCreate();
  InputReaderInstallLocks(&rd.r, node.mutex);
  rd.Ring(2 * 65536, kFileSize);
  ASSERT_TRUE(ServiceJoinProcessThread(SERVICE_READER, &node));
  // Consume the whole file while the thread tops the ring up.
  uint32_t at = 44;
  while (at < kFileSize) {
    const uint32_t size = std::min<uint32_t>(7777, kFileSize - at);
    auto got = rd.Frame(at, size);
    ASSERT_EQ(got.size(), size);
    ExpectPattern(got, at);
    at += size;
  }
  ServiceThreadLeave(ProcessServiceThread(SERVICE_READER), &node);
  InputReaderInstallLocks(&rd.r, nullptr);
  PlatformMutexDestroy(node.mutex);
  EXPECT_EQ(rd.r.error, 0u);
}

}  // namespace
