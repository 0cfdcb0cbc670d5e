#!/usr/bin/env bash
# How printing grows with the size of a unit: units of 1k to 1M lines built
# from the implementation section of a real unit (whole routines, so blocks
# stay balanced) are printed to PDF with everything on; prints wall time,
# pages, peak RSS and lines per second for each size. Then a 1M-line unit of
# many short routines, the implementation sections of fcl-passrc, fcl-json
# and fcl-base one after another (about 60,000 routines): what a print
# keeps per routine (bookmarks, places, index entries, page labels) shows
# there; it is printed alone and as a book (--all: its routine list and
# index too), then without cross references, and its names resolved
# alone (--list-xref). Targets: every 1M-line print under 100 MiB; time
# close to linear.
# Then 200,000 routines of five lines each, alone.
# Figures only. SIZES, MANY_ROUTINES and ROUTINES_LINES (0: no such unit)
# choose the sizes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
src=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pparser.pp
sizes=${SIZES:-"1000 8000 30000 120000 480000 1000000"}
routines_lines=${ROUTINES_LINES:-1000000}
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
# The copies are cut at a routine boundary, which ends the pipe early.
set +o pipefail
# make_unit NAME LINES BODY: a unit of about LINES lines, BODY repeated.
make_unit() {
  { echo "unit $1;"; echo "interface"; echo "implementation"
    copies=$(( ($2 + $(wc -l <"$3") - 1) / $(wc -l <"$3") ))
    for _ in $(seq "$copies"); do cat "$3"; done |
      awk -v n="$2" 'NR > n && /^(procedure|function|constructor|destructor|class) /{exit} {print}'
    echo "end."; } >"$out/$1.pas"
}
# print_unit UNIT LABEL [OPTION...]: prints it and says how it went.
print_unit() {
  local unit=$1 label=$2
  shift 2
  /usr/bin/time -f "%e %M" -o "$out/time" "$build/src/scrivane-print" "$out/$unit.pas" "$@" --ini "$out/all.ini" -o "$out/big.pdf" >/dev/null 2>&1
  read -r s kb <"$out/time"
  lines=$(wc -l <"$out/$unit.pas")
  pages=$(pdfinfo "$out/big.pdf" 2>/dev/null | awk '/^Pages:/{print $2}')
  echo "$label: $s s, ${pages:-?} pages, peak $(awk -v k="$kb" 'BEGIN{ printf "%.1f", k / 1024 }') MiB, $(awk -v n="$lines" -v s="$s" 'BEGIN{ if (s > 0) printf "%.0f", n / s; else print "-" }') lines/s"
  rm -f "$out/big.pdf"
}
for n in $sizes; do
  make_unit "big$n" "$n" "$out/body"
  print_unit "big$n" "$n lines"
  rm -f "$out/big$n.pas"
done
if [ "$routines_lines" -gt 0 ]; then
  for f in /usr/share/fpcsrc/3.2.2/packages/{fcl-passrc,fcl-json,fcl-base}/src/*.pp \
           /usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/*.pas; do
    # Include directives are left out: the unit stands alone in a folder of its own.
    awk 'tolower($0) ~ /^implementation/{on=1; next} tolower($0) ~ /^(end\.|initialization|finalization)/{on=0}
         on && tolower($0) !~ /^[ \t]*\{\$(i|include) /' "$f"
  done >"$out/short"
  make_unit routines "$routines_lines" "$out/short"
  # Its interface is empty, so the routine list is too; every routine still
  # has its heading, bookmark and places.
  count=$(grep -ciE '^ *(class )?(procedure|function|constructor|destructor|operator) ' "$out/routines.pas")
  print_unit routines "$(wc -l <"$out/routines.pas") lines, $count routine headers"
  # As a book: the list of its routines first, every one a link, and the
  # index of them all after the listing.
  print_unit routines "the same as a book (--all)" --all
  print_unit routines "the same book without cross references (--all --no-cross-links)" --all --no-cross-links
  # Resolving its names alone: what the cross references hold at their peak.
  /usr/bin/time -f "%e %M" -o "$out/time" "$build/src/scrivane-print" --list-xref "$out/routines.pas" >"$out/refs" 2>/dev/null
  read -r s kb <"$out/time"
  echo "its cross references alone (--list-xref): $s s, $(grep -c '^U' "$out/refs") uses, peak $(awk -v k="$kb" 'BEGIN{ printf "%.1f", k / 1024 }') MiB"
fi
# A unit of about 1M lines made of five-line routines, each a declaration
# the cross references keep until their uses are made: what they hold for
# each routine shows here. MANY_ROUTINES (0: none) sets their number.
many=${MANY_ROUTINES:-200000}
if [ "$many" -gt 0 ]; then
  awk -v n="$many" 'BEGIN {
    print "unit many;"; print "interface"; print "implementation"; print "var X: Integer;"
    for (i = 0; i < n; i++) printf "procedure P%d(A: Integer);\nbegin\n  X := A + %d;\nend;\n\n", i, i
    print "end." }' >"$out/many.pas"
  print_unit many "$(wc -l <"$out/many.pas") lines of $many five-line routines"
  print_unit many "the same without cross references (--no-cross-links)" --no-cross-links
  rm -f "$out/many.pas"
fi
