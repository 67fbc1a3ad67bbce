// A line of text composed from glyphs rendered once. A line drawn at every
// frame (the live statistics) changes its text all the time; composing it
// from cached glyphs into pixels kept from draw to draw means drawing it
// allocates nothing once its characters have been seen, and a text that did
// not change is not composed again.
#pragma once
#include <SDL_ttf.h>

#include <cstdint>

inline constexpr uint32_t kTextLineChars = 256;  // longest line composed this way

struct TextGlyph {
  SDL_Surface* surface;  // the character rendered alone (8-bit, index 0 the background)
};

struct TextLine {
  TTF_Font* font;
  uint32_t fore, back;          // 0xRRGGBB the glyphs and the pixels are in
  TextGlyph glyphs[95];         // ' ' to '~'
  char text[kTextLineChars];    // the text the pixels show
  uint32_t length;
  uint32_t* pixels;             // 0xRRGGBB, width x height, rows of `capacity`
  int32_t capacity, rows;       // size of the pixel buffer
  int32_t width, height;        // the composed line
};

// Makes `line` show `text` in `fore` on `back`; `changed` tells whether the
// pixels were composed again. False when the text is not printable ASCII,
// is longer than kTextLineChars or a glyph cannot be rendered: the caller
// then draws it another way.
bool TextLineSet(TextLine* line, TTF_Font* font, const char* text, uint32_t length, uint32_t fore, uint32_t back,
                 bool* changed);
// Frees the glyphs and pixels; the line is empty again.
void TextLineFree(TextLine* line);
