// The core allocator: every block the system keeps for a media file, a
// display buffer or a sound output comes from here, 32-byte aligned.
#pragma once
#include <cstddef>
#include <cstdint>

// A 32-byte-aligned block of at least `bytes` bytes, or null (0 bytes, or a
// size the heap cannot give).
void* CoreAllocate(uint32_t bytes);
// Returns a block from CoreAllocate; null does nothing.
void CoreFree(void* block);

// Bytes currently handed out by CoreAllocate (requested sizes), and the
// largest that figure has been. For the playback summary and tests.
uint64_t CoreBytesInUse();
uint64_t CoreBytesPeak();

// For tests: requests that would take the bytes in use above `limit` fail
// (0 lifts the limit).
void CoreSetAllocationLimit(uint64_t limit);
