// Converter selection: the candidates in order of preference, then the
// display mode applied to the chosen converter.
#include <cstring>

#include "display/convert_plain.h"
#include "display/convert_simd.h"
#include "display/converter.h"
#include "display/copy_flags.h"
#include "base/cpu_features.h"

namespace {

// One candidate: the surface types it serves, what it needs, and how it
// fills the converter set for an accepted type.
struct Candidate {
  const char* name;
  uint32_t types;     // bit per surface type
  uint32_t features;  // feature bits it needs (all of them)
  bool needs_alpha;
  RowConverter (*row)(uint32_t type, bool alpha);
};

constexpr uint32_t Bits(std::initializer_list<uint32_t> types) {
  uint32_t m = 0;
  for (uint32_t t : types) m |= 1u << t;
  return m;
}

RowConverter PlainRgb(uint32_t type, bool alpha) {
  return PlainRgbConverter(LayoutOfSurfaceType(type)->bytes_per_pixel, alpha);
}
RowConverter PlainYuv(uint32_t type, bool) { return PlainPackedYuvConverter(type, false); }
RowConverter PlainPlanar(uint32_t, bool) { return PlainPlanarConverter(false); }
RowConverter Sse2Yuv(uint32_t type, bool) { return Sse2PackedYuvConverter(type); }

constexpr uint32_t kAlpha32 = Bits({5, 6});
constexpr uint32_t kRgb32 = Bits({1, 2, 3, 4, 5, 6});
constexpr uint32_t kAlpha16 = Bits({7, 8});
constexpr uint32_t kRgb16 = Bits({7, 8, 9, 10, 11, 12});
constexpr uint32_t kPackedYuv = Bits({13, 14});
constexpr uint32_t kPalette = Bits({0});

// Vector candidates first, widest first; the plain ones serve everything.
const Candidate kCandidates[] = {
    {"avx2 32-bit alpha", kAlpha32, CPU_AVX2, true, &Avx2RgbConverter},
    {"avx2 24/32-bit", kRgb32, CPU_AVX2, false, &Avx2RgbConverter},
    {"avx2 16-bit alpha", kAlpha16, CPU_AVX2, true, &Avx2RgbConverter},
    {"avx2 16-bit", kRgb16, CPU_AVX2, false, &Avx2RgbConverter},
    {"avx2 8-bit palette", kPalette, CPU_AVX2, false, &Avx2RgbConverter},
    {"sse2 32-bit alpha", kAlpha32, CPU_SSE2, true, &Sse2RgbConverter},
    {"sse2 24/32-bit", kRgb32, CPU_SSE2, false, &Sse2RgbConverter},
    {"sse2 16-bit alpha", kAlpha16, CPU_SSE2, true, &Sse2RgbConverter},
    {"sse2 16-bit", kRgb16, CPU_SSE2, false, &Sse2RgbConverter},
    {"sse2 packed yuv", kPackedYuv, CPU_SSE2, false, &Sse2Yuv},
    {"sse2 8-bit palette", kPalette, CPU_SSE2, false, &Sse2RgbConverter},
    {"plain 32-bit alpha", kAlpha32, 0, true, &PlainRgb},
    {"plain 24/32-bit", kRgb32, 0, false, &PlainRgb},
    {"plain 16-bit alpha", kAlpha16, 0, true, &PlainRgb},
    {"plain 16-bit", kRgb16, 0, false, &PlainRgb},
    {"plain packed yuv", kPackedYuv, 0, false, &PlainYuv},
    {"planar yuv", Bits({15}), 0, false, &PlainPlanar},
    {"plain 8-bit palette", kPalette, 0, false, &PlainRgb},
};

uint32_t g_featureMask = ~0u;
ConverterSet g_installed{};

}  // namespace

bool SelectConverterFor(ConverterSet* out, uint32_t copyFlags, bool hasAlpha, uint32_t features) {
  *out = ConverterSet{};
  const uint32_t type = CopyTypeOf(copyFlags);
  uint32_t mode = CopyModeOf(copyFlags);
  if (mode == COPY_MODE_SAME_AS_NONE) mode = COPY_MODE_NONE;
  for (const Candidate& c : kCandidates) {
    if (!(c.types & (1u << type)) || (c.features & features) != c.features) continue;
    if (c.needs_alpha && !hasAlpha) continue;
    const RowConverter row = c.row(type, c.needs_alpha);
    if (!row) continue;
    ConverterSet s{};
    s.row = row;
    s.surface_type = type;
    s.mode = mode;
    s.with_alpha = c.needs_alpha;
    s.name = c.name;
    const bool doubled = CopyModeDoublesWidth(mode);
    if (type <= 12) {
      s.layout = LayoutOfSurfaceType(type);
      s.tables = PackTablesOfSurfaceType(type);
      const uint32_t bytes = s.layout->bytes_per_pixel;
      const bool pack24 = type == SURFACE_BGR24 || type == SURFACE_RGB24;
      s.chunk_shift = bytes == 4 ? 2 : (bytes == 2 ? 1 : 0);
      s.second = PlainSecondStage(bytes, pack24, doubled);
      if (pack24 && !doubled && (features & CPU_SSSE3) && Ssse3Pack24Stage()) s.second = Ssse3Pack24Stage();
      s.bytes_per_pixel = (pack24 ? 3 : bytes) * (doubled ? 2 : 1);
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
  return false;
}

uint32_t ConverterFeatures() { return ProcessorFeatures() & g_featureMask; }

void SetConverterFeatureMask(uint32_t mask) { g_featureMask = mask; }

bool SelectConverter(uint32_t copyFlags, bool hasAlpha) {
  return SelectConverterFor(&g_installed, copyFlags, hasAlpha, ConverterFeatures());
}

const ConverterSet* InstalledConverter() { return &g_installed; }
