#include "tests/encode/encode_helpers.h"

#include <cmath>
#include <cstring>

#include "encode/test_source.h"
#include "base/open_flags.h"
#include "video/frame_decoder.h"

VideoPicture TestPicture::View() const {
  const int cw = int((width + 1) / 2);
  return VideoPicture{y.data(), int(width), u.data(), v.data(), cw, a.data(), int(width)};
}

TestPicture MakeTestPicture(uint32_t width, uint32_t height, uint32_t frame) {
  TestPicture p;
  p.width = width;
  p.height = height;
  const uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
  p.y.resize(size_t(width) * height);
  p.u.resize(size_t(cw) * ch);
  p.v.resize(size_t(cw) * ch);
  p.a.resize(size_t(width) * height);
  TestSourceFrame(width, height, frame, p.y.data(), int(width), p.u.data(), p.v.data(), int(cw));
  TestSourceAlpha(width, height, frame, p.a.data(), int(width));
  return p;
}

struct FrameChecker {
  uint32_t width, flags;
  BundleBuffers bundles;
  FrameBuffers* fb = nullptr;
  std::vector<uint8_t> map;
};

FrameChecker* FrameCheckerCreate(const VideoEncoder* enc, uint32_t width, uint32_t height, bool all_key) {
  FrameChecker* c = new FrameChecker;
  c->width = width;
  c->flags = VideoEncoderFlags(enc);
  c->fb = FrameBuffersAllocate(width, height, c->flags, all_key, &c->bundles, width);
  c->map.resize(ChangeMapPitch(width) * ChangeMapRows(height));
  return c;
}

void FrameCheckerDestroy(FrameChecker* c) {
  if (!c) return;
  FrameBuffersFree(c->fb);
  delete c;
}

int FrameCheckerFrame(FrameChecker* c, const VideoEncoder* enc, const std::vector<uint8_t>& data, bool key) {
  std::fill(c->map.begin(), c->map.end(), 0);
  VideoFrameStatus status{};
  DecodeVideoFrame(c->fb, c->map.data(), int(ChangeMapPitch(c->width)), data.data(), uint32_t(data.size()), key,
                   &c->bundles, c->flags, c->flags, &status);
  if (status.error != VIDEO_OK) return -1;
  for (uint32_t plane = 0; plane < 4; ++plane) {
    uint32_t w = 0, h = 0;
    int pitch = 0;
    const uint8_t* mine = VideoEncoderPlane(enc, int(plane), &w, &h, &pitch);
    const DecodedPlane& theirs = c->fb->sets[c->fb->current].plane[plane];
    if (!mine) continue;
    for (uint32_t r = 0; r < h; ++r)
      if (std::memcmp(mine + size_t(r) * pitch, theirs.pixels + size_t(r) * theirs.pitch, w) != 0) return 0;
  }
  return 1;
}

DecodeCheck EncodeAndDecode(const VideoEncoderSettings& settings, int frames, VideoEncoderStats* stats) {
  DecodeCheck check;
  VideoEncoder* enc = VideoEncoderCreate(&settings);
  if (!enc) return check;
  const bool all_key = settings.keyint == 1 || frames == 1;
  FrameChecker* checker = FrameCheckerCreate(enc, settings.width, settings.height, all_key);
  std::vector<uint8_t> data;
  for (int f = 0; f < frames; ++f) {
    TestPicture pic = MakeTestPicture(settings.width, settings.height, uint32_t(f));
    VideoPicture view = pic.View();
    bool key = false;
    if (!VideoEncodeFrame(enc, &view, &data, &key)) {
      ++check.rejected_frames;
      break;
    }
    check.bytes += data.size();
    ++check.frames;
    const int r = FrameCheckerFrame(checker, enc, data, key);
    if (r < 0) ++check.rejected_frames;
    if (r == 0) ++check.mismatched_frames;
  }
  if (stats) VideoEncoderGetStats(enc, stats);
  FrameCheckerDestroy(checker);
  VideoEncoderDestroy(enc);
  return check;
}

double Psnr(uint64_t sse, uint64_t samples) {
  if (sse == 0) return 99.0;
  return 10 * std::log10(255.0 * 255.0 * double(samples) / double(sse));
}
