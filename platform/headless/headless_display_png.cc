// Saving a window's client area as PNG.
#include <png.h>

#include <cstdio>

#include "platform/headless/headless_display_internal.h"

bool HeadlessSaveClientPng(PlatformWindow* window, const char* path) {
  if (!window || !path || window->client_width <= 0 || window->client_height <= 0) return false;
  const std::vector<uint32_t> pixels = HeadlessReadClient(window);
  const uint32_t w = uint32_t(window->client_width), h = uint32_t(window->client_height);
  FILE* file = fopen(path, "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(size_t(w) * 3);
  volatile bool ok = false;
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        uint32_t p = pixels[size_t(y) * w + x];
        row[x * 3] = uint8_t(p >> 16);
        row[x * 3 + 1] = uint8_t(p >> 8);
        row[x * 3 + 2] = uint8_t(p);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return fclose(file) == 0 && ok;
}
