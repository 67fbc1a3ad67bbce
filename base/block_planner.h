// Grouped allocation: record the blocks an open needs, then take them all
// from one core-allocator block. Process-wide and unsynchronised: opens that
// use it must not run concurrently.
#pragma once
#include <cstdint>

// Records a request: at commit, *slot receives a block of at least `bytes`
// bytes (rounded up to 32, plus a stagger that spreads blocks over cache sets).
void PlannerRecord(void** slot, uint32_t bytes);

// Allocates one block for the header (header_bytes rounded up to 32) and every
// recorded request, fills the slots in recording order and returns the header
// (free it with CoreFree). On failure returns null and writes no slot. The
// list is emptied either way.
void* PlannerCommit(uint32_t header_bytes);

// The running total of the recorded shares (0 after a commit).
uint64_t PlannerTotal();

// The share a request of `bytes` would take with the planner's total at `total`.
uint64_t PlannerShare(uint64_t total, uint32_t bytes);
