// `vexa encode` end to end: Y4M in (written here byte by byte), a Vexa file
// out, decoded with the library's own decoder and compared with the input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/container.h"
#include "base/open_flags.h"
#include "video/frame_decoder.h"

namespace {

// Per process: ctest runs the cases of this file side by side.
std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "vexa_encode_" + std::to_string(getpid()) + "_" + name;
}

int RunEncode(const std::string& args) {
  const std::string cmd = std::string(VEXA_TOOL_PATH) + " encode --quiet " + args + " 2>/dev/null";
  return std::system(cmd.c_str());
}

struct Picture {
  std::vector<uint8_t> y, u, v;
};

Picture MakePicture(uint32_t w, uint32_t h, int f) {
  Picture p;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t c = 0; c < w; ++c) p.y.push_back(uint8_t(40 + (c * 3 + r * 2 + f * 4) % 160));
  for (uint32_t i = 0; i < cw * ch; ++i) p.u.push_back(uint8_t(100 + (i + f) % 40)), p.v.push_back(uint8_t(150 - i % 30));
  return p;
}

void WriteY4m(const std::string& path, uint32_t w, uint32_t h, const char* extra, int frames, bool mono = false) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fprintf(f, "YUV4MPEG2 W%u H%u F25:1 Ip A1:1 %s%s\n", w, h, mono ? "Cmono" : "C420jpeg", extra);
  for (int i = 0; i < frames; ++i) {
    const Picture p = MakePicture(w, h, i);
    std::fprintf(f, "FRAME\n");
    std::fwrite(p.y.data(), 1, p.y.size(), f);
    if (!mono) {
      std::fwrite(p.u.data(), 1, p.u.size(), f);
      std::fwrite(p.v.data(), 1, p.v.size(), f);
    }
  }
  std::fclose(f);
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

double PlanePsnr(const uint8_t* a, int pitch, const std::vector<uint8_t>& b, uint32_t w, uint32_t h) {
  double sse = 0;
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t c = 0; c < w; ++c) {
      const double d = double(a[r * pitch + c]) - b[r * w + c];
      sse += d * d;
    }
  return sse == 0 ? 99 : 10 * std::log10(255.0 * 255 * w * h / sse);
}

// Decodes every frame of the file and returns the worst luma and chroma PSNR
// against MakePicture.
void DecodeAndCompare(const std::string& path, uint32_t w, uint32_t h, int frames, uint32_t flags) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  ContainerFile* file = ContainerLoadMemory(bytes.data(), bytes.size());
  ASSERT_TRUE(file);
  const FileHeader& hd = file->layout.header;
  EXPECT_EQ(hd.width, w);
  EXPECT_EQ(hd.height, h);
  EXPECT_EQ(hd.rate_dividend, 25u);
  EXPECT_EQ(hd.rate_divisor, 1u);
  EXPECT_EQ(hd.frame_count, uint32_t(frames));
  EXPECT_EQ(hd.video_flags & (FLAG_GRAYSCALE | FLAG_ALPHA), flags);
  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(w, h, flags, frames == 1, &bundles, w);
  ASSERT_TRUE(fb);
  std::vector<uint8_t> map(ChangeMapPitch(w) * ChangeMapRows(h));
  for (int i = 0; i < frames; ++i) {
    FrameLocation loc;
    ASSERT_TRUE(FrameLocate(&file->layout, uint32_t(i), &loc));
    EXPECT_EQ(loc.key, i == 0);
    const uint8_t* video;
    uint32_t video_size;
    ASSERT_TRUE(FramePacketVideo(bytes.data() + loc.offset, loc.size, hd.track_count, &video, &video_size));
    VideoFrameStatus status{};
    DecodeVideoFrame(fb, map.data(), int(ChangeMapPitch(w)), video, video_size, loc.key, &bundles, flags,
                     hd.video_flags, &status);
    EXPECT_EQ(status.error, VIDEO_OK) << "frame " << i;
    const Picture p = MakePicture(w, h, i);
    const PlaneSet& set = fb->sets[fb->current];
    EXPECT_GT(PlanePsnr(set.plane[PLANE_Y].pixels, set.plane[PLANE_Y].pitch, p.y, w, h), 30.0) << "frame " << i;
    if (!(flags & FLAG_GRAYSCALE)) {
      // Chroma plane 1 carries the red difference (V), plane 2 the blue (U).
      const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
      EXPECT_GT(PlanePsnr(set.plane[PLANE_CHROMA1].pixels, set.plane[PLANE_CHROMA1].pitch, p.v, cw, ch), 30.0);
      EXPECT_GT(PlanePsnr(set.plane[PLANE_CHROMA2].pixels, set.plane[PLANE_CHROMA2].pitch, p.u, cw, ch), 30.0);
    }
  }
  FrameBuffersFree(fb);
  ContainerFree(file);
}

TEST(EncodeCommand, Y4mOfOddSizeRoundTrips) {
  const std::string in = TempPath("enc_in.y4m"), out = TempPath("enc_out.vxa");
  WriteY4m(in, 37, 21, " XYSCSS=420JPEG", 4);
  ASSERT_EQ(RunEncode(in + " -o " + out + " --quality 90"), 0);
  DecodeAndCompare(out, 37, 21, 4, 0);
}

TEST(EncodeCommand, GrayscaleAndAlpha) {
  const std::string in = TempPath("enc_in2.y4m"), alpha = TempPath("enc_alpha.y4m"), out = TempPath("enc_out2.vxa");
  WriteY4m(in, 24, 16, "", 3);
  WriteY4m(alpha, 24, 16, "", 3, true);
  ASSERT_EQ(RunEncode(in + " -o " + out + " --grayscale --alpha " + alpha + " --quality 90"), 0);
  DecodeAndCompare(out, 24, 16, 3, FLAG_GRAYSCALE | FLAG_ALPHA);
}

TEST(EncodeCommand, RefusesBadInput) {
  const std::string bad = TempPath("enc_bad.y4m"), out = TempPath("enc_out3.vxa");
  FILE* f = std::fopen(bad.c_str(), "wb");
  std::fputs("YUV4MPEG2 W16 H16 C444\nFRAME\n", f);
  std::fclose(f);
  EXPECT_NE(RunEncode(bad + " -o " + out), 0);                       // unsupported layout
  f = std::fopen(bad.c_str(), "wb");
  std::fputs("YUV4MPEG2 W16 H16 C420p10\nFRAME\n", f);
  std::fclose(f);
  EXPECT_NE(RunEncode(bad + " -o " + out), 0);  // more than 8 bits a sample
  EXPECT_NE(RunEncode(TempPath("missing.y4m") + " -o " + out), 0);   // no such file
  EXPECT_NE(RunEncode("--testsrc 16x16 -o " + out), 0);              // test source needs --frames
  EXPECT_NE(RunEncode("--testsrc 16x16 --frames 2 --quality 300 -o " + out), 0);
  // A truncated last frame is an error, not a silently shorter file.
  WriteY4m(bad, 16, 16, "", 2);
  std::vector<uint8_t> bytes = ReadAll(bad);
  bytes.resize(bytes.size() - 10);
  f = std::fopen(bad.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  EXPECT_NE(RunEncode(bad + " -o " + out), 0);
}

TEST(EncodeCommand, TestSource) {
  const std::string out = TempPath("enc_testsrc.vxa");
  ASSERT_EQ(RunEncode("--testsrc 48x32 --frames 3 --rate 30000/1001 --keyint 2 -o " + out), 0);
  const std::vector<uint8_t> bytes = ReadAll(out);
  ContainerFile* file = ContainerLoadMemory(bytes.data(), bytes.size());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->layout.header.rate_dividend, 30000u);
  EXPECT_EQ(file->layout.header.rate_divisor, 1001u);
  FrameLocation loc;
  ASSERT_TRUE(FrameLocate(&file->layout, 2, &loc));
  EXPECT_TRUE(loc.key);  // frames 0 and 2
  ContainerFree(file);
}

// A file size target is met with sound in the file too, in one pass and
// two; the options that do not go together are refused.
TEST(EncodeCommand, FileSizeTarget) {
  const std::string out = TempPath("sized.vxa");
  for (const char* passes : {"", " --2pass"}) {
    ASSERT_EQ(RunEncode("--testsrc 96x64 --frames 30 --size 0.05" + std::string(passes) + " -o " + out), 0);
    EXPECT_NEAR(double(ReadAll(out).size()) / 50000, 1.0, 0.05) << passes;
  }
  EXPECT_EQ(WEXITSTATUS(RunEncode("--testsrc 64x48 --frames 4 --size 0.03 --bitrate 100 -o " + out)), 2);
  EXPECT_EQ(WEXITSTATUS(RunEncode("--testsrc 64x48 --frames 4 --2pass -o " + out)), 2);
  std::remove(out.c_str());
}

}  // namespace
