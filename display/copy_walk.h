// The row walk of a frame copy: maps a rectangle of the decoded picture onto
// a destination surface, applies the display mode, grayscale, swapped chroma
// and alpha as luma, and runs the converter over every row, either over the
// whole rectangle or only over the 16x16 blocks the last decode changed.
#pragma once
#include <cstdint>

#include "display/converter.h"

// A decoded picture as the copy reads it.
struct CopyPlanes {
  const uint8_t* y;
  int32_t y_pitch;
  const uint8_t* chroma1;  // red difference unless the chroma is swapped
  int32_t chroma1_pitch;
  const uint8_t* chroma2;  // blue difference unless the chroma is swapped
  int32_t chroma2_pitch;
  const uint8_t* alpha;    // null when the picture has no alpha plane
  int32_t alpha_pitch;
  uint32_t width, height;  // picture size; rectangles are clamped to it
  // One byte per 16x16 block, non-zero where the last decode changed it;
  // (width + 15) / 16 blocks a row at change_map_pitch bytes. May be null
  // (then every copy converts the whole rectangle).
  const uint8_t* change_map;
  uint32_t change_map_pitch;
};

struct CopyRect {
  uint32_t x, y, width, height;
};

// Converts `source` (picture pixels, clamped to the picture) into the surface
// at (destX, destY): dest is the surface's first byte, pitch its row pitch in
// bytes (negative: a bottom-up surface whose rows are stored last row first,
// dest still its lowest address), destHeight its height in rows. Rows and
// columns that would fall outside the surface (its height, or a row of |pitch|
// bytes) are not written. changedOnly converts only the blocks the change
// map marks. Returns false, writing nothing, when no converter serves the
// copy flags' surface type, or for a planar surface with a negative pitch.
bool CopyPictureToSurface(const CopyPlanes& planes, uint8_t* dest, int32_t pitch, uint32_t destHeight,
                          uint32_t destX, uint32_t destY, CopyRect source, uint32_t copyFlags,
                          bool changedOnly, uint32_t features);

// The walk itself, for a converter already chosen and a rectangle already
// clamped to the picture; dest and destY as adjusted for a negative pitch,
// rowLimit the number of surface rows from dest's row 0 in pitch direction.
void WalkCopy(const ConverterSet& conv, uint32_t copyFlags, const CopyPlanes& planes, uint8_t* dest,
              int32_t pitch, uint32_t rowLimit, uint32_t destHeight, uint32_t destX, uint32_t destY,
              CopyRect source, bool changedOnly);
