#!/usr/bin/env bash
# The prints a profile-guided build is trained on: BIN (a scrivane-print
# built with SCRIVANE_PGO=generate) prints the example project and real
# units of the Free Pascal and Lazarus sources, with default settings and
# with everything on, a form, and a unit with comments in Russian. The two
# units bench/listing.sh times (fcl-passrc) are left out, so that the
# benchmark measures what the training did not see.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
: >"$work/default.ini"
cp bench/everything-on.ini "$work/all.ini"
# A unit with comments in Russian (UTF-8), as many Lazarus projects write them.
{
  echo "unit russian;"; echo "interface"; echo "implementation"
  words=(Привет мир это комментарий на русском языке для печати)
  for r in $(seq 400); do
    echo "procedure P$r;"; echo "begin"
    for k in 1 2 3 4 5 6; do
      echo "  x := x + $k; // ${words[(r + k) % 9]} ${words[(r * k) % 9]} ${words[(r + 2 * k) % 9]} ${words[k]}"
    done
    echo "end;"
  done
  echo "end."
} >"$work/russian.pas"
units=("$work/russian.pas" examples/mainform.pas examples/mainform.dfm)
for unit in /usr/share/fpcsrc/3.2.2/packages/fcl-base/src/{inifiles,contnrs,fpexprpars,custapp}.pp \
            /usr/share/fpcsrc/3.2.2/packages/fcl-xml/src/dom.pp \
            /usr/lib/lazarus/2.2.6/lcl/{controls,forms}.pp /usr/lib/lazarus/2.2.6/ide/main.pp \
            /usr/lib/lazarus/2.2.6/ide/{aboutfrm,buildlazdialog}.lfm; do
  [ -f "$unit" ] && units+=("$unit")
done
# A print that fails only trains less; the build goes on either way.
n=0 printed=0
for unit in "${units[@]}"; do
  for settings in default all; do
    n=$((n + 1))
    "$bin" "$unit" --ini "$work/$settings.ini" -o "$work/out$n.pdf" >/dev/null 2>&1 && printed=$((printed + 1))
  done
done
"$bin" examples/inventory.dpr --all --ini "$work/all.ini" -o "$work/book.pdf" >/dev/null 2>&1 && printed=$((printed + 1))
echo "Profile-guided build: trained on $printed of $((n + 1)) prints."
