#!/bin/bash
# Converts every .lfm of lazarus-src with Free Pascal's own classes unit and
# compares scrivane-print --form-text with it; prints how many agree.
# Usage: bench/fpc-forms/compare.sh [BUILD_DIR] [FORM_ROOT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
root=${2:-/usr/lib/lazarus/2.2.6}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
converter=$("$here/build.sh" "$work/fpc")
find "$root" -name '*.lfm' | LC_ALL=C sort > "$work/list.txt"
mkdir -p "$work/ref"
LANG=C.UTF-8 "$converter" "$work/list.txt" "$work/ref"
python3 "$here/compare.py" "$build/src/scrivane-print" "$work/ref" "$work/list.txt"
