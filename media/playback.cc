// Frame sequencing: when the next frame is due, decoding it (sound into the
// track rings, video into the plane sets), reading the next one, pausing.
#include <atomic>
#include <cstring>

#include "media/audio_service.h"
#include "media/media.h"
#include "media/media_file.h"
#include "media/playback_internal.h"
#include "base/timer.h"
#include "base/clock.h"
#include "base/thread.h"
#include "video/frame_decoder.h"

namespace {

// Arriving at frame 1 this long after the last resynchronisation restarts
// the clock and the sound at the next decode.
constexpr uint32_t kResyncInterval = 5 * 60 * 1000;  // milliseconds
// After a sound underrun the read-ahead is refilled to this share of its
// target (which each fill may move) before the sound starts again.
constexpr uint64_t kUnderrunRefillNumerator = 29;
constexpr uint64_t kUnderrunRefillDenominator = 32;
uint64_t UnderrunRefillLevel(const InputReader* r) {
  return uint64_t(r->target) * kUnderrunRefillNumerator / kUnderrunRefillDenominator;
}

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

// Fills once, without blocking, when the ring holds less than `parts`/4 of
// the smaller of the peak rate and the read-ahead target.
void TopUpBelow(MediaFile* m, uint32_t quarters, bool yield_when_busy) {
  if (m->data_in_memory || m->reader.reading_now) return;
  InputReader* r = &m->reader;
  const uint64_t want = uint64_t(Min(m->peak_rate, r->target)) * quarters / 4;
  if (r->buffered >= want) return;
  if (r->try_lock(r)) {
    r->fill(r);
    r->unlock(r);
  } else if (yield_when_busy && !(m->open_flags & OPEN_NO_THREAD)) {
    r->yield(r);
  }
}

// A read error of frame `frame` (1-based) ends playback; the frames before
// it are then all the file is known to hold whole.
void StopAt(MediaFile* m, uint32_t frame) {
  m->stopped = 1;
  if (m->unreadable_frame) return;
  m->unreadable_frame = frame;
  if (frame && m->intact_frames > frame - 1) m->intact_frames = frame - 1;
}

uint32_t FrameDuration(uint32_t dividend, uint32_t divisor) {
  return dividend ? uint32_t(1000ull * divisor / dividend) : 0;
}

}  // namespace

void MediaTopUp(void* media) { TopUpBelow(static_cast<MediaFile*>(media), 3, true); }

// Adds the time since the end of the last decode (the copy and blit) to the
// blit time, and optionally records a slow frame cycle.
void MediaBookBlitTime(MediaFile* m, uint32_t now, bool slowest_update) {
  if (m->decode_end_pending) {
    m->blit_time += now - m->decode_end;
    m->decode_end_pending = 0;
  }
  if (!slowest_update || !m->frame_cycle_start) return;
  const uint32_t t = now - m->frame_cycle_start;
  m->frame_cycle_start = 0;
  const uint32_t frame = uint32_t(m->current_frame);
  if (t > m->slowest) {
    m->second_slowest = m->slowest;
    m->second_slowest_frame = m->slowest_frame;
    m->slowest = t;
    m->slowest_frame = frame;
  } else if (t > m->second_slowest) {
    m->second_slowest = t;
    m->second_slowest_frame = frame;
  }
}


void MediaReadFrame(MediaFile* m, uint32_t n) {
  const uint32_t i = n ? n - 1 : 0;
  m->clock.skip_flag = 0;
  if (m->opened_count) MediaServiceSound(m);
  m->last_frame = m->current_frame;
  if (i == 0) {
    const uint32_t now = MediaTimer();
    if (m->resync_time == 0) m->resync_time = now;
    if (now - m->resync_time > kResyncInterval) {
      m->resync_time = now;
      m->resync_requested = 1;
    }
  }
  FrameLocation loc{};
  m->frame_data = nullptr;
  m->frame_size = 0;
  // An index entry that cannot be trusted, a frame past the end of what the
  // source holds, or a short read: a read error of this frame, which stops
  // playback.
  bool readable = FrameLocate(&m->layout, i, &loc) && uint64_t(loc.offset) + loc.size <= m->data_end;
  if (readable && m->data_in_memory) {
    m->frame_data = m->image + (loc.offset - m->image_base);
    m->frame_size = loc.size;
  } else if (readable) {
    const uint32_t got = m->reader.read_frame(&m->reader, i, loc.offset, m->frame_buffer, loc.size);
    m->frame_data = m->frame_buffer;
    m->frame_size = got;
    readable = got == loc.size;
  }
  if (!readable) StopAt(m, i + 1);
  m->frame_key = loc.key;
  m->current_offset = loc.offset;
  std::atomic_ref<int32_t>(m->current_frame).store(int32_t(i + 1), std::memory_order_relaxed);
  if (m->opened_count) MediaServiceSound(m);
}

int MediaWait(MediaFile* m) {
  if (!m) return 0;
  PlaybackClock& c = m->clock;
  if ((c.frames_decoded == 0 && !c.paused) || m->stopped) return 0;
  const uint32_t now = MediaTimer();
  ClockStart(&c, now);
  if (m->opened_count) MediaServiceSound(m);
  MediaBookBlitTime(m, now, true);

  if (c.paused || (m->opened_count && !m->sound_playing && !m->sound_restart_failed)) {
    // keep waiting
  } else if (c.rate_dividend == 0 || ClockFrameDue(&c, now)) {
    return 0;
  }
  // Keep waiting: top the read-ahead up meanwhile.
  if (!m->data_in_memory) {
    InputReader* r = &m->reader;
    if ((m->open_flags & OPEN_NO_THREAD) || r->buffered < Min(m->peak_rate, r->target) / 2) {
      if (r->try_lock(r)) {
        r->fill(r);
        r->unlock(r);
      }
    }
  }
  return 1;
}

int MediaDecodeFrame(MediaFile* m) {
  if (!m || m->last_decoded_frame == uint32_t(m->current_frame)) return 0;
  PlaybackClock& c = m->clock;
  if (m->resync_requested) {
    m->resync_requested = 0;
    if (m->sound_playing) {
      MediaSoundOnOff(m, 0);
      MediaSoundOnOff(m, 1);
    }
    ClockRestart(&c);
  }
  c.skip_flag = 0;
  m->reader.decode_mark = 1;

  m->decode_start = MediaTimer();
  const uint32_t rate = m->rounded_rate;
  const uint32_t previous_index = m->history_index;
  m->history_index = m->history_index == 0 ? rate - 1 : m->history_index - 1;
  const uint32_t h = m->history_index;
  m->history[HISTORY_START][h] = m->decode_start;
  m->history[HISTORY_VIDEO][h] = m->video_time;
  m->history[HISTORY_AUDIO][h] = m->audio_time;
  m->history[HISTORY_BLIT][h] = m->blit_time;
  m->history[HISTORY_READ][h] = m->reader.frame_read_time;
  m->history[HISTORY_IDLE_READ][h] = m->reader.idle_time;
  m->history[HISTORY_BACKGROUND_READ][h] = m->reader.background_time;
  if (!m->playback_started) {
    m->history[HISTORY_START][previous_index] =
        m->decode_start - FrameDuration(m->file_dividend, m->file_divisor);
    m->reader.idle_time = 0;
    m->reader.background_time = 0;
    m->playback_start = m->decode_start;
    m->playback_started = 1;
  } else if (m->opened_count) {
    MediaServiceSound(m);
  }
  m->frame_cycle_start = m->decode_start;
  if (m->reader.error && !m->stopped) StopAt(m, uint32_t(m->current_frame));
  if (m->stopped) {
    m->reader.decode_mark = 0;
    return 1;
  }

  // Sound: each opened track's packet into its ring.
  FrameCursor cursor;
  FrameCursorInit(&cursor, m->frame_data, m->frame_size, m->header.track_count);
  bool locked = false;
  bool broken = false;
  for (uint32_t t = 0; t < m->header.track_count; ++t) {
    const uint8_t* packet = nullptr;
    uint32_t size = 0;
    if (!FrameCursorNextAudio(&cursor, &packet, &size)) {
      broken = true;
      break;
    }
    if (!size) continue;
    for (uint32_t k = 0; k < m->opened_count; ++k) {
      if (m->opened_tracks[k] != t) continue;
      if (!locked) {
        MediaLockAudio(m);
        locked = true;
      }
      MediaDecodeTrackPacket(m, k, packet, size);
    }
  }
  if (locked) MediaUnlockAudio(m);

  // Video.
  const uint32_t t1 = MediaTimer();
  if (m->frames) {
    if (!c.previous_blit_skipped) std::memset(m->change_map, 0, m->block_count);
    TopUpBelow(m, 3, true);
    VideoFrameStatus status{};
    int32_t unchanged = 0;
    if (broken) {
      status.error = VIDEO_ERROR_PLANE_OUTSIDE;  // the audio packets overran the frame
    } else {
      const uint8_t* video = cursor.pos;
      const uint32_t video_size = uint32_t(cursor.end - cursor.pos);
      unchanged = DecodeVideoFrame(m->frames, m->change_map, int(m->blocks_across), video, video_size,
                                   m->frame_key != 0, &m->bundles, m->open_flags, m->video_flags, &status);
    }
    if (status.error != VIDEO_OK) {
      // A rejected frame is counted; playback goes on with the next one.
      m->corrupt_frames += 1;
      m->last_corrupt_frame = uint32_t(m->current_frame);
      m->last_video_error = status.error;
      m->last_video_plane = status.plane;
      unchanged = 0;
    }
    m->copy.unchanged_areas = uint32_t(unchanged);
  } else if (broken) {
    m->corrupt_frames += 1;
    m->last_corrupt_frame = uint32_t(m->current_frame);
    m->last_video_error = VIDEO_ERROR_PLANE_OUTSIDE;
  }

  if (m->opened_count) MediaServiceSound(m);
  c.frames_decoded += 1;
  m->first_frame_decoded = 1;
  m->rect_count = -1;
  const uint32_t now = MediaTimer();
  ClockStart(&c, now);
  m->decode_end = now;
  m->decode_end_pending = 1;
  m->audio_time += t1 - m->decode_start;
  m->video_time += now - t1;
  m->reader.decode_mark = 0;
  m->last_decoded_frame = uint32_t(m->current_frame);
  m->last_frame = m->current_frame;
  return 0;
}

void MediaNextFrame(MediaFile* m) {
  if (!m) return;
  m->clock.skip_flag = 0;
  for (uint32_t k = 0; k < m->opened_count; ++k) {
    TrackRecord* t = &m->tracks[k];
    // The output sets the mark while it is fed, possibly on the audio thread.
    if (!std::atomic_ref<uint32_t>(t->starved).exchange(0)) continue;
    if (m->current_frame <= 1 || m->current_frame > int32_t(t->last_underrun_frame)) continue;
    // Sound ran dry mid-file: stop it, refill the read-ahead, restart the
    // clock and the sound together.
    m->sound_skips += 1;
    PlatformMutex* locks[2] = {m->audio_node.mutex, m->reader_node.mutex};
    for (PlatformMutex* l : locks)
      if (l) PlatformMutexLock(l);
    MediaSoundOnOff(m, 0);
    InputReader* r = &m->reader;
    if (!m->data_in_memory)
      while (r->buffered < UnderrunRefillLevel(r) && r->fill(r) != 0) {
      }
    ClockRestart(&m->clock);
    MediaSoundOnOff(m, 1);
    for (PlatformMutex* l : locks)
      if (l) PlatformMutexUnlock(l);
  }
  m->reader.decode_mark = 1;
  if (m->opened_count) MediaServiceSound(m);
  MediaBookBlitTime(m, MediaTimer(), false);
  // Frame numbers and the count compared as unsigned: a count above 2^31 must
  // not read as negative. Past the index's last frame the next read fails and
  // stops playback.
  const uint32_t next = uint32_t(m->current_frame) >= m->frame_count ? 1 : uint32_t(m->current_frame) + 1;
  MediaReadFrame(m, next);
  m->reader.decode_mark = 0;
}

int MediaPause(MediaFile* m, int on) {
  if (!m) return 0;
  PlaybackClock& c = m->clock;
  const uint32_t now = MediaTimer();
  MediaBookBlitTime(m, now, true);
  const bool resuming = ClockSetPaused(&c, on != 0, now);
  if (m->opened_count) {
    MediaLockAudio(m);
    for (uint32_t k = 0; k < m->opened_count; ++k)
      if (m->tracks[k].SoundPause) m->tracks[k].SoundPause(&m->tracks[k], on);
    MediaUnlockAudio(m);
    if (c.frames_decoded) MediaServiceSound(m);
  }
  if (resuming) ClockResume(&c, MediaTimer());
  return int(c.paused);
}
