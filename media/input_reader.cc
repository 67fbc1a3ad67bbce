#include "media/input_reader.h"

#include <cstring>

#include "base/open_flags.h"
#include "base/timer.h"
#include "base/clock.h"
#include "base/thread.h"

namespace {

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

// Throttles to the simulated device speed after a read of n bytes that
// started at t0. A read slower than the simulated speed leaves a negative
// debt that later reads use up.
void ApplySimulatedSpeed(InputReader* r, uint32_t n, uint32_t t0) {
  if (!r->simulated_speed) return;
  const uint32_t now = MediaTimer();
  r->simulated_debt += int32_t(uint64_t(n) * 1000u / r->simulated_speed) - int32_t(now - t0);
  while (r->simulated_debt > 0) {
    const uint32_t check = MediaTimer();
    uint32_t elapsed = 0;
    do {
      r->yield(r);
      elapsed = MediaTimer() - check;
    } while (elapsed < uint32_t(r->simulated_debt));
    r->simulated_debt -= int32_t(elapsed);
  }
}

// Reads from the device at the device position; a short read sets the error.
uint32_t DeviceRead(InputReader* r, void* destination, uint32_t size) {
  const uint32_t n = PlatformRead(r->file, destination, size);
  if (n < size) r->error = 1;
  r->device_position += n;
  return n;
}

bool SeekDevice(InputReader* r, uint32_t offset) {
  if (!PlatformSeek(r->file, r->media_start + offset)) {
    r->error = 1;
    return false;
  }
  r->device_position = offset;
  return true;
}

uint32_t FileReadHeader(InputReader* r, uint32_t offset, void* destination, uint32_t size) {
  r->lock(r);
  uint32_t n = 0;
  if (offset == kReadFromDevicePosition || offset == r->device_position || SeekDevice(r, offset)) {
    n = PlatformRead(r->file, destination, size);
    if (n < size) r->error = 1;
    r->device_position += n;
  }
  r->logical_position = r->device_position;
  const uint32_t end = r->end_offset;
  r->target = Min(r->ring_size, end - Min(end, r->device_position));
  r->unlock(r);
  return n;
}

void EmptyRing(InputReader* r) {
  r->ring_free = r->ring_size;
  r->buffered = 0;
  r->ring_read = r->ring_write = r->ring_start;
}

uint32_t FileReadFrame(InputReader* r, uint32_t frame_index, uint32_t offset, void* destination,
                       uint32_t size) {
  if (r->error) return 0;
  const uint32_t t0 = MediaTimer();
  bool locked = false;
  auto* out = static_cast<uint8_t*>(destination);

  if (offset != kReadFromDevicePosition && offset != r->logical_position) {
    r->lock(r);
    locked = true;
    if (r->logical_position < offset && offset <= r->device_position) {
      // Inside what the ring already holds: skip forward.
      const uint32_t skip = offset - r->logical_position;
      const uint32_t at = uint32_t(r->ring_read - r->ring_start) + skip;
      r->ring_read = r->ring_start + (at >= r->ring_size ? at - r->ring_size : at);
      r->ring_free += skip;
      r->buffered -= skip;
      r->logical_position = offset;
    } else {
      SeekDevice(r, offset);
      r->logical_position = offset;
      EmptyRing(r);
    }
  }

  uint32_t delivered = 0;
  while (!r->error) {
    uint32_t n = Min(r->buffered, size - delivered);
    if (n) {
      r->logical_position += n;
      const uint32_t to_end = uint32_t(r->ring_end - r->ring_read);
      const uint32_t first = Min(n, to_end);
      std::memcpy(out + delivered, r->ring_read, first);
      r->ring_read += first;
      if (r->ring_read == r->ring_end) r->ring_read = r->ring_start;
      r->buffered -= first;
      r->ring_free += first;
      delivered += first;
      if (first < n) {
        std::memcpy(out + delivered, r->ring_read, n - first);
        r->ring_read += n - first;
        r->buffered -= n - first;
        r->ring_free += n - first;
        delivered += n - first;
      }
    }
    if (delivered == size) break;
    if (!locked) {
      // The reader may have added data meanwhile; look again under the lock.
      r->lock(r);
      locked = true;
      continue;
    }
    // The ring is dry: read the rest straight from the device.
    const uint32_t t1 = MediaTimer();
    const uint32_t want = size - delivered;
    const uint32_t got = DeviceRead(r, out + delivered, want);
    r->logical_position += got;
    r->bytes_read += got;
    delivered += got;
    ApplySimulatedSpeed(r, got, t1);
    r->device_time += MediaTimer() - t1;
    break;
  }

  r->frame_read_time += MediaTimer() - t0;
  const uint32_t end = r->end_offset;
  uint32_t target = Min(end - Min(end, r->logical_position), r->ring_size);
  if (r->buffered + kReadChunk > target) target = r->buffered;  // only whole chunks are added
  r->target = target;
  if (locked) r->unlock(r);
  return delivered;
}

uint32_t FileSizeRule(InputReader*, uint32_t size) {
  if (size > 0xFFFFFFFFu - (kReadChunk - 1)) return 0xFFFF0000u;
  return (size + kReadChunk - 1) & ~(kReadChunk - 1);
}

void FileSetRing(InputReader* r, void* buffer, uint32_t size, uint32_t end_offset, uint32_t speed) {
  r->lock(r);
  r->ring_size = buffer ? size & ~(kReadChunk - 1) : 0;
  r->ring_start = static_cast<uint8_t*>(buffer);
  r->ring_end = r->ring_start + r->ring_size;
  EmptyRing(r);
  r->end_offset = end_offset;
  r->simulated_speed = speed;
  r->unlock(r);
}

uint32_t FileFill(InputReader* r) {
  if (r->error) return 0;
  if (!r->try_lock(r)) {
    r->yield(r);
    return 0xFFFFFFFFu;
  }
  const uint32_t end = r->end_offset;
  if (r->ring_free < kReadChunk || end < r->device_position || end - r->device_position < kReadChunk) {
    r->target = r->buffered.load();
    r->unlock(r);
    return 0;
  }
  const uint32_t t0 = MediaTimer();
  const bool mark_before = r->decode_mark != 0;
  r->reading_now = 1;
  const uint32_t n = PlatformRead(r->file, r->ring_write, kReadChunk);
  r->reading_now = 0;
  r->device_position += n;
  // A short chunk is where the file really ends (cut off, or shorter than
  // its header says). What came is kept, and reading ahead stops there; the
  // frames the ring holds still play, and the first frame that needs more
  // meets the short read itself.
  if (n < kReadChunk) r->end_offset = r->device_position;
  r->bytes_read += n;
  r->ring_write += n;
  if (r->ring_write >= r->ring_end) r->ring_write = r->ring_start;
  r->ring_free -= n;
  const uint32_t now_buffered = (r->buffered += n);
  uint32_t highest = r->highest_fill;
  while (now_buffered > highest && !r->highest_fill.compare_exchange_weak(highest, now_buffered)) {
  }
  ApplySimulatedSpeed(r, n, t0);
  const uint32_t t = MediaTimer() - t0;
  r->device_time += t;
  if (mark_before || r->decode_mark)
    r->background_time += t;
  else
    r->idle_time += t;
  r->unlock(r);
  return n;
}

uint64_t FileMediaSize(InputReader* r) {
  const uint64_t size = PlatformFileSize(r->file);
  if (size == UINT64_MAX) return UINT64_MAX;
  return size > r->media_start ? size - r->media_start : 0;
}

void FileClose(InputReader* r) {
  if (r->file != kNoFile && !r->callers_handle) PlatformClose(r->file);
  r->file = kNoFile;
}

void LockMutex(InputReader* r) {
  if (r->mutex) PlatformMutexLock(r->mutex);
}
bool TryLockMutex(InputReader* r) { return !r->mutex || PlatformMutexTryLock(r->mutex); }
void UnlockMutex(InputReader* r) {
  if (r->mutex) PlatformMutexUnlock(r->mutex);
}
void YieldOnce(InputReader*) { PlatformYield(); }

}  // namespace

void InputReaderClear(InputReader* r) {
  r->read_header = nullptr;
  r->read_frame = nullptr;
  r->size_rule = nullptr;
  r->set_ring = nullptr;
  r->fill = nullptr;
  r->close = nullptr;
  r->media_size = nullptr;
  r->owner = nullptr;
  for (auto* a : {&r->error, &r->reading_now, &r->bytes_read, &r->decode_mark, &r->device_time,
                  &r->frame_read_time, &r->idle_time, &r->background_time, &r->highest_fill, &r->target,
                  &r->buffered, &r->ring_free})
    a->store(0);
  r->ring_size = 0;
  r->file = kNoFile;
  r->device_position = r->logical_position = 0;
  r->ring_read = r->ring_start = r->ring_end = r->ring_write = nullptr;
  r->callers_handle = 0;
  r->media_start = 0;
  r->end_offset = 0;
  r->simulated_speed = 0;
  r->simulated_debt = 0;
  InputReaderInstallLocks(r, nullptr);
}

void InputReaderInstallLocks(InputReader* r, PlatformMutex* mutex) {
  r->mutex = mutex;
  r->lock = LockMutex;
  r->try_lock = TryLockMutex;
  r->unlock = UnlockMutex;
  r->yield = YieldOnce;
}

int FileInputOpen(InputReader* r, const void* source, uint32_t flags) {
  if (flags & OPEN_FILE_HANDLE) {
    r->file = PlatformFile(reinterpret_cast<intptr_t>(source));
    r->callers_handle = 1;
    const uint64_t at = PlatformTell(r->file);
    if (at == UINT64_MAX) return 0;
    r->media_start = at;
  } else {
    r->file = PlatformOpenRead(static_cast<const char*>(source));
    if (r->file == kNoFile) return 0;
    r->callers_handle = 0;
    r->media_start = 0;
  }
  r->read_header = FileReadHeader;
  r->read_frame = FileReadFrame;
  r->size_rule = FileSizeRule;
  r->set_ring = FileSetRing;
  r->fill = FileFill;
  r->close = FileClose;
  r->media_size = FileMediaSize;
  return 1;
}

#include "media/service_thread.h"

uint32_t ReaderClientNeed(ServiceNode* node, uint32_t pass) {
  auto* r = static_cast<InputReader*>(node->client);
  // A reader that failed will never fill again: asking for service would
  // keep the pass spinning.
  if (r->error) return 0;
  const uint64_t p = (uint64_t(r->buffered) + 1) * 100u / (uint64_t(r->target) + 1);
  if (p < 50) return 0xFFFFFFFFu - uint32_t(p);
  if (node->last_serviced_pass == pass) return 0;
  return 0x80000000u - node->last_serviced_pass;
}

void ReaderClientService(ServiceNode* node, uint32_t pass) {
  auto* r = static_cast<InputReader*>(node->client);
  r->fill(r);
  node->last_serviced_pass = pass;
}

void InputReaderMove(InputReader* to, InputReader* from) {
  to->read_header = from->read_header;
  to->read_frame = from->read_frame;
  to->size_rule = from->size_rule;
  to->set_ring = from->set_ring;
  to->fill = from->fill;
  to->close = from->close;
  to->media_size = from->media_size;
  to->owner = from->owner;
  to->error = from->error.load();
  to->reading_now = from->reading_now.load();
  to->bytes_read = from->bytes_read.load();
  to->decode_mark = from->decode_mark.load();
  to->device_time = from->device_time.load();
  to->frame_read_time = from->frame_read_time.load();
  to->idle_time = from->idle_time.load();
  to->background_time = from->background_time.load();
  to->ring_size = from->ring_size;
  to->highest_fill = from->highest_fill.load();
  to->target = from->target.load();
  to->buffered = from->buffered.load();
  to->file = from->file;
  to->device_position = from->device_position;
  to->logical_position = from->logical_position;
  to->ring_read = from->ring_read;
  to->ring_free = from->ring_free.load();
  to->ring_start = from->ring_start;
  to->ring_end = from->ring_end;
  to->ring_write = from->ring_write;
  to->callers_handle = from->callers_handle;
  to->media_start = from->media_start;
  to->end_offset = from->end_offset.load();
  to->simulated_speed = from->simulated_speed;
  to->simulated_debt = from->simulated_debt;
  to->lock = from->lock;
  to->try_lock = from->try_lock;
  to->unlock = from->unlock;
  to->yield = from->yield;
  to->mutex = from->mutex;
  from->file = kNoFile;
  from->close = nullptr;
}
