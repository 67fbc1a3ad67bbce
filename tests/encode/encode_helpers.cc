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

DecodeCheck EncodeAndDecode(const VideoEncoderSettings& settings, int frames, VideoEncoderStats* stats) {
  DecodeCheck check;
  VideoEncoder* enc = VideoEncoderCreate(&settings);
  if (!enc) return check;
  const uint32_t flags = VideoEncoderFlags(enc);
  const bool all_key = settings.keyint == 1 || frames == 1;
  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(settings.width, settings.height, flags, all_key, &bundles, settings.width);
  std::vector<uint8_t> map(ChangeMapPitch(settings.width) * ChangeMapRows(settings.height));
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
    std::fill(map.begin(), map.end(), 0);
    VideoFrameStatus status{};
    DecodeVideoFrame(fb, map.data(), int(ChangeMapPitch(settings.width)), data.data(), uint32_t(data.size()), key,
                     &bundles, flags, flags, &status);
    ++check.frames;
    if (status.error != VIDEO_OK) ++check.rejected_frames;
    bool same = true;
    for (uint32_t plane = 0; plane < 4; ++plane) {
      uint32_t w = 0, h = 0;
      int pitch = 0;
      const uint8_t* mine = VideoEncoderPlane(enc, int(plane), &w, &h, &pitch);
      const DecodedPlane& theirs = fb->sets[fb->current].plane[plane];
      if (!mine) continue;
      for (uint32_t r = 0; r < h && same; ++r)
        same = std::memcmp(mine + size_t(r) * pitch, theirs.pixels + size_t(r) * theirs.pitch, w) == 0;
    }
    if (!same) ++check.mismatched_frames;
  }
  if (stats) VideoEncoderGetStats(enc, stats);
  FrameBuffersFree(fb);
  VideoEncoderDestroy(enc);
  return check;
}

double Psnr(uint64_t sse, uint64_t samples) {
  if (sse == 0) return 99.0;
  return 10 * std::log10(255.0 * 255.0 * double(samples) / double(sse));
}
