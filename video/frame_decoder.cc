#include "video/frame_decoder.h"

#include <cstring>

#include "media/open_flags.h"
#include "video/cpu_features.h"
#include "video/plane_decoder.h"

namespace {

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A length field at offset `at` whose value counts its own four bytes: the
// offset of the next item, or 0 when the field or its item leaves the data.
uint32_t FollowLength(const uint8_t* video, uint32_t size, uint32_t at) {
  if (size < 4 || at > size - 4) return 0;
  uint32_t length = LoadLe32(video + at);
  if (length < 4 || length > size - at) return 0;
  return at + length;
}

struct FrameDecode {
  const uint8_t* video;
  uint32_t size;
  const BundleBuffers* bundles;
  bool old_colours;
  uint8_t* map;
  int map_pitch;
  VideoError error;
  uint32_t failed_plane;
};

// Decodes plane p of the destination set from `start`; false on failure.
bool DecodeOne(FrameDecode* f, uint32_t p, const FrameBuffers* fb, const PlaneSet* dst,
           const PlaneSet* ref, uint32_t start, PlaneDecodeResult* out) {
  PlaneDecodeArgs a;
  a.stream = f->video + start;
  a.stream_size = f->size - start;
  a.destination = dst->plane[p].pixels;
  a.reference = ref->plane[p].pixels;
  a.width = PlaneWidth(fb, p);
  a.height = PlaneHeight(fb, p);
  a.pitch = dst->plane[p].pitch;
  a.change_map = f->map;
  a.map_pitch = f->map_pitch;
  a.map_step = (p == PLANE_CHROMA1 || p == PLANE_CHROMA2) ? 2 : 1;
  a.bundles = f->bundles;
  a.old_colours = f->old_colours;
  if (!DecodePlane(&a, out)) {
    f->error = out->error;
    f->failed_plane = p;
    return false;
  }
  return true;
}

int32_t Fail(FrameDecode*, VideoFrameStatus* status, VideoError error, uint32_t plane) {
  if (status) {
    status->error = error;
    status->plane = plane;
  }
  return 0;
}

}  // namespace

int32_t DecodeVideoFrame(FrameBuffers* fb, uint8_t* change_map, int map_pitch, const uint8_t* video,
                         uint32_t video_size, bool key_frame, const BundleBuffers* bundles,
                         uint32_t open_flags, uint32_t video_flags, VideoFrameStatus* status) {
  (void)key_frame;
  ProcessorFeatures();  // probed once per process for the converters
  if (status) {
    status->error = VIDEO_OK;
    status->plane = PLANE_Y;
  }
  FrameDecode f{video, video_size, bundles, (open_flags & FLAG_OLD_BITSTREAM) != 0, change_map,
                map_pitch, VIDEO_OK, PLANE_Y};
  if (!fb->sets[fb->current].plane[PLANE_Y].pixels)
    return Fail(&f, status, VIDEO_ERROR_NO_PLANES, PLANE_Y);

  // Decode into the other set when it exists; refer to the current one.
  const uint32_t old = fb->current;
  if (fb->sets[old ^ 1].plane[PLANE_Y].pixels) fb->current = old ^ 1;
  const PlaneSet* dst = &fb->sets[fb->current];
  const PlaneSet* ref = &fb->sets[old];
  PlaneDecodeResult r;

  uint32_t at = 0;
  if (video_flags & FLAG_ALPHA) {
    uint32_t next = FollowLength(video, video_size, 0);
    if (!next) return Fail(&f, status, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_ALPHA);
    if ((open_flags & FLAG_ALPHA) && dst->plane[PLANE_ALPHA].pixels && ref->plane[PLANE_ALPHA].pixels) {
      if (!DecodeOne(&f, PLANE_ALPHA, fb, dst, ref, 4, &r)) return Fail(&f, status, f.error, f.failed_plane);
    }
    at = next;
  }

  uint32_t next_plane = 0;
  if (!(open_flags & FLAG_OLD_BITSTREAM)) {
    next_plane = FollowLength(video, video_size, at);
    if (!next_plane) return Fail(&f, status, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_Y);
    at += 4;
  } else if (at > video_size) {
    return Fail(&f, status, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_Y);
  }
  if (!DecodeOne(&f, PLANE_Y, fb, dst, ref, at, &r)) return Fail(&f, status, f.error, f.failed_plane);
  if (open_flags & FLAG_OLD_BITSTREAM) next_plane = at + r.end_offset;
  int32_t result = r.unchanged / 4;

  if (!(open_flags & FLAG_GRAYSCALE)) {
    if (next_plane > video_size) return Fail(&f, status, VIDEO_ERROR_PLANE_OUTSIDE, PLANE_CHROMA1);
    if (!DecodeOne(&f, PLANE_CHROMA1, fb, dst, ref, next_plane, &r))
      return Fail(&f, status, f.error, f.failed_plane);
    next_plane += r.end_offset;
    if (!DecodeOne(&f, PLANE_CHROMA2, fb, dst, ref, next_plane, &r))
      return Fail(&f, status, f.error, f.failed_plane);
    result = r.unchanged;
  }
  return result;
}
