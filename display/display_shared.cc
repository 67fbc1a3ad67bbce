// DirectDraw and display-mode sharing, capability translation, the colour
// key, and the cursor services.
#include "display/display_shared.h"

#include <cstddef>

namespace {

DisplayShared g_shared{};

const DisplayDriver* Driver() { return DisplayGetDriver(); }

// A newly registered driver is a new machine.
void ForgetOldMachine() {
  if (g_shared.driver_generation == DisplayDriverGeneration()) return;
  g_shared.driver_generation = DisplayDriverGeneration();
  g_shared.ddraw_unavailable = 0;
  g_shared.probe_valid = 0;
  g_shared.cursor_width = g_shared.cursor_height = 0;
}

// GDI planes x bits per pixel of the window's DC.
uint32_t MeasureDepth(PlatformWindow* window) {
  const DisplayDriver* d = Driver();
  PlatformDC* dc = d->gdi->GetDC(window);
  if (!dc) return 0;
  int32_t depth = d->gdi->GetDeviceCaps(dc, PLANES) * d->gdi->GetDeviceCaps(dc, BITSPIXEL);
  d->gdi->ReleaseDC(window, dc);
  return depth > 0 ? uint32_t(depth) : 0;
}

bool RequestComplete(const DisplayRequest& r) { return r.width && r.height && r.depth_code; }

// Reads the screen's size and depth after any mode change.
void ReadScreenFacts(PlatformWindow* window) {
  const DisplayDriver* d = Driver();
  g_shared.screen_width = uint32_t(d->screen->GetSystemMetrics(SM_CXSCREEN));
  g_shared.screen_height = uint32_t(d->screen->GetSystemMetrics(SM_CYSCREEN));
  g_shared.screen_bits = MeasureDepth(window);
}

struct FxRow {
  uint32_t fx;
  uint32_t bits;
};
constexpr FxRow kOverlayFx[] = {
    {DDFXCAPS_OVERLAYSTRETCHX, 0xC0000000u}, {DDFXCAPS_OVERLAYSTRETCHXN, 0x80000000u},
    {DDFXCAPS_OVERLAYSHRINKX, 0x30000000u},  {DDFXCAPS_OVERLAYSHRINKXN, 0x20000000u},
    {DDFXCAPS_OVERLAYSTRETCHY, 0x0C000000u}, {DDFXCAPS_OVERLAYSTRETCHYN, 0x08000000u},
    {DDFXCAPS_OVERLAYSHRINKY, 0x03000000u},  {DDFXCAPS_OVERLAYSHRINKYN, 0x02000000u},
};
constexpr FxRow kBlitFx[] = {
    {DDFXCAPS_BLTSTRETCHX, 0xC0000000u}, {DDFXCAPS_BLTSTRETCHXN, 0x80000000u},
    {DDFXCAPS_BLTSHRINKX, 0x30000000u},  {DDFXCAPS_BLTSHRINKXN, 0x20000000u},
    {DDFXCAPS_BLTSTRETCHY, 0x0C000000u}, {DDFXCAPS_BLTSTRETCHYN, 0x08000000u},
    {DDFXCAPS_BLTSHRINKY, 0x03000000u},  {DDFXCAPS_BLTSHRINKYN, 0x02000000u},
};

template <size_t N>
uint32_t Translate(const FxRow (&rows)[N], uint32_t fx) {
  uint32_t bits = 0;
  for (const FxRow& r : rows)
    if (fx & r.fx) bits |= r.bits;
  return bits;
}

// Locks a surface, restoring it once when it was lost.
DDResult LockRestoring(DDSurface* surface, DDLockedSurface* out) {
  const DirectDrawServices* dd = Driver()->ddraw;
  DDResult r = dd->Lock(surface, out, DDLOCK_WAIT);
  if (r == DDERR_SURFACELOST && dd->Restore(surface) == DD_OK) r = dd->Lock(surface, out, DDLOCK_WAIT);
  return r;
}

}  // namespace

DisplayShared* DisplaySharedState() { return &g_shared; }

void DisplaySetRequest(const DisplayRequest& request) { g_shared.request = request; }

uint32_t DepthCandidates(int32_t depth_code, uint32_t out[3]) {
  switch (depth_code) {
    case 8: case 16: case 24: case 32: out[0] = uint32_t(depth_code); return 1;
    case 1: out[0] = 16; out[1] = 32; out[2] = 24; return 3;
    case 2: out[0] = 32; out[1] = 24; out[2] = 16; return 3;
    case 3: out[0] = 32; out[1] = 24; return 2;
    default: return 0;
  }
}

uint32_t OverlayCapsFromFx(uint32_t fx_caps) { return Translate(kOverlayFx, fx_caps); }
uint32_t BlitCapsFromFx(uint32_t fx_caps) { return Translate(kBlitFx, fx_caps); }

uint32_t ColourKeyOf(const DDPixelFormat& format) {
  if (format.rgb_bit_count == 8) return 253;
  return (format.red_mask & (0u - format.red_mask)) | (format.blue_mask & (0u - format.blue_mask));
}

void DirectDrawAcquire(int change_mode, PlatformWindow* window) {
  if (g_shared.ddraw) {
    g_shared.ddraw_references++;
    return;
  }
  ForgetOldMachine();
  const DisplayDriver* d = Driver();
  if (!d || !d->ddraw) g_shared.ddraw_unavailable = 1;
  if (g_shared.ddraw_unavailable) return;
  const DirectDrawServices* dd = d->ddraw;

  DDObject* object = nullptr;
  if (dd->DirectDrawCreate(&object) != DD_OK || !object) return;
  bool changing = change_mode && RequestComplete(g_shared.request);
  uint32_t level = changing ? (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) : DDSCL_NORMAL;
  if (dd->SetCooperativeLevel(object, window, level) != DD_OK) {
    dd->Release(object);
    return;
  }
  if (changing) {
    uint32_t depths[3];
    uint32_t n = DepthCandidates(g_shared.request.depth_code, depths);
    for (uint32_t i = 0; i < n; ++i) {
      if (dd->SetDisplayMode(object, uint32_t(g_shared.request.width), uint32_t(g_shared.request.height),
                             depths[i]) != DD_OK)
        continue;
      if (MeasureDepth(window) == depths[i]) break;
    }
  }
  g_shared.request = DisplayRequest{};

  DDSurfaceDesc desc{};
  desc.caps = DDSCAPS_PRIMARYSURFACE;
  DDSurface* primary = nullptr;
  if (dd->CreateSurface(object, &desc, &primary) != DD_OK || !primary) {
    dd->Release(object);
    return;
  }
  DDCaps caps{};
  if (dd->GetCaps(object, &caps) != DD_OK) caps = DDCaps{};
  g_shared.overlay_caps = OverlayCapsFromFx(caps.fx_caps);
  g_shared.blit_caps = BlitCapsFromFx(caps.fx_caps);
  DDPixelFormat format{};
  dd->GetPixelFormat(primary, &format);
  g_shared.bytes_per_pixel = format.rgb_bit_count / 8;
  ReadScreenFacts(window);
  g_shared.colour_key = ColourKeyOf(format);
  g_shared.ddraw = object;
  g_shared.primary = primary;
  g_shared.ddraw_references = 1;
}

void DirectDrawRelease() {
  if (g_shared.ddraw_references <= 0) return;
  if (--g_shared.ddraw_references > 0) return;
  const DirectDrawServices* dd = Driver()->ddraw;
  if (g_shared.primary) dd->SurfaceRelease(g_shared.primary);
  if (g_shared.ddraw) dd->Release(g_shared.ddraw);
  g_shared.primary = nullptr;
  g_shared.ddraw = nullptr;
}

int DisplayModeAcquire(PlatformWindow* window, int change_mode) {
  if (g_shared.ddraw) return 0;
  const DisplayDriver* d = Driver();
  if (change_mode && RequestComplete(g_shared.request)) {
    const DisplayRequest r = g_shared.request;
    uint32_t depths[3];
    uint32_t n = DepthCandidates(r.depth_code, depths);
    bool matched = false;
    for (uint32_t i = 0; i < n && !matched; ++i) {
      DevMode mode{DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT, depths[i], uint32_t(r.width),
                   uint32_t(r.height)};
      if (d->screen->ChangeDisplaySettings(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) continue;
      g_shared.mode_changed = 1;
      if (MeasureDepth(window) == depths[i]) {
        matched = true;
      } else {
        d->screen->ChangeDisplaySettings(nullptr, 0);
        g_shared.mode_changed = 0;
      }
    }
    if (!matched) {
      DevMode mode{DM_PELSWIDTH | DM_PELSHEIGHT, 0, uint32_t(r.width), uint32_t(r.height)};
      if (d->screen->ChangeDisplaySettings(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL)
        g_shared.mode_changed = 1;
    }
    g_shared.request = DisplayRequest{};
  }
  ReadScreenFacts(window);
  g_shared.bytes_per_pixel = g_shared.screen_bits / 8;
  g_shared.mode_references++;
  return 1;
}

void DisplayModeRelease() {
  if (g_shared.mode_references <= 0) return;
  if (--g_shared.mode_references > 0) return;
  if (g_shared.mode_changed) Driver()->screen->ChangeDisplaySettings(nullptr, CDS_FULLSCREEN);
  g_shared.mode_changed = 0;
}

int HideCursorOver(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
  ForgetOldMachine();
  const ScreenServices* s = Driver()->screen;
  if (!g_shared.cursor_width) {
    g_shared.cursor_width = s->GetSystemMetrics(SM_CXCURSOR);
    g_shared.cursor_height = s->GetSystemMetrics(SM_CYCURSOR);
  }
  if (window) {
    DisplayPoint p{x, y};
    s->ClientToScreen(window, &p);
    x = p.x;
    y = p.y;
  }
  DisplayPoint c{};
  if (!s->GetCursorPos(&c)) return 0;
  int64_t cl = c.x, ct = c.y, cr = cl + g_shared.cursor_width, cb = ct + g_shared.cursor_height;
  int64_t l = x, t = y, r = l + width, b = t + height;
  if (cr <= l || cl >= r || cb <= t || ct >= b) return 0;
  // Until the display count is negative (bounded, should a count never fall).
  int hidden = 0;
  do {
    hidden++;
  } while (s->ShowCursor(0) >= 0 && hidden < 256);
  return hidden;
}

int ProbeSoftwareCursor(DDSurface* primary, PlatformCursor* cursor) {
  ForgetOldMachine();
  const DisplayDriver* d = Driver();
  const ScreenServices* s = d->screen;
  if (!primary || !d->ddraw || !s->GetSystemMetrics(SM_MOUSEPRESENT)) return 0;
  const DirectDrawServices* dd = d->ddraw;
  DDLockedSurface lock{};
  if (LockRestoring(primary, &lock) != DD_OK) return 0;
  dd->Unlock(primary, lock.bits);
  uint32_t bits = lock.format.rgb_bit_count;
  if (g_shared.probe_valid && g_shared.probe_cursor == cursor && g_shared.probe_pointer == lock.bits &&
      g_shared.probe_bits == bits)
    return g_shared.probe_result;

  DisplayPoint hot{};
  s->GetCursorPos(&hot);
  if (hot.x < 0 || hot.y < 0 || uint32_t(hot.x) >= lock.width || uint32_t(hot.y) >= lock.height || bits < 8)
    return 0;
  DisplayRect rect{hot.x - 16, hot.y - 16, hot.x + 16, hot.y + 16};
  PlatformWindow* probe = s->CreateProbeWindow(&rect, cursor);
  if (!probe) return 0;
  PlatformDC* screen_dc = d->gdi->GetDC(nullptr);

  s->ShowCursor(0);
  ColourRef first = d->gdi->GetPixel(screen_dc, hot.x, hot.y);
  PlatformCursor* previous = s->SetCursor(cursor);
  s->ShowCursor(1);

  // Write a byte that differs from what memory holds now, so that a write
  // which survives is always seen.
  int result = 0;
  uint8_t original = 0;
  uint8_t* at = nullptr;
  size_t offset = size_t(lock.pitch) * uint32_t(hot.y) + size_t(uint32_t(hot.x)) * bits / 8;
  if (LockRestoring(primary, &lock) == DD_OK) {
    at = lock.bits + offset;
    original = *at;
    *at = uint8_t(~original);
    dd->Unlock(primary, lock.bits);
  }
  s->ShowCursor(0);
  ColourRef second = d->gdi->GetPixel(screen_dc, hot.x, hot.y);
  if (at && second == first) {
    result = 1;  // the cursor's save-and-restore undid the write
  } else if (at && LockRestoring(primary, &lock) == DD_OK) {
    // The write reached the screen: a hardware cursor. Put the byte back.
    lock.bits[offset] = original;
    dd->Unlock(primary, lock.bits);
  }
  s->DestroyProbeWindow(probe);
  s->ShowCursor(1);
  s->SetCursor(previous);
  d->gdi->ReleaseDC(nullptr, screen_dc);
  g_shared.probe_valid = 1;
  g_shared.probe_result = result;
  g_shared.probe_cursor = cursor;
  g_shared.probe_pointer = lock.bits;
  g_shared.probe_bits = bits;
  return result;
}
