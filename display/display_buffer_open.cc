// Opening and closing a display buffer: the style attempts in their order,
// the error texts, and giving back everything a failed open took.
#include <cstring>

#include "base/core_alloc.h"
#include "display/copy_flags.h"
#include "display/display_buffer.h"
#include "display/display_shared.h"

namespace {

char g_error[256];

void SetError(const char* text) {
  if (!text) text = "";
  strncpy(g_error, text, sizeof g_error - 1);
  g_error[sizeof g_error - 1] = 0;
}

const DisplayDriver* Driver() { return DisplayGetDriver(); }

// What an open has made so far.
struct Attempt {
  PlatformWindow* window;
  uint32_t width, height;
  uint32_t scale;  // requested scaling classes
  int change_mode;
  bool holds_ddraw, holds_mode;
  uint32_t style;
  uint32_t surface_word;
  uint32_t caps;
  DDSurface* surface;
  bool clamp_to_screen, software_cursor, has_overlay, has_off_screen;
  PlatformBitmap* dib;
  uint8_t* dib_bits;
  int32_t dib_pitch;
  BitmapInfo* dib_info;
  PlatformDC* memory_dc;
  PlatformBitmap* old_bitmap;
};

constexpr uint32_t kFourCCOfStyle[3] = {FOURCC_YV12, FOURCC_YUY2, FOURCC_UYVY};
constexpr uint32_t kTypeOfStyle[3] = {SURFACE_YV12, SURFACE_YUY2, SURFACE_UYVY};

// Surface type of a 16-bit screen, from the bit fields GDI reports.
uint32_t SixteenBitType(PlatformDC* dc) {
  const GdiServices* gdi = Driver()->gdi;
  uint32_t type = SURFACE_RGB555;
  PlatformBitmap* probe = gdi->CreateCompatibleBitmap(dc, 1, 1);
  if (!probe) return type;
  BitmapInfo info{};
  info.header.size = sizeof(BitmapInfoHeader);
  if (gdi->GetDIBits(dc, probe, 0, 1, nullptr, &info, DIB_RGB_COLORS) &&
      gdi->GetDIBits(dc, probe, 0, 1, nullptr, &info, DIB_RGB_COLORS) &&
      info.header.compression == BI_BITFIELDS && info.colours[0] == 0xF800u)
    type = SURFACE_RGB565;
  gdi->DeleteObject(probe);
  return type;
}

bool TryDibSection(Attempt* a) {
  const GdiServices* gdi = Driver()->gdi;
  const uint32_t bpp = DisplaySharedState()->bytes_per_pixel;
  if (bpp < 2 || bpp > 4) return false;
  PlatformDC* window_dc = gdi->GetDC(a->window);
  if (!window_dc) return false;
  PlatformDC* memory_dc = gdi->CreateCompatibleDC(window_dc);
  auto* info = static_cast<BitmapInfo*>(CoreAllocate(sizeof(BitmapInfo)));
  PlatformBitmap* dib = nullptr;
  void* bits = nullptr;
  uint32_t type = 0;
  if (memory_dc && info) {
    memset(info, 0, sizeof *info);
    BitmapInfoHeader& h = info->header;
    h.size = sizeof(BitmapInfoHeader);
    h.width = int32_t(((a->width * bpp + 31) & ~31u) / bpp);
    h.height = -int32_t(a->height);
    h.planes = 1;
    h.bit_count = uint16_t(8 * bpp);
    h.compression = bpp == 3 ? BI_RGB : BI_BITFIELDS;
    if (bpp == 2) {
      type = SixteenBitType(window_dc);
      bool six = type == SURFACE_RGB565;
      info->colours[0] = six ? 0xF800u : 0x7C00u;
      info->colours[1] = six ? 0x7E0u : 0x3E0u;
      info->colours[2] = 0x1Fu;
    } else {
      type = bpp == 3 ? SURFACE_BGR24 : SURFACE_XRGB32;
      info->colours[0] = 0xFF0000u;
      info->colours[1] = 0xFF00u;
      info->colours[2] = 0xFFu;
    }
    dib = gdi->CreateDIBSection(window_dc, info, DIB_RGB_COLORS, &bits);
  }
  if (!dib || !bits) {
    if (dib) gdi->DeleteObject(dib);
    if (memory_dc) gdi->DeleteDC(memory_dc);
    CoreFree(info);
    gdi->ReleaseDC(a->window, window_dc);
    return false;
  }
  a->old_bitmap = gdi->SelectObject(memory_dc, dib);
  gdi->ReleaseDC(a->window, window_dc);
  a->dib = dib;
  a->dib_bits = static_cast<uint8_t*>(bits);
  a->dib_pitch = int32_t((uint32_t(info->header.width) * bpp + 3) & ~3u);
  a->dib_info = info;
  a->memory_dc = memory_dc;
  a->caps = SCALE_BITS;
  a->surface_word = type | (a->scale ? SURFACE_STRETCHED : 0);
  a->style = 2;
  // A fresh DIB holds no picture yet; start it black.
  FillSurfaceBlack(type, a->dib_bits, a->dib_pitch, a->width, a->height);
  return true;
}

// The DIB attempt with its own references and error texts.
bool DibAttempt(Attempt* a, bool requested) {
  DisplayShared* s = DisplaySharedState();
  if (!a->holds_mode && (!s->ddraw || !s->bytes_per_pixel))
    a->holds_mode = DisplayModeAcquire(a->window, a->change_mode) != 0;
  if (TryDibSection(a)) return true;
  if (requested)
    SetError(s->bytes_per_pixel < 2 ? kDisplayError256Colours : kDisplayErrorDibSection);
  return false;
}

// Creates a surface, fills it black and reports its type (or -1 / 0).
DDSurface* MakeSurface(const Attempt* a, uint32_t caps, uint32_t fourcc, int32_t* type) {
  const DirectDrawServices* dd = Driver()->ddraw;
  DDSurfaceDesc desc{};
  desc.caps = caps;
  desc.width = a->width;
  desc.height = a->height;
  if (fourcc) {
    desc.format.flags = DDPF_FOURCC;
    desc.format.fourcc = fourcc;
  }
  DDSurface* surface = nullptr;
  if (dd->CreateSurface(DisplaySharedState()->ddraw, &desc, &surface) != DD_OK || !surface) return nullptr;
  *type = SurfaceTypeFromFormat(surface);
  if (*type <= 0) return surface;  // the caller decides
  DDLockedSurface lock{};
  if (dd->Lock(surface, &lock, DDLOCK_WAIT) != DD_OK) {
    dd->SurfaceRelease(surface);
    return nullptr;
  }
  FillSurfaceBlack(uint32_t(*type), lock.bits, lock.pitch, a->width, a->height);
  dd->Unlock(surface, lock.bits);
  return surface;
}

bool TryDirectDrawStyle(Attempt* a, uint32_t style) {
  DisplayShared* s = DisplaySharedState();
  const DirectDrawServices* dd = Driver()->ddraw;
  if (style == 1) {
    if (a->scale) return false;
    DDLockedSurface lock{};
    DDResult r = dd->Lock(s->primary, &lock, DDLOCK_WAIT);
    if (r == DDERR_CANTLOCKSURFACE) return false;
    if (r == DD_OK) dd->Unlock(s->primary, lock.bits);
    int32_t type = SurfaceTypeFromFormat(s->primary);
    if (type < 0) SetError(kDisplayErrorVideoMode);
    if (type <= 0) return false;
    a->surface = s->primary;
    a->clamp_to_screen = true;
    a->software_cursor =
        ProbeSoftwareCursor(s->primary, Driver()->screen->GetWindowCursor(a->window)) != 0;
    a->surface_word = uint32_t(type) | SURFACE_DIRECT;
    a->caps = 0;
    return true;
  }
  const bool overlay = style >= 3 && style <= 5;
  const uint32_t allowed = overlay ? s->overlay_caps : s->blit_caps;
  if (a->scale & ~allowed) return false;
  int32_t type = -1;
  DDSurface* surface = nullptr;
  if (style <= 8) {
    uint32_t i = (style - 3) % 3;
    uint32_t caps = DDSCAPS_VIDEOMEMORY | (overlay ? DDSCAPS_OVERLAY : DDSCAPS_OFFSCREENPLAIN);
    surface = MakeSurface(a, caps, kFourCCOfStyle[i], &type);
    if (surface && type != int32_t(kTypeOfStyle[i])) {
      dd->SurfaceRelease(surface);
      return false;
    }
  } else {
    uint32_t memory = style == 9 ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY;
    surface = MakeSurface(a, DDSCAPS_OFFSCREENPLAIN | memory, 0, &type);
    if (surface && type <= 0) {
      dd->SurfaceRelease(surface);
      if (type < 0) SetError(kDisplayErrorVideoMode);
      return false;
    }
  }
  if (!surface) return false;
  a->surface = surface;
  if (overlay) {
    a->surface_word = uint32_t(type) | SURFACE_DIRECT;
    a->caps = s->overlay_caps;
    a->has_overlay = true;
  } else {
    a->surface_word = uint32_t(type) | (a->scale ? SURFACE_STRETCHED : 0);
    a->caps = s->blit_caps;
    a->has_off_screen = true;
  }
  return true;
}

// Gives back a made surface or DIB and the shared references.
void Undo(Attempt* a) {
  const DisplayDriver* d = Driver();
  if (a->has_overlay) {
    d->ddraw->UpdateOverlay(a->surface, nullptr, DisplaySharedState()->primary, nullptr, DDOVER_HIDE, nullptr);
    d->ddraw->SurfaceRelease(a->surface);
  } else if (a->has_off_screen) {
    d->ddraw->SurfaceRelease(a->surface);
  }
  if (a->dib) {
    d->gdi->SelectObject(a->memory_dc, a->old_bitmap);
    d->gdi->DeleteObject(a->dib);
    d->gdi->DeleteDC(a->memory_dc);
    CoreFree(a->dib_info);
  }
  if (a->holds_ddraw) DirectDrawRelease();
  if (a->holds_mode) DisplayModeRelease();
}

DisplayBuffer* Fail(Attempt* a, const char* text) {
  if (text) SetError(text);
  Undo(a);
  return nullptr;
}

const char* NothingWorkedText() {
  uint32_t bits = DisplaySharedState()->screen_bits;
  return bits >= 1 && bits <= 8 ? kDisplayError256Colours : kDisplayErrorNoStyle;
}

}  // namespace

const char* DisplayBufferError() { return g_error; }

DisplayBuffer* DisplayBufferOpen(PlatformWindow* window, uint32_t w, uint32_t h, uint32_t flags) {
  SetError(nullptr);
  const DisplayDriver* d = Driver();
  if (!w || !h) return nullptr;
  if (!d || !d->screen || !d->gdi) {
    SetError(kDisplayErrorNoStyle);
    return nullptr;
  }
  Attempt a{};
  a.window = window;
  a.width = w;
  a.height = h;
  a.scale = flags & SCALE_BITS;
  a.change_mode = (flags & DISPLAY_CHANGE_MODE) != 0;
  const uint32_t requested = flags & DISPLAY_STYLE_MASK;
  DisplayShared* s = DisplaySharedState();

  bool made = false;
  if (requested > uint32_t(kDisplayStyleMax)) return Fail(&a, kDisplayErrorNoStyle);
  if (requested == 2) {
    a.holds_mode = DisplayModeAcquire(window, a.change_mode) != 0;
    if (!a.holds_mode) {
      DirectDrawAcquire(a.change_mode, window);
      a.holds_ddraw = s->ddraw != nullptr;
    }
    made = DibAttempt(&a, true);
    if (!made) return Fail(&a, nullptr);
  } else {
    DirectDrawAcquire(a.change_mode, window);
    a.holds_ddraw = s->ddraw != nullptr;
    if (!s->ddraw && requested) return Fail(&a, kDisplayErrorNoDirectDraw);
    if (!s->ddraw) {
      made = DibAttempt(&a, false);
    } else {
      for (uint32_t style = requested ? requested : 1; style <= uint32_t(kDisplayStyleMax) && !made; ++style) {
        if (style == 2) {
          made = DibAttempt(&a, false);
        } else {
          made = TryDirectDrawStyle(&a, style);
          if (made) a.style = style;
        }
        if (made) break;
        if (requested) return Fail(&a, g_error[0] ? nullptr : NothingWorkedText());
        SetError(nullptr);
      }
    }
    if (!made) return Fail(&a, NothingWorkedText());
  }

  DDClipper* clipper = nullptr;
  if (a.style != 2 && d->ddraw->CreateClipper(s->ddraw, &clipper) != DD_OK) clipper = nullptr;
  auto* b = static_cast<DisplayBuffer*>(CoreAllocate(sizeof(DisplayBuffer)));
  if (!b) {
    if (clipper) d->ddraw->ClipperRelease(clipper);
    return Fail(&a, kDisplayErrorMemory);
  }
  memset(b, 0, sizeof *b);
  b->width = w;
  b->height = h;
  b->surface_word = a.surface_word;
  b->style = a.style;
  b->caps = a.caps;
  b->dd_surface = a.surface;
  b->clipper = clipper;
  b->window = window;
  b->has_overlay = a.has_overlay;
  b->has_off_screen = a.has_off_screen;
  b->software_cursor = a.software_cursor;
  b->clamp_to_screen = a.clamp_to_screen;
  b->holds_ddraw = a.holds_ddraw;
  b->holds_mode = a.holds_mode;
  b->dib = a.dib;
  b->dib_bits = a.dib_bits;
  b->dib_pitch = a.dib_pitch;
  b->dib_info = a.dib_info;
  b->memory_dc = a.memory_dc;
  b->old_bitmap = a.old_bitmap;
  b->screen_width = s->screen_width;
  b->screen_height = s->screen_height;
  b->screen_bits = s->screen_bits;

  DisplayRect wr{}, cr{};
  DisplayPoint origin{0, 0};
  d->screen->GetWindowRect(window, &wr);
  d->screen->ClientToScreen(window, &origin);
  d->screen->GetClientRect(window, &cr);
  b->client_x = origin.x - wr.left;
  b->client_y = origin.y - wr.top;
  b->extra_width = (wr.right - wr.left) - (cr.right - cr.left);
  b->extra_height = (wr.bottom - wr.top) - (cr.bottom - cr.top);
  b->window_width = uint32_t(b->extra_width + int32_t(w));
  b->window_height = uint32_t(b->extra_height + int32_t(h));

  DisplayBufferSetOffset(0, b, 0);
  DisplayBufferSetScale(w, b, h);
  if (clipper) d->ddraw->ClipperSetHWnd(clipper, window);
  return b;
}

void DisplayBufferClose(DisplayBuffer* b) {
  if (!b || !b->width) return;
  const DisplayDriver* d = Driver();
  Attempt a{};
  a.has_overlay = b->has_overlay;
  a.has_off_screen = b->has_off_screen;
  a.surface = b->dd_surface;
  a.dib = b->dib;
  a.memory_dc = b->memory_dc;
  a.old_bitmap = b->old_bitmap;
  a.dib_info = b->dib_info;
  a.holds_ddraw = b->holds_ddraw;
  a.holds_mode = b->holds_mode;
  if (b->clipper) d->ddraw->ClipperRelease(b->clipper);
  Undo(&a);
  memset(b, 0, sizeof *b);
  CoreFree(b);
}
