#!/bin/bash
# Builds the Free Pascal reference converter (not part of the CMake build).
# Usage: bench/fpc-forms/build.sh [OUTDIR]   (default: build/fpc-forms)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../build/fpc-forms}
mkdir -p "$out"
command -v fpc >/dev/null || { echo "fpc not found: apt-get install -y fpc" >&2; exit 1; }
fpc -O2 -v0 -FE"$out" -FU"$out" "$here/formconv.pas" >/dev/null
echo "$out/formconv"
