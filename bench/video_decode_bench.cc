// Video decode speed: frames and megapixels per second at 640x480, 1280x720
// and 1920x1080 on content coded by our own encoder, beside the time to
// memcpy the same planes. Each clip's coded size is given as bits per pixel
// (counter "bits/pix", and a line on standard error when the clip is made),
// since decode time grows with the bits as much as with the pixels: compare
// speeds only between clips of like bits per pixel.
//
// Content: "static" is the built-in test picture (bars and gradients that
// hold still, a small box, counter and noise strip that change); "detail" is
// a detailed texture (stripes, rings, checks and grain) that scrolls every
// frame, so most blocks are transform, residue or motion blocks. A handful of frames is coded once and
// decoded round and round. "threads" 2 gives the decoder its worker thread
// (the chroma planes read beside the luma plane, pixel work shared), as the playback core does on a
// machine with more than one processor; it also prints each side's reading
// per frame and the speed-up that reading allows (docs/developing.md).
//
// The clips come from the encoder of this build, so a new encoder changes
// what the decoder is timed on. To time two builds on the same bits, point
// both at one folder: VEXA_BENCH_CLIPS=DIR keeps each clip there as
// decode-WxH-static|detail.frames the first time it is made and reads it
// back from then on (the file: a 32-bit frame count, then each frame's
// 32-bit size and bytes, little-endian).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <random>
#include <vector>

#include "base/clock.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "video/frame_buffers.h"
#include "video/frame_decoder.h"
#include "video/frame_worker.h"

namespace {

constexpr uint32_t kFrames = 8;

struct Clip {
  uint32_t width = 0, height = 0;
  std::vector<std::vector<uint8_t>> frames;  // video data of each frame
  uint64_t bytes = 0;
};

void DetailFrame(uint32_t w, uint32_t h, uint32_t f, std::vector<uint8_t>* y, std::vector<uint8_t>* u,
                 std::vector<uint8_t>* v) {
  // A fixed texture, larger than the picture, viewed through a moving window.
  static std::vector<uint8_t> texture;
  constexpr uint32_t kSide = 2304;
  if (texture.empty()) {
    std::mt19937 rng(1);
    texture.resize(kSide * kSide);
    for (uint32_t i = 0; i < texture.size(); ++i) {
      uint32_t x = i % kSide, yy = i / kSide;
      // Stripes, rings and checks of several sizes with a little grain.
      int v = 128 + int(60 * std::sin(x * 0.21) * std::cos(yy * 0.17)) + int(((x / 24) ^ (yy / 24)) & 1) * 40 +
              int(30 * std::sin(std::sqrt(double(x) * x + double(yy) * yy) * 0.09)) + int(rng() % 9) - 4;
      texture[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  }
  const uint32_t ox = (f * 5) % 200, oy = (f * 3) % 120;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  y->resize(size_t(w) * h);
  u->resize(size_t(cw) * ch);
  v->resize(size_t(cw) * ch);
  for (uint32_t r = 0; r < h; ++r) std::memcpy(y->data() + size_t(r) * w, &texture[(r + oy) * kSide + ox], w);
  for (uint32_t r = 0; r < ch; ++r)
    for (uint32_t c = 0; c < cw; ++c) {
      (*u)[r * cw + c] = texture[(2 * r + oy + 7) * kSide + 2 * c + ox] / 2 + 64;
      (*v)[r * cw + c] = texture[(2 * r + oy) * kSide + 2 * c + ox + 9] / 2 + 64;
    }
}

double BitsPerPixel(const Clip& clip) {
  return double(clip.bytes) * 8.0 / (double(clip.width) * clip.height * double(clip.frames.size()));
}

std::string ClipPath(uint32_t w, uint32_t h, bool detail) {
  const char* dir = std::getenv("VEXA_BENCH_CLIPS");
  if (!dir || !*dir) return {};
  return std::string(dir) + "/decode-" + std::to_string(w) + "x" + std::to_string(h) +
         (detail ? "-detail" : "-static") + ".frames";
}

bool ReadU32(std::FILE* f, uint32_t* v) {
  uint8_t b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

void WriteU32(std::FILE* f, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  std::fwrite(b, 1, 4, f);
}

// A stored clip, or false (and an empty clip) if there is none or it is unreadable.
bool LoadClip(const std::string& path, Clip* clip) {
  std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint32_t count = 0, size = 0;
  bool ok = ReadU32(f, &count) && count == kFrames;
  for (uint32_t i = 0; ok && i < count; ++i) {
    ok = ReadU32(f, &size) && size <= (64u << 20);
    if (!ok) break;
    std::vector<uint8_t> frame(size);
    ok = std::fread(frame.data(), 1, size, f) == size;
    clip->bytes += size;
    clip->frames.push_back(std::move(frame));
  }
  std::fclose(f);
  if (!ok) {
    clip->frames.clear();
    clip->bytes = 0;
  }
  return ok;
}

void StoreClip(const std::string& path, const Clip& clip) {
  std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
  if (!f) return;
  WriteU32(f, uint32_t(clip.frames.size()));
  for (const auto& frame : clip.frames) {
    WriteU32(f, uint32_t(frame.size()));
    std::fwrite(frame.data(), 1, frame.size(), f);
  }
  if (std::fclose(f) != 0) std::fprintf(stderr, "could not write %s\n", path.c_str());
}

uint64_t ClipKey(uint32_t w, uint32_t h, bool detail) { return (uint64_t(w) << 33) | (uint64_t(h) << 1) | detail; }

const Clip& GetClip(uint32_t w, uint32_t h, bool detail) {
  static std::map<uint64_t, Clip> clips;
  Clip& clip = clips[ClipKey(w, h, detail)];
  if (!clip.frames.empty()) return clip;
  clip.width = w;
  clip.height = h;
  const std::string path = ClipPath(w, h, detail);
  if (LoadClip(path, &clip)) {
    std::fprintf(stderr, "clip %ux%u %s from %s: %.3f bits per pixel, %.1f KB per frame\n", w, h,
                 detail ? "detail" : "static", path.c_str(), BitsPerPixel(clip),
                 double(clip.bytes) / clip.frames.size() / 1024.0);
    return clip;
  }
  VideoEncoderSettings s{};
  s.width = w;
  s.height = h;
  s.quality = 75;
  s.keyint = 0;
  s.kinds = ~0u;
  VideoEncoder* e = VideoEncoderCreate(&s);
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  std::vector<uint8_t> y(size_t(w) * h), u(size_t(cw) * ch), v(size_t(cw) * ch);
  for (uint32_t f = 0; f < kFrames && e; ++f) {
    if (detail)
      DetailFrame(w, h, f, &y, &u, &v);
    else
      TestSourceFrame(w, h, f, y.data(), int(w), u.data(), v.data(), int(cw));
    VideoPicture p{y.data(), int(w), u.data(), v.data(), int(cw), nullptr, 0};
    std::vector<uint8_t> out;
    bool key = false;
    if (!VideoEncodeFrame(e, &p, &out, &key)) break;
    clip.bytes += out.size();
    clip.frames.push_back(std::move(out));
  }
  VideoEncoderDestroy(e);
  if (clip.frames.size() == kFrames) StoreClip(path, clip);
  if (!clip.frames.empty())
    std::fprintf(stderr, "clip %ux%u %s: %.3f bits per pixel, %.1f KB per frame\n", w, h,
                 detail ? "detail" : "static", BitsPerPixel(clip), double(clip.bytes) / clip.frames.size() / 1024.0);
  return clip;
}

void BM_Decode(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  const bool detail = state.range(2) != 0;
  const Clip& clip = GetClip(w, h, detail);
  if (clip.frames.size() != kFrames) {
    state.SkipWithError("the encoder could not code the clip");
    return;
  }
  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(w, h, 0, false, &bundles, w);
  if (state.range(3) > 1 && !(fb->worker = FrameWorkerCreate(fb, &bundles.caps))) {
    state.SkipWithError("no worker thread");
    FrameBuffersFree(fb);
    return;
  }
  const uint32_t map_pitch = ChangeMapPitch(w);
  std::vector<uint8_t> map(map_pitch * ChangeMapRows(h));
  uint32_t i = 0, corrupt = 0;
  const auto started = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const std::vector<uint8_t>& f = clip.frames[i];
    std::memset(map.data(), 0, map.size());
    VideoFrameStatus status;
    benchmark::DoNotOptimize(DecodeVideoFrame(fb, map.data(), int(map_pitch), f.data(), uint32_t(f.size()),
                                              false, &bundles, 0, 0, &status));
    corrupt += status.error != VIDEO_OK;
    i = (i + 1) % kFrames;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  static std::map<uint64_t, double> one_thread_frame;  // seconds a frame on one thread, by clip
  const uint64_t key = ClipKey(w, h, detail);
  if (!fb->worker && state.iterations()) one_thread_frame[key] = seconds / double(state.iterations());
  if (fb->worker && fb->worker->times.frames) {
    // How the two sides' reading compares, and what that allows: a plane is
    // read by one thread, so the longer side's reading is the least a frame
    // can take. "read_ceiling_x" is one thread's time over that (when the
    // one-thread case ran first in this process), "x" the speed-up reached.
    const FrameWorker::Times& t = fb->worker->times;
    const double ms = 1e3 / double(PlatformHighResFrequency()) / double(t.frames);
    state.counters["read1_ms"] = double(t.caller_read) * ms;
    state.counters["read2_ms"] = double(t.worker_read) * ms;
    state.counters["longest_ms"] = double(t.longest_read) * ms;
    const auto one = one_thread_frame.find(key);
    if (one != one_thread_frame.end() && t.longest_read && state.iterations()) {
      state.counters["read_ceiling_x"] = one->second * 1e3 / (double(t.longest_read) * ms);
      state.counters["x"] = one->second * double(state.iterations()) / seconds;
    }
  }
  FrameBuffersFree(fb);
  if (corrupt) state.SkipWithError("a frame was reported corrupt");
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["Mpix/s"] =
      benchmark::Counter(double(state.iterations()) * w * h / 1e6, benchmark::Counter::kIsRate);
  state.counters["KB/frame"] = double(clip.bytes) / kFrames / 1024.0;
  state.counters["bits/pix"] = BitsPerPixel(clip);
}

// The same planes (Y and two chroma planes) copied with memcpy.
void BM_PlaneMemcpy(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  FrameBuffers* fb = FrameBuffersAllocate(w, h, 0, false, nullptr, w);
  for (auto _ : state) {
    for (uint32_t p = 0; p < 3; ++p) {
      const DecodedPlane& src = fb->sets[0].plane[p];
      const DecodedPlane& dst = fb->sets[1].plane[p];
      std::memcpy(dst.pixels, src.pixels, size_t(src.pitch) * PlaneHeight(fb, p));
    }
    benchmark::ClobberMemory();
  }
  FrameBuffersFree(fb);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}, std::pair{1920, 1080}})
    for (int detail : {0, 1})
      for (int threads : {1, 2}) b->Args({w, h, detail, threads});
}

// Wall time: with the worker the decode spends CPU on two threads.
BENCHMARK(BM_Decode)->Apply(Sizes)->ArgNames({"w", "h", "detail", "threads"})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaneMemcpy)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
