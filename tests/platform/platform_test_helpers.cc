#include "platform_test_helpers.h"

#include <gtest/gtest.h>
#include <png.h>

#include "base/container_writer.h"
#include "display/copy_flags.h"
#include "display/frame_copy.h"
#include "encode/plane_encoder.h"
#include "encode/test_source.h"
#include "encode/video_encoder.h"
#include "media/media.h"

DecodedClip::~DecodedClip() {
  if (media) MediaClose(media);
}

bool OpenDecodedClip(DecodedClip* clip, uint32_t width, uint32_t height, uint32_t frames) {
  VideoEncoderSettings vs{};
  vs.width = width;
  vs.height = height;
  vs.quality = 75;
  vs.kinds = kAllKinds;
  VideoEncoder* ve = VideoEncoderCreate(&vs);
  const uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
  std::vector<uint8_t> y(size_t(width) * height), u(size_t(cw) * ch), v(size_t(cw) * ch);
  ContainerSettings cs{};
  cs.revision = 'i';
  cs.width = width;
  cs.height = height;
  cs.rate_dividend = 30;
  cs.rate_divisor = 1;
  cs.video_flags = VideoEncoderFlags(ve);
  ContainerWriter* w = ContainerWriterCreate(&cs);
  for (uint32_t f = 0; f < frames; ++f) {
    TestSourceFrame(width, height, f, y.data(), int(width), u.data(), v.data(), int(cw));
    VideoPicture pic{y.data(), int(width), u.data(), v.data(), int(cw), nullptr, 0};
    std::vector<uint8_t> video;
    bool key = false;
    VideoEncodeFrame(ve, &pic, &video, &key);
    ContainerFrame frame{key, nullptr, nullptr, video.data(), uint32_t(video.size())};
    ContainerWriterAddFrame(w, &frame);
  }
  ContainerWriterFinishToMemory(w, &clip->image);
  VideoEncoderDestroy(ve);
  clip->media = MediaOpenMemory(clip->image.data(), clip->image.size(), OPEN_NO_SKIP | OPEN_NO_THREAD);
  EXPECT_NE(clip->media, nullptr) << MediaGetError();
  if (!clip->media) return false;
  clip->width = width;
  clip->height = height;
  EXPECT_EQ(MediaDecodeFrame(clip->media), 0);
  return true;
}

bool DecodeNextFrame(DecodedClip* clip) {
  MediaNextFrame(clip->media);
  return MediaDecodeFrame(clip->media) == 0;
}

void CopyDecodedFrame(DecodedClip* clip, uint8_t* dest, int32_t pitch, uint32_t dest_height, uint32_t type,
                      uint32_t dest_x, uint32_t dest_y) {
  CopyFrameToSurface(MediaCopyState(clip->media), dest, pitch, dest_height, dest_x, dest_y, 0, 0, clip->width,
                     clip->height, type | COPY_ALL | COPY_NO_SKIP);
}

std::vector<uint32_t> ExpectedPixels(DecodedClip* clip) {
  std::vector<uint32_t> out(size_t(clip->width) * clip->height);
  CopyDecodedFrame(clip, reinterpret_cast<uint8_t*>(out.data()), int32_t(clip->width * 4), clip->height,
                   SURFACE_XRGB32);
  return out;
}

bool ReadPngPicture(const std::string& path, RgbPicture* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  out->width = image.width;
  out->height = image.height;
  out->rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
}
