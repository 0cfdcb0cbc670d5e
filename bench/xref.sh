#!/usr/bin/env bash
# Cross-references against Free Pascal's own resolver (tests/xref/oracle.pas,
# fcl-passrc's TPasResolver): precision, recall and the kinds that miss, on
# the small fixed book of the tests, on fcl-passrc/src as one book and on a
# Lazarus example project with forms; then what --list-xref finds there, how
# long it takes and how many uses stand on a text other than the name they
# link to (0 expected; Lazarus's lclbase.lpk too); then what the links add
# to the PDF of pasresolver.pp.
# Figures only; nothing here passes or fails.
# The oracle reads a unit set only when it can read every unit it uses:
# fcl-passrc is read with the interfaces of Free Pascal's own run-time
# library (rtl, fcl-base, rtl-objpas), a few of their words replaced as
# tests/xref/rtl-patches.txt says (what the resolver has not learnt).
# ORACLE_ARGS adds folders of further units (-FuDIR), include folders
# (-FiDIR) and defines (-dNAME); the oracle says where it stopped.
# The LCL is too much for it: the Lazarus examples (easter, two forms;
# cursors, one; cleandir's confcleandirs, two forms and a unit of 1000
# lines they drive; imagelist_highdpi_runtime, a form and a class helper;
# translation, three forms derived from a form of its own, and its
# resource strings; tools/jsonviewer, nine forms and a frame) are read
# with bench/xref-stubs/lcl, the LCL names they use declared as the LCL
# declares them; LazUtils is read as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -n "${NO_BUILD:-}" ] || cmake --build "$build" --target scrivane-print xref_oracle >/dev/null
program=$build/src/scrivane-print
oracle=$build/tests/xref-oracle/oracle
passrc=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src
lazarus=/usr/lib/lazarus/2.2.6/examples
fpcsrc=/usr/share/fpcsrc/3.2.2
lazutils=/usr/lib/lazarus/2.2.6/components/lazutils
read -r -a extra <<<"${ORACLE_ARGS:-}"
for dir in rtl/linux rtl/unix rtl/objpas rtl/inc packages/fcl-base/src packages/rtl-objpas/src/inc; do
  extra+=("-Fu$fpcsrc/$dir")
done
for dir in rtl/linux rtl/unix rtl/inc rtl/x86_64 rtl/linux/x86_64 rtl/objpas rtl/objpas/sysutils \
  rtl/objpas/classes packages/rtl-objpas/src/inc packages/fcl-base/src; do
  extra+=("-Fi$fpcsrc/$dir")
done
extra+=(--patches=tests/xref/rtl-patches.txt --book-patches=tests/xref/book-patches.txt)
oracle_args=()
for a in "${extra[@]}"; do oracle_args+=(--oracle-arg "$a"); done
plain_args=()
for a in ${ORACLE_ARGS:-}; do plain_args+=(--oracle-arg "$a"); done

compare() {
  python3 tests/xref/compare.py "$program" "$oracle" "$@" 2>&1 |
    sed 's/^/  /' | head -n "${LINES_SHOWN:-30}"
}
counts() {
  local start=$EPOCHREALTIME
  "$program" --list-xref "$@" >"$tmp/refs" 2>/dev/null || true
  local end=$EPOCHREALTIME
  awk -v a="${start/,/.}" -v b="${end/,/.}" -F'\t' '
    $1 == "D" { d++ } $1 == "U" { u++ }
    END { printf "  --list-xref: %d declarations, %d uses, %.3f s\n", d, u, b - a }' "$tmp/refs"
  spelt "$tmp/refs"
}
# A use stands where its declaration's name is spelt (a link covers that
# name and nothing else): the uses whose text in the file is another.
spelt() {
  python3 - "$1" <<'PY'
import sys
names, files, other = {}, {}, 0
for row in open(sys.argv[1], encoding="latin-1"):
    f = row.rstrip("\n").split("\t")
    if f[0] == "D":
        names[f[1]] = f[4].split(".")[-1].lower()
    elif f[0] == "U":
        path, line, column = f[1].rsplit(":", 2)
        if path not in files:
            text = open(path, "rb").read().decode("latin-1")
            files[path] = [l[:-1] if l.endswith("\r") else l for l in text.split("\n")]
        at = int(column) - 1
        word = files[path][int(line) - 1][at:at + int(f[2])].lower().lstrip("&")
        other += word != names[f[3]]
print(f"  uses spelt otherwise than the name they link to: {other} (0 expected)")
PY
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "The fixed book of the tests (tests/xref/fixture):"
fixture=tests/xref/fixture
compare "${plain_args[@]}" "$fixture/system.pas" "$fixture/shapes.pas" "$fixture/tally.pas" "$fixture/main.lpr"
echo
echo "fcl-passrc/src as one book:"
compare "${oracle_args[@]}" "$passrc"/*.pp "$passrc"/*.pas
counts "$passrc"/*.pp "$passrc"/*.pas
# The Lazarus projects: the LCL from the stubs, LazUtils the real one; the
# program file first, then the units of the project.
lazarus_args=("${oracle_args[@]}")
for a in -Fubench/xref-stubs/lcl "-Fu$lazutils" "-Fi$lazutils" "-Fu$fpcsrc/packages/paszlib/src" \
  "-Fu$fpcsrc/packages/hash/src" "-Fu$fpcsrc/packages/fcl-json/src" "-Fi$fpcsrc/packages/fcl-json/src"; do
  lazarus_args+=(--oracle-arg "$a")
done
lazarus_project() {
  local title=$1 program_file=$2
  shift 2
  echo
  echo "$title:"
  compare "${lazarus_args[@]}" "$program_file" "$@"
  counts "${program_file%.lpr}.lpi"
}
for example in "$lazarus/easter" "$lazarus/cursors"; do
  lazarus_project "Lazarus example with forms ($example)" "$(ls "$example"/*.lpr)" "$example"/*.pas
done
cleandir=$lazarus/cleandir
lazarus_project "Lazarus project with forms and units of its own ($cleandir, confcleandirs)" \
  "$cleandir/confcleandirs.lpr" "$cleandir/dircleaner.pp" "$cleandir/frmmain.pp" "$cleandir/frmlog.pp"
# A unit with a class helper for the LCL's TImageList, called on a field.
highdpi=$lazarus/imagelist_highdpi_runtime
lazarus_project "Lazarus example with a form and a helper ($highdpi)" \
  "$highdpi/dpiimagelist.lpr" "$highdpi/unit1.pas"
translation=$lazarus/translation
lazarus_project "Lazarus example with three forms from one ancestor form of its own ($translation)" \
  "$translation/translation_demo.lpr" "$translation/localizedforms.pas" "$translation/main.pas" \
  "$translation/unit2.pas" "$translation/stringsunit.pas"
jsonviewer=/usr/lib/lazarus/2.2.6/tools/jsonviewer
lazarus_project "Lazarus tool with nine forms and a frame ($jsonviewer)" \
  "$jsonviewer/jsonviewer.lpr" "$jsonviewer"/*.pp
echo
echo "lclbase.lpk (the LCL's base package: include files, conditions, macros):"
counts /usr/lib/lazarus/2.2.6/lcl/lclbase.lpk
echo
# What the links cost in the PDF: pasresolver.pp printed alone (links to
# its own declarations) and as a book (every link, the Cross-reference and
# its rows), with everything on, with and without cross links.
echo "PDF size with and without cross links (bench/everything-on.ini):"
unit=$passrc/pasresolver.pp
pdf_size() {
  QT_QPA_PLATFORM=offscreen "$program" "$unit" --ini bench/everything-on.ini -q -o "$tmp/x.pdf" "$@"
  stat -c %s "$tmp/x.pdf"
}
link_count() {
  command -v qpdf >/dev/null || { echo "?"; return; }
  qpdf --json "$tmp/x.pdf" | grep -c '"/Subtype": "/Link"' || true
}
for how in alone book; do
  args=()
  [ "$how" = book ] && args=(--all)
  without=$(pdf_size "${args[@]}" --no-cross-links)
  with=$(pdf_size "${args[@]}")
  awk -v h="$how" -v a="$without" -v b="$with" -v n="$(link_count)" 'BEGIN {
    printf "  pasresolver.pp %-5s %9d bytes without, %9d with (%d links): %+.1f %%\n",
      h, a, b, n, 100 * (b - a) / a }'
done
