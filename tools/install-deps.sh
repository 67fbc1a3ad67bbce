#!/bin/sh
# Installs the Debian packages the build needs that are not there yet.
# Arguments: package:path pairs; a package counts as present when its path exists.
missing=""
for pair in "$@"; do
  pkg=${pair%%:*}
  path=${pair#*:}
  [ -e "$path" ] || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
echo "vexa: missing packages:$missing"
if [ "$(id -u)" = 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO="sudo"
else
  echo "vexa: cannot install them (not root and no sudo); please run:"
  echo "  apt-get install$missing"
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || true
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing || {
  echo "vexa: installing$missing failed"
  exit 1
}
