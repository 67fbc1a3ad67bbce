// The player's window on the headless display's windows. The frame is the
// headless display's fixed one for windows with a caption or a thin frame
// (kHeadlessFrameSide around, kHeadlessFrameTop above), none otherwise.
#include "platform/headless/headless_player_window.h"

#include "platform/headless/headless_display.h"

namespace {


bool g_framed = false;

int32_t ExtraWidth() { return g_framed ? 2 * kHeadlessFrameSide : 0; }
int32_t ExtraHeight() { return g_framed ? kHeadlessFrameTop + kHeadlessFrameSide : 0; }

}  // namespace

bool HeadlessPlayerDisplayStart(int32_t width, int32_t height, int32_t bits) {
  HeadlessDisplayConfig config;
  config.width = uint32_t(width);
  config.height = uint32_t(height);
  config.bits_per_pixel = uint32_t(bits == 15 ? 16 : bits);
  config.rgb555 = bits == 15;
  config.overlay_fourccs = kHeadlessAllFourCCs;
  config.offscreen_fourccs = kHeadlessAllFourCCs;
  HeadlessDisplayInstall(config);
  return HeadlessDisplayDriver() != nullptr;
}

void HeadlessPlayerDisplayStop() { DisplayRegisterDriver(nullptr); }

PlatformWindow* HeadlessPlayerWindowCreate(int32_t x, int32_t y, int32_t width, int32_t height, HeadlessFrame frame) {
  g_framed = frame != HeadlessFrame::kNone;
  int32_t cw = width - ExtraWidth(), ch = height - ExtraHeight();
  PlatformWindow* w = HeadlessWindowCreate(x, y, cw > 1 ? cw : 1, ch > 1 ? ch : 1, g_framed);
  if (w) HeadlessWindowSetVisible(w, false);
  return w;
}

void HeadlessPlayerWindowDestroy(PlatformWindow* window) { HeadlessWindowDestroy(window); }

void HeadlessPlayerWindowPlace(PlatformWindow* window, int32_t x, int32_t y, int32_t width, int32_t height) {
  int32_t cw = width - ExtraWidth(), ch = height - ExtraHeight();
  HeadlessWindowResizeClient(window, cw > 1 ? cw : 1, ch > 1 ? ch : 1);
  HeadlessWindowMove(window, x, y);
}

void HeadlessPlayerWindowShow(PlatformWindow* window, bool shown) { HeadlessWindowSetVisible(window, shown); }

bool HeadlessPlayerWindowSavePng(PlatformWindow* window, const char* path) {
  return HeadlessSaveClientPng(window, path);
}
