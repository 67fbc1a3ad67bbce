#!/bin/sh
# Runs the main job on the demo clip: play-demo.sh VEXA DEMO.vxa
set -e
"$1" info "$2"
