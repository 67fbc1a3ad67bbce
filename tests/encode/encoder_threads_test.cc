// Block rows coded on several threads give the same stream, byte for byte,
// as one thread, at every speed: each row waits only for what it reads.
#include <gtest/gtest.h>

#include <vector>

#include "encode/speed_presets.h"
#include "tests/encode/encode_helpers.h"

namespace {

std::vector<uint8_t> Encode(int speed, uint32_t threads) {
  VideoEncoderSettings s{};
  s.width = 120;  // 15 block columns, 11 luma rows: odd counts in both
  s.height = 88;
  s.quality = 60;
  s.keyint = 0;
  s.kinds = kAllKinds;
  s.alpha = true;
  s.speed = speed;
  s.threads = threads;
  VideoEncoder* enc = VideoEncoderCreate(&s);
  std::vector<uint8_t> all, data;
  for (uint32_t f = 0; f < 4; ++f) {
    const TestPicture pic = MakeTestPicture(s.width, s.height, f);
    const VideoPicture view = pic.View();
    bool key = false;
    EXPECT_TRUE(VideoEncodeFrame(enc, &view, &data, &key));
    all.insert(all.end(), data.begin(), data.end());
  }
  VideoEncoderDestroy(enc);
  return all;
}

TEST(EncoderThreads, SameBytesWhateverTheThreadCount) {
  for (int speed : {0, kDefaultSpeed, kSpeedCount - 1}) {
    SCOPED_TRACE(speed);
    const std::vector<uint8_t> one = Encode(speed, 1);
    ASSERT_FALSE(one.empty());
    for (uint32_t threads : {2u, 3u, 16u}) EXPECT_EQ(Encode(speed, threads), one) << threads << " threads";
  }
}

}  // namespace
