#!/usr/bin/env bash
# Cross-references against Free Pascal's own resolver (tests/xref/oracle.pas,
# fcl-passrc's TPasResolver): precision, recall and the kinds that miss, on
# the small fixed book of the tests, on fcl-passrc/src as one book and on a
# Lazarus example project with forms; then what --list-xref finds there and
# how long it takes. Figures only; nothing here passes or fails.
# The oracle reads a unit set only when it can read every unit it uses:
# ORACLE_ARGS adds folders of such units (-FuDIR), include folders (-FiDIR)
# and defines (-dNAME). Without them the RTL and the LCL are missing, and
# the oracle says where it stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -n "${NO_BUILD:-}" ] || cmake --build "$build" --target scrivane-print xref_oracle >/dev/null
program=$build/src/scrivane-print
oracle=$build/tests/xref-oracle/oracle
passrc=/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src
example=/usr/lib/lazarus/2.2.6/examples/address_book
read -r -a extra <<<"${ORACLE_ARGS:-}"
oracle_args=()
for a in "${extra[@]}"; do oracle_args+=(--oracle-arg "$a"); done

compare() {
  python3 tests/xref/compare.py "$program" "$oracle" "${oracle_args[@]}" "$@" 2>&1 |
    sed 's/^/  /' | head -n "${LINES_SHOWN:-30}"
}
counts() {
  local start=$EPOCHREALTIME
  "$program" --list-xref "$@" >"$tmp/refs" 2>/dev/null || true
  local end=$EPOCHREALTIME
  awk -v a="${start/,/.}" -v b="${end/,/.}" -F'\t' '
    $1 == "D" { d++ } $1 == "U" { u++ }
    END { printf "  --list-xref: %d declarations, %d uses, %.3f s\n", d, u, b - a }' "$tmp/refs"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "The fixed book of the tests (tests/xref/fixture):"
fixture=tests/xref/fixture
compare "$fixture/system.pas" "$fixture/shapes.pas" "$fixture/tally.pas" "$fixture/main.lpr"
echo
echo "fcl-passrc/src as one book:"
compare "$passrc"/*.pp "$passrc"/*.pas
counts "$passrc"/*.pp "$passrc"/*.pas
echo
echo "Lazarus example with forms ($example):"
compare "$example/addrbook.lpr" "$example/frmmain.pas"
counts "$example/addrbook.lpi"
