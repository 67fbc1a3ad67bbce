// The headless screen: framebuffer, pixel formats, windows, cursor, the
// screen services and the composed picture.
#include "platform/headless/headless_display.h"

#include <algorithm>
#include <cstring>

#include "display/colour_tables.h"
#include "platform/headless/headless_display_internal.h"

namespace {

// Kept for the life of the process (windows and surfaces stay reachable).
HeadlessState& g_state = *new HeadlessState();

const DisplayDriver kDriver = {"headless", &kHeadlessScreenServices, &kHeadlessGdiServices,
                               &kHeadlessDirectDrawServices};
const DisplayDriver kDriverNoDirectDraw = {"headless", &kHeadlessScreenServices, &kHeadlessGdiServices,
                                           nullptr};

uint32_t Expand(uint32_t value, uint32_t mask) {
  if (!mask) return 0;
  uint32_t shift = __builtin_ctz(mask);
  uint32_t max = mask >> shift;
  return ((value & mask) >> shift) * 255u / max;
}

uint32_t Pack(uint32_t channel, uint32_t mask) {
  if (!mask) return 0;
  uint32_t shift = __builtin_ctz(mask);
  uint32_t max = mask >> shift;
  return ((channel * max + 127u) / 255u) << shift;
}

uint8_t Clamp(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// The colour equations of our converters (display/colour_tables.h).
uint32_t YuvToRgb(uint8_t y8, uint8_t u8, uint8_t v8) {
  int32_t y = LumaTable[y8], v = ChromaTable[v8], u = ChromaTable[u8];
  return (uint32_t(Clamp(y + 4 * v)) << 16) | (uint32_t(Clamp(y - u - 2 * v)) << 8) | Clamp(y + 5 * u);
}

// Bytes under the cursor's rectangle, clipped to the screen.
DisplayRect CursorRectOnScreen() {
  HeadlessState& s = g_state;
  DisplayRect r{s.cursor_x, s.cursor_y, s.cursor_x + s.config.cursor_width, s.cursor_y + s.config.cursor_height};
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, int32_t(s.width));
  r.bottom = std::min(r.bottom, int32_t(s.height));
  return r;
}

bool CursorVisible() {
  HeadlessState& s = g_state;
  return s.config.software_cursor && s.config.mouse && s.cursor_count >= 0 && s.cursor_shape;
}

void SyncCursor() {
  EraseSoftwareCursor();
  DrawSoftwareCursor();
}

}  // namespace

HeadlessState& Headless() { return g_state; }

DDPixelFormat FormatOfDepth(uint32_t bits, bool rgb555) {
  DDPixelFormat f{};
  f.flags = DDPF_RGB;
  f.rgb_bit_count = bits;
  if (bits == 8) {
    f.flags |= DDPF_PALETTEINDEXED8;
  } else if (bits == 16) {
    f.red_mask = rgb555 ? 0x7C00u : 0xF800u;
    f.green_mask = rgb555 ? 0x3E0u : 0x7E0u;
    f.blue_mask = 0x1Fu;
  } else {
    f.red_mask = 0xFF0000u;
    f.green_mask = 0xFF00u;
    f.blue_mask = 0xFFu;
  }
  return f;
}

uint32_t ReadPixel(const uint8_t* at, uint32_t bytes) {
  uint32_t v = 0;
  memcpy(&v, at, bytes);
  return v;
}

void WritePixel(uint8_t* at, uint32_t bytes, uint32_t value) { memcpy(at, &value, bytes); }

uint32_t PixelToRgb(const DDPixelFormat& f, uint32_t v) {
  if (f.rgb_bit_count == 8) {
    // Palette of 3-3-2 colours: red in bits 0-2, green 3-5, blue 6-7.
    uint32_t r = (v & 7) * 255 / 7, g = ((v >> 3) & 7) * 255 / 7, b = ((v >> 6) & 3) * 255 / 3;
    return (r << 16) | (g << 8) | b;
  }
  return (Expand(v, f.red_mask) << 16) | (Expand(v, f.green_mask) << 8) | Expand(v, f.blue_mask);
}

uint32_t RgbToPixel(const DDPixelFormat& f, uint32_t rgb) {
  uint32_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  if (f.rgb_bit_count == 8) return ((r * 7 + 127) / 255) | (((g * 7 + 127) / 255) << 3) | (((b * 3 + 127) / 255) << 6);
  return Pack(r, f.red_mask) | Pack(g, f.green_mask) | Pack(b, f.blue_mask);
}

uint32_t SurfaceRgbAt(const DDSurface& s, const uint8_t* bits, uint32_t x, uint32_t y) {
  if (s.format.flags & DDPF_FOURCC) {
    const uint8_t* row = bits + size_t(y) * uint32_t(s.pitch);
    if (s.format.fourcc == FOURCC_YV12) {
      uint32_t half = uint32_t(s.pitch) / 2, rows = s.height / 2;
      uint32_t cy = std::min(y / 2, rows ? rows - 1 : 0);
      const uint8_t* v = bits + size_t(s.pitch) * s.height;
      const uint8_t* u = v + size_t(half) * rows;
      return YuvToRgb(row[x], u[size_t(cy) * half + x / 2], v[size_t(cy) * half + x / 2]);
    }
    const uint8_t* pair = row + (x & ~1u) * 2;
    if (s.format.fourcc == FOURCC_YUY2) return YuvToRgb(pair[(x & 1) * 2], pair[1], pair[3]);
    return YuvToRgb(pair[1 + (x & 1) * 2], pair[0], pair[2]);  // UYVY
  }
  uint32_t bytes = s.format.rgb_bit_count / 8;
  return PixelToRgb(s.format, ReadPixel(bits + size_t(y) * uint32_t(s.pitch) + size_t(x) * bytes, bytes));
}

bool ModeOffered(uint32_t width, uint32_t height, uint32_t bits) {
  HeadlessState& s = g_state;
  if (width == s.start_width && height == s.start_height && bits == s.start_bits) return true;
  for (const HeadlessDisplayMode& m : s.config.modes)
    if (m.width == width && m.height == height && m.bits_per_pixel == bits) return true;
  return false;
}

void ResizeScreen(uint32_t width, uint32_t height, uint32_t bits) {
  HeadlessState& s = g_state;
  s.cursor_drawn = false;
  s.width = width;
  s.height = height;
  s.bits = bits;
  s.format = FormatOfDepth(bits, s.config.rgb555);
  s.pitch = int32_t((width * (bits / 8) + 3) & ~3u);
  s.pixels.assign(size_t(s.pitch) * height, 0);
  DrawSoftwareCursor();
}

DisplayRect ClientOnScreen(const PlatformWindow* w) {
  int32_t left = w->x + w->frame_side, top = w->y + w->frame_top;
  return DisplayRect{left, top, left + w->client_width, top + w->client_height};
}

void EraseSoftwareCursor() {
  HeadlessState& s = g_state;
  if (!s.cursor_drawn) return;
  const DisplayRect& r = s.cursor_rect;
  uint32_t bytes = s.bits / 8, row = uint32_t(r.right - r.left) * bytes;
  const uint8_t* from = s.cursor_saved.data();
  for (int32_t y = r.top; y < r.bottom; ++y, from += row)
    memcpy(s.pixels.data() + size_t(y) * uint32_t(s.pitch) + size_t(r.left) * bytes, from, row);
  s.cursor_drawn = false;
}

void DrawSoftwareCursor() {
  HeadlessState& s = g_state;
  if (s.cursor_drawn || !CursorVisible()) return;
  DisplayRect r = CursorRectOnScreen();
  if (r.right <= r.left || r.bottom <= r.top) return;
  uint32_t bytes = s.bits / 8, row = uint32_t(r.right - r.left) * bytes;
  s.cursor_saved.resize(size_t(row) * uint32_t(r.bottom - r.top));
  uint8_t* to = s.cursor_saved.data();
  for (int32_t y = r.top; y < r.bottom; ++y, to += row) {
    uint8_t* at = s.pixels.data() + size_t(y) * uint32_t(s.pitch) + size_t(r.left) * bytes;
    memcpy(to, at, row);
    memset(at, 0xFF, row);  // a white block
  }
  s.cursor_rect = r;
  s.cursor_drawn = true;
}

bool SameFormat(const DDPixelFormat& a, const DDPixelFormat& b) {
  if ((a.flags & DDPF_FOURCC) || (b.flags & DDPF_FOURCC)) return false;
  return a.rgb_bit_count == b.rgb_bit_count && a.red_mask == b.red_mask && a.green_mask == b.green_mask &&
         a.blue_mask == b.blue_mask && (a.rgb_bit_count != 8 || (b.flags & DDPF_PALETTEINDEXED8));
}

void StretchToScreen(const void* source, ReadRgb read, const DisplayRect& src, const DisplayRect& dst,
                     const DisplayRect* clip, const RawRows* raw) {
  HeadlessState& s = g_state;
  int64_t dw = int64_t(dst.right) - dst.left, dh = int64_t(dst.bottom) - dst.top;
  int64_t sw = int64_t(src.right) - src.left, sh = int64_t(src.bottom) - src.top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  int64_t left = std::max<int64_t>(dst.left, 0), top = std::max<int64_t>(dst.top, 0);
  int64_t right = std::min<int64_t>(dst.right, s.width), bottom = std::min<int64_t>(dst.bottom, s.height);
  if (clip) {
    left = std::max<int64_t>(left, clip->left);
    top = std::max<int64_t>(top, clip->top);
    right = std::min<int64_t>(right, clip->right);
    bottom = std::min<int64_t>(bottom, clip->bottom);
  }
  uint32_t bytes = s.bits / 8;
  if (left >= right) return;
  if (raw) {
    for (int64_t y = top; y < bottom; ++y) {
      int64_t sy = src.top + (y - dst.top) * sh / dh;
      const uint8_t* from = raw->row0 + sy * raw->pitch;
      uint8_t* to = s.pixels.data() + size_t(y) * uint32_t(s.pitch);
      if (sw == dw) {
        memcpy(to + left * bytes, from + (src.left + (left - dst.left)) * bytes, size_t(right - left) * bytes);
        continue;
      }
      for (int64_t x = left; x < right; ++x)
        memcpy(to + x * bytes, from + (src.left + (x - dst.left) * sw / dw) * bytes, bytes);
    }
    return;
  }
  for (int64_t y = top; y < bottom; ++y) {
    uint32_t sy = uint32_t(src.top + (y - dst.top) * sh / dh);
    uint8_t* row = s.pixels.data() + size_t(y) * uint32_t(s.pitch);
    for (int64_t x = left; x < right; ++x) {
      uint32_t sx = uint32_t(src.left + (x - dst.left) * sw / dw);
      WritePixel(row + size_t(x) * bytes, bytes, RgbToPixel(s.format, read(source, sx, sy)));
    }
  }
}

// ---- Set-up and test controls ----

void HeadlessDisplayInstall(const HeadlessDisplayConfig& config) {
  HeadlessState& s = g_state;
  for (PlatformWindow* w : s.windows) delete w;
  for (DDSurface* f : s.surfaces) delete f;
  for (PlatformCursor* c : s.cursors) delete c;
  s.windows.clear();
  s.surfaces.clear();
  s.cursors.clear();
  s.config = config;
  s.start_width = config.width;
  s.start_height = config.height;
  s.start_bits = config.bits_per_pixel;
  s.cursor_x = config.cursor_x;
  s.cursor_y = config.cursor_y;
  s.cursor_count = 0;
  s.cursor_shape = &s.arrow;
  s.cursor_drawn = false;
  s.set_display_mode_calls = s.change_settings_calls = s.ddraw_created = s.ddraw_open = 0;
  ResizeScreen(config.width, config.height, config.bits_per_pixel);
  DisplayRegisterDriver(HeadlessDisplayDriver());
}

const DisplayDriver* HeadlessDisplayDriver() { return g_state.config.ddraw ? &kDriver : &kDriverNoDirectDraw; }

PlatformWindow* HeadlessWindowCreate(int32_t x, int32_t y, int32_t client_width, int32_t client_height,
                                     bool framed) {
  auto* w = new PlatformWindow{};
  w->x = x;
  w->y = y;
  w->client_width = client_width;
  w->client_height = client_height;
  w->frame_side = framed ? kHeadlessFrameSide : 0;
  w->frame_top = framed ? kHeadlessFrameTop : 0;
  w->visible = true;
  w->cursor = &g_state.arrow;
  g_state.windows.push_back(w);
  return w;
}

void HeadlessWindowDestroy(PlatformWindow* w) {
  auto& ws = g_state.windows;
  auto it = std::find(ws.begin(), ws.end(), w);
  if (it == ws.end()) return;
  ws.erase(it);
  delete w;
}

void HeadlessWindowMove(PlatformWindow* w, int32_t x, int32_t y) {
  w->x = x;
  w->y = y;
}
void HeadlessWindowResizeClient(PlatformWindow* w, int32_t cw, int32_t ch) {
  w->client_width = cw;
  w->client_height = ch;
}
void HeadlessWindowSetMinimised(PlatformWindow* w, bool minimised) { w->minimised = minimised; }
void HeadlessWindowSetVisible(PlatformWindow* w, bool visible) { w->visible = visible; }

void HeadlessSetCursorPos(int32_t x, int32_t y) {
  EraseSoftwareCursor();
  g_state.cursor_x = x;
  g_state.cursor_y = y;
  DrawSoftwareCursor();
}

int32_t HeadlessCursorCount() { return g_state.cursor_count; }

PlatformCursor* HeadlessNewCursor() {
  auto* c = new PlatformCursor{uint32_t(g_state.cursors.size() + 1)};
  g_state.cursors.push_back(c);
  return c;
}

void HeadlessLoseSurfaces() {
  for (DDSurface* f : g_state.surfaces) f->lost = true;
}

HeadlessScreenInfo HeadlessScreen() {
  HeadlessState& s = g_state;
  return HeadlessScreenInfo{s.width, s.height, s.bits, s.pitch, s.pixels.data(), s.set_display_mode_calls,
                            s.change_settings_calls, s.ddraw_created, s.ddraw_open,
                            uint32_t(s.surfaces.size())};
}

std::vector<uint32_t> HeadlessReadScreen(int32_t x0, int32_t y0, uint32_t width, uint32_t height) {
  HeadlessState& s = g_state;
  std::vector<uint32_t> out(size_t(width) * height, 0);
  uint32_t bytes = s.bits / 8;
  for (uint32_t j = 0; j < height; ++j) {
    int64_t y = int64_t(y0) + j;
    if (y < 0 || y >= int64_t(s.height)) continue;
    const uint8_t* row = s.pixels.data() + size_t(y) * uint32_t(s.pitch);
    for (uint32_t i = 0; i < width; ++i) {
      int64_t x = int64_t(x0) + i;
      if (x < 0 || x >= int64_t(s.width)) continue;
      uint32_t raw = ReadPixel(row + size_t(x) * bytes, bytes);
      uint32_t rgb = PixelToRgb(s.format, raw);
      // Shown overlays, later ones on top, where the screen holds the key.
      for (const DDSurface* f : s.surfaces) {
        if (!f->shown || raw < f->key_low || raw > f->key_high) continue;
        const DisplayRect& d = f->dst;
        if (x < d.left || x >= d.right || y < d.top || y >= d.bottom) continue;
        uint32_t sx = uint32_t(f->src.left + (x - d.left) * (f->src.right - f->src.left) / (d.right - d.left));
        uint32_t sy = uint32_t(f->src.top + (y - d.top) * (f->src.bottom - f->src.top) / (d.bottom - d.top));
        rgb = SurfaceRgbAt(*f, f->bytes.data(), sx, sy);
      }
      out[size_t(j) * width + i] = rgb;
    }
  }
  return out;
}

std::vector<uint32_t> HeadlessReadClient(PlatformWindow* w) {
  DisplayRect r = ClientOnScreen(w);
  return HeadlessReadScreen(r.left, r.top, uint32_t(std::max(w->client_width, 0)),
                            uint32_t(std::max(w->client_height, 0)));
}

// ---- Screen services ----

namespace {

int32_t GetSystemMetrics(int32_t index) {
  HeadlessState& s = g_state;
  switch (index) {
    case SM_CXSCREEN: return int32_t(s.width);
    case SM_CYSCREEN: return int32_t(s.height);
    case SM_CXCURSOR: return s.config.cursor_width;
    case SM_CYCURSOR: return s.config.cursor_height;
    case SM_MOUSEPRESENT: return s.config.mouse ? 1 : 0;
    default: return 0;
  }
}

int32_t ChangeDisplaySettings(const DevMode* mode, uint32_t flags) {
  HeadlessState& s = g_state;
  s.change_settings_calls++;
  if (!mode) {
    if (s.width != s.start_width || s.height != s.start_height || s.bits != s.start_bits)
      ResizeScreen(s.start_width, s.start_height, s.start_bits);
    return DISP_CHANGE_SUCCESSFUL;
  }
  uint32_t w = (mode->fields & DM_PELSWIDTH) ? mode->pels_width : s.width;
  uint32_t h = (mode->fields & DM_PELSHEIGHT) ? mode->pels_height : s.height;
  uint32_t bits = (mode->fields & DM_BITSPERPEL) ? mode->bits_per_pel : s.bits;
  if (!ModeOffered(w, h, bits)) return DISP_CHANGE_BADMODE;
  if ((mode->fields & DM_BITSPERPEL) && s.config.gdi_forced_depth) bits = s.config.gdi_forced_depth;
  ResizeScreen(w, h, bits);
  return DISP_CHANGE_SUCCESSFUL;
}

int32_t ShowCursor(int show) {
  HeadlessState& s = g_state;
  s.cursor_count += show ? 1 : -1;
  SyncCursor();
  return s.cursor_count;
}

int GetCursorPos(DisplayPoint* p) {
  if (!g_state.config.mouse) return 0;
  *p = DisplayPoint{g_state.cursor_x, g_state.cursor_y};
  return 1;
}

PlatformCursor* SetCursor(PlatformCursor* cursor) {
  PlatformCursor* old = g_state.cursor_shape;
  g_state.cursor_shape = cursor;
  SyncCursor();
  return old;
}

PlatformCursor* GetWindowCursor(PlatformWindow* w) { return w ? w->cursor : nullptr; }

int GetWindowRect(PlatformWindow* w, DisplayRect* r) {
  if (!w) return 0;
  *r = DisplayRect{w->x, w->y, w->x + w->client_width + 2 * w->frame_side,
                   w->y + w->client_height + w->frame_top + w->frame_side};
  return 1;
}

int GetClientRect(PlatformWindow* w, DisplayRect* r) {
  if (!w) return 0;
  *r = DisplayRect{0, 0, w->client_width, w->client_height};
  return 1;
}

int ClientToScreen(PlatformWindow* w, DisplayPoint* p) {
  if (!w) return 0;
  p->x += w->x + w->frame_side;
  p->y += w->y + w->frame_top;
  return 1;
}

int IsIconic(PlatformWindow* w) { return w && w->minimised ? 1 : 0; }
int IsWindowVisible(PlatformWindow* w) { return w && w->visible && !w->minimised ? 1 : 0; }

PlatformWindow* CreateProbeWindow(const DisplayRect* r, PlatformCursor* cursor) {
  PlatformWindow* w = HeadlessWindowCreate(r->left, r->top, r->right - r->left, r->bottom - r->top, false);
  w->probe = true;
  w->cursor = cursor;
  return w;
}

void DestroyProbeWindow(PlatformWindow* w) { HeadlessWindowDestroy(w); }

}  // namespace

const ScreenServices kHeadlessScreenServices = {
    GetSystemMetrics, ChangeDisplaySettings, ShowCursor,     GetCursorPos,       SetCursor,
    GetWindowCursor,  GetWindowRect,         GetClientRect,  ClientToScreen,     IsIconic,
    IsWindowVisible,  CreateProbeWindow,     DestroyProbeWindow,
};
