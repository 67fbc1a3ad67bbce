// The encoder's reconstruction must equal what the decoder produces from its
// output, bit for bit, whatever block kinds it chooses; and it must code the
// picture well enough to be worth having.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "encode/speed_presets.h"
#include "tests/encode/encode_helpers.h"

namespace {

VideoEncoderSettings Settings(uint32_t w, uint32_t h, uint32_t kinds, int quality = 75) {
  VideoEncoderSettings s{};
  s.width = w;
  s.height = h;
  s.quality = quality;
  s.keyint = 0;
  s.kinds = kinds;
  return s;
}

void ExpectExact(const VideoEncoderSettings& s, int frames, VideoEncoderStats* stats) {
  const DecodeCheck c = EncodeAndDecode(s, frames, stats);
  EXPECT_EQ(c.frames, frames);
  EXPECT_EQ(c.rejected_frames, 0);
  EXPECT_EQ(c.mismatched_frames, 0);
}

// Each kind on its own (with a fill as the fallback every plane needs), so a
// fault in one kind's coding or reconstruction cannot hide behind another.
TEST(VideoEncoder, EveryKindRoundTripsExactly) {
  const uint32_t base = KindBit(BLOCK_FILL);
  const BlockKind kinds[] = {BLOCK_SKIP,      BLOCK_MOTION,  BLOCK_RUNS, BLOCK_RESIDUE, BLOCK_INTRA_DCT,
                             BLOCK_INTER_DCT, BLOCK_PATTERN, BLOCK_RAW};
  for (BlockKind k : kinds) {
    SCOPED_TRACE(int(k));
    VideoEncoderStats stats;
    ExpectExact(Settings(96, 64, base | KindBit(k) | KindBit(BLOCK_SKIP)), 4, &stats);
    EXPECT_GT(stats.kind_count[k], 0u) << "kind " << int(k) << " was never chosen";
  }
}

// Scaled blocks with every sub-kind they can carry.
TEST(VideoEncoder, ScaledSubKindsRoundTripExactly) {
  const uint32_t intra = KindBit(BLOCK_RUNS) | KindBit(BLOCK_INTRA_DCT) | KindBit(BLOCK_PATTERN) | KindBit(BLOCK_RAW);
  for (uint32_t sub : {KindBit(BLOCK_RUNS), KindBit(BLOCK_INTRA_DCT), KindBit(BLOCK_PATTERN), KindBit(BLOCK_RAW), intra}) {
    VideoEncoderStats stats;
    ExpectExact(Settings(80, 48, KindBit(BLOCK_FILL) | KindBit(BLOCK_SCALED) | sub, 20), 2, &stats);
    EXPECT_GT(stats.kind_count[BLOCK_SCALED], 0u);
  }
}

// Every speed setting trims the search differently; each must still write
// what the decoder reads back as the encoder's own reconstruction.
TEST(VideoEncoder, EverySpeedRoundTripsExactly) {
  for (int speed = 0; speed < kSpeedCount; ++speed) {
    SCOPED_TRACE(speed);
    VideoEncoderStats stats;
    VideoEncoderSettings s = Settings(104, 72, kAllKinds, 40 + 10 * speed);
    s.speed = speed;
    s.threads = 2;
    ExpectExact(s, 4, &stats);
  }
}

TEST(VideoEncoder, AllKindsOddSizesAlphaAndGrayscale) {
  VideoEncoderStats stats;
  VideoEncoderSettings s = Settings(70, 38, kAllKinds, 60);
  s.alpha = true;
  ExpectExact(s, 5, &stats);
  s = Settings(50, 30, kAllKinds, 90);
  s.grayscale = true;
  ExpectExact(s, 3, &stats);
  s = Settings(8, 8, kAllKinds, 10);  // one block per plane row
  ExpectExact(s, 3, &stats);
}

TEST(VideoEncoder, AllKeyFramesCodeWithoutReference) {
  VideoEncoderStats stats;
  VideoEncoderSettings s = Settings(48, 32, kAllKinds);
  s.keyint = 1;
  ExpectExact(s, 3, &stats);
  EXPECT_EQ(stats.kind_count[BLOCK_SKIP] + stats.kind_count[BLOCK_MOTION] + stats.kind_count[BLOCK_RESIDUE] +
                stats.kind_count[BLOCK_INTER_DCT],
            0u);
}

// Wide planes need more run values per row than the runs bundle holds; the
// encoder must choose other kinds once a row's budget is spent.
TEST(VideoEncoder, WidePictureKeepsBundlesWithinCapacity) {
  VideoEncoderStats stats;
  ExpectExact(Settings(640, 16, KindBit(BLOCK_FILL) | KindBit(BLOCK_RUNS) | KindBit(BLOCK_RAW)), 1, &stats);
}

// Figures for the report: quality against size on the test source.
TEST(VideoEncoder, QualityAndSize) {
  for (int quality : {30, 75, 95}) {
    VideoEncoderStats stats;
    VideoEncoderSettings s = Settings(160, 120, kAllKinds, quality);
    s.keyint = 10;
    const DecodeCheck c = EncodeAndDecode(s, 12, &stats);
    EXPECT_EQ(c.mismatched_frames, 0);
    const double psnr = Psnr(stats.sse[0], stats.samples[0]);
    const double bpp = 8.0 * double(c.bytes) / (160.0 * 120 * 12);
    std::printf("quality %d: Y PSNR %.2f dB, %.3f bits per pixel\n", quality, psnr, bpp);
    EXPECT_GT(psnr, quality >= 75 ? 32.0 : 24.0);
    EXPECT_LT(bpp, 4.0);
  }
}

// A camera pan across a smooth sky crossed by thin cables: blocks also
// start their search from the vector most blocks took in the frame before,
// which at the plane's edges points outside it; every frame must still
// decode to the encoder's own reconstruction.
TEST(VideoEncoder, PanRoundTripsExactly) {
  const uint32_t w = 96, h = 64;
  VideoEncoderSettings s = Settings(w, h, kAllKinds, 40);
  VideoEncoder* enc = VideoEncoderCreate(&s);
  ASSERT_TRUE(enc);
  FrameChecker* check = FrameCheckerCreate(enc, w, h, false);
  std::vector<uint8_t> y(size_t(w) * h), c(size_t(w / 2) * (h / 2), 128), data;
  const VideoPicture view{y.data(), int(w), c.data(), c.data(), int(w / 2), nullptr, 0};
  for (int f = 0; f < 8; ++f) {
    for (uint32_t r = 0; r < h; ++r)
      for (uint32_t x = 0; x < w; ++x) {
        const int X = int(x) + 7 * f, Y = int(r) + 5 * f;
        y[r * w + x] = uint8_t((X - 2 * Y + 1000) % 37 < 2 ? 230 : 40 + (X * 3 + Y * 4) / 25);
      }
    bool key = false;
    ASSERT_TRUE(VideoEncodeFrame(enc, &view, &data, &key));
    EXPECT_EQ(FrameCheckerFrame(check, enc, data, key), 1) << "frame " << f;
  }
  FrameCheckerDestroy(check);
  VideoEncoderDestroy(enc);
}

// A forced key frame restarts the key frame interval.
TEST(VideoEncoder, KeyIntervalCountsFromTheLastKeyFrame) {
  VideoEncoderSettings s = Settings(32, 32, kAllKinds);
  s.keyint = 3;
  VideoEncoder* enc = VideoEncoderCreate(&s);
  ASSERT_TRUE(enc);
  const TestPicture pic = MakeTestPicture(32, 32, 0);
  const VideoPicture view = pic.View();
  std::vector<uint8_t> data;
  std::string keys;
  for (int f = 0; f < 6; ++f) {
    VideoFrameControl control;
    control.force_key = f == 1;
    control.quantiser = 2.5 * f;
    bool key = false;
    ASSERT_TRUE(VideoEncodeFrameWith(enc, &view, &control, &data, &key));
    keys += key ? 'K' : '.';
  }
  EXPECT_EQ(keys, "KK..K.");
  VideoEncoderDestroy(enc);
}

}  // namespace
