// Frame buffers and the frame entry: plane sizes, plane sets and double
// buffering, the frame layouts of both bitstreams, grayscale and alpha, and
// frames whose data is broken.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/open_flags.h"
#include "tests/video/video_test_helpers.h"
#include "video/block_kinds.h"
#include "base/cpu_features.h"
#include "video/frame_buffers.h"
#include "video/frame_decoder.h"

namespace {

std::vector<uint8_t> UniformPlane(uint32_t width, uint32_t height, const BlockSpec& block) {
  std::vector<std::vector<BlockSpec>> rows(height / 8, std::vector<BlockSpec>(width / 8, block));
  std::vector<uint8_t> out = EncodePlane(width, height, rows);
  EXPECT_FALSE(out.empty());
  return out;
}

// A decoder over allocated frame buffers, as the core sets it up.
struct Decoder {
  FrameBuffers* fb;
  BundleBuffers bundles;
  std::vector<uint8_t> map;
  uint32_t map_pitch;
  uint32_t open_flags;
  uint32_t video_flags;
  Decoder(uint32_t w, uint32_t h, uint32_t open, uint32_t video, bool all_key)
      : open_flags(open), video_flags(video) {
    fb = FrameBuffersAllocate(w, h, open, all_key, &bundles, w);
    map_pitch = ChangeMapPitch(w);
    map.assign(map_pitch * ChangeMapRows(h), 0);
  }
  ~Decoder() { FrameBuffersFree(fb); }
  int32_t Decode(const std::vector<uint8_t>& video, VideoFrameStatus* status) {
    std::fill(map.begin(), map.end(), 0);
    return DecodeVideoFrame(fb, map.data(), int(map_pitch), video.data(), uint32_t(video.size()), false,
                            &bundles, open_flags, video_flags, status);
  }
  uint8_t Pixel(uint32_t plane, uint32_t x, uint32_t y) const {
    const DecodedPlane& p = fb->sets[fb->current].plane[plane];
    return p.pixels[y * uint32_t(p.pitch) + x];
  }
};

TEST(FrameBuffers, SizesFollowThePicture) {
  FrameBuffers fb;
  InitFrameBuffers(&fb, 200, 200, 0, false);
  EXPECT_EQ(fb.y_width, 200u);
  EXPECT_EQ(fb.y_height, 200u);
  EXPECT_EQ(fb.chroma_width, 104u);
  EXPECT_EQ(fb.chroma_height, 104u);
  EXPECT_EQ(ChangeMapPitch(200), 13u);
  EXPECT_EQ(ChangeMapRows(200), 13u);
  EXPECT_EQ(fb.set_count, 2u);
  EXPECT_EQ(fb.sets[1].plane[PLANE_Y].present, 1u);
  EXPECT_EQ(fb.sets[0].plane[PLANE_ALPHA].present, 0u);
  EXPECT_EQ(fb.sets[0].plane[PLANE_Y].pixels, nullptr);

  InitFrameBuffers(&fb, 202, 98, FLAG_ALPHA, true);
  EXPECT_EQ(fb.y_width, 208u);
  EXPECT_EQ(fb.y_height, 104u);
  EXPECT_EQ(fb.chroma_width, 104u);
  EXPECT_EQ(fb.chroma_height, 56u);
  EXPECT_EQ(fb.set_count, 1u);
  EXPECT_EQ(fb.sets[0].plane[PLANE_ALPHA].present, 1u);
  EXPECT_EQ(fb.sets[1].plane[PLANE_Y].present, 0u);
}

TEST(FrameBuffers, AllocatedPlanesStartBlackAndOpaque) {
  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(202, 98, FLAG_ALPHA, false, &bundles, 404);
  ASSERT_NE(fb, nullptr);
  for (uint32_t s = 0; s < 2; ++s) {
    const PlaneSet& set = fb->sets[s];
    EXPECT_EQ(set.plane[PLANE_Y].pitch, 208);
    EXPECT_EQ(set.plane[PLANE_CHROMA2].pitch, 104);
    EXPECT_EQ(set.plane[PLANE_Y].pixels[208 * 104 - 1], kPlaneInitialLuma);
    EXPECT_EQ(set.plane[PLANE_CHROMA1].pixels[104 * 56 - 1], kPlaneInitialChroma);
    EXPECT_EQ(set.plane[PLANE_ALPHA].pixels[0], kPlaneInitialAlpha);
  }
  // Bundle buffers sized for the output width (404 -> 416).
  BundleCapacities caps;
  ComputeBundleCapacities(404, &caps);
  EXPECT_EQ(bundles.caps.bytes[BUNDLE_COLOURS], caps.bytes[BUNDLE_COLOURS]);
  bundles.data[BUNDLE_RUNS][caps.bytes[BUNDLE_RUNS] + kBundleSlackBytes - 1] = 1;  // in bounds
  FrameBuffersFree(fb);
  EXPECT_EQ(FrameBuffersAllocate(0, 10, 0, true, nullptr, 0), nullptr);
}

TEST(DecodeVideoFrame, RevisionILayoutWithTwoSets) {
  Decoder d(40, 24, 0, 0, false);  // Y 40x24, chroma 24x16
  ASSERT_NE(d.fb, nullptr);
  auto frame = [](uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> out, py = UniformPlane(40, 24, FillBlockSpec(y)),
                              p1 = UniformPlane(24, 16, FillBlockSpec(u)),
                              p2 = UniformPlane(24, 16, FillBlockSpec(v));
    AssembleVideoData(nullptr, py, &p1, &p2, false, &out);
    return out;
  };
  VideoFrameStatus status;
  EXPECT_EQ(d.Decode(frame(100, 110, 120), &status), 0);
  EXPECT_EQ(status.error, VIDEO_OK);
  EXPECT_EQ(d.fb->current, 1u);  // the first decode writes set 1
  EXPECT_EQ(d.Pixel(PLANE_Y, 39, 23), 100);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA1, 0, 0), 110);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA2, 23, 15), 120);
  EXPECT_EQ(d.map, std::vector<uint8_t>(d.map.size(), 1));
  d.Decode(frame(1, 2, 3), &status);
  EXPECT_EQ(d.fb->current, 0u);
  EXPECT_EQ(d.Pixel(PLANE_Y, 0, 0), 1);

  // Frame 3: skips copy frame 2 (set 0); blocks that decode to nothing keep
  // frame 1's pixels (set 1, written over).
  std::vector<uint8_t> out, py = UniformPlane(40, 24, SkipBlock()), p1 = UniformPlane(24, 16, KindBlock(10)),
                            p2 = UniformPlane(24, 16, SkipBlock());
  AssembleVideoData(nullptr, py, &p1, &p2, false, &out);
  int32_t unchanged = d.Decode(out, &status);
  EXPECT_EQ(status.error, VIDEO_OK);
  EXPECT_EQ(d.fb->current, 1u);
  EXPECT_EQ(d.Pixel(PLANE_Y, 5, 5), 1);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA1, 5, 5), 110);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA2, 5, 5), 3);
  // Nothing marked the map, so every chroma-2 skip block counts (3 x 2).
  EXPECT_EQ(unchanged, 6);
}

TEST(DecodeVideoFrame, OneSetDecodesInPlace) {
  Decoder d(16, 16, 0, 0, true);
  std::vector<uint8_t> out, py = UniformPlane(16, 16, FillBlockSpec(60)), pc = UniformPlane(8, 8, FillBlockSpec(70));
  AssembleVideoData(nullptr, py, &pc, &pc, false, &out);
  VideoFrameStatus status;
  d.Decode(out, &status);
  EXPECT_EQ(status.error, VIDEO_OK);
  EXPECT_EQ(d.fb->current, 0u);
  EXPECT_EQ(d.Pixel(PLANE_Y, 15, 15), 60);
  // A motion frame in place reads the pixels the previous frame left.
  std::vector<uint8_t> m, my = UniformPlane(16, 16, MotionBlock(0, 0)), mc = UniformPlane(8, 8, SkipBlock());
  AssembleVideoData(nullptr, my, &mc, &mc, false, &m);
  d.Decode(m, &status);
  EXPECT_EQ(status.error, VIDEO_OK);
  EXPECT_EQ(d.fb->current, 0u);
  EXPECT_EQ(d.Pixel(PLANE_Y, 3, 3), 60);
}

TEST(DecodeVideoFrame, OldBitstreamChainsPlanesByTheirWordPointers) {
  Decoder d(24, 24, FLAG_OLD_BITSTREAM | FLAG_SWAPPED_CHROMA, 0, true);
  std::vector<uint8_t> py = EncodePlane(24, 24, std::vector<std::vector<BlockSpec>>(3, std::vector<BlockSpec>(3, FillBlockSpec(130))), false, true);
  std::vector<uint8_t> p1 = EncodePlane(16, 16, std::vector<std::vector<BlockSpec>>(2, std::vector<BlockSpec>(2, FillBlockSpec(5))), false, true);
  std::vector<uint8_t> p2 = EncodePlane(16, 16, std::vector<std::vector<BlockSpec>>(2, std::vector<BlockSpec>(2, FillBlockSpec(250))), false, true);
  std::vector<uint8_t> out;
  AssembleVideoData(nullptr, py, &p1, &p2, true, &out);
  EXPECT_EQ(out.size(), py.size() + p1.size() + p2.size());  // no length field
  VideoFrameStatus status;
  d.Decode(out, &status);
  EXPECT_EQ(status.error, VIDEO_OK);
  EXPECT_EQ(d.Pixel(PLANE_Y, 23, 23), 130);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA1, 0, 0), 5);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA2, 15, 15), 250);
}

TEST(DecodeVideoFrame, GrayscaleDecodesOnlyYAndReturnsAQuarterOfItsCount) {
  Decoder d(32, 32, FLAG_GRAYSCALE, FLAG_GRAYSCALE, false);
  std::vector<uint8_t> out, py = UniformPlane(32, 32, SkipBlock());
  AssembleVideoData(nullptr, py, nullptr, nullptr, false, &out);
  VideoFrameStatus status;
  EXPECT_EQ(d.Decode(out, &status), 16 / 4);
  EXPECT_EQ(status.error, VIDEO_OK);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA1, 0, 0), kPlaneInitialChroma);
}

TEST(DecodeVideoFrame, AlphaIsDecodedOnlyWhenAskedAndSkippedOtherwise) {
  std::vector<uint8_t> out, pa = UniformPlane(16, 8, FillBlockSpec(33)), py = UniformPlane(16, 8, FillBlockSpec(44)),
                            pc = UniformPlane(8, 8, FillBlockSpec(55));
  AssembleVideoData(&pa, py, &pc, &pc, false, &out);
  VideoFrameStatus status;
  {
    Decoder d(16, 8, FLAG_ALPHA, FLAG_ALPHA, true);
    d.Decode(out, &status);
    EXPECT_EQ(status.error, VIDEO_OK);
    EXPECT_EQ(d.Pixel(PLANE_ALPHA, 15, 7), 33);
    EXPECT_EQ(d.Pixel(PLANE_Y, 15, 7), 44);
  }
  {
    Decoder d(16, 8, 0, FLAG_ALPHA, true);
    d.Decode(out, &status);
    EXPECT_EQ(status.error, VIDEO_OK);
    EXPECT_EQ(d.Pixel(PLANE_Y, 15, 7), 44);
    EXPECT_EQ(d.Pixel(PLANE_CHROMA2, 7, 7), 55);
  }
}

TEST(DecodeVideoFrame, LengthFieldsOutsideTheDataAreRejected) {
  Decoder d(16, 8, 0, FLAG_ALPHA, true);
  std::vector<uint8_t> out, pa = UniformPlane(16, 8, FillBlockSpec(33)), py = UniformPlane(16, 8, FillBlockSpec(44)),
                            pc = UniformPlane(8, 8, FillBlockSpec(55));
  AssembleVideoData(&pa, py, &pc, &pc, false, &out);
  VideoFrameStatus status;
  std::vector<uint8_t> bad = out;
  bad[0] = 0xFF, bad[1] = 0xFF;  // alpha length past the end
  d.Decode(bad, &status);
  EXPECT_EQ(status.error, VIDEO_ERROR_PLANE_OUTSIDE);
  EXPECT_EQ(status.plane, PLANE_ALPHA);
  bad = out;
  size_t y_field = pa.size() + 4;
  bad[y_field] = 2, bad[y_field + 1] = 0, bad[y_field + 2] = 0, bad[y_field + 3] = 0;  // shorter than itself
  d.Decode(bad, &status);
  EXPECT_EQ(status.error, VIDEO_ERROR_PLANE_OUTSIDE);
  EXPECT_EQ(status.plane, PLANE_Y);
  bad.assign(out.begin(), out.begin() + 2);
  EXPECT_EQ(d.Decode(bad, &status), 0);
  EXPECT_EQ(status.error, VIDEO_ERROR_PLANE_OUTSIDE);
  // Chroma 2 cut off: the reader runs out of data.
  bad.assign(out.begin(), out.end() - 8);
  d.Decode(bad, &status);
  EXPECT_NE(status.error, VIDEO_OK);
  EXPECT_EQ(status.plane, PLANE_CHROMA2);
}

TEST(DecodeVideoFrame, WhatABrokenFrameDidNotDecodeShowsThePreviousFrame) {
  Decoder d(32, 16, 0, 0, false);
  auto frame = [](const BlockSpec& y, const BlockSpec& c) {
    std::vector<uint8_t> out, py = UniformPlane(32, 16, y), pc = UniformPlane(16, 8, c);
    AssembleVideoData(nullptr, py, &pc, &pc, false, &out);
    return out;
  };
  VideoFrameStatus status;
  d.Decode(frame(FillBlockSpec(10), FillBlockSpec(20)), &status);  // frame 1 -> set 1
  d.Decode(frame(FillBlockSpec(30), FillBlockSpec(40)), &status);  // frame 2 -> set 0
  // Frame 3 (into set 1, which holds frame 1): the second Y row moves its
  // source out of the plane.
  std::vector<std::vector<BlockSpec>> rows = {std::vector<BlockSpec>(4, FillBlockSpec(50)),
                                              {FillBlockSpec(50), MotionBlock(0, 1), FillBlockSpec(50), FillBlockSpec(50)}};
  std::vector<uint8_t> out, py = EncodePlane(32, 16, rows), pc = UniformPlane(16, 8, FillBlockSpec(60));
  AssembleVideoData(nullptr, py, &pc, &pc, false, &out);
  EXPECT_EQ(d.Decode(out, &status), 0);
  EXPECT_EQ(status.error, VIDEO_ERROR_SOURCE_OUTSIDE);
  EXPECT_EQ(status.plane, PLANE_Y);
  EXPECT_EQ(d.fb->current, 1u);
  EXPECT_EQ(d.Pixel(PLANE_Y, 31, 0), 50);   // decoded
  EXPECT_EQ(d.Pixel(PLANE_Y, 0, 8), 50);    // decoded before the fault
  EXPECT_EQ(d.Pixel(PLANE_Y, 8, 8), 30);    // from frame 2, not frame 1
  EXPECT_EQ(d.Pixel(PLANE_Y, 31, 15), 30);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA1, 3, 3), 40);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA2, 15, 7), 40);
  // A length field outside the data: the whole picture stays frame 3's
  // predecessor as well.
  out[0] = 0xFF, out[1] = 0xFF, out[2] = 0xFF;
  d.Decode(out, &status);
  EXPECT_EQ(status.error, VIDEO_ERROR_PLANE_OUTSIDE);
  EXPECT_EQ(d.Pixel(PLANE_Y, 31, 0), 50);
  EXPECT_EQ(d.Pixel(PLANE_CHROMA1, 0, 0), 40);
}

TEST(DecodeVideoFrame, DamagedFramesAreReportedNeverCrash) {
  std::mt19937 rng(31);
  Decoder d(48, 40, FLAG_ALPHA, FLAG_ALPHA, false);
  auto plane = [&](uint32_t w, uint32_t h) {
    std::vector<std::vector<BlockSpec>> rows;
    for (uint32_t y = 0; y < h; y += 8) {
      rows.emplace_back();
      for (uint32_t x = 0; x < w; x += 8) {
        uint8_t px[64];
        RandomPixels(&rng, px);
        switch (rng() % 4) {
          case 0: rows.back().push_back(RunsBlock(px, rng() % 16)); break;
          case 1: rows.back().push_back(RawBlock(px)); break;
          case 2: rows.back().push_back(MotionBlock(x ? -8 : 0, 0)); break;
          default: rows.back().push_back(PatternBlockSpec(px[0], px[1], px + 8)); break;
        }
      }
    }
    return EncodePlane(w, h, rows);
  };
  std::vector<uint8_t> a = plane(48, 40), y = plane(48, 40), c1 = plane(24, 24), c2 = plane(24, 24), good;
  AssembleVideoData(&a, y, &c1, &c2, false, &good);
  VideoFrameStatus status;
  d.Decode(good, &status);
  ASSERT_EQ(status.error, VIDEO_OK);
  int reported = 0;
  for (int iter = 0; iter < 400; ++iter) {
    std::vector<uint8_t> bad = good;
    if (iter % 2)
      bad.resize(rng() % bad.size());
    else
      for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
    d.open_flags = iter % 3 ? FLAG_ALPHA : FLAG_OLD_BITSTREAM;
    d.Decode(bad, &status);
    if (status.error != VIDEO_OK) ++reported;
  }
  EXPECT_GT(reported, 200);
}

TEST(ProcessorFeatures, CachedWordMarksItselfAndMatchesTheProbe) {
  uint32_t probed = ProbeProcessorFeatures();
  EXPECT_EQ(probed & CPU_PROBED, 0u);
  EXPECT_EQ(ProcessorFeatures(), probed | CPU_PROBED);
#if defined(__x86_64__)
  // Every x86-64 processor has MMX, SSE and SSE2.
  EXPECT_EQ(probed & (CPU_MMX | CPU_SSE | CPU_SSE2), CPU_MMX | CPU_SSE | CPU_SSE2);
#endif
  if (probed & CPU_AVX2) {
    EXPECT_TRUE(probed & CPU_SSE41);
  }
}

}  // namespace
