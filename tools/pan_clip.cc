#include "tools/pan_clip.h"

#include <algorithm>
#include <cmath>

namespace {

// Keeps the centre inside [lo, hi] by bouncing off the ends; a view wider
// than the picture stays in the middle.
void Bounce(double* c, double* dir, double lo, double hi) {
  if (hi <= lo) {
    *c = (lo + hi) / 2;
    return;
  }
  for (int i = 0; i < 4 && (*c < lo || *c > hi); ++i) {
    if (*c > hi) *c = 2 * hi - *c, *dir = -std::fabs(*dir);
    if (*c < lo) *c = 2 * lo - *c, *dir = std::fabs(*dir);
  }
  *c = std::clamp(*c, lo, hi);
}

uint8_t Clamp8(double v) { return uint8_t(std::clamp(v + 0.5, 0.0, 255.0)); }

// Bilinear sampling positions of one axis: for each output position the
// first image sample and the weight of the second, in 1/256.
struct Taps {
  std::vector<uint32_t> at;
  std::vector<uint16_t> w;
};

void MakeTaps(uint32_t count, double start, double step, uint32_t size, Taps* t) {
  t->at.resize(count);
  t->w.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const double p = std::clamp(start + step * i - 0.5, 0.0, double(size - 1));
    uint32_t a = uint32_t(p);
    if (a >= size - 1) a = size > 1 ? size - 2 : 0;
    t->at[i] = a;
    t->w[i] = size > 1 ? uint16_t(std::lround((p - a) * 256)) : 0;
  }
}

void Sample(const std::vector<uint8_t>& plane, uint32_t pw, uint32_t ph, const Taps& xs, const Taps& ys, uint8_t* out,
            int pitch) {
  const uint32_t dx = pw > 1 ? 1 : 0, dy = ph > 1 ? pw : 0;
  for (size_t r = 0; r < ys.at.size(); ++r) {
    const uint8_t* row = plane.data() + size_t(ys.at[r]) * pw;
    const uint32_t wy = ys.w[r];
    uint8_t* o = out + r * pitch;
    for (size_t c = 0; c < xs.at.size(); ++c) {
      const uint8_t* p = row + xs.at[c];
      const uint32_t wx = xs.w[c];
      const uint32_t top = p[0] * (256 - wx) + p[dx] * wx;
      const uint32_t bottom = p[dy] * (256 - wx) + p[dy + dx] * wx;
      o[c] = uint8_t((top * (256 - wy) + bottom * wy + 32768) >> 16);
    }
  }
}

}  // namespace

std::vector<PanView> PanViews(const PanSettings& s, uint32_t src_w, uint32_t src_h, uint32_t first, uint32_t count) {
  std::vector<PanView> views;
  views.reserve(count);
  // At the start the view covers a bit more than half the picture's shorter
  // fit, leaving room to pan; it never grows past the whole picture.
  const double fit = std::min(double(src_w) / s.width, double(src_h) / s.height);
  const double start = fit * 0.6;
  double cx = src_w * 0.4, cy = src_h * 0.45;
  double dir_x = s.pan_x, dir_y = s.pan_y;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t f = first + i;
    const double t = s.frames > 1 ? double(f) / (s.frames - 1) : 0;
    const double scale = std::min(fit, start / std::pow(s.zoom, t));
    if (i > 0) cx += dir_x * scale, cy += dir_y * scale;
    const double hx = s.width * scale / 2, hy = s.height * scale / 2;
    Bounce(&cx, &dir_x, hx, src_w - hx);
    Bounce(&cy, &dir_y, hy, src_h - hy);
    views.push_back({cx, cy, scale});
  }
  return views;
}

uint32_t PanFactor(const std::vector<PanView>& views) {
  double smallest = 1e9;
  for (const PanView& v : views) smallest = std::min(smallest, v.scale);
  return smallest >= 2 ? uint32_t(smallest) : 1;
}

void PanPrepare(const RgbPicture& picture, uint32_t factor, YuvImage* out) {
  factor = std::max<uint32_t>(1, std::min({factor, picture.width, picture.height}));
  const uint32_t w = picture.width / factor, h = picture.height / factor;
  out->width = w;
  out->height = h;
  out->factor = factor;
  out->y.resize(size_t(w) * h);
  out->u.resize(size_t(w) * h);
  out->v.resize(size_t(w) * h);
  const double area = double(factor) * factor;
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t c = 0; c < w; ++c) {
      double sum[3] = {0, 0, 0};
      for (uint32_t j = 0; j < factor; ++j) {
        const uint8_t* p = picture.rgb.data() + ((size_t(r) * factor + j) * picture.width + size_t(c) * factor) * 3;
        for (uint32_t i = 0; i < factor; ++i, p += 3) sum[0] += p[0], sum[1] += p[1], sum[2] += p[2];
      }
      const double red = sum[0] / area, green = sum[1] / area, blue = sum[2] / area;
      // Inverse of the player's equations: luma in 16..235, and
      // red = y + 4v, blue = y + 5u with chroma steps of 26572/65536.
      const double luma = 0.299 * red + 0.587 * green + 0.114 * blue;
      const size_t at = size_t(r) * w + c;
      out->y[at] = Clamp8(16 + luma * 219 / 255);
      out->u[at] = Clamp8(128 + (blue - luma) / (5 * 26572 / 65536.0));
      out->v[at] = Clamp8(128 + (red - luma) / (4 * 26572 / 65536.0));
    }
}

void PanRender(const YuvImage& image, const PanView& view, uint32_t width, uint32_t height, uint8_t* y,
               int y_pitch, uint8_t* u, uint8_t* v, int c_pitch) {
  const double step = view.scale / image.factor;
  const double x0 = view.cx / image.factor - width / 2.0 * step;
  const double y0 = view.cy / image.factor - height / 2.0 * step;
  Taps xs, ys;
  MakeTaps(width, x0 + step / 2, step, image.width, &xs);
  MakeTaps(height, y0 + step / 2, step, image.height, &ys);
  Sample(image.y, image.width, image.height, xs, ys, y, y_pitch);
  // Chroma samples sit between each pair of luma samples.
  const uint32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
  MakeTaps(cw, x0 + step, 2 * step, image.width, &xs);
  MakeTaps(ch, y0 + step, 2 * step, image.height, &ys);
  Sample(image.u, image.width, image.height, xs, ys, u, c_pitch);
  Sample(image.v, image.width, image.height, xs, ys, v, c_pitch);
}
