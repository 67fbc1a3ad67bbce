#include "display/frame_copy.h"

#include <algorithm>

#include "base/cpu_features.h"
#include "display/copy_flags.h"
#include "display/copy_walk.h"
#include "display/converter.h"
#include "video/frame_buffers.h"

namespace {

void SetMark(CopyFrameState* m, uint32_t on) {
  if (m->decode_mark) m->decode_mark->store(on, std::memory_order_relaxed);
}

uint32_t Scale(uint32_t value, uint32_t to, uint32_t from) {
  if (from == 0) return value;
  return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(value) * to / from, 0xFFFFFFFFu));
}

uint32_t AlreadySkipped(const CopyFrameState* m) { return m->clock_ops ? m->clock_ops->skipped(m->clock) : 0; }

}  // namespace

int CopyFrameToSurface(CopyFrameState* m, uint8_t* dest, int32_t pitch, uint32_t destHeight, uint32_t destX,
                       uint32_t destY, uint32_t srcX, uint32_t srcY, uint32_t srcWidth, uint32_t srcHeight,
                       uint32_t copyFlags) {
  if (!m || !dest || !m->frames) return 0;
  const FrameBuffers* fb = m->frames;
  const PlaneSet& set = fb->sets[fb->current & 1];
  if (!set.plane[PLANE_Y].pixels || !set.plane[PLANE_CHROMA1].pixels || !set.plane[PLANE_CHROMA2].pixels) return 0;

  // The rectangle in picture pixels, clamped to the picture.
  const uint32_t pictureWidth = std::min(m->video_width, fb->y_width);
  const uint32_t pictureHeight = std::min(m->video_height, fb->y_height);
  CopyRect rect{Scale(srcX, m->video_width, m->output_width), Scale(srcY, m->video_height, m->output_height),
                Scale(srcWidth, m->video_width, m->output_width), Scale(srcHeight, m->video_height, m->output_height)};
  rect.x = std::min(rect.x, pictureWidth);
  rect.y = std::min(rect.y, pictureHeight);
  rect.width = std::min(rect.width, pictureWidth - rect.x);
  rect.height = std::min(rect.height, pictureHeight - rect.y);
  const uint32_t skipped = AlreadySkipped(m);
  if (rect.width == 0 || rect.height == 0 || skipped) return skipped ? 1 : 0;

  copyFlags |= m->open_flags & COPY_FROM_OPEN_FLAGS;
  SetMark(m, 1);
  const bool hasAlpha = set.plane[PLANE_ALPHA].present && set.plane[PLANE_ALPHA].pixels;
  if (!hasAlpha) copyFlags &= ~COPY_ALPHA_AS_LUMA;

  const bool no_skip = ((copyFlags | m->open_flags) & COPY_NO_SKIP) != 0;
  const CopyLateness lateness = m->clock_ops ? m->clock_ops->judge(m->clock, no_skip) : LATENESS_ON_TIME;
  if (lateness == LATENESS_SKIPPED) {
    SetMark(m, 0);
    return 1;
  }

  if (!(copyFlags & COPY_NO_READ_AHEAD) && m->top_up) m->top_up(m->top_up_context);

  m->last_copy_flags = copyFlags;
  const bool changedOnly = !(copyFlags & COPY_ALL) && m->change_map && m->unchanged_areas >= m->block_count / 4;
  CopyPlanes planes{};
  planes.y = set.plane[PLANE_Y].pixels;
  planes.y_pitch = set.plane[PLANE_Y].pitch;
  planes.chroma1 = set.plane[PLANE_CHROMA1].pixels;
  planes.chroma1_pitch = set.plane[PLANE_CHROMA1].pitch;
  planes.chroma2 = set.plane[PLANE_CHROMA2].pixels;
  planes.chroma2_pitch = set.plane[PLANE_CHROMA2].pitch;
  planes.alpha = hasAlpha ? set.plane[PLANE_ALPHA].pixels : nullptr;
  planes.alpha_pitch = set.plane[PLANE_ALPHA].pitch;
  planes.width = pictureWidth;
  planes.height = pictureHeight;
  planes.change_map = m->change_map;
  planes.change_map_pitch = m->change_map_pitch;
  CopyPictureToSurface(planes, dest, pitch, destHeight, destX, destY, rect, copyFlags, changedOnly,
                       UsableFeatures());

  SetMark(m, 0);
  return lateness == LATENESS_LATE_SHOWN ? 1 : 0;
}
