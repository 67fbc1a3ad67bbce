// The playback summary and the live statistics of a media file.
#include <cstring>

#include "media/media.h"
#include "media/media_file.h"
#include "media/playback_internal.h"
#include "base/timer.h"

namespace {

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v); }

}  // namespace

void MediaGetSummary(MediaFile* m, PlaybackSummary* s) {
  if (!m || !s) return;
  const uint32_t now = MediaTimer();
  MediaBookBlitTime(m, now, true);
  std::memset(s, 0, sizeof(*s));
  uint32_t* w = s->word;
  const InputReader& r = m->reader;
  w[SUMMARY_WIDTH] = m->width;
  w[SUMMARY_HEIGHT] = m->height;
  w[SUMMARY_PLAYBACK_TIME] = m->playback_started ? now - m->playback_start : 0;
  w[SUMMARY_FILE_DIVIDEND] = m->file_dividend;
  w[SUMMARY_FILE_DIVISOR] = m->file_divisor;
  w[SUMMARY_RATE_DIVIDEND] = m->rate_dividend;
  w[SUMMARY_RATE_DIVISOR] = m->rate_divisor;
  w[SUMMARY_OPEN_TIME] = m->open_time;
  w[SUMMARY_FRAME_COUNT] = m->frame_count;
  w[SUMMARY_FRAMES_PLAYED] = m->clock.frames_decoded;
  w[SUMMARY_SKIPPED_FRAMES] = 0;
  w[SUMMARY_SKIPPED_BLITS] = m->clock.skipped_blits;
  w[SUMMARY_SOUND_SKIPS] = m->sound_skips;
  w[SUMMARY_BLIT_TIME] = m->blit_time;
  w[SUMMARY_READ_TIME] = r.frame_read_time;
  w[SUMMARY_VIDEO_TIME] = m->video_time;
  w[SUMMARY_AUDIO_TIME] = m->audio_time;
  w[SUMMARY_IDLE_READ_TIME] = r.idle_time;
  w[SUMMARY_BACKGROUND_READ_TIME] = r.background_time;
  w[SUMMARY_DEVICE_SPEED] = Clamp32(uint64_t(r.bytes_read) * 1000 / (uint64_t(r.device_time) + 1));
  w[SUMMARY_SLOWEST] = m->slowest;
  w[SUMMARY_SECOND_SLOWEST] = m->second_slowest;
  w[SUMMARY_SLOWEST_FRAME] = m->slowest_frame;
  w[SUMMARY_SECOND_SLOWEST_FRAME] = m->second_slowest_frame;
  const uint64_t payload = m->data_size > m->first_frame_offset ? m->data_size - m->first_frame_offset : 0;
  if (m->frame_count && m->file_divisor)
    w[SUMMARY_AVERAGE_RATE] = Clamp32(payload * m->file_dividend / (uint64_t(m->frame_count) * m->file_divisor));
  if (m->frame_count) w[SUMMARY_AVERAGE_FRAME_SIZE] = Clamp32(payload / m->frame_count);
  w[SUMMARY_MEMORY_TOTAL] = m->memory_total;
  w[SUMMARY_INPUT_MEMORY] = m->reader.ring_size;
  w[SUMMARY_INPUT_MEMORY_USED] = r.highest_fill;
  w[SUMMARY_PEAK_RATE] = m->peak_rate;
  w[SUMMARY_PEAK_FRAME] = m->peak_frame + 1;
  w[SUMMARY_CORRUPT_FRAMES] = m->corrupt_frames;
  w[SUMMARY_LAST_CORRUPT_FRAME] = m->last_corrupt_frame;
  w[SUMMARY_INTACT_FRAMES] = m->intact_frames;
  w[SUMMARY_UNREADABLE_FRAME] = m->unreadable_frame;
}

void MediaGetRealtime(MediaFile* m, uint32_t n, RealtimeStats* s) {
  if (!m || !s) return;
  MediaBookBlitTime(m, MediaTimer(), true);
  std::memset(s, 0, sizeof(*s));
  uint32_t* w = s->word;
  const uint32_t rate = m->rounded_rate;
  // Over the last n decodes: at most rounded rate - 1, and no more than
  // have happened.
  if (n == 0 || n > rate - 1) n = rate - 1;
  const uint32_t decoded = m->clock.frames_decoded;
  if (n > (decoded ? decoded - 1 : 0)) n = decoded ? decoded - 1 : 0;
  const uint32_t now_i = m->history_index;
  const uint32_t then_i = (now_i + n) % rate;
  auto span = [&](int ring) { return m->history[ring][now_i] - m->history[ring][then_i]; };
  w[REALTIME_LAST_DECODED_FRAME] = m->last_decoded_frame;
  w[REALTIME_RATE_DIVIDEND] = m->rate_dividend;
  w[REALTIME_RATE_DIVISOR] = m->rate_divisor;
  w[REALTIME_SPAN] = n;
  const uint32_t elapsed = span(HISTORY_START);
  w[REALTIME_ELAPSED] = elapsed ? elapsed : 1;
  w[REALTIME_VIDEO_TIME] = span(HISTORY_VIDEO);
  w[REALTIME_AUDIO_TIME] = span(HISTORY_AUDIO);
  w[REALTIME_READ_TIME] = span(HISTORY_READ);
  w[REALTIME_IDLE_READ_TIME] = span(HISTORY_IDLE_READ);
  w[REALTIME_BACKGROUND_READ_TIME] = span(HISTORY_BACKGROUND_READ);
  w[REALTIME_BLIT_TIME] = span(HISTORY_BLIT);
  w[REALTIME_READ_AHEAD_TARGET] = m->reader.target;
  w[REALTIME_READ_AHEAD_BUFFERED] = m->reader.buffered;
  // Data rate of the last n frames, from the index.
  const int64_t current = m->current_frame;
  if (n && m->file_divisor && current >= 1) {
    const int64_t first = current - int64_t(n);  // 0-based index of frame current - n + 1
    FrameLocation a{}, b{};
    if (first >= 0 && FrameLocate(&m->layout, uint32_t(first), &a) &&
        FrameLocate(&m->layout, uint32_t(current - 1), &b)) {
      const uint64_t bytes = uint64_t(b.offset) + b.size - a.offset;
      w[REALTIME_DATA_RATE] = Clamp32(bytes * m->file_dividend / (uint64_t(n) * m->file_divisor));
    }
  }
}
