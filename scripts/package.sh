#!/usr/bin/env bash
# Builds the Debian package from the build folder (cpack -G DEB) and checks
# it as a user's dpkg would see it: its control data (dependencies from
# dpkg-shlibdeps), lintian where it is installed, and the files it puts in
# place, unpacked into a temporary root where the program must run.
# Usage: scripts/package.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder (bash scripts/build.sh)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1) ||
  fail "cpack: $(tail -20 "$work/cpack.log")"
deb=$(ls "$work"/*.deb)
dpkg-deb --info "$deb" >"$work/info"
grep -q "^ Package: scrivane$" "$work/info" || fail "package name"
depends=$(sed -n 's/^ Depends: //p' "$work/info")
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libharfbuzz-subset0 libdeflate0 libc6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
# Any error lintian reports fails the package; its warnings are shown.
if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$work/lintian" 2>&1 || true
  grep "^W:" "$work/lintian" >&2 || true
  if grep -q "^E:" "$work/lintian"; then
    grep "^E:" "$work/lintian" >&2
    fail "lintian reports errors (above)"
  fi
else
  echo "lintian is not installed: the package was not checked by it" >&2
fi

root=$work/root
dpkg -x "$deb" "$root"
for f in usr/bin/scrivane usr/bin/scrivane-print usr/lib/scrivane/scrivane-print-cups usr/share/applications/scrivane.desktop \
    usr/share/mime/packages/scrivane.xml usr/share/icons/hicolor/scalable/apps/scrivane.svg \
    usr/share/icons/hicolor/48x48/apps/scrivane.png usr/share/man/man1/scrivane.1.gz \
    usr/share/man/man1/scrivane-print.1.gz usr/share/doc/scrivane/changelog.gz usr/share/doc/scrivane/copyright \
    usr/share/bash-completion/completions/scrivane-print; do
  [ -f "$root/$f" ] || fail "$f is not in the package"
done
[ -d "$root/usr/share/scrivane" ] || fail "usr/share/scrivane is not in the package"
! find "$root" -name '*.html' | grep -q . || fail "the help topics are in the program; the package must not hold a second copy"
for program in usr/bin/scrivane-print usr/lib/scrivane/scrivane-print-cups; do
  file "$root/$program" | grep -q "stripped" && ! file "$root/$program" | grep -q "not stripped" ||
    fail "$program is not stripped"
done
# The unpacked copy runs as an installed one: its settings come from a
# configuration folder of its own, not the user's.
export XDG_CONFIG_HOME=$work/config
# -P is handed to scrivane-print-cups where the package puts it.
"$root/usr/bin/scrivane-print" examples/stock.pas -P no-such-queue 2>"$work/handover" && fail "-P no-such-queue printed"
grep -q "no-such-queue: no such printer" "$work/handover" || fail "-P did not reach scrivane-print-cups: $(cat "$work/handover")"
version=$("$root/usr/bin/scrivane-print" --version)
echo "$version"
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) kB, Depends: $depends"
# What the package takes on disk once installed: the stripped programs and
# the whole tree, as dpkg counts it.
echo "installed: $(sed -n 's/^ Installed-Size: //p' "$work/info") kB; stripped scrivane $(du -k "$root/usr/bin/scrivane" | cut -f1) kB," \
  "scrivane-print $(du -k "$root/usr/bin/scrivane-print" | cut -f1) kB"
cp "$deb" "$build/"
