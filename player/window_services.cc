// The registered window table and the default message handling.
#include "player/window_services.h"

namespace {
const WindowServices* g_services = nullptr;
}  // namespace

void PlayerRegisterWindowServices(const WindowServices* services) { g_services = services; }

const WindowServices* PlayerWindowServices() { return g_services; }

intptr_t DefWindowProc(PlatformWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message == WM_CLOSE && g_services) g_services->DestroyWindow(window);
  return 0;
}
