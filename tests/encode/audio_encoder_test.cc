// Encoder round trips: tones, sweeps and noise through both transform kinds,
// mono and stereo, 8 to 48 kHz, packet by packet as a file carries them,
// measured by signal-to-noise ratio against the input.
#include "encode/audio_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "audio/audio_packet.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Signal { kSine, kSweep, kNoise };

std::vector<int16_t> Make(Signal sig, uint32_t rate, uint32_t channels, uint32_t frames) {
  std::vector<int16_t> s(size_t(frames) * channels);
  std::mt19937 rng(rate + channels);
  std::normal_distribution<double> noise(0.0, 4000.0);
  double phase = 0.0;
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    for (uint32_t c = 0; c < channels; ++c) {
      double v = 0;
      switch (sig) {
        case Signal::kSine: v = 12000 * std::sin(2 * kPi * (c ? 660.0 : 1000.0) * t); break;
        case Signal::kSweep: v = (c ? 8000 : 12000) * std::sin(phase); break;
        case Signal::kNoise: v = std::clamp(noise(rng), -32000.0, 32000.0); break;
      }
      s[size_t(i) * channels + c] = int16_t(std::lround(v));
    }
    // 50 Hz up to 0.45 of the rate over the clip.
    phase += 2 * kPi * (50.0 + (0.45 * rate - 50.0) * i / frames) / rate;
  }
  return s;
}

struct RoundTrip {
  std::vector<int16_t> out;
  size_t bytes = 0;
  uint32_t packets = 0;
};

void Append(void* ctx, const int16_t* pcm, uint32_t bytes) {
  auto* v = static_cast<std::vector<int16_t>*>(ctx);
  v->insert(v->end(), pcm, pcm + bytes / 2);
}

// Encodes `in` as one packet per frame at `fps` frames per second and
// decodes the packets in order.
RoundTrip Trip(const std::vector<int16_t>& in, uint32_t rate, uint32_t channels, uint32_t kind, uint32_t fps_num,
              uint32_t fps_den) {
  RoundTrip r;
  AudioEncoder* enc = AudioEncoderOpen(rate, channels, kind, 1);
  AudioDecoder* dec = AudioDecoderOpen(rate, channels, kind);
  EXPECT_NE(enc, nullptr);
  EXPECT_NE(dec, nullptr);
  const uint32_t frames = uint32_t(in.size() / channels);
  uint32_t at = 0;
  for (uint32_t f = 0; at < frames; ++f) {
    const uint32_t count = std::min(AudioFrameSamples(rate, fps_num, fps_den, f), frames - at);
    std::vector<uint8_t> packet(AudioPacketBound(enc, count));
    const uint32_t size = AudioEncodePacket(enc, in.data() + size_t(at) * channels, count, frames - at,
                                            packet.data(), uint32_t(packet.size()));
    EXPECT_GT(size, 0u);
    packet.resize(size);
    AudioPacketResult res;
    EXPECT_EQ(AudioDecodePacket(dec, packet.data(), size, Append, &r.out, &res), 1);
    EXPECT_EQ(res.owed, count * 2 * channels);
    r.bytes += size;
    ++r.packets;
    at += count;
  }
  AudioEncoderClose(enc);
  AudioDecoderClose(dec);
  return r;
}

double Snr(const std::vector<int16_t>& in, const std::vector<int16_t>& out) {
  double s = 0, n = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    const double d = double(out[i]) - in[i];
    s += double(in[i]) * in[i];
    n += d * d;
  }
  return 10 * std::log10(s / std::max(n, 1e-9));
}

TEST(AudioEncoder, RoundTripsKeepTheSignal) {
  struct Case { uint32_t rate, channels, kind; };
  const Case cases[] = {{8000, 1, 0},  {8000, 2, AUDIO_KIND_DCT}, {11025, 2, 0}, {22050, 1, AUDIO_KIND_DCT},
                        {22050, 2, 0}, {32000, 1, 0}, {44100, 2, 0},  {44100, 2, AUDIO_KIND_DCT},
                        {48000, 1, AUDIO_KIND_DCT}, {48000, 2, 0}};
  const char* names[] = {"sine", "sweep", "noise"};
  for (const Case& c : cases) {
    for (Signal sig : {Signal::kSine, Signal::kSweep, Signal::kNoise}) {
      const uint32_t frames = c.rate * 6 / 10;  // 0.6 s
      const std::vector<int16_t> in = Make(sig, c.rate, c.channels, frames);
      const RoundTrip r = Trip(in, c.rate, c.channels, c.kind, 30, 1);
      ASSERT_EQ(r.out.size(), in.size());
      const double snr = Snr(in, r.out);
      const double kbps = r.bytes * 8.0 / 0.6 / 1000;
      std::printf("%-5s %5u Hz %u ch %-4s  SNR %5.1f dB  %6.0f kbit/s\n", names[int(sig)], c.rate, c.channels,
                  c.kind ? "dct" : "dft", snr, kbps);
      EXPECT_GT(snr, 45.0)
          << names[int(sig)] << " " << c.rate << " Hz " << c.channels << " ch kind " << c.kind;
    }
  }
}

// Packets of other frame rates: short ones (under a block) and long ones
// (several blocks), the count following the frame timing exactly.
TEST(AudioEncoder, PacketsFollowTheFrameTiming) {
  uint64_t total = 0;
  for (uint32_t f = 0; f < 30000; ++f) total += AudioFrameSamples(44100, 30000, 1001, f);
  EXPECT_EQ(total, uint64_t(30000) * 44100 * 1001 / 30000);
  EXPECT_EQ(AudioFrameSamples(22050, 25, 1, 0), 882u);
  EXPECT_EQ(AudioFrameSamples(8000, 3, 1, 0) + AudioFrameSamples(8000, 3, 1, 1) + AudioFrameSamples(8000, 3, 1, 2), 8000u);

  const std::vector<int16_t> in = Make(Signal::kSine, 22050, 2, 22050);
  for (uint32_t fps : {2u, 24u, 60u}) {
    const RoundTrip r = Trip(in, 22050, 2, AUDIO_KIND_DCT, fps, 1);
    ASSERT_EQ(r.out.size(), in.size());
    EXPECT_EQ(r.packets, fps);
    EXPECT_GT(Snr(in, r.out), 40.0) << fps;
  }
}

TEST(AudioEncoder, FormatWordAndEdges) {
  AudioEncoder* e = AudioEncoderOpen(44100, 2, AUDIO_KIND_DCT, 1);
  EXPECT_EQ(AudioEncoderTrackFormat(e), 44100u | 0x10000000u | 0x20000000u | 0x40000000u);
  int16_t s[4] = {0, 0, 0, 0};
  uint8_t out[8];
  EXPECT_EQ(AudioEncodePacket(e, s, 0, 0, out, sizeof out), 0u) << "no frames, no packet";
  EXPECT_EQ(AudioEncodePacket(e, s, 2, 2, out, sizeof out), 0u) << "too small a buffer";
  AudioEncoderClose(e);
  e = AudioEncoderOpen(8000, 1, 0, 0);
  EXPECT_EQ(AudioEncoderTrackFormat(e), 8000u | 0x80000000u);
  AudioEncoderClose(e);
  EXPECT_EQ(AudioEncoderOpen(8000, 3, 0, 1), nullptr);
}

}  // namespace
