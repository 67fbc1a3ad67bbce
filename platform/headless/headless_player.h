// The headless backend of the player: the player's window on the headless
// screen, input from a script, message boxes and web pages on standard
// output, and a capture of every picture and all sound. Steered by:
//   VEXA_HEADLESS_CLOCK=virtual|real    virtual: time moves only while the
//                                       program waits (default real)
//   VEXA_HEADLESS_SCREEN=WxHxBITS       the screen (default 1920x1080x32)
//   VEXA_HEADLESS_EVENTS="MS:EVENT;..." scripted input (headless_events.h)
//   VEXA_HEADLESS_CAPTURE=DIR           DIR/sound.wav, DIR/present-NNNNN.png
//                                       and DIR/presents.txt ("NNNNN MS FRAME")
#pragma once

// Reads the variables and registers the display driver, the headless sound
// driver and the window table. False with a reason when a variable is
// malformed or the capture directory cannot be made.
bool HeadlessPlayerStart(const char** error);
// Completes the capture and unregisters.
void HeadlessPlayerStop();
