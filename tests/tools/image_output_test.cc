// `vexa decode --png/--rgb`: the raw surfaces equal the display conversion of
// the decoded pictures (read back from the Y4M output), PNG files carry the
// picture size, and --frames A-B picks the frames written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "display/copy_walk.h"
#include "base/cpu_features.h"
#include "display/converter.h"

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

TEST_F(ImageOutput, RawSurfacesMatchTheConversionOfTheDecodedPictures) {
  const std::string vxa = dir_ + "/t.vxa";
  ASSERT_EQ(RunTool("decode " + vxa + " -o " + dir_ + "/t.y4m"), 0);
  const std::vector<uint8_t> y4m = ReadFile(dir_ + "/t.y4m");
  const uint32_t w = 38, h = 22, cw = 19, ch = 11;
  for (uint32_t type : {3u, 10u, 13u, 15u}) {
    const std::string raw = dir_ + "/t" + std::to_string(type) + ".raw";
    ASSERT_EQ(RunTool("decode " + vxa + " --rgb " + raw + " --surface-type " + std::to_string(type)), 0);
    const std::vector<uint8_t> bytes = ReadFile(raw);
    const uint32_t pitch = type == 3 ? 4 * w : (type == 15 ? w : 2 * w);
    const size_t frameBytes = pitch * h + (type == 15 ? 2 * (pitch / 2) * (h / 2) : 0);
    ASSERT_EQ(bytes.size(), 4 * frameBytes) << type;
    // Walk the Y4M frames: "FRAME\n", then Y, U (blue difference), V.
    size_t at = y4m.size() - 4 * (6 + w * h + 2 * cw * ch);
    for (uint32_t f = 0; f < 4; ++f) {
      at += 6;
      const uint8_t* y = &y4m[at];
      const uint8_t* u = y + w * h;
      const uint8_t* v = u + cw * ch;
      at += w * h + 2 * cw * ch;
      CopyPlanes planes{y, int32_t(w), v, int32_t(cw), u, int32_t(cw), nullptr, 0, w, h, nullptr, 0};
      std::vector<uint8_t> expected(frameBytes, 0);
      ASSERT_TRUE(CopyPictureToSurface(planes, expected.data(), int32_t(pitch), h, 0, 0, CopyRect{0, 0, w, h}, type,
                                       false, UsableFeatures()));
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + f * frameBytes))
          << "type " << type << " frame " << f + 1;
    }
  }
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
