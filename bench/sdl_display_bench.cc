// Showing frames in a real SDL window: per frame, the time of the surface
// lock, the copy-out of a decoded frame, the unlock and the blit (with the
// present), for the DIB section and the YV12 overlay, beside the decode time
// of the same frames. Needs an X server: run it under
//   xvfb-run -a -s "-screen 0 1920x1080x24" env SDL_VIDEODRIVER=x11 build/bench/sdl_display_bench
// Counters are milliseconds per frame.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/container_writer.h"
#include "display/copy_flags.h"
#include "display/display_buffer.h"
#include "display/frame_copy.h"
#include "encode/plane_encoder.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "media/media.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_display_driver.h"

namespace {

constexpr uint32_t kFrames = 8;

struct Clip {
  std::vector<uint8_t> image;
  MediaFile* media = nullptr;
};

// The built-in moving test picture, encoded by our encoder and opened.
bool OpenClip(Clip* clip, uint32_t w, uint32_t h) {
  VideoEncoderSettings vs{w, h, false, false, 75, 0, kAllKinds, 0, 0};
  VideoEncoder* ve = VideoEncoderCreate(&vs);
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  std::vector<uint8_t> y(size_t(w) * h), u(size_t(cw) * ch), v(size_t(cw) * ch);
  ContainerSettings cs{};
  cs.revision = 'i';
  cs.width = w;
  cs.height = h;
  cs.rate_dividend = 30;
  cs.rate_divisor = 1;
  cs.video_flags = VideoEncoderFlags(ve);
  ContainerWriter* writer = ContainerWriterCreate(&cs);
  for (uint32_t f = 0; f < kFrames; ++f) {
    TestSourceFrame(w, h, f, y.data(), int(w), u.data(), v.data(), int(cw));
    VideoPicture pic{y.data(), int(w), u.data(), v.data(), int(cw), nullptr, 0};
    std::vector<uint8_t> video;
    bool key = false;
    VideoEncodeFrame(ve, &pic, &video, &key);
    ContainerFrame frame{key, nullptr, nullptr, video.data(), uint32_t(video.size())};
    ContainerWriterAddFrame(writer, &frame);
  }
  ContainerWriterFinishToMemory(writer, &clip->image);
  VideoEncoderDestroy(ve);
  clip->media = MediaOpenMemory(clip->image.data(), clip->image.size(), OPEN_NO_SKIP | OPEN_NO_THREAD);
  return clip->media != nullptr;
}

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

void BM_Decode(benchmark::State& state) {
  Clip clip;
  if (!OpenClip(&clip, uint32_t(state.range(0)), uint32_t(state.range(1)))) {
    state.SkipWithError("cannot open the clip");
    return;
  }
  for (auto _ : state) {
    MediaDecodeFrame(clip.media);
    MediaNextFrame(clip.media);
  }
  MediaClose(clip.media);
}

// Args: width, height, style (2 DIB section, 3 YV12 overlay). The display
// buffer's own calls, as the player makes them once per frame.
void BM_Show(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  if (!SdlDisplayRegister()) {
    state.SkipWithError("no display (run under xvfb-run)");
    return;
  }
  Clip clip;
  if (!OpenClip(&clip, w, h)) {
    state.SkipWithError("cannot open the clip");
    return;
  }
  SdlWindowParams p{"bench", 0, 0, w, h, SDL_WINDOW_FRAME_NONE, false, false, false, 0};
  SdlWindow* window = SdlWindowCreate(&p);
  SDL_PumpEvents();
  DisplayBuffer* buffer = window ? DisplayBufferOpen(SdlDisplayWindowHandle(window), w, h, uint32_t(state.range(2)))
                                 : nullptr;
  if (!buffer) {
    state.SkipWithError(DisplayBufferError());
    if (window) SdlWindowDestroy(window);
    MediaClose(clip.media);
    return;
  }
  SdlScreen* screen = SdlScreenGet(window);
  state.SetLabel(std::string(DisplayBufferStyleName(buffer)) + ", " + (screen ? screen->renderer_name : "?"));
  double lock_ms = 0, copy_ms = 0, unlock_ms = 0, blit_ms = 0;
  MediaDecodeFrame(clip.media);
  for (auto _ : state) {
    Clock::time_point t0 = Clock::now();
    DisplayBufferLock(buffer);
    Clock::time_point t1 = Clock::now();
    CopyFrameToSurface(MediaCopyState(clip.media), buffer->surface, buffer->pitch, buffer->height, 0, 0, 0, 0, w, h,
                       buffer->surface_word | COPY_ALL | COPY_NO_SKIP);
    Clock::time_point t2 = Clock::now();
    DisplayBufferUnlock(buffer);
    Clock::time_point t3 = Clock::now();
    DisplayBufferBlit(buffer, nullptr, 1);  // presents
    Clock::time_point t4 = Clock::now();
    lock_ms += Ms(t0, t1);
    copy_ms += Ms(t1, t2);
    unlock_ms += Ms(t2, t3);
    blit_ms += Ms(t3, t4);
  }
  auto per_frame = [&](double total) { return benchmark::Counter(total, benchmark::Counter::kAvgIterations); };
  state.counters["lock_ms"] = per_frame(lock_ms);
  state.counters["copy_ms"] = per_frame(copy_ms);
  state.counters["unlock_ms"] = per_frame(unlock_ms);
  state.counters["blit_ms"] = per_frame(blit_ms);
  DisplayBufferClose(buffer);
  SdlWindowDestroy(window);
  MediaClose(clip.media);
}

BENCHMARK(BM_Decode)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Show)
    ->Args({1280, 720, 2})
    ->Args({1280, 720, 3})
    ->Args({1920, 1080, 2})
    ->Args({1920, 1080, 3})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
