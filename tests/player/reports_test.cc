#include <gtest/gtest.h>

#include <string>

#include "player/summary_text.h"

namespace {

std::string Tenths(int64_t v) {
  char out[32];
  FormatTenths(v, out, sizeof(out));
  return out;
}

std::string Duration(uint32_t ms) {
  char out[64];
  FormatDuration(ms, out, sizeof(out));
  return out;
}

TEST(ReportTextTest, TenthsAndDurations) {
  EXPECT_EQ(Tenths(300), "30.0");
  EXPECT_EQ(Tenths(7), "0.7");
  EXPECT_EQ(Tenths(-15), "-1.5");
  EXPECT_EQ(Duration(0), "0 milliseconds");
  EXPECT_EQ(Duration(1), "1 millisecond");
  EXPECT_EQ(Duration(1500), "1 second");
  EXPECT_EQ(Duration(59999), "59 seconds");
  EXPECT_EQ(Duration(60000), "1 minute 0 seconds");
  EXPECT_EQ(Duration(61000), "1 minute 1 second");
  EXPECT_EQ(Duration(2 * 3600000 + 60000), "2 hours 1 minute");
  EXPECT_EQ(Duration(0xFFFFFFFFu), "1193 hours 2 minutes");
}

TEST(ReportTextTest, StatisticsLineRoundsBufferAndSurvivesZeroSpan) {
  RealtimeStats s{};
  s.word[0] = 12;
  s.word[3] = 30;      // frames in the span
  s.word[4] = 1000;    // span in ms
  s.word[5] = 250;     // video
  s.word[10] = 100;    // blit
  s.word[11] = 999;    // buffer size
  s.word[12] = 499;    // buffer fill
  s.word[13] = 4096;
  char line[256];
  FormatStatisticsLine(s, line, sizeof(line));
  EXPECT_STREQ(line, "Fr: 12, FPS: 30.0, Buf: 50%, Vid: 25%, Aud: 0%, Blit: 10%, Read: 0%, "
                     "Back: 0%, Rate: 4096");
  s.word[4] = 0;
  s.word[11] = 0xFFFFFFFFu;
  FormatStatisticsLine(s, line, sizeof(line));
  EXPECT_NE(std::string(line).find("FPS: 30000.0"), std::string::npos);
}

PlaybackSummary Played(uint32_t frames) {
  PlaybackSummary p{};
  p.word[0] = 320;
  p.word[1] = 240;
  p.word[3] = 30;
  p.word[4] = 1;
  p.word[5] = 30;
  p.word[6] = 1;
  p.word[8] = 150;
  p.word[9] = frames;
  p.word[2] = 5000;
  p.word[15] = 1000;  // video time
  p.word[20] = 40;
  p.word[21] = 50;
  p.word[23] = 77;
  return p;
}

TEST(ReportTextTest, SummaryLinesAndGuards) {
  char text[kSummaryTextSize];
  SummaryDisplay display{"DIB Section", 1920, 1080, 32};
  PlaybackSummary none = Played(0);
  EXPECT_FALSE(BuildSummaryText(none, display, text, sizeof(text)));
  EXPECT_STREQ(text, "");

  ASSERT_TRUE(BuildSummaryText(Played(150), display, text, sizeof(text)));
  std::string s = text;
  EXPECT_EQ(s.rfind("Video: 320 x 240 at 30.0 frames/sec\nTotal frames: 150\n", 0), 0u);
  EXPECT_NE(s.find("Frame rate played: 30.0 frames/sec\n"), std::string::npos);
  EXPECT_NE(s.find("Frame rate obtained: 30.0 frames/sec\n"), std::string::npos);
  EXPECT_NE(s.find("Percentage spent decompressing video: 20.0\n"), std::string::npos);
  EXPECT_NE(s.find("Slowest frame: 0 (25.0 frames/sec)\nSecond slowest frame: 77 (20.0"),
            std::string::npos);
  EXPECT_NE(s.find("Blitting style: DIB Section\nVideo mode: 1920 x 1080 at 32 bits\n"),
            std::string::npos);

  // One frame, the "fast" rate, no time and no display buffer.
  PlaybackSummary one = Played(1);
  one.word[5] = 0;
  one.word[2] = 0;
  ASSERT_TRUE(BuildSummaryText(one, SummaryDisplay{nullptr, 0, 0, 0}, text, sizeof(text)));
  s = text;
  EXPECT_NE(s.find("Frame rate played: As fast as possible\n"), std::string::npos);
  EXPECT_NE(s.find("Frame rate obtained: n/a frames/sec"), std::string::npos);
  EXPECT_NE(s.find("frames/sec)\n\nAverage data rate"), std::string::npos);
  EXPECT_EQ(s.find("Second slowest"), std::string::npos);
  EXPECT_NE(s.find("Blitting style: none\n"), std::string::npos);
}

}  // namespace
