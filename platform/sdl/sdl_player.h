// The SDL2 backend of the player's window table: the player's window made
// through sdl_window.h, SDL's events translated into the player's window
// messages, message boxes and web pages.
#pragma once

// Starts SDL's video, registers the display driver, the sound drivers
// (SDL's chosen) and the window table. False when there is no display.
bool SdlPlayerStart();
void SdlPlayerStop();
const char* SdlPlayerError();
