// `vexa decode --png/--rgb`: the raw surfaces hold the pixels of flat
// pictures as worked out by hand, PNG files carry the picture size, and
// --frames A-B picks the frames written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>


namespace {

std::string Dir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string d = std::string(tmp ? tmp : "/tmp") + "/vexa_image_output_test_" + std::to_string(getpid());
  std::system(("mkdir -p " + d).c_str());
  return d;
}

int RunTool(const std::string& args) {
  return std::system((std::string(VEXA_TOOL_PATH) + " " + args + " >/dev/null 2>&1").c_str());
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

class ImageOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = Dir();
    ASSERT_EQ(RunTool("encode --testsrc 38x22 --frames 4 --quiet -o " + dir_ + "/t.vxa"), 0);
  }
  static void TearDownTestSuite() { std::system(("rm -rf " + dir_).c_str()); }
  static std::string dir_;
};
std::string ImageOutput::dir_;

// Two flat frames, worked out by hand from the colour equations: a red
// (Y 81, U 90, V 240: luma 75, u -16, v 45, so red 75 + 180 = 255, green
// 75 + 16 - 90 = 1, blue 75 - 80 = 0) and a white (Y 235, U = V = 128).
TEST_F(ImageOutput, RawSurfacesHoldTheConvertedPixels) {
  const uint32_t w = 18, h = 10;
  std::string y4m = "YUV4MPEG2 W18 H10 F30:1 Ip C420jpeg\n";
  const uint8_t frames[2][3] = {{81, 90, 240}, {235, 128, 128}};  // Y, U, V
  for (const auto& f : frames) {
    y4m += "FRAME\n";
    y4m += std::string(w * h, char(f[0])) + std::string(w * h / 4, char(f[1])) + std::string(w * h / 4, char(f[2]));
  }
  {
    std::ofstream out(dir_ + "/flat.y4m", std::ios::binary);
    out << y4m;
  }
  const std::string vxa = dir_ + "/flat.vxa";
  ASSERT_EQ(RunTool("encode " + dir_ + "/flat.y4m --quiet -o " + vxa), 0);
  // Bytes of one pixel (a pair for the packed YUV type) in each frame.
  struct Case {
    uint32_t type, pixel_bytes;
    std::vector<uint8_t> pixel[2];
  };
  const Case cases[] = {
      {3, 4, {{0x00, 0x01, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF, 0x00}}},
      {10, 2, {{0x00, 0xF8}, {0xDF, 0xFF}}},  // 5-6-5: green and blue lose their small values to the shift
      {13, 4, {{81, 90, 81, 240}, {235, 128, 235, 128}}},
  };
  for (const Case& c : cases) {
    const std::string raw = dir_ + "/flat" + std::to_string(c.type) + ".raw";
    ASSERT_EQ(RunTool("decode " + vxa + " --rgb " + raw + " --surface-type " + std::to_string(c.type)), 0);
    const std::vector<uint8_t> bytes = ReadFile(raw);
    const size_t frame_bytes = size_t(w) * h * (c.type == 3 ? 4 : 2);
    ASSERT_EQ(bytes.size(), 2 * frame_bytes) << c.type;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const uint32_t f = uint32_t(i / frame_bytes);
      ASSERT_EQ(bytes[i], c.pixel[f][i % c.pixel_bytes]) << "type " << c.type << " byte " << i;
    }
  }
  // Planar: the luma rows, then V and U planes of half the width and height.
  const std::string raw = dir_ + "/flat15.raw";
  ASSERT_EQ(RunTool("decode " + vxa + " --rgb " + raw + " --surface-type 15"), 0);
  const std::vector<uint8_t> bytes = ReadFile(raw);
  std::vector<uint8_t> want;
  for (const auto& f : frames) {
    want.insert(want.end(), w * h, f[0]);
    want.insert(want.end(), w * h / 4, f[2]);
    want.insert(want.end(), w * h / 4, f[1]);
  }
  EXPECT_EQ(bytes, want);
}

TEST_F(ImageOutput, PngFilesForTheChosenFrames) {
  const std::string vxa = dir_ + "/t.vxa";
  ASSERT_EQ(RunTool("decode " + vxa + " --png " + dir_ + "/p%02d.png --frames 2-3"), 0);
  for (int n = 1; n <= 4; ++n) {
    const std::vector<uint8_t> png = ReadFile(dir_ + "/p0" + std::to_string(n) + ".png");
    if (n < 2 || n > 3) {
      EXPECT_TRUE(png.empty()) << n;
      continue;
    }
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(png[16] << 24 | png[17] << 16 | png[18] << 8 | png[19], 38);  // IHDR width
    EXPECT_EQ(png[20] << 24 | png[21] << 16 | png[22] << 8 | png[23], 22);  // height
    EXPECT_EQ(png[25], 2);                                                  // RGB
  }
  // A name pattern without exactly one frame number is refused.
  EXPECT_NE(RunTool("decode " + vxa + " --png " + dir_ + "/x.png"), 0);
  EXPECT_NE(RunTool("decode " + vxa + " --png " + dir_ + "/x%d%d.png"), 0);
  EXPECT_NE(RunTool("decode " + vxa + " --png " + dir_ + "/x%s.png"), 0);
  EXPECT_NE(RunTool("decode " + vxa + " --rgb " + dir_ + "/x.raw --surface-type 16"), 0);
}

}  // namespace
