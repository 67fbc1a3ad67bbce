// One frame through the headless display: lock, copy-out, unlock and blit
// for the DIB-section style and the YV12 overlay style, beside the decode of
// the same frame and a memcpy of the picture as 32-bit pixels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "base/cpu_features.h"
#include "display/converter.h"
#include "display/copy_flags.h"
#include "display/copy_walk.h"
#include "display/display_buffer.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "platform/headless/headless_display.h"
#include "video/frame_buffers.h"
#include "video/frame_decoder.h"

namespace {

// The first frame of the test source, coded and decoded once.
struct Decoded {
  std::vector<uint8_t> video;
  FrameBuffers* fb = nullptr;
  BundleBuffers bundles;
  std::vector<uint8_t> map;
  uint32_t map_pitch = 0;
};

Decoded* GetDecoded(uint32_t w, uint32_t h) {
  static Decoded* cache[2] = {nullptr, nullptr};
  Decoded*& d = cache[w > 1280];
  if (d) return d;
  d = new Decoded;
  VideoEncoderSettings s{};
  s.width = w;
  s.height = h;
  s.quality = 75;
  s.keyint = 0;
  s.kinds = ~0u;
  VideoEncoder* e = VideoEncoderCreate(&s);
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  std::vector<uint8_t> y(size_t(w) * h), u(size_t(cw) * ch), v(size_t(cw) * ch);
  TestSourceFrame(w, h, 0, y.data(), int(w), u.data(), v.data(), int(cw));
  VideoPicture p{y.data(), int(w), u.data(), v.data(), int(cw), nullptr, 0};
  bool key = false;
  if (e) VideoEncodeFrame(e, &p, &d->video, &key);
  VideoEncoderDestroy(e);
  d->fb = FrameBuffersAllocate(w, h, 0, false, &d->bundles, w);
  d->map_pitch = ChangeMapPitch(w);
  d->map.resize(d->map_pitch * ChangeMapRows(h));
  return d;
}

bool DecodeOnce(Decoded* d) {
  VideoFrameStatus status;
  std::memset(d->map.data(), 0, d->map.size());
  DecodeVideoFrame(d->fb, d->map.data(), int(d->map_pitch), d->video.data(), uint32_t(d->video.size()), false,
                   &d->bundles, 0, 0, &status);
  return status.error == VIDEO_OK;
}

CopyPlanes PlanesOf(const Decoded* d, uint32_t w, uint32_t h) {
  const PlaneSet& set = d->fb->sets[d->fb->current];
  return CopyPlanes{set.plane[0].pixels, set.plane[0].pitch, set.plane[1].pixels, set.plane[1].pitch,
                    set.plane[2].pixels, set.plane[2].pitch, nullptr, 0, w, h, nullptr, 0};
}

void BM_DecodeFrame(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  Decoded* d = GetDecoded(w, h);
  for (auto _ : state)
    if (!DecodeOnce(d)) state.SkipWithError("the frame did not decode");
}

// Args: width, height, style, copy (1) or only lock, unlock and blit (0).
void BM_DisplayFrame(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  const uint32_t style = uint32_t(state.range(2));
  const bool copy = state.range(3) != 0;
  Decoded* d = GetDecoded(w, h);
  if (!DecodeOnce(d)) state.SkipWithError("the frame did not decode");
  const CopyPlanes planes = PlanesOf(d, w, h);
  HeadlessDisplayConfig c;
  c.width = 2560;
  c.height = 1440;
  c.bits_per_pixel = 32;
  c.overlay_fourccs = kHeadlessAllFourCCs;
  c.cursor_x = 2550;
  c.cursor_y = 1430;
  HeadlessDisplayInstall(c);
  PlatformWindow* window = HeadlessWindowCreate(0, 0, int32_t(w), int32_t(h), false);
  DisplayBuffer* b = DisplayBufferOpen(window, w, h, style);
  if (!b) {
    state.SkipWithError(DisplayBufferError());
    return;
  }
  state.SetLabel(DisplayBufferStyleName(b));
  const uint32_t features = UsableFeatures();
  const bool direct = (b->surface_word & SURFACE_DIRECT) != 0;
  for (auto _ : state) {
    if (!DisplayBufferLock(b)) {
      state.SkipWithError("lock failed");
      break;
    }
    if (copy)
      CopyPictureToSurface(planes, b->surface, b->pitch, h, 0, 0, CopyRect{0, 0, w, h}, b->surface_word, false,
                           features);
    DisplayBufferUnlock(b);
    // A direct surface needs no blit rectangles.
    DisplayBufferBlit(b, nullptr, direct ? 0 : 1);
    benchmark::ClobberMemory();
  }
  DisplayBufferClose(b);
  HeadlessWindowDestroy(window);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Memcpy32(benchmark::State& state) {
  const size_t bytes = size_t(state.range(0)) * size_t(state.range(1)) * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) b->Args({w, h});
}
void DisplayArgs(benchmark::internal::Benchmark* b) {
  for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}})
    for (int style : {2, 3})
      for (int copy : {0, 1}) b->Args({w, h, style, copy});
}

BENCHMARK(BM_DecodeFrame)->Apply(Sizes)->ArgNames({"w", "h"})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrame)->Apply(DisplayArgs)->ArgNames({"w", "h", "style", "copy"})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy32)->Apply(Sizes)->ArgNames({"w", "h"})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
