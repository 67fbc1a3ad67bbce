#include "display/frame_copy.h"

#include <algorithm>

#include "display/copy_flags.h"
#include "display/copy_walk.h"
#include "display/converter.h"
#include "base/timer.h"
#include "video/frame_buffers.h"

namespace {

void SetMark(CopyFrameState* m, uint32_t on) {
  if (m->decode_mark) m->decode_mark->store(on, std::memory_order_relaxed);
}

uint32_t Scale(uint32_t value, uint32_t to, uint32_t from) {
  if (from == 0) return value;
  return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(value) * to / from, 0xFFFFFFFFu));
}

enum class Lateness { kOnTime, kLateShown, kSkipped };

// Whether this frame is too late to be worth copying. At most three copies in
// a row are skipped; the fourth late frame is shown.
Lateness TestLateness(CopyFrameState* m, uint32_t copyFlags) {
  if (m->open_tracks == 0 || m->rate_dividend == 0 || m->paused) return Lateness::kOnTime;
  const uint32_t now = MediaTimer();
  if (m->clock_base == 0) {
    m->clock_base = now;
    m->clock_base_frame = m->frames_decoded - 1;
    m->paused_elapsed = 0;
  }
  // A late credit larger than the time since the clock base means "not late".
  const int64_t elapsed = static_cast<int64_t>(static_cast<uint32_t>(now - m->clock_base)) - m->late_credit;
  const int64_t due = static_cast<int64_t>(static_cast<uint64_t>(m->frames_decoded - m->clock_base_frame) * 1000 *
                                           m->rate_divisor / m->rate_dividend);
  if (elapsed < due || elapsed - due <= static_cast<int64_t>(m->late_threshold)) {
    m->consecutive_skips = 0;
    return Lateness::kOnTime;
  }
  m->consecutive_skips += 1;
  if (m->consecutive_skips > 3) {
    m->consecutive_skips = 0;
    return Lateness::kLateShown;
  }
  if ((copyFlags | m->open_flags) & COPY_NO_SKIP) return Lateness::kLateShown;
  m->skip_flag = 1;
  m->previous_blit_skipped = 1;
  m->skipped_blits += 1;
  return Lateness::kSkipped;
}

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
  if (rect.width == 0 || rect.height == 0 || m->skip_flag) return m->skip_flag ? 1 : 0;

  copyFlags |= m->open_flags & COPY_FROM_OPEN_FLAGS;
  SetMark(m, 1);
  const bool hasAlpha = set.plane[PLANE_ALPHA].present && set.plane[PLANE_ALPHA].pixels;
  if (!hasAlpha) copyFlags &= ~COPY_ALPHA_AS_LUMA;

  const Lateness lateness = TestLateness(m, copyFlags);
  if (lateness == Lateness::kSkipped) {
    SetMark(m, 0);
    return 1;
  }
  // The surface is brought up to date: the change map may be cleared again.
  m->previous_blit_skipped = 0;

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
                       ConverterFeatures());

  SetMark(m, 0);
  return lateness == Lateness::kLateShown ? 1 : 0;
}
