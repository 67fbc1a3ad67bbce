#!/bin/sh
# Plays the demo clip with the player: play-demo.sh VEXAPLAY DEMO.vxa
# In a window when there is a display; otherwise on the headless screen and
# sound in real time, keeping what was shown and heard beside the clip.
set -e
player=$1
clip=$2
if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
  exec "$player" "$clip" /S
fi
capture=$(dirname "$clip")/play-capture
rm -rf "$capture"
echo "No display: playing headless in real time."
VEXA_PLATFORM=headless VEXA_HEADLESS_CAPTURE="$capture" "$player" "$clip" /S
echo
echo "The capture is in $capture: sound.wav, present-NNNNN.png (every picture shown) and presents.txt."
