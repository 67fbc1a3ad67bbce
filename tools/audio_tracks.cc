#include "tools/audio_tracks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/audio_packet.h"
#include "encode/audio_encoder.h"
#include "encode/test_sound.h"
#include "base/container.h"
#include "base/media_error.h"
#include "tools/wav_file.h"

const char kAudioTracksHelp[] =
    "  --audio FILE.wav    add a sound track (8/16-bit PCM, mono or stereo,\n"
    "                      8000-48000 Hz); repeatable. After each --audio:\n"
    "    --audio-kind K    dct (default) or dft\n"
    "    --track-id N      the track's identifier (default: lowest free)\n"
    "    --8bit            mark the track for 8-bit output\n"
    "                      The test source comes with a test sound track.\n";

struct AudioTrackState {
  AudioEncoder* enc = nullptr;
  WavAudio wav;           // empty for the test sound
  bool test = false;
  TestSound sound{};
  uint64_t at = 0;        // next sample frame
  uint64_t lead = 0;      // sample frames the sound leads the picture by
  std::vector<int16_t> chunk;
  std::vector<uint8_t> packet;
};

int AudioTracksParseOption(AudioTrackOptions* o, int argc, char** argv, int i) {
  const char* a = argv[i];
  const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
  const bool audio = !std::strcmp(a, "--audio"), kind = !std::strcmp(a, "--audio-kind"),
             id = !std::strcmp(a, "--track-id"), eight = !std::strcmp(a, "--8bit");
  if (!audio && !kind && !id && !eight) return 0;
  if (!audio && o->tracks.empty()) {
    std::fprintf(stderr, "vexa encode: %s belongs after an --audio FILE\n", a);
    return -1;
  }
  if (eight) {
    o->tracks.back().eight_bit = true;
    return 1;
  }
  if (!v) {
    std::fprintf(stderr, "vexa encode: %s needs a value\n", a);
    return -1;
  }
  if (audio) {
    AudioTrackRequest r;
    r.wav = v;
    o->tracks.push_back(r);
  } else if (kind) {
    if (!std::strcmp(v, "dct")) {
      o->tracks.back().kind = 1;
    } else if (!std::strcmp(v, "dft")) {
      o->tracks.back().kind = 0;
    } else {
      std::fprintf(stderr, "vexa encode: --audio-kind is dct or dft, not '%s'\n", v);
      return -1;
    }
  } else {
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(v, &end, 10);
    if (errno || !*v || *end || *v == '-' || n > 0xFFFFFFFFull) {
      std::fprintf(stderr, "vexa encode: bad track identifier '%s'\n", v);
      return -1;
    }
    o->tracks.back().id = int64_t(n);
  }
  return 2;
}

bool AudioTracksOpen(const AudioTrackOptions& o, uint32_t test_width, uint32_t test_height, uint32_t rate_num,
                     uint32_t rate_den, AudioTracks* out, std::string* error) {
  std::vector<AudioTrackRequest> reqs;
  if (test_width) reqs.push_back(AudioTrackRequest{});
  reqs.insert(reqs.end(), o.tracks.begin(), o.tracks.end());
  // Explicit identifiers first, so automatic ones avoid them.
  std::vector<int64_t> ids(reqs.size(), -1);
  for (size_t i = 0; i < reqs.size(); ++i) {
    if (reqs[i].id < 0) continue;
    for (size_t k = 0; k < i; ++k)
      if (ids[k] == reqs[i].id) {
        *error = "track identifier " + std::to_string(reqs[i].id) + " given twice";
        return false;
      }
    ids[i] = reqs[i].id;
  }
  for (size_t i = 0; i < reqs.size(); ++i) {
    if (ids[i] >= 0) continue;
    int64_t id = 0;
    for (bool taken = true; taken;) {
      taken = false;
      for (int64_t x : ids) taken |= x == id;
      if (taken) ++id;
    }
    ids[i] = id;
  }
  for (size_t i = 0; i < reqs.size(); ++i) {
    auto* s = new AudioTrackState();
    out->state.push_back(s);
    uint32_t rate = 44100, channels = 2;
    if (reqs[i].wav.empty()) {
      s->test = true;
      TestSoundInit(&s->sound, test_width, test_height, rate_num, rate_den, rate, channels);
    } else {
      if (!WavRead(reqs[i].wav.c_str(), &s->wav, error)) {
        *error = reqs[i].wav + ": " + *error;
        return false;
      }
      rate = s->wav.rate;
      channels = s->wav.channels;
    }
    s->enc = AudioEncoderOpen(rate, channels, reqs[i].kind, reqs[i].eight_bit ? 0 : 1);
    if (!s->enc) {
      *error = "cannot set up the audio encoder";
      return false;
    }
    s->lead = rate_num ? uint64_t(rate) * kSoundLeadMs / 1000 : 0;
    // The player's ring: the lead and a second of sound, and at least four
    // frames' worth.
    const uint32_t per_frame = AudioFrameSamples(rate, rate_num, rate_den, 0) + 1;
    const uint32_t second = (rate + uint32_t(s->lead)) * channels * 2;
    const uint32_t four = 4 * per_frame * channels * 2;
    out->tracks.push_back(ContainerTrack{second > four ? second : four, AudioEncoderTrackFormat(s->enc), uint32_t(ids[i])});
  }
  out->rate_num = rate_num;
  out->rate_den = rate_den ? rate_den : 1;
  out->packet_ptrs.resize(reqs.size());
  out->packet_sizes.resize(reqs.size());
  return true;
}

namespace {

// Sample frames of the pictures 0 to `frame` together.
uint64_t SamplesThrough(const AudioTracks* t, const AudioTrackState* s, uint32_t frame) {
  if (t->rate_num == 0) return 0;
  return (uint64_t(frame) + 1) * s->enc->rate * t->rate_den / t->rate_num;
}

// Codes every track's packet of frame `frame` (0-based): the sound up to
// the lead past the frame's end, or up to the clip's end when the clip has
// `total` frames (0: not yet known).
bool FrameSound(AudioTracks* t, uint32_t frame, uint32_t total, ContainerFrame* out, std::string* error) {
  for (size_t i = 0; i < t->state.size(); ++i) {
    AudioTrackState* s = t->state[i];
    const uint32_t ch = s->enc->channels;
    uint64_t end = SamplesThrough(t, s, frame) + s->lead;
    if (total) end = std::min(end, SamplesThrough(t, s, total - 1));
    const uint32_t count = end > s->at ? uint32_t(end - s->at) : 0;
    t->packet_sizes[i] = 0;
    t->packet_ptrs[i] = nullptr;
    if (count == 0) continue;
    // The frame's samples and the overlap after them, which the last block's
    // tail is made from.
    const size_t want = (size_t(count) + s->enc->overlap_frames) * ch;
    if (s->test) {
      // s->chunk holds the samples generated but not yet coded.
      const size_t have = s->chunk.size();
      if (have < want) {
        s->chunk.resize(want);
        TestSoundNext(&s->sound, uint32_t((want - have) / ch), s->chunk.data() + have);
      }
    } else {
      s->chunk.assign(want, 0);
      const size_t from = size_t(s->at) * ch;
      for (size_t k = 0; k < want && from + k < s->wav.samples.size(); ++k) s->chunk[k] = s->wav.samples[from + k];
    }
    s->packet.resize(AudioPacketBound(s->enc, count));
    const uint32_t size = AudioEncodePacket(s->enc, s->chunk.data(), count, uint32_t(want / ch), s->packet.data(),
                                            uint32_t(s->packet.size()));
    if (!size) {
      *error = "a sound packet could not be coded";
      return false;
    }
    if (s->test) s->chunk.erase(s->chunk.begin(), s->chunk.begin() + size_t(count) * ch);
    s->at += count;
    t->packet_ptrs[i] = s->packet.data();
    t->packet_sizes[i] = size;
  }
  out->audio = t->packet_ptrs.empty() ? nullptr : t->packet_ptrs.data();
  out->audio_sizes = t->packet_sizes.empty() ? nullptr : t->packet_sizes.data();
  return true;
}

// True when frame `frame`'s sound is known to lie inside the clip.
bool SoundKnown(const AudioTracks* t, uint32_t frame) {
  for (const AudioTrackState* s : t->state)
    if (SamplesThrough(t, s, t->pictures_in - 1) < SamplesThrough(t, s, frame) + s->lead) return false;
  return true;
}

bool WriteFirstPending(AudioTracks* t, uint32_t total, ContainerWriter* writer, std::string* error) {
  PendingPicture& p = t->pending.front();
  ContainerFrame frame{};
  frame.key = p.key;
  frame.video = p.video.data();
  frame.video_size = uint32_t(p.video.size());
  if (!FrameSound(t, t->frames_out, total, &frame, error)) return false;
  if (!ContainerWriterAddFrame(writer, &frame)) {
    *error = "frame " + std::to_string(t->frames_out + 1) + ": " + MediaGetError();
    return false;
  }
  t->frames_out += 1;
  for (size_t i = 0; i < t->tracks.size(); ++i) t->other_bytes += 4 + frame.audio_sizes[i];
  t->pending.pop_front();
  return true;
}

}  // namespace

bool AudioTracksAddFrame(AudioTracks* t, const ContainerFrame& frame, ContainerWriter* writer, std::string* error) {
  const uint8_t* video = frame.video;
  t->pending.push_back(PendingPicture{frame.key, std::vector<uint8_t>(video, video + (video ? frame.video_size : 0))});
  t->pictures_in += 1;
  while (!t->pending.empty() && SoundKnown(t, t->frames_out))
    if (!WriteFirstPending(t, 0, writer, error)) return false;
  return true;
}

bool AudioTracksFinish(AudioTracks* t, ContainerWriter* writer, std::string* error) {
  while (!t->pending.empty())
    if (!WriteFirstPending(t, t->pictures_in, writer, error)) return false;
  return true;
}

void AudioTracksClose(AudioTracks* t) {
  for (AudioTrackState* s : t->state) {
    AudioEncoderClose(s->enc);
    delete s;
  }
  t->state.clear();
}

std::string AudioTrackWavName(const std::string& output, uint32_t id) {
  const size_t slash = output.find_last_of('/');
  const size_t dot = output.find_last_of('.');
  const std::string tag = "." + std::to_string(id);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
    return output + tag;
  return output.substr(0, dot) + tag + output.substr(dot);
}

