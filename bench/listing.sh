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
# Beside our PDF stands our web book of the same unit and settings
# (--format html), timed in the same turns: the target is a web book that
# takes no longer than the PDF.
# Then the budgets of what reading and layout choices may cost: controls.pp
# following its 17 include files against the same text as one unit (the
# includes pasted in place), and pasresolver.pp with the author's layout
# (--layout source) against the recomputed one, in lines per second.
# Figures only; nothing here passes or fails. NO_BUILD=1 times the binaries
# already in BUILD_DIR as they stand; SECTIONS=budgets prints the budgets
# alone (default: "peers budgets").
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
sections=${SECTIONS:-"peers budgets"}
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

for unit in $([[ " $sections " == *" peers "* ]] && echo pparser.pp pasresolver.pp russian.pp); do
  file="$src/$unit"
  [ "$unit" = russian.pp ] && file="$out/$unit"
  lines=$(wc -l <"$file")
  # Until .pp opens as a unit everywhere, the copy is named .pas.
  cp "$file" "$out/${unit%.pp}.pas"
  for settings in default all; do
    : >"$out/ours"; : >"$out/a2ps"; : >"$out/vim"; : >"$out/read"; : >"$out/html"
    for _ in $(seq "$runs"); do
      wall "$build/src/scrivane-print" "$out/${unit%.pp}.pas" --ini "$out/$settings.ini" -o "$out/ours.pdf" >>"$out/ours"
      peak=$(cat "$out/kb")
      rm -rf "$out/web"
      wall "$build/src/scrivane-print" "$out/${unit%.pp}.pas" --ini "$out/$settings.ini" --format html -o "$out/web" >>"$out/html"
      html_peak=$(cat "$out/kb")
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
    read -r hmin hmed hmax < <(stats <"$out/html")
    pages=$(pdfinfo "$out/ours.pdf" 2>/dev/null | awk '/^Pages:/{print $2}')
    fastest=$(awk -v a="$amed" -v v="$vmed" 'BEGIN{ print (a < v ? a : v) }')
    peer=$(awk -v a="$amed" -v v="$vmed" 'BEGIN{ print (a < v ? "a2ps" : "vim") }')
    echo "$unit ($lines lines, $settings settings, $runs runs, min/median/max s):" \
         "scrivane-print $omin/$omed/$omax ($pages pages, peak $((peak / 1024)) MB);" \
         "as a web page $hmin/$hmed/$hmax (peak $((html_peak / 1024)) MB), HTML/PDF" \
         "$(awk -v h="$hmed" -v p="$omed" 'BEGIN{ printf "%.2f", h / p }') (target: at most 1.00);" \
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
[[ " $sections " == *" peers "* ]] && echo "Paginating target: the 30,000-line unit under 0.5 s (warm caches)."

[[ " $sections " == *" budgets "* ]] || exit 0
# lines/s of a print of FILE with extra options, median of $runs runs
# alternating with the other of its pair; "label lines file options..."
budget_pair() {
  local lines=$1 a_label=$2 a_file=$3 a_opts=$4 b_label=$5 b_file=$6 b_opts=$7
  : >"$out/a"; : >"$out/b"
  for _ in $(seq "$runs"); do
    # shellcheck disable=SC2086
    wall "$build/src/scrivane-print" "$a_file" $a_opts --ini "$out/all.ini" -o "$out/a.pdf" >>"$out/a"
    # shellcheck disable=SC2086
    wall "$build/src/scrivane-print" "$b_file" $b_opts --ini "$out/all.ini" -o "$out/b.pdf" >>"$out/b"
  done
  read -r _ am _ < <(stats <"$out/a")
  read -r _ bm _ < <(stats <"$out/b")
  echo "  $a_label: $am s, $(awk -v n="$lines" -v s="$am" 'BEGIN{ printf "%.0f", n / s }') lines/s;" \
       "$b_label: $bm s, $(awk -v n="$lines" -v s="$bm" 'BEGIN{ printf "%.0f", n / s }') lines/s;" \
       "$b_label over $a_label in lines/s: $(awk -v a="$am" -v b="$bm" 'BEGIN{ printf "%.2f", a / b }')"
}
echo "Budgets (everything on, $runs runs each, medians; load average $(cut -d' ' -f1-3 /proc/loadavg)):"
lcl=/usr/lib/lazarus/2.2.6/lcl
if [ -f "$lcl/controls.pp" ]; then
  # The same text as one unit: every include directive that names a file
  # of lcl/ or lcl/include/ replaced by that file's text, as the reader
  # follows them (nested ones too).
  python3 - "$lcl/controls.pp" "$out/inlined/controls.pp" <<'PY'
import os, re, sys
src, dst = sys.argv[1], sys.argv[2]
folders = [os.path.dirname(src), os.path.join(os.path.dirname(src), "include")]
names = {}
for folder in folders:
    for name in os.listdir(folder):
        names.setdefault(name.lower(), os.path.join(folder, name))
directive = re.compile(r"^\s*\{\$(?:i|include)\s+([^}\s]+)\s*\}\s*$", re.I)
def inline(path, depth=0):
    out = []
    for line in open(path, "rb").read().decode("latin-1").splitlines():
        m = directive.match(line)
        found = names.get(m.group(1).lower()) if m and depth < 32 else None
        out += inline(found, depth + 1) if found else [line]
    return out
os.makedirs(os.path.dirname(dst), exist_ok=True)
open(dst, "wb").write(("\n".join(inline(src)) + "\n").encode("latin-1"))
PY
  lines=$(wc -l <"$out/inlined/controls.pp")
  echo " controls.pp with its include files ($lines lines) against the same text as one unit" \
       "(target: the same lines per second, ratio at least 0.95):"
  budget_pair "$lines" "one unit" "$out/inlined/controls.pp" "" "following includes" "$lcl/controls.pp" ""
fi
if [ -f "$src/pasresolver.pp" ]; then
  cp "$src/pasresolver.pp" "$out/pasresolver.pas"
  lines=$(wc -l <"$out/pasresolver.pas")
  echo " pasresolver.pp ($lines lines), the recomputed layout against the author's (--layout source)" \
       "(target: source at least as fast, ratio at least 1.00):"
  budget_pair "$lines" "recomputed" "$out/pasresolver.pas" "--layout recomputed" "source" "$out/pasresolver.pas" "--layout source"
fi
