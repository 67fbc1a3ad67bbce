// `vexa pan` end to end: the clip moves the way it was asked to, and a cut
// switches picture at the frame given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "vexa_pan_" + std::to_string(getpid()) + "_" + name;
}

int RunPan(const std::string& args) {
  const std::string cmd = std::string(VEXA_TOOL_PATH) + " pan " + args + " 2>/dev/null";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The luma planes of a W x H 4:2:0 Y4M file.
std::vector<std::vector<uint8_t>> ReadLuma(const std::string& path, uint32_t w, uint32_t h) {
  std::vector<std::vector<uint8_t>> frames;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return frames;
  char line[256];
  if (!std::fgets(line, sizeof line, f)) return std::fclose(f), frames;
  const size_t chroma = size_t((w + 1) / 2) * ((h + 1) / 2) * 2;
  while (std::fgets(line, sizeof line, f) && !std::strncmp(line, "FRAME", 5)) {
    std::vector<uint8_t> y(size_t(w) * h), skip(chroma);
    if (std::fread(y.data(), 1, y.size(), f) != y.size() || std::fread(skip.data(), 1, chroma, f) != chroma) break;
    frames.push_back(std::move(y));
  }
  std::fclose(f);
  return frames;
}

// Mean absolute difference of frame b moved dx pixels left against frame a.
double Difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t w, uint32_t h, uint32_t dx) {
  double sum = 0;
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t c = dx; c < w; ++c) sum += std::abs(int(a[r * w + c]) - int(b[r * w + c - dx]));
  return sum / (double(w - dx) * h);
}

TEST(PanCommand, PansAtTheGivenSpeedAndCutsToTheNextPicture) {
  const std::string out = TempPath("clip.y4m");
  ASSERT_EQ(RunPan("--picture picture_1a,friends --size 96x64 --frames 5 --pan 6,0 --cut 4 -o " + out), 0);
  const auto frames = ReadLuma(out, 96, 64);
  ASSERT_EQ(frames.size(), 5u);
  // The camera moves right, so the picture moves 6 pixels left a frame.
  EXPECT_LT(Difference(frames[0], frames[1], 96, 64, 6), 3.0);
  EXPECT_GT(Difference(frames[0], frames[1], 96, 64, 0), 2 * Difference(frames[0], frames[1], 96, 64, 6));
  EXPECT_LT(Difference(frames[1], frames[2], 96, 64, 6), 3.0);
  // Frame 4 shows the other picture, and frame 5 pans on across it.
  EXPECT_GT(Difference(frames[2], frames[3], 96, 64, 6), 15.0);
  EXPECT_LT(Difference(frames[3], frames[4], 96, 64, 6), 3.0);
  std::remove(out.c_str());
}

TEST(PanCommand, RefusesUnknownPicturesAndBadValues) {
  const std::string out = TempPath("bad.y4m");
  EXPECT_EQ(RunPan("--picture no-such-picture -o " + out), 1);
  EXPECT_EQ(RunPan("--size 0x10 -o " + out), 2);
  EXPECT_EQ(RunPan("--cut 1 -o " + out), 2);
  EXPECT_EQ(RunPan("--frames 3"), 2);
  std::remove(out.c_str());
}

}  // namespace
