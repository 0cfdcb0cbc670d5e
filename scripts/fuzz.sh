#!/usr/bin/env bash
# Builds every fuzz target in fuzz/ with clang 14 (libFuzzer, address and
# undefined-behaviour sanitizers) into build-fuzz/, as the README shows, and
# runs each for SECONDS seconds (default 30) from a few seed inputs of ours.
# A crash, a sanitizer report or a target that does not build fails.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DSCRIVANE_FUZZ=ON \
  -DSCRIVANE_TESTS=OFF -DSCRIVANE_BENCH=OFF -DSCRIVANE_PGO= "${launcher[@]}" >/dev/null
targets=$(sed -n 's/^scrivane_add_fuzz\(_target\|er\)(\([a-z_]*\).*/\2/p' fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz --parallel "$(nproc)" --target $targets
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-test-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
seeds() {
  case $1 in
    fuzz_lexer | fuzz_unit_reader) ls examples/*.pas tests/listing/golden/units/*.pas ;;
    fuzz_cross_references) ls examples/*.pas tests/xref/fixture/*.pas tests/listing/golden/units/*.pas ;;
    fuzz_project_reader) ls examples/*.dpr examples/*.pas ;;
    fuzz_settings) ls bench/everything-on.ini ;;
    fuzz_form_stream) ls examples/*.dfm tests/project/golden/*.DDT ;;
    fuzz_font_program) ls /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf 2>/dev/null || true ;;
  esac
}
for target in $targets; do
  mkdir -p "$work/$target/corpus" "$work/$target/seeds"
  for seed in $(seeds "$target"); do cp "$seed" "$work/$target/seeds/"; done
  echo "== $target: ${seconds} s"
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=0 \
      -artifact_prefix="$work/" "$work/$target/corpus" "$work/$target/seeds" >"$work/$target.log" 2>&1; then
    tail -40 "$work/$target.log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -f "$crash" ] && cp "$crash" build-fuzz/ && echo "input kept in build-fuzz/$(basename "$crash")"
    done
    echo "FAILED: $target"
    exit 1
  fi
  grep -E "^Done [0-9]+ runs" "$work/$target.log" | tail -1 || true
done
