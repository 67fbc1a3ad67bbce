// The headless GDI: window, screen and memory DCs over the framebuffer,
// DIB sections in memory, nearest-neighbour StretchBlt, the black fill,
// pixels, and text rendered with SDL2_ttf into memory.
#include <SDL_ttf.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/headless/headless_display_internal.h"
#include "platform/headless/text_line.h"

namespace {

HeadlessState& S() { return Headless(); }

constexpr const char kFontPath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int kFontPoints = 11;  // the SDL2 display's size, so both draw the same text

uint32_t RgbOfRef(ColourRef c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
ColourRef RefOfRgb(uint32_t rgb) { return RgbOfRef(rgb); }  // the same swap

uint8_t* BitmapRow(PlatformBitmap* b, uint32_t y) {
  uint32_t row = b->bottom_up ? b->height - 1 - y : y;
  return b->bytes.data() + size_t(row) * uint32_t(b->pitch);
}

uint32_t ReadBitmap(const void* source, uint32_t x, uint32_t y) {
  auto* b = const_cast<PlatformBitmap*>(static_cast<const PlatformBitmap*>(source));
  uint32_t bytes = b->format.rgb_bit_count / 8;
  return PixelToRgb(b->format, ReadPixel(BitmapRow(b, y) + size_t(x) * bytes, bytes));
}

void InitBitmap(PlatformBitmap* b, uint32_t w, uint32_t h, const DDPixelFormat& f, bool bottom_up) {
  b->width = w;
  b->height = h;
  b->format = f;
  b->bottom_up = bottom_up;
  b->pitch = int32_t((w * (f.rgb_bit_count / 8) + 3) & ~3u);
  b->bytes.assign(size_t(b->pitch) * h, 0);
}

// The DC's drawing area in its own coordinates: what it may touch.
DisplayRect AreaOf(PlatformDC* dc) {
  switch (dc->kind) {
    case DCKind::kWindow: return DisplayRect{0, 0, dc->window->client_width, dc->window->client_height};
    case DCKind::kScreen: return DisplayRect{0, 0, int32_t(S().width), int32_t(S().height)};
    default: return DisplayRect{0, 0, int32_t(dc->selected->width), int32_t(dc->selected->height)};
  }
}

// Writes one pixel in DC coordinates (clipped).
void PutRgb(PlatformDC* dc, int32_t x, int32_t y, uint32_t rgb) {
  DisplayRect a = AreaOf(dc);
  if (x < a.left || y < a.top || x >= a.right || y >= a.bottom) return;
  if (dc->kind == DCKind::kMemory) {
    PlatformBitmap* b = dc->selected;
    uint32_t bytes = b->format.rgb_bit_count / 8;
    WritePixel(BitmapRow(b, uint32_t(y)) + size_t(x) * bytes, bytes, RgbToPixel(b->format, rgb));
    return;
  }
  if (dc->kind == DCKind::kWindow) {
    DisplayRect c = ClientOnScreen(dc->window);
    x += c.left;
    y += c.top;
  }
  HeadlessState& s = S();
  if (x < 0 || y < 0 || x >= int32_t(s.width) || y >= int32_t(s.height)) return;
  uint32_t bytes = s.bits / 8;
  WritePixel(s.pixels.data() + size_t(y) * uint32_t(s.pitch) + size_t(x) * bytes, bytes, RgbToPixel(s.format, rgb));
}

bool GetRgb(PlatformDC* dc, int32_t x, int32_t y, uint32_t* rgb) {
  DisplayRect a = AreaOf(dc);
  if (x < a.left || y < a.top || x >= a.right || y >= a.bottom) return false;
  if (dc->kind == DCKind::kMemory) {
    *rgb = ReadBitmap(dc->selected, uint32_t(x), uint32_t(y));
    return true;
  }
  if (dc->kind == DCKind::kWindow) {
    DisplayRect c = ClientOnScreen(dc->window);
    x += c.left;
    y += c.top;
  }
  HeadlessState& s = S();
  if (x < 0 || y < 0 || x >= int32_t(s.width) || y >= int32_t(s.height)) return false;
  uint32_t bytes = s.bits / 8;
  *rgb = PixelToRgb(s.format, ReadPixel(s.pixels.data() + size_t(y) * uint32_t(s.pitch) + size_t(x) * bytes, bytes));
  return true;
}

TTF_Font* Font() {
  static TTF_Font* font = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (TTF_WasInit() || TTF_Init() == 0) font = TTF_OpenFont(kFontPath, kFontPoints);
  }
  return font;
}

// ---- The services ----

// Window and screen DCs given back, kept for the next GetDC: a line drawn
// at every frame takes and gives back a DC without allocating.
constexpr int kSpareDCs = 4;
PlatformDC* g_spare_dcs[kSpareDCs];
int g_spare_count = 0;

// The last line drawn in each window (see text_line.h).
struct WindowLine {
  PlatformWindow* window;
  TextLine line;
};
constexpr int kWindowLines = 4;
WindowLine g_lines[kWindowLines];
int g_next_line = 0;

TextLine* LineOf(PlatformWindow* window) {
  for (WindowLine& l : g_lines)
    if (l.window == window) return &l.line;
  WindowLine& l = g_lines[g_next_line];
  g_next_line = (g_next_line + 1) % kWindowLines;
  l.window = window;
  return &l.line;
}

PlatformDC* GetDC(PlatformWindow* window) {
  PlatformDC* dc = g_spare_count > 0 ? g_spare_dcs[--g_spare_count] : new PlatformDC{};
  dc->kind = window ? DCKind::kWindow : DCKind::kScreen;
  dc->window = window;
  dc->text_colour = 0;
  dc->back_colour = 0xFFFFFF;
  dc->stretch_mode = 1;
  return dc;
}

int ReleaseDC(PlatformWindow*, PlatformDC* dc) {
  if (dc->kind != DCKind::kMemory && g_spare_count < kSpareDCs) {
    dc->selected = nullptr;
    dc->align = 0;
    g_spare_dcs[g_spare_count++] = dc;
    return 1;
  }
  delete dc;
  return 1;
}

PlatformDC* CreateCompatibleDC(PlatformDC*) {
  PlatformDC* dc = GetDC(nullptr);
  dc->kind = DCKind::kMemory;
  InitBitmap(&dc->stock, 1, 1, S().format, false);
  dc->stock.stock = true;
  dc->selected = &dc->stock;
  return dc;
}

int DeleteDC(PlatformDC* dc) {
  delete dc;
  return 1;
}

int32_t GetDeviceCaps(PlatformDC* dc, int32_t index) {
  if (index == PLANES) return 1;
  if (index == BITSPIXEL)
    return int32_t(dc->kind == DCKind::kMemory ? dc->selected->format.rgb_bit_count : S().bits);
  return 0;
}

PlatformBitmap* CreateDIBSection(PlatformDC*, const BitmapInfo* info, uint32_t, void** bits) {
  *bits = nullptr;
  const BitmapInfoHeader& h = info->header;
  if (S().config.dib_fails || h.width <= 0 || h.height == 0 || h.width > 16384 || h.height > 16384 ||
      h.height < -16384)
    return nullptr;
  DDPixelFormat f{};
  f.flags = DDPF_RGB;
  f.rgb_bit_count = h.bit_count;
  if (h.compression == BI_BITFIELDS && (h.bit_count == 16 || h.bit_count == 32)) {
    f.red_mask = info->colours[0];
    f.green_mask = info->colours[1];
    f.blue_mask = info->colours[2];
  } else if (h.compression == BI_RGB && (h.bit_count == 24 || h.bit_count == 32)) {
    f.red_mask = 0xFF0000u;
    f.green_mask = 0xFF00u;
    f.blue_mask = 0xFFu;
  } else {
    return nullptr;
  }
  auto* b = new PlatformBitmap{};
  InitBitmap(b, uint32_t(h.width), uint32_t(h.height < 0 ? -h.height : h.height), f, h.height > 0);
  *bits = b->bytes.data();
  return b;
}

PlatformBitmap* CreateCompatibleBitmap(PlatformDC*, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  auto* b = new PlatformBitmap{};
  InitBitmap(b, uint32_t(width), uint32_t(height), S().format, false);
  return b;
}

int32_t GetDIBits(PlatformDC*, PlatformBitmap* bitmap, uint32_t, uint32_t, void* bits, BitmapInfo* info, uint32_t) {
  if (!bitmap || bits) return 0;
  BitmapInfoHeader& h = info->header;
  const DDPixelFormat& f = bitmap->format;
  if (h.bit_count == 0) {
    h.size = sizeof(BitmapInfoHeader);
    h.width = int32_t(bitmap->width);
    h.height = int32_t(bitmap->height);
    h.planes = 1;
    h.bit_count = uint16_t(f.rgb_bit_count);
    h.compression = (f.rgb_bit_count == 16 || f.rgb_bit_count == 32) ? BI_BITFIELDS : BI_RGB;
    h.size_image = uint32_t(bitmap->pitch) * bitmap->height;
    return 1;
  }
  if (h.compression == BI_BITFIELDS) {
    info->colours[0] = f.red_mask;
    info->colours[1] = f.green_mask;
    info->colours[2] = f.blue_mask;
  }
  return 1;
}

PlatformBitmap* SelectObject(PlatformDC* dc, PlatformBitmap* bitmap) {
  if (dc->kind != DCKind::kMemory || !bitmap) return nullptr;
  PlatformBitmap* old = dc->selected;
  dc->selected = bitmap;
  return old;
}

int DeleteObject(PlatformBitmap* bitmap) {
  if (!bitmap || bitmap->stock) return 0;
  delete bitmap;
  return 1;
}

int32_t SetStretchBltMode(PlatformDC* dc, int32_t mode) {
  int32_t old = dc->stretch_mode;
  dc->stretch_mode = mode;
  return old;
}

int StretchBlt(PlatformDC* dst, int32_t x, int32_t y, int32_t w, int32_t h, PlatformDC* src, int32_t sx, int32_t sy,
               int32_t sw, int32_t sh, uint32_t rop) {
  if (rop != SRCCOPY || src->kind != DCKind::kMemory || w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return 0;
  PlatformBitmap* b = src->selected;
  if (sx < 0 || sy < 0 || int64_t(sx) + sw > b->width || int64_t(sy) + sh > b->height) return 0;
  DisplayRect from{sx, sy, sx + sw, sy + sh};
  if (dst->kind == DCKind::kMemory) return 0;
  DisplayRect to{x, y, x + w, y + h};
  DisplayRect clip = AreaOf(dst);
  if (dst->kind == DCKind::kWindow) {
    DisplayRect c = ClientOnScreen(dst->window);
    to = DisplayRect{to.left + c.left, to.top + c.top, to.right + c.left, to.bottom + c.top};
    clip = c;
  }
  RawRows raw{b->bytes.data(), b->pitch};
  if (b->bottom_up) raw = RawRows{b->bytes.data() + size_t(b->height - 1) * uint32_t(b->pitch), -b->pitch};
  StretchToScreen(b, ReadBitmap, from, to, &clip, SameFormat(b->format, S().format) ? &raw : nullptr);
  return 1;
}

int PatBlt(PlatformDC* dc, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rop) {
  if (rop != BLACKNESS) return 0;
  DisplayRect a = AreaOf(dc);
  int64_t l = std::max<int64_t>(x, a.left), t = std::max<int64_t>(y, a.top);
  int64_t r = std::min<int64_t>(int64_t(x) + w, a.right), b = std::min<int64_t>(int64_t(y) + h, a.bottom);
  for (int64_t j = t; j < b; ++j)
    for (int64_t i = l; i < r; ++i) PutRgb(dc, int32_t(i), int32_t(j), 0);
  return 1;
}

ColourRef GetPixel(PlatformDC* dc, int32_t x, int32_t y) {
  uint32_t rgb = 0;
  return GetRgb(dc, x, y, &rgb) ? RefOfRgb(rgb) : CLR_INVALID;
}

ColourRef SetPixel(PlatformDC* dc, int32_t x, int32_t y, ColourRef colour) {
  PutRgb(dc, x, y, RgbOfRef(colour));
  return GetPixel(dc, x, y);
}

int GetTextExtentPoint32(PlatformDC*, const char* text, int32_t length, DisplaySize* size) {
  *size = DisplaySize{0, 0};
  TTF_Font* font = Font();
  if (!font || length < 0) return 0;
  char s[1024];
  const size_t n = std::min(size_t(length), sizeof(s) - 1);
  std::memcpy(s, text, n);
  s[n] = 0;
  int w = 0, h = 0;
  if (TTF_SizeUTF8(font, s, &w, &h) != 0) return 0;
  *size = DisplaySize{w, h};
  return 1;
}

ColourRef SetTextColor(PlatformDC* dc, ColourRef c) {
  ColourRef old = dc->text_colour;
  dc->text_colour = c;
  return old;
}

ColourRef SetBkColor(PlatformDC* dc, ColourRef c) {
  ColourRef old = dc->back_colour;
  dc->back_colour = c;
  return old;
}

uint32_t SetTextAlign(PlatformDC* dc, uint32_t align) {
  uint32_t old = dc->align;
  dc->align = align;
  return old;
}

int ExtTextOut(PlatformDC* dc, int32_t x, int32_t y, uint32_t options, const DisplayRect* rect, const char* text,
               uint32_t length) {
  const uint32_t back = RgbOfRef(dc->back_colour);
  if ((options & ETO_OPAQUE) && rect)
    for (int32_t j = rect->top; j < rect->bottom; ++j)
      for (int32_t i = rect->left; i < rect->right; ++i) PutRgb(dc, i, j, back);
  TTF_Font* font = Font();
  if (!font) return 0;
  if (!length) return 1;
  const uint32_t fore = RgbOfRef(dc->text_colour);
  TextLine* line = dc->kind == DCKind::kWindow ? LineOf(dc->window) : nullptr;
  bool changed = false;
  if (line && TextLineSet(line, font, text, length, fore, back, &changed)) {
    const int32_t left = (dc->align & TA_CENTER) == TA_CENTER ? x - line->width / 2 : x;
    for (int32_t j = 0; j < line->height; ++j) {
      const uint32_t* row = line->pixels + size_t(j) * size_t(line->capacity);
      for (int32_t i = 0; i < line->width; ++i) PutRgb(dc, left + i, y + j, row[i]);
    }
    return 1;
  }
  std::string s(text, length);
  SDL_Color fg{uint8_t(fore >> 16), uint8_t(fore >> 8), uint8_t(fore), 255};
  SDL_Color bg{uint8_t(back >> 16), uint8_t(back >> 8), uint8_t(back), 255};
  SDL_Surface* glyphs = TTF_RenderUTF8_Shaded(font, s.c_str(), fg, bg);
  if (!glyphs) return 0;
  int32_t left = (dc->align & TA_CENTER) == TA_CENTER ? x - glyphs->w / 2 : x;
  const SDL_Palette* palette = glyphs->format->palette;
  for (int j = 0; j < glyphs->h; ++j) {
    const uint8_t* row = static_cast<const uint8_t*>(glyphs->pixels) + size_t(j) * uint32_t(glyphs->pitch);
    for (int i = 0; i < glyphs->w; ++i) {
      const SDL_Color& c = palette->colors[row[i]];
      PutRgb(dc, left + i, y + j, (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b);
    }
  }
  SDL_FreeSurface(glyphs);
  return 1;
}

}  // namespace

const GdiServices kHeadlessGdiServices = {
    GetDC,        ReleaseDC,         CreateCompatibleDC, DeleteDC,   GetDeviceCaps,  CreateDIBSection,
    CreateCompatibleBitmap, GetDIBits, SelectObject,     DeleteObject, SetStretchBltMode, StretchBlt,
    PatBlt,       GetPixel,          SetPixel,           GetTextExtentPoint32, SetTextColor, SetBkColor,
    SetTextAlign, ExtTextOut,
};
