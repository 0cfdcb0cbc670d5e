#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a folder its layer may
# not use (docs/HACKING.md, "Layers"), and names the file and the line.
# The window folders (app/, widgets/, */gui/) may use every layer.
set -euo pipefail
cd "$(dirname "$0")/../src"
# folder: the folders its files may include from, besides its own.
declare -A allowed=(
  [platform]=""
  [format]="platform"
  [project]="platform"
  [print]="platform format"
  [listing]="platform format project print"
  [web]="platform format project print listing"
  [printer]="platform format print"
  [cli]="platform format project print listing web printer"
)
bad=0
for folder in "${!allowed[@]}"; do
  ok=" $folder ${allowed[$folder]} "
  while IFS= read -r hit; do
    included=${hit#*#include \"}
    included=${included%%\"*}
    used=${included%%/*}
    # A window folder inside a layer ("format/gui/") is a window folder.
    case "$included" in */gui/*) used=gui ;; esac
    if [[ "$ok" != *" $used "* ]]; then
      echo "check-layers: ${hit%%:#include*}: $folder/ may not include $included" >&2
      bad=1
    fi
  done < <(find "$folder" -path '*/gui' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 grep -Hn '^#include "[a-z]*/' || true)
done
[ "$bad" = 0 ] || exit 1
echo "check-layers: every include under src/ follows the layer order"
