// Arbitrary bytes as a media image: header checks, the tables and index, every
// frame's location, the peak rate and the walk through each frame's packets.
// Any out-of-bounds read or overflow is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The raw packet walk on the input itself, as if it were one frame.
  if (size >= 1) {
    uint32_t tracks = data[0] % 9;
    const uint8_t* v;
    uint32_t vn;
    if (FramePacketVideo(data + 1, static_cast<uint32_t>(size - 1), tracks, &v, &vn)) {
      const uint8_t* rest;
      uint32_t rn;
      if (vn && VideoSkipAlpha(v, vn, &rest, &rn) && rn) {
        volatile uint8_t last = rest[rn - 1];
        (void)last;
      }
    }
  }

  ContainerFile* file = ContainerLoadMemory(data, size);
  if (!file) return 0;
  const ContainerLayout* l = &file->layout;
  PeakRate peak;
  ContainerPeakRate(l, &peak);
  uint32_t frames = l->header.frame_count < l->header.index_frame_count ? l->header.frame_count
                                                                        : l->header.index_frame_count;
  for (uint32_t i = 0; i < frames && i < 4096; ++i) {
    FrameLocation loc;
    if (!FrameLocate(l, i, &loc)) continue;
    // The image may be shorter than the data size claims: what a reader
    // would meet as a short read.
    if (loc.offset > size || loc.size > size - loc.offset) continue;
    // Copy the frame so that any read past it is caught by the sanitizer.
    std::vector<uint8_t> frame(data + loc.offset, data + loc.offset + loc.size);
    FrameCursor c;
    FrameCursorInit(&c, frame.data(), loc.size, l->header.track_count);
    const uint8_t* a;
    uint32_t an;
    uint32_t sum = 0;
    while (FrameCursorNextAudio(&c, &a, &an))
      if (an) sum += a[0] + a[an - 1];
    (void)sum;
  }
  ContainerFree(file);
  return 0;
}
