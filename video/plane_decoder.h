// Decoding one plane stream into the pixels of one plane: the block loop over
// the 8x8 grid, every block kind, and the change map.
#pragma once
#include <cstdint>

#include "video/block_queue.h"
#include "video/bundle.h"
#include "video/video_error.h"

struct PlaneDecodeArgs {
  const uint8_t* stream;  // first byte of the plane stream
  uint32_t stream_size;   // bytes from stream to the end of the frame's video data
  uint8_t* destination;   // top-left pixel of the plane being written
  const uint8_t* reference;  // same plane of the previous frame (may be destination)
  uint32_t width, height;    // multiples of 8
  int pitch;                 // for destination and reference
  uint8_t* change_map;       // one byte per 16x16 luma area
  int map_pitch;
  uint32_t map_step;  // 1 for Y and alpha, 2 for chroma
  const BundleBuffers* bundles;
  bool old_colours;  // colours coded as sign and magnitude (old bitstream)
  // Optional, laid out like change_map: every skip block counted in
  // `unchanged` also adds 1 to its area's byte here, so that a caller that
  // decoded the plane against a partial map can later discount the areas
  // another plane marked.
  uint8_t* skip_counts = nullptr;
  // Optional (see video/block_queue.h): when the plane is decoded into the
  // other plane set, its copies, residue and transform blocks are recorded
  // here and their pixels made by whichever thread is free: DecodePlane may
  // return before they are made, unless the data broke (the pixels after the
  // offending block are then the reference's, so everything before must be
  // made first). Their pixels are whole once the queue is drained.
  BlockQueue* queue = nullptr;
};

struct PlaneDecodeResult {
  uint32_t end_offset;  // bytes from stream to the first word no bit was taken from
  int32_t unchanged;    // skip blocks whose map byte was still 0
  VideoError error;
};

// Decodes the plane; returns false (result.error says why) when the data
// breaks a limit. Decoding then stops at the offending block: the blocks
// before it are decoded, and from it on the destination takes the
// reference's pixels (with one plane set they are already there). The change map
// must cover ceil(width / 16) bytes per row (map step 1; width / 8 for map
// step 2) and the matching number of rows.
bool DecodePlane(const PlaneDecodeArgs* args, PlaneDecodeResult* result);
