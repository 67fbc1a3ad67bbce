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
  w[0] = m->width;
  w[1] = m->height;
  w[2] = m->playback_start ? now - m->playback_start : 0;
  w[3] = m->file_dividend;
  w[4] = m->file_divisor;
  w[5] = m->rate_dividend;
  w[6] = m->rate_divisor;
  w[7] = m->open_time;
  w[8] = m->frame_count;
  w[9] = m->copy.frames_decoded;
  w[10] = 0;
  w[11] = m->copy.skipped_blits;
  w[12] = m->sound_skips;
  w[13] = m->blit_time;
  w[14] = r.frame_read_time;
  w[15] = m->video_time;
  w[16] = m->audio_time;
  w[17] = r.idle_time;
  w[18] = r.background_time;
  w[19] = Clamp32(uint64_t(r.bytes_read) * 1000 / (uint64_t(r.device_time) + 1));
  w[20] = m->slowest;
  w[21] = m->second_slowest;
  w[22] = m->slowest_frame;
  w[23] = m->second_slowest_frame;
  const uint64_t payload = m->data_size > m->first_frame_offset ? m->data_size - m->first_frame_offset : 0;
  if (m->frame_count && m->file_divisor)
    w[24] = Clamp32(payload * m->file_dividend / (uint64_t(m->frame_count) * m->file_divisor));
  if (m->frame_count) w[25] = Clamp32(payload / m->frame_count);
  w[26] = m->memory_total;
  w[27] = m->reader.ring_size;
  w[28] = r.highest_fill;
  w[29] = m->peak_rate;
  w[30] = m->peak_frame + 1;
  w[kSummaryCorruptFrames] = m->corrupt_frames;
  w[kSummaryLastCorruptFrame] = m->last_corrupt_frame;
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
  const uint32_t decoded = m->copy.frames_decoded;
  if (n > (decoded ? decoded - 1 : 0)) n = decoded ? decoded - 1 : 0;
  const uint32_t now_i = m->history_index;
  const uint32_t then_i = (now_i + n) % rate;
  auto span = [&](int ring) { return m->history[ring][now_i] - m->history[ring][then_i]; };
  w[0] = m->last_decoded_frame;
  w[1] = m->rate_dividend;
  w[2] = m->rate_divisor;
  w[3] = n;
  const uint32_t elapsed = span(kHistoryStart);
  w[4] = elapsed ? elapsed : 1;
  w[5] = span(kHistoryVideo);
  w[6] = span(kHistoryAudio);
  w[7] = span(kHistoryRead);
  w[8] = span(kHistoryIdleRead);
  w[9] = span(kHistoryBackgroundRead);
  w[10] = span(kHistoryBlit);
  w[11] = m->reader.target;
  w[12] = m->reader.buffered;
  // Data rate of the last n frames, from the index.
  const int64_t current = m->current_frame;
  if (n && m->file_divisor && current >= 1) {
    const int64_t first = current - int64_t(n);  // 0-based index of frame current - n + 1
    FrameLocation a{}, b{};
    if (first >= 0 && FrameLocate(&m->layout, uint32_t(first), &a) &&
        FrameLocate(&m->layout, uint32_t(current - 1), &b)) {
      const uint64_t bytes = uint64_t(b.offset) + b.size - a.offset;
      w[13] = Clamp32(bytes * m->file_dividend / (uint64_t(n) * m->file_divisor));
    }
  }
}
