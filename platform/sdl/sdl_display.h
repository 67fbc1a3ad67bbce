// What is drawn in an SDL window: one renderer per window (accelerated when
// the system has one, else SDL's software renderer), surfaces that are
// streaming textures (the GPU converts YUV and scales) or system-memory
// pixels uploaded when drawn, and the composition: an ordered list of what is
// shown where in the window, redrawn into the renderer at each present,
// because a renderer keeps nothing from one present to the next.
//
// A window loses its surfaces when the renderer's device is reset (all of
// them) or the window's size changes (its primary surface, which has the
// client area's size): locks then report SDL_SURFACE_LOST until
// SdlSurfaceRestore makes the surface again (its contents undefined).
#pragma once
#include <cstdint>

#include "platform/sdl/sdl_window.h"

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;
struct SdlSurface;

// Pixel formats of our surfaces.
enum SdlFormat : uint32_t {
  SDL_FORMAT_SCREEN = 0,  // the window's own RGB format
  SDL_FORMAT_YV12 = 1,
  SDL_FORMAT_YUY2 = 2,
  SDL_FORMAT_UYVY = 3,
};

// Where a surface's pixels live.
enum SdlMemory : uint32_t {
  SDL_MEMORY_TEXTURE = 0,  // a streaming texture: locks write the renderer's pixels
  SDL_MEMORY_SYSTEM = 1,   // our pixels, uploaded to a texture when drawn
};

enum SdlLockResult : int32_t {
  SDL_LOCK_OK = 0,
  SDL_SURFACE_LOST = 1,  // make it again with SdlSurfaceRestore
  SDL_LOCK_FAILED = 2,
};

// Rectangles in pixels: x, y, width, height.
struct SdlBox {
  int32_t x, y, w, h;
};

// Everything the composition can hold.
inline constexpr uint32_t kSdlMaxItems = 128;
inline constexpr uint32_t kSdlMaxSurfaces = 32;

enum SdlItemKind : uint32_t {
  SDL_ITEM_COPY = 0,   // texture rectangle to window rectangle
  SDL_ITEM_FILL = 1,   // a window rectangle of one colour
  SDL_ITEM_PRIMARY = 2,  // the primary surface's part under the client area
};

struct SdlItem {
  uint32_t kind;
  SDL_Texture* texture;  // SDL_ITEM_COPY
  const SdlSurface* surface;  // the surface the texture belongs to, or null
  SdlBox src;
  SdlBox dst;
  uint32_t colour;  // SDL_ITEM_FILL: 0xRRGGBB
};

struct SdlScreen {
  SdlWindow* window;
  SDL_Renderer* renderer;
  const char* renderer_name;
  bool accelerated;
  uint32_t format;            // SDL pixel format of the window's RGB surfaces
  uint32_t surface_type;      // our surface type code for that format, or -1u
  uint32_t bits_per_pixel;    // 8 x bytes per pixel of that format
  uint32_t overlay_caps;      // scaling the overlays can do (SCALE_BITS layout)
  uint32_t blit_caps;         // scaling the surface copies can do
  uint32_t colour_key;        // fills of this 0xRRGGBB colour show the overlay
  int32_t max_texture_w, max_texture_h;  // 0: no limit
  SdlItem items[kSdlMaxItems];
  uint32_t item_count;
  SdlSurface* surfaces[kSdlMaxSurfaces];
  // The overlay: shown at dst (where the key colour was filled) when shown.
  const SdlSurface* overlay;
  SdlBox overlay_src, overlay_dst;
  bool overlay_shown;
  volatile bool device_reset;   // set by the event watch, seen by the next lock
  volatile bool size_changed;
  bool dirty;                  // drawn into since the last present
};

struct SdlSurface {
  SdlScreen* screen;
  uint32_t format;       // SdlFormat
  uint32_t memory;       // SdlMemory
  uint32_t sdl_format;   // SDL pixel format
  uint32_t width, height;
  bool primary;          // the screen's pixels (screen size and format)
  bool external;         // SDL_MEMORY_SYSTEM pixels owned by the caller
  bool lost;
  SDL_Texture* texture;
  SDL_Surface* memory_pixels;  // SDL_MEMORY_SYSTEM
  uint8_t* locked;       // between lock and unlock
  SdlSurface** holder;   // cleared when the surface goes (its window may take it)
  SdlBox lock_box;
};

// The window's renderer and composition, made on first use; null with the
// error text set when no renderer can be made.
SdlScreen* SdlScreenGet(SdlWindow* window);
// Frees what SdlScreenGet made (called by SdlWindowDestroy).
void SdlScreenDestroy(SdlWindow* window);
// A window is going: the DirectDraw objects, clippers and surfaces that
// name it or show on it let go of it (its surfaces are lost for good; a
// display mode set through it is restored first).
void SdlDirectDrawForgetWindow(SdlWindow* window);
const char* SdlDisplayError();

// Surfaces. width and height at least 1; YV12 needs even sizes.
SdlSurface* SdlSurfaceCreate(SdlScreen* screen, uint32_t format, uint32_t memory, uint32_t width,
                             uint32_t height);
// The screen's pixels: a system-memory surface of the display's size in the
// screen's format, of which the window shows the part under its client
// area; what is written appears at the next present, unscaled.
SdlSurface* SdlSurfacePrimary(SdlScreen* screen);
// A system-memory surface over the caller's pixels (kept by the caller, who
// frees them after the surface) in any RGB format SDL knows.
SdlSurface* SdlSurfaceWrap(SdlScreen* screen, uint32_t sdl_format, void* pixels, int32_t pitch, uint32_t width,
                           uint32_t height);
// Screen size (the display's current mode).
void SdlScreenSize(const SdlScreen* screen, int32_t* width, int32_t* height);
void SdlSurfaceDestroy(SdlSurface* surface);
// Gives the first byte and row pitch (YV12: the Y plane; the V plane follows
// at pitch x height and the U plane at 5/4 of that, each of half pitch).
int32_t SdlSurfaceLock(SdlSurface* surface, uint8_t** pixels, int32_t* pitch);
// A primary surface shows the locked rows at the next present.
void SdlSurfaceUnlock(SdlSurface* surface);
bool SdlSurfaceIsLost(SdlSurface* surface);
// Makes a lost surface again; false when it cannot be made now.
bool SdlSurfaceRestore(SdlSurface* surface);

// Composition. Each call puts its rectangle above what was drawn before.
// Copies a surface rectangle to a window rectangle (scaling when sizes differ).
bool SdlScreenCopy(SdlScreen* screen, SdlSurface* surface, SdlBox src, SdlBox dst);
// Fills a window rectangle with 0xRRGGBB.
void SdlScreenFill(SdlScreen* screen, SdlBox dst, uint32_t colour);
// Copies an outside texture (text) to a window rectangle, unscaled.
void SdlScreenCopyTexture(SdlScreen* screen, SDL_Texture* texture, SdlBox src, SdlBox dst);
// Places the overlay surface: shown at dst wherever the key colour was filled.
void SdlScreenOverlay(SdlScreen* screen, const SdlSurface* overlay, SdlBox src, SdlBox dst, bool shown);
// Forgets every item drawn with the texture (it is about to go).
void SdlScreenForgetTexture(SdlScreen* screen, const SDL_Texture* texture);
// Empties the composition (the window shows black at the next present).
void SdlScreenClear(SdlScreen* screen);
// Draws the composition and shows it.
bool SdlScreenPresent(SdlScreen* screen);
// Draws the composition and reads a window rectangle back as 0xAARRGGBB
// pixels (what the next present shows); false on failure.
bool SdlScreenReadPixels(SdlScreen* screen, SdlBox box, uint32_t* out, int32_t out_pitch);

// Draws the composition and shows it when anything was drawn since the last
// present.
bool SdlScreenFlush(SdlScreen* screen);
// Surface type code of an SDL pixel format, or -1u when there is none.
uint32_t SdlSurfaceTypeOfFormat(uint32_t sdl_format);
