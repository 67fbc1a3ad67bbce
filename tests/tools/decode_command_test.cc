// `vexa decode` end to end: files assembled with our plane writers and the
// container writer, decoded by the command, and the Y4M output checked
// pixel by pixel (cropping, chroma order per revision, grayscale, alpha,
// corrupt frames, --frames).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/container_writer.h"
#include "base/open_flags.h"
#include "video/block_kinds.h"
#include "video/bundle.h"
#include "video/plane_writer.h"

namespace {

// Per process: ctest runs the cases of this file side by side.
std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "vexa_decode_" + std::to_string(getpid()) + "_" + name;
}

uint8_t Sample(uint32_t plane, uint32_t x, uint32_t y, uint32_t frame) {
  return uint8_t(1 + (x * 7 + y * 13 + frame * 5 + plane * 50) % 250);
}

// A plane of raw blocks whose pixels follow Sample.
std::vector<uint8_t> RawPlane(uint32_t plane, uint32_t w, uint32_t h, uint32_t frame, bool old) {
  BundleCapacities caps;
  ComputeBundleCapacities(w, &caps);
  PlaneWriter* pw = PlaneWriterCreate(w, h, &caps, old);
  for (uint32_t by = 0; by < h; by += 8) {
    PlaneWriterBeginRow(pw);
    for (uint32_t bx = 0; bx < w; bx += 8) {
      BlockSpec b{};
      b.kind = BLOCK_RAW;
      for (uint32_t i = 0; i < 64; ++i) b.pixels[i] = Sample(plane, bx + i % 8, by + i / 8, frame);
      PlaneWriterPutBlock(pw, &b);
    }
  }
  std::vector<uint8_t> out;
  EXPECT_TRUE(PlaneWriterFinish(pw, HUFF_TREE_AUTO, &out));
  PlaneWriterDestroy(pw);
  return out;
}

struct FileSpec {
  char revision = 'i';
  uint32_t width = 37, height = 21;
  uint32_t flags = 0;  // FLAG_GRAYSCALE, FLAG_ALPHA
  uint32_t frames = 4;
  int corrupt_frame = -1;  // 0-based
};

void WriteFile(const std::string& path, const FileSpec& s) {
  ContainerSettings cs{};
  cs.revision = s.revision;
  cs.width = s.width;
  cs.height = s.height;
  cs.rate_dividend = 25;
  cs.rate_divisor = 1;
  cs.video_flags = s.flags;
  ContainerWriter* cw = ContainerWriterCreate(&cs);
  ASSERT_NE(cw, nullptr);
  const bool old = s.revision != 'i';
  const uint32_t yw = (s.width + 7) & ~7u, yh = (s.height + 7) & ~7u;
  const uint32_t cwid = ((s.width + 1) / 2 + 7) & ~7u, chei = ((s.height + 1) / 2 + 7) & ~7u;
  for (uint32_t f = 0; f < s.frames; ++f) {
    std::vector<uint8_t> alpha = RawPlane(3, yw, yh, f, old), y = RawPlane(0, yw, yh, f, old);
    std::vector<uint8_t> c1 = RawPlane(1, cwid, chei, f, old), c2 = RawPlane(2, cwid, chei, f, old);
    const bool gray = s.flags & FLAG_GRAYSCALE;
    std::vector<uint8_t> video;
    AssembleVideoData((s.flags & FLAG_ALPHA) ? &alpha : nullptr, y, gray ? nullptr : &c1, gray ? nullptr : &c2,
                      old, &video);
    if (int(f) == s.corrupt_frame) video.resize(video.size() / 2);
    ContainerFrame frame{};
    frame.key = true;
    frame.video = video.data();
    frame.video_size = uint32_t(video.size());
    ASSERT_TRUE(ContainerWriterAddFrame(cw, &frame));
  }
  ASSERT_TRUE(ContainerWriterFinishToFile(cw, path.c_str()));
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
  std::fclose(f);
  return bytes;
}

int RunDecode(const std::string& args, std::string* err) {
  const std::string log = TempPath("decode_stderr.txt");
  const std::string cmd = std::string(VEXA_TOOL_PATH) + " decode " + args + " 2>" + log;
  int status = std::system(cmd.c_str());
  std::vector<uint8_t> e = ReadAll(log);
  err->assign(e.begin(), e.end());
  return WEXITSTATUS(status);
}

// The frames of a Y4M file (after its header), each Y then U then V.
std::vector<std::vector<uint8_t>> Frames(const std::vector<uint8_t>& y4m, std::string* header, size_t frame_bytes) {
  std::vector<std::vector<uint8_t>> frames;
  size_t at = 0;
  while (at < y4m.size() && y4m[at] != '\n') ++at;
  header->assign(y4m.begin(), y4m.begin() + at);
  ++at;
  while (at + 6 + frame_bytes <= y4m.size()) {
    EXPECT_EQ(std::string(y4m.begin() + at, y4m.begin() + at + 6), "FRAME\n");
    at += 6;
    frames.emplace_back(y4m.begin() + at, y4m.begin() + at + frame_bytes);
    at += frame_bytes;
  }
  EXPECT_EQ(at, y4m.size());
  return frames;
}

void CheckPlane(const uint8_t* got, uint32_t plane, uint32_t w, uint32_t h, uint32_t frame) {
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      ASSERT_EQ(got[y * w + x], plane == 99 ? 128 : Sample(plane, x, y, frame))
          << "plane " << plane << " at " << x << "," << y << " frame " << frame;
}

TEST(DecodeCommand, CropsAndOrdersChromaByRevision) {
  for (char revision : {'i', 'h', 'g'}) {
    const std::string in = TempPath("dec_rev.vxa"), out = TempPath("dec_rev.y4m");
    FileSpec s;
    s.revision = revision;
    WriteFile(in, s);
    std::string err;
    ASSERT_EQ(RunDecode(in + " -o " + out + " --quiet", &err), 0) << err;
    EXPECT_EQ(err, "");
    std::string header;
    const uint32_t cw = 19, ch = 11;
    auto frames = Frames(ReadAll(out), &header, 37 * 21 + 2 * cw * ch);
    EXPECT_EQ(header, "YUV4MPEG2 W37 H21 F25:1 Ip A1:1 C420jpeg");
    ASSERT_EQ(frames.size(), 4u);
    // Y4M's U is the blue difference: chroma plane 2, or plane 1 when the
    // revision swaps them.
    const uint32_t u_plane = revision == 'g' ? 1 : 2, v_plane = revision == 'g' ? 2 : 1;
    for (uint32_t f = 0; f < 4; ++f) {
      CheckPlane(frames[f].data(), 0, 37, 21, f);
      CheckPlane(frames[f].data() + 37 * 21, u_plane, cw, ch, f);
      CheckPlane(frames[f].data() + 37 * 21 + cw * ch, v_plane, cw, ch, f);
    }
  }
}

TEST(DecodeCommand, GrayscaleAlphaAndFrameLimit) {
  const std::string in = TempPath("dec_ga.vxa"), out = TempPath("dec_ga.y4m"), alpha = TempPath("dec_ga_a.y4m");
  FileSpec s;
  s.flags = FLAG_GRAYSCALE | FLAG_ALPHA;
  WriteFile(in, s);
  std::string err;
  ASSERT_EQ(RunDecode(in + " -o " + out + " --alpha " + alpha + " --frames 2", &err), 0) << err;
  std::string header;
  auto frames = Frames(ReadAll(out), &header, 37 * 21 + 2 * 19 * 11);
  ASSERT_EQ(frames.size(), 2u);
  CheckPlane(frames[1].data(), 0, 37, 21, 1);
  CheckPlane(frames[1].data() + 37 * 21, 99, 19, 11, 1);
  auto alphas = Frames(ReadAll(alpha), &header, 37 * 21);
  EXPECT_EQ(header, "YUV4MPEG2 W37 H21 F25:1 Ip A1:1 Cmono");
  ASSERT_EQ(alphas.size(), 2u);
  CheckPlane(alphas[0].data(), 3, 37, 21, 0);
}

TEST(DecodeCommand, CorruptFramesAreReportedAndDecodingGoesOn) {
  const std::string in = TempPath("dec_bad.vxa"), out = TempPath("dec_bad.y4m");
  FileSpec s;
  s.corrupt_frame = 2;
  WriteFile(in, s);
  std::string err;
  ASSERT_EQ(RunDecode(in + " -o " + out, &err), 0);
  EXPECT_NE(err.find("frame 3 is corrupt"), std::string::npos) << err;
  EXPECT_EQ(err.find("frame 4"), std::string::npos) << err;
  std::string header;
  auto frames = Frames(ReadAll(out), &header, 37 * 21 + 2 * 19 * 11);
  ASSERT_EQ(frames.size(), 4u);
  CheckPlane(frames[3].data(), 0, 37, 21, 3);
}

TEST(DecodeCommand, ExitCodes) {
  std::string err;
  EXPECT_EQ(RunDecode(TempPath("no_such_file.vxa") + " -o " + TempPath("x.y4m"), &err), 1);
  EXPECT_NE(err.find("Error opening file."), std::string::npos) << err;
  EXPECT_EQ(RunDecode("--frames 0 a.vxa -o b.y4m", &err), 2);
  EXPECT_EQ(RunDecode("a.vxa", &err), 2);
}

}  // namespace
