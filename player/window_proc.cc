// The player window's procedure: keys, mouse, focus and system events
// turned into pause, single step, skip and quit, the screen saver's ending
// rules, and repainting.
#include <cstring>

#include "display/display_driver.h"
#include "player/player_state.h"
#include "player/window_services.h"

const char kHomePageUrl[] = "https://vexa.example.org/?from=vexaplay&ver=1.8i";
const char kVersionCheckUrl[] = "https://vexa.example.org/version-check?ver=1.8i";

namespace {

constexpr char kEnter = 13, kSpace = 32, kFullStop = 46, kEscape = 27;
constexpr int32_t kControlPause = 1, kControlSkip = 2, kControlQuit = 4;

bool SaverFullMode() { return IsScreenSaverFullMode(Player()->saver_mode); }

// The screen saver's quit test: in mode 2 the password must pass first.
bool SaverQuitTest(PlatformWindow* window) {
  if (Player()->saver_mode == 2 && !CheckScreenSaverPassword(window)) return false;
  RequestQuit();
  return true;
}

bool ControlEnabled(int32_t bit) { return (Player()->sw.settings.disabled_controls & bit) == 0; }

void OnChar(uintptr_t code) {
  PlayerState* p = Player();
  switch (static_cast<char>(code)) {
    case kEnter:
      if (ControlEnabled(kControlPause)) MediaPause(p->media, 0);
      break;
    case kSpace:
      if (ControlEnabled(kControlPause)) {
        p->user_pause = ~p->user_pause;
        MediaPause(p->media, p->user_pause);
      }
      break;
    case kFullStop:
      if (ControlEnabled(kControlSkip) && !p->logo_showing) p->end_of_file = true;
      break;
    case kEscape:
      if (ControlEnabled(kControlQuit)) RequestQuit();
      break;
    default:
      break;
  }
}

}  // namespace

int RequestQuit() {
  PlayerState* p = Player();
  p->list_loops = 1;
  p->list.text[0] = 0;
  p->quit = p->logo_showing ? kQuitDuringLogo : kQuitRequested;
  if (!p->logo_showing) MediaGetSummary(p->media, &p->summary);
  MediaPause(p->media, 0);
  return 1;
}

void PaintWindow(PlatformWindow* window) {
  PlayerState* p = Player();
  const DisplayDriver* driver = DisplayGetDriver();
  if (!p->no_paint_yet && driver) {
    PlatformDC* dc = driver->gdi->GetDC(window);
    if (dc) {
      driver->gdi->PatBlt(dc, 0, 0, 4096, 4096, BLACKNESS);
      driver->gdi->ReleaseDC(window, dc);
    }
  }
  p->sw.flags.extra_copy_flags |= SURFACE_COPY_ALL;
  if (p->buffer) DisplayBufferBlit(p->buffer, nullptr, 1);
}

intptr_t PlayerWindowProc(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  PlayerState* p = Player();
  switch (message) {
    case WM_DESTROY:
      PlayerWindowServices()->PostQuitMessage(0);
      return 0;
    case WM_SETFOCUS:
      if (!p->sw.settings.keep_playing_unfocused) MediaPause(p->media, p->user_pause);
      p->window_active = true;
      break;
    case WM_KILLFOCUS:
      if (!p->sw.settings.keep_playing_unfocused) MediaPause(p->media, 1);
      p->window_active = false;
      break;
    case WM_PAINT:
      PaintWindow(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_ACTIVATEAPP:
      if (SaverFullMode() && wparam == 0 && SaverQuitTest(window)) return 1;
      break;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WindowPos*>(lparam);
      if (p->buffer && pos && !(pos->flags & SWP_NOMOVE)) {
        int32_t x = pos->x + p->x, y = pos->y + p->y;
        DisplayBufferCheckPosition(&x, p->buffer, &y);
        pos->x = x - p->x;
        pos->y = y - p->y;
      }
      break;
    }
    case WM_WINDOWPOSCHANGED:
      if (p->buffer) DisplayBufferSetOffset(p->x, p->buffer, p->y);
      break;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      MediaPause(p->media, 1);
      if (SaverFullMode() && SaverQuitTest(window)) return 1;
      MediaPause(p->media, p->user_pause);
      break;
    case WM_MOUSEMOVE:
      if (SaverFullMode()) {
        int32_t x = static_cast<int16_t>(lparam & 0xFFFF);
        int32_t y = static_cast<int16_t>((lparam >> 16) & 0xFFFF);
        if (SaverMouseMoved(&p->mouse, x, y)) {
          MediaPause(p->media, 1);
          if (SaverQuitTest(window)) return 1;
          MediaPause(p->media, p->user_pause);
        }
      }
      break;
    case WM_LBUTTONUP:
      if (p->logo_showing) PlayerWindowServices()->OpenUrl(kHomePageUrl);
      break;
    case WM_CHAR:
      OnChar(wparam);
      return 1;
    case WM_SYSCOMMAND:
      if (SaverFullMode() && (wparam == SC_NEXTWINDOW || wparam == SC_PREVWINDOW || wparam == SC_CLOSE ||
                              wparam == SC_SCREENSAVE))
        return 0;
      break;
    case WM_POWERBROADCAST:
      if (SaverFullMode() && wparam == PBT_APMSUSPEND) return RequestQuit();
      break;
    default:
      break;
  }
  return DefWindowProc(window, message, wparam, lparam);
}
