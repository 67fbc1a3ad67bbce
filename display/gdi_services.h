// GDI as the display buffer and the player's painting use it: window and
// memory DCs, a DIB section, stretching blits, a black fill, single pixels,
// and one line of text.
//
// The model every backend follows: a window's DC draws into its client area
// (client coordinates, clipped to it); the screen's DC (GetDC of null) reads
// and writes the screen (screen coordinates). A memory DC draws into the
// bitmap selected into it. StretchBlt scales by nearest neighbour
// (COLORONCOLOR) and converts between the DCs' formats. Text is drawn with
// one proportional font (the DC's default), in the DC's text colour on its
// background colour.
#pragma once
#include <cstdint>

#include "display/display_types.h"

// GetDeviceCaps indices.
inline constexpr int32_t BITSPIXEL = 12;
inline constexpr int32_t PLANES = 14;

// Raster operations, stretch mode, text flags.
inline constexpr uint32_t SRCCOPY = 0x00CC0020u;
inline constexpr uint32_t BLACKNESS = 0x00000042u;
inline constexpr int32_t COLORONCOLOR = 3;
inline constexpr uint32_t TA_TOP = 0;
inline constexpr uint32_t TA_CENTER = 6;
inline constexpr uint32_t ETO_OPAQUE = 2;

// Bitmap compression and colour usage.
inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_BITFIELDS = 3;
inline constexpr uint32_t DIB_RGB_COLORS = 0;

struct BitmapInfoHeader {
  uint32_t size;         // 40
  int32_t width;
  int32_t height;        // negative: top-down rows
  uint16_t planes;       // 1
  uint16_t bit_count;    // 16, 24 or 32
  uint32_t compression;  // BI_RGB or BI_BITFIELDS
  uint32_t size_image;
  int32_t x_pels_per_metre;
  int32_t y_pels_per_metre;
  uint32_t colours_used;
  uint32_t colours_important;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// The header and its colour table; with BI_BITFIELDS, colours[0..2] are the
// red, green and blue masks.
struct BitmapInfo {
  BitmapInfoHeader header;
  uint32_t colours[256];
};

struct GdiServices {
  // A window's DC (null window: the screen's); give it back with ReleaseDC.
  PlatformDC* (*GetDC)(PlatformWindow* window);
  int (*ReleaseDC)(PlatformWindow* window, PlatformDC* dc);
  // A memory DC in dc's format, holding a 1x1 bitmap until another is selected.
  PlatformDC* (*CreateCompatibleDC)(PlatformDC* dc);
  int (*DeleteDC)(PlatformDC* dc);
  int32_t (*GetDeviceCaps)(PlatformDC* dc, int32_t index);

  // A bitmap whose pixels the caller writes at *bits: rows of
  // (width x bit_count / 8) rounded up to 4 bytes, top-down for a negative
  // height; null when the format is not one of 16 (BI_BITFIELDS), 24
  // (BI_RGB) or 32 bits (either).
  PlatformBitmap* (*CreateDIBSection)(PlatformDC* dc, const BitmapInfo* info, uint32_t usage, void** bits);
  PlatformBitmap* (*CreateCompatibleBitmap)(PlatformDC* dc, int32_t width, int32_t height);
  // With bits null: fills info's header from the bitmap when its bit_count
  // is 0; when bit_count is already set, also the colour masks (for
  // BI_BITFIELDS). Returns nonzero on success.
  int32_t (*GetDIBits)(PlatformDC* dc, PlatformBitmap* bitmap, uint32_t start, uint32_t lines, void* bits,
                       BitmapInfo* info, uint32_t usage);
  // Selects a bitmap into a memory DC and returns the one it replaced.
  PlatformBitmap* (*SelectObject)(PlatformDC* dc, PlatformBitmap* bitmap);
  int (*DeleteObject)(PlatformBitmap* bitmap);

  int32_t (*SetStretchBltMode)(PlatformDC* dc, int32_t mode);
  int (*StretchBlt)(PlatformDC* dst, int32_t x, int32_t y, int32_t width, int32_t height, PlatformDC* src,
                    int32_t src_x, int32_t src_y, int32_t src_width, int32_t src_height, uint32_t rop);
  int (*PatBlt)(PlatformDC* dc, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rop);
  ColourRef (*GetPixel)(PlatformDC* dc, int32_t x, int32_t y);
  ColourRef (*SetPixel)(PlatformDC* dc, int32_t x, int32_t y, ColourRef colour);

  // Text: size of length bytes of text (UTF-8) in the DC's font.
  int (*GetTextExtentPoint32)(PlatformDC* dc, const char* text, int32_t length, DisplaySize* size);
  ColourRef (*SetTextColor)(PlatformDC* dc, ColourRef colour);
  ColourRef (*SetBkColor)(PlatformDC* dc, ColourRef colour);
  uint32_t (*SetTextAlign)(PlatformDC* dc, uint32_t align);
  // Draws the text with its reference point at (x, y) (TA_CENTER: top
  // centre); ETO_OPAQUE first fills rect with the background colour.
  int (*ExtTextOut)(PlatformDC* dc, int32_t x, int32_t y, uint32_t options, const DisplayRect* rect,
                    const char* text, uint32_t length);
};
