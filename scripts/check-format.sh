#!/usr/bin/env bash
# Fails when a C++ file of the tree is not as clang-format 14 would write it,
# and names the files. `scripts/check-format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
FORMAT=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$FORMAT" ]; then
  echo "check-format: clang-format-14 is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  "$FORMAT" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  if ! "$FORMAT" --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: ${#bad[@]} file(s) differ from .clang-format; run scripts/check-format.sh --fix:" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format writes them"
