#!/usr/bin/env bash
# Times the unit scanner over the Free Pascal sources (installed from Debian's
# fpc-source package when missing) and prints lines per second and memory.
set -euo pipefail
cd "$(dirname "$0")/.."
PACKAGE=fpc-source-3.2.2
if ! dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$PACKAGE"
fi
BUILD=${BUILD:-build}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target readers_bench
"$BUILD/bench/readers_bench" /usr/share/fpcsrc
# Reading must stay linear in a unit's length.
"$BUILD/bench/readers_bench" --scale 30000,480000 /usr/share/fpcsrc
