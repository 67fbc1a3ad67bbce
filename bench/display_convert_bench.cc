// Converting whole frames into surfaces, plain and vector converters, next to
// a memcpy of the same output size. Reports megapixels per second (Mpix/s)
// and the conversion's time over that memcpy's (x_memcpy: the fastest run of
// each, the copies timed just before and after the conversions, each on its
// own warm buffers, so that a loaded machine slows both alike). x_memset is
// the conversion's time over a memset of the output: the cost of the stores
// alone, the floor that no converter goes below.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "display/copy_walk.h"
#include "base/cpu_features.h"
#include "display/converter.h"

namespace {

struct Frame {
  uint32_t width, height;
  std::vector<uint8_t> y, c1, c2;
  CopyPlanes planes;
};

// A gradient picture with some texture, chroma sweeping across the range.
Frame MakeFrame(uint32_t width, uint32_t height) {
  Frame f{width, height, {}, {}, {}, {}};
  const uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
  f.y.resize(static_cast<size_t>(width) * height);
  f.c1.resize(static_cast<size_t>(cw) * ch);
  f.c2.resize(f.c1.size());
  for (uint32_t r = 0; r < height; ++r) {
    for (uint32_t c = 0; c < width; ++c) f.y[r * width + c] = static_cast<uint8_t>(c + r + ((c * r) & 15));
  }
  for (uint32_t r = 0; r < ch; ++r) {
    for (uint32_t c = 0; c < cw; ++c) {
      f.c1[r * cw + c] = static_cast<uint8_t>(c * 255 / cw);
      f.c2[r * cw + c] = static_cast<uint8_t>(r * 255 / ch);
    }
  }
  f.planes = CopyPlanes{f.y.data(), static_cast<int32_t>(width), f.c1.data(), static_cast<int32_t>(cw),
                        f.c2.data(), static_cast<int32_t>(cw), nullptr, 0, width, height, nullptr, 0};
  return f;
}

uint32_t OutputBytes(uint32_t type) { return type == 3 ? 4 : (type == 1 ? 3 : (type == 15 ? 1 : 2)); }

// Args: width, height, surface type, 0 plain / 1 the widest vector set / 2 at
// most AVX2 (to show what AVX-512 adds).
void BM_Convert(benchmark::State& state) {
  const uint32_t width = static_cast<uint32_t>(state.range(0)), height = static_cast<uint32_t>(state.range(1));
  const uint32_t type = static_cast<uint32_t>(state.range(2));
  const int64_t sets = state.range(3);
  const uint32_t features = sets == 0 ? 0 : (sets == 1 ? UsableFeatures() : UsableFeatures() & ~CPU_AVX512);
  Frame f = MakeFrame(width, height);
  const int32_t pitch = static_cast<int32_t>(width * OutputBytes(type));
  std::vector<uint8_t> surface(static_cast<size_t>(pitch) * height * 2);
  ConverterSet chosen;
  SelectConverterFor(&chosen, type, false, features);
  state.SetLabel(chosen.name);
  const size_t outBytes = static_cast<size_t>(pitch) * height;
  std::vector<uint8_t> copyFrom(outBytes, 1), copyTo(outBytes);
  using Clock = std::chrono::steady_clock;
  double fastestConvert = 1e30, fastestCopy = 1e30, fastestFill = 1e30;
  auto timeCopies = [&] {
    for (int i = 0; i < 24; ++i) {
      Clock::time_point t0 = Clock::now();
      std::memcpy(copyTo.data(), copyFrom.data(), outBytes);
      benchmark::ClobberMemory();
      if (i > 0) fastestCopy = std::min(fastestCopy, std::chrono::duration<double>(Clock::now() - t0).count());
      t0 = Clock::now();
      std::memset(copyTo.data(), i, outBytes);
      benchmark::ClobberMemory();
      if (i > 0) fastestFill = std::min(fastestFill, std::chrono::duration<double>(Clock::now() - t0).count());
    }
  };
  timeCopies();
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    CopyPictureToSurface(f.planes, surface.data(), pitch, height, 0, 0, CopyRect{0, 0, width, height}, type, false,
                         features);
    benchmark::ClobberMemory();
    fastestConvert = std::min(fastestConvert, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  timeCopies();
  state.SetItemsProcessed(state.iterations() * width * height);
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * width * height * 1e-6, benchmark::Counter::kIsRate);
  state.counters["x_memcpy"] = fastestConvert / fastestCopy;
  state.counters["x_memset"] = fastestConvert / fastestFill;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pitch) * height);
}

// The floor: copying a 32-bit frame's bytes.
void BM_Memcpy32(benchmark::State& state) {
  const uint32_t width = static_cast<uint32_t>(state.range(0)), height = static_cast<uint32_t>(state.range(1));
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * width * height);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (auto [w, h] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    for (int type : {1, 3, 10, 13, 15}) {
      for (int vec : {0, 1, 2}) b->Args({w, h, type, vec});
    }
  }
}

BENCHMARK(BM_Convert)->Apply(Sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy32)->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
