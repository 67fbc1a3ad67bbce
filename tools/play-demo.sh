#!/bin/sh
# Runs the main job on the demo clip: play-demo.sh VEXA DEMO.vxa
# Until the player window exists, the clip is described and then played
# through the playback core without a display.
set -e
"$1" info "$2"
echo
"$1" info "$2" --summary
