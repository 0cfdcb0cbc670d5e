#!/usr/bin/env bash
# Configures and builds into build/ (Release with debug info, Ninja). ccache,
# where it is installed, keeps rebuilds of several checkouts short.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Profile-guided: scrivane-print is built with counters into build-pgo/,
# prints the units scripts/pgo-train.sh names, and build/ is compiled with
# what those prints counted, which takes about a twentieth off every print.
# SCRIVANE_PGO=0 builds without it (quicker, for edits in a loop).
pgo=()
if [ "${SCRIVANE_PGO:-1}" != 0 ]; then
  cmake -S . -B build-pgo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCRIVANE_PGO=generate \
    -DSCRIVANE_TESTS=OFF -DSCRIVANE_BENCH=OFF "${launcher[@]}" >/dev/null
  cmake --build build-pgo --parallel "$(nproc)" --target scrivane-print
  rm -rf build-pgo/pgo-profile
  bash scripts/pgo-train.sh build-pgo/src/scrivane-print
  pgo=(-DSCRIVANE_PGO=use "-DSCRIVANE_PGO_DIR=$PWD/build-pgo/pgo-profile")
else
  pgo=(-DSCRIVANE_PGO=)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${pgo[@]}" "${launcher[@]}" >/dev/null
# Ninja does not see the counts change: objects built with older counts are
# made again (ccache keeps those whose counts are the same).
[ ${#pgo[@]} -gt 0 ] && [ "${pgo[0]}" = "-DSCRIVANE_PGO=use" ] && cmake --build build --target clean >/dev/null
cmake --build build --parallel "$(nproc)"
