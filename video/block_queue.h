// Blocks whose pixels are made after their data is read. While a thread reads
// a plane's data it can record the blocks that copy from the previous frame
// or come out of the inverse transform (skip and motion copies, residue and
// transform blocks) as records, a row pair (16 pixel rows) at a time, and
// leave making their pixels to whichever thread is free: the other decoding
// thread once that has read its own planes, or the reader itself once it has
// read all of its own. Reading stays sequential; the making is shared.
//
// Only planes decoded into the other plane set are recorded: their recorded
// blocks then read nothing but the previous frame's pixels, which no block of
// the frame writes, and each writes its own 8x8 block, so the row pairs may be
// made in any order and on either thread. The reader draws every other block
// (fills, patterns, raw, run and scaled blocks) itself before it hands the
// row pair out, so where a block of an odd row covers part of the scaled
// block above it, the later block still wins as in stream order.
//
// Storage is made at open (FrameWorkerCreate): a decode allocates nothing.
#pragma once
#include <atomic>
#include <cstdint>

enum DeferredKind : uint8_t {
  DEFER_COPY = 0,  // `count` 8x8 blocks side by side from the reference, displaced by dx, dy
  DEFER_RESIDUE,   // followed by 64 residue values (int8_t), displaced by dx, dy
  DEFER_INTRA,     // followed by 64 coefficients (int16_t), INTRA_QUANT[quant]
  DEFER_INTER,     // followed by 64 coefficients (int16_t), INTER_QUANT[quant], displaced
};

struct alignas(16) DeferredBlock {
  uint8_t kind;
  uint8_t quant;
  int8_t dx, dy;
  uint32_t count;   // copies: blocks in the run (skips side by side share one record)
  uint32_t offset;  // of the (first) block's top-left pixel in the plane
  uint32_t unused;
};
static_assert(sizeof(DeferredBlock) == 16);

inline uint32_t DeferredBytes(uint32_t kind) {
  return uint32_t(sizeof(DeferredBlock)) + (kind == DEFER_COPY ? 0 : kind == DEFER_RESIDUE ? 64 : 128);
}
// Room a plane of `blocks` 8x8 blocks may need: its largest record each.
inline uint64_t DeferredPlaneBytes(uint64_t blocks) { return blocks * DeferredBytes(DEFER_INTRA); }

inline int16_t* DeferredCoefficients(DeferredBlock* d) { return reinterpret_cast<int16_t*>(d + 1); }
inline int8_t* DeferredResidue(DeferredBlock* d) { return reinterpret_cast<int8_t*>(d + 1); }

// One plane's row pairs on their way from the reader to the makers.
struct BlockQueue {
  // The plane, set by the reader before it hands out its first row pair.
  uint8_t* destination;
  const uint8_t* reference;
  int pitch;
  uint8_t* records;    // 16-byte aligned, DeferredPlaneBytes of the plane
  uint32_t* unit_end;  // per row pair: end of its records, bytes from `records`
  std::atomic<uint32_t> ready;    // row pairs fully recorded
  std::atomic<uint32_t> claimed;  // row pairs taken by a maker
  std::atomic<uint32_t> made;     // row pairs whose pixels are made
};

// Before the frame is handed to the threads: no row pair ready.
void BlockQueueReset(BlockQueue* q);

// Whether every ready row pair has been made.
inline bool BlockQueueMade(const BlockQueue* q) {
  return q->made.load(std::memory_order_acquire) == q->ready.load(std::memory_order_relaxed);
}

// Makes the pixels of the oldest ready row pair no thread has taken yet;
// false when there was none.
bool BlockQueueMakeOne(BlockQueue* q);

// Waits a moment in a loop that polls other threads' progress.
void BlockQueuePause(uint32_t* spins);

// The reader's side while it reads one plane.
struct BlockRecorder {
  BlockQueue* queue;
  uint8_t* at;         // where the next record goes
  uint8_t* unit_start;
  DeferredBlock* run;  // the last record, when a skip right of it may join it
  uint32_t unit;       // row pair being recorded
};

void BlockRecorderBegin(BlockRecorder* r, BlockQueue* q, uint8_t* destination, const uint8_t* reference, int pitch);

inline DeferredBlock* RecordBlock(BlockRecorder* r, DeferredKind kind, uint32_t offset, int dx, int dy) {
  auto* d = reinterpret_cast<DeferredBlock*>(r->at);
  d->kind = kind;
  d->dx = int8_t(dx);
  d->dy = int8_t(dy);
  d->count = 1;
  d->offset = offset;
  r->at += DeferredBytes(kind);
  r->run = nullptr;
  return d;
}

inline void RecordSkip(BlockRecorder* r, uint32_t offset) {
  if (r->run && r->run->offset + 8 * r->run->count == offset) {
    ++r->run->count;
    return;
  }
  r->run = RecordBlock(r, DEFER_COPY, offset, 0, 0);
}

// Hands the row pair recorded so far out.
void RecordRowPairEnd(BlockRecorder* r);

// After the plane's last block (or the block its data broke at): hands out
// what is left. With `complete`, also makes every row pair no other thread
// took and waits for those they did, so that the plane's pixels are whole.
void RecordPlaneEnd(BlockRecorder* r, bool complete);
