#!/usr/bin/env bash
# Rewrites the documents' reference records from what the code prints now.
# Run it only on purpose, then review the change with "git diff tests/".
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target test_listing
QT_QPA_PLATFORM=offscreen SCRIVANE_REGENERATE=1 ./build/tests/test_listing --gtest_filter='DocumentGolden.*'
git --no-pager diff --stat -- tests/listing/golden
