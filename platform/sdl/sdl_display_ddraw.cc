// DirectDraw on SDL2: the object is the window's renderer, the primary
// surface the screen's pixels (of which the window shows its part), overlay
// and off-screen surfaces streaming textures (or system pixels), blits and
// colour-key fills items of the window's composition, display modes SDL's
// full-screen modes.
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

#include "display/ddraw_services.h"
#include "platform/sdl/sdl_display_services.h"

// Every object is on a list of its kind, so that a window that goes can
// take itself out of them: its surfaces go with it (SdlScreenDestroy), and
// the objects that named it must not reach for it afterwards.
struct DDObject {
  SdlWindow* window;       // from SetCooperativeLevel; null once the window went
  bool exclusive;
  bool mode_set;
  DDObject* next;
};

struct DDClipper {
  SdlWindow* window;
  DDClipper* next;
};

struct DDSurface {
  DDObject* dd;
  SdlSurface* surface;     // null once its window went (the surface is lost for good)
  DDClipper* clipper;
  bool overlay;
  DDSurface* next;
};

namespace {

DDObject* g_objects = nullptr;
DDClipper* g_clippers = nullptr;
DDSurface* g_dd_surfaces = nullptr;

template <typename T>
void Unlink(T** head, T* item) {
  for (T** at = head; *at; at = &(*at)->next)
    if (*at == item) {
      *at = item->next;
      return;
    }
}

constexpr uint32_t kFxCaps = DDFXCAPS_OVERLAYSHRINKX | DDFXCAPS_OVERLAYSHRINKXN | DDFXCAPS_OVERLAYSHRINKY |
                             DDFXCAPS_OVERLAYSHRINKYN | DDFXCAPS_OVERLAYSTRETCHX | DDFXCAPS_OVERLAYSTRETCHXN |
                             DDFXCAPS_OVERLAYSTRETCHY | DDFXCAPS_OVERLAYSTRETCHYN | DDFXCAPS_BLTSHRINKX |
                             DDFXCAPS_BLTSHRINKXN | DDFXCAPS_BLTSHRINKY | DDFXCAPS_BLTSHRINKYN |
                             DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHXN | DDFXCAPS_BLTSTRETCHY |
                             DDFXCAPS_BLTSTRETCHYN;

SdlScreen* ScreenOf(DDObject* dd) { return dd && dd->window ? SdlScreenGet(dd->window) : nullptr; }

// The window a blit onto the primary lands in: the clipper's, else the
// object's.
SdlWindow* TargetWindow(DDSurface* primary) {
  if (primary->clipper && primary->clipper->window) return primary->clipper->window;
  return primary->dd->window;
}

SdlBox BoxOf(const DisplayRect& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

int DisplayIndex(DDObject* dd) {
  int i = dd && dd->window ? SDL_GetWindowDisplayIndex(dd->window->window) : 0;
  return i < 0 ? 0 : i;
}

uint32_t BitsOf(uint32_t sdl_format) { return SDL_BYTESPERPIXEL(sdl_format) * 8; }

DDResult Create(DDObject** out) {
  *out = nullptr;
  if (!SdlVideoStart()) return DDERR_NODIRECTDRAWHW;
  if (SDL_GetNumRenderDrivers() <= 0) {
    SdlVideoStop();
    return DDERR_NODIRECTDRAWHW;
  }
  auto* dd = static_cast<DDObject*>(std::calloc(1, sizeof(DDObject)));
  if (!dd) {
    SdlVideoStop();
    return DDERR_OUTOFMEMORY;
  }
  dd->next = g_objects;
  g_objects = dd;
  *out = dd;
  return DD_OK;
}

DDResult RestoreMode(DDObject* dd) {
  if (dd && dd->mode_set && dd->window) {
    SdlWindowSetFullScreen(dd->window, false);
    dd->mode_set = false;
  }
  return DD_OK;
}

void Release(DDObject* dd) {
  if (!dd) return;
  RestoreMode(dd);
  Unlink(&g_objects, dd);
  std::free(dd);
  SdlVideoStop();
}

DDResult SetCooperativeLevel(DDObject* dd, PlatformWindow* window, uint32_t flags) {
  SdlWindow* w = SdlWindowOf(window);
  if (!dd || !w) return DDERR_INVALIDPARAMS;
  if (!SdlScreenGet(w)) return DDERR_GENERIC;
  dd->window = w;
  dd->exclusive = (flags & DDSCL_EXCLUSIVE) && (flags & DDSCL_FULLSCREEN);
  SdlSetShowingWindow(w);
  return DD_OK;
}

DDResult EnumDisplayModes(DDObject* dd, DDEnumModesCallback callback, void* context) {
  int display = DisplayIndex(dd);
  int n = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < n; ++i) {
    SDL_DisplayMode m{};
    if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
    DDDisplayMode mode{uint32_t(m.w), uint32_t(m.h), BitsOf(m.format)};
    if (!callback(&mode, context)) break;
  }
  return DD_OK;
}

DDResult SetDisplayMode(DDObject* dd, uint32_t width, uint32_t height, uint32_t bits) {
  if (!dd || !dd->window || !dd->exclusive) return DDERR_INVALIDPARAMS;
  int display = DisplayIndex(dd);
  int n = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < n; ++i) {
    SDL_DisplayMode m{};
    if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
    if (uint32_t(m.w) != width || uint32_t(m.h) != height || BitsOf(m.format) != bits) continue;
    if (SDL_SetWindowDisplayMode(dd->window->window, &m) != 0) return DDERR_INVALIDMODE;
    if (!SdlWindowSetFullScreen(dd->window, true)) return DDERR_INVALIDMODE;
    dd->mode_set = true;
    return DD_OK;
  }
  return DDERR_INVALIDMODE;
}

DDResult CreateSurface(DDObject* dd, const DDSurfaceDesc* desc, DDSurface** out) {
  *out = nullptr;
  SdlScreen* screen = ScreenOf(dd);
  if (!screen || !desc) return DDERR_INVALIDPARAMS;
  SdlSurface* s = nullptr;
  bool overlay = (desc->caps & DDSCAPS_OVERLAY) != 0;
  if (desc->caps & DDSCAPS_PRIMARYSURFACE) {
    s = SdlSurfacePrimary(screen);
  } else {
    uint32_t format = SDL_FORMAT_SCREEN;
    if (desc->format.flags & DDPF_FOURCC) {
      if (desc->format.fourcc == FOURCC_YV12)
        format = SDL_FORMAT_YV12;
      else if (desc->format.fourcc == FOURCC_YUY2)
        format = SDL_FORMAT_YUY2;
      else if (desc->format.fourcc == FOURCC_UYVY)
        format = SDL_FORMAT_UYVY;
      else
        return DDERR_UNSUPPORTED;
    } else if (desc->format.flags != 0 || overlay) {
      return DDERR_UNSUPPORTED;  // overlays are YUV; RGB surfaces take the screen's format
    }
    uint32_t memory = (desc->caps & DDSCAPS_SYSTEMMEMORY) ? SDL_MEMORY_SYSTEM : SDL_MEMORY_TEXTURE;
    if (memory == SDL_MEMORY_SYSTEM && format != SDL_FORMAT_SCREEN) return DDERR_UNSUPPORTED;
    s = SdlSurfaceCreate(screen, format, memory, desc->width, desc->height);
  }
  if (!s) return DDERR_OUTOFVIDEOMEMORY;
  auto* d = static_cast<DDSurface*>(std::calloc(1, sizeof(DDSurface)));
  if (!d) {
    if (!s->primary) SdlSurfaceDestroy(s);
    return DDERR_OUTOFMEMORY;
  }
  d->dd = dd;
  d->surface = s;
  d->overlay = overlay;
  d->next = g_dd_surfaces;
  g_dd_surfaces = d;
  *out = d;
  return DD_OK;
}

DDResult GetCaps(DDObject* dd, DDCaps* caps) {
  // Both of SDL's kinds of renderer scale freely: the GPU by sampling, the
  // software renderer by its nearest-pixel stretch.
  caps->fx_caps = kFxCaps;
  return DD_OK;
}

DDResult CreateClipper(DDObject* dd, DDClipper** out) {
  *out = static_cast<DDClipper*>(std::calloc(1, sizeof(DDClipper)));
  if (!*out) return DDERR_OUTOFMEMORY;
  (*out)->next = g_clippers;
  g_clippers = *out;
  return DD_OK;
}

void SurfaceRelease(DDSurface* d) {
  if (!d) return;
  Unlink(&g_dd_surfaces, d);
  if (!d->surface) {  // went with its window
    std::free(d);
    return;
  }
  SdlScreen* screen = d->surface->screen;
  if (screen->overlay == d->surface) {
    SdlScreenOverlay(screen, nullptr, {}, {}, false);
    SdlScreenFlush(screen);
  }
  // The primary stays with the window (other objects may show it); its
  // pixels go with the window.
  if (!d->surface->primary) SdlSurfaceDestroy(d->surface);
  std::free(d);
}

DDResult GetPixelFormat(DDSurface* d, DDPixelFormat* f) {
  std::memset(f, 0, sizeof *f);
  if (!d->surface) return DDERR_SURFACELOST;
  uint32_t sf = d->surface->sdl_format;
  switch (sf) {
    case SDL_PIXELFORMAT_YV12: *f = {DDPF_FOURCC, FOURCC_YV12, 12, 0, 0, 0, 0}; return DD_OK;
    case SDL_PIXELFORMAT_YUY2: *f = {DDPF_FOURCC, FOURCC_YUY2, 16, 0, 0, 0, 0}; return DD_OK;
    case SDL_PIXELFORMAT_UYVY: *f = {DDPF_FOURCC, FOURCC_UYVY, 16, 0, 0, 0, 0}; return DD_OK;
    default: break;
  }
  int bpp = 0;
  uint32_t r = 0, g = 0, b = 0, a = 0;
  if (!SDL_PixelFormatEnumToMasks(sf, &bpp, &r, &g, &b, &a)) return DDERR_GENERIC;
  f->flags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0);
  f->rgb_bit_count = BitsOf(sf);
  f->red_mask = r;
  f->green_mask = g;
  f->blue_mask = b;
  f->alpha_mask = a;
  return DD_OK;
}

DDResult Lock(DDSurface* d, DDLockedSurface* out, uint32_t flags) {
  std::memset(out, 0, sizeof *out);
  if (!d->surface) return DDERR_SURFACELOST;
  uint8_t* bits = nullptr;
  int32_t pitch = 0;
  switch (SdlSurfaceLock(d->surface, &bits, &pitch)) {
    case SDL_LOCK_OK: break;
    case SDL_SURFACE_LOST: return DDERR_SURFACELOST;
    default: return DDERR_CANTLOCKSURFACE;
  }
  out->bits = bits;
  out->pitch = pitch;
  out->width = d->surface->width;
  out->height = d->surface->height;
  GetPixelFormat(d, &out->format);
  return DD_OK;
}

DDResult Unlock(DDSurface* d, void* bits) {
  if (!d->surface || !d->surface->locked) return DDERR_NOTLOCKED;
  SdlSurfaceUnlock(d->surface);
  // Writes to the screen's pixels show at once.
  if (d->surface->primary) SdlScreenFlush(d->surface->screen);
  return DD_OK;
}

DDResult Restore(DDSurface* d) { return d->surface && SdlSurfaceRestore(d->surface) ? DD_OK : DDERR_SURFACELOST; }

// Fills a rectangle of a surface's own pixels (not the primary).
DDResult FillPixels(DDSurface* d, const DisplayRect* rect, uint32_t colour) {
  SdlSurface* s = d->surface;
  if (SDL_ISPIXELFORMAT_FOURCC(s->sdl_format)) return DDERR_UNSUPPORTED;
  DisplayRect r = rect ? *rect : DisplayRect{0, 0, int32_t(s->width), int32_t(s->height)};
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > int32_t(s->width)) r.right = int32_t(s->width);
  if (r.bottom > int32_t(s->height)) r.bottom = int32_t(s->height);
  uint8_t* bits = nullptr;
  int32_t pitch = 0;
  int32_t lock = SdlSurfaceLock(s, &bits, &pitch);
  if (lock == SDL_SURFACE_LOST) return DDERR_SURFACELOST;
  if (lock != SDL_LOCK_OK) return DDERR_CANTLOCKSURFACE;
  uint32_t bpp = SDL_BYTESPERPIXEL(s->sdl_format);
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) std::memcpy(bits + size_t(y) * pitch + size_t(x) * bpp, &colour, bpp);
  SdlSurfaceUnlock(s);
  return DD_OK;
}

bool ScreenBack(DDSurface* primary) {
  return !SdlSurfaceIsLost(primary->surface) || SdlSurfaceRestore(primary->surface);
}

DDResult Blt(DDSurface* dst, const DisplayRect* dst_rect, DDSurface* src, const DisplayRect* src_rect,
             uint32_t flags, uint32_t fill_colour) {
  if (!dst) return DDERR_INVALIDPARAMS;
  if (!dst->surface || (src && !src->surface)) return DDERR_SURFACELOST;
  if (!dst->surface->primary) {
    if (flags & DDBLT_COLORFILL) return FillPixels(dst, dst_rect, fill_colour);
    return DDERR_UNSUPPORTED;  // the display buffer only blits onto the screen
  }
  // The screen comes back by itself (its pixels are ours; only the texture
  // that shows them went); a blit onto it needs no Restore of its caller.
  if (!ScreenBack(dst)) return DDERR_SURFACELOST;
  SdlWindow* window = TargetWindow(dst);
  SdlScreen* screen = window ? SdlScreenGet(window) : nullptr;
  if (!screen) return DDERR_GENERIC;
  // Screen coordinates to the window's: the renderer clips to the client area.
  SdlRect client = SdlWindowGetClient(window);
  int32_t sw, sh;
  SdlScreenSize(screen, &sw, &sh);
  SdlBox to = dst_rect ? BoxOf(*dst_rect) : SdlBox{0, 0, sw, sh};
  to.x -= client.x;
  to.y -= client.y;
  if (to.w <= 0 || to.h <= 0) return DD_OK;
  bool presented_later = dst->clipper != nullptr;  // presented when the clipper is taken off
  if (flags & DDBLT_COLORFILL) {
    SdlScreenFill(screen, to, SdlPixelToRgb(dst->surface->sdl_format, fill_colour));
  } else {
    if (!src) return DDERR_INVALIDPARAMS;
    if (SdlSurfaceIsLost(src->surface)) return DDERR_SURFACELOST;
    SdlBox from = src_rect ? BoxOf(*src_rect)
                           : SdlBox{0, 0, int32_t(src->surface->width), int32_t(src->surface->height)};
    if (!SdlScreenCopy(screen, src->surface, from, to)) return DDERR_GENERIC;
  }
  if (!presented_later) SdlScreenFlush(screen);
  return DD_OK;
}

DDResult UpdateOverlay(DDSurface* overlay, const DisplayRect* src_rect, DDSurface* dst, const DisplayRect* dst_rect,
                       uint32_t flags, const DDColourKey* key) {
  if (!overlay || !dst) return DDERR_INVALIDPARAMS;
  if (!overlay->surface || !dst->surface) return DDERR_SURFACELOST;
  if (!dst->surface->primary) return DDERR_INVALIDPARAMS;
  if (SdlSurfaceIsLost(overlay->surface) || !ScreenBack(dst)) return DDERR_SURFACELOST;
  SdlWindow* window = TargetWindow(dst);
  SdlScreen* screen = window ? SdlScreenGet(window) : nullptr;
  if (!screen) return DDERR_GENERIC;
  bool was_shown = screen->overlay_shown && screen->overlay == overlay->surface;
  SdlBox was_src = screen->overlay_src, was_dst = screen->overlay_dst;
  uint32_t was_key = screen->colour_key;
  if (flags & DDOVER_HIDE) {
    SdlScreenOverlay(screen, overlay->surface, {}, {}, false);
  } else if (flags & DDOVER_SHOW) {
    if (!src_rect || !dst_rect) return DDERR_INVALIDPARAMS;
    if ((flags & DDOVER_KEYDESTOVERRIDE) && key)
      screen->colour_key = SdlPixelToRgb(dst->surface->sdl_format, key->low);
    SdlRect client = SdlWindowGetClient(window);
    SdlBox to = BoxOf(*dst_rect);
    to.x -= client.x;
    to.y -= client.y;
    SdlScreenOverlay(screen, overlay->surface, BoxOf(*src_rect), to, true);
  }
  // A move, a resize or a hide shows at once; the same placement again
  // (every unlock) waits for the blit that follows it.
  bool same = was_shown == screen->overlay_shown && was_key == screen->colour_key &&
              std::memcmp(&was_src, &screen->overlay_src, sizeof was_src) == 0 &&
              std::memcmp(&was_dst, &screen->overlay_dst, sizeof was_dst) == 0;
  if (!same) SdlScreenFlush(screen);
  return DD_OK;
}

DDResult SetClipper(DDSurface* d, DDClipper* clipper) {
  DDClipper* old = d->clipper;
  d->clipper = clipper;
  // The end of a run of blits through the clipper: show them.
  if (!clipper && old && old->window && old->window->screen) SdlScreenFlush(old->window->screen);
  return DD_OK;
}

DDResult ClipperSetHWnd(DDClipper* clipper, PlatformWindow* window) {
  clipper->window = SdlWindowOf(window);
  return DD_OK;
}

void ClipperRelease(DDClipper* clipper) {
  if (!clipper) return;
  Unlink(&g_clippers, clipper);
  std::free(clipper);
}

}  // namespace

void SdlDirectDrawForgetWindow(SdlWindow* window) {
  for (DDObject* dd = g_objects; dd; dd = dd->next)
    if (dd->window == window) {
      RestoreMode(dd);
      dd->window = nullptr;
    }
  for (DDClipper* c = g_clippers; c; c = c->next)
    if (c->window == window) c->window = nullptr;
  SdlScreen* screen = window->screen;
  if (!screen) return;
  for (DDSurface* d = g_dd_surfaces; d; d = d->next)
    if (d->surface && d->surface->screen == screen) d->surface = nullptr;
}

const DirectDrawServices kSdlDirectDrawServices = {
    Create,       Release, SetCooperativeLevel, EnumDisplayModes, SetDisplayMode, RestoreMode, CreateSurface,
    GetCaps,      CreateClipper, SurfaceRelease, GetPixelFormat, Lock, Unlock, Restore, Blt, UpdateOverlay,
    SetClipper,   ClipperSetHWnd, ClipperRelease,
};
