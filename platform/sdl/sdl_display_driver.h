// Choosing the SDL2 backend for the display: registers its service tables
// as the process's display driver. Window creation stays with sdl_window.h;
// its windows are the PlatformWindow handles the services take.
#pragma once
#include "display/display_types.h"
#include "platform/sdl/sdl_window.h"

// Starts SDL's video and registers the driver; false with the error text
// (SdlWindowError) when there is no video device.
bool SdlDisplayRegister();
// Unregisters the driver and stops what SdlDisplayRegister started.
void SdlDisplayUnregister();

PlatformWindow* SdlDisplayWindowHandle(SdlWindow* window);
// Shows what was drawn into the windows since their last present (the
// player calls it once per pass of its message loop; the display buffer's
// blits present by themselves).
void SdlDisplayPresent();
