#include "platform/sdl/sdl_text.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_ttf.h>

#include <cstdio>
#include <cstring>

namespace {

char g_error[256];
TTF_Font* g_font = nullptr;
int g_users = 0;

// Rendered texts, one per line of a window: drawing on the same line
// replaces the text. A printable line is composed from cached glyphs into
// its own streaming texture, which later texts on that line reuse, so a
// line redrawn every frame allocates nothing; other texts get a texture of
// their own each time.
struct TextSlot {
  SdlScreen* screen;
  SDL_Texture* texture;
  int32_t x, y, w, h;
  bool streaming;          // the texture holds `line`, kept from draw to draw
  int32_t texture_w, texture_h;
  TextLine line;
};
constexpr int kSlots = 16;
TextSlot g_slots[kSlots];
int g_next_slot = 0;

// The text as a terminated string (SDL_ttf takes no length).
const char* Terminated(const char* text, uint32_t length, char* buffer, size_t size) {
  size_t n = length < size - 1 ? length : size - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
  return buffer;
}

void DropSlot(TextSlot& slot) {
  if (slot.texture) {
    SdlScreenForgetTexture(slot.screen, slot.texture);
    SDL_DestroyTexture(slot.texture);
  }
  TextLineFree(&slot.line);
  slot = {};
}

TextSlot* FreeSlot() {
  for (TextSlot& s : g_slots)
    if (!s.texture) return &s;
  TextSlot* slot = &g_slots[g_next_slot];
  g_next_slot = (g_next_slot + 1) % kSlots;
  DropSlot(*slot);
  return slot;
}

// Draws a printable line through its line's slot; false when it cannot be
// composed that way.
bool DrawComposed(SdlScreen* screen, int32_t x, int32_t y, const char* text, uint32_t length, uint32_t colour,
                  uint32_t background) {
  TextSlot* slot = nullptr;
  for (TextSlot& s : g_slots)
    if (s.screen == screen && s.y == y && s.texture) slot = &s;
  if (slot && !slot->streaming) {
    DropSlot(*slot);
    slot = nullptr;
  }
  TextLine fresh{};
  TextLine* line = slot ? &slot->line : &fresh;
  bool changed = false;
  if (!TextLineSet(line, g_font, text, length, colour, background, &changed)) {
    if (!slot) TextLineFree(&fresh);
    return false;
  }
  if (!slot) {
    slot = FreeSlot();
    *slot = TextSlot{screen, nullptr, x, y, 0, 0, true, 0, 0, fresh};
  }
  const int32_t w = line->width, h = line->height;
  if (!slot->texture || w > slot->texture_w || h > slot->texture_h) {
    if (slot->texture) {
      SdlScreenForgetTexture(screen, slot->texture);
      SDL_DestroyTexture(slot->texture);
    }
    slot->texture_w = line->capacity;
    slot->texture_h = line->rows;
    slot->texture = SDL_CreateTexture(screen->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                      slot->texture_w, slot->texture_h);
    if (!slot->texture) {
      std::snprintf(g_error, sizeof g_error, "Unable to draw text: %s", SDL_GetError());
      DropSlot(*slot);
      return false;
    }
    changed = true;
  }
  if (changed && w > 0) {
    void* pixels = nullptr;
    int pitch = 0;
    SDL_Rect box{0, 0, w, h};
    if (SDL_LockTexture(slot->texture, &box, &pixels, &pitch) != 0) return false;
    for (int32_t j = 0; j < h; ++j) {
      auto* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + size_t(j) * size_t(pitch));
      const uint32_t* in = line->pixels + size_t(j) * size_t(line->capacity);
      for (int32_t i = 0; i < w; ++i) out[i] = 0xFF000000u | in[i];
    }
    SDL_UnlockTexture(slot->texture);
  }
  // The line's earlier text goes from the composition.
  SdlScreenForgetTexture(screen, slot->texture);
  slot->x = x;
  slot->w = w;
  slot->h = h;
  if (w > 0) SdlScreenCopyTexture(screen, slot->texture, {0, 0, w, h}, {x, y, w, h});
  return true;
}

}  // namespace

const char* SdlTextError() { return g_error; }

bool SdlTextStart() {
  if (g_users > 0) {
    ++g_users;
    return true;
  }
  if (!TTF_WasInit() && TTF_Init() != 0) {
    std::snprintf(g_error, sizeof g_error, "Unable to start text drawing: %s", TTF_GetError());
    return false;
  }
  g_font = TTF_OpenFont(kSdlFontPath, kSdlFontPoints);
  if (!g_font) {
    std::snprintf(g_error, sizeof g_error, "Unable to open the font %s: %s", kSdlFontPath, TTF_GetError());
    TTF_Quit();
    return false;
  }
  g_users = 1;
  return true;
}

void SdlTextStop() {
  if (g_users == 0 || --g_users > 0) return;
  for (TextSlot& slot : g_slots) DropSlot(slot);
  TTF_CloseFont(g_font);
  g_font = nullptr;
  TTF_Quit();
}

bool SdlTextSize(const char* text, uint32_t length, int32_t* width, int32_t* height) {
  *width = *height = 0;
  if (!g_font && !SdlTextStart()) return false;
  char buffer[1024];
  int w = 0, h = 0;
  if (length == 0) {
    *height = TTF_FontHeight(g_font);
    return true;
  }
  if (TTF_SizeUTF8(g_font, Terminated(text, length, buffer, sizeof buffer), &w, &h) != 0) return false;
  *width = w;
  *height = h;
  return true;
}

bool SdlTextDraw(SdlScreen* screen, int32_t x, int32_t y, const char* text, uint32_t length, uint32_t colour,
                 uint32_t background) {
  if (!screen || length == 0) return length == 0;
  if (!g_font && !SdlTextStart()) return false;
  if (DrawComposed(screen, x, y, text, length, colour, background)) return true;
  char buffer[1024];
  SDL_Color fg{uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour), 255};
  SDL_Color bg{uint8_t(background >> 16), uint8_t(background >> 8), uint8_t(background), 255};
  SDL_Surface* rendered = TTF_RenderUTF8_Shaded(g_font, Terminated(text, length, buffer, sizeof buffer), fg, bg);
  if (!rendered) {
    std::snprintf(g_error, sizeof g_error, "Unable to draw text: %s", TTF_GetError());
    return false;
  }
  // The same line in the same window: the old text goes.
  for (TextSlot& slot : g_slots)
    if (slot.screen == screen && slot.y == y) DropSlot(slot);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(screen->renderer, rendered);
  int w = rendered->w, h = rendered->h;
  SDL_FreeSurface(rendered);
  if (!texture) {
    std::snprintf(g_error, sizeof g_error, "Unable to draw text: %s", SDL_GetError());
    return false;
  }
  TextSlot* slot = FreeSlot();
  *slot = TextSlot{screen, texture, x, y, w, h, false, w, h, {}};
  SdlScreenCopyTexture(screen, texture, {0, 0, w, h}, {x, y, w, h});
  return true;
}

// A screen about to go takes its texts with it.
void SdlTextForgetScreen(SdlScreen* screen) {
  for (TextSlot& slot : g_slots)
    if (slot.screen == screen) DropSlot(slot);
}
