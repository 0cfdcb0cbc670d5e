#!/usr/bin/env bash
# Prints every unit of the Free Pascal sources (and of Lazarus when it is
# installed) on the virtual printer and says how many pass the listing's
# checks: every character of the source printed in order, every string
# literal printed as written, no row in the footer or below the text area,
# text on the last page; every routine a reader expects (implemented under a
# declared name, class methods and operators too) listed exactly once; every
# listed routine heading met with no block left open before it. Prints the
# routines listed over each tree.
# ctest runs the same checks on every 20th unit of both trees.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target test_listing >/dev/null || exit 1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for root in /usr/share/fpcsrc/3.2.2 /usr/lib/lazarus/2.2.6; do
  [ -d "$root" ] || { echo "sweep: $root is not installed"; continue; }
  SCRIVANE_SWEEP_STEP=1 SCRIVANE_SWEEP_ROOTS="$root" \
    "$BUILD/tests/test_listing" --gtest_filter='ListingSweep.RealUnits*' 2>&1 |
    grep -E '^(sweep:|/)' | sed 's/^\(.\{300\}\).*/\1 …/'
done
