#include "encode/test_source.h"

#include <cmath>
#include <cstdlib>

namespace {

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352d;
  x ^= x >> 15;
  x *= 0x846ca68b;
  x ^= x >> 16;
  return x;
}

// Seven-segment digits: bits a b c d e f g.
const uint8_t kSegments[10] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B};

bool DigitPixel(int digit, int x, int y, int s) {
  // A digit cell is 4s wide and 7s high; segments are s thick.
  const uint8_t seg = kSegments[digit];
  const int w = 4 * s, h = 7 * s, mid = h / 2;
  const bool top = y < s, bottom = y >= h - s, centre = y >= mid - s / 2 && y < mid - s / 2 + s;
  const bool left = x < s, right = x >= w - s;
  const bool upper = y < mid, lower = y >= mid;
  return (seg & 0x40 && top) || (seg & 0x08 && bottom) || (seg & 0x01 && centre) ||
         (seg & 0x20 && right && upper) || (seg & 0x10 && right && lower) ||
         (seg & 0x04 && left && lower) || (seg & 0x02 && left && upper);
}

struct Yuv {
  uint8_t y, u, v;
};

Yuv FromRgb(int r, int g, int b) {
  const double yy = 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255;
  const double uu = 128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255;
  const double vv = 128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255;
  return {uint8_t(std::lround(yy)), uint8_t(std::lround(uu)), uint8_t(std::lround(vv))};
}

// The full-resolution colour of pixel (x, y) of the frame.
Yuv Pixel(uint32_t w, uint32_t h, uint32_t frame, int x, int y) {
  const int H = int(h);
  const int W = int(w);
  Yuv c;
  if (y < H * 2 / 5) {
    // Colour bars scrolling left by 2 pixels a frame.
    static const int bars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                   {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    const int bw = W / 8 > 0 ? W / 8 : 1;
    const int i = ((x + int(frame) * 2) / bw) % 8;
    c = FromRgb(bars[i][0], bars[i][1], bars[i][2]);
  } else if (y < H * 4 / 5) {
    // Gradients: luma across, chroma down, slowly shifting.
    const int gy = 20 + (x * 215) / (W > 1 ? W - 1 : 1);
    const int t = int(frame) % 64;
    c = {uint8_t(gy), uint8_t(64 + (y * 128) / H), uint8_t(96 + t)};
  } else {
    // Noise strip over a mid grey.
    const uint32_t n = Hash(uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ frame * 83492791u);
    c = {uint8_t(100 + int(n % 56)), uint8_t(120 + int((n >> 8) % 17)), uint8_t(120 + int((n >> 16) % 17))};
  }
  // A box bouncing around the picture.
  const int bs = (W < H ? W : H) / 5 + 4;
  const int rx = W - bs > 1 ? W - bs : 1, ry = H - bs > 1 ? H - bs : 1;
  int bx = int(frame * 3) % (2 * rx), by = int(frame * 2) % (2 * ry);
  if (bx >= rx) bx = 2 * rx - bx;
  if (by >= ry) by = 2 * ry - by;
  if (x >= bx && x < bx + bs && y >= by && y < by + bs) {
    const bool edge = x < bx + 2 || x >= bx + bs - 2 || y < by + 2 || y >= by + bs - 2;
    c = edge ? Yuv{235, 128, 128} : FromRgb(200, 120, 40);
  }
  // Frame counter, four digits, top left: 1 for the first frame, as users count.
  const int s = H >= 120 ? 3 : 1;
  const int cx = x - 4 * s, cy = y - 4 * s;
  if (cx >= 0 && cy >= 0 && cy < 7 * s && cx < 4 * 5 * s) {
    const int cell = cx / (5 * s), in = cx % (5 * s);
    int value = int((frame + 1) % 10000);
    for (int k = 3; k > cell; --k) value /= 10;
    if (in < 4 * s && DigitPixel(value % 10, in, cy, s)) c = {235, 128, 128};
    else c = {16, 128, 128};
  }
  return c;
}

}  // namespace

void TestSourceFrame(uint32_t width, uint32_t height, uint32_t frame, uint8_t* y, int y_pitch,
                     uint8_t* u, uint8_t* v, int c_pitch) {
  for (uint32_t r = 0; r < height; ++r)
    for (uint32_t c = 0; c < width; ++c) y[size_t(r) * y_pitch + c] = Pixel(width, height, frame, int(c), int(r)).y;
  const uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
  for (uint32_t r = 0; r < ch; ++r)
    for (uint32_t c = 0; c < cw; ++c) {
      // Average the (up to four) pixels the chroma sample covers.
      int su = 0, sv = 0, n = 0;
      for (uint32_t dy = 0; dy < 2; ++dy)
        for (uint32_t dx = 0; dx < 2; ++dx) {
          const uint32_t px = 2 * c + dx, py = 2 * r + dy;
          if (px >= width || py >= height) continue;
          const Yuv p = Pixel(width, height, frame, int(px), int(py));
          su += p.u, sv += p.v, ++n;
        }
      u[size_t(r) * c_pitch + c] = uint8_t((su + n / 2) / n);
      v[size_t(r) * c_pitch + c] = uint8_t((sv + n / 2) / n);
    }
}

void TestSourceAlpha(uint32_t width, uint32_t height, uint32_t frame, uint8_t* a, int a_pitch) {
  const double radius = (width < height ? width : height) / 4.0 + 2;
  const double cx = std::fmod(frame * 2.0, double(width) + 2 * radius) - radius;
  const double cy = height / 2.0;
  for (uint32_t r = 0; r < height; ++r)
    for (uint32_t c = 0; c < width; ++c) {
      const double d = std::hypot(c + 0.5 - cx, r + 0.5 - cy) - radius;
      const double t = d < -4 ? 0 : d > 4 ? 1 : (d + 4) / 8;
      a[size_t(r) * a_pitch + c] = uint8_t(std::lround(255 * t));
    }
}
