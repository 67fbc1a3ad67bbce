// AudioDecoder set-up and block decoding: parameters, the bit layout, the
// 16-bit conversion and the cross-fade, against a double-precision model.
#include "audio/audio_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_tables.h"
#include "audio/block_writer.h"
#include "tests/audio/audio_helpers.h"

namespace {

struct Decoder {
  AudioDecoder* d;
  Decoder(uint32_t rate, uint32_t channels, uint32_t flags) : d(AudioDecoderOpen(rate, channels, flags)) {}
  ~Decoder() { AudioDecoderClose(d); }
};

// Decodes `block` from a heap copy of exactly its size, so that any read
// past the end shows under the address sanitizer.
std::vector<int16_t> Decode(AudioDecoder* d, const std::vector<uint8_t>& block, int* whole = nullptr,
                            size_t* used = nullptr) {
  std::vector<uint8_t> copy(block);
  const int16_t* pcm = nullptr;
  uint32_t bytes = 0;
  const uint8_t* next = nullptr;
  const int r = AudioDecodeBlock(d, copy.data(), copy.data() + copy.size(), &pcm, &bytes, &next);
  if (whole) *whole = r;
  if (used) *used = size_t(next - copy.data());
  EXPECT_EQ(bytes, d->block_bytes - d->block_bytes / 16);
  return std::vector<int16_t>(pcm, pcm + d->block_bytes / 2);
}

// A block whose only coefficient is the zero-frequency one, as a field.
std::vector<uint8_t> DcBlock(const AudioDecoder* d, float value) {
  std::vector<TransformSpec> t(d->transform_count, SilentTransform(d));
  for (TransformSpec& s : t) s.field0 = AudioCoefficientField(value);
  return WriteBlock(d, t);
}

TEST(AudioDecoder, ParametersFollowRateChannelsAndKind) {
  {
    Decoder s(44100, 2, AUDIO_KIND_DCT);
    ASSERT_NE(s.d, nullptr);
    EXPECT_EQ(s.d->transform_length, 2048u);
    EXPECT_EQ(s.d->transform_count, 2u);
    EXPECT_EQ(s.d->band_count, 25u);
    EXPECT_EQ(s.d->block_bytes, 8192u);
    EXPECT_EQ(s.d->overlap_bytes, 512u);
    EXPECT_EQ(s.d->first_block, 1u);
    EXPECT_EQ(s.d->transform_index[0], 0);
  }
  {
    Decoder s(44100, 2, 0);
    EXPECT_EQ(s.d->transform_length, 4096u);
    EXPECT_EQ(s.d->transform_count, 1u);
    EXPECT_EQ(s.d->band_count, 25u);
    EXPECT_EQ(s.d->output_scale, 0.03125f);
  }
  {
    Decoder s(22050, 1, AUDIO_KIND_DCT);
    EXPECT_EQ(s.d->transform_length, 1024u);
    EXPECT_EQ(s.d->band_count, 23u);
    EXPECT_EQ(s.d->band_bounds[0], 1u);
    EXPECT_EQ(s.d->band_bounds[1], 4u);
    EXPECT_EQ(s.d->band_bounds[23], 512u);
    for (uint32_t i = 0; i < 23; ++i) EXPECT_LT(s.d->band_bounds[i], s.d->band_bounds[i + 1]);
  }
  EXPECT_EQ(AudioBlockLength(22049), 512u);
  EXPECT_EQ(AudioBlockLength(22050), 1024u);
  EXPECT_EQ(AudioBlockLength(44099), 1024u);
  EXPECT_EQ(AudioBlockLength(44100), 2048u);
  EXPECT_EQ(AudioDecoderOpen(8000, 3, 0), nullptr);
}

TEST(AudioDecoder, TablesAreTheFormatsValues) {
  EXPECT_EQ(kAudioBandScale[0], 1.0f);
  EXPECT_NEAR(kAudioBandScale[20], 21.2814f, 1e-4);
  EXPECT_EQ(kAudioBandScale[95], 2032357.0f);
  for (uint32_t k = 0; k < 96; ++k) EXPECT_EQ(kAudioBandScale[k], float(std::pow(10.0, 0.0664 * k))) << k;
  EXPECT_EQ(AudioFieldValue(23 | 1u << 5), 1.0f);
  EXPECT_EQ(AudioFieldValue(0 | 1u << 5), std::ldexp(1.0f, -23));
  EXPECT_EQ(AudioFieldValue(30 | 0x7FFFFFu << 5), 0.0f);
  EXPECT_EQ(AudioFieldValue(23 | 3u << 5 | 1u << 28), -3.0f);
  // The writer's fields come back exactly where the value fits 23 bits.
  for (float v : {1.0f, -0.375f, 123456.0f, 8388607.0f, 3e6f})
    EXPECT_NEAR(AudioFieldValue(AudioCoefficientField(v)), v, std::fabs(v) * 1.2e-7) << v;
  // Below 1 the exponent bottoms out: steps of 2^-23.
  EXPECT_NEAR(AudioFieldValue(AudioCoefficientField(1e-3f)), 1e-3f, std::ldexp(1.0f, -24));
  EXPECT_EQ(AudioFieldValue(AudioCoefficientField(1e12f)), 8388607.0f);
}

// Random blocks of every kind and layout against the model: rounding of the
// float transforms may move a sample by one unit at most at these levels.
TEST(AudioDecoder, BlocksMatchTheModel) {
  struct Case { uint32_t rate, channels, flags; };
  const Case cases[] = {{8000, 1, 0},  {8000, 2, 0},      {22050, 1, AUDIO_KIND_DCT}, {22050, 2, 0},
                        {44100, 2, 0}, {44100, 2, AUDIO_KIND_DCT}, {48000, 1, AUDIO_KIND_DCT}, {11025, 2, AUDIO_KIND_DCT}};
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    Decoder s(c.rate, c.channels, c.flags);
    ASSERT_NE(s.d, nullptr);
    std::vector<int16_t> tail;
    for (int block = 0; block < 2; ++block) {
      std::vector<TransformSpec> t;
      for (uint32_t i = 0; i < s.d->transform_count; ++i) t.push_back(RandomTransform(s.d, &rng, 30, 9));
      const std::vector<uint8_t> bytes = WriteBlock(s.d, t);
      size_t used = 0;
      int whole = 0;
      const std::vector<int16_t> got = Decode(s.d, bytes, &whole, &used);
      EXPECT_EQ(whole, 1);
      EXPECT_EQ(used, bytes.size()) << "the block ends on the word after its last bit";
      const std::vector<double> model = ModelBlock(s.d, t);
      std::vector<int16_t> want(model.size());
      for (size_t i = 0; i < model.size(); ++i) want[i] = ModelSample(model[i]);
      const uint32_t cf = s.d->block_bytes / 32;
      if (block == 1) {
        int shift = 0;
        while ((1u << shift) < cf) ++shift;
        for (uint32_t i = 0; i < cf; ++i) want[i] = int16_t((tail[i] * int32_t(cf - i) + want[i] * int32_t(i)) >> shift);
      }
      int worst = 0;
      for (size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::abs(int(got[i]) - int(want[i])));
      EXPECT_LE(worst, 1) << "rate " << c.rate << " channels " << c.channels << " kind " << c.flags;
      tail.assign(want.end() - cf, want.end());
    }
  }
}

TEST(AudioDecoder, RoundsToNearestEvenAndClamps) {
  // Real-DFT kind at N = 1024: the scale is exactly 1/16 and a lone zero-
  // frequency coefficient R0 gives R0/2 everywhere, so R0 = 32 x wanted.
  Decoder s(11025, 2, 0);
  ASSERT_EQ(s.d->output_scale, 0.0625f);
  const struct { float sample; int16_t want; } cases[] = {
      {2.5f, 2}, {3.5f, 4}, {-2.5f, -2}, {32767.5f, 32767}, {-32768.5f, -32768}, {40000.0f, 32767}, {-40000.0f, -32768}};
  for (const auto& c : cases) {
    Decoder fresh(11025, 2, 0);
    const std::vector<int16_t> got = Decode(fresh.d, DcBlock(fresh.d, 32.0f * c.sample));
    EXPECT_EQ(got[0], c.want) << c.sample;
    EXPECT_EQ(got[777], c.want) << c.sample;
  }
}

TEST(AudioDecoder, FirstBlockIsNotBlendedAndLaterOnesCrossFade) {
  Decoder s(11025, 2, 0);  // B = 2048 bytes, C = 64 samples
  const uint32_t c = s.d->block_bytes / 32;
  ASSERT_EQ(c, 64u);
  const std::vector<int16_t> first = Decode(s.d, DcBlock(s.d, 32.0f * 1000));
  for (int16_t v : first) ASSERT_EQ(v, 1000);
  const std::vector<int16_t> second = Decode(s.d, DcBlock(s.d, 32.0f * -3000));
  // Over the first C samples the old block's 1000 fades into -3000 in
  // 64ths: (1000 x (64 - i) - 3000 x i) / 64, rounded toward minus infinity.
  const struct { uint32_t i; int16_t want; } fade[] = {
      {0, 1000}, {1, 937}, {16, 0}, {32, -1000}, {48, -2000}, {63, -2938}};
  for (const auto& f : fade) EXPECT_EQ(second[f.i], f.want) << f.i;
  for (uint32_t i = 1; i < c; ++i) ASSERT_LT(second[i], second[i - 1]) << i;
  for (uint32_t i = c; i < second.size(); ++i) ASSERT_EQ(second[i], -3000);
}

// Hand-made bit streams: a width-0 run reads nothing however long it is, and
// a zero magnitude has no sign bit.
TEST(AudioDecoder, RunsReadOnlyTheBitsTheyNeed) {
  Decoder s(8000, 1, AUDIO_KIND_DCT);  // N = 512, one transform
  const uint32_t k = s.d->band_count;
  auto header_bits = [&] { return 2 + 58 + 8 * k; };
  auto zeros = [](AudioBitWriter* w, uint32_t n) {
    for (; n > 16; n -= 16) AudioBitPut(w, 0, 16);
    AudioBitPut(w, 0, n);
  };
  {
    std::vector<uint8_t> buf(256);
    AudioBitWriter w;
    AudioBitWriterStart(&w, buf.data(), 256);
    zeros(&w, 2 + 58 + 8 * k);
    AudioBitPut(&w, 1, 1);
    AudioBitPut(&w, 15, 4);  // 512 coefficients: covers 2 .. 511
    AudioBitPut(&w, 0, 4);
    AudioBitPut(&w, 0xFFFFFFFF, 32);  // the next block's bits
    AudioBitAlign(&w);
    buf.resize(w.size);
    size_t used = 0;
    Decode(s.d, buf, nullptr, &used);
    EXPECT_EQ(used, (header_bits() + 9 + 31) / 32 * 4);
  }
  {
    // 64 runs of 8 at width 1: the first coefficient of each run is 1 with
    // sign 1, the rest 0 (one bit each, no sign bits). The last run is cut at
    // N (6 coefficients).
    std::vector<uint8_t> buf(1024);
    AudioBitWriter w;
    AudioBitWriterStart(&w, buf.data(), 1024);
    zeros(&w, 2 + 58);
    for (uint32_t i = 0; i < k; ++i) AudioBitPut(&w, 20, 8);
    uint32_t bits = header_bits();
    for (uint32_t j = 2; j < 512; j += 8) {
      AudioBitPut(&w, 0, 1);
      AudioBitPut(&w, 1, 4);
      AudioBitPut(&w, 1, 1);
      AudioBitPut(&w, 1, 1);
      const uint32_t len = std::min(8u, 512 - j);
      AudioBitPut(&w, 0, len - 1);
      bits += 5 + 2 + (len - 1);
    }
    AudioBitAlign(&w);
    buf.resize(w.size);
    size_t used = 0;
    Decoder fresh(8000, 1, AUDIO_KIND_DCT);  // unblended
    const std::vector<int16_t> got = Decode(fresh.d, buf, nullptr, &used);
    EXPECT_EQ(used, (bits + 31) / 32 * 4);
    // The same block from the writer, through the model.
    TransformSpec t = SilentTransform(s.d);
    t.codes.assign(k, 20);
    for (uint32_t j = 2; j < 512; j += 8) t.values[j] = -1;
    for (AudioRun& r : t.runs) r.width = 1;
    EXPECT_EQ(WriteBlock(s.d, {t}), buf);
    const std::vector<double> model = ModelBlock(s.d, {t});
    for (size_t i = 0; i < model.size(); ++i) ASSERT_NEAR(got[i], model[i], 1.0) << i;
  }
}

TEST(AudioDecoder, BlockCutByTheEndReadsZerosAndSaysSo) {
  Decoder s(22050, 2, 0);
  std::mt19937 rng(9);
  const std::vector<uint8_t> full = WriteBlock(s.d, {RandomTransform(s.d, &rng, 20, 8)});
  for (size_t cut : {size_t(0), size_t(3), size_t(7), full.size() / 2, full.size() - 4}) {
    std::vector<uint8_t> part(full.begin(), full.begin() + cut);
    int whole = 1;
    size_t used = 99;
    Decode(s.d, part, &whole, &used);
    EXPECT_EQ(whole, 0) << cut;
    EXPECT_EQ(used, cut) << cut;
  }
  int whole = 0;
  Decode(s.d, full, &whole);
  EXPECT_EQ(whole, 1);
}

}  // namespace
