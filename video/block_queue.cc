#include "video/block_queue.h"

#include <cstddef>
#include <cstring>
#include <thread>

#include "video/block_pixels.h"
#include "video/inverse_transform.h"
#include "video/quant_tables.h"
#include "video/residue.h"

namespace {

void MakeUnit(const BlockQueue* q, uint32_t unit) {
  const uint8_t* at = q->records + (unit ? q->unit_end[unit - 1] : 0);
  const uint8_t* end = q->records + q->unit_end[unit];
  const int pitch = q->pitch;
  while (at < end) {
    const auto* d = reinterpret_cast<const DeferredBlock*>(at);
    uint8_t* dst = q->destination + d->offset;
    const uint8_t* src = q->reference + (std::ptrdiff_t(d->offset) + std::ptrdiff_t(d->dy) * pitch + d->dx);
    switch (d->kind) {
      case DEFER_COPY:
        if (d->count == 1)
          CopyBlock8x8(dst, src, pitch);
        else
          for (int y = 0; y < 8; ++y) std::memcpy(dst + y * pitch, src + y * pitch, size_t(d->count) * 8);
        break;
      case DEFER_RESIDUE:
        ResidueAdd(reinterpret_cast<const int8_t*>(d + 1), dst, pitch, src, pitch);
        break;
      case DEFER_INTRA:
        InverseTransformPut(reinterpret_cast<const int16_t*>(d + 1), INTRA_QUANT[d->quant], dst, pitch);
        break;
      default:  // DEFER_INTER
        InverseTransformAdd(reinterpret_cast<const int16_t*>(d + 1), INTER_QUANT[d->quant], dst, pitch, src, pitch);
        break;
    }
    at += DeferredBytes(d->kind);
  }
}

}  // namespace

void BlockQueueReset(BlockQueue* q) {
  q->ready.store(0, std::memory_order_relaxed);
  q->claimed.store(0, std::memory_order_relaxed);
  q->made.store(0, std::memory_order_relaxed);
}

bool BlockQueueMakeOne(BlockQueue* q) {
  uint32_t unit = q->claimed.load(std::memory_order_relaxed);
  do {
    // The acquire pairs with the reader's release: the unit's records (and
    // the plane fields) are visible once it counts as ready.
    if (unit >= q->ready.load(std::memory_order_acquire)) return false;
  } while (!q->claimed.compare_exchange_weak(unit, unit + 1, std::memory_order_relaxed));
  MakeUnit(q, unit);
  q->made.fetch_add(1, std::memory_order_release);
  return true;
}

void BlockQueuePause(uint32_t* spins) {
  // Spin briefly (the other thread is usually a row pair from done), then
  // let the system run something else.
  if (++*spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    return;
  }
  std::this_thread::yield();
}

void BlockRecorderBegin(BlockRecorder* r, BlockQueue* q, uint8_t* destination, const uint8_t* reference, int pitch) {
  q->destination = destination;
  q->reference = reference;
  q->pitch = pitch;
  r->queue = q;
  r->at = r->unit_start = q->records;
  r->run = nullptr;
  r->unit = 0;
}

void RecordRowPairEnd(BlockRecorder* r) {
  BlockQueue* q = r->queue;
  q->unit_end[r->unit] = uint32_t(r->at - q->records);
  q->ready.store(++r->unit, std::memory_order_release);
  r->unit_start = r->at;
  r->run = nullptr;
}

void RecordPlaneEnd(BlockRecorder* r, bool complete) {
  BlockQueue* q = r->queue;
  if (r->at != r->unit_start) RecordRowPairEnd(r);
  if (!complete) return;
  while (BlockQueueMakeOne(q)) {
  }
  uint32_t spins = 0;
  while (q->made.load(std::memory_order_acquire) != r->unit) BlockQueuePause(&spins);
}
