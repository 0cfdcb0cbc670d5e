#!/usr/bin/env bash
# Removes a copy installed with `cmake --install BUILD [--prefix P]`: every
# file the install wrote (BUILD/install_manifest.txt), the desktop's caches
# that only our files were in, and the folders left empty. Caches that still
# hold other programs' entries are brought up to date instead.
# Usage: scripts/uninstall.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: uninstall.sh BUILD_DIR}
manifest=$build/install_manifest.txt
[ -f "$manifest" ] || { echo "uninstall.sh: $manifest not found (was the build installed?)" >&2; exit 1; }

mapfile -t files <"$manifest"
folders=()
for file in "${files[@]}"; do
  [ -n "$file" ] || continue
  rm -f -- "$file"
  folders+=("$(dirname -- "$file")")
done

# A cache folder whose own entries are all gone holds only generated files.
only_generated() {  # folder, then the find arguments that name its entries
  local folder=$1
  shift
  [ -d "$folder" ] && [ -z "$(find "$folder" "$@" -print -quit 2>/dev/null)" ]
}
for folder in "${folders[@]}"; do
  case $folder in
    */share/mime/packages)
      mime=${folder%/packages}
      if only_generated "$folder" -name '*.xml'; then
        # What update-mime-database writes: the caches and one folder per media type.
        find "$mime" -mindepth 1 -maxdepth 1 ! -name packages -exec rm -rf -- {} +
      elif command -v update-mime-database >/dev/null; then
        update-mime-database "$mime"
      fi ;;
    */share/applications)
      if only_generated "$folder" -name '*.desktop'; then
        rm -f -- "$folder/mimeinfo.cache"
      elif command -v update-desktop-database >/dev/null; then
        update-desktop-database "$folder"
      fi ;;
    */share/icons/hicolor/*)
      theme=${folder%%/share/icons/hicolor/*}/share/icons/hicolor
      if only_generated "$theme" -type f ! -name icon-theme.cache ! -name index.theme; then
        rm -f -- "$theme/icon-theme.cache"
      fi ;;
  esac
done

# The empty share/scrivane folder that marks an installed copy is in no
# manifest: it is found beside the installed program.
for file in "${files[@]}"; do
  if [[ $file == */bin/scrivane ]]; then
    marker=${file%/bin/scrivane}/share/scrivane
    [ -d "$marker" ] && rmdir -- "$marker" 2>/dev/null && folders+=("$(dirname -- "$marker")")
  fi
done

# Folders the install made and left empty, deepest first; a folder that
# still holds anything stays.
printf '%s\n' "${folders[@]}" | sort -ur | while IFS= read -r folder; do
  while [ -d "$folder" ] && rmdir -- "$folder" 2>/dev/null; do folder=$(dirname -- "$folder"); done
done
