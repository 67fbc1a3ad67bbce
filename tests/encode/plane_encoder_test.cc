// Plane-level encoder limits (a row's bundle values must fit one chunk) and
// the value prices measured on the plane written.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "encode/plane_encoder.h"
#include "video/frame_buffers.h"
#include "video/plane_decoder.h"

namespace {

// Encodes a noise plane with fills and raw blocks only and a tiny lambda, so
// raw blocks win wherever the row's colour chunk has room, then decodes the
// stream and compares.
void EncodeNoise(uint32_t width, uint32_t height, PlaneEncodeStats* stats) {
  std::mt19937 rng(1);
  std::vector<uint8_t> source(size_t(width) * height), recon(source.size()), decoded(source.size(), 0);
  for (uint8_t& p : source) p = uint8_t(rng());
  PlaneEncodeParams p{};
  p.source = source.data();
  p.source_pitch = int(width);
  p.recon = recon.data();
  p.pitch = int(width);
  p.width = width;
  p.height = height;
  p.file_width = width;
  p.lambda = 0.01;
  p.kinds = KindBit(BLOCK_FILL) | KindBit(BLOCK_RAW);
  std::vector<uint8_t> stream;
  ASSERT_TRUE(EncodePlane(&p, &stream, stats));

  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(width, height, 0, true, &bundles, width);
  ASSERT_TRUE(fb);
  std::vector<uint8_t> map(ChangeMapPitch(width) * ChangeMapRows(height), 0);
  PlaneDecodeArgs a{};
  a.stream = stream.data();
  a.stream_size = uint32_t(stream.size());
  a.destination = decoded.data();
  a.reference = decoded.data();
  a.width = width;
  a.height = height;
  a.pitch = int(width);
  a.change_map = map.data();
  a.map_pitch = int(ChangeMapPitch(width));
  a.map_step = 1;
  a.bundles = &bundles;
  PlaneDecodeResult r{};
  EXPECT_TRUE(DecodePlane(&a, &r));
  EXPECT_EQ(r.end_offset, stream.size());  // consumed exactly
  EXPECT_EQ(decoded, recon);
  FrameBuffersFree(fb);
}

TEST(PlaneEncoder, RawRowsFitTheColourChunk) {
  PlaneEncodeStats stats;
  EncodeNoise(64, 16, &stats);
  EXPECT_EQ(stats.kind_count[BLOCK_RAW], 16u);
  EXPECT_EQ(stats.sse, 0u);
  // Noise colours cost about a byte each under any code; the price the next
  // plane's choice assumes must say so.
  EXPECT_GT(stats.measured.colour, 7.5);
  EXPECT_LT(stats.measured.colour, 8.5);
}

// Above 4096 pixels a row of raw blocks needs more colours than a chunk's
// 15-bit count can say; the row's last blocks must fall back to fills.
TEST(PlaneEncoder, VeryWideRowsStayWithinTheLengthField) {
  PlaneEncodeStats stats;
  const uint32_t width = 4160;  // 520 blocks: 33280 colours for all raw
  EncodeNoise(width, 8, &stats);
  EXPECT_EQ(stats.kind_count[BLOCK_RAW], 511u);  // 511 * 64 + 9 fills <= 32767
  EXPECT_EQ(stats.kind_count[BLOCK_FILL], 9u);
}

}  // namespace
