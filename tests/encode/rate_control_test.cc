// Rate control and scene keys on three small clips: the moving test picture
// and two made by `vexa pan` from photographs (one with a cut). Every frame
// is decoded and compared with the encoder's reconstruction.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encode/controlled_encoder.h"
#include "tests/encode/encode_helpers.h"

namespace {

constexpr uint32_t kW = 96, kH = 64, kFrames = 30;

using Clip = std::vector<TestPicture>;

Clip TestSourceClip() {
  Clip clip;
  for (uint32_t f = 0; f < kFrames; ++f) clip.push_back(MakeTestPicture(kW, kH, f));
  return clip;
}

// A clip from `vexa pan` with these arguments (empty when it fails).
Clip PanClip(const std::string& args) {
  const std::string path = std::string(::testing::TempDir()) + "vexa_rate_" + std::to_string(getpid()) + ".y4m";
  const std::string cmd = std::string(VEXA_TOOL_PATH) + " pan --size " + std::to_string(kW) + "x" +
                          std::to_string(kH) + " --frames " + std::to_string(kFrames) + " " + args + " -o " + path;
  Clip clip;
  if (std::system(cmd.c_str()) != 0) return clip;
  FILE* f = std::fopen(path.c_str(), "rb");
  char line[256];
  if (f && std::fgets(line, sizeof line, f)) {
    while (std::fgets(line, sizeof line, f) && !std::strncmp(line, "FRAME", 5)) {
      TestPicture p{kW, kH, std::vector<uint8_t>(kW * kH), std::vector<uint8_t>(kW * kH / 4),
                    std::vector<uint8_t>(kW * kH / 4), {}};
      if (std::fread(p.y.data(), 1, p.y.size(), f) != p.y.size() || std::fread(p.u.data(), 1, p.u.size(), f) != p.u.size() ||
          std::fread(p.v.data(), 1, p.v.size(), f) != p.v.size())
        break;
      clip.push_back(std::move(p));
    }
  }
  if (f) std::fclose(f);
  std::remove(path.c_str());
  return clip;
}

struct Result {
  double bytes = 0;
  std::vector<bool> keys;
  int bad_frames = 0;  // refused by the decoder or unlike the reconstruction
  std::vector<RateFrameRecord> records;
};

Result Encode(const Clip& clip, double target, const std::vector<RateFrameRecord>* first_pass) {
  VideoEncoderSettings vs{};
  vs.width = kW;
  vs.height = kH;
  vs.quality = 75;
  vs.keyint = 120;
  vs.kinds = kAllKinds;
  RateControlSettings rs;
  rs.target_bytes = target;
  rs.frames = uint32_t(clip.size());
  rs.pixels = kW * kH;
  rs.keyint = vs.keyint;
  rs.first_pass = first_pass;
  ControlledEncoder coder;
  Result r;
  if (!ControlledEncoderInit(&coder, &vs, target > 0 ? &rs : nullptr, true)) return r;
  FrameChecker* checker = FrameCheckerCreate(coder.encoder, kW, kH, false);
  std::vector<uint8_t> data;
  for (const TestPicture& p : clip) {
    VideoPicture view = {p.y.data(), int(kW), p.u.data(), p.v.data(), int(kW / 2), nullptr, 0};
    bool key = false;
    if (!ControlledEncodeFrame(&coder, &view, &data, &key)) {
      ++r.bad_frames;
      break;
    }
    r.bytes += double(data.size());
    r.keys.push_back(key);
    if (FrameCheckerFrame(checker, coder.encoder, data, key) != 1) ++r.bad_frames;
  }
  r.records = coder.records;
  FrameCheckerDestroy(checker);
  ControlledEncoderFree(&coder);
  return r;
}

TEST(RateControl, HitsTheTargetInOneAndTwoPassesAndKeysTheCut) {
  struct Case {
    const char* name;
    Clip clip;
    double bits_per_pixel;
    int cut;  // frame index of the scene change, -1 for none
  };
  Case cases[] = {
      {"test picture", TestSourceClip(), 1.0, -1},
      {"pan", PanClip("--picture life --pan 3,1"), 0.7, -1},
      {"zoom and cut", PanClip("--picture friends,sunset --pan 6,-2 --zoom 1.5 --cut 16"), 1.0, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.clip.size(), kFrames);
    const double target = c.bits_per_pixel / 8 * kW * kH * kFrames;
    const Result one = Encode(c.clip, target, nullptr);
    const Result two = Encode(c.clip, target, &one.records);
    for (const Result* r : {&one, &two}) {
      EXPECT_EQ(r->bad_frames, 0);
      EXPECT_NEAR(r->bytes / target, 1.0, 0.05);
      ASSERT_EQ(r->keys.size(), kFrames);
      for (int f = 0; f < int(kFrames); ++f) EXPECT_EQ(r->keys[f], f == 0 || f == c.cut) << "frame " << f;
    }
  }
}

}  // namespace
