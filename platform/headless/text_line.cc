#include "platform/headless/text_line.h"

#include <cstdlib>
#include <cstring>

namespace {

void DropGlyphs(TextLine* line) {
  for (TextGlyph& g : line->glyphs) {
    if (g.surface) SDL_FreeSurface(g.surface);
    g.surface = nullptr;
  }
}

const SDL_Surface* Glyph(TextLine* line, char c) {
  TextGlyph& g = line->glyphs[c - ' '];
  if (!g.surface) {
    const char one[2] = {c, 0};
    SDL_Color fg{uint8_t(line->fore >> 16), uint8_t(line->fore >> 8), uint8_t(line->fore), 255};
    SDL_Color bg{uint8_t(line->back >> 16), uint8_t(line->back >> 8), uint8_t(line->back), 255};
    g.surface = TTF_RenderUTF8_Shaded(line->font, one, fg, bg);
    if (g.surface && (g.surface->format->BytesPerPixel != 1 || !g.surface->format->palette)) {
      SDL_FreeSurface(g.surface);
      g.surface = nullptr;
    }
  }
  return g.surface;
}

}  // namespace

bool TextLineSet(TextLine* line, TTF_Font* font, const char* text, uint32_t length, uint32_t fore, uint32_t back,
                 bool* changed) {
  *changed = false;
  if (!font || length > kTextLineChars) return false;
  for (uint32_t i = 0; i < length; ++i)
    if (text[i] < ' ' || text[i] > '~') return false;
  if (line->font != font || line->fore != fore || line->back != back) {
    DropGlyphs(line);
    line->font = font;
    line->fore = fore;
    line->back = back;
    line->length = ~0u;
  }
  if (line->length == length && std::memcmp(line->text, text, length) == 0) return true;

  // Size: the glyphs side by side, kerned.
  int32_t width = 0, height = TTF_FontHeight(font);
  for (uint32_t i = 0; i < length; ++i) {
    const SDL_Surface* g = Glyph(line, text[i]);
    if (!g) return false;
    if (i > 0) width += TTF_GetFontKerningSizeGlyphs32(font, uint32_t(uint8_t(text[i - 1])), uint32_t(uint8_t(text[i])));
    width += g->w;
    if (g->h > height) height = g->h;
  }
  if (width < 0) width = 0;
  if (width > line->capacity || height > line->rows) {
    // Room for a good deal more than this line, so a growing text does not
    // come back here.
    const int32_t capacity = width * 2 > 1024 ? width * 2 : 1024;
    auto* pixels = static_cast<uint32_t*>(std::malloc(size_t(capacity) * size_t(height) * sizeof(uint32_t)));
    if (!pixels) return false;
    std::free(line->pixels);
    line->pixels = pixels;
    line->capacity = capacity;
    line->rows = height;
  }
  for (int32_t j = 0; j < height; ++j)
    for (int32_t i = 0; i < width; ++i) line->pixels[size_t(j) * size_t(line->capacity) + size_t(i)] = back;
  int32_t x = 0;
  for (uint32_t k = 0; k < length; ++k) {
    const SDL_Surface* g = line->glyphs[text[k] - ' '].surface;
    if (k > 0) x += TTF_GetFontKerningSizeGlyphs32(font, uint32_t(uint8_t(text[k - 1])), uint32_t(uint8_t(text[k])));
    const SDL_Color* palette = g->format->palette->colors;
    for (int32_t j = 0; j < g->h; ++j) {
      const uint8_t* row = static_cast<const uint8_t*>(g->pixels) + size_t(j) * size_t(g->pitch);
      uint32_t* out = line->pixels + size_t(j) * size_t(line->capacity);
      for (int32_t i = 0; i < g->w; ++i) {
        const int32_t at = x + i;
        if (row[i] == 0 || at < 0 || at >= width) continue;  // background: keep a neighbour's overhang
        const SDL_Color& c = palette[row[i]];
        out[at] = (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
      }
    }
    x += g->w;
  }
  std::memcpy(line->text, text, length);
  line->length = length;
  line->width = width;
  line->height = height;
  *changed = true;
  return true;
}

void TextLineFree(TextLine* line) {
  DropGlyphs(line);
  std::free(line->pixels);
  *line = TextLine{};
}
