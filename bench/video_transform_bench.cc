// The transform blocks' pixel arithmetic and list readers, per block, and
// the video encoder in frames per second.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "video/bit_reader.h"
#include "video/bit_writer.h"
#include "video/coefficients.h"
#include "video/coefficients_writer.h"
#include "video/inverse_transform.h"
#include "video/quant_tables.h"
#include "video/residue.h"
#include "video/residue_writer.h"

namespace {

constexpr int kBlocks = 4096;

// Coefficient blocks like an encoder makes: a DC and `count` low-frequency
// values of small magnitude.
std::vector<int16_t> MakeBlocks(int count) {
  std::mt19937 rng(1);
  std::vector<int16_t> blocks(size_t(kBlocks) * 64, 0);
  for (int i = 0; i < kBlocks; ++i) {
    int16_t* b = &blocks[size_t(i) * 64];
    b[0] = int16_t(600 + rng() % 600);
    for (int k = 0; k < count; ++k) b[1 + rng() % 24] = int16_t(int(rng() % 31) - 15);
  }
  return blocks;
}

void BM_InverseTransformPut(benchmark::State& state) {
  const std::vector<int16_t> blocks = MakeBlocks(int(state.range(0)));
  uint8_t out[64 * 8];
  int i = 0;
  for (auto _ : state) {
    InverseTransformPut(&blocks[size_t(i) * 64], INTRA_QUANT[4], out, 8);
    benchmark::DoNotOptimize(out);
    i = (i + 1) % kBlocks;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InverseTransformPut)->Arg(0)->Arg(4)->Arg(16);

void BM_ReadCoefficients(benchmark::State& state) {
  const std::vector<int16_t> blocks = MakeBlocks(int(state.range(0)));
  std::vector<uint8_t> bytes(size_t(kBlocks) * 512);
  BitWriter w;
  BitWriterInit(&w, bytes.data(), uint32_t(bytes.size()));
  for (int i = 0; i < kBlocks; ++i) WriteCoefficients(&w, &blocks[size_t(i) * 64]);
  const uint32_t size = BitWriterFlush(&w);
  BitReader r;
  BitReaderInit(&r, bytes.data(), size);
  int16_t out[64];
  int i = 0;
  for (auto _ : state) {
    if (i == 0) BitReaderInit(&r, bytes.data(), size);
    ReadCoefficients(&r, out);
    benchmark::DoNotOptimize(out);
    i = (i + 1) % kBlocks;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadCoefficients)->Arg(4)->Arg(16);

void BM_ReadResidue(benchmark::State& state) {
  std::mt19937 rng(2);
  std::vector<uint8_t> bytes(size_t(kBlocks) * 256);
  BitWriter w;
  BitWriterInit(&w, bytes.data(), uint32_t(bytes.size()));
  for (int i = 0; i < kBlocks; ++i) {
    int8_t t[64] = {};
    for (int k = 0; k < int(state.range(0)); ++k) t[rng() % 64] = int8_t(int(rng() % 15) - 7);
    WriteResidue(&w, t, 127, nullptr);
  }
  const uint32_t size = BitWriterFlush(&w);
  BitReader r;
  int8_t out[64];
  int i = 0;
  for (auto _ : state) {
    if (i == 0) BitReaderInit(&r, bytes.data(), size);
    ReadResidue(&r, 127, out);
    benchmark::DoNotOptimize(out);
    i = (i + 1) % kBlocks;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadResidue)->Arg(4)->Arg(16);

// Frames per second of the encoder on the test picture.
void BM_EncodeTestSource(benchmark::State& state) {
  const uint32_t w = uint32_t(state.range(0)), h = uint32_t(state.range(1));
  VideoEncoderSettings s{};
  s.width = w;
  s.height = h;
  s.quality = 75;
  s.keyint = 120;
  s.kinds = kAllKinds;
  VideoEncoder* e = VideoEncoderCreate(&s);
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  std::vector<std::vector<uint8_t>> ys(8), us(8), vs(8);
  for (uint32_t f = 0; f < 8; ++f) {
    ys[f].resize(size_t(w) * h);
    us[f].resize(size_t(cw) * ch);
    vs[f].resize(size_t(cw) * ch);
    TestSourceFrame(w, h, f, ys[f].data(), int(w), us[f].data(), vs[f].data(), int(cw));
  }
  std::vector<uint8_t> out;
  uint32_t f = 0;
  for (auto _ : state) {
    VideoPicture p{ys[f].data(), int(w), us[f].data(), vs[f].data(), int(cw), nullptr, 0};
    bool key;
    VideoEncodeFrame(e, &p, &out, &key);
    f = (f + 1) % 8;
  }
  state.SetItemsProcessed(state.iterations());
  VideoEncoderDestroy(e);
}
BENCHMARK(BM_EncodeTestSource)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
