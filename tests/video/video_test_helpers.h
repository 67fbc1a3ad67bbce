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

#include "video/plane_decoder.h"
#include "video/plane_writer.h"

// Block specs stated as values.
BlockSpec SkipBlock();
BlockSpec KindBlock(uint32_t kind);
BlockSpec MotionBlock(int dx, int dy);
BlockSpec FillBlockSpec(uint8_t colour);
BlockSpec PatternBlockSpec(uint8_t c0, uint8_t c1, const uint8_t rows[8]);
BlockSpec RawBlock(const uint8_t pixels[64]);
BlockSpec RunsBlock(const uint8_t pixels[64], uint32_t scan);
BlockSpec ResidueBlock(int dx, int dy, const int8_t residue[64]);  // limit codes it in full
BlockSpec IntraBlock(int16_t dc, const int16_t coeffs[64], uint32_t quant);
BlockSpec InterBlock(int dx, int dy, int16_t dc, const int16_t coeffs[64], uint32_t quant);
// A scaled block whose sub-kind and values come from `inner` (odd rows: pass
// ScaledBlock() with no inner).
BlockSpec ScaledBlock(const BlockSpec* inner = nullptr);

// Codes a plane of blocks given row by row; empty when the writer refuses.
std::vector<uint8_t> EncodePlane(uint32_t width, uint32_t height,
                                 const std::vector<std::vector<BlockSpec>>& rows, bool allow_invalid = false,
                                 bool old_colours = false, HuffTreeMode mode = HUFF_TREE_AUTO);

// Decodes a plane stream into dst (pitch = width) against ref (null: in place).
struct PlaneRun {
  std::vector<uint8_t> dst, map;
  PlaneDecodeResult result;
  bool ok;
};
PlaneRun RunPlane(const std::vector<uint8_t>& stream, uint32_t width, uint32_t height,
                  const std::vector<uint8_t>* ref, uint8_t initial, uint32_t map_step = 1,
                  const std::vector<uint8_t>* premarked_map = nullptr, bool old_colours = false);

// A random 8x8 block of pixels with some repeats.
void RandomPixels(std::mt19937* rng, uint8_t out[64]);
