#include "clip_helpers.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/audio_decoder.h"
#include "encode/audio_encoder.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "base/container.h"
#include "base/container_writer.h"
#include "media/media.h"

#include <gtest/gtest.h>

std::vector<uint8_t> MakeClip(const ClipSpec& spec, std::vector<std::vector<uint8_t>>* pictures) {
  VideoEncoderSettings vs{};
  vs.width = spec.width;
  vs.height = spec.height;
  vs.quality = 60;
  vs.keyint = spec.keyint;
  vs.kinds = kAllKinds;
  VideoEncoder* ve = VideoEncoderCreate(&vs);
  const uint32_t cw = (spec.width + 1) / 2, ch = (spec.height + 1) / 2;
  std::vector<uint8_t> y(spec.width * spec.height), u(cw * ch), v(cw * ch);

  std::vector<ContainerTrack> tracks;
  std::vector<AudioEncoder*> encoders;
  for (const ClipTrack& t : spec.tracks) {
    AudioEncoder* ae = AudioEncoderOpen(t.rate, t.channels, t.dct ? AUDIO_KIND_DCT : 0, t.sixteen_bit ? 1 : 0);
    encoders.push_back(ae);
    const uint32_t buffer = t.buffer_size ? t.buffer_size : t.rate * t.channels * 2;
    tracks.push_back({buffer, AudioEncoderTrackFormat(ae), t.id});
  }
  ContainerSettings cs{};
  cs.revision = spec.revision;
  cs.width = spec.width;
  cs.height = spec.height;
  cs.rate_dividend = spec.dividend;
  cs.rate_divisor = spec.divisor;
  cs.video_flags = VideoEncoderFlags(ve);
  cs.track_count = uint32_t(tracks.size());
  cs.tracks = tracks.data();
  ContainerWriter* w = ContainerWriterCreate(&cs);

  std::vector<std::vector<uint8_t>> packets(tracks.size());
  std::vector<const uint8_t*> packet_ptrs(tracks.size());
  std::vector<uint32_t> packet_sizes(tracks.size());
  std::vector<uint64_t> sample_pos(tracks.size(), 0);
  for (uint32_t f = 0; f < spec.frames; ++f) {
    TestSourceFrame(spec.width, spec.height, f, y.data(), int(spec.width), u.data(), v.data(), int(cw));
    VideoPicture pic{y.data(), int(spec.width), u.data(), v.data(), int(cw), nullptr, 0};
    std::vector<uint8_t> video;
    bool key = false;
    VideoEncodeFrame(ve, &pic, &video, &key);
    if (pictures) {
      pictures->emplace_back();
      for (int plane = 0; plane < 3; ++plane) {
        uint32_t pw = 0, ph = 0;
        int pitch = 0;
        const uint8_t* at = VideoEncoderPlane(ve, plane, &pw, &ph, &pitch);
        for (uint32_t row = 0; row < ph; ++row, at += pitch) pictures->back().insert(pictures->back().end(), at, at + pw);
      }
    }
    const bool silent = std::find(spec.silent_frames.begin(), spec.silent_frames.end(), f) != spec.silent_frames.end();
    for (size_t t = 0; t < tracks.size(); ++t) {
      const ClipTrack& ct = spec.tracks[t];
      const uint32_t count = AudioFrameSamples(ct.rate, spec.dividend, spec.divisor, f);
      // A tone of 440 Hz times (track + 1), so tracks differ.
      std::vector<int16_t> pcm((count + 4096) * ct.channels);
      for (uint32_t i = 0; i < count + 4096; ++i)
        for (uint32_t c = 0; c < ct.channels; ++c)
          pcm[i * ct.channels + c] = int16_t(
              8000 * std::sin(2 * M_PI * 440.0 * double(t + 1) * double(sample_pos[t] + i) / ct.rate));
      sample_pos[t] += count;
      packets[t].assign(AudioPacketBound(encoders[t], count) + 64, 0);
      uint32_t size = 0;
      if (!silent) size = AudioEncodePacket(encoders[t], pcm.data(), count, count + 4096, packets[t].data(),
                                            uint32_t(packets[t].size()));
      packet_ptrs[t] = packets[t].data();
      packet_sizes[t] = size;
    }
    // A stub packet is written as an empty one followed by two bytes that
    // open the video; its length field becomes 2 once the file is complete.
    const bool stub = std::find(spec.stub_frames.begin(), spec.stub_frames.end(), f) != spec.stub_frames.end();
    if (stub && !tracks.empty()) {
      packet_sizes[0] = 0;
      video.insert(video.begin(), {0x5A, 0xC3});
    }
    ContainerFrame frame{key, packet_ptrs.data(), packet_sizes.data(), video.data(), uint32_t(video.size())};
    ContainerWriterAddFrame(w, &frame);
  }
  std::vector<uint8_t> out;
  ContainerWriterFinishToMemory(w, &out);
  if (!spec.stub_frames.empty() && !tracks.empty()) {
    ContainerFile* file = ContainerLoadMemory(out.data(), out.size());
    for (uint32_t f : spec.stub_frames) {
      FrameLocation loc{};
      if (file && FrameLocate(&file->layout, f, &loc)) out[loc.offset] = 2;
    }
    ContainerFree(file);
  }
  for (AudioEncoder* e : encoders) AudioEncoderClose(e);
  VideoEncoderDestroy(ve);
  return out;
}

ClipFile::ClipFile(const std::vector<uint8_t>& bytes, uint32_t prefix) {
  char name[] = "/tmp/vexa_clip_XXXXXX";
  const int fd = mkstemp(name);
  path_ = name;
  std::vector<uint8_t> pad(prefix, 0x5A);
  if (prefix && write(fd, pad.data(), pad.size()) != ssize_t(pad.size())) std::perror("write");
  if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::perror("write");
  close(fd);
}

ClipFile::~ClipFile() { unlink(path_.c_str()); }

void PlayFrames(MediaFile* m, uint32_t frames, PlaybackSummary* summary) {
  for (uint32_t i = 0; i < frames; ++i) {
    if (MediaDecodeFrame(m) != 0) {
      ADD_FAILURE() << "decode stopped at frame " << i + 1;
      break;
    }
    MediaNextFrame(m);
  }
  MediaGetSummary(m, summary);
}
