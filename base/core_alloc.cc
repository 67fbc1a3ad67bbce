#include "base/core_alloc.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

// The "private heap" is the process heap: each block carries, in the bytes
// just before it, the distance back to the heap's own address (33 to 64) and
// a source kind (0 = heap). The requested size is kept further back so that
// the bytes-in-use figure can be maintained.
namespace {

constexpr uint32_t kExtra = 64;
constexpr uint8_t kSourceHeap = 0;

std::atomic<uint64_t> g_in_use{0};
std::atomic<uint64_t> g_peak{0};
std::atomic<uint64_t> g_limit{0};

}  // namespace

void* CoreAllocate(uint32_t bytes) {
  if (bytes == 0 || bytes == 0xFFFFFFFFu || bytes > 0xFFFFFFFFu - kExtra) return nullptr;
  const uint64_t limit = g_limit.load();
  if (limit && g_in_use.load() + bytes > limit) return nullptr;
  auto* raw = static_cast<uint8_t*>(std::malloc(size_t(bytes) + kExtra));
  if (!raw) return nullptr;
  const uint32_t distance = kExtra - uint32_t(reinterpret_cast<uintptr_t>(raw) % 32);
  uint8_t* block = raw + distance;
  block[-1] = uint8_t(distance);
  block[-2] = kSourceHeap;
  // malloc aligns to at least 16, so the distance is at least 48 and the
  // size fits in the four bytes before the kind byte.
  if (distance >= 6) std::memcpy(block - 6, &bytes, 4);
  const uint64_t now = g_in_use.fetch_add(bytes) + bytes;
  uint64_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return block;
}

void CoreFree(void* block) {
  if (!block) return;
  auto* p = static_cast<uint8_t*>(block);
  const uint32_t distance = p[-1];
  if (distance >= 6) {
    uint32_t bytes = 0;
    std::memcpy(&bytes, p - 6, 4);
    g_in_use.fetch_sub(bytes);
  }
  std::free(p - distance);
}

uint64_t CoreBytesInUse() { return g_in_use.load(); }
uint64_t CoreBytesPeak() { return g_peak.load(); }

void CoreSetAllocationLimit(uint64_t limit) { g_limit.store(limit); }
