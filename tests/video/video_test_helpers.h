// Shared pieces of the video decoder tests: bundle buffers owned by a test,
// trees and plane decoding of streams made by our writers.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "video/bundle.h"
#include "video/huff.h"

// Nine bundle buffers (with slack) for a picture width.
struct TestBundles {
  explicit TestBundles(uint32_t width);
  std::vector<uint8_t> storage[BUNDLE_COUNT];
  BundleBuffers buffers;
};

HuffTree MakeTree(uint32_t table, const uint8_t map[16]);
HuffTree IdentityTree(uint32_t table);
HuffTree RandomTree(std::mt19937* rng);

// Every tree of a plane set to random selections.
BundleTrees RandomTrees(std::mt19937* rng);
