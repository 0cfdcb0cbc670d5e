#!/usr/bin/env bash
# How printing grows with the size of a unit: units of 1k to 1M lines built
# from the implementation section of a real unit (whole routines, so blocks
# stay balanced) are printed to PDF with everything on; prints wall time,
# pages, peak RSS and lines per second for each size. Targets: the 1M-line
# unit under 100 MiB; time close to linear. Figures only.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
src=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pparser.pp
sizes=${SIZES:-"1000 8000 30000 120000 480000 1000000"}
[ -f "$src" ] || { echo "needs fpc-source-3.2.2 (bash scripts/install-deps.sh)"; exit 1; }
cmake --build "$build" --target scrivane-print >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cp bench/everything-on.ini "$out/all.ini"
# The routines between "implementation" and the final "end.".
awk '/^implementation/{on=1; next} /^end\./{on=0} on' "$src" >"$out/body"
body=$(wc -l <"$out/body")
# The copies are cut at a routine boundary, which ends the pipe early.
set +o pipefail
for n in $sizes; do
  unit="$out/big$n.pas"
  { echo "unit big$n;"; echo "interface"; echo "implementation"
    copies=$(( (n + body - 1) / body ))
    for _ in $(seq "$copies"); do cat "$out/body"; done |
      awk -v n="$n" 'NR > n && /^(procedure|function|constructor|destructor|class) /{exit} {print}'
    echo "end."; } >"$unit"
  /usr/bin/time -f "%e %M" -o "$out/time" "$build/src/scrivane-print" "$unit" --ini "$out/all.ini" -o "$out/big.pdf" >/dev/null
  read -r s kb <"$out/time"
  pages=$(pdfinfo "$out/big.pdf" 2>/dev/null | awk '/^Pages:/{print $2}')
  echo "$n lines: $s s, ${pages:-?} pages, peak $((kb / 1024)) MiB, $(awk -v n="$n" -v s="$s" 'BEGIN{ if (s > 0) printf "%.0f", n / s; else print "-" }') lines/s"
  rm -f "$unit" "$out/big.pdf"
done
