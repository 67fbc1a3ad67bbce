// The colour converters' table of routines (base/kernel_table.h): for every
// surface type the row converter without and with the alpha plane, the name
// of the converter, and the second stage that packs 32-bit pixels to 24-bit
// ones. The plain converters fill it first; the vector sets override what
// they have. Display modes are applied to the chosen entry afterwards.
#pragma once
#include <cstdint>

#include "base/kernel_table.h"
#include "display/converter.h"
#include "display/copy_flags.h"

struct ConverterKernels {
  RowConverter row[kSurfaceTypeCount][2];  // [type][alpha plane written]
  const char* name[kSurfaceTypeCount][2];
  SecondStage pack24;
  // One-stage converters of the 24-bit types 1 and 2 ([type - 1]) that write
  // three bytes a pixel straight into the row; null where the 24-bit types
  // take the two-stage path (32-bit converter, then pack24).
  RowConverter row24[2];
  const char* name24;
};

// Whether the type has an alpha field, so that [type][1] differs from [type][0].
inline constexpr bool SurfaceHasAlpha(uint32_t type) { return type >= 5 && type <= 8; }

// The plain table, built on first use.
const ConverterKernels& PlainConverterKernels();
// The vector sets in the order they override the plain one.
extern const KernelSet<ConverterKernels> kConverterSets[4];
// The table for a feature word.
ConverterKernels ConverterKernelsFor(uint32_t features);
// The table for UsableFeatures(), chosen again when the feature mask
// changes; `features` receives the word it was built for.
const ConverterKernels& ActiveConverterKernels(uint32_t* features);
