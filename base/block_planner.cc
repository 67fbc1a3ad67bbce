#include "base/block_planner.h"

#include "base/core_alloc.h"

namespace {

struct Request {
  void** slot;
  uint64_t share;
};

constexpr uint32_t kFixedRequests = 32;
Request g_fixed[kFixedRequests];
Request* g_requests = g_fixed;
uint32_t g_capacity = kFixedRequests;
uint32_t g_count = 0;
uint64_t g_total = 0;
bool g_overflowed = false;  // a request could not be recorded: the commit fails

uint32_t RoundUp32(uint32_t n) { return n > 0xFFFFFFE0u ? 0xFFFFFFE0u : (n + 31u) & ~31u; }

void Reset() {
  if (g_requests != g_fixed) CoreFree(g_requests);
  g_requests = g_fixed;
  g_capacity = kFixedRequests;
  g_count = 0;
  g_total = 0;
  g_overflowed = false;
}

}  // namespace

uint64_t PlannerShare(uint64_t total, uint32_t bytes) {
  const uint32_t s = RoundUp32(bytes);
  const uint32_t stagger = ((uint32_t(total) / 32u - s / 32u + 1u) % 32u) * 32u;
  return uint64_t(s) + stagger;  // kept wide: a share near 4 GiB must not wrap
}

void PlannerRecord(void** slot, uint32_t bytes) {
  if (g_count == g_capacity) {
    const uint32_t grown = g_capacity * 2;
    auto* bigger = static_cast<Request*>(CoreAllocate(grown * uint32_t(sizeof(Request))));
    if (!bigger) {
      g_overflowed = true;
      return;
    }
    for (uint32_t i = 0; i < g_count; ++i) bigger[i] = g_requests[i];
    if (g_requests != g_fixed) CoreFree(g_requests);
    g_requests = bigger;
    g_capacity = grown;
  }
  const uint64_t share = PlannerShare(g_total, bytes);
  g_requests[g_count++] = Request{slot, share};
  g_total += share;
}

void* PlannerCommit(uint32_t header_bytes) {
  const uint64_t head = RoundUp32(header_bytes);
  const uint64_t size = g_total + head;
  uint8_t* block = nullptr;
  if (!g_overflowed && size > 0 && size < 0xFFFFFFFFull)
    block = static_cast<uint8_t*>(CoreAllocate(uint32_t(size)));
  if (block) {
    uint64_t at = head;
    for (uint32_t i = 0; i < g_count; ++i) {
      *g_requests[i].slot = block + at;
      at += g_requests[i].share;
    }
  }
  Reset();
  return block;
}

uint64_t PlannerTotal() { return g_total; }
