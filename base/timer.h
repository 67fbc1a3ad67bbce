// The core's millisecond timer: all playback timing, statistics and the
// player's deadlines read it.
#pragma once
#include <cstdint>

// Milliseconds since the first call (which returns 0); never goes backwards.
uint32_t MediaTimer();

// Forgets the first call, so that the next call starts again at 0. For tests
// that inject a clock; not thread-safe.
void MediaTimerReset();
