// The frame decoder with its worker thread (chroma planes beside the luma
// plane) against the same decoder on one thread: over frames of mixed block
// kinds, damaged frames and accumulated change maps, both must leave the
// same planes, change map, count and status. Runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "base/open_flags.h"
#include "tests/video/video_test_helpers.h"
#include "video/frame_buffers.h"
#include "video/frame_decoder.h"
#include "video/frame_worker.h"

namespace {

struct Decoder {
  FrameBuffers* fb;
  BundleBuffers bundles;
  std::vector<uint8_t> map;
  uint32_t map_pitch;
  Decoder(uint32_t w, uint32_t h, uint32_t open, bool all_key, bool threaded) {
    fb = FrameBuffersAllocate(w, h, open, all_key, &bundles, w);
    if (threaded) fb->worker = FrameWorkerCreate(fb, &bundles.caps);
    map_pitch = ChangeMapPitch(w);
    map.assign(map_pitch * ChangeMapRows(h), 0);
  }
  ~Decoder() { FrameBuffersFree(fb); }
};

// A plane of random blocks: skips and empty kinds (which leave areas
// unmarked), motion, fills, patterns, raw and run blocks, transform and
// residue blocks, and scaled blocks, over whose lower half the row below may
// draw blocks of its own.
std::vector<uint8_t> RandomPlane(std::mt19937* rng, uint32_t w, uint32_t h, uint32_t skip_share) {
  std::vector<std::vector<BlockSpec>> rows;
  for (uint32_t y = 0; y < h; y += 8) {
    rows.emplace_back();
    for (uint32_t x = 0; x < w; x += 8) {
      uint8_t px[64];
      RandomPixels(rng, px);
      const uint32_t pick = (*rng)() % 100;
      // Displacements that stay inside the plane.
      const int dx = x + 16 <= w ? int((*rng)() % 8) : -int((*rng)() % 8);
      const int dy = y + 16 <= h ? int((*rng)() % 8) : -int((*rng)() % 8);
      int16_t coeffs[64] = {};
      int8_t residue[64] = {};
      for (int k = 0; k < 4; ++k) {
        coeffs[(*rng)() % 64] = int16_t(int((*rng)() % 41) - 20);
        residue[(*rng)() % 64] = int8_t(int((*rng)() % 7) - 3);
      }
      const int16_t dc = int16_t((*rng)() % 2048), inter_dc = int16_t(int((*rng)() % 401) - 200);
      if (x + 16 <= w && (y & 8 ? true : y + 16 <= h) && (*rng)() % 8 == 0) {
        const BlockSpec inner = (*rng)() % 2 ? IntraBlock(dc, coeffs, (*rng)() % 16) : FillBlockSpec(px[0]);
        rows.back().push_back(ScaledBlock(y & 8 ? nullptr : &inner));
        x += 8;
      } else if (pick >= skip_share + 5 && pick % 4 == 0) {
        switch ((*rng)() % 3) {
          case 0: rows.back().push_back(IntraBlock(dc, coeffs, (*rng)() % 16)); break;
          case 1: rows.back().push_back(InterBlock(dx, dy, inter_dc, coeffs, (*rng)() % 16)); break;
          default: rows.back().push_back(ResidueBlock(dx, dy, residue)); break;
        }
      } else if (pick < skip_share)
        rows.back().push_back(SkipBlock());
      else if (pick < skip_share + 5)
        rows.back().push_back(KindBlock(11));
      else
        switch (pick % 5) {
          case 0: rows.back().push_back(MotionBlock(x ? -8 : 0, y ? -8 : 0)); break;
          case 1: rows.back().push_back(FillBlockSpec(px[0])); break;
          case 2: rows.back().push_back(PatternBlockSpec(px[0], px[1], px + 8)); break;
          case 3: rows.back().push_back(RunsBlock(px, (*rng)() % 16)); break;
          default: rows.back().push_back(RawBlock(px)); break;
        }
    }
  }
  std::vector<uint8_t> out = EncodePlane(w, h, rows);
  EXPECT_FALSE(out.empty());
  return out;
}

void ExpectSame(const Decoder& one, const Decoder& two, int frame) {
  ASSERT_EQ(one.fb->current, two.fb->current) << frame;
  EXPECT_EQ(one.map, two.map) << "frame " << frame;
  for (uint32_t s = 0; s < one.fb->set_count; ++s)
    for (uint32_t p = 0; p < 4; ++p) {
      const DecodedPlane& a = one.fb->sets[s].plane[p];
      const DecodedPlane& b = two.fb->sets[s].plane[p];
      if (!a.pixels) continue;
      const size_t bytes = size_t(a.pitch) * PlaneHeight(one.fb, p);
      EXPECT_EQ(std::vector<uint8_t>(a.pixels, a.pixels + bytes), std::vector<uint8_t>(b.pixels, b.pixels + bytes))
          << "frame " << frame << " set " << s << " plane " << p;
    }
}

struct Layout {
  uint32_t open_flags, video_flags;
  bool all_key;
};

// Names the case by its fields (the default printer dumps the padding bytes too).
void PrintTo(const Layout& l, std::ostream* os) {
  *os << "open" << std::hex << l.open_flags << "_video" << l.video_flags << (l.all_key ? "_allkey" : "");
}

class FrameWorkerTest : public ::testing::TestWithParam<Layout> {};

TEST_P(FrameWorkerTest, DecodesTheSameBytesAsOneThread) {
  const Layout l = GetParam();
  const uint32_t w = 104, h = 88;  // chroma 56x48: not a whole number of 16x16 areas
  std::mt19937 rng(7 + l.open_flags + l.all_key);
  Decoder one(w, h, l.open_flags, l.all_key, false), two(w, h, l.open_flags, l.all_key, true);
  ASSERT_NE(two.fb->worker, nullptr);
  const bool alpha = l.video_flags & FLAG_ALPHA;
  int failures = 0;
  for (int frame = 0; frame < 60; ++frame) {
    // Early frames code most blocks; later ones skip more, so that the
    // chroma-2 count depends on what the other planes marked.
    const uint32_t skips = frame < 2 ? 0 : 20 + (rng() % 50);
    std::vector<uint8_t> a = RandomPlane(&rng, w, h, skips), y = RandomPlane(&rng, w, h, skips),
                         c1 = RandomPlane(&rng, 56, 48, skips), c2 = RandomPlane(&rng, 56, 48, skips), video;
    AssembleVideoData(alpha ? &a : nullptr, y, &c1, &c2, false, &video);
    if (frame > 4 && frame % 3 == 0) {  // damage: cut short or flip bits in any plane
      if (rng() % 2)
        video.resize(rng() % video.size());
      else
        for (int k = 0; k < 3; ++k) video[4 + rng() % (video.size() - 4)] ^= uint8_t(1u << (rng() % 8));
    }
    if (rng() % 3) {  // else the marks accumulate, as after a skipped copy
      std::fill(one.map.begin(), one.map.end(), 0);
      std::fill(two.map.begin(), two.map.end(), 0);
    }
    VideoFrameStatus s1, s2;
    const int32_t r1 = DecodeVideoFrame(one.fb, one.map.data(), int(one.map_pitch), video.data(),
                                        uint32_t(video.size()), false, &one.bundles, l.open_flags, l.video_flags, &s1);
    const int32_t r2 = DecodeVideoFrame(two.fb, two.map.data(), int(two.map_pitch), video.data(),
                                        uint32_t(video.size()), false, &two.bundles, l.open_flags, l.video_flags, &s2);
    EXPECT_EQ(r1, r2) << "frame " << frame;
    EXPECT_EQ(s1.error, s2.error) << "frame " << frame;
    EXPECT_EQ(s1.plane, s2.plane) << "frame " << frame;
    failures += s1.error != VIDEO_OK;
    ExpectSame(one, two, frame);
    if (HasFailure()) return;
  }
  EXPECT_GT(failures, 3);  // the damage did reach the decoder
  // Frames read on both threads are timed, for the benchmarks.
  const FrameWorker::Times& t = two.fb->worker->times;
  EXPECT_EQ(t.frames > 0, !(l.open_flags & (FLAG_GRAYSCALE | FLAG_OLD_BITSTREAM)));
  EXPECT_GE(t.longest_read, std::max(t.caller_read, t.worker_read));
}

INSTANTIATE_TEST_SUITE_P(Layouts, FrameWorkerTest,
                         ::testing::Values(Layout{0, 0, false}, Layout{0, 0, true},
                                           Layout{FLAG_ALPHA, FLAG_ALPHA, false},
                                           Layout{FLAG_ALPHA, FLAG_ALPHA, true}, Layout{0, FLAG_ALPHA, false},
                                           Layout{FLAG_GRAYSCALE, 0, false}, Layout{FLAG_OLD_BITSTREAM, 0, false}));

}  // namespace
