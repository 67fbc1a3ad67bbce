// SDL events as the player's window messages.
#pragma once
#include <SDL2/SDL_events.h>

#include "player/window_services.h"

// Appends the messages one event stands for (at most 3) to out and returns
// their count; window is the player's window the event belongs to.
int TranslateSdlEvent(const SDL_Event& event, PlatformWindow* window, WindowMessage* out);
