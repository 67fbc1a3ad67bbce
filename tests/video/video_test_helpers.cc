#include "tests/video/video_test_helpers.h"

#include <algorithm>

TestBundles::TestBundles(uint32_t width) {
  ComputeBundleCapacities(width, &buffers.caps);
  for (uint32_t id = 0; id < BUNDLE_COUNT; ++id) {
    storage[id].assign(buffers.caps.bytes[id] + BUNDLE_SLACK_BYTES, 0);
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
