// One line of text in an SDL window, drawn by SDL_ttf with the packaged
// DejaVu Sans: the size of a text, and a text drawn in a colour on a
// background colour into the window's composition.
#pragma once
#include <cstdint>

#include "platform/headless/text_line.h"
#include "platform/sdl/sdl_display.h"

// The font every text is drawn with.
inline constexpr const char* kSdlFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr int kSdlFontPoints = 11;

// Opens the font (once; counted). False with the error text set.
bool SdlTextStart();
void SdlTextStop();
const char* SdlTextError();

// Width and height in pixels of `length` bytes of UTF-8 text.
bool SdlTextSize(const char* text, uint32_t length, int32_t* width, int32_t* height);
// Renders the text with its top-left corner at (x, y) of the window, colours
// 0xRRGGBB, above what was drawn before. False when it cannot be rendered.
bool SdlTextDraw(SdlScreen* screen, int32_t x, int32_t y, const char* text, uint32_t length, uint32_t colour,
                 uint32_t background);
// Drops the texts drawn in a window whose renderer is about to go.
void SdlTextForgetScreen(SdlScreen* screen);
