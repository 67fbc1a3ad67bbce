// The headless DirectDraw: surfaces in memory, the primary is the screen,
// blits and overlays composed into it (see display/ddraw_services.h).
#include <algorithm>
#include <cstring>

#include "platform/headless/headless_display_internal.h"

namespace {

HeadlessState& S() { return Headless(); }

uint32_t FourCCBit(uint32_t fourcc) {
  if (fourcc == FOURCC_YV12) return kHeadlessYV12;
  if (fourcc == FOURCC_YUY2) return kHeadlessYUY2;
  if (fourcc == FOURCC_UYVY) return kHeadlessUYVY;
  return 0;
}

DDResult DirectDrawCreate(DDObject** out) {
  *out = nullptr;
  if (!S().config.ddraw) return DDERR_NODIRECTDRAWHW;
  if (S().config.ddraw_create_fails) return DDERR_GENERIC;
  *out = new DDObject{};
  S().ddraw_created++;
  S().ddraw_open++;
  return DD_OK;
}

void Release(DDObject* dd) {
  if (!dd) return;
  HeadlessState& s = S();
  if (dd->mode_set && (s.width != s.start_width || s.height != s.start_height || s.bits != s.start_bits))
    ResizeScreen(s.start_width, s.start_height, s.start_bits);
  s.ddraw_open--;
  delete dd;
}

DDResult SetCooperativeLevel(DDObject* dd, PlatformWindow*, uint32_t flags) {
  dd->exclusive = (flags & (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)) == (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
  return DD_OK;
}

DDResult EnumDisplayModes(DDObject*, DDEnumModesCallback callback, void* context) {
  HeadlessState& s = S();
  DDDisplayMode start{s.start_width, s.start_height, s.start_bits};
  if (!callback(&start, context)) return DD_OK;
  for (const HeadlessDisplayMode& m : s.config.modes) {
    DDDisplayMode mode{m.width, m.height, m.bits_per_pixel};
    if (!callback(&mode, context)) break;
  }
  return DD_OK;
}

DDResult SetDisplayMode(DDObject* dd, uint32_t width, uint32_t height, uint32_t bits) {
  if (!dd->exclusive) return DDERR_GENERIC;
  if (!ModeOffered(width, height, bits)) return DDERR_INVALIDMODE;
  ResizeScreen(width, height, bits);
  dd->mode_set = true;
  S().set_display_mode_calls++;
  return DD_OK;
}

DDResult RestoreDisplayMode(DDObject* dd) {
  HeadlessState& s = S();
  ResizeScreen(s.start_width, s.start_height, s.start_bits);
  dd->mode_set = false;
  return DD_OK;
}

DDResult CreateSurface(DDObject*, const DDSurfaceDesc* desc, DDSurface** out) {
  HeadlessState& s = S();
  *out = nullptr;
  auto* f = new DDSurface{};
  f->caps = desc->caps;
  if (desc->caps & DDSCAPS_PRIMARYSURFACE) {
    f->primary = true;
  } else {
    if (!desc->width || !desc->height || desc->width > 8192 || desc->height > 8192) {
      delete f;
      return DDERR_INVALIDPARAMS;
    }
    f->width = desc->width;
    f->height = desc->height;
    if (desc->format.flags & DDPF_FOURCC) {
      uint32_t bit = FourCCBit(desc->format.fourcc);
      uint32_t allowed = (desc->caps & DDSCAPS_OVERLAY) ? s.config.overlay_fourccs : s.config.offscreen_fourccs;
      if (!(bit & allowed)) {
        delete f;
        return DDERR_UNSUPPORTED;
      }
      f->format = desc->format;
      bool planar = desc->format.fourcc == FOURCC_YV12;
      f->format.rgb_bit_count = planar ? 8 : 16;
      f->pitch = int32_t(planar ? (f->width + 7) & ~7u : (f->width * 2 + 7) & ~7u);
      size_t bytes = size_t(f->pitch) * f->height;
      if (planar) bytes += size_t(f->pitch / 2) * (f->height / 2) * 2;
      f->bytes.assign(bytes, 0);
    } else {
      if ((desc->caps & DDSCAPS_OVERLAY) || !s.config.offscreen_rgb) {
        delete f;
        return DDERR_UNSUPPORTED;
      }
      f->format = s.format;
      f->pitch = int32_t((f->width * (s.bits / 8) + 7) & ~7u);
      f->bytes.assign(size_t(f->pitch) * f->height, 0);
    }
  }
  s.surfaces.push_back(f);
  *out = f;
  return DD_OK;
}

DDResult GetCaps(DDObject*, DDCaps* driver) {
  driver->fx_caps = S().config.fx_caps;
  return DD_OK;
}

DDResult CreateClipper(DDObject*, DDClipper** out) {
  *out = new DDClipper{};
  return DD_OK;
}

void SurfaceRelease(DDSurface* f) {
  auto& fs = S().surfaces;
  auto it = std::find(fs.begin(), fs.end(), f);
  if (it != fs.end()) fs.erase(it);
  delete f;
}

DDResult GetPixelFormat(DDSurface* f, DDPixelFormat* out) {
  *out = f->primary ? S().format : f->format;
  return DD_OK;
}

DDResult Lock(DDSurface* f, DDLockedSurface* out, uint32_t) {
  HeadlessState& s = S();
  *out = DDLockedSurface{};
  if (f->lost) return DDERR_SURFACELOST;
  if (f->primary && s.config.primary_cant_lock) return DDERR_CANTLOCKSURFACE;
  if (f->locked) return DDERR_GENERIC;
  f->locked = true;
  if (f->primary) {
    *out = DDLockedSurface{s.pixels.data(), s.pitch, s.width, s.height, s.format};
  } else {
    *out = DDLockedSurface{f->bytes.data(), f->pitch, f->width, f->height, f->format};
  }
  return DD_OK;
}

DDResult Unlock(DDSurface* f, void*) {
  if (!f->locked) return DDERR_NOTLOCKED;
  f->locked = false;
  return DD_OK;
}

DDResult Restore(DDSurface* f) {
  if (S().config.restore_fails) return DDERR_GENERIC;
  f->lost = false;
  // What a restored surface holds is undefined: make that visible.
  if (!f->primary) std::fill(f->bytes.begin(), f->bytes.end(), uint8_t(0x5A));
  return DD_OK;
}

uint32_t ReadSurface(const void* source, uint32_t x, uint32_t y) {
  const auto* f = static_cast<const DDSurface*>(source);
  return SurfaceRgbAt(*f, f->bytes.data(), x, y);
}

// The clip rectangle of a blit onto the primary: the clipper's window's
// client area, if any.
bool ClipOf(const DDSurface* dst, DisplayRect* clip) {
  if (!dst->clipper || !dst->clipper->window) return false;
  *clip = ClientOnScreen(dst->clipper->window);
  return true;
}

DDResult Blt(DDSurface* dst, const DisplayRect* dst_rect, DDSurface* src, const DisplayRect* src_rect,
             uint32_t flags, uint32_t fill_colour) {
  HeadlessState& s = S();
  if (dst->lost || (src && src->lost)) return DDERR_SURFACELOST;
  if (!dst->primary) return DDERR_UNSUPPORTED;  // the display blits only onto the screen
  DisplayRect d = dst_rect ? *dst_rect : DisplayRect{0, 0, int32_t(s.width), int32_t(s.height)};
  DisplayRect clip{};
  bool clipped = ClipOf(dst, &clip);
  if (flags & DDBLT_COLORFILL) {
    int32_t left = std::max(d.left, 0), top = std::max(d.top, 0);
    int32_t right = std::min(d.right, int32_t(s.width)), bottom = std::min(d.bottom, int32_t(s.height));
    if (clipped) {
      left = std::max(left, clip.left);
      top = std::max(top, clip.top);
      right = std::min(right, clip.right);
      bottom = std::min(bottom, clip.bottom);
    }
    uint32_t bytes = s.bits / 8;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x)
        WritePixel(s.pixels.data() + size_t(y) * uint32_t(s.pitch) + size_t(x) * bytes, bytes, fill_colour);
    return DD_OK;
  }
  if (!src || src->primary) return DDERR_UNSUPPORTED;
  DisplayRect r = src_rect ? *src_rect : DisplayRect{0, 0, int32_t(src->width), int32_t(src->height)};
  if (r.left < 0 || r.top < 0 || r.right > int32_t(src->width) || r.bottom > int32_t(src->height))
    return DDERR_INVALIDPARAMS;
  RawRows raw{src->bytes.data(), src->pitch};
  StretchToScreen(src, ReadSurface, r, d, clipped ? &clip : nullptr, SameFormat(src->format, s.format) ? &raw : nullptr);
  return DD_OK;
}

DDResult UpdateOverlay(DDSurface* overlay, const DisplayRect* src_rect, DDSurface*, const DisplayRect* dst_rect,
                       uint32_t flags, const DDColourKey* key) {
  if (!(overlay->caps & DDSCAPS_OVERLAY)) return DDERR_UNSUPPORTED;
  if (flags & DDOVER_HIDE) {
    overlay->shown = false;
    return DD_OK;
  }
  if (!(flags & DDOVER_SHOW) || !src_rect || !dst_rect) return DDERR_INVALIDPARAMS;
  const DisplayRect& r = *src_rect;
  if (r.left < 0 || r.top < 0 || r.right > int32_t(overlay->width) || r.bottom > int32_t(overlay->height) ||
      r.right <= r.left || r.bottom <= r.top || dst_rect->right <= dst_rect->left ||
      dst_rect->bottom <= dst_rect->top)
    return DDERR_INVALIDPARAMS;
  overlay->src = r;
  overlay->dst = *dst_rect;
  if ((flags & DDOVER_KEYDESTOVERRIDE) && key) {
    overlay->key_low = key->low;
    overlay->key_high = key->high;
  } else {
    overlay->key_low = 0;
    overlay->key_high = 0xFFFFFFFFu;  // no key: the overlay covers everything
  }
  overlay->shown = true;
  return DD_OK;
}

DDResult SetClipper(DDSurface* f, DDClipper* clipper) {
  f->clipper = clipper;
  return DD_OK;
}

DDResult ClipperSetHWnd(DDClipper* c, PlatformWindow* window) {
  c->window = window;
  return DD_OK;
}

void ClipperRelease(DDClipper* c) {
  for (DDSurface* f : S().surfaces)
    if (f->clipper == c) f->clipper = nullptr;
  delete c;
}

}  // namespace

const DirectDrawServices kHeadlessDirectDrawServices = {
    DirectDrawCreate, Release,        SetCooperativeLevel, EnumDisplayModes, SetDisplayMode,
    RestoreDisplayMode, CreateSurface, GetCaps,            CreateClipper,    SurfaceRelease,
    GetPixelFormat,   Lock,           Unlock,              Restore,          Blt,
    UpdateOverlay,    SetClipper,     ClipperSetHWnd,      ClipperRelease,
};
