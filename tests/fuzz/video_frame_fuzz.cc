// libFuzzer target: arbitrary bytes as the video data of a frame. The first
// three bytes choose the picture size and the flags; the rest is decoded
// twice (so the second decode has a reference set). Whatever the bytes, the
// decoder must stay inside its buffers and report, not crash.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/open_flags.h"
#include "video/frame_buffers.h"
#include "video/frame_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t width = 1 + data[0] % 72, height = 1 + data[1] % 56;
  const uint8_t mode = data[2];
  uint32_t open_flags = 0, video_flags = 0;
  if (mode & 1) open_flags |= FLAG_OLD_BITSTREAM;
  if (mode & 2) open_flags |= FLAG_GRAYSCALE, video_flags |= FLAG_GRAYSCALE;
  if (mode & 4) video_flags |= FLAG_ALPHA;
  if (mode & 8) open_flags |= FLAG_ALPHA;
  const bool all_key = (mode & 16) != 0;
  BundleBuffers bundles;
  FrameBuffers* fb = FrameBuffersAllocate(width, height, open_flags, all_key, &bundles, width);
  if (!fb) return 0;
  const uint32_t map_pitch = ChangeMapPitch(width);
  std::vector<uint8_t> map(map_pitch * ChangeMapRows(height));
  // An exact-size copy so that any read past the data is caught.
  std::vector<uint8_t> video(data + 3, data + size);
  for (int pass = 0; pass < 2; ++pass) {
    VideoFrameStatus status;
    DecodeVideoFrame(fb, map.data(), int(map_pitch), video.data(), uint32_t(video.size()), false, &bundles,
                     open_flags, video_flags, &status);
  }
  FrameBuffersFree(fb);
  return 0;
}
