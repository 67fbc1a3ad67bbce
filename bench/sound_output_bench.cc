// Cost and latency of the two sound outputs, 44.1 kHz stereo 16-bit.
// Headless: one second of sound fed and mixed per iteration on an injected
// clock (10 ms steps); the counter core_percent is the share of one core
// that takes. SDL (file-writing driver, real time, two seconds): the audio
// callback's processor time per second of sound, and the latency from a
// commit to the end of that sound leaving the device as the cursors report
// it (what is queued in front of the play cursor after the commit).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/clock.h"
#include "base/thread.h"
#include "base/timer.h"
#include "platform/headless/headless_audio.h"
#include "platform/sdl/sdl_audio.h"
#include "sound/dsound_output.h"
#include "sound/sound_drivers.h"
#include "sound/wave_output.h"

namespace {

constexpr uint32_t kRate = 44100;
std::atomic<uint32_t> g_ms{100000};

PlatformClock MakeClock() {
  PlatformClock c{};
  c.tick_count = [](void*) { return g_ms.load(); };
  c.high_res_counter = [](void*, uint64_t* v) {
    *v = uint64_t(g_ms.load()) * 1000;
    return true;
  };
  c.high_res_frequency = [](void*) -> uint64_t { return 1000000; };
  c.system_time = [](void*) { return g_ms.load(); };
  return c;
}
const PlatformClock kClock = MakeClock();

// Feeds whatever the output takes; the bytes queued in front of the
// device after the last commit, through `queued`.
uint64_t Feed(TrackRecord* r, uint64_t (*queued)(TrackRecord*), uint64_t* latency_sum, uint64_t* commits) {
  uint64_t fed = 0;
  for (int guard = 0; guard < 64 && r->SoundReady(r); ++guard) {
    void* dest = nullptr;
    uint32_t size = 0;
    if (!r->SoundLock(r, &dest, &size)) break;
    std::memset(dest, 0x11, size);
    r->SoundCommit(r, size);
    fed += size;
    if (latency_sum) {
      *latency_sum += queued(r);
      *commits += 1;
    }
  }
  return fed;
}

uint64_t DsQueued(TrackRecord* r) {
  DirectSoundTrack* t = DirectSoundTrackOf(r);
  uint32_t play = 0, write = 0;
  t->api->GetCurrentPosition(t->buffer, &play, &write);
  return (t->write_offset + t->buffer_size - play) % t->buffer_size;
}

uint64_t WaveQueued(TrackRecord* r) {
  WaveOutTrack* t = WaveOutTrackOf(r);
  uint64_t n = 0;
  for (uint32_t i = 0; i < kWaveBuffers; ++i)
    if (!(WaveHeaderFlags(t->headers[i]) & WHDR_DONE)) n += t->headers[i]->dwBufferLength - t->headers[i]->reserved;
  return n;
}

SoundOpenOp OpenerFor(bool wave) { return wave ? WaveOutInitialiser(0) : DirectSoundInitialiser(0); }

void BM_Headless(benchmark::State& state, bool wave) {
  PlatformSetClock(&kClock);
  MediaTimerReset();
  MediaTimer();
  SoundRegisterDriver(&kHeadlessSoundDriver);
  HeadlessAudioSetTicker(false);
  SoundSelectDriver("headless");
  SoundOpenOp open = OpenerFor(wave);
  TrackRecord record{};
  const SoundFileLength length = {300000, 30, 1};
  if (!open || !open(&record, kRate, 16, 2, 0, &length)) {
    state.SkipWithError("no headless output");
    return;
  }
  for (auto _ : state) {
    for (int step = 0; step < 100; ++step) {
      g_ms += 10;
      Feed(&record, nullptr, nullptr, nullptr);
      HeadlessAudioAdvance();
    }
  }
  state.counters["core_percent"] =
      benchmark::Counter(double(state.iterations()) / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  record.SoundClose(&record);
  SoundDriverQuit();
  PlatformSetClock(nullptr);
  MediaTimerReset();
}

void BM_SdlDisk(benchmark::State& state, bool wave) {
  const std::string file = "/tmp/vexa_sound_bench_" + std::to_string(getpid()) + ".raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  PlatformRegisterSoundDrivers();
  SoundSelectDriver("sdl");
  SoundOpenOp open = OpenerFor(wave);
  TrackRecord record{};
  const SoundFileLength length = {300000, 30, 1};
  if (!open || !open(&record, kRate, 16, 2, 0, &length)) {
    state.SkipWithError("SDL audio cannot start");
    return;
  }
  uint64_t latency_sum = 0, commits = 0;
  const uint64_t nanos0 = SdlAudioCallbackNanos(), frames0 = SdlAudioCallbackFrames();
  for (auto _ : state) {
    const uint32_t start = MediaTimer();
    while (MediaTimer() - start < 2000) {
      Feed(&record, wave ? WaveQueued : DsQueued, &latency_sum, &commits);
      PlatformSleep(10);
    }
  }
  const double seconds = double(SdlAudioCallbackFrames() - frames0) / kRate;
  const double cpu = double(SdlAudioCallbackNanos() - nanos0) / 1e9;
  state.counters["core_percent"] = seconds > 0 ? 100.0 * cpu / seconds : 0;
  state.counters["latency_ms"] = commits ? double(latency_sum) / double(commits) / (kRate * 4.0) * 1000.0 : 0;
  record.SoundClose(&record);
  SoundDriverQuit();
  std::remove(file.c_str());
}

BENCHMARK_CAPTURE(BM_Headless, wave_out, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Headless, direct_sound, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SdlDisk, wave_out, true)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SdlDisk, direct_sound, false)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
