#include "video/frame_worker.h"

#include <new>

#include "base/clock.h"
#include "base/thread.h"

namespace {

// Long enough to mean "until told"; the loops wait again after a time-out.
constexpr uint32_t kWaitMs = 0x7FFFFFFF;

void WorkerBody(void* argument) {
  auto* w = static_cast<FrameWorker*>(argument);
  for (;;) {
    if (!PlatformEventWait(w->go, kWaitMs)) continue;
    if (w->quit) return;
    // A wake-up whose job the caller already ran finds it taken.
    if (w->taken.exchange(1, std::memory_order_acq_rel) != 0) continue;
    w->job(w->job_argument);
    PlatformEventSignal(w->done);
  }
}

uint8_t* Bytes(FrameWorker* w, uint64_t n) {
  w->memory_bytes += n ? n : 1;
  return new (std::nothrow) uint8_t[n ? n : 1];
}

}  // namespace

FrameWorker* FrameWorkerCreate(const FrameBuffers* fb, const BundleCapacities* caps) {
  auto* w = new (std::nothrow) FrameWorker{};
  if (!w) return nullptr;
  w->memory_bytes = sizeof(FrameWorker);
  w->taken.store(1);
  w->virtual_clock = PlatformVirtualClockOn();
  w->bundles.caps = *caps;
  bool ok = true;
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id)
    ok &= (w->bundles.data[id] = Bytes(w, uint64_t(w->bundles.caps.bytes[id]) + kBundleSlackBytes)) != nullptr;
  w->map_pitch = ChangeMapPitch(fb->y_width);
  w->map_rows = ChangeMapRows(fb->y_height);
  const uint64_t map_bytes = uint64_t(w->map_pitch) * w->map_rows;
  ok = ok && (w->marks = Bytes(w, map_bytes)) && (w->skip_counts = Bytes(w, map_bytes));
  // Blocks are recorded only when decoding into the other set.
  for (uint32_t p = 0; p < 4 && ok && fb->set_count == 2; ++p) {
    if (!fb->sets[0].plane[p].present) continue;
    const uint32_t width = PlaneWidth(fb, p), height = PlaneHeight(fb, p);
    const uint64_t blocks = uint64_t(width / 8) * (height / 8), units = (height + 15) / 16;
    BlockQueue* q = &w->queues[p];
    const uint64_t record_bytes = DeferredPlaneBytes(blocks) + 16;
    w->memory_bytes += record_bytes + units * sizeof(uint32_t);
    ok = (q->records = static_cast<uint8_t*>(operator new[](record_bytes, std::align_val_t(64), std::nothrow))) &&
         (q->unit_end = new (std::nothrow) uint32_t[units ? units : 1]);
  }
  if (ok && fb->set_count == 1)
    for (auto& b : w->backup) ok = ok && (b = Bytes(w, uint64_t(fb->chroma_width) * fb->chroma_height));
  ok = ok && (w->go = PlatformEventCreate()) && (w->done = PlatformEventCreate()) &&
       (w->thread = PlatformThreadCreate(WorkerBody, w, 0, PRIORITY_NORMAL));
  if (!ok) {
    FrameWorkerDestroy(w);
    return nullptr;
  }
  PlatformThreadStart(w->thread);
  return w;
}

void FrameWorkerDestroy(FrameWorker* w) {
  if (!w) return;
  if (w->thread) {
    w->quit = true;
    PlatformEventSignal(w->go);
    PlatformThreadJoin(w->thread);
  }
  if (w->go) PlatformEventDestroy(w->go);
  if (w->done) PlatformEventDestroy(w->done);
  for (uint8_t* b : w->bundles.data) delete[] b;
  delete[] w->marks;
  delete[] w->skip_counts;
  for (uint8_t* b : w->backup) delete[] b;
  for (BlockQueue& q : w->queues) {
    if (q.records) operator delete[](q.records, std::align_val_t(64));
    delete[] q.unit_end;
  }
  delete w;
}

bool FrameWorkerUsable(const FrameWorker* w) { return w && w->virtual_clock == PlatformVirtualClockOn(); }

void FrameWorkerBegin(FrameWorker* w, void (*job)(void*), void* argument) {
  w->job = job;
  w->job_argument = argument;
  w->taken.store(0, std::memory_order_release);
  PlatformEventSignal(w->go);
}

void FrameWorkerWait(FrameWorker* w) {
  if (w->taken.exchange(1, std::memory_order_acq_rel) == 0) {
    w->job(w->job_argument);
    return;
  }
  while (!PlatformEventWait(w->done, kWaitMs)) {
  }
}
