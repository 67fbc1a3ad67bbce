#include "display/copy_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "display/copy_flags.h"

namespace {

// Chroma input of a grayscale copy: neutral samples, enough for a chunk of
// kGrayChunk pixels starting on any column.
constexpr uint32_t kGrayChunk = 256;
alignas(16) constexpr uint8_t kGrayRow[kGrayChunk / 2 + 16] = {
#define VEXA_G8 128, 128, 128, 128, 128, 128, 128, 128
    VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8,
    VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8, VEXA_G8,
#undef VEXA_G8
};

struct RowSources {
  const uint8_t* y;
  const uint8_t* a;
  const uint8_t* v;
  const uint8_t* u;
};

// Everything that stays the same across the rows of one walk.
struct Walk {
  const ConverterSet* conv;
  CopyContext ctx;
  bool grayscale;
  uint32_t src_x;
  uint32_t dest_x;
  uint32_t x_scale;    // 2 when the width is doubled
  uint32_t chunk;     // pixels per converter call
  alignas(16) uint8_t scratch[kScratchBytes];
};

// Converts pixels [start, end) of one row into the destination row, and
// copies what it wrote into `copyRow` as well when that is not null.
void ConvertSpan(Walk& w, const RowSources& src, uint8_t* destRow, uint8_t* copyRow, uint8_t* vRow, uint8_t* uRow,
                 uint32_t start, uint32_t end) {
  const ConverterSet& conv = *w.conv;
  CopyContext& ctx = w.ctx;
  uint32_t col = start;
  while (col < end) {
    const uint32_t n = std::min(w.chunk, end - col);
    ctx.y = src.y + col;
    ctx.a = src.a ? src.a + col : nullptr;
    ctx.v = w.grayscale ? kGrayRow : src.v + col / 2;
    ctx.u = w.grayscale ? kGrayRow : src.u + col / 2;
    const size_t offset = static_cast<size_t>(col - w.src_x) * conv.bytes_per_pixel;
    uint8_t* out = destRow + offset;
    ctx.dst_v = ctx.dst_u = nullptr;
    if (vRow) {
      const size_t pair = (w.dest_x + static_cast<size_t>(col - w.src_x) * w.x_scale) / 2;
      ctx.dst_v = vRow + pair;
      ctx.dst_u = uRow + pair;
    }
    uint32_t left;
    if (conv.second) {
      ctx.dst = w.scratch;
      left = conv.row(&ctx, n, col);
      conv.second(out, w.scratch, n - left);
    } else {
      ctx.dst = out;
      left = conv.row(&ctx, n, col);
    }
    if (copyRow) std::memcpy(copyRow + offset, out, static_cast<size_t>(n - left) * conv.bytes_per_pixel);
    col += n - left;
  }
}

}  // namespace

void WalkCopy(const ConverterSet& conv, uint32_t copyFlags, const CopyPlanes& planes, uint8_t* dest,
              int32_t pitch, uint32_t rowLimit, uint32_t destHeight, uint32_t destX, uint32_t destY,
              CopyRect source, bool changedOnly) {
  if (!conv.row || source.width == 0 || source.height == 0) return;
  const uint32_t mode = conv.mode;
  const bool alphaAsLuma = (copyFlags & COPY_ALPHA_AS_LUMA) && planes.alpha;
  const bool swapped = (copyFlags & COPY_SWAPPED_CHROMA) != 0;

  Walk w;
  w.conv = &conv;
  w.ctx = CopyContext{};
  w.ctx.layout = conv.layout;
  w.ctx.tables = conv.tables;
  w.ctx.dest_parity = (destX ^ source.x) & 1;
  w.ctx.first_column = source.x;
  w.grayscale = (copyFlags & COPY_GRAYSCALE) != 0;
  w.src_x = source.x;
  w.dest_x = destX;
  w.x_scale = CopyModeDoublesWidth(mode) ? 2 : 1;
  w.chunk = conv.second ? (kScratchBytes >> conv.chunk_shift) : ~0u;
  if (w.grayscale) w.chunk = std::min(w.chunk, kGrayChunk);

  // Keep every row inside |pitch| bytes: clip the width to what fits right of destX.
  const uint64_t rowBytes = pitch < 0 ? -static_cast<int64_t>(pitch) : pitch;
  const uint32_t destPixelBytes = conv.planar ? 1 : conv.bytes_per_pixel / w.x_scale;
  const uint64_t usable = conv.planar ? (rowBytes & ~1ull) : rowBytes;
  const uint64_t destPixels = usable / destPixelBytes;
  if (destX >= destPixels) return;
  const uint64_t fitting = (destPixels - destX) / w.x_scale;
  if (fitting == 0) return;
  if (source.width > fitting) source.width = static_cast<uint32_t>(fitting);

  const uint8_t* yPlane = alphaAsLuma ? planes.alpha : planes.y;
  const int32_t yPitch = alphaAsLuma ? planes.alpha_pitch : planes.y_pitch;
  const uint8_t* aPlane = conv.with_alpha ? (alphaAsLuma ? planes.y : planes.alpha) : nullptr;
  const int32_t aPitch = alphaAsLuma ? planes.y_pitch : planes.alpha_pitch;
  const uint8_t* vPlane = swapped ? planes.chroma2 : planes.chroma1;
  const int32_t vPitch = swapped ? planes.chroma2_pitch : planes.chroma1_pitch;
  const uint8_t* uPlane = swapped ? planes.chroma1 : planes.chroma2;
  const int32_t uPitch = swapped ? planes.chroma1_pitch : planes.chroma2_pitch;

  // Planar destination: V then U, each of half the pitch and half the height.
  uint8_t* vDest = nullptr;
  uint8_t* uDest = nullptr;
  const size_t chromaPitch = static_cast<size_t>(pitch) / 2;
  const uint32_t chromaRows = destHeight / 2;
  if (conv.planar) {
    vDest = dest + static_cast<size_t>(pitch) * destHeight;
    uDest = vDest + chromaPitch * chromaRows;
  }

  // Rows: mode 6 converts every other source row (from half the start row);
  // modes 1 and 4 write each row twice; modes 2, 5 and 6 every other row.
  const bool halfHeight = mode == COPY_MODE_HALF_HEIGHT;
  const uint32_t firstWalkRow = halfHeight ? source.y / 2 : source.y;
  const uint32_t rowCount = halfHeight ? source.height / 2 : source.height;
  const uint32_t destStep = (CopyModeDoublesHeight(mode) || CopyModeInterlaces(mode)) ? 2 : 1;
  const uint32_t repeats = CopyModeDoublesHeight(mode) ? 2 : 1;

  const uint32_t firstBlock = source.x / 16;
  const uint32_t lastBlock = (source.x + source.width - 1) / 16;
  const uint32_t rectEnd = source.x + source.width;

  // The source rows that feed a picture row (chroma is shared by pairs of rows).
  auto sourcesOf = [&](uint32_t srcRow) {
    return RowSources{yPlane + static_cast<ptrdiff_t>(srcRow) * yPitch,
                      aPlane ? aPlane + static_cast<ptrdiff_t>(srcRow) * aPitch : nullptr,
                      vPlane + static_cast<ptrdiff_t>(srcRow / 2) * vPitch,
                      uPlane + static_cast<ptrdiff_t>(srcRow / 2) * uPitch};
  };

  // The usual copy, whole rows of a packed surface through a one-stage
  // converter: the same calls with less work around each row.
  if (!conv.second && !conv.planar && !w.grayscale && repeats == 1 && !(changedOnly && planes.change_map)) {
    CopyContext& ctx = w.ctx;
    for (uint32_t i = 0; i < rowCount; ++i) {
      const uint32_t walkRow = firstWalkRow + i;
      const uint32_t srcRow = halfHeight ? 2 * walkRow : walkRow;
      const uint64_t destRow = static_cast<uint64_t>(destY) + static_cast<uint64_t>(i) * destStep;
      if (srcRow >= planes.height || destRow >= rowLimit) break;
      if (conv.layout) std::memcpy(ctx.dither, conv.layout->dither[walkRow & 1], sizeof ctx.dither);
      const RowSources src = sourcesOf(srcRow);
      uint8_t* rowStart = dest + static_cast<ptrdiff_t>(destRow) * pitch + static_cast<size_t>(destX) * destPixelBytes;
      ctx.y = src.y + source.x;
      ctx.a = src.a ? src.a + source.x : nullptr;
      ctx.v = src.v + source.x / 2;
      ctx.u = src.u + source.x / 2;
      ctx.dst = rowStart;
      // A row that ends inside a pair leaves its last pixel for a call of its own.
      if (conv.row(&ctx, source.width, source.x) != 0)
        ConvertSpan(w, src, rowStart, nullptr, nullptr, nullptr, rectEnd - 1, rectEnd);
    }
    return;
  }

  for (uint32_t i = 0; i < rowCount; ++i) {
    const uint32_t walkRow = firstWalkRow + i;
    const uint32_t srcRow = halfHeight ? 2 * walkRow : walkRow;
    if (srcRow >= planes.height) break;
    // The dither pattern is fixed to picture rows and columns.
    if (conv.layout) std::memcpy(w.ctx.dither, conv.layout->dither[walkRow & 1], sizeof w.ctx.dither);
    const RowSources src = sourcesOf(srcRow);
    const uint8_t* mapRow =
        changedOnly && planes.change_map ? planes.change_map + static_cast<size_t>(srcRow / 16) * planes.change_map_pitch
                                        : nullptr;
    for (uint32_t rep = 0; rep < repeats; ++rep) {
      const uint64_t destRow = static_cast<uint64_t>(destY) + static_cast<uint64_t>(i) * destStep + rep;
      if (destRow >= rowLimit) break;
      // A doubled row of a packed surface is the row above again: convert
      // once and copy. (Planar rows differ in whether they carry chroma.)
      uint8_t* copyRow = nullptr;
      if (repeats == 2 && !conv.planar) {
        if (rep == 1) break;
        if (destRow + 1 < rowLimit) {
          copyRow = dest + static_cast<ptrdiff_t>(destRow + 1) * pitch + static_cast<size_t>(destX) * destPixelBytes;
        }
      }
      uint8_t* rowStart = dest + static_cast<ptrdiff_t>(destRow) * pitch +
                          static_cast<size_t>(destX) * destPixelBytes;
      uint8_t* vRow = nullptr;
      uint8_t* uRow = nullptr;
      // A planar row carries the chroma of its destination pair of rows: the
      // even row of the pair writes it, or the first row written when the
      // rectangle starts on an odd row.
      if (conv.planar && ((destRow & 1) == 0 || (i == 0 && rep == 0)) && destRow / 2 < chromaRows) {
        vRow = vDest + static_cast<size_t>(destRow / 2) * chromaPitch;
        uRow = uDest + static_cast<size_t>(destRow / 2) * chromaPitch;
      }
      if (!mapRow) {
        ConvertSpan(w, src, rowStart, copyRow, vRow, uRow, source.x, rectEnd);
        continue;
      }
      // Runs of changed blocks, clipped to the rectangle.
      uint32_t b = firstBlock;
      while (b <= lastBlock) {
        if (!mapRow[b]) {
          ++b;
          continue;
        }
        uint32_t e = b;
        while (e + 1 <= lastBlock && mapRow[e + 1]) ++e;
        const uint32_t start = std::max(b * 16, source.x);
        const uint32_t end = std::min((e + 1) * 16, rectEnd);
        ConvertSpan(w, src, rowStart, copyRow, vRow, uRow, start, end);
        b = e + 1;
      }
    }
  }
}

bool CopyPictureToSurface(const CopyPlanes& planes, uint8_t* dest, int32_t pitch, uint32_t destHeight,
                          uint32_t destX, uint32_t destY, CopyRect source, uint32_t copyFlags,
                          bool changedOnly, uint32_t features) {
  if (!dest || !planes.y) return false;
  if (!planes.alpha) copyFlags &= ~COPY_ALPHA_AS_LUMA;
  ConverterSet conv;
  if (!SelectConverterFor(&conv, copyFlags, planes.alpha != nullptr, features)) return false;
  if (conv.planar && pitch < 0) return false;
  // Clamp the rectangle to the picture.
  source.x = std::min(source.x, planes.width);
  source.y = std::min(source.y, planes.height);
  source.width = std::min(source.width, planes.width - source.x);
  source.height = std::min(source.height, planes.height - source.y);
  if (source.width == 0 || source.height == 0) return true;
  uint32_t rowLimit = destHeight;
  if (pitch < 0) {
    // Bottom-up: start at the last stored row, which shows as row destY.
    if (destY >= destHeight) return true;
    dest += static_cast<ptrdiff_t>(pitch) * (static_cast<int64_t>(destY) - destHeight + 1);
    rowLimit = destHeight - destY;
    destY = 0;
  }
  WalkCopy(conv, copyFlags, planes, dest, pitch, rowLimit, destHeight, destX, destY, source, changedOnly);
  return true;
}
