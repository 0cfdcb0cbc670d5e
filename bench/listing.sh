#!/usr/bin/env bash
# Prints two large real units to PDF with scrivane-print and, side by side,
# with the two general source printers a user would reach for: a2ps + ps2pdf
# and Vim's :hardcopy + ps2pdf. Runs alternate (ours, a2ps, vim) so that a
# busy machine slows all of them alike; each figure is the median wall time
# of RUNS runs (default 5), with min and max, and the ratio is ours over the
# fastest peer. Once with default settings, once with everything on (line
# numbers, block diagram, header, footer, title block, rules).
# Beside the peers stands the floor a print cannot go below: reading the unit
# (scrivane-print --routines, timed in the same turns as our runs, and back to
# back as well) plus compressing the PDF's page content again
# on one core (bench/pdf_floor.py): with zlib at level 3, as the floor was
# first set, and with libdeflate at the level our writer now uses, which is
# the lower floor of the two.
# Figures only; nothing here passes or fails. NO_BUILD=1 times the binaries
# already in BUILD_DIR as they stand.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
src=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src
need=()
[ -d "$src" ] || need+=(fpc-source-3.2.2)
command -v a2ps >/dev/null || need+=(a2ps)
command -v ps2pdf >/dev/null || need+=(ghostscript)
command -v vim >/dev/null || need+=(vim)
[ -x /usr/bin/time ] || need+=(time)
command -v qpdf >/dev/null || need+=(qpdf)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
[ -n "${NO_BUILD:-}" ] || cmake --build "$build" --target scrivane-print listing_paginate >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
: >"$out/default.ini"
cp bench/everything-on.ini "$out/all.ini"

# Wall seconds of one command; the peak RSS (KB) goes to $out/kb.
# Timed by the shell to the microsecond: time's own figure has two decimals,
# and reading a unit now takes 0.02-0.04 s, where one hundredth moves the
# ratio to the floor by a fifth.
wall() {
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$out/time" "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  cp "$out/time" "$out/kb"
  awk -v a="${start/,/.}" -v b="${end/,/.}" 'BEGIN { printf "%.4f\n", b - a }'
}
# min median max of the numbers on stdin
stats() { sort -g | awk '{a[NR]=$1} END {printf "%.3f %.3f %.3f\n", a[1], a[int((NR+1)/2)], a[NR]}'; }

# A unit whose comments are in Russian (UTF-8), as many Lazarus projects
# write them: 33,000 lines, built here.
python3 - "$out/russian.pp" <<'PY'
import random, sys
random.seed(1)
words = "Привет мир это комментарий на русском языке для проверки скорости печати".split()
lines = ["unit russian;", "interface", "implementation"]
for r in range(3000):
    lines += [f"procedure P{r};", "begin"]
    lines += [f"  x := x + {k}; // " + " ".join(random.choice(words) for _ in range(6)) for k in range(8)]
    lines.append("end;")
lines.append("end.")
open(sys.argv[1], "w", encoding="utf-8").write("\n".join(lines) + "\n")
PY

for unit in pparser.pp pasresolver.pp russian.pp; do
  file="$src/$unit"
  [ "$unit" = russian.pp ] && file="$out/$unit"
  lines=$(wc -l <"$file")
  # Until .pp opens as a unit everywhere, the copy is named .pas.
  cp "$file" "$out/${unit%.pp}.pas"
  for settings in default all; do
    : >"$out/ours"; : >"$out/a2ps"; : >"$out/vim"; : >"$out/read"
    for _ in $(seq "$runs"); do
      wall "$build/src/scrivane-print" "$out/${unit%.pp}.pas" --ini "$out/$settings.ini" -o "$out/ours.pdf" >>"$out/ours"
      peak=$(cat "$out/kb")
      wall bash -c "a2ps --pretty-print=pascal --line-numbers=1 -1 -o - '$file' 2>/dev/null | ps2pdf - '$out/a2ps.pdf'" >>"$out/a2ps"
      # Reading, for the floor, in the same turn: each of our runs follows
      # a peer's, and a run that follows ghostscript's finds the machine's
      # memory and caches taken, which costs it a tenth or more.
      wall "$build/src/scrivane-print" --routines "$out/${unit%.pp}.pas" >>"$out/read"
      wall bash -c "TERM=xterm vim --not-a-term -N -u NONE -i NONE -X -c 'syntax on' \
        -c 'set printoptions=number:y,paper:A4' -c 'hardcopy > $out/vim.ps' -c 'qa!' '$file' </dev/null; \
        ps2pdf '$out/vim.ps' '$out/vim.pdf'" >>"$out/vim"
    done
    read -r _ rmed _ < <(stats <"$out/read")
    # As the floor was first timed: reading run back to back, on a machine
    # at rest, beside our runs timed between the peers'.
    : >"$out/read-alone"
    for _ in $(seq "$runs"); do
      wall "$build/src/scrivane-print" --routines "$out/${unit%.pp}.pas" >>"$out/read-alone"
    done
    read -r _ amed_read _ < <(stats <"$out/read-alone")
    read -r zsec zbytes dsec < <(python3 bench/pdf_floor.py "$out/ours.pdf" 3 1)
    read -r omin omed omax < <(stats <"$out/ours")
    # The target applies to the largest unit with everything on.
    floor_target="(no target)"
    [ "$unit" = pasresolver.pp ] && [ "$settings" = all ] && floor_target="(target: at most 1.50)"
    read -r amin amed amax < <(stats <"$out/a2ps")
    read -r vmin vmed vmax < <(stats <"$out/vim")
    pages=$(pdfinfo "$out/ours.pdf" 2>/dev/null | awk '/^Pages:/{print $2}')
    fastest=$(awk -v a="$amed" -v v="$vmed" 'BEGIN{ print (a < v ? a : v) }')
    peer=$(awk -v a="$amed" -v v="$vmed" 'BEGIN{ print (a < v ? "a2ps" : "vim") }')
    echo "$unit ($lines lines, $settings settings, $runs runs, min/median/max s):" \
         "scrivane-print $omin/$omed/$omax ($pages pages, peak $((peak / 1024)) MB);" \
         "a2ps+ps2pdf $amin/$amed/$amax; vim+ps2pdf $vmin/$vmed/$vmax;" \
         "ratio to the fastest peer ($peer) $(awk -v a="$omed" -v b="$fastest" 'BEGIN{ printf "%.2f", a / b }')" \
         "(target: at most 0.50);" \
         "floor $(awk -v r="$rmed" -v z="$zsec" 'BEGIN{ printf "%.3f", r + z }') s" \
         "(reading $rmed s, compressing $((zbytes / 1048576)) MB of page content with zlib 3 $zsec s)," \
         "ratio to the floor $(awk -v a="$omed" -v r="$rmed" -v z="$zsec" 'BEGIN{ printf "%.2f", a / (r + z) }')" \
         "$floor_target (reading timed back to back: $amed_read s, ratio" \
         "$(awk -v a="$omed" -v r="$amed_read" -v z="$zsec" 'BEGIN{ printf "%.2f", a / (r + z) }'));" \
         "with libdeflate 1 ($dsec s) the floor is" \
         "$(awk -v r="$rmed" -v z="$dsec" 'BEGIN{ printf "%.3f", r + z }') s," \
         "ratio $(awk -v a="$omed" -v r="$rmed" -v z="$dsec" 'BEGIN{ printf "%.2f", a / (r + z) }')"
  done
  "$build/bench/listing_paginate" "$out/${unit%.pp}.pas"
done
echo "Paginating target: the 30,000-line unit under 0.5 s (warm caches)."
