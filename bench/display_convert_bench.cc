// Converting whole frames into surfaces, plain and vector converters, next to
// a memcpy of the same output size. Reports megapixels per second (Mpix/s)
// and the conversion's time over that memcpy's (x_memcpy: the fastest run of
// each, the copies timed just before and after the conversions, each on its
// own warm buffers, so that a loaded machine slows both alike). x_memset is
// the conversion's time over a memset of the output: the cost of the stores
// alone. x_traffic is its time over a loop that makes exactly a packed
// converter's loads (a luma row and two half chroma rows per output row) and
// stores (the output row), with no arithmetic between them (on processors
// with AVX-512): the floor that the memory system sets for any such
// converter; floor_x_memcpy is that loop's time over the memcpy's.
#include <benchmark/benchmark.h>
#include <immintrin.h>

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

#if defined(__x86_64__) || defined(__i386__)
// Loads and stores of a packed conversion as the widest converter makes them:
// per 64 pixels, 64 luma bytes and 32 of each chroma in, 64 * outBytes bytes
// out in whole, aligned cache lines (the row's first pixels up to the first
// line are left out, as are its last partial step). The stored values depend
// on the loads so that none of them can be left out.
__attribute__((target("avx512f,avx512bw"))) void PackedTraffic(const Frame& f, uint8_t* out, int32_t pitch,
                                                                 uint32_t outBytes) {
  const uint32_t cw = (f.width + 1) / 2;
  for (uint32_t r = 0; r < f.height; ++r) {
    uint8_t* d = out + static_cast<size_t>(r) * pitch;
    const uint32_t lead = static_cast<uint32_t>(-reinterpret_cast<uintptr_t>(d) & 63) / outBytes & ~1u;
    const uint8_t* y = f.y.data() + static_cast<size_t>(r) * f.width + lead;
    const uint8_t* u = f.c1.data() + static_cast<size_t>(r / 2) * cw + lead / 2;
    const uint8_t* v = f.c2.data() + static_cast<size_t>(r / 2) * cw + lead / 2;
    d += lead * outBytes;
    for (uint32_t x = lead; x + 64 <= f.width; x += 64, y += 64, u += 32, v += 32, d += 64 * outBytes) {
      const __m256i c = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u)),
                                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v)));
      const __m512i px = _mm512_xor_si512(_mm512_loadu_si512(y), _mm512_castsi256_si512(c));
      for (uint32_t k = 0; k < outBytes; ++k) _mm512_storeu_si512(d + 64 * k, px);
    }
  }
}
constexpr bool kTraffic = true;
#else
void PackedTraffic(const Frame&, uint8_t*, int32_t, uint32_t) {}
constexpr bool kTraffic = false;
#endif

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
  double fastestConvert = 1e30, fastestCopy = 1e30, fastestFill = 1e30, fastestTraffic = 1e30;
  const bool traffic = kTraffic && type != 15 && (UsableFeatures() & CPU_AVX512) != 0;
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
  // Apart from the copies, so that each set of buffers stays as warm as the
  // conversion's own.
  auto timeTraffic = [&] {
    for (int i = 0; traffic && i < 24; ++i) {
      const Clock::time_point t0 = Clock::now();
      PackedTraffic(f, surface.data(), pitch, OutputBytes(type));
      benchmark::ClobberMemory();
      if (i > 0) fastestTraffic = std::min(fastestTraffic, std::chrono::duration<double>(Clock::now() - t0).count());
    }
  };
  timeCopies();
  timeTraffic();
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    CopyPictureToSurface(f.planes, surface.data(), pitch, height, 0, 0, CopyRect{0, 0, width, height}, type, false,
                         features);
    benchmark::ClobberMemory();
    fastestConvert = std::min(fastestConvert, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  timeTraffic();
  timeCopies();
  state.SetItemsProcessed(state.iterations() * width * height);
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * width * height * 1e-6, benchmark::Counter::kIsRate);
  state.counters["x_memcpy"] = fastestConvert / fastestCopy;
  state.counters["x_memset"] = fastestConvert / fastestFill;
  if (traffic) {
    state.counters["x_traffic"] = fastestConvert / fastestTraffic;
    state.counters["floor_x_memcpy"] = fastestTraffic / fastestCopy;
  }
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
