#include <cstdint>

#include "base/cpu_features.h"
#include "display/convert_plain.h"
#include "display/convert_simd.h"
#include "display/converter_kernels.h"
#include "display/pixel_layouts.h"

namespace {

// A set's converter names, by family.
struct FamilyNames {
  const char* palette;
  const char* rgb32;
  const char* alpha32;
  const char* rgb16;
  const char* alpha16;
  const char* packed_yuv;
  const char* planar;
};
constexpr FamilyNames kPlainNames = {"plain 8-bit palette", "plain 24/32-bit", "plain 32-bit alpha", "plain 16-bit",
                                     "plain 16-bit alpha",  "plain packed yuv", "planar yuv"};
constexpr FamilyNames kSse2Names = {"sse2 8-bit palette", "sse2 24/32-bit",  "sse2 32-bit alpha", "sse2 16-bit",
                                    "sse2 16-bit alpha",  "sse2 packed yuv", nullptr};
constexpr FamilyNames kAvx2Names = {"avx2 8-bit palette", "avx2 24/32-bit", "avx2 32-bit alpha", "avx2 16-bit",
                                    "avx2 16-bit alpha",  "avx2 packed yuv", nullptr};
constexpr FamilyNames kAvx512Names = {nullptr, "avx512 24/32-bit", "avx512 32-bit alpha", nullptr,
                                      nullptr, "avx512 packed yuv", nullptr};

const char* NameOf(const FamilyNames& n, uint32_t type, bool alpha) {
  if (type == 0) return n.palette;
  if (type <= 6) return alpha ? n.alpha32 : n.rgb32;
  if (type <= 12) return alpha ? n.alpha16 : n.rgb16;
  return type <= 14 ? n.packed_yuv : n.planar;
}

// Puts a converter for both alpha entries of a type (the alpha one only
// where the type has an alpha field); null leaves an entry as it is.
template <typename Get>
void Override(ConverterKernels* t, const FamilyNames& names, uint32_t type, Get get) {
  for (uint32_t a = 0; a < 2; ++a) {
    const bool alpha = a == 1 && SurfaceHasAlpha(type);
    if (const RowConverter row = get(type, alpha)) {
      t->row[type][a] = row;
      t->name[type][a] = NameOf(names, type, alpha);
    }
  }
}

ConverterKernels BuildPlain() {
  ConverterKernels t{};
  for (uint32_t type = 0; type <= 12; ++type)
    Override(&t, kPlainNames, type, [](uint32_t ty, bool alpha) {
      return PlainRgbConverter(LayoutOfSurfaceType(ty)->bytes_per_pixel, alpha);
    });
  for (uint32_t type : {13u, 14u})
    Override(&t, kPlainNames, type, [](uint32_t ty, bool) { return PlainPackedYuvConverter(ty, false); });
  Override(&t, kPlainNames, 15, [](uint32_t, bool) { return PlainPlanarConverter(false); });
  t.pack24 = PlainSecondStage(4, true, false);
  return t;
}

void Sse2Override(ConverterKernels* t) {
  for (uint32_t type = 0; type <= 12; ++type) Override(t, kSse2Names, type, &Sse2RgbConverter);
  for (uint32_t type : {13u, 14u})
    Override(t, kSse2Names, type, [](uint32_t ty, bool) { return Sse2PackedYuvConverter(ty); });
}

void Ssse3Override(ConverterKernels* t) {
  if (const SecondStage pack = Ssse3Pack24Stage()) t->pack24 = pack;
}

void Avx2Override(ConverterKernels* t) {
  for (uint32_t type = 0; type <= 12; ++type) Override(t, kAvx2Names, type, &Avx2RgbConverter);
  for (uint32_t type : {13u, 14u})
    Override(t, kAvx2Names, type, [](uint32_t ty, bool) { return Avx2PackedYuvConverter(ty); });
  for (uint32_t type : {1u, 2u}) {
    if (const RowConverter row = Avx2Rgb24Converter(type)) {
      t->row24[type - 1] = row;
      t->name24 = "avx2 24-bit";
    }
  }
}

void Avx512Override(ConverterKernels* t) {
  for (uint32_t type = 1; type <= 6; ++type) Override(t, kAvx512Names, type, &Avx512RgbConverter);
  for (uint32_t type : {13u, 14u})
    Override(t, kAvx512Names, type, [](uint32_t ty, bool) { return Avx512PackedYuvConverter(ty); });
  for (uint32_t type : {1u, 2u}) {
    if (const RowConverter row = Avx512Rgb24Converter(type)) {
      t->row24[type - 1] = row;
      t->name24 = "avx512 24-bit";
    }
  }
}

ConverterKernels g_active{};
uint32_t g_active_features = ~0u;  // no feature word has every bit

void ChooseConverters(uint32_t usable) {
  g_active = ConverterKernelsFor(usable);
  g_active_features = usable;
}
[[maybe_unused]] const bool kRegistered = RegisterFeatureChoice(&ChooseConverters);

}  // namespace

const KernelSet<ConverterKernels> kConverterSets[4] = {
    {"sse2", CPU_SSE2, &Sse2Override},
    {"ssse3", CPU_SSSE3, &Ssse3Override},
    {"avx2", CPU_AVX2, &Avx2Override},
    {"avx512", CPU_AVX512, &Avx512Override},
};

const ConverterKernels& PlainConverterKernels() {
  static const ConverterKernels plain = BuildPlain();
  return plain;
}

ConverterKernels ConverterKernelsFor(uint32_t features) {
  return BuildKernelTable(PlainConverterKernels(), kConverterSets, features);
}

const ConverterKernels& ActiveConverterKernels(uint32_t* features) {
  *features = g_active_features;
  return g_active;
}
