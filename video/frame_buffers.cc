#include "video/frame_buffers.h"

#include <cstring>

#include "base/block_planner.h"
#include "base/core_alloc.h"
#include "base/open_flags.h"
#include "video/frame_worker.h"

namespace {

inline uint32_t RoundUp8(uint32_t v) { return (v + 7) & ~7u; }

constexpr uint64_t kMaxPlaneBytes = 0x7FFFFFFFull;

}  // namespace

void InitFrameBuffers(FrameBuffers* fb, uint32_t width, uint32_t height, uint32_t open_flags,
                      bool all_key_frames) {
  std::memset(fb, 0, sizeof(*fb));
  fb->set_count = all_key_frames ? 1 : 2;
  fb->y_width = RoundUp8(width);
  fb->y_height = RoundUp8(height);
  fb->chroma_width = RoundUp8(uint32_t((uint64_t(width) + 1) / 2));
  fb->chroma_height = RoundUp8(uint32_t((uint64_t(height) + 1) / 2));
  fb->current = 0;
  for (uint32_t s = 0; s < fb->set_count; ++s) {
    fb->sets[s].plane[PLANE_Y].present = 1;
    fb->sets[s].plane[PLANE_CHROMA1].present = 1;
    fb->sets[s].plane[PLANE_CHROMA2].present = 1;
    fb->sets[s].plane[PLANE_ALPHA].present = (open_flags & FLAG_ALPHA) ? 1 : 0;
  }
}

void BundleBuffersPlan(BundleBuffers* buffers, uint32_t output_width) {
  ComputeBundleCapacities(output_width, &buffers->caps);
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id)
    PlannerRecord(reinterpret_cast<void**>(&buffers->data[id]),
                  buffers->caps.bytes[id] + kBundleSlackBytes);
}

FrameBuffers* FrameBuffersAllocate(uint32_t width, uint32_t height, uint32_t open_flags,
                                   bool all_key_frames, BundleBuffers* bundles, uint32_t output_width) {
  if (width == 0 || height == 0 || width > 0x10000 || height > 0x10000) return nullptr;
  FrameBuffers fb;
  InitFrameBuffers(&fb, width, height, open_flags, all_key_frames);
  for (uint32_t s = 0; s < fb.set_count; ++s) {
    for (uint32_t p = 0; p < 4; ++p) {
      DecodedPlane* plane = &fb.sets[s].plane[p];
      if (!plane->present) continue;
      uint64_t bytes = uint64_t(PlaneWidth(&fb, p)) * PlaneHeight(&fb, p);
      if (bytes > kMaxPlaneBytes) return nullptr;
      plane->pitch = int32_t(PlaneWidth(&fb, p));
      PlannerRecord(reinterpret_cast<void**>(&plane->pixels), uint32_t(bytes));
    }
  }
  BundleBuffers planned;
  if (bundles) BundleBuffersPlan(&planned, output_width < width ? width : output_width);
  auto* out = static_cast<FrameBuffers*>(PlannerCommit(sizeof(FrameBuffers)));
  if (!out) return nullptr;
  *out = fb;
  if (bundles) *bundles = planned;
  FrameBuffersClear(out);
  return out;
}

void FrameBuffersFree(FrameBuffers* fb) {
  if (fb) FrameWorkerDestroy(fb->worker);
  CoreFree(fb);
}

void FrameBuffersClear(FrameBuffers* fb) {
  static constexpr uint8_t kInitial[4] = {kPlaneInitialLuma, kPlaneInitialChroma,
                                          kPlaneInitialChroma, kPlaneInitialAlpha};
  for (uint32_t s = 0; s < fb->set_count; ++s)
    for (uint32_t p = 0; p < 4; ++p) {
      DecodedPlane* plane = &fb->sets[s].plane[p];
      if (plane->present && plane->pixels)
        std::memset(plane->pixels, kInitial[p], size_t(plane->pitch) * PlaneHeight(fb, p));
    }
}
