// Camera moves across photographs: the views a clip shows frame by frame
// (a pan that bounces off the picture's edges, a steady zoom), and the
// rendering of one view into 4:2:0 planes with the colour equations the
// player's converters invert.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/picture_file.h"

struct PanSettings {
  uint32_t width = 1280, height = 720;  // output picture
  uint32_t frames = 60;
  double pan_x = 4, pan_y = 1;  // output pixels per frame
  double zoom = 1;              // scale reached at the last frame (2: twice as close)
};

// What one frame shows: the centre in picture pixels and the picture pixels
// per output pixel.
struct PanView {
  double cx, cy, scale;
};

// The views of frames [first, first + count) of a clip over a picture of
// src_w x src_h; the pan starts afresh at `first` (a cut), the zoom follows
// the clip's frame numbers.
std::vector<PanView> PanViews(const PanSettings& s, uint32_t src_w, uint32_t src_h, uint32_t first, uint32_t count);

// A picture as Y, U and V planes at one resolution, shrunk by a whole factor.
struct YuvImage {
  uint32_t width = 0, height = 0;
  uint32_t factor = 1;  // picture pixels per image pixel
  std::vector<uint8_t> y, u, v;
};

// Box-averages the picture by `factor` (1: as it is) and converts it.
void PanPrepare(const RgbPicture& picture, uint32_t factor, YuvImage* out);

// The largest whole shrink that loses nothing for these views.
uint32_t PanFactor(const std::vector<PanView>& views);

// Renders a view (in picture pixels) into planes of width x height and
// ceil(width/2) x ceil(height/2).
void PanRender(const YuvImage& image, const PanView& view, uint32_t width, uint32_t height, uint8_t* y,
               int y_pitch, uint8_t* u, uint8_t* v, int c_pitch);
