// The logo: a ring with a bold "V" inside on a dark blue ground, and the
// word "VEXA" underneath. Shapes are sampled 4 x 4 times per pixel so that
// their edges are smooth.
#include "encode/logo_picture.h"

#include <cmath>
#include <cstring>

namespace {

struct Rgb {
  double r, g, b;
};

// 5 x 7 letters, one row a byte, bit 4 leftmost.
const uint8_t kGlyphV[7] = {0x11, 0x11, 0x11, 0x11, 0x0A, 0x0A, 0x04};
const uint8_t kGlyphE[7] = {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F};
const uint8_t kGlyphX[7] = {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11};
const uint8_t kGlyphA[7] = {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
const uint8_t* const kWord[4] = {kGlyphV, kGlyphE, kGlyphX, kGlyphA};

constexpr double kRingX = 112, kRingY = 100, kRingOuter = 78, kRingInner = 66;
constexpr int kLetterScale = 6, kLetterGap = 6, kWordTop = 194;

double DistanceToSegment(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  double ex = ax + t * dx - px, ey = ay + t * dy - py;
  return std::sqrt(ex * ex + ey * ey);
}

bool InWord(double x, double y) {
  const int letter_width = 5 * kLetterScale;
  const int word_width = 4 * letter_width + 3 * kLetterGap;
  int left = (int(kLogoWidth) - word_width) / 2;
  int col = int(std::floor(x)) - left;
  int row = int(std::floor(y)) - kWordTop;
  if (col < 0 || row < 0 || row >= 7 * kLetterScale) return false;
  int letter = col / (letter_width + kLetterGap);
  int within = col % (letter_width + kLetterGap);
  if (letter >= 4 || within >= letter_width) return false;
  return (kWord[letter][row / kLetterScale] >> (4 - within / kLetterScale)) & 1;
}

// The colour at a point of the picture.
Rgb Sample(double x, double y) {
  double shade = y / kLogoHeight;
  Rgb c{10 + 10 * shade, 20 + 25 * shade, 60 + 50 * shade};
  double d = std::hypot(x - kRingX, y - kRingY);
  if (d <= kRingOuter && d >= kRingInner) c = Rgb{240, 150, 30};
  if (d < kRingInner - 4) {
    // The "V": two strokes meeting at the bottom of the ring.
    double s = std::fmin(DistanceToSegment(x, y, 78, 62, 112, 142), DistanceToSegment(x, y, 146, 62, 112, 142));
    if (s < 9) c = Rgb{250, 250, 250};
  }
  if (InWord(x, y)) c = Rgb{235, 235, 240};
  return c;
}

uint8_t Clamp(double v) { return v < 0 ? 0 : (v > 255 ? 255 : uint8_t(v + 0.5)); }

}  // namespace

void DrawLogoPicture(uint8_t* y, uint8_t* u, uint8_t* v) {
  const uint32_t cw = kLogoWidth / 2;
  double usum[kLogoWidth / 2] = {}, vsum[kLogoWidth / 2] = {};
  for (uint32_t row = 0; row < kLogoHeight; ++row) {
    if (row % 2 == 0) {
      std::memset(usum, 0, sizeof(usum));
      std::memset(vsum, 0, sizeof(vsum));
    }
    for (uint32_t col = 0; col < kLogoWidth; ++col) {
      Rgb sum{0, 0, 0};
      for (int sy = 0; sy < 4; ++sy) {
        for (int sx = 0; sx < 4; ++sx) {
          Rgb s = Sample(col + (sx + 0.5) / 4, row + (sy + 0.5) / 4);
          sum.r += s.r / 16;
          sum.g += s.g / 16;
          sum.b += s.b / 16;
        }
      }
      double luma = 0.299 * sum.r + 0.587 * sum.g + 0.114 * sum.b;
      y[row * kLogoWidth + col] = Clamp(16 + luma * 219 / 255);
      usum[col / 2] += (sum.b - luma) * 0.564 * 224 / 255 / 4;
      vsum[col / 2] += (sum.r - luma) * 0.713 * 224 / 255 / 4;
    }
    if (row % 2 == 1) {
      for (uint32_t c = 0; c < cw; ++c) {
        u[(row / 2) * cw + c] = Clamp(128 + usum[c]);
        v[(row / 2) * cw + c] = Clamp(128 + vsum[c]);
      }
    }
  }
}

#include "base/container_writer.h"
#include "encode/video_encoder.h"

bool MakeLogoClip(std::vector<uint8_t>* out) {
  std::vector<uint8_t> y(kLogoWidth * kLogoHeight), u(kLogoWidth * kLogoHeight / 4), v(u.size());
  DrawLogoPicture(y.data(), u.data(), v.data());
  VideoEncoderSettings vs{};
  vs.width = kLogoWidth;
  vs.height = kLogoHeight;
  vs.quality = 80;
  vs.keyint = 1;
  vs.kinds = kAllKinds;
  VideoEncoder* enc = VideoEncoderCreate(&vs);
  if (!enc) return false;
  VideoPicture picture{y.data(), int(kLogoWidth), u.data(), v.data(), int(kLogoWidth / 2), nullptr, 0};
  std::vector<uint8_t> data;
  bool key = false;
  bool ok = VideoEncodeFrame(enc, &picture, &data, &key);
  ContainerSettings cs{};
  cs.revision = 'i';
  cs.width = kLogoWidth;
  cs.height = kLogoHeight;
  cs.rate_dividend = 10;
  cs.rate_divisor = 1;
  cs.video_flags = VideoEncoderFlags(enc);
  VideoEncoderDestroy(enc);
  ContainerWriter* writer = ok ? ContainerWriterCreate(&cs) : nullptr;
  if (!writer) return false;
  ContainerFrame frame{};
  frame.key = key;
  frame.video = data.data();
  frame.video_size = uint32_t(data.size());
  if (!ContainerWriterAddFrame(writer, &frame)) {
    ContainerWriterDestroy(writer);
    return false;
  }
  return ContainerWriterFinishToMemory(writer, out);
}
