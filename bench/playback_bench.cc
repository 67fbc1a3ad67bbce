// Playback through the core as fast as it goes (no display, sound to the
// instant memory output): a 1280x720 clip of the test source with two sound
// tracks, streamed from a file with the reader thread, streamed without it,
// preloaded, and from a memory image. The streamed cases use a 1 MiB
// read-ahead ring. Counters: frames per second and the
// bytes the core allocated for the open file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "encode/audio_encoder.h"
#include "encode/test_sound.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "base/container_writer.h"
#include "base/core_alloc.h"
#include "media/media.h"
#include "sound/memory_output.h"

namespace {

constexpr uint32_t kWidth = 1280, kHeight = 720, kFrames = 30, kRate = 44100;

// The clip, coded once per process: the test picture, its test sound, and a
// tone on a second track.
const std::vector<uint8_t>& Clip() {
  static std::vector<uint8_t> bytes;
  if (!bytes.empty()) return bytes;
  VideoEncoderSettings vs{kWidth, kHeight, false, false, 60, 0, kAllKinds, 0, 0};
  VideoEncoder* ve = VideoEncoderCreate(&vs);
  AudioEncoder* ae[2] = {AudioEncoderOpen(kRate, 2, AUDIO_KIND_DCT, 1), AudioEncoderOpen(kRate, 2, 0, 1)};
  ContainerTrack tracks[2] = {{kRate * 4, AudioEncoderTrackFormat(ae[0]), 0},
                              {kRate * 4, AudioEncoderTrackFormat(ae[1]), 1}};
  ContainerSettings cs{'i', kWidth, kHeight, 30, 1, VideoEncoderFlags(ve), 2, tracks};
  ContainerWriter* w = ContainerWriterCreate(&cs);
  TestSound sound;
  TestSoundInit(&sound, kWidth, kHeight, 30, 1, kRate, 2);
  const uint32_t cw = kWidth / 2, ch = kHeight / 2;
  std::vector<uint8_t> y(kWidth * kHeight), u(cw * ch), v(cw * ch);
  uint64_t tone_at = 0;
  for (uint32_t f = 0; f < kFrames; ++f) {
    TestSourceFrame(kWidth, kHeight, f, y.data(), kWidth, u.data(), v.data(), cw);
    VideoPicture pic{y.data(), int(kWidth), u.data(), v.data(), int(cw), nullptr, 0};
    std::vector<uint8_t> video;
    bool key = false;
    VideoEncodeFrame(ve, &pic, &video, &key);
    const uint32_t count = AudioFrameSamples(kRate, 30, 1, f);
    std::vector<int16_t> pcm[2];
    pcm[0].resize(size_t(count) * 2);
    TestSoundNext(&sound, count, pcm[0].data());
    pcm[1].resize(size_t(count) * 2);
    for (uint32_t i = 0; i < count; ++i)
      pcm[1][2 * i] = pcm[1][2 * i + 1] = int16_t(6000 * std::sin(2 * M_PI * 330.0 * double(tone_at + i) / kRate));
    tone_at += count;
    std::vector<uint8_t> packet[2];
    const uint8_t* packets[2];
    uint32_t sizes[2];
    for (int t = 0; t < 2; ++t) {
      packet[t].resize(AudioPacketBound(ae[t], count));
      sizes[t] = AudioEncodePacket(ae[t], pcm[t].data(), count, count, packet[t].data(), uint32_t(packet[t].size()));
      packets[t] = packet[t].data();
    }
    ContainerFrame frame{key, packets, sizes, video.data(), uint32_t(video.size())};
    ContainerWriterAddFrame(w, &frame);
  }
  ContainerWriterFinishToMemory(w, &bytes);
  for (AudioEncoder* e : ae) AudioEncoderClose(e);
  VideoEncoderDestroy(ve);
  return bytes;
}

const std::string& ClipPath() {
  static std::string path;
  if (!path.empty()) return path;
  char name[] = "/tmp/vexa_bench_XXXXXX";
  const int fd = mkstemp(name);
  const std::vector<uint8_t>& bytes = Clip();
  if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::perror("write");
  close(fd);
  path = name;
  std::atexit([] { unlink(path.c_str()); });
  return path;
}

enum Source { SOURCE_STREAMED, SOURCE_STREAMED_NO_THREAD, SOURCE_PRELOADED, SOURCE_MEMORY_IMAGE };

void BM_Playback(benchmark::State& state) {
  static MemoryOutputConfig config{};
  config.instant = true;
  MediaSetSoundSystem(MemoryOutputInitialiser, reinterpret_cast<uintptr_t>(&config));
  const Source source = Source(state.range(0));
  const std::string& path = ClipPath();
  uint64_t frames = 0, allocated = 0;
  const uint32_t ids[2] = {0, 1};
  for (auto _ : state) {
    MediaSetSoundTracks(2, ids);
    MediaSetFrameRate(0, 0);
    uint32_t flags = OPEN_SOUND_TRACKS | OPEN_FRAME_RATE;
    if (source == SOURCE_STREAMED || source == SOURCE_STREAMED_NO_THREAD) {
      // The clip is short: a read-ahead of one second's data would preload
      // it. A 1 MiB ring keeps it streaming.
      MediaSetReadBufferSize(1 << 20);
      flags |= OPEN_READ_BUFFER_SIZE;
    }
    if (source == SOURCE_STREAMED_NO_THREAD) flags |= OPEN_NO_THREAD;
    if (source == SOURCE_PRELOADED) flags |= OPEN_PRELOAD;
    const uint64_t before = CoreBytesInUse();
    MediaFile* m = source == SOURCE_MEMORY_IMAGE ? MediaOpenMemory(Clip().data(), Clip().size(), flags)
                                          : MediaOpen(path.c_str(), flags);
    if (!m) {
      state.SkipWithError(MediaGetError());
      return;
    }
    allocated = CoreBytesInUse() - before;
    for (uint32_t i = 0; i < kFrames; ++i) {
      while (MediaWait(m)) {
      }
      MediaDecodeFrame(m);
      MediaNextFrame(m);
    }
    frames += kFrames;
    MediaClose(m);
  }
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["bytes_per_open_file"] = double(allocated);
}

BENCHMARK(BM_Playback)->Arg(SOURCE_STREAMED)->Arg(SOURCE_STREAMED_NO_THREAD)->Arg(SOURCE_PRELOADED)->Arg(SOURCE_MEMORY_IMAGE)
    ->ArgName("source")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
