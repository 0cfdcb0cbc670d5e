#!/usr/bin/env bash
# Rewrites every golden file from what the code produces now: the documents'
# records (tests/listing/golden), the example book's outline and the example
# form's text (tests/project/golden), and the shipped example form
# examples/mainform.dfm, which our own encoder writes, and the list of
# settings in docs/man/scrivane-print.1, made from the settings table. Run it only on
# purpose, then review the change with "git diff tests/ examples/".
# SCRIVANE_REGENERATE=1 is the one switch the tests obey; no test writes
# into examples/: the form's bytes are left in the build folder and copied
# from there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target test_listing test_project test_format scrivane-print
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-test-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
goldens=(
  "test_listing:DocumentGolden.EveryDocumentMatchesItsRecord"
  "test_project:Book.ExampleProjectHasItsOutlineLinksAndLabels"
  "test_project:FormStream.ExampleFormAndItsGoldenText"
  "test_format:SettingsTable.ManPageListsEveryKey"
)
rm -f "$build/tests/mainform.dfm" "$build/tests/scrivane-print.1"
for golden in "${goldens[@]}"; do
  SCRIVANE_REGENERATE=1 "./$build/tests/${golden%%:*}" --gtest_filter="${golden#*:}" >/dev/null
done
cp "$build/tests/mainform.dfm" examples/mainform.dfm
cp "$build/tests/scrivane-print.1" docs/man/scrivane-print.1
# The same tests now compare against what was written.
for golden in "${goldens[@]}"; do
  "./$build/tests/${golden%%:*}" --gtest_filter="${golden#*:}" >/dev/null
done
git --no-pager diff --stat -- tests/listing/golden tests/project/golden examples docs/man
