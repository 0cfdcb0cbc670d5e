#!/usr/bin/env bash
# Prints large real units to PDF through scrivane-print, times paginating
# them to their last page, and sets both beside a2ps + ps2pdf on the same
# files. Figures only; nothing here passes or fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
src=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src
need=()
[ -d "$src" ] || need+=(fpc-source-3.2.2)
command -v a2ps >/dev/null || need+=(a2ps)
command -v ps2pdf >/dev/null || need+=(ghostscript)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
cmake --build "$build" --target scrivane-print listing_paginate >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

seconds() { /usr/bin/time -f "%e %M" -o "$out/time" "$@" >/dev/null 2>&1; cat "$out/time"; }

for unit in pparser.pp pasresolver.pp; do
  file="$src/$unit"
  lines=$(wc -l <"$file")
  # scrivane-print reads Object Pascal units by their .pas name.
  cp "$file" "$out/${unit%.pp}.pas"
  read -r ours oursKb < <(seconds "$build/src/scrivane-print" "$out/${unit%.pp}.pas" -o "$out/ours.pdf")
  read -r theirs _ < <(seconds bash -c "a2ps --pretty-print=pascal --line-numbers=1 -1 -o - '$file' 2>/dev/null | ps2pdf - '$out/a2ps.pdf'")
  pages=$(pdfinfo "$out/ours.pdf" 2>/dev/null | awk '/^Pages:/{print $2}')
  echo "$unit ($lines lines): scrivane-print ${ours} s, ${pages:-?} pages, peak $((oursKb / 1024)) MB;" \
       "a2ps+ps2pdf ${theirs} s; ratio $(awk -v a="$ours" -v b="$theirs" 'BEGIN{ if (b > 0) printf "%.2f", a / b; else print "n/a" }')" \
       "(target: at most 0.50, peak under 100 MB)"
  "$build/bench/listing_paginate" "$out/${unit%.pp}.pas"
done
echo "Paginating target: the 30,000-line unit under 0.5 s (warm caches)."
