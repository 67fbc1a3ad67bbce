// Focus, exposure, moves, keys, buttons, motion and closing of the
// player's window become the messages its procedure handles. Return and
// Escape send no text input, so the characters the controls use come from
// the key events themselves.
#include "platform/sdl/sdl_events.h"

namespace {

WindowMessage Message(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return WindowMessage{window, message, wparam, lparam};
}

// The character a key gives to the player, or 0.
uintptr_t KeyCharacter(SDL_Keycode key) {
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return 13;
    case SDLK_ESCAPE:
      return 27;
    case SDLK_SPACE:
      return 32;
    case SDLK_PERIOD:
    case SDLK_KP_PERIOD:
      return 46;
    default:
      return (key > 32 && key < 127) ? uintptr_t(key) : 0;
  }
}

intptr_t Point(int32_t x, int32_t y) { return intptr_t((uint32_t(uint16_t(y)) << 16) | uint16_t(x)); }

}  // namespace

int TranslateSdlEvent(const SDL_Event& e, PlatformWindow* window, WindowMessage* out) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          out[0] = Message(window, WM_ACTIVATEAPP, 1, 0);
          out[1] = Message(window, WM_SETFOCUS, 0, 0);
          return 2;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          out[0] = Message(window, WM_KILLFOCUS, 0, 0);
          out[1] = Message(window, WM_ACTIVATEAPP, 0, 0);
          return 2;
        case SDL_WINDOWEVENT_EXPOSED:
          out[0] = Message(window, WM_PAINT, 0, 0);
          return 1;
        case SDL_WINDOWEVENT_MOVED:
          out[0] = Message(window, WM_WINDOWPOSCHANGED, 0, 0);
          return 1;
        case SDL_WINDOWEVENT_CLOSE:
          out[0] = Message(window, WM_CLOSE, 0, 0);
          return 1;
        default:
          return 0;
      }
    case SDL_QUIT:
      out[0] = Message(window, WM_CLOSE, 0, 0);
      return 1;
    case SDL_KEYDOWN: {
      int n = 0;
      out[n++] = Message(window, WM_KEYDOWN, uintptr_t(e.key.keysym.sym), 0);
      uintptr_t c = KeyCharacter(e.key.keysym.sym);
      if (c != 0) out[n++] = Message(window, WM_CHAR, c, 0);
      return n;
    }
    case SDL_MOUSEBUTTONDOWN: {
      intptr_t at = Point(e.button.x, e.button.y);
      if (e.button.button == SDL_BUTTON_LEFT) out[0] = Message(window, WM_LBUTTONDOWN, 0, at);
      else if (e.button.button == SDL_BUTTON_RIGHT) out[0] = Message(window, WM_RBUTTONDOWN, 0, at);
      else out[0] = Message(window, WM_MBUTTONDOWN, 0, at);
      return 1;
    }
    case SDL_MOUSEBUTTONUP:
      if (e.button.button != SDL_BUTTON_LEFT) return 0;
      out[0] = Message(window, WM_LBUTTONUP, 0, Point(e.button.x, e.button.y));
      return 1;
    case SDL_MOUSEMOTION:
      out[0] = Message(window, WM_MOUSEMOVE, 0, Point(e.motion.x, e.motion.y));
      return 1;
    default:
      return 0;
  }
}
