// A display buffer's per-frame work: lock and unlock with the lost-surface
// and cursor handling, blits by style, scaling, placement and the overlay.
#include "display/display_buffer.h"

#include <cstddef>
#include <cstring>

#include "display/copy_flags.h"
#include "display/display_shared.h"

namespace {

const DisplayDriver* Driver() { return DisplayGetDriver(); }

constexpr const char* kStyleNames[] = {
    nullptr,
    "DirectDraw primary surface",
    "DIB Section",
    "DirectDraw YV12 overlay",
    "DirectDraw YUY2 overlay",
    "DirectDraw UYVY overlay",
    "DirectDraw YV12 off-screen surface",
    "DirectDraw YUY2 off-screen surface",
    "DirectDraw UYVY off-screen surface",
    "DirectDraw RGB off-screen video surface",
    "DirectDraw RGB off-screen system surface",
};

bool IsDib(const DisplayBuffer* b) { return b->style == 2; }

void ShowCursorAgain(DisplayBuffer* b) {
  for (; b->cursor_hidden > 0; --b->cursor_hidden) Driver()->screen->ShowCursor(1);
  b->cursor_hidden = 0;
}

// Scaling class of a destination size against the picture size.
uint32_t ScaleClass(uint32_t dest, uint32_t size, uint32_t shift) {
  uint32_t c = 0;
  if (dest == size) c = 0;
  else if (dest % size == 0) c = 0x80000000u;
  else if (size % dest == 0) c = 0x20000000u;
  else if (dest > size) c = 0x40000000u;
  else c = 0x10000000u;
  return c >> shift;
}

int32_t Scaled(int32_t v, uint32_t dest, uint32_t size) {
  return int32_t(uint64_t(uint32_t(v)) * dest / size);
}

// Clamps a rectangle to the picture; false when nothing is left.
bool ClampToPicture(const DisplayBuffer* b, DisplayBlitRect* r) {
  int64_t l = r->x < 0 ? 0 : r->x, t = r->y < 0 ? 0 : r->y;
  int64_t rt = int64_t(r->x) + r->width, bt = int64_t(r->y) + r->height;
  if (rt > int64_t(b->width)) rt = b->width;
  if (bt > int64_t(b->height)) bt = b->height;
  if (rt <= l || bt <= t) return false;
  *r = DisplayBlitRect{int32_t(l), int32_t(t), int32_t(rt - l), int32_t(bt - t)};
  return true;
}

}  // namespace

int DisplayBufferLock(DisplayBuffer* b) {
  if (!b) return 0;
  if (IsDib(b)) {
    b->surface = b->dib_bits;
    b->pitch = b->dib_pitch;
    return 1;
  }
  if (b->minimised) return 0;
  const DirectDrawServices* dd = Driver()->ddraw;
  if (b->software_cursor)
    b->cursor_hidden = HideCursorOver(nullptr, b->screen_x, b->screen_y, int32_t(b->width), int32_t(b->height));
  DDLockedSurface lock{};
  DDResult r = dd->Lock(b->dd_surface, &lock, DDLOCK_WAIT);
  if (r != DD_OK) {
    b->surface_word |= SURFACE_COPY_ALL;
    if (r == DDERR_SURFACELOST && dd->Restore(b->dd_surface) == DD_OK)
      r = dd->Lock(b->dd_surface, &lock, DDLOCK_WAIT);
  }
  uint8_t* at = lock.bits;
  if (r == DD_OK && b->style == 1) {
    // The picture's place on the screen; it must lie wholly inside the
    // surface, or the copy would write past it.
    const uint32_t bpp = lock.format.rgb_bit_count / 8;
    if (b->screen_x < 0 || b->screen_y < 0 || uint64_t(b->screen_x) + b->width > lock.width ||
        uint64_t(b->screen_y) + b->height > lock.height) {
      dd->Unlock(b->dd_surface, lock.bits);
      b->surface_word |= SURFACE_COPY_ALL;
      r = DDERR_GENERIC;
    } else {
      at += size_t(uint32_t(b->screen_x)) * bpp + size_t(uint32_t(b->screen_y)) * uint32_t(lock.pitch);
    }
  }
  if (r != DD_OK) {
    ShowCursorAgain(b);
    return 0;
  }
  b->locked_bits = lock.bits;
  b->surface = at;
  b->pitch = lock.pitch;
  return 1;
}

int DisplayBufferUnlock(DisplayBuffer* b) {
  if (!b) return 1;
  if (!IsDib(b)) {
    if (!b->locked_bits) return 1;  // no lock is held
    Driver()->ddraw->Unlock(b->dd_surface, b->locked_bits);
    b->locked_bits = nullptr;
    ShowCursorAgain(b);
    b->surface = nullptr;
    b->pitch = 0;
    OverlayPlacement(b, 2);
  } else {
    b->surface = nullptr;
    b->pitch = 0;
  }
  b->surface_word &= ~SURFACE_COPY_ALL;
  return 1;
}

void DisplayBufferBlit(DisplayBuffer* b, const DisplayBlitRect* rects, uint32_t count) {
  if (!b || !count || b->style == 1) return;
  const DisplayDriver* d = Driver();
  const DisplayBlitRect whole{0, 0, int32_t(b->width), int32_t(b->height)};
  if (!rects) count = 1;
  if (IsDib(b)) {
    PlatformDC* dc = d->gdi->GetDC(b->window);
    if (!dc) return;
    d->gdi->SetStretchBltMode(dc, COLORONCOLOR);
    for (uint32_t i = 0; i < count; ++i) {
      DisplayBlitRect r = rects ? rects[i] : whole;
      if (!ClampToPicture(b, &r)) continue;
      d->gdi->StretchBlt(dc, b->offset_x + Scaled(r.x, b->dest_width, b->width),
                         b->offset_y + Scaled(r.y, b->dest_height, b->height),
                         Scaled(r.width, b->dest_width, b->width), Scaled(r.height, b->dest_height, b->height),
                         b->memory_dc, r.x, r.y, r.width, r.height, SRCCOPY);
    }
    d->gdi->ReleaseDC(b->window, dc);
    return;
  }
  DisplayShared* s = DisplaySharedState();
  const DirectDrawServices* dd = d->ddraw;
  dd->SetClipper(s->primary, b->clipper);
  for (uint32_t i = 0; i < count; ++i) {
    DisplayBlitRect r = rects ? rects[i] : whole;
    if (!ClampToPicture(b, &r)) continue;
    const bool all = !rects;
    if (b->has_overlay) {
      // The overlay shows through where the primary holds the key colour.
      DisplayRect fill{b->screen_x + r.x, b->screen_y + r.y, 0, 0};
      fill.right = fill.left + (all ? int32_t(b->dest_width) : r.width);
      fill.bottom = fill.top + (all ? int32_t(b->dest_height) : r.height);
      dd->Blt(s->primary, &fill, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, s->colour_key);
    } else {
      DisplayRect src{r.x, r.y, r.x + r.width, r.y + r.height};
      DisplayRect dst{b->screen_x + Scaled(r.x, b->dest_width, b->width),
                      b->screen_y + Scaled(r.y, b->dest_height, b->height), 0, 0};
      dst.right = dst.left + Scaled(r.width, b->dest_width, b->width);
      dst.bottom = dst.top + Scaled(r.height, b->dest_height, b->height);
      dd->Blt(s->primary, &dst, b->dd_surface, &src, DDBLT_WAIT, 0);
    }
  }
  dd->SetClipper(s->primary, nullptr);
}

int DisplayBufferSetScale(uint32_t width, DisplayBuffer* b, uint32_t height) {
  if (!b) return 0;
  if (!width) width = b->screen_width;
  if (!height) height = b->screen_height;
  int ok = 1;
  if (width && (ScaleClass(width, b->width, 0) & ~b->caps) == 0) b->dest_width = width;
  else ok = 0;
  if (height && (ScaleClass(height, b->height, 4) & ~b->caps) == 0) b->dest_height = height;
  else ok = 0;
  b->window_width = uint32_t(b->extra_width + int32_t(b->dest_width));
  b->window_height = uint32_t(b->extra_height + int32_t(b->dest_height));
  return ok;
}

int DisplayBufferSetOffset(int32_t x, DisplayBuffer* b, int32_t y) {
  if (!b) return 0;
  const ScreenServices* s = Driver()->screen;
  b->minimised = s->IsIconic(b->window) ? 1 : 0;
  if (b->minimised) return 1;
  DisplayPoint origin{0, 0};
  s->ClientToScreen(b->window, &origin);
  b->screen_x = origin.x + x;
  b->screen_y = origin.y + y;
  b->offset_x = x;
  b->offset_y = y;
  b->surface_word |= SURFACE_COPY_ALL;
  OverlayPlacement(b, 0);
  return 1;
}

void DisplayBufferCheckPosition(int32_t* x, DisplayBuffer* b, int32_t* y) {
  if (!b || !x || !y) return;
  const uint32_t bpp = b->screen_bits / 8;
  const int64_t align = bpp == 4 ? 2 : bpp == 3 ? 8 : 4;
  int64_t sx = int64_t(b->client_x) + *x;
  const int64_t sw = b->screen_width, w = b->width;
  if (b->clamp_to_screen) {
    if (sx + w > sw) sx = sw - w;
    if (sx < 0) sx = 0;
  }
  int64_t up = sx >= 0 ? (sx + align - 1) / align * align : -((-sx) / align * align);
  // Rounding up must not push a clamped picture off the screen's right edge.
  if (b->clamp_to_screen && up + w > sw && up - align >= 0) up -= align;
  *x = int32_t(up - b->client_x);
  int64_t sy = int64_t(b->client_y) + *y;
  if (b->clamp_to_screen) {
    if (sy + int64_t(b->height) > int64_t(b->screen_height)) sy = int64_t(b->screen_height) - b->height;
    if (sy < 0) sy = 0;
  }
  *y = int32_t(sy - b->client_y);
}

int DisplayBufferClear(DisplayBuffer* b) {
  if (!DisplayBufferLock(b)) return 0;
  FillSurfaceBlack(b->surface_word, b->surface, b->pitch, b->width, b->height);
  DisplayBufferUnlock(b);
  return 1;
}

const char* DisplayBufferStyleName(DisplayBuffer* b) {
  static char name[64];
  if (!b || b->style < 1 || b->style > uint32_t(kDisplayStyleMax)) return nullptr;
  strncpy(name, kStyleNames[b->style], sizeof name - 1);
  return name;
}

void OverlayPlacement(DisplayBuffer* b, int how) {
  if (!b || !b->has_overlay) return;
  const DisplayDriver* d = Driver();
  DisplayShared* s = DisplaySharedState();
  DisplayRect src{0, 0, int32_t(b->width), int32_t(b->height)};
  DisplayRect dst{b->screen_x, b->screen_y, b->screen_x + int32_t(b->dest_width),
                  b->screen_y + int32_t(b->dest_height)};
  const bool visible = d->screen->IsWindowVisible(b->window) != 0;
  if (visible && b->dest_width && b->dest_height) {
    // Cut what lies off the screen from both rectangles, in each one's own
    // pixels.
    const int32_t sw = int32_t(s->screen_width), sh = int32_t(s->screen_height);
    if (dst.left < 0) {
      src.left += Scaled(-dst.left, b->width, b->dest_width);
      dst.left = 0;
    }
    if (dst.top < 0) {
      src.top += Scaled(-dst.top, b->height, b->dest_height);
      dst.top = 0;
    }
    if (dst.right > sw) {
      src.right -= Scaled(dst.right - sw, b->width, b->dest_width);
      dst.right = sw;
    }
    if (dst.bottom > sh) {
      src.bottom -= Scaled(dst.bottom - sh, b->height, b->dest_height);
      dst.bottom = sh;
    }
  }
  const bool non_empty =
      src.right > src.left && src.bottom > src.top && dst.right > dst.left && dst.bottom > dst.top;
  if (visible && b->dest_width && b->dest_height && non_empty) {
    if (how == 1) b->overlay_shown = 0;
    if (how == 2) b->overlay_shown = 1;
    DDColourKey key{s->colour_key, s->colour_key};
    uint32_t flags = DDOVER_KEYDESTOVERRIDE | (b->overlay_shown ? DDOVER_SHOW : DDOVER_HIDE);
    d->ddraw->UpdateOverlay(b->dd_surface, &src, s->primary, &dst, flags, &key);
  } else {
    d->ddraw->UpdateOverlay(b->dd_surface, nullptr, s->primary, nullptr, DDOVER_HIDE, nullptr);
  }
}
