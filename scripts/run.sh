#!/usr/bin/env bash
# Installs what is missing, builds, and starts Scrivane. Without a display it
# prints the example project to PDF instead and says where the files are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/src/scrivane
fi
echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset): Scrivane's window cannot open here."
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
mkdir -p out
status=0
if build/src/scrivane-print --help 2>/dev/null | grep -q -- "-o OUT.pdf"; then
  # The whole project as one book: the project file, each unit and its form,
  # the index; bookmarks and links lead from the index to every routine.
  build/src/scrivane-print examples/inventory.dpr --all --line-numbers file --header "" --footer "" -o out/inventory.pdf || status=1
  echo "Printed the example project as one book: $(pwd)/out/inventory.pdf"
else
  echo "This build cannot print from the command line yet."
fi
echo "To see the window, run on a desktop, or: xvfb-run -a build/src/scrivane"
exit $status
