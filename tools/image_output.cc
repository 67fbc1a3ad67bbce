#include "tools/image_output.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/cpu_features.h"
#include "display/copy_flags.h"
#include "display/copy_walk.h"
#include "display/converter.h"
#include "base/open_flags.h"
#include "tools/tool_files.h"
#include "video/frame_buffers.h"

struct ImageOutput {
  ImageOutputSettings settings;
  uint32_t width = 0, height = 0;        // picture
  uint32_t out_width = 0, out_height = 0;  // surface
  uint32_t base_flags = 0;                // display mode, grayscale, swapped chroma
  bool alpha = false;
  std::vector<uint8_t> png_surface;
  int32_t png_pitch = 0;
  std::vector<uint8_t> raw_surface;
  int32_t raw_pitch = 0;
  FILE* raw = nullptr;
  bool ok = true;
};

namespace {

std::string g_error;

bool Fail(const std::string& text) {
  g_error = text;
  return false;
}

// Bytes of one surface row of a type: packed YUV and planar rows hold whole pairs.
int32_t SurfacePitch(uint32_t type, uint32_t width) {
  static const uint8_t kBytes[16] = {1, 3, 3, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 1};
  const uint32_t w = type >= 13 ? (width + 1) & ~1u : width;
  return static_cast<int32_t>(w * kBytes[type]);
}

size_t SurfaceSize(uint32_t type, int32_t pitch, uint32_t height) {
  size_t bytes = static_cast<size_t>(pitch) * height;
  if (type == 15) bytes += 2 * static_cast<size_t>(pitch / 2) * (height / 2);
  return bytes;
}

bool Convert(const ImageOutput* o, const FrameBuffers* fb, uint32_t type, uint8_t* surface, int32_t pitch) {
  const PlaneSet& set = fb->sets[fb->current & 1];
  CopyPlanes planes{};
  planes.y = set.plane[PLANE_Y].pixels;
  planes.y_pitch = set.plane[PLANE_Y].pitch;
  planes.chroma1 = set.plane[PLANE_CHROMA1].pixels;
  planes.chroma1_pitch = set.plane[PLANE_CHROMA1].pitch;
  planes.chroma2 = set.plane[PLANE_CHROMA2].pixels;
  planes.chroma2_pitch = set.plane[PLANE_CHROMA2].pitch;
  if (o->alpha && set.plane[PLANE_ALPHA].present) {
    planes.alpha = set.plane[PLANE_ALPHA].pixels;
    planes.alpha_pitch = set.plane[PLANE_ALPHA].pitch;
  }
  planes.width = o->width;
  planes.height = o->height;
  return CopyPictureToSurface(planes, surface, pitch, o->out_height, 0, 0, CopyRect{0, 0, o->width, o->height},
                              o->base_flags | type, false, UsableFeatures());
}

bool WritePng(const ImageOutput* o, const char* name) {
  FILE* f = std::fopen(name, "wb");
  if (!f) return Fail(std::string("cannot create ") + name + ": " + SystemReason(errno));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(f);
    return Fail("out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return Fail(std::string("error writing ") + name);
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, o->out_width, o->out_height, 8, o->alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // The 32-bit surface holds R, G, B and alpha or an unused byte in memory order.
  if (!o->alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (uint32_t y = 0; y < o->out_height; ++y) {
    png_write_row(png, const_cast<png_bytep>(o->png_surface.data() + static_cast<size_t>(y) * o->png_pitch));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(f) != 0) return Fail(std::string("error writing ") + name);
  return true;
}

}  // namespace

const char* ImageOutputError() { return g_error.c_str(); }

bool ParseSurfaceType(const char* text, uint32_t* type) {
  if (!text || !*text || std::strlen(text) > 2) return false;
  uint32_t v = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + static_cast<uint32_t>(*p - '0');
  }
  if (v > 15) return false;
  *type = v;
  return true;
}

void ImageOutputSize(uint32_t width, uint32_t height, uint32_t open_flags, uint32_t* out_width, uint32_t* out_height) {
  const uint32_t mode = CopyModeOf(open_flags);
  *out_width = CopyModeDoublesWidth(mode) ? 2 * width : width;
  *out_height = (CopyModeDoublesHeight(mode) || mode == COPY_MODE_HEIGHT_INTERLACED ||
                mode == COPY_MODE_WIDTH_DOUBLED_INTERLACED)
                   ? 2 * height
                   : height;
}

bool FormatFrameName(const char* pattern, uint32_t frame, char* name, uint32_t size) {
  if (!pattern || !name || size == 0) return false;
  std::string out;
  int conversions = 0;
  for (const char* p = pattern; *p; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      ++p;
      continue;
    }
    const char* q = p + 1;
    const bool zero = *q == '0';
    if (zero) ++q;
    uint32_t width = 0;
    while (*q >= '0' && *q <= '9') {
      width = width * 10 + static_cast<uint32_t>(*q - '0');
      if (width > 64) return false;
      ++q;
    }
    if (*q != 'd' && *q != 'i' && *q != 'u') return false;
    if (++conversions > 1) return false;
    std::string digits = std::to_string(frame);
    while (digits.size() < width) digits.insert(0, 1, zero ? '0' : ' ');
    out += digits;
    p = q;
  }
  if (conversions != 1 || out.size() + 1 > size) return false;
  std::memcpy(name, out.c_str(), out.size() + 1);
  return true;
}

ImageOutput* ImageOutputOpen(const ImageOutputSettings& settings, uint32_t width, uint32_t height,
                             uint32_t open_flags) {
  char probe[4096];
  if (settings.png_pattern && !FormatFrameName(settings.png_pattern, 1, probe, sizeof probe)) {
    Fail("the --png name needs exactly one %d for the frame number");
    return nullptr;
  }
  if (settings.png_pattern) {
    // One file a frame: the folder must take new files before any is decoded.
    std::string folder = probe;
    const size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
      Fail("cannot write in " + folder + ": " + SystemReason(errno));
      return nullptr;
    }
  }
  if (settings.surface_type > 15) {
    Fail("surface types are 0 to 15");
    return nullptr;
  }
  auto* o = new ImageOutput;
  o->settings = settings;
  o->width = width;
  o->height = height;
  ImageOutputSize(width, height, open_flags, &o->out_width, &o->out_height);
  o->base_flags = open_flags & (COPY_MODE_MASK | COPY_SWAPPED_CHROMA | COPY_GRAYSCALE);
  o->alpha = (open_flags & FLAG_ALPHA) != 0;
  // Surfaces start black (and transparent): interlaced modes leave every
  // other row as it is.
  if (settings.png_pattern) {
    o->png_pitch = SurfacePitch(SURFACE_XBGR32, o->out_width);
    o->png_surface.assign(static_cast<size_t>(o->png_pitch) * o->out_height, 0);
  }
  if (settings.raw_path) {
    o->raw_pitch = SurfacePitch(settings.surface_type, o->out_width);
    o->raw_surface.assign(SurfaceSize(settings.surface_type, o->raw_pitch, o->out_height), 0);
    std::string error;
    o->raw = OpenOutput(settings.raw_path, &error);
    if (!o->raw) {
      Fail(error);
      delete o;
      return nullptr;
    }
  }
  return o;
}

bool ImageOutputWriteFrame(ImageOutput* o, const FrameBuffers* fb, uint32_t frame_number) {
  if (!o || !fb) return false;
  bool ok = true;
  if (o->settings.png_pattern) {
    char name[4096];
    // 32-bit surfaces with red at bit 0: R, G, B, A (or unused) in memory.
    const uint32_t type = o->alpha ? SURFACE_ABGR32 : SURFACE_XBGR32;
    if (!FormatFrameName(o->settings.png_pattern, frame_number, name, sizeof name)) {
      ok = Fail("frame file name too long");
    } else if (!Convert(o, fb, type, o->png_surface.data(), o->png_pitch)) {
      ok = Fail("no converter for the PNG surface");
    } else {
      ok = WritePng(o, name);
    }
  }
  if (o->raw) {
    if (!Convert(o, fb, o->settings.surface_type, o->raw_surface.data(), o->raw_pitch)) {
      ok = Fail("no converter for the surface type");
    } else if (std::fwrite(o->raw_surface.data(), 1, o->raw_surface.size(), o->raw) != o->raw_surface.size()) {
      ok = Fail(WriteProblem(o->settings.raw_path));
    }
  }
  o->ok = o->ok && ok;
  return ok;
}

bool ImageOutputClose(ImageOutput* o) {
  if (!o) return true;
  bool ok = o->ok;
  if (o->raw && !CloseOutput(o->raw)) ok = Fail(WriteProblem(o->settings.raw_path));
  delete o;
  return ok;
}
