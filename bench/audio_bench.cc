// Audio decoding speed: whole blocks as a multiple of real time, and the
// two transforms alone at every length the format uses, beside a plain FFT
// library when one is installed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#ifdef VEXA_HAVE_FFTW3F
#include <fftw3.h>
#endif

#include "audio/audio_decoder.h"
#include "audio/audio_transform.h"
#include "base/cpu_features.h"
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

// Each iteration times a batch of our transforms and, when the FFT library
// is built in, a batch of its transform of the same length and kind right
// after, so both see the same load; "x_reference" is our time over its.
void Transform(benchmark::State& state, bool dct) {
  using Clock = std::chrono::steady_clock;
  constexpr int kBatch = 4;
  const uint32_t n = uint32_t(state.range(0));
  const uint32_t mask = FeatureMask();
  if (state.range(1)) SetFeatureMask(0);  // the plain FFT
  std::vector<int32_t> ip(AudioTransformIndexEntries(n), 0);
  std::vector<float> w(AudioTransformTableFloats(n, dct));
  std::vector<float> a(n), src(n);
  for (uint32_t i = 0; i < n; ++i) src[i] = float(std::sin(i * 0.37) * 1000);
#ifdef VEXA_HAVE_FFTW3F
  float* in = fftwf_alloc_real(n + 2);
  float* out = fftwf_alloc_real(n);
  fftwf_plan plan = dct ? fftwf_plan_r2r_1d(int(n), in, out, FFTW_REDFT01, FFTW_MEASURE)
                        : fftwf_plan_dft_c2r_1d(int(n), reinterpret_cast<fftwf_complex*>(in), out, FFTW_MEASURE);
  double reference = 0;
#endif
  double ours = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    for (int r = 0; r < kBatch; ++r) {
      a = src;
      if (dct)
        InverseDct(n, a.data(), ip.data(), w.data());
      else
        InverseRealDft(n, a.data(), ip.data(), w.data());
      benchmark::DoNotOptimize(a.data());
    }
    const Clock::time_point t1 = Clock::now();
    const double batch = std::chrono::duration<double>(t1 - t0).count();
    ours += batch;
    state.SetIterationTime(batch / kBatch);
#ifdef VEXA_HAVE_FFTW3F
    for (int r = 0; r < kBatch; ++r) {
      std::copy(src.begin(), src.end(), in);
      in[n] = in[n + 1] = 0;
      fftwf_execute(plan);
      benchmark::DoNotOptimize(out);
    }
    reference += std::chrono::duration<double>(Clock::now() - t1).count();
#endif
  }
  SetFeatureMask(mask);
#ifdef VEXA_HAVE_FFTW3F
  const double calls = double(state.iterations()) * kBatch;
  state.counters["reference_ns"] = 1e9 * reference / calls;
  state.counters["x_reference"] = ours / reference;
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
#endif
}
void BM_InverseRealDft(benchmark::State& s) { Transform(s, false); }
void BM_InverseDct(benchmark::State& s) { Transform(s, true); }
// plain:1 forces the plain complex FFT, for before/after figures.
BENCHMARK(BM_InverseRealDft)->ArgsProduct({{512, 1024, 2048, 4096}, {0, 1}})->ArgNames({"n", "plain"})->UseManualTime();
BENCHMARK(BM_InverseDct)->ArgsProduct({{512, 1024, 2048}, {0, 1}})->ArgNames({"n", "plain"})->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
