#include "video/frame_decoder.h"

#include <cstring>

#include "base/clock.h"
#include "base/open_flags.h"
#include "base/cpu_features.h"
#include "video/frame_worker.h"
#include "video/plane_decoder.h"

namespace {

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A length field at offset `at` whose value counts its own four bytes: the
// offset of the next item, or 0 when the field or its item leaves the data.
uint32_t FollowLength(const uint8_t* video, uint32_t size, uint32_t at) {
  if (size < 4 || at > size - 4) return 0;
  uint32_t length = LoadLe32(video + at);
  if (length < 4 || length > size - at) return 0;
  return at + length;
}

struct FrameDecode {
  const uint8_t* video;
  uint32_t size;
  const BundleBuffers* bundles;
  bool old_colours;
  uint8_t* map;
  int map_pitch;
  VideoError error;
  uint32_t failed_plane;
};

// Decodes plane p of the destination set from `start`; false on failure.
bool DecodeOne(FrameDecode* f, uint32_t p, const FrameBuffers* fb, const PlaneSet* dst,
               const PlaneSet* ref, uint32_t start, PlaneDecodeResult* out, uint8_t* skip_counts = nullptr,
               BlockQueue* queue = nullptr) {
  PlaneDecodeArgs a;
  a.stream = f->video + start;
  a.stream_size = f->size - start;
  a.destination = dst->plane[p].pixels;
  a.reference = ref->plane[p].pixels;
  a.width = PlaneWidth(fb, p);
  a.height = PlaneHeight(fb, p);
  a.pitch = dst->plane[p].pitch;
  a.change_map = f->map;
  a.map_pitch = f->map_pitch;
  a.map_step = (p == PLANE_CHROMA1 || p == PLANE_CHROMA2) ? 2 : 1;
  a.bundles = f->bundles;
  a.old_colours = f->old_colours;
  a.skip_counts = skip_counts;
  a.queue = queue;
  if (!DecodePlane(&a, out)) {
    f->error = out->error;
    f->failed_plane = p;
    return false;
  }
  return true;
}

// The planes a frame decodes, in stream order.
struct PlaneOrder {
  uint32_t plane[4];
  uint32_t count;
};

// After invalid data: every plane from order index `from` on that the frame
// did not reach takes the reference's pixels, so the new set shows the
// previous frame wherever this one was not decoded. Reports the error.
int32_t Fail(const FrameBuffers* fb, const PlaneSet* dst, const PlaneSet* ref, const PlaneOrder& order,
             uint32_t from, VideoFrameStatus* status, VideoError error, uint32_t plane) {
  if (dst != ref)
    for (uint32_t k = from; k < order.count; ++k) {
      const uint32_t p = order.plane[k];
      std::memcpy(dst->plane[p].pixels, ref->plane[p].pixels,
                  size_t(dst->plane[p].pitch) * PlaneHeight(fb, p));
    }
  if (status) {
    status->error = error;
    status->plane = plane;
  }
  return 0;
}

size_t PlaneBytes(const FrameBuffers* fb, const PlaneSet* set, uint32_t p) {
  return size_t(set->plane[p].pitch) * PlaneHeight(fb, p);
}

// The two chroma planes, decoded on the worker while the caller decodes the
// alpha and luma planes. The worker marks its own map; its chroma-2 skip
// blocks that found their area unmarked there are counted per area, so that
// the caller can drop those whose area the alpha or luma plane marked.
struct ChromaJob {
  FrameWorker* worker;
  const FrameBuffers* fb;
  const PlaneSet* dst;
  const PlaneSet* ref;
  const uint8_t* video;
  uint32_t size;
  uint32_t start;  // chroma plane 1
  bool old_colours;
  bool record;  // the planes' copies and transform blocks go through the queues
  VideoError error;
  uint32_t failed_plane;
  uint64_t read_ticks;  // the worker's reading of the planes
};

uint64_t Ticks() {
  uint64_t t = 0;
  PlatformHighResCounter(&t);
  return t;
}

// A side that has read its planes (own_first, own_second): makes recorded
// blocks until both sides' are all made, the other side's first (that side
// may still be reading, and its blocks would wait for it), and says when its
// own are all made. The caller's side (`caller`) returns once its own are
// made if the worker has not taken the chroma job: FrameWorkerWait then runs
// it on the caller.
void FinishSide(FrameWorker* w, uint32_t own_first, uint32_t own_second, uint32_t other_first,
                uint32_t other_second, bool caller) {
  BlockQueue* queues[4] = {&w->queues[other_first], &w->queues[other_second], &w->queues[own_first],
                           &w->queues[own_second]};
  std::atomic<bool>& own_done = caller ? w->caller_done : w->worker_done;
  const std::atomic<bool>& other_done = caller ? w->worker_done : w->caller_done;
  bool done = false;
  uint32_t spins = 0;
  for (;;) {
    bool made = false;
    for (BlockQueue* q : queues)
      if ((made = BlockQueueMakeOne(q))) break;
    if (made) {
      spins = 0;
      continue;
    }
    // Nothing left to take: own blocks others took may still be in the making.
    if (!done && BlockQueueMade(queues[2]) && BlockQueueMade(queues[3])) {
      own_done.store(true, std::memory_order_release);
      done = true;
    }
    if (done && (other_done.load(std::memory_order_acquire) ||
                 (caller && w->taken.load(std::memory_order_acquire) == 0)))
      return;
    BlockQueuePause(&spins);
  }
}

void RunChromaJob(void* argument) {
  auto* j = static_cast<ChromaJob*>(argument);
  FrameWorker* w = j->worker;
  const size_t map_bytes = size_t(w->map_pitch) * w->map_rows;
  std::memset(w->marks, 0, map_bytes);
  std::memset(w->skip_counts, 0, map_bytes);
  if (j->dst == j->ref)
    for (uint32_t k = 0; k < 2; ++k)
      std::memcpy(w->backup[k], j->dst->plane[PLANE_CHROMA1 + k].pixels, PlaneBytes(j->fb, j->dst, PLANE_CHROMA1 + k));
  FrameDecode f{j->video, j->size, &w->bundles, j->old_colours, w->marks, int(w->map_pitch), VIDEO_OK, PLANE_Y};
  PlaneDecodeResult r;
  BlockQueue* q1 = j->record ? &w->queues[PLANE_CHROMA1] : nullptr;
  BlockQueue* q2 = j->record ? &w->queues[PLANE_CHROMA2] : nullptr;
  const uint64_t start = Ticks();
  if (DecodeOne(&f, PLANE_CHROMA1, j->fb, j->dst, j->ref, j->start, &r, nullptr, q1))
    DecodeOne(&f, PLANE_CHROMA2, j->fb, j->dst, j->ref, j->start + r.end_offset, &r, w->skip_counts, q2);
  j->read_ticks = Ticks() - start;
  j->error = f.error;
  j->failed_plane = f.failed_plane;
  if (j->record) FinishSide(w, PLANE_CHROMA1, PLANE_CHROMA2, PLANE_ALPHA, PLANE_Y, false);
}

// After the worker's chroma planes: the chroma-2 skip blocks whose area the
// caller's planes left unmarked, then the worker's marks into the map.
int32_t MergeMarks(const FrameWorker* w, uint8_t* map, int map_pitch) {
  int32_t unchanged = 0;
  for (uint32_t row = 0; row < w->map_rows; ++row) {
    uint8_t* out = map + size_t(row) * map_pitch;
    const uint8_t* marks = w->marks + size_t(row) * w->map_pitch;
    const uint8_t* skips = w->skip_counts + size_t(row) * w->map_pitch;
    for (uint32_t c = 0; c < w->map_pitch; ++c) {
      if (!out[c]) unchanged += skips[c];
      if (marks[c]) out[c] = 1;
    }
  }
  return unchanged;
}

}  // namespace

int32_t DecodeVideoFrame(FrameBuffers* fb, uint8_t* change_map, int map_pitch, const uint8_t* video,
                         uint32_t video_size, bool key_frame, const BundleBuffers* bundles,
                         uint32_t open_flags, uint32_t video_flags, VideoFrameStatus* status) {
  (void)key_frame;
  ProcessorFeatures();  // probed once per process for the converters
  if (status) {
    status->error = VIDEO_OK;
    status->plane = PLANE_Y;
  }
  FrameDecode f{video, video_size, bundles, (open_flags & FLAG_OLD_BITSTREAM) != 0, change_map,
                map_pitch, VIDEO_OK, PLANE_Y};
  if (!fb->sets[fb->current].plane[PLANE_Y].pixels) {
    if (status) *status = VideoFrameStatus{VIDEO_ERROR_NO_PLANES, PLANE_Y};
    return 0;
  }

  // Decode into the other set when it exists; refer to the current one.
  const uint32_t old = fb->current;
  if (fb->sets[old ^ 1].plane[PLANE_Y].pixels) fb->current = old ^ 1;
  const PlaneSet* dst = &fb->sets[fb->current];
  const PlaneSet* ref = &fb->sets[old];
  PlaneDecodeResult r;

  const bool alpha = (video_flags & FLAG_ALPHA) && (open_flags & FLAG_ALPHA) && dst->plane[PLANE_ALPHA].pixels &&
                     ref->plane[PLANE_ALPHA].pixels;
  const bool colour = !(open_flags & FLAG_GRAYSCALE);
  PlaneOrder order{{}, 0};
  if (alpha) order.plane[order.count++] = PLANE_ALPHA;
  const uint32_t y_index = order.count;
  order.plane[order.count++] = PLANE_Y;
  if (colour) {
    order.plane[order.count++] = PLANE_CHROMA1;
    order.plane[order.count++] = PLANE_CHROMA2;
  }
  auto fail_at = [&](uint32_t from, VideoError e, uint32_t plane) {
    return Fail(fb, dst, ref, order, from, status, e, plane);
  };
  // A plane that fails has already taken the reference where it stopped.
  auto failed = [&](uint32_t index) { return fail_at(index + 1, f.error, f.failed_plane); };

  // With a worker, and the chroma start known before the luma plane is
  // decoded (a length field in front of every plane before it), the chroma
  // planes go to the worker. Any other frame decodes plane after plane here.
  FrameWorker* worker = fb->worker;
  uint32_t split_at = 0, chroma_at = 0;
  bool split = colour && !(open_flags & FLAG_OLD_BITSTREAM) && FrameWorkerUsable(worker) &&
               std::memcmp(&worker->bundles.caps, &bundles->caps, sizeof(BundleCapacities)) == 0;
  if (split && (video_flags & FLAG_ALPHA)) split = (split_at = FollowLength(video, video_size, 0)) != 0;
  if (split) split = (chroma_at = FollowLength(video, video_size, split_at)) != 0;
  if (split) {
    // With two sets each side also hands out its copies and transform blocks.
    const bool record = dst != ref && worker->queues[PLANE_Y].records;
    for (BlockQueue& q : worker->queues) BlockQueueReset(&q);
    worker->caller_done.store(false, std::memory_order_relaxed);
    worker->worker_done.store(false, std::memory_order_relaxed);
    ChromaJob job{worker, fb, dst, ref, video, video_size, chroma_at, f.old_colours, record, VIDEO_OK, PLANE_Y, 0};
    const uint64_t start = Ticks();
    FrameWorkerBegin(worker, RunChromaJob, &job);
    uint32_t failed_index = 0;
    bool ok = !alpha ||
              DecodeOne(&f, PLANE_ALPHA, fb, dst, ref, 4, &r, nullptr, record ? &worker->queues[PLANE_ALPHA] : nullptr);
    if (ok) {
      failed_index = y_index;
      ok = DecodeOne(&f, PLANE_Y, fb, dst, ref, split_at + 4, &r, nullptr, record ? &worker->queues[PLANE_Y] : nullptr);
    }
    const uint64_t caller_read = Ticks() - start;
    if (record) FinishSide(worker, PLANE_ALPHA, PLANE_Y, PLANE_CHROMA1, PLANE_CHROMA2, true);
    FrameWorkerWait(worker);
    FrameWorker::Times& t = worker->times;
    ++t.frames;
    t.caller_read += caller_read;
    t.worker_read += job.read_ticks;
    t.longest_read += caller_read > job.read_ticks ? caller_read : job.read_ticks;
    if (!ok) {
      // The frame stops before the chroma planes: they must not show what
      // the worker made of them.
      if (dst == ref)
        for (uint32_t k = 0; k < 2; ++k)
          std::memcpy(dst->plane[PLANE_CHROMA1 + k].pixels, worker->backup[k], PlaneBytes(fb, dst, PLANE_CHROMA1 + k));
      return failed(failed_index);
    }
    const int32_t unchanged = MergeMarks(worker, change_map, map_pitch);
    if (job.error != VIDEO_OK) {
      f.error = job.error;
      f.failed_plane = job.failed_plane;
      return failed(job.failed_plane == PLANE_CHROMA1 ? y_index + 1 : y_index + 2);
    }
    return unchanged;
  }

  uint32_t at = 0;
  if (video_flags & FLAG_ALPHA) {
    uint32_t next = FollowLength(video, video_size, 0);
    if (!next) return fail_at(0, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_ALPHA);
    if (alpha && !DecodeOne(&f, PLANE_ALPHA, fb, dst, ref, 4, &r)) return failed(0);
    at = next;
  }

  uint32_t next_plane = 0;
  if (!(open_flags & FLAG_OLD_BITSTREAM)) {
    next_plane = FollowLength(video, video_size, at);
    if (!next_plane) return fail_at(y_index, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_Y);
    at += 4;
  } else if (at > video_size) {
    return fail_at(y_index, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_Y);
  }
  if (!DecodeOne(&f, PLANE_Y, fb, dst, ref, at, &r)) return failed(y_index);
  if (open_flags & FLAG_OLD_BITSTREAM) next_plane = at + r.end_offset;
  int32_t result = r.unchanged / 4;

  if (colour) {
    if (next_plane > video_size) return fail_at(y_index + 1, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_CHROMA1);
    if (!DecodeOne(&f, PLANE_CHROMA1, fb, dst, ref, next_plane, &r)) return failed(y_index + 1);
    next_plane += r.end_offset;
    if (!DecodeOne(&f, PLANE_CHROMA2, fb, dst, ref, next_plane, &r)) return failed(y_index + 2);
    result = r.unchanged;
  }
  return result;
}
