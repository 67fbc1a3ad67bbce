#!/bin/sh
# Makes the demo clip with our own tools: make-demo.sh VEXA OUT.vxa
set -e
vexa=$1
out=$2
if "$vexa" encode --help >/dev/null 2>&1; then
  "$vexa" encode --testsrc 320x240 --frames 150 -o "$out"
else
  "$vexa" sample -o "$out"
fi
