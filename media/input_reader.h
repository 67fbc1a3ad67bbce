// Read-ahead input: every byte of a streamed media file reaches the core
// through an InputReader, a table of operations plus the state of one
// read-ahead ring that a background reader thread tops up in 64 KiB chunks.
//
// The consumer (read-frame, on the caller's thread) and the producer (fill,
// on the reader thread or the caller's) share the ring without a lock in the
// common case: only the producer moves the write pointer, only the consumer
// moves the read pointer, and `buffered` and `ring_free` change by atomic
// additions. The lock is taken to reposition the file or when the ring runs
// dry.
#pragma once
#include <atomic>
#include <cstdint>

#include "base/file.h"

struct InputReader;
struct PlatformMutex;

constexpr uint32_t kReadChunk = 65536;
constexpr uint32_t kReadFromDevicePosition = 0xFFFFFFFFu;

struct InputReader {
  // Operations, installed by the opener.
  uint32_t (*read_header)(InputReader* reader, uint32_t offset, void* destination, uint32_t size);
  uint32_t (*read_frame)(InputReader* reader, uint32_t frame_index, uint32_t offset, void* destination,
                         uint32_t size);
  uint32_t (*size_rule)(InputReader* reader, uint32_t size);
  void (*set_ring)(InputReader* reader, void* buffer, uint32_t size, uint32_t end_offset,
                   uint32_t simulated_speed);
  // Bytes read (> 0); 0 when nothing was read; 0xFFFFFFFF when the lock was busy.
  uint32_t (*fill)(InputReader* reader);
  void (*close)(InputReader* reader);
  // Bytes of media data the source holds from the media start, or
  // UINT64_MAX when it cannot tell. May be null (cannot tell).
  uint64_t (*media_size)(InputReader* reader);

  void* owner;                          // the MediaFile
  std::atomic<uint32_t> error;          // a frame read came up short: every later read gives 0
  std::atomic<uint32_t> reading_now;    // 1 while fill is inside its device read
  std::atomic<uint32_t> bytes_read;     // by fills and direct frame reads
  std::atomic<uint32_t> decode_mark;    // set by the core while it decodes, copies or advances
  std::atomic<uint32_t> device_time;    // ms in device reads (fills and direct), throttling included
  std::atomic<uint32_t> frame_read_time;  // ms inside read-frame
  std::atomic<uint32_t> idle_time;      // ms of fills while the decode mark was clear
  std::atomic<uint32_t> background_time;  // ms of fills while it was set
  uint32_t ring_size;                   // multiple of 64 KiB; 0 = no ring
  std::atomic<uint32_t> highest_fill;
  std::atomic<uint32_t> target;         // bytes the reader tries to keep in the ring
  std::atomic<uint32_t> buffered;       // bytes in the ring not yet consumed
  PlatformFile file;
  uint32_t device_position;             // next byte to read from the device
  uint32_t logical_position;            // next byte the core will consume
  uint8_t* ring_read;
  std::atomic<uint32_t> ring_free;
  uint8_t* ring_start;
  uint8_t* ring_end;
  uint8_t* ring_write;
  uint32_t callers_handle;              // 1: the handle is the caller's and stays open
  uint64_t media_start;                 // file offset of the media data
  // Data size + 8; lowered by a fill (on the reader thread) to where the
  // device ran out.
  std::atomic<uint32_t> end_offset;
  uint32_t simulated_speed;             // bytes per second, 0 = none
  int32_t simulated_debt;               // ms

  // Lock operations on the reader node's mutex, installed by the open. The
  // lock is recursive. Without a mutex lock and unlock do nothing and
  // try-lock succeeds.
  void (*lock)(InputReader* reader);
  bool (*try_lock)(InputReader* reader);
  void (*unlock)(InputReader* reader);
  void (*yield)(InputReader* reader);
  PlatformMutex* mutex;
};

// Prepares a zeroed reader (atomics included).
void InputReaderClear(InputReader* reader);

// The file opener: fills `reader` from a file name, or from an open handle
// (passed as the source, cast from PlatformFile) when `flags` has
// OPEN_FILE_HANDLE; the handle's current position is where the media data
// starts. Returns 1, or 0 when the file cannot be opened.
using InputOpener = int (*)(InputReader* reader, const void* source, uint32_t flags);
int FileInputOpen(InputReader* reader, const void* source, uint32_t flags);

// Installs the lock operations on `mutex` (null: no locking).
void InputReaderInstallLocks(InputReader* reader, PlatformMutex* mutex);

struct ServiceNode;
// The reader's client operations for the reader service thread: the need is
// the emptier-is-more-urgent fill percentage below half full, and otherwise
// one more chunk per pass. node->client is the InputReader.
uint32_t ReaderClientNeed(ServiceNode* node, uint32_t pass);
void ReaderClientService(ServiceNode* node, uint32_t pass);

// Moves a reader's state into a cleared one (the open reads the header
// through a reader on its stack before the MediaFile exists).
void InputReaderMove(InputReader* to, InputReader* from);
