#!/usr/bin/env bash
# The web book against the PDF: pasresolver.pp with everything on, to PDF
# and to HTML, alternating, median of RUNS runs (default 5) with min and
# max; then Lazarus's lazbuild project as a whole web book; then the peak
# memory of a package of many units (aggpas, 170 pages) as a web book and
# as a PDF. Figures only; nothing here passes or fails. NO_BUILD=1 times the binary in BUILD_DIR as
# it stands.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
unit=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pasresolver.pp
project=/usr/lib/lazarus/2.2.6/ide/lazbuild.lpi
[ -n "${NO_BUILD:-}" ] || cmake --build "$build" --target scrivane-print >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cp bench/everything-on.ini "$out/all.ini"
cp "$unit" "$out/pasresolver.pas"
wall() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  local end=$EPOCHREALTIME
  awk -v a="${start/,/.}" -v b="${end/,/.}" 'BEGIN { printf "%.4f\n", b - a }'
}
stats() { sort -g | awk '{a[NR]=$1} END {printf "%.3f %.3f %.3f\n", a[1], a[int((NR+1)/2)], a[NR]}'; }
: >"$out/pdf"; : >"$out/html"
for _ in $(seq "$runs"); do
  wall "$build/src/scrivane-print" "$out/pasresolver.pas" --ini "$out/all.ini" -o "$out/p.pdf" >>"$out/pdf"
  rm -rf "$out/web"
  wall "$build/src/scrivane-print" "$out/pasresolver.pas" --ini "$out/all.ini" --format html -o "$out/web" >>"$out/html"
done
read -r pmin pmed pmax < <(stats <"$out/pdf")
read -r hmin hmed hmax < <(stats <"$out/html")
echo "pasresolver.pp ($(wc -l <"$unit") lines, everything on, $runs runs, min/median/max s):" \
     "PDF $pmin/$pmed/$pmax, HTML $hmin/$hmed/$hmax," \
     "HTML/PDF $(awk -v a="$hmed" -v b="$pmed" 'BEGIN{ printf "%.2f", a / b }')" \
     "(target: at most 1.00); pages $(du -sh "$out/web" | cut -f1)"
if [ -f "$project" ]; then
  : >"$out/lazbuild"
  for _ in $(seq "$runs"); do
    rm -rf "$out/lazweb"
    wall "$build/src/scrivane-print" "$project" --all --format html -o "$out/lazweb" >>"$out/lazbuild"
  done
  read -r lmin lmed lmax < <(stats <"$out/lazbuild")
  echo "lazbuild.lpi as a web book ($(ls "$out/lazweb" | wc -l) files, min/median/max s): $lmin/$lmed/$lmax (target: under 2 s)"
fi
package=/usr/lib/lazarus/2.2.6/components/aggpas/lazarus/aggpaslcl.lpk
if [ -f "$package" ]; then
  peak() { /usr/bin/time -f "%e %M" -o "$out/peak" "$@" >/dev/null 2>&1 || true; awk '{ printf "%.2f s, peak %.0f MiB", $1, $2 / 1024 }' "$out/peak"; }
  rm -rf "$out/aggweb"
  echo "aggpaslcl.lpk --all: web book $(peak "$build/src/scrivane-print" "$package" --all --format html -o "$out/aggweb")" \
       "($(du -sh "$out/aggweb" | cut -f1) of pages); PDF $(peak "$build/src/scrivane-print" "$package" --all -o "$out/agg.pdf")"
fi
