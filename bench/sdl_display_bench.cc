// Showing frames in a real SDL window: per frame, the time of the surface
// lock, the copy-out of a decoded frame, the unlock and the blit (with the
// present), for the DIB section and the YV12 overlay, beside the decode time
// of the same frames. Needs an X server: run it under
//   xvfb-run -a -s "-screen 0 1920x1080x24" env SDL_VIDEODRIVER=x11 build/bench/sdl_display_bench
// Counters are milliseconds per frame.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "base/container_writer.h"
#include "display/copy_flags.h"
#include "display/display_driver.h"
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
  VideoEncoderSettings vs{w, h, false, false, 75, 0, kAllKinds};
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

// Args: width, height, style (2 DIB section, 3 YV12 overlay).
void BM_Show(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  const bool use_dib = state.range(2) == 2;
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
  const DisplayDriver* driver = DisplayGetDriver();
  const GdiServices* gdi = driver->gdi;
  const DirectDrawServices* dd = driver->ddraw;
  PlatformWindow* handle = SdlDisplayWindowHandle(window);
  SdlScreen* screen = SdlScreenGet(window);
  state.SetLabel(screen ? screen->renderer_name : "none");

  // DIB section.
  PlatformDC* memory = nullptr;
  PlatformBitmap* dib = nullptr;
  PlatformBitmap* old = nullptr;
  void* bits = nullptr;
  // YV12 overlay.
  DDObject* object = nullptr;
  DDSurface* primary = nullptr;
  DDSurface* overlay = nullptr;
  DDClipper* clipper = nullptr;
  SdlRect c = SdlWindowGetClient(window);
  DisplayRect src{0, 0, int32_t(w), int32_t(h)}, dst{c.x, c.y, c.x + int32_t(w), c.y + int32_t(h)};
  if (use_dib) {
    PlatformDC* wdc = gdi->GetDC(handle);
    memory = gdi->CreateCompatibleDC(wdc);
    gdi->ReleaseDC(handle, wdc);
    BitmapInfo info{};
    info.header = {40, int32_t(w), -int32_t(h), 1, 32, BI_BITFIELDS, 0, 0, 0, 0, 0};
    info.colours[0] = 0xFF0000;
    info.colours[1] = 0xFF00;
    info.colours[2] = 0xFF;
    dib = gdi->CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits);
    old = gdi->SelectObject(memory, dib);
  } else {
    dd->DirectDrawCreate(&object);
    dd->SetCooperativeLevel(object, handle, DDSCL_NORMAL);
    DDSurfaceDesc pd{DDSCAPS_PRIMARYSURFACE, 0, 0, {}};
    dd->CreateSurface(object, &pd, &primary);
    DDSurfaceDesc od{DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY, w, h, {DDPF_FOURCC, FOURCC_YV12, 0, 0, 0, 0, 0}};
    dd->CreateSurface(object, &od, &overlay);
    dd->CreateClipper(object, &clipper);
    dd->ClipperSetHWnd(clipper, handle);
  }
  if (use_dib ? !bits : !overlay) {
    state.SkipWithError("cannot make the surface");
    return;
  }
  const uint32_t key = screen->colour_key;
  double lock_ms = 0, copy_ms = 0, unlock_ms = 0, blit_ms = 0;
  MediaDecodeFrame(clip.media);
  for (auto _ : state) {
    Clock::time_point t0 = Clock::now();
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    uint32_t rows = h;
    DDLockedSurface lock{};
    if (use_dib) {
      pixels = static_cast<uint8_t*>(bits);
      pitch = int32_t(w * 4);
    } else {
      dd->Lock(overlay, &lock, DDLOCK_WAIT);
      pixels = lock.bits;
      pitch = lock.pitch;
      rows = lock.height;
    }
    Clock::time_point t1 = Clock::now();
    CopyFrameToSurface(MediaCopyState(clip.media), pixels, pitch, rows, 0, 0, 0, 0, w, h,
                       (use_dib ? SURFACE_XRGB32 : SURFACE_YV12) | COPY_ALL | COPY_NO_SKIP);
    Clock::time_point t2 = Clock::now();
    if (!use_dib) {
      dd->Unlock(overlay, lock.bits);
      DDColourKey ck{key, key};
      dd->UpdateOverlay(overlay, &src, primary, &dst, DDOVER_SHOW | DDOVER_KEYDESTOVERRIDE, &ck);
    }
    Clock::time_point t3 = Clock::now();
    if (use_dib) {
      PlatformDC* wdc = gdi->GetDC(handle);
      gdi->StretchBlt(wdc, 0, 0, int32_t(w), int32_t(h), memory, 0, 0, int32_t(w), int32_t(h), SRCCOPY);
      gdi->ReleaseDC(handle, wdc);  // presents
    } else {
      dd->SetClipper(primary, clipper);
      dd->Blt(primary, &dst, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, key);
      dd->SetClipper(primary, nullptr);  // presents
    }
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
  if (use_dib) {
    gdi->SelectObject(memory, old);
    gdi->DeleteObject(dib);
    gdi->DeleteDC(memory);
  } else {
    dd->SurfaceRelease(overlay);
    dd->SurfaceRelease(primary);
    dd->ClipperRelease(clipper);
    dd->Release(object);
  }
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
