#include "platform/sdl/sdl_display.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/copy_flags.h"
#include "platform/sdl/sdl_text.h"

namespace {

char g_error[256];
// Screens alive; the event watch marks them.
constexpr int kMaxScreens = 16;
SdlScreen* g_screens[kMaxScreens];
int g_screen_count = 0;

void SetError(const char* what) { std::snprintf(g_error, sizeof g_error, "%s: %s", what, SDL_GetError()); }

// Every scaling kind, both directions (the SCALE_BITS layout).
constexpr uint32_t kScalesFreely = 0xFF000000u;

// Notes device resets and size changes as SDL queues them; the next lock of
// an affected surface reports it lost.
int WatchEvents(void*, SDL_Event* e) {
  if (e->type == SDL_RENDER_DEVICE_RESET || e->type == SDL_RENDER_TARGETS_RESET) {
    for (SdlScreen* s : g_screens)
      if (s) s->device_reset = true;
  } else if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
    SdlWindow* w = SdlWindowFromId(e->window.windowID);
    if (w && w->screen) w->screen->size_changed = true;
  }
  return 1;
}

SDL_Rect ToSdl(SdlBox b) { return {b.x, b.y, b.w, b.h}; }

bool Contains(SdlBox outer, SdlBox inner) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

bool Intersects(SdlBox a, SdlBox b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

SdlBox Intersection(SdlBox a, SdlBox b) {
  int32_t x0 = a.x > b.x ? a.x : b.x, y0 = a.y > b.y ? a.y : b.y;
  int32_t x1 = a.x + a.w < b.x + b.w ? a.x + a.w : b.x + b.w;
  int32_t y1 = a.y + a.h < b.y + b.h ? a.y + a.h : b.y + b.h;
  if (x1 <= x0 || y1 <= y0) return {0, 0, 0, 0};
  return {x0, y0, x1 - x0, y1 - y0};
}

uint32_t SdlFormatOf(const SdlScreen* s, uint32_t format) {
  switch (format) {
    case SDL_FORMAT_YV12: return SDL_PIXELFORMAT_YV12;
    case SDL_FORMAT_YUY2: return SDL_PIXELFORMAT_YUY2;
    case SDL_FORMAT_UYVY: return SDL_PIXELFORMAT_UYVY;
    default: return s->format;
  }
}

// Black in the surface's format, so a new or restored surface shows nothing.
void FillBlack(uint32_t sdl_format, uint8_t* p, int32_t pitch, uint32_t w, uint32_t h) {
  if (sdl_format == SDL_PIXELFORMAT_YV12) {
    for (uint32_t y = 0; y < h; ++y) std::memset(p + size_t(y) * pitch, 16, w);
    uint8_t* c = p + size_t(pitch) * h;
    size_t chroma = size_t((pitch + 1) / 2) * ((h + 1) / 2);
    std::memset(c, 128, chroma * 2);
  } else if (sdl_format == SDL_PIXELFORMAT_YUY2 || sdl_format == SDL_PIXELFORMAT_UYVY) {
    uint8_t first = sdl_format == SDL_PIXELFORMAT_YUY2 ? 16 : 128, second = first == 16 ? 128 : 16;
    for (uint32_t y = 0; y < h; ++y) {
      uint8_t* row = p + size_t(y) * pitch;
      for (uint32_t x = 0; x < (w + 1) / 2 * 4; x += 2) row[x] = first, row[x + 1] = second;
    }
  } else {
    for (uint32_t y = 0; y < h; ++y) std::memset(p + size_t(y) * pitch, 0, size_t(w) * SDL_BYTESPERPIXEL(sdl_format));
  }
}

// Makes the surface's texture (and system pixels) at its current size.
bool MakeSurface(SdlSurface* s) {
  SDL_Renderer* r = s->screen->renderer;
  s->texture = SDL_CreateTexture(r, s->sdl_format, SDL_TEXTUREACCESS_STREAMING, int(s->width), int(s->height));
  if (!s->texture) {
    SetError("Unable to create a surface");
    return false;
  }
  // Every picture scales by the nearest pixel, as the blits it stands for
  // do (and, on a renderer without a GPU, at a fraction of filtering's cost).
  SDL_SetTextureScaleMode(s->texture, SDL_ScaleModeNearest);
  SDL_SetTextureBlendMode(s->texture, SDL_BLENDMODE_NONE);
  void* pixels = nullptr;
  int pitch = 0;
  if (s->external) {
    if (!s->memory_pixels) {
      SetError("Unable to create a surface");
      SDL_DestroyTexture(s->texture);
      s->texture = nullptr;
      return false;
    }
    SDL_UpdateTexture(s->texture, nullptr, s->memory_pixels->pixels, s->memory_pixels->pitch);
  } else if (s->memory == SDL_MEMORY_SYSTEM) {
    s->memory_pixels = SDL_CreateRGBSurfaceWithFormat(0, int(s->width), int(s->height),
                                                      SDL_BITSPERPIXEL(s->sdl_format), s->sdl_format);
    if (!s->memory_pixels) {
      SetError("Unable to create a surface");
      SDL_DestroyTexture(s->texture);
      s->texture = nullptr;
      return false;
    }
    FillBlack(s->sdl_format, static_cast<uint8_t*>(s->memory_pixels->pixels), s->memory_pixels->pitch, s->width,
              s->height);
    SDL_UpdateTexture(s->texture, nullptr, s->memory_pixels->pixels, s->memory_pixels->pitch);
  } else if (SDL_LockTexture(s->texture, nullptr, &pixels, &pitch) == 0) {
    FillBlack(s->sdl_format, static_cast<uint8_t*>(pixels), pitch, s->width, s->height);
    SDL_UnlockTexture(s->texture);
  }
  return true;
}

void FreeSurfacePixels(SdlSurface* s) {
  if (s->texture) {
    SdlScreenForgetTexture(s->screen, s->texture);
    SDL_DestroyTexture(s->texture);
  }
  s->texture = nullptr;
  if (s->external) return;  // the pixels stay with their owner, the wrapper with the surface
  if (s->memory_pixels) SDL_FreeSurface(s->memory_pixels);
  s->memory_pixels = nullptr;
}

// Takes in what the event watch noted since the last lock.
void TakeEvents(SdlScreen* screen) {
  if (screen->device_reset) {
    screen->device_reset = false;
    for (SdlSurface* s : screen->surfaces)
      if (s) s->lost = true;
  }
  if (screen->size_changed) {
    screen->size_changed = false;
    // The window's pictures must all be drawn again.
    for (SdlSurface* s : screen->surfaces)
      if (s) s->lost = true;
  }
}

void RemoveItem(SdlScreen* screen, uint32_t i) {
  std::memmove(&screen->items[i], &screen->items[i + 1], (screen->item_count - i - 1) * sizeof(SdlItem));
  --screen->item_count;
}

// Whether item `j` already draws `it`: the same texture, the same scale and
// offset, and nothing drawn since over the rectangle.
bool AlreadyDrawn(const SdlScreen* screen, uint32_t j, const SdlItem& it) {
  const SdlItem& e = screen->items[j];
  if (e.kind != SDL_ITEM_COPY || e.texture != it.texture || !Contains(e.dst, it.dst) || !Contains(e.src, it.src))
    return false;
  if (int64_t(it.dst.w) * e.src.w != int64_t(e.dst.w) * it.src.w ||
      int64_t(it.dst.h) * e.src.h != int64_t(e.dst.h) * it.src.h)
    return false;
  int64_t dx = int64_t(it.src.x - e.src.x) * e.dst.w - int64_t(it.dst.x - e.dst.x) * e.src.w;
  int64_t dy = int64_t(it.src.y - e.src.y) * e.dst.h - int64_t(it.dst.y - e.dst.y) * e.src.h;
  if (dx < 0 || dx >= e.src.w || dy < 0 || dy >= e.src.h) return false;
  for (uint32_t k = j + 1; k < screen->item_count; ++k)
    if (Intersects(screen->items[k].dst, it.dst)) return false;
  return true;
}

void AddItem(SdlScreen* screen, const SdlItem& it) {
  if (it.dst.w <= 0 || it.dst.h <= 0) return;
  // Drawn already by an earlier item: its texture now holds the new pixels,
  // which the next present must show.
  for (uint32_t j = screen->item_count; j-- > 0;)
    if (AlreadyDrawn(screen, j, it)) {
      screen->dirty = true;
      return;
    }
  // What the new rectangle covers whole will never show again.
  for (uint32_t j = screen->item_count; j-- > 0;)
    if (Contains(it.dst, screen->items[j].dst)) RemoveItem(screen, j);
  if (screen->item_count == kSdlMaxItems) RemoveItem(screen, 0);
  screen->items[screen->item_count++] = it;
  screen->dirty = true;
}

bool Compose(SdlScreen* screen) {
  SDL_Renderer* r = screen->renderer;
  SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
  if (SDL_RenderClear(r) != 0) {
    SetError("Unable to draw");
    return false;
  }
  const SdlSurface* overlay = screen->overlay;
  bool overlay_on = overlay && screen->overlay_shown && !overlay->lost && overlay->texture;
  for (uint32_t i = 0; i < screen->item_count; ++i) {
    const SdlItem& it = screen->items[i];
    SDL_Rect dst = ToSdl(it.dst);
    if (it.kind == SDL_ITEM_PRIMARY) {
      // The part of the screen's pixels under the client area, where it is now.
      if (it.surface->lost) continue;
      SdlRect c = SdlWindowGetClient(screen->window);
      SdlBox part = Intersection({c.x, c.y, c.width, c.height}, it.src);
      if (part.w <= 0) continue;
      SDL_Rect src = ToSdl(part), on = {part.x - c.x, part.y - c.y, part.w, part.h};
      SDL_RenderCopy(r, it.texture, &src, &on);
      continue;
    }
    if (it.kind == SDL_ITEM_COPY) {
      if (it.surface && (it.surface->lost || !it.surface->texture)) continue;
      SDL_Rect src = ToSdl(it.src);
      SDL_RenderCopy(r, it.texture, &src, &dst);
      continue;
    }
    SDL_SetRenderDrawColor(r, uint8_t(it.colour >> 16), uint8_t(it.colour >> 8), uint8_t(it.colour), 255);
    SDL_RenderFillRect(r, &dst);
    if (overlay_on && it.colour == screen->colour_key) {
      // The overlay shows through the key colour, and only there.
      SdlBox part = Intersection(it.dst, screen->overlay_dst);
      if (part.w > 0) {
        SDL_Rect clip = ToSdl(part), osrc = ToSdl(screen->overlay_src), odst = ToSdl(screen->overlay_dst);
        SDL_RenderSetClipRect(r, &clip);
        SDL_RenderCopy(r, overlay->texture, &osrc, &odst);
        SDL_RenderSetClipRect(r, nullptr);
      }
    }
  }
  return true;
}

}  // namespace

const char* SdlDisplayError() { return g_error; }

uint32_t SdlSurfaceTypeOfFormat(uint32_t f) {
  switch (f) {
    case SDL_PIXELFORMAT_RGB888: return SURFACE_XRGB32;
    case SDL_PIXELFORMAT_BGR888: return SURFACE_XBGR32;
    case SDL_PIXELFORMAT_ARGB8888: return SURFACE_ARGB32;
    case SDL_PIXELFORMAT_ABGR8888: return SURFACE_ABGR32;
    case SDL_PIXELFORMAT_BGR24: return SURFACE_BGR24;  // memory order B, G, R
    case SDL_PIXELFORMAT_RGB24: return SURFACE_RGB24;
    case SDL_PIXELFORMAT_RGB565: return SURFACE_RGB565;
    case SDL_PIXELFORMAT_RGB555: return SURFACE_RGB555;
    case SDL_PIXELFORMAT_ARGB1555: return SURFACE_ARGB1555;
    case SDL_PIXELFORMAT_ARGB4444: return SURFACE_ARGB4444;
    case SDL_PIXELFORMAT_RGB332: return SURFACE_RGB332;
    case SDL_PIXELFORMAT_YUY2: return SURFACE_YUY2;
    case SDL_PIXELFORMAT_UYVY: return SURFACE_UYVY;
    case SDL_PIXELFORMAT_YV12: return SURFACE_YV12;
    default: return ~0u;
  }
}

SdlScreen* SdlScreenGet(SdlWindow* window) {
  if (!window) return nullptr;
  if (window->screen) return window->screen;
  auto* s = static_cast<SdlScreen*>(std::calloc(1, sizeof(SdlScreen)));
  if (!s) {
    std::snprintf(g_error, sizeof g_error, "Out of memory.");
    return nullptr;
  }
  s->window = window;
  // The GPU first; SDL's software renderer where there is none (or where
  // SDL_RENDER_DRIVER asks for it).
  s->renderer = SDL_CreateRenderer(window->window, -1, SDL_RENDERER_ACCELERATED);
  if (!s->renderer) s->renderer = SDL_CreateRenderer(window->window, -1, SDL_RENDERER_SOFTWARE);
  if (!s->renderer) {
    SetError("Unable to draw in the window");
    std::free(s);
    return nullptr;
  }
  SDL_RendererInfo info{};
  SDL_GetRendererInfo(s->renderer, &info);
  s->renderer_name = info.name;
  s->accelerated = (info.flags & SDL_RENDERER_ACCELERATED) != 0;
  s->max_texture_w = info.max_texture_width;
  s->max_texture_h = info.max_texture_height;
  uint32_t f = SDL_GetWindowPixelFormat(window->window);
  // Palettes and odd layouts are not drawn into directly: work in 32 bits.
  if (f == SDL_PIXELFORMAT_UNKNOWN || SDL_ISPIXELFORMAT_INDEXED(f) || SdlSurfaceTypeOfFormat(f) == ~0u)
    f = SDL_PIXELFORMAT_RGB888;
  s->format = f;
  s->surface_type = SdlSurfaceTypeOfFormat(f);
  s->bits_per_pixel = SDL_BYTESPERPIXEL(f) * 8;
  // Both renderers scale in every direction by any factor: the GPU's
  // sampler, and SDL's software stretch (nearest pixel) without one.
  s->overlay_caps = kScalesFreely;
  s->blit_caps = kScalesFreely;
  // A nearly black magenta: the lowest step of red and of blue.
  int bpp = 0;
  uint32_t rm = 0, gm = 0, bm = 0, am = 0;
  SDL_PixelFormatEnumToMasks(f, &bpp, &rm, &gm, &bm, &am);
  uint32_t red_step = rm ? 256u / ((rm >> __builtin_ctz(rm)) + 1) : 1;
  uint32_t blue_step = bm ? 256u / ((bm >> __builtin_ctz(bm)) + 1) : 1;
  s->colour_key = (red_step << 16) | blue_step;
  int slot = 0;
  while (slot < kMaxScreens && g_screens[slot]) ++slot;
  if (slot == kMaxScreens) {
    std::snprintf(g_error, sizeof g_error, "Too many windows.");
    SDL_DestroyRenderer(s->renderer);
    std::free(s);
    return nullptr;
  }
  g_screens[slot] = s;
  if (g_screen_count++ == 0) SDL_AddEventWatch(WatchEvents, nullptr);
  window->screen = s;
  return s;
}

void SdlScreenDestroy(SdlWindow* window) {
  if (window) SdlDirectDrawForgetWindow(window);
  SdlScreen* s = window ? window->screen : nullptr;
  if (!s) return;
  for (SdlSurface*& surface : s->surfaces)
    if (surface) SdlSurfaceDestroy(surface);
  SdlTextForgetScreen(s);
  SdlScreenClear(s);
  SDL_DestroyRenderer(s->renderer);
  for (SdlScreen*& slot : g_screens)
    if (slot == s) slot = nullptr;
  if (--g_screen_count == 0) SDL_DelEventWatch(WatchEvents, nullptr);
  window->screen = nullptr;
  std::free(s);
}

static SdlSurface* NewSurface(SdlScreen* screen, uint32_t format, uint32_t memory, uint32_t w, uint32_t h,
                              bool primary, uint32_t sdl_format = 0, void* pixels = nullptr, int32_t pitch = 0) {
  if (!screen || w == 0 || h == 0 || w > 16384 || h > 16384) {
    std::snprintf(g_error, sizeof g_error, "Unable to create a surface of %ux%u.", w, h);
    return nullptr;
  }
  if ((screen->max_texture_w && int32_t(w) > screen->max_texture_w) ||
      (screen->max_texture_h && int32_t(h) > screen->max_texture_h)) {
    std::snprintf(g_error, sizeof g_error, "The renderer takes no surface of %ux%u.", w, h);
    return nullptr;
  }
  int slot = -1;
  for (int i = 0; i < int(kSdlMaxSurfaces); ++i)
    if (!screen->surfaces[i]) {
      slot = i;
      break;
    }
  auto* s = slot < 0 ? nullptr : static_cast<SdlSurface*>(std::calloc(1, sizeof(SdlSurface)));
  if (!s) {
    std::snprintf(g_error, sizeof g_error, "Out of memory.");
    return nullptr;
  }
  s->screen = screen;
  s->format = format;
  s->memory = memory;
  s->sdl_format = sdl_format ? sdl_format : SdlFormatOf(screen, format);
  if (pixels) {
    s->external = true;
    s->memory_pixels = SDL_CreateRGBSurfaceWithFormatFrom(pixels, int(w), int(h), SDL_BITSPERPIXEL(s->sdl_format),
                                                          pitch, s->sdl_format);
  }
  s->width = w;
  s->height = h;
  s->primary = primary;
  if (!MakeSurface(s)) {
    if (s->external && s->memory_pixels) SDL_FreeSurface(s->memory_pixels);
    std::free(s);
    return nullptr;
  }
  screen->surfaces[slot] = s;
  return s;
}

SdlSurface* SdlSurfaceCreate(SdlScreen* screen, uint32_t format, uint32_t memory, uint32_t w, uint32_t h) {
  if (format > SDL_FORMAT_UYVY || memory > SDL_MEMORY_SYSTEM) {
    std::snprintf(g_error, sizeof g_error, "Unknown surface format.");
    return nullptr;
  }
  return NewSurface(screen, format, memory, w, h, false);
}

void SdlScreenSize(const SdlScreen* screen, int32_t* width, int32_t* height) {
  SDL_DisplayMode m{};
  int display = screen ? SDL_GetWindowDisplayIndex(screen->window->window) : 0;
  if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &m) != 0) m.w = m.h = 0;
  *width = m.w;
  *height = m.h;
}

SdlSurface* SdlSurfacePrimary(SdlScreen* screen) {
  if (!screen) return nullptr;
  for (SdlSurface* s : screen->surfaces)
    if (s && s->primary) return s;
  int32_t w, h;
  SdlScreenSize(screen, &w, &h);
  return NewSurface(screen, SDL_FORMAT_SCREEN, SDL_MEMORY_SYSTEM, uint32_t(w), uint32_t(h), true);
}

SdlSurface* SdlSurfaceWrap(SdlScreen* screen, uint32_t sdl_format, void* pixels, int32_t pitch, uint32_t w,
                           uint32_t h) {
  if (!pixels || SDL_ISPIXELFORMAT_FOURCC(sdl_format) || SDL_ISPIXELFORMAT_INDEXED(sdl_format)) {
    std::snprintf(g_error, sizeof g_error, "Unknown surface format.");
    return nullptr;
  }
  return NewSurface(screen, SDL_FORMAT_SCREEN, SDL_MEMORY_SYSTEM, w, h, false, sdl_format, pixels, pitch);
}

void SdlSurfaceDestroy(SdlSurface* s) {
  if (!s) return;
  SdlScreen* screen = s->screen;
  if (s->locked && s->texture && s->memory == SDL_MEMORY_TEXTURE) SDL_UnlockTexture(s->texture);
  if (screen->overlay == s) screen->overlay = nullptr;
  if (s->holder) *s->holder = nullptr;
  FreeSurfacePixels(s);
  if (s->external && s->memory_pixels) SDL_FreeSurface(s->memory_pixels);
  for (SdlSurface*& slot : screen->surfaces)
    if (slot == s) slot = nullptr;
  std::free(s);
}

bool SdlSurfaceIsLost(SdlSurface* s) {
  TakeEvents(s->screen);
  return s->lost;
}

int32_t SdlSurfaceLock(SdlSurface* s, uint8_t** pixels, int32_t* pitch) {
  *pixels = nullptr;
  *pitch = 0;
  if (SdlSurfaceIsLost(s)) return SDL_SURFACE_LOST;
  if (s->locked) return SDL_LOCK_FAILED;
  if (s->memory == SDL_MEMORY_SYSTEM) {
    *pixels = static_cast<uint8_t*>(s->memory_pixels->pixels);
    *pitch = s->memory_pixels->pitch;
  } else {
    void* p = nullptr;
    int pt = 0;
    if (SDL_LockTexture(s->texture, nullptr, &p, &pt) != 0) {
      SetError("Unable to lock a surface");
      return SDL_LOCK_FAILED;
    }
    *pixels = static_cast<uint8_t*>(p);
    *pitch = pt;
  }
  s->locked = *pixels;
  return SDL_LOCK_OK;
}

void SdlSurfaceUnlock(SdlSurface* s) {
  if (!s || !s->locked) return;
  if (s->memory == SDL_MEMORY_TEXTURE) SDL_UnlockTexture(s->texture);
  s->locked = nullptr;
  // The screen's pixels: what was written is what the window shows.
  if (s->primary) {
    SdlRect c = SdlWindowGetClient(s->screen->window);
    SdlBox all{0, 0, int32_t(s->width), int32_t(s->height)};
    SdlBox part = Intersection(all, {c.x, c.y, c.width, c.height});
    if (part.w > 0) {
      SDL_Surface* m = s->memory_pixels;
      SDL_Rect r = ToSdl(part);
      SDL_UpdateTexture(s->texture, &r,
                        static_cast<uint8_t*>(m->pixels) + size_t(part.y) * m->pitch + size_t(part.x) * m->format->BytesPerPixel,
                        m->pitch);
    }
    AddItem(s->screen, {SDL_ITEM_PRIMARY, s->texture, s, all, {0, 0, c.width, c.height}, 0});
  }
}

bool SdlSurfaceRestore(SdlSurface* s) {
  TakeEvents(s->screen);
  if (!s->lost) return true;
  if (s->locked) SdlSurfaceUnlock(s);
  FreeSurfacePixels(s);
  if (s->primary) {
    int32_t w, h;
    SdlScreenSize(s->screen, &w, &h);
    if (w <= 0 || h <= 0) return false;
    s->width = uint32_t(w);
    s->height = uint32_t(h);
  }
  if (!MakeSurface(s)) return false;
  s->lost = false;
  return true;
}

bool SdlScreenCopy(SdlScreen* screen, SdlSurface* s, SdlBox src, SdlBox dst) {
  if (!screen || !s || s->lost) return false;
  src = Intersection(src, {0, 0, int32_t(s->width), int32_t(s->height)});
  if (src.w <= 0 || dst.w <= 0 || dst.h <= 0) return false;
  if (s->memory == SDL_MEMORY_SYSTEM) {
    // The system pixels reach the renderer only where they are drawn.
    SDL_Surface* m = s->memory_pixels;
    const uint8_t* p = static_cast<const uint8_t*>(m->pixels) + size_t(src.y) * m->pitch +
                       size_t(src.x) * m->format->BytesPerPixel;
    SDL_Rect r = ToSdl(src);
    if (SDL_UpdateTexture(s->texture, &r, p, m->pitch) != 0) {
      SetError("Unable to draw a surface");
      return false;
    }
  }
  AddItem(screen, {SDL_ITEM_COPY, s->texture, s, src, dst, 0});
  return true;
}

void SdlScreenFill(SdlScreen* screen, SdlBox dst, uint32_t colour) {
  if (screen) AddItem(screen, {SDL_ITEM_FILL, nullptr, nullptr, dst, dst, colour & 0xFFFFFFu});
}

void SdlScreenCopyTexture(SdlScreen* screen, SDL_Texture* texture, SdlBox src, SdlBox dst) {
  if (screen && texture) AddItem(screen, {SDL_ITEM_COPY, texture, nullptr, src, dst, 0});
}

void SdlScreenOverlay(SdlScreen* screen, const SdlSurface* overlay, SdlBox src, SdlBox dst, bool shown) {
  if (!screen) return;
  screen->overlay = overlay;
  screen->overlay_src = src;
  screen->overlay_dst = dst;
  screen->overlay_shown = shown && overlay && src.w > 0 && src.h > 0 && dst.w > 0 && dst.h > 0;
  screen->dirty = true;
}

void SdlScreenForgetTexture(SdlScreen* screen, const SDL_Texture* texture) {
  for (uint32_t j = screen->item_count; j-- > 0;)
    if (screen->items[j].texture == texture) RemoveItem(screen, j);
}

void SdlScreenClear(SdlScreen* screen) {
  if (screen) {
    screen->item_count = 0;
    screen->dirty = true;
  }
}

bool SdlScreenPresent(SdlScreen* screen) {
  if (!screen || !Compose(screen)) return false;
  SDL_RenderPresent(screen->renderer);
  screen->dirty = false;
  return true;
}

bool SdlScreenFlush(SdlScreen* screen) { return !screen || !screen->dirty || SdlScreenPresent(screen); }

bool SdlScreenReadPixels(SdlScreen* screen, SdlBox box, uint32_t* out, int32_t out_pitch) {
  if (!screen || !out || box.w <= 0 || box.h <= 0 || out_pitch < box.w * 4) return false;
  if (!Compose(screen)) return false;
  SDL_Rect r = ToSdl(box);
  if (SDL_RenderReadPixels(screen->renderer, &r, SDL_PIXELFORMAT_ARGB8888, out, out_pitch) != 0) {
    SetError("Unable to read the window's pixels");
    return false;
  }
  return true;
}
