#!/usr/bin/env bash
# Configures and builds into build/ (Release with debug info, Ninja). ccache,
# where it is installed (scripts/install-deps.sh installs it), keeps rebuilds
# of several checkouts short.
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
#
# Training takes a build of its own and a few dozen prints, and a new
# profile means every object again: both are done only when what the
# profile covers changed (scrivane-print's sources, the training and what
# it prints, the compiler), or when SCRIVANE_RETRAIN=1 asks for it. A
# second run without changes rebuilds nothing.
pgo=()
if [ "${SCRIVANE_PGO:-1}" != 0 ]; then
  covered() {
    g++ --version | head -1
    find CMakeLists.txt src scripts/pgo-train.sh bench/everything-on.ini examples -type f \
      -not -path 'src/app/*' -not -path 'src/widgets/*' -not -path 'src/print/gui/*' -print0 |
      LC_ALL=C sort -z | xargs -0 sha256sum
  }
  trained_on=$(covered | sha256sum | cut -d' ' -f1)
  profile=build-pgo/pgo-profile
  if [ "${SCRIVANE_RETRAIN:-0}" = 1 ] || [ ! -d "$profile" ] ||
     [ "$(cat build-pgo/trained-on 2>/dev/null)" != "$trained_on" ]; then
    cmake -S . -B build-pgo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCRIVANE_PGO=generate \
      -DSCRIVANE_TESTS=OFF -DSCRIVANE_BENCH=OFF "${launcher[@]}" >/dev/null
    cmake --build build-pgo --parallel "$(nproc)" --target scrivane-print
    rm -rf "$profile" build-pgo/trained-on
    bash scripts/pgo-train.sh build-pgo/src/scrivane-print
    echo "$trained_on" >build-pgo/trained-on
  else
    echo "Profile-guided build: the profile in $profile is current (SCRIVANE_RETRAIN=1 trains it again)."
  fi
  pgo=(-DSCRIVANE_PGO=use "-DSCRIVANE_PGO_DIR=$PWD/$profile")
else
  pgo=(-DSCRIVANE_PGO=)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${pgo[@]}" "${launcher[@]}" >/dev/null
# Ninja does not see the counts change: once the profile is new, objects
# built with older counts are made again (ccache keeps those whose counts
# are the same). build/ remembers which counts it was built with.
if [ "${pgo[0]}" = "-DSCRIVANE_PGO=use" ]; then
  counts=$(find "$profile" -type f -print0 | LC_ALL=C sort -z | xargs -0 -r sha256sum | sha256sum | cut -d' ' -f1)
  if [ "$(cat build/built-with-profile 2>/dev/null)" != "$counts" ]; then
    cmake --build build --target clean >/dev/null
  fi
  cmake --build build --parallel "$(nproc)"
  echo "$counts" >build/built-with-profile
else
  rm -f build/built-with-profile
  cmake --build build --parallel "$(nproc)"
fi
