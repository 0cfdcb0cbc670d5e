#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed programs
# from there: they answer --version, open a file named on the command line,
# keep their settings in $XDG_CONFIG_HOME/scrivane and write nothing beside
# themselves. Arguments: cmake, the build folder, the source folder, the
# version.
set -euo pipefail
cmake_command=$1 build=$2 source=$3 version=$4
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
"$cmake_command" --install "$build" --prefix "$prefix" >/dev/null
for f in bin/scrivane bin/scrivane-print lib/scrivane/scrivane-print-cups share/applications/scrivane.desktop \
    share/mime/packages/scrivane.xml share/icons/hicolor/scalable/apps/scrivane.svg \
    share/icons/hicolor/48x48/apps/scrivane.png \
    share/man/man1/scrivane-print.1.gz share/bash-completion/completions/scrivane-print; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -d "$prefix/share/scrivane" ] || fail "share/scrivane is not installed"

desktop-file-validate "$prefix/share/applications/scrivane.desktop" || fail "desktop file"
# The MIME package is read the way the desktop reads it: every extension the
# desktop entry promises must map to one of its types.
update-mime-database "$prefix/share/mime" 2>"$work/mime.err" || fail "MIME package: $(cat "$work/mime.err")"
types=$(sed -n 's/^MimeType=//p' "$prefix/share/applications/scrivane.desktop")
for ext in dpr lpr dpk lpi lpk dproj pp inc dfm lfm; do
  type=$(grep -E ":\*\.$ext\$" "$prefix/share/mime/globs2" | head -1 | cut -d: -f2)
  [ -n "$type" ] || fail "no MIME type for .$ext"
  [[ ";$types" == *";$type;"* ]] || fail ".$ext is $type, which the desktop entry does not list"
done

export XDG_CONFIG_HOME=$work/config HOME=$work/home QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
[ "$("$prefix/bin/scrivane-print" --version)" = "scrivane-print $version" ] || fail "scrivane-print --version"
[ "$("$prefix/bin/scrivane" --version)" = "scrivane $version" ] || fail "scrivane --version"

# The window opens the file given to it and records it among the recent
# files at once, in the configuration folder.
cp "$source/examples/textutil.pas" "$work/Text Util.pp"
(cd "$work" && exec "$prefix/bin/scrivane" "Text Util.pp") >"$work/window.log" 2>&1 &
pid=$!
ini=$XDG_CONFIG_HOME/scrivane/scrivn.ini
for _ in $(seq 600); do
  grep -qF "File1=$work/Text Util.pp" "$ini" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || fail "the window ended: $(cat "$work/window.log")"
  sleep 0.1
done
grep -qF "File1=$work/Text Util.pp" "$ini" || fail "no recent file in $ini"
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=

# The printer reads the same settings file: its owner text shows in the footer.
printf '[Switch]\nFooter=1\n[Owner]\nUser=Owner from the config folder\n' >>"$ini"
"$prefix/bin/scrivane-print" "$work/Text Util.pp" -o "$work/out.pdf"
pdftotext "$work/out.pdf" - | grep -q "Owner from the config folder" || fail "settings not read from $ini"

# -P reaches the installed scrivane-print-cups (no such queue here: its
# message says it was reached).
"$prefix/bin/scrivane-print" "$work/Text Util.pp" -P no-such-queue 2>"$work/handover" && fail "-P no-such-queue printed"
grep -q "no-such-queue: no such printer" "$work/handover" || fail "-P did not reach scrivane-print-cups: $(cat "$work/handover")"

extra=$(ls -A "$prefix/bin" | grep -vx -e scrivane -e scrivane-print || true)
[ -z "$extra" ] || fail "written beside the installed programs: $extra"
# The uninstall steps of the README leave nothing behind: no file, no
# cache, no empty folder.
update-desktop-database "$prefix/share/applications" 2>/dev/null || true
bash "$source/scripts/uninstall.sh" "$build" || fail "uninstall.sh"
left=$(find "$prefix" 2>/dev/null || true)
[ -z "$left" ] || fail "left behind after uninstall.sh: $left"
echo "installed copy runs from $prefix"
