#!/bin/bash
# Fails when a file includes a header of a layer above its own (or of a
# layer beside it that it may not use). The layers, lowest first:
#   base -> video, audio, sound, display -> media -> player -> platform -> encode, tools
# display may use video (it copies decoded planes); encode may use the
# decoders' writers; tests and benchmarks may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
  case "$1" in
    base)     echo "base" ;;
    video)    echo "base video" ;;
    audio)    echo "base audio" ;;
    sound)    echo "base sound" ;;
    display)  echo "base video display" ;;
    media)    echo "base video audio sound display media" ;;
    player)   echo "base video audio sound display media player" ;;
    platform) echo "base video audio sound display media player platform" ;;
    encode)   echo "base video audio encode" ;;
    tools)    echo "base video audio sound display media player platform encode tools" ;;
  esac
}

status=0
for layer in base video audio sound display media player platform encode tools; do
  [ -d "$layer" ] || continue
  ok=" $(allowed "$layer") "
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -n 's/.*#include "\([a-z_]*\)\/.*/\1/p' <<<"${line#*:}")
    [ -n "$target" ] || continue
    if [[ "$ok" != *" $target "* ]]; then
      echo "layer check: $file includes a header of $target/ (a $layer/ file may include only: $(allowed "$layer"))"
      status=1
    fi
  done < <(grep -rn --include='*.h' --include='*.cc' '^#include "' "$layer" || true)
done
# The playback core's records are its own: above media/ only media/media.h
# (and what it includes) is its interface.
while IFS= read -r line; do
  echo "layer check: ${line%%:*} includes the core's private ${line#*#include }; use media/media.h"
  status=1
done < <(grep -rn --include='*.h' --include='*.cc' \
           -E '^#include "media/(media_file|media_settings|playback_internal|audio_service)\.h"' \
           player platform tools bench 2>/dev/null || true)
[ $status -eq 0 ] && echo "layer check: every include runs down the layers"
exit $status
