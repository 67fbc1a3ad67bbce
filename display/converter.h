// Row converters: the family of routines that turn a span of one picture row
// (luma, chroma and alpha samples) into pixels of a surface type, and the
// selection of the converter for a copy.
//
// Converters work on pairs of pixels that share a chroma sample. A span that
// starts on an odd column converts its leading pixel alone; a span that would
// end between the two pixels of a pair leaves its last pixel unconverted and
// reports it, so the caller offers it again with the next span (a span of a
// single pixel is always converted).
#pragma once
#include <cstdint>

#include "display/pixel_layouts.h"

// What the row walk hands to a converter for one span. All source pointers
// point at the span's first pixel (chroma: at the sample of its pair).
struct CopyContext {
  uint8_t* dst;               // first destination byte (or the scratch row of a two-stage converter)
  const uint8_t* y;           // luma samples
  const uint8_t* v;           // red-difference chroma
  const uint8_t* u;           // blue-difference chroma
  const uint8_t* a;           // alpha samples; null when the picture has none
  uint8_t* dst_v;             // planar type: destination V and U bytes of the span's
  uint8_t* dst_u;             //   first pair, null on rows that write no chroma
  uint32_t dest_parity;       // planar type: 1 when destination and source columns differ in parity
  uint32_t first_column;      // planar type: the rectangle's first source column
  const PixelLayout* layout;  // RGB types: channel layout
  const PackTables* tables;   // RGB types: its clamp-and-pack tables
  int16_t dither[2][3];       // the row's offsets [column parity][channel]
};

// Converts up to `count` pixels starting at picture column `column`; returns
// how many it left unconverted (0 or 1).
using RowConverter = uint32_t (*)(const CopyContext* ctx, uint32_t count, uint32_t column);
// Expands `pixels` first-stage pixels of the scratch row into the destination.
using SecondStage = void (*)(uint8_t* dst, const uint8_t* scratch, uint32_t pixels);

// Scratch row of a two-stage converter: 512 bytes, that is 512 >> chunk_shift pixels.
inline constexpr uint32_t kScratchBytes = 512;

struct ConverterSet {
  RowConverter row;
  SecondStage second;        // null for a one-stage converter
  uint32_t bytes_per_pixel;  // destination bytes per source pixel (doubled by width doubling)
  uint32_t chunk_shift;      // chunk = 512 >> chunk_shift pixels
  uint32_t surface_type;
  uint32_t mode;              // display mode 0-6 (7 is folded into 0)
  const PixelLayout* layout;  // RGB types; null for the YUV types
  const PackTables* tables;
  bool with_alpha;   // the converter writes the alpha plane's samples
  bool planar;       // type 15: luma row plus chroma planes
  const char* name;  // candidate name, for tests and benchmarks
};

// Chooses the converter for the copy flags' surface type and display mode,
// given whether the frame has an alpha plane, from the converters a feature
// word allows (CPU_SSE2, CPU_SSSE3, CPU_AVX2, CPU_AVX512 of base/cpu_features.h; the
// copy-out passes UsableFeatures()). False when no converter serves the
// type; `out` is then cleared.
bool SelectConverterFor(ConverterSet* out, uint32_t copyFlags, bool hasAlpha, uint32_t features);

// Installs the converter for a copy in the process-wide converter set, as
// SelectConverterFor with the process's features. False leaves no converter.
bool SelectConverter(uint32_t copyFlags, bool hasAlpha);
// The converter SelectConverter installed last (row null when none).
const ConverterSet* InstalledConverter();
