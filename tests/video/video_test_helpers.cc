#include "tests/video/video_test_helpers.h"

#include <algorithm>

TestBundles::TestBundles(uint32_t width) {
  ComputeBundleCapacities(width, &buffers.caps);
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    storage[id].assign(buffers.caps.bytes[id] + kBundleSlackBytes, 0);
    buffers.data[id] = storage[id].data();
  }
}

HuffTree MakeTree(uint32_t table, const uint8_t map[16]) {
  HuffTree t{};
  t.table = uint8_t(table);
  for (int i = 0; i < 16; ++i) t.map[i] = map[i];
  HuffTreeBuild(&t);
  return t;
}

HuffTree IdentityTree(uint32_t table) {
  uint8_t map[16];
  for (int i = 0; i < 16; ++i) map[i] = uint8_t(i);
  return MakeTree(table, map);
}

HuffTree RandomTree(std::mt19937* rng) {
  uint8_t map[16];
  for (int i = 0; i < 16; ++i) map[i] = uint8_t(i);
  uint32_t table = (*rng)() % 16;
  if (table) std::shuffle(map, map + 16, *rng);
  return MakeTree(table, map);
}

BundleTrees RandomTrees(std::mt19937* rng) {
  BundleTrees t;
  t.block_types = RandomTree(rng);
  t.sub_block_types = RandomTree(rng);
  for (HuffTree& h : t.colour_high) h = RandomTree(rng);
  t.colours = RandomTree(rng);
  t.patterns = RandomTree(rng);
  t.x_offsets = RandomTree(rng);
  t.y_offsets = RandomTree(rng);
  t.runs = RandomTree(rng);
  return t;
}

#include <cstring>

#include "video/block_kinds.h"
#include "video/residue_writer.h"

BlockSpec SkipBlock() { return KindBlock(BLOCK_SKIP); }

BlockSpec KindBlock(uint32_t kind) {
  BlockSpec b;
  std::memset(&b, 0, sizeof(b));
  b.kind = kind;
  return b;
}

BlockSpec MotionBlock(int dx, int dy) {
  BlockSpec b = KindBlock(BLOCK_MOTION);
  b.dx = dx;
  b.dy = dy;
  return b;
}

BlockSpec FillBlockSpec(uint8_t colour) {
  BlockSpec b = KindBlock(BLOCK_FILL);
  b.colour0 = colour;
  return b;
}

BlockSpec PatternBlockSpec(uint8_t c0, uint8_t c1, const uint8_t rows[8]) {
  BlockSpec b = KindBlock(BLOCK_PATTERN);
  b.colour0 = c0;
  b.colour1 = c1;
  std::memcpy(b.pattern, rows, 8);
  return b;
}

BlockSpec RawBlock(const uint8_t pixels[64]) {
  BlockSpec b = KindBlock(BLOCK_RAW);
  std::memcpy(b.pixels, pixels, 64);
  return b;
}

BlockSpec RunsBlock(const uint8_t pixels[64], uint32_t scan) {
  BlockSpec b = KindBlock(BLOCK_RUNS);
  std::memcpy(b.pixels, pixels, 64);
  b.scan = scan;
  b.run_count = PlanRuns(pixels, scan, b.runs);
  return b;
}

BlockSpec ResidueBlock(int dx, int dy, const int8_t residue[64]) {
  BlockSpec b = KindBlock(BLOCK_RESIDUE);
  b.dx = dx;
  b.dy = dy;
  std::memcpy(b.residue, residue, 64);
  int changes = ResidueChanges(residue);
  b.residue_limit = uint32_t(changes > 0 ? changes - 1 : 0);
  return b;
}

BlockSpec IntraBlock(int16_t dc, const int16_t coeffs[64], uint32_t quant) {
  BlockSpec b = KindBlock(BLOCK_INTRA_DCT);
  b.dc = dc;
  std::memcpy(b.coeffs, coeffs, sizeof(b.coeffs));
  b.coeffs[0] = 0;
  b.quant = quant;
  return b;
}

BlockSpec InterBlock(int dx, int dy, int16_t dc, const int16_t coeffs[64], uint32_t quant) {
  BlockSpec b = IntraBlock(dc, coeffs, quant);
  b.kind = BLOCK_INTER_DCT;
  b.dx = dx;
  b.dy = dy;
  return b;
}

BlockSpec ScaledBlock(const BlockSpec* inner) {
  BlockSpec b = inner ? *inner : KindBlock(0);
  b.sub_kind = inner ? inner->kind : 0;
  b.kind = BLOCK_SCALED;
  return b;
}

std::vector<uint8_t> EncodePlane(uint32_t width, uint32_t height,
                                 const std::vector<std::vector<BlockSpec>>& rows, bool allow_invalid,
                                 bool old_colours, HuffTreeMode mode) {
  BundleCapacities caps;
  ComputeBundleCapacities(width, &caps);
  PlaneWriter* w = PlaneWriterCreate(width, height, &caps, old_colours);
  if (allow_invalid) PlaneWriterAllowInvalid(w);
  for (const auto& row : rows) {
    PlaneWriterBeginRow(w);
    for (const BlockSpec& b : row) PlaneWriterPutBlock(w, &b);
  }
  std::vector<uint8_t> out;
  if (!PlaneWriterFinish(w, mode, &out)) out.clear();
  PlaneWriterDestroy(w);
  return out;
}

PlaneRun RunPlane(const std::vector<uint8_t>& stream, uint32_t width, uint32_t height,
                  const std::vector<uint8_t>* ref, uint8_t initial, uint32_t map_step,
                  const std::vector<uint8_t>* premarked_map, bool old_colours) {
  TestBundles bundles(width);
  PlaneRun run;
  run.dst.assign(size_t(width) * height, initial);
  uint32_t map_pitch = map_step == 1 ? (width + 15) / 16 : width / 8;
  uint32_t map_rows = map_step == 1 ? (height + 15) / 16 : height / 8;
  run.map = premarked_map ? *premarked_map : std::vector<uint8_t>(size_t(map_pitch) * map_rows, 0);
  PlaneDecodeArgs a;
  a.stream = stream.data();
  a.stream_size = uint32_t(stream.size());
  a.destination = run.dst.data();
  a.reference = ref ? ref->data() : run.dst.data();
  a.width = width;
  a.height = height;
  a.pitch = int(width);
  a.change_map = run.map.data();
  a.map_pitch = int(map_pitch);
  a.map_step = map_step;
  a.bundles = &bundles.buffers;
  a.old_colours = old_colours;
  run.ok = DecodePlane(&a, &run.result);
  return run;
}

void RandomPixels(std::mt19937* rng, uint8_t out[64]) {
  for (int i = 0; i < 64; ++i) out[i] = (i > 0 && (*rng)() % 3 == 0) ? out[i - 1] : uint8_t((*rng)());
}
