// GDI on SDL2: a window's DC draws items into the window's composition
// (client coordinates), the screen's DC reads and writes the screen's
// pixels, a memory DC the bitmap selected into it. A DIB section is our own
// pixel rows, drawn into a window through a system-memory surface of the
// window's renderer (uploaded where it is drawn); text comes from SDL_ttf.
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

#include "display/gdi_services.h"
#include "platform/sdl/sdl_display_services.h"
#include "platform/sdl/sdl_text.h"

struct PlatformBitmap {
  uint32_t sdl_format;
  int32_t width, height;  // rows top-down
  int32_t pitch;
  uint8_t* bits;
  SdlSurface* drawn;      // the surface that draws it into a window, made on first use
};

enum DcKind : uint32_t { DC_WINDOW, DC_SCREEN, DC_MEMORY };

struct PlatformDC {
  uint32_t kind;
  SdlWindow* window;       // DC_WINDOW
  PlatformBitmap* bitmap;  // DC_MEMORY: selected
  PlatformBitmap* initial; // DC_MEMORY: the 1x1 bitmap it starts with
  uint32_t sdl_format;     // the device's format
  ColourRef text, background;
  uint32_t align;
  int32_t stretch_mode;
};

namespace {

uint32_t ScreenFormat() {
  SdlWindow* w = SdlShowingWindow();
  if (w && w->screen) return w->screen->format;
  SDL_DisplayMode m{};
  if (SDL_GetDesktopDisplayMode(0, &m) == 0 && SdlSurfaceTypeOfFormat(m.format) != ~0u &&
      !SDL_ISPIXELFORMAT_INDEXED(m.format))
    return m.format;
  return SDL_PIXELFORMAT_RGB888;
}

PlatformBitmap* NewBitmap(uint32_t sdl_format, int32_t w, int32_t h, int32_t pitch) {
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return nullptr;
  auto* b = static_cast<PlatformBitmap*>(std::calloc(1, sizeof(PlatformBitmap)));
  if (!b) return nullptr;
  b->sdl_format = sdl_format;
  b->width = w;
  b->height = h;
  b->pitch = pitch;
  b->bits = static_cast<uint8_t*>(std::calloc(size_t(pitch) * h, 1));
  if (!b->bits) {
    std::free(b);
    return nullptr;
  }
  return b;
}

void FreeBitmap(PlatformBitmap* b) {
  if (!b) return;
  if (b->drawn) SdlSurfaceDestroy(b->drawn);
  std::free(b->bits);
  std::free(b);
}

// The SDL format of a DIB's header and masks; 0 when GDI would refuse it.
uint32_t FormatOfDib(const BitmapInfo* info) {
  const BitmapInfoHeader& h = info->header;
  bool fields = h.compression == BI_BITFIELDS;
  if (h.compression != BI_RGB && !fields) return 0;
  switch (h.bit_count) {
    case 32:
      if (!fields || (info->colours[0] == 0xFF0000 && info->colours[1] == 0xFF00 && info->colours[2] == 0xFF))
        return SDL_PIXELFORMAT_RGB888;
      if (info->colours[0] == 0xFF && info->colours[1] == 0xFF00 && info->colours[2] == 0xFF0000)
        return SDL_PIXELFORMAT_BGR888;
      return 0;
    case 24: return fields ? 0 : SDL_PIXELFORMAT_BGR24;
    case 16:
      if (!fields || (info->colours[0] == 0x7C00 && info->colours[1] == 0x3E0 && info->colours[2] == 0x1F))
        return SDL_PIXELFORMAT_RGB555;
      if (info->colours[0] == 0xF800 && info->colours[1] == 0x7E0 && info->colours[2] == 0x1F)
        return SDL_PIXELFORMAT_RGB565;
      return 0;
    default: return 0;
  }
}

// Window and screen DCs given back, kept for the next GetDC: a line drawn
// at every frame takes and gives back a DC without allocating.
constexpr int kSpareDCs = 4;
PlatformDC* g_spare_dcs[kSpareDCs];
int g_spare_count = 0;

PlatformDC* NewDC(uint32_t kind, SdlWindow* window, uint32_t sdl_format) {
  PlatformDC* dc = nullptr;
  if (kind != DC_MEMORY && g_spare_count > 0) {
    dc = g_spare_dcs[--g_spare_count];
    std::memset(static_cast<void*>(dc), 0, sizeof(PlatformDC));
  } else {
    dc = static_cast<PlatformDC*>(std::calloc(1, sizeof(PlatformDC)));
  }
  if (!dc) return nullptr;
  dc->kind = kind;
  dc->window = window;
  dc->sdl_format = sdl_format;
  dc->text = 0;
  dc->background = 0xFFFFFF;
  dc->stretch_mode = COLORONCOLOR;
  return dc;
}

PlatformDC* GetDC(PlatformWindow* window) {
  SdlWindow* w = SdlWindowOf(window);
  if (!w) return NewDC(DC_SCREEN, nullptr, ScreenFormat());
  SdlScreen* screen = SdlScreenGet(w);
  if (!screen) return nullptr;
  if (!SdlShowingWindow()) SdlSetShowingWindow(w);
  return NewDC(DC_WINDOW, w, screen->format);
}

int ReleaseDC(PlatformWindow*, PlatformDC* dc) {
  if (!dc) return 0;
  // What was drawn through the DC shows when it is given back.
  if (dc->kind == DC_WINDOW && dc->window->screen) SdlScreenFlush(dc->window->screen);
  if (dc->kind != DC_MEMORY && g_spare_count < kSpareDCs) g_spare_dcs[g_spare_count++] = dc;
  else std::free(dc);
  return 1;
}

PlatformDC* CreateCompatibleDC(PlatformDC* dc) {
  uint32_t f = dc ? dc->sdl_format : ScreenFormat();
  PlatformDC* m = NewDC(DC_MEMORY, nullptr, f);
  if (!m) return nullptr;
  m->initial = NewBitmap(f, 1, 1, 4);
  if (!m->initial) {
    std::free(m);
    return nullptr;
  }
  m->bitmap = m->initial;
  return m;
}

int DeleteDC(PlatformDC* dc) {
  if (!dc) return 0;
  FreeBitmap(dc->initial);
  std::free(dc);
  return 1;
}

int32_t GetDeviceCaps(PlatformDC* dc, int32_t index) {
  if (index == PLANES) return 1;
  if (index == BITSPIXEL) return int32_t(SDL_BYTESPERPIXEL(dc ? dc->sdl_format : ScreenFormat()) * 8);
  return 0;
}

PlatformBitmap* CreateDIBSection(PlatformDC* dc, const BitmapInfo* info, uint32_t usage, void** bits) {
  if (bits) *bits = nullptr;
  if (!info || info->header.width <= 0 || info->header.height == 0) return nullptr;
  uint32_t f = FormatOfDib(info);
  if (!f) return nullptr;
  int32_t w = info->header.width, h = info->header.height < 0 ? -info->header.height : info->header.height;
  int32_t pitch = (w * int32_t(SDL_BYTESPERPIXEL(f)) + 3) & ~3;
  PlatformBitmap* b = NewBitmap(f, w, h, pitch);
  if (b && bits) *bits = b->bits;
  return b;
}

PlatformBitmap* CreateCompatibleBitmap(PlatformDC* dc, int32_t width, int32_t height) {
  uint32_t f = dc ? dc->sdl_format : ScreenFormat();
  return NewBitmap(f, width, height, (width * int32_t(SDL_BYTESPERPIXEL(f)) + 3) & ~3);
}

int32_t GetDIBits(PlatformDC* dc, PlatformBitmap* bitmap, uint32_t start, uint32_t lines, void* bits,
                  BitmapInfo* info, uint32_t usage) {
  if (!bitmap || !info) return 0;
  if (bits) return 0;  // only the format is asked for
  BitmapInfoHeader& h = info->header;
  uint32_t f = bitmap->sdl_format;
  bool asked_masks = h.bit_count != 0;
  h.size = sizeof(BitmapInfoHeader);
  h.width = bitmap->width;
  h.height = bitmap->height;
  h.planes = 1;
  h.bit_count = uint16_t(SDL_BYTESPERPIXEL(f) * 8);
  h.size_image = uint32_t(bitmap->pitch * bitmap->height);
  h.compression = (f == SDL_PIXELFORMAT_BGR24 || f == SDL_PIXELFORMAT_RGB24) ? BI_RGB : BI_BITFIELDS;
  if (asked_masks && h.compression == BI_BITFIELDS) {
    int bpp = 0;
    uint32_t r = 0, g = 0, b = 0, a = 0;
    SDL_PixelFormatEnumToMasks(f, &bpp, &r, &g, &b, &a);
    info->colours[0] = r;
    info->colours[1] = g;
    info->colours[2] = b;
  }
  return 1;
}

PlatformBitmap* SelectObject(PlatformDC* dc, PlatformBitmap* bitmap) {
  if (!dc || dc->kind != DC_MEMORY || !bitmap) return nullptr;
  PlatformBitmap* old = dc->bitmap;
  dc->bitmap = bitmap;
  dc->sdl_format = bitmap->sdl_format;
  return old;
}

int DeleteObject(PlatformBitmap* bitmap) {
  if (!bitmap) return 0;
  FreeBitmap(bitmap);
  return 1;
}

int32_t SetStretchBltMode(PlatformDC* dc, int32_t mode) {
  int32_t old = dc->stretch_mode;
  dc->stretch_mode = mode;
  return old;
}

// The surface that draws a bitmap in the window's renderer.
SdlSurface* DrawnSurface(PlatformBitmap* b, SdlScreen* screen) {
  if (b->drawn && b->drawn->screen != screen) {
    SdlSurfaceDestroy(b->drawn);
    b->drawn = nullptr;
  }
  if (b->drawn && b->drawn->lost && !SdlSurfaceRestore(b->drawn)) return nullptr;
  if (!b->drawn) {
    b->drawn = SdlSurfaceWrap(screen, b->sdl_format, b->bits, b->pitch, uint32_t(b->width), uint32_t(b->height));
    if (b->drawn) b->drawn->holder = &b->drawn;
  }
  return b->drawn;
}

// SDL's view of a bitmap's pixels, for CPU blits between bitmaps and the screen.
SDL_Surface* View(uint32_t format, uint8_t* bits, int32_t w, int32_t h, int32_t pitch) {
  return SDL_CreateRGBSurfaceWithFormatFrom(bits, w, h, SDL_BITSPERPIXEL(format), pitch, format);
}

// The screen's pixels as a bitmap-like view (null when DirectDraw has made none).
SdlSurface* ScreenPixels() {
  SdlWindow* w = SdlShowingWindow();
  if (!w || !w->screen) return nullptr;
  for (SdlSurface* s : w->screen->surfaces)
    if (s && s->primary && !s->lost) return s;
  return nullptr;
}

int StretchBlt(PlatformDC* dst, int32_t x, int32_t y, int32_t width, int32_t height, PlatformDC* src,
               int32_t src_x, int32_t src_y, int32_t src_width, int32_t src_height, uint32_t rop) {
  if (!dst || !src || rop != SRCCOPY || src->kind != DC_MEMORY || !src->bitmap) return 0;
  if (width <= 0 || height <= 0 || src_width <= 0 || src_height <= 0) return 1;
  PlatformBitmap* b = src->bitmap;
  if (dst->kind == DC_WINDOW) {
    SdlScreen* screen = SdlScreenGet(dst->window);
    SdlSurface* s = screen ? DrawnSurface(b, screen) : nullptr;
    if (!s) return 0;
    return SdlScreenCopy(screen, s, {src_x, src_y, src_width, src_height}, {x, y, width, height}) ? 1 : 0;
  }
  // Into a bitmap or the screen's pixels: SDL's stretch on the CPU.
  SDL_Surface* from = View(b->sdl_format, b->bits, b->width, b->height, b->pitch);
  SDL_Surface* to = nullptr;
  SdlSurface* screen_pixels = nullptr;
  if (dst->kind == DC_MEMORY && dst->bitmap) {
    to = View(dst->bitmap->sdl_format, dst->bitmap->bits, dst->bitmap->width, dst->bitmap->height, dst->bitmap->pitch);
  } else if (dst->kind == DC_SCREEN && (screen_pixels = ScreenPixels())) {
    to = screen_pixels->memory_pixels;
  }
  int ok = 0;
  if (from && to) {
    SDL_Rect sr{src_x, src_y, src_width, src_height}, dr{x, y, width, height};
    ok = SDL_BlitScaled(from, &sr, to, &dr) == 0;
  }
  if (from) SDL_FreeSurface(from);
  if (to && !screen_pixels) SDL_FreeSurface(to);
  return ok;
}

int PatBlt(PlatformDC* dc, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rop) {
  if (!dc || rop != BLACKNESS) return 0;
  if (width <= 0 || height <= 0) return 1;
  if (dc->kind == DC_WINDOW) {
    SdlScreen* screen = SdlScreenGet(dc->window);
    if (!screen) return 0;
    SdlScreenFill(screen, {x, y, width, height}, 0);
    return 1;
  }
  SDL_Surface* to = nullptr;
  SdlSurface* screen_pixels = nullptr;
  if (dc->kind == DC_MEMORY && dc->bitmap)
    to = View(dc->bitmap->sdl_format, dc->bitmap->bits, dc->bitmap->width, dc->bitmap->height, dc->bitmap->pitch);
  else if (dc->kind == DC_SCREEN && (screen_pixels = ScreenPixels()))
    to = screen_pixels->memory_pixels;
  if (!to) return 0;
  SDL_Rect r{x, y, width, height};
  int ok = SDL_FillRect(to, &r, 0) == 0;
  if (!screen_pixels) SDL_FreeSurface(to);
  return ok;
}

// The pixel at (x, y) of a DC's pixels, or false when it has none there.
bool PixelAt(PlatformDC* dc, int32_t x, int32_t y, uint8_t** at, uint32_t* format) {
  if (dc->kind == DC_MEMORY && dc->bitmap) {
    PlatformBitmap* b = dc->bitmap;
    if (x < 0 || y < 0 || x >= b->width || y >= b->height) return false;
    *at = b->bits + size_t(y) * b->pitch + size_t(x) * SDL_BYTESPERPIXEL(b->sdl_format);
    *format = b->sdl_format;
    return true;
  }
  SdlSurface* s = dc->kind == DC_SCREEN ? ScreenPixels() : nullptr;
  if (!s || x < 0 || y < 0 || x >= int32_t(s->width) || y >= int32_t(s->height)) return false;
  SDL_Surface* m = s->memory_pixels;
  *at = static_cast<uint8_t*>(m->pixels) + size_t(y) * m->pitch + size_t(x) * m->format->BytesPerPixel;
  *format = s->sdl_format;
  return true;
}

ColourRef GetPixel(PlatformDC* dc, int32_t x, int32_t y) {
  if (!dc) return CLR_INVALID;
  if (dc->kind == DC_WINDOW) {
    // What the window shows there.
    uint32_t argb = 0;
    SdlScreen* screen = SdlScreenGet(dc->window);
    if (!screen || !SdlScreenReadPixels(screen, {x, y, 1, 1}, &argb, 4)) return CLR_INVALID;
    return SdlColourRefOfRgb(argb & 0xFFFFFF);
  }
  uint8_t* at = nullptr;
  uint32_t format = 0;
  if (!PixelAt(dc, x, y, &at, &format)) return CLR_INVALID;
  uint32_t pixel = 0;
  std::memcpy(&pixel, at, SDL_BYTESPERPIXEL(format));
  if (format == SDL_PIXELFORMAT_BGR24) pixel = at[0] | (at[1] << 8) | (at[2] << 16);
  return SdlColourRefOfRgb(format == SDL_PIXELFORMAT_BGR24 ? pixel : SdlPixelToRgb(format, pixel));
}

ColourRef SetPixel(PlatformDC* dc, int32_t x, int32_t y, ColourRef colour) {
  if (!dc) return CLR_INVALID;
  uint32_t rgb = SdlRgbOfColourRef(colour);
  if (dc->kind == DC_WINDOW) {
    SdlScreen* screen = SdlScreenGet(dc->window);
    if (!screen) return CLR_INVALID;
    SdlScreenFill(screen, {x, y, 1, 1}, rgb);
    return colour;
  }
  uint8_t* at = nullptr;
  uint32_t format = 0;
  if (!PixelAt(dc, x, y, &at, &format)) return CLR_INVALID;
  uint32_t pixel = format == SDL_PIXELFORMAT_BGR24 ? rgb : SdlRgbToPixel(format, rgb);
  std::memcpy(at, &pixel, SDL_BYTESPERPIXEL(format));
  return colour;
}

int GetTextExtentPoint32(PlatformDC* dc, const char* text, int32_t length, DisplaySize* size) {
  int32_t w = 0, h = 0;
  if (!size || length < 0 || !SdlTextSize(text, uint32_t(length), &w, &h)) return 0;
  size->cx = w;
  size->cy = h;
  return 1;
}

ColourRef SetTextColor(PlatformDC* dc, ColourRef colour) {
  ColourRef old = dc->text;
  dc->text = colour;
  return old;
}

ColourRef SetBkColor(PlatformDC* dc, ColourRef colour) {
  ColourRef old = dc->background;
  dc->background = colour;
  return old;
}

uint32_t SetTextAlign(PlatformDC* dc, uint32_t align) {
  uint32_t old = dc->align;
  dc->align = align;
  return old;
}

int ExtTextOut(PlatformDC* dc, int32_t x, int32_t y, uint32_t options, const DisplayRect* rect, const char* text,
               uint32_t length) {
  if (!dc || dc->kind != DC_WINDOW) return 0;  // text is drawn into windows only
  SdlScreen* screen = SdlScreenGet(dc->window);
  if (!screen) return 0;
  uint32_t bg = SdlRgbOfColourRef(dc->background);
  if ((options & ETO_OPAQUE) && rect)
    SdlScreenFill(screen, {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top}, bg);
  if (length == 0) return 1;
  if ((dc->align & TA_CENTER) == TA_CENTER) {
    int32_t w = 0, h = 0;
    if (SdlTextSize(text, length, &w, &h)) x -= w / 2;
  }
  return SdlTextDraw(screen, x, y, text, length, SdlRgbOfColourRef(dc->text), bg) ? 1 : 0;
}

}  // namespace

const GdiServices kSdlGdiServices = {
    GetDC,        ReleaseDC,     CreateCompatibleDC, DeleteDC,         GetDeviceCaps, CreateDIBSection,
    CreateCompatibleBitmap,      GetDIBits,          SelectObject,     DeleteObject,  SetStretchBltMode,
    StretchBlt,   PatBlt,        GetPixel,           SetPixel,         GetTextExtentPoint32,
    SetTextColor, SetBkColor,    SetTextAlign,       ExtTextOut,
};
