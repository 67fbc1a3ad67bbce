// Fuzzes the copy of a picture into a surface: picture size, surface
// geometry (pitch, height, position, bottom-up), rectangle, surface type,
// display mode and options all come from the input, and every buffer has
// exactly its documented size, so any write outside the surface is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/copy_flags.h"
#include "base/cpu_features.h"
#include "display/copy_walk.h"
#include "display/converter.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  uint32_t Byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  uint32_t Word() { return Byte() | (Byte() << 8); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint32_t width = 1 + in.Byte() % 96, height = 1 + in.Byte() % 48;
  const uint32_t options = in.Byte();
  const bool alpha = options & 1;
  const bool changedOnly = options & 2;
  const uint32_t features = (options & 4) ? ~0u : 0u;
  uint32_t flags = in.Byte() & 0xF;
  flags |= (in.Byte() & 7) << COPY_MODE_SHIFT;
  if (options & 8) flags |= COPY_GRAYSCALE;
  if (options & 16) flags |= COPY_SWAPPED_CHROMA;
  if (options & 32) flags |= COPY_ALPHA_AS_LUMA;
  const int32_t pitch = static_cast<int32_t>(in.Word() % 1024) * ((options & 64) ? -1 : 1);
  const uint32_t destHeight = in.Byte() % 128;
  const uint32_t destX = in.Byte() % 200, destY = in.Byte() % 140;
  const CopyRect rect{in.Byte() % 128, in.Byte() % 64, in.Byte() % 128, in.Byte() % 64};

  // Planes of the decoder's shape: width and height rounded up to 8.
  const uint32_t yw = (width + 7) & ~7u, yh = (height + 7) & ~7u;
  const uint32_t cw = (((width + 1) / 2) + 7) & ~7u, ch = (((height + 1) / 2) + 7) & ~7u;
  std::vector<uint8_t> y(yw * yh), c1(cw * ch), c2(cw * ch), a(alpha ? yw * yh : 0);
  std::vector<uint8_t> map(((width + 15) / 16) * ((height + 15) / 16));
  for (auto* plane : {&y, &c1, &c2, &a, &map}) {
    for (auto& b : *plane) b = static_cast<uint8_t>(in.Byte() * 37 + 11);
  }
  CopyPlanes planes{y.data(), int32_t(yw), c1.data(), int32_t(cw), c2.data(), int32_t(cw),
                    alpha ? a.data() : nullptr, int32_t(yw), width, height, map.data(), (width + 15) / 16};

  const size_t rowBytes = static_cast<size_t>(pitch < 0 ? -pitch : pitch);
  size_t bytes = rowBytes * destHeight;
  if ((flags & 0xF) == SURFACE_YV12 && pitch > 0) bytes += 2 * (rowBytes / 2) * (destHeight / 2);
  std::vector<uint8_t> surface(bytes ? bytes : 1);
  CopyPictureToSurface(planes, surface.data(), pitch, destHeight, destX, destY, rect, flags, changedOnly,
                       features & UsableFeatures());
  return 0;
}
