// Audio decoding speed: whole blocks as a multiple of real time, and the
// two transforms alone at every length the format uses.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_transform.h"
#include "encode/audio_encoder.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// One second of music-like material (two tones, a sweep and a little
// noise) encoded as blocks; decoding loops over them.
void DecodeRealTime(benchmark::State& state, uint32_t rate, uint32_t channels, uint32_t kind) {
  const uint32_t frames = rate;
  std::vector<int16_t> pcm(size_t(frames) * channels);
  uint32_t seed = 1;
  double ph = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    ph += 2 * kPi * (200.0 + 4000.0 * i / frames) / rate;
    for (uint32_t c = 0; c < channels; ++c) {
      seed = seed * 1664525u + 1013904223u;
      const double v = 6000 * std::sin(2 * kPi * 440.0 * i / rate) + 4000 * std::sin(ph + c) +
                       double(int32_t(seed >> 16) - 32768) / 32;
      pcm[size_t(i) * channels + c] = int16_t(v);
    }
  }
  AudioEncoder* enc = AudioEncoderOpen(rate, channels, kind, 1);
  std::vector<uint8_t> packet(AudioPacketBound(enc, frames));
  const uint32_t size = AudioEncodePacket(enc, pcm.data(), frames, frames, packet.data(), uint32_t(packet.size()));
  AudioEncoderClose(enc);
  AudioDecoder* dec = AudioDecoderOpen(rate, channels, kind);
  const uint8_t* begin = packet.data() + 4;
  const uint8_t* end = packet.data() + size;
  uint64_t samples = 0;
  for (auto _ : state) {
    const uint8_t* p = begin;
    while (p < end) {
      const int16_t* out;
      uint32_t bytes;
      AudioDecodeBlock(dec, p, end, &out, &bytes, &p);
      benchmark::DoNotOptimize(out);
      samples += bytes / (2 * channels);
    }
  }
  AudioDecoderClose(dec);
  // Seconds of sound decoded per second of work: the real-time multiple.
  state.counters["realtime_x"] = benchmark::Counter(double(samples) / rate, benchmark::Counter::kIsRate);
}

void BM_Decode44kStereoDft(benchmark::State& s) { DecodeRealTime(s, 44100, 2, 0); }
void BM_Decode44kStereoDct(benchmark::State& s) { DecodeRealTime(s, 44100, 2, AUDIO_KIND_DCT); }
void BM_Decode22kMonoDft(benchmark::State& s) { DecodeRealTime(s, 22050, 1, 0); }
void BM_Decode22kMonoDct(benchmark::State& s) { DecodeRealTime(s, 22050, 1, AUDIO_KIND_DCT); }
BENCHMARK(BM_Decode44kStereoDft);
BENCHMARK(BM_Decode44kStereoDct);
BENCHMARK(BM_Decode22kMonoDft);
BENCHMARK(BM_Decode22kMonoDct);

void Transform(benchmark::State& state, bool dct) {
  const uint32_t n = uint32_t(state.range(0));
  std::vector<int32_t> ip(AudioTransformIndexEntries(n), 0);
  std::vector<float> w(AudioTransformTableFloats(n, dct));
  std::vector<float> a(n), src(n);
  for (uint32_t i = 0; i < n; ++i) src[i] = float(std::sin(i * 0.37) * 1000);
  for (auto _ : state) {
    a = src;
    if (dct)
      InverseDct(n, a.data(), ip.data(), w.data());
    else
      InverseRealDft(n, a.data(), ip.data(), w.data());
    benchmark::DoNotOptimize(a.data());
  }
}
void BM_InverseRealDft(benchmark::State& s) { Transform(s, false); }
void BM_InverseDct(benchmark::State& s) { Transform(s, true); }
BENCHMARK(BM_InverseRealDft)->RangeMultiplier(2)->Range(512, 4096);
BENCHMARK(BM_InverseDct)->RangeMultiplier(2)->Range(512, 2048);

}  // namespace

BENCHMARK_MAIN();
