// A second thread for the frame decoder. While the caller reads the alpha
// and luma planes, the worker reads the two chroma planes with its own bundle
// buffers and its own change marks, which the caller merges afterwards, so
// the shared change map is only ever written by one thread. With two plane
// sets the copies, residue and transform blocks of every plane are recorded
// as they are read (video/block_queue.h) and made by whichever thread has
// finished reading, so a side with less to read takes over pixel work from
// the other. Everything is made at creation (the open; the records take up
// to 144 bytes per 8x8 block of each plane) and torn down with the frame
// buffers (the close): a decode allocates nothing.
#pragma once
#include <atomic>
#include <cstdint>

#include "video/block_queue.h"
#include "video/bundle.h"
#include "video/frame_buffers.h"

struct PlatformThread;
struct PlatformEvent;

struct FrameWorker {
  PlatformThread* thread;
  PlatformEvent* go;    // a job is ready, or quit is set
  PlatformEvent* done;  // the job has ended
  void (*job)(void*);
  void* job_argument;
  // 0 while the job waits to be taken; whichever thread turns it to 1 first
  // runs it, so a worker the system is slow to schedule never holds the
  // caller up for longer than the job itself takes.
  std::atomic<uint32_t> taken;
  std::atomic<bool> quit;  // read by a worker that may wake for a job the caller already ran
  bool virtual_clock;  // the clock the thread was made under (waits must use the same)
  uint64_t memory_bytes;  // all the worker allocated, for the file's memory total

  BundleBuffers bundles;  // the worker's own, sized like the caller's
  uint8_t* marks;         // private change map: map_pitch bytes by map_rows
  uint8_t* skip_counts;   // same layout (see PlaneDecodeArgs::skip_counts)
  uint32_t map_pitch, map_rows;
  // With one plane set the chroma planes are decoded in place; their
  // previous contents are kept here so a luma failure can put them back.
  uint8_t* backup[2];

  // Row pairs of recorded blocks (video/block_queue.h), one queue a plane
  // (by PlaneIndex), with storage when there are two plane sets (and an
  // alpha plane, for its queue). The caller reads alpha and luma, the worker
  // the chroma planes; each then makes what is left of its own recorded
  // blocks and helps with the other's.
  BlockQueue queues[4];
  // Set when a side has read its planes and made all their blocks: the other
  // side then stops helping it.
  std::atomic<bool> caller_done, worker_done;

  // Where the frames decoded on both threads spent their time, in counts of
  // the fine counter (PlatformHighResCounter). A plane is read start to end
  // by one thread and the second chroma plane starts where the first one's
  // bits end, so the longer side's reading bounds what two threads can do
  // with a frame; the decode benchmark compares it with one thread's time.
  struct Times {
    uint64_t frames;
    uint64_t caller_read;   // alpha and luma planes
    uint64_t worker_read;   // both chroma planes
    uint64_t longest_read;  // per frame the longer of the two
  } times;
};

// Makes the thread and its buffers for frame buffers fb (their plane sizes
// and set count) and bundle buffers of the capacities the caller's have (the
// frame decoder uses the worker only with bundles of the same capacities, as
// they decide which chunks are too long). Null when a thread or memory is
// missing.
FrameWorker* FrameWorkerCreate(const FrameBuffers* fb, const BundleCapacities* caps);
// Ends the thread and frees everything (null is allowed).
void FrameWorkerDestroy(FrameWorker* worker);

// Whether the worker can take a job now: the thread services were on the
// same clock (platform or virtual) when it was made.
bool FrameWorkerUsable(const FrameWorker* worker);

// Offers job(argument) to the worker; FrameWorkerWait returns when it has
// ended, running it on the calling thread if the worker has not taken it
// yet. One job at a time, begun and waited for by the same thread.
void FrameWorkerBegin(FrameWorker* worker, void (*job)(void*), void* argument);
void FrameWorkerWait(FrameWorker* worker);
