// DirectDraw as the display buffer uses it: the object with its cooperative
// level and display modes, the primary surface, overlay and off-screen
// surfaces, colour-fill and stretching blits, overlays shown behind a
// destination colour key, a clipper, and the driver's capabilities.
//
// A backend fills one DirectDrawServices table (display_driver.h). The model
// every backend follows, so that both compose the same picture:
// - The primary surface is the screen: screen coordinates, the screen's
//   size and pixel format. Writes through a lock of the primary land on the
//   screen at once (there is no blit for the primary style).
// - Blt onto the primary takes destination rectangles in screen
//   coordinates, clipped to the screen and, while a clipper with a window is
//   attached to the primary, to that window's client area. A stretching Blt
//   scales by nearest neighbour and converts the source's format (FourCC
//   YUV or RGB) into the screen's.
// - An overlay shown by UpdateOverlay (DDOVER_SHOW with
//   DDOVER_KEYDESTOVERRIDE) appears over its destination rectangle wherever
//   the primary holds the key colour, scaled from its source rectangle by
//   nearest neighbour; elsewhere the primary shows. DDOVER_HIDE removes it.
// - Surfaces may be lost (DDERR_SURFACELOST from Lock and Blt) until
//   Restore succeeds; a restored surface's contents are undefined.
#pragma once
#include <cstdint>

#include "display/display_types.h"

// Results: 0 is success, anything else a failure code.
using DDResult = int32_t;
inline constexpr DDResult DD_OK = 0;
inline constexpr DDResult DDERR_GENERIC = int32_t(0x80004005u);
inline constexpr DDResult DDERR_UNSUPPORTED = int32_t(0x80004001u);
inline constexpr DDResult DDERR_OUTOFMEMORY = int32_t(0x8007000Eu);
inline constexpr DDResult DDERR_INVALIDPARAMS = int32_t(0x80070057u);
inline constexpr DDResult DDERR_INVALIDMODE = int32_t(0x88760078u);
inline constexpr DDResult DDERR_OUTOFVIDEOMEMORY = int32_t(0x8876017Cu);
inline constexpr DDResult DDERR_NOTLOCKED = int32_t(0x887601E6u);
inline constexpr DDResult DDERR_CANTLOCKSURFACE = int32_t(0x887601B3u);
inline constexpr DDResult DDERR_SURFACELOST = int32_t(0x887601C2u);
inline constexpr DDResult DDERR_NODIRECTDRAWHW = int32_t(0x88760231u);

// SetCooperativeLevel flags.
inline constexpr uint32_t DDSCL_FULLSCREEN = 0x1u;
inline constexpr uint32_t DDSCL_NORMAL = 0x8u;
inline constexpr uint32_t DDSCL_EXCLUSIVE = 0x10u;

// Surface capabilities (DDSurfaceDesc::caps).
inline constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40u;
inline constexpr uint32_t DDSCAPS_OVERLAY = 0x80u;
inline constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200u;
inline constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800u;
inline constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000u;

// Pixel format flags (DDPixelFormat::flags).
inline constexpr uint32_t DDPF_ALPHAPIXELS = 0x1u;
inline constexpr uint32_t DDPF_FOURCC = 0x4u;
inline constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20u;
inline constexpr uint32_t DDPF_RGB = 0x40u;

inline constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
         (uint32_t(uint8_t(d)) << 24);
}
inline constexpr uint32_t FOURCC_YV12 = MakeFourCC('Y', 'V', '1', '2');
inline constexpr uint32_t FOURCC_YUY2 = MakeFourCC('Y', 'U', 'Y', '2');
inline constexpr uint32_t FOURCC_UYVY = MakeFourCC('U', 'Y', 'V', 'Y');

// Lock, Blt and UpdateOverlay flags.
inline constexpr uint32_t DDLOCK_WAIT = 0x1u;
inline constexpr uint32_t DDBLT_COLORFILL = 0x400u;
inline constexpr uint32_t DDBLT_WAIT = 0x1000000u;
inline constexpr uint32_t DDOVER_HIDE = 0x200u;
inline constexpr uint32_t DDOVER_KEYDESTOVERRIDE = 0x800u;
inline constexpr uint32_t DDOVER_SHOW = 0x4000u;

// Driver FX capabilities (DDCaps::fx_caps): overlay scaling...
inline constexpr uint32_t DDFXCAPS_OVERLAYSHRINKX = 0x80000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSHRINKXN = 0x100000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSHRINKY = 0x200000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSHRINKYN = 0x400000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSTRETCHX = 0x800000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSTRETCHXN = 0x1000000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSTRETCHY = 0x2000000u;
inline constexpr uint32_t DDFXCAPS_OVERLAYSTRETCHYN = 0x4000000u;
// ...and blit scaling ("N": by integer factors only).
inline constexpr uint32_t DDFXCAPS_BLTSHRINKX = 0x400u;
inline constexpr uint32_t DDFXCAPS_BLTSHRINKXN = 0x800u;
inline constexpr uint32_t DDFXCAPS_BLTSHRINKY = 0x1000u;
inline constexpr uint32_t DDFXCAPS_BLTSHRINKYN = 0x2000u;
inline constexpr uint32_t DDFXCAPS_BLTSTRETCHX = 0x4000u;
inline constexpr uint32_t DDFXCAPS_BLTSTRETCHXN = 0x8000u;
inline constexpr uint32_t DDFXCAPS_BLTSTRETCHY = 0x10000u;
inline constexpr uint32_t DDFXCAPS_BLTSTRETCHYN = 0x20000u;

struct DDPixelFormat {
  uint32_t flags;          // DDPF_*
  uint32_t fourcc;         // with DDPF_FOURCC
  uint32_t rgb_bit_count;  // bits per pixel (FourCC formats: of the luma plane's bytes, e.g. 8 or 16)
  uint32_t red_mask;       // with DDPF_RGB
  uint32_t green_mask;
  uint32_t blue_mask;
  uint32_t alpha_mask;     // with DDPF_ALPHAPIXELS
};

// What CreateSurface makes. The primary (DDSCAPS_PRIMARYSURFACE) takes
// neither size nor format. Other surfaces are width x height; with
// format.flags 0 they take the screen's format, else format (a FourCC).
struct DDSurfaceDesc {
  uint32_t caps;
  uint32_t width, height;
  DDPixelFormat format;
};

// A locked surface: its first byte, row pitch (bytes, positive) and size.
// A YV12 surface holds the luma plane (height rows of pitch bytes), then the
// V plane and the U plane, each height / 2 rows of pitch / 2 bytes.
struct DDLockedSurface {
  uint8_t* bits;
  int32_t pitch;
  uint32_t width, height;
  DDPixelFormat format;
};

struct DDCaps {
  uint32_t fx_caps;  // DDFXCAPS_*
};

struct DDDisplayMode {
  uint32_t width, height, bits_per_pixel;
};

struct DDColourKey {
  uint32_t low, high;  // the range of primary pixel values the overlay shows through
};

// Called once for each display mode; return 0 to stop the enumeration.
using DDEnumModesCallback = int (*)(const DDDisplayMode* mode, void* context);

struct DirectDrawServices {
  // The object for the default device; an error (and *out null) when the
  // machine has no DirectDraw or it cannot be opened now.
  DDResult (*DirectDrawCreate)(DDObject** out);
  // Releasing the object ends an exclusive level and restores the display
  // mode it set. Release the surfaces and clippers made with it first.
  void (*Release)(DDObject* dd);
  DDResult (*SetCooperativeLevel)(DDObject* dd, PlatformWindow* window, uint32_t flags);
  DDResult (*EnumDisplayModes)(DDObject* dd, DDEnumModesCallback callback, void* context);
  // Needs the exclusive full-screen level.
  DDResult (*SetDisplayMode)(DDObject* dd, uint32_t width, uint32_t height, uint32_t bits_per_pixel);
  DDResult (*RestoreDisplayMode)(DDObject* dd);
  DDResult (*CreateSurface)(DDObject* dd, const DDSurfaceDesc* desc, DDSurface** out);
  // The driver's (hardware) capabilities.
  DDResult (*GetCaps)(DDObject* dd, DDCaps* driver);
  DDResult (*CreateClipper)(DDObject* dd, DDClipper** out);

  // Surfaces.
  void (*SurfaceRelease)(DDSurface* surface);
  DDResult (*GetPixelFormat)(DDSurface* surface, DDPixelFormat* format);
  // Whole-surface locks only; flags DDLOCK_WAIT.
  DDResult (*Lock)(DDSurface* surface, DDLockedSurface* out, uint32_t flags);
  DDResult (*Unlock)(DDSurface* surface, void* bits);
  DDResult (*Restore)(DDSurface* surface);
  // DDBLT_COLORFILL: fills dst_rect (null: the whole surface) of dst with
  // fill_colour, a pixel value in dst's format; src is unused. Otherwise
  // copies src_rect of src (null: all of it) into dst_rect of dst, scaling
  // and converting. Flags may add DDBLT_WAIT.
  DDResult (*Blt)(DDSurface* dst, const DisplayRect* dst_rect, DDSurface* src,
                  const DisplayRect* src_rect, uint32_t flags, uint32_t fill_colour);
  // Shows (DDOVER_SHOW) or hides (DDOVER_HIDE) overlay's src_rect over
  // dst_rect of the primary dst; with DDOVER_KEYDESTOVERRIDE key gives the
  // primary's key colour range.
  DDResult (*UpdateOverlay)(DDSurface* overlay, const DisplayRect* src_rect, DDSurface* dst,
                            const DisplayRect* dst_rect, uint32_t flags, const DDColourKey* key);
  // Attaches a clipper (null detaches).
  DDResult (*SetClipper)(DDSurface* surface, DDClipper* clipper);

  // Clippers: blits through one are clipped to the window's client area.
  DDResult (*ClipperSetHWnd)(DDClipper* clipper, PlatformWindow* window);
  void (*ClipperRelease)(DDClipper* clipper);
};
