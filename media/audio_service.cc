#include "media/audio_service.h"

#include <atomic>
#include <cstring>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "base/core_alloc.h"
#include "media/media_file.h"
#include "base/thread.h"

namespace {

// A track ring larger than this is not believed: the buffer size comes from
// the file, and a damaged or hostile field must not make every open allocate
// gigabytes. 64 MiB is about six minutes of 48 kHz stereo 16-bit sound, far
// more read-ahead of decoded sound than any file needs (our encoder asks for
// one second).
constexpr uint64_t kMaxRingBytes = 64u << 20;

std::atomic<uint32_t> g_tracks_opened{0};

void AddQueued(TrackRecord* t, int64_t delta) {
  std::atomic_ref<uint32_t>(t->queued).fetch_add(uint32_t(delta), std::memory_order_acq_rel);
}
uint32_t Queued(TrackRecord* t) { return std::atomic_ref<uint32_t>(t->queued).load(std::memory_order_acquire); }

void FreeTrack(TrackRecord* t) {
  AudioDecoderClose(t->decoder);
  t->decoder = nullptr;
  CoreFree(t->ring_start);
  t->ring_start = t->ring_end = t->read = t->write = nullptr;
  t->ring_size = 0;
}

// The sink of AudioDecodePacket: one block's PCM into the ring, dropping the
// oldest sound when it does not fit.
struct RingSink {
  TrackRecord* track;
};

void RingWrite(void* context, const int16_t* pcm, uint32_t bytes) {
  TrackRecord* t = static_cast<RingSink*>(context)->track;
  auto* src = reinterpret_cast<const uint8_t*>(pcm);
  uint32_t n = bytes;
  if (n > t->ring_size) {
    // One block larger than the whole ring: keep its newest ring-size bytes
    // (dropping more than is queued would corrupt the counters).
    src += n - t->ring_size;
    n = t->ring_size;
  }
  const uint32_t queued = Queued(t);
  const uint32_t free_bytes = t->ring_size - queued;
  if (n > free_bytes) {
    const uint32_t drop = n - free_bytes;
    uint32_t at = uint32_t(t->read - t->ring_start) + drop;
    if (at >= t->ring_size) at -= t->ring_size;
    t->read = t->ring_start + at;
    AddQueued(t, -int64_t(drop));
  }
  const uint32_t at = uint32_t(t->write - t->ring_start);
  const uint32_t first = n < t->ring_size - at ? n : t->ring_size - at;
  std::memcpy(t->write, src, first);
  std::memcpy(t->ring_start, src + first, n - first);
  const uint32_t end = at + n;
  t->write = t->ring_start + (end >= t->ring_size ? end - t->ring_size : end);
  AddQueued(t, n);
}

// Copies b ring bytes to the device, 16-bit samples as 8-bit ones (high
// byte plus 128) for an 8-bit device.
void CopyOut(TrackRecord* t, uint8_t* dest, uint32_t b) {
  uint32_t at = uint32_t(t->read - t->ring_start);
  if (!t->eight_bit_output) {
    const uint32_t first = b < t->ring_size - at ? b : t->ring_size - at;
    std::memcpy(dest, t->read, first);
    std::memcpy(dest + first, t->ring_start, b - first);
  } else {
    // The ring size is a multiple of 256 and b is even, so a sample never
    // straddles the ring end.
    for (uint32_t i = 0; i + 1 < b; i += 2) {
      uint32_t pos = at + i;
      if (pos >= t->ring_size) pos -= t->ring_size;
      dest[i / 2] = uint8_t(t->ring_start[pos + 1] + 128);
    }
  }
  at += b;
  if (at >= t->ring_size) at -= t->ring_size;
  t->read = t->ring_start + at;
}

void AddPreroll(MediaFile* m, TrackRecord* t) {
  const uint32_t queued = Queued(t);
  if (queued >= t->preroll_bytes) return;
  const uint32_t d = t->preroll_bytes - queued;
  uint32_t at = uint32_t(t->read - t->ring_start);
  at = at >= d ? at - d : at + t->ring_size - d;
  t->read = t->ring_start + at;
  const uint32_t first = d < t->ring_size - at ? d : t->ring_size - at;
  std::memset(t->read, 0, first);
  std::memset(t->ring_start, 0, d - first);
  AddQueued(t, d);
}

}  // namespace

void MediaLockAudio(MediaFile* m) {
  if (m->audio_node.mutex) PlatformMutexLock(m->audio_node.mutex);
}
bool MediaTryLockAudio(MediaFile* m) { return !m->audio_node.mutex || PlatformMutexTryLock(m->audio_node.mutex); }
void MediaUnlockAudio(MediaFile* m) {
  if (m->audio_node.mutex) PlatformMutexUnlock(m->audio_node.mutex);
}

uint32_t MediaTracksEverOpened() { return g_tracks_opened.load(); }

bool MediaOpenTrack(MediaFile* m, uint32_t slot, uint32_t position, SoundOpenOp open) {
  TrackRecord* t = &m->tracks[slot];
  t->ring_start = nullptr;
  const uint32_t f = m->layout.formats[position];
  const int kind = TrackFormatKind(f);
  if (kind == TRACK_KIND_NONE || !open) return false;

  // Sound plays faster or slower together with the video under a frame-rate
  // override.
  uint32_t rate = TrackFormatRate(f);
  if (m->rate_dividend && m->rate_divisor && m->file_dividend && m->file_divisor) {
    const uint64_t num = uint64_t(rate) * m->file_divisor * m->rate_dividend;
    const uint64_t den = uint64_t(m->file_dividend) * m->rate_divisor;
    const uint64_t scaled = (num + den / 2) / den;
    rate = scaled > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(scaled);
  }
  const uint32_t channels = TrackFormatChannels(f);
  const SoundFileLength length = {m->frame_count, m->rate_dividend, m->rate_divisor};
  if (!open(t, rate, TrackFormatIs16Bit(f) ? 16 : 8, channels, m->open_flags, &length)) return false;

  if (t->read_alignment_mask == 0) t->read_alignment_mask = 0xFFFFFFFFu;
  const uint64_t ring = (uint64_t(m->layout.buffer_sizes[position]) + 255) & ~uint64_t(255);
  if (ring < 256 || ring > kMaxRingBytes) {
    t->SoundClose(t);
    return false;
  }
  t->ring_size = uint32_t(ring);
  t->ring_start = static_cast<uint8_t*>(CoreAllocate(t->ring_size));
  if (!t->ring_start) {
    t->SoundClose(t);
    return false;
  }
  m->memory_total += t->ring_size;
  t->eight_bit_output = TrackFormatIs16Bit(f) ? 0 : 1;
  t->ring_end = t->ring_start + t->ring_size;
  t->write = t->read = t->ring_start;
  const uint32_t latency = t->latency < 750 ? t->latency : 750;
  uint64_t preroll = uint64_t(channels) * rate * 2 * (750 - latency) / 1000;
  preroll &= ~uint64_t(3);
  t->preroll_bytes = uint32_t(preroll < t->ring_size ? preroll : t->ring_size);

  t->decoder = AudioDecoderOpen(TrackFormatRate(f), channels, kind == TRACK_KIND_DCT ? AUDIO_KIND_DCT : 0);
  g_tracks_opened++;
  // Frames after this one are the last 0.75 s of the file: there everything
  // queued is fed. Kept signed: in a file shorter than 0.75 s every frame is
  // in that stretch.
  int64_t last = int64_t(m->frame_count);
  if (m->file_divisor) last -= int64_t(3) * m->file_dividend / (int64_t(4) * m->file_divisor);
  if (last < INT32_MIN) last = INT32_MIN;
  t->last_underrun_frame = uint32_t(int32_t(last));
  t->queued = 0;
  if (!t->decoder) {
    t->SoundClose(t);
    FreeTrack(t);
    return false;
  }
  return true;
}

void MediaCloseTracks(MediaFile* m) {
  for (uint32_t i = 0; i < m->opened_count; ++i) {
    TrackRecord* t = &m->tracks[i];
    if (t->SoundClose) t->SoundClose(t);
    FreeTrack(t);
  }
  m->opened_count = 0;
}

void MediaDecodeTrackPacket(MediaFile* m, uint32_t slot, const uint8_t* packet, uint32_t size) {
  TrackRecord* t = &m->tracks[slot];
  if (!t->decoder || !t->ring_size) return;
  RingSink sink{t};
  AudioPacketResult result{};
  AudioDecodePacket(t->decoder, packet, size, RingWrite, &sink, &result);
}

void MediaServiceSound(MediaFile* m) {
  if (!m->opened_count || !m->tracks[m->opened_count - 1].SoundReady) return;
  if (!MediaTryLockAudio(m)) return;  // the holder is feeding
  // The caller's thread moves the current frame while the audio thread feeds.
  const int32_t current = std::atomic_ref<int32_t>(m->current_frame).load(std::memory_order_relaxed);
  for (uint32_t i = 0; i < m->opened_count; ++i) {
    TrackRecord* t = &m->tracks[i];
    const bool mid_file = current <= int32_t(t->last_underrun_frame);
    while (t->SoundReady(t)) {
      const uint32_t q = Queued(t);
      if (q <= t->minimum_fill && (mid_file || q == 0)) break;
      void* dest = nullptr;
      uint32_t length = 0;
      if (!t->SoundLock(t, &dest, &length) || !dest) break;
      uint64_t b = t->eight_bit_output ? uint64_t(length) * 2 : length;
      if (b > q) b = q;
      if (mid_file) b &= t->eight_bit_output ? uint64_t(t->read_alignment_mask) << 1 : t->read_alignment_mask;
      b &= ~uint64_t(1);  // whole 16-bit samples
      AddQueued(t, -int64_t(b));
      CopyOut(t, static_cast<uint8_t*>(dest), uint32_t(b));
      t->SoundCommit(t, t->eight_bit_output ? uint32_t(b / 2) : uint32_t(b));
      if (b == 0) break;
    }
  }
  MediaUnlockAudio(m);
}

int MediaSoundOnOff(MediaFile* m, int on) {
  int result = 0;
  bool locked = false;
  for (uint32_t i = 0; i < m->opened_count; ++i) {
    TrackRecord* t = &m->tracks[i];
    if (!t->SoundEnable) continue;
    if (!locked) {
      MediaLockAudio(m);
      locked = true;
    }
    if (t->SoundEnable(t, on)) {
      if (!m->sound_playing) {
        m->sound_playing = 1;
        ClockRestart(&m->clock);
      }
      result = 1;
    } else if (m->sound_playing || !on) {
      t->read = t->write = t->ring_start;
      t->queued = 0;
      const bool frame1_pending = m->current_frame == 1 && m->last_decoded_frame != 1;
      if (!frame1_pending) AddPreroll(m, t);
    }
  }
  if (locked) {
    if (!result) m->sound_playing = 0;
    // An output that refuses to start again leaves the file to play on
    // without sound rather than wait for it forever.
    m->sound_restart_failed = on && !result;
    MediaUnlockAudio(m);
  }
  return result;
}

uint32_t AudioClientNeed(ServiceNode* node, uint32_t pass) {
  return node->last_serviced_pass == pass ? 0 : 0xFFFFFFFFu - node->last_serviced_pass;
}

void AudioClientService(ServiceNode* node, uint32_t pass) {
  auto* m = static_cast<MediaFile*>(node->client);
  // The thread already holds the audio node's mutex; the feeding pass's own
  // try-lock nests inside that hold.
  if (m->opened_count) MediaServiceSound(m);
  node->last_serviced_pass = pass;
}
