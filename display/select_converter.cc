// Converter selection: the table's entry for the surface type, then the
// display mode applied to it.
#include "base/cpu_features.h"
#include "display/convert_plain.h"
#include "display/converter.h"
#include "display/converter_kernels.h"
#include "display/copy_flags.h"

namespace {

ConverterSet g_installed{};

// Features that some vector set needs; a word without any of them gets the
// plain table.
constexpr uint32_t kVectorFeatures = CPU_SSE2 | CPU_SSSE3 | CPU_AVX2 | CPU_AVX512;

}  // namespace

bool SelectConverterFor(ConverterSet* out, uint32_t copyFlags, bool hasAlpha, uint32_t features) {
  *out = ConverterSet{};
  const uint32_t type = CopyTypeOf(copyFlags);
  uint32_t mode = CopyModeOf(copyFlags);
  if (mode == COPY_MODE_SAME_AS_NONE) mode = COPY_MODE_NONE;
  uint32_t active_features = 0;
  const ConverterKernels* table = &ActiveConverterKernels(&active_features);
  ConverterKernels built;
  if (features != active_features) {
    if (features & kVectorFeatures) {
      built = ConverterKernelsFor(features);
      table = &built;
    } else {
      table = &PlainConverterKernels();
    }
  }
  const bool alpha = hasAlpha && SurfaceHasAlpha(type);
  ConverterSet s{};
  s.row = table->row[type][alpha];
  if (!s.row) return false;
  s.surface_type = type;
  s.mode = mode;
  s.with_alpha = alpha;
  s.name = table->name[type][alpha];
  const bool doubled = CopyModeDoublesWidth(mode);
  if (type <= 12) {
    s.layout = LayoutOfSurfaceType(type);
    s.tables = PackTablesOfSurfaceType(type);
    const uint32_t bytes = s.layout->bytes_per_pixel;
    const bool pack24 = type == SURFACE_BGR24 || type == SURFACE_RGB24;
    s.chunk_shift = bytes == 4 ? 2 : (bytes == 2 ? 1 : 0);
    s.second = pack24 && !doubled ? table->pack24 : PlainSecondStage(bytes, pack24, doubled);
    s.bytes_per_pixel = (pack24 ? 3 : bytes) * (doubled ? 2 : 1);
    if (pack24 && !doubled && table->row24[type - 1]) {
      // Straight to three bytes a pixel, no scratch row.
      s.row = table->row24[type - 1];
      s.second = nullptr;
      s.name = table->name24;
    }
  } else if (type <= 14) {
    // Width doubling of the packed YUV types keeps every destination pair
    // whole, so it is a converter of its own rather than a second stage.
    if (doubled) s.row = PlainPackedYuvConverter(type, true);
    s.chunk_shift = 1;
    s.bytes_per_pixel = doubled ? 4 : 2;
  } else {
    if (doubled) s.row = PlainPlanarConverter(true);
    s.planar = true;
    s.bytes_per_pixel = doubled ? 2 : 1;
  }
  *out = s;
  return true;
}

bool SelectConverter(uint32_t copyFlags, bool hasAlpha) {
  return SelectConverterFor(&g_installed, copyFlags, hasAlpha, UsableFeatures());
}

const ConverterSet* InstalledConverter() { return &g_installed; }
