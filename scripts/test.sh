#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Arguments go to
# ctest: "bash scripts/test.sh -LE slow" runs the fast set (docs/HACKING.md).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=/tmp/scrivane-test-runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# No test may write into the shipped examples or the golden files (only
# scripts/regenerate-goldens.sh does, on purpose).
shipped() { git status --porcelain -- examples tests/listing/golden tests/project/golden 2>/dev/null || true; }
before=$(shipped)
ctest --test-dir build --output-on-failure --timeout 300 "$@"
after=$(shipped)
if [ "$before" != "$after" ]; then
  echo "A test changed shipped files:" >&2
  diff <(echo "$before") <(echo "$after") >&2 || true
  exit 1
fi
