#pragma once
#include <QString>

namespace testsupport {
// Folder of the source tree (examples, reference files).
QString sourceDir();
// A fresh empty folder for one test; removed by the caller's QTemporaryDir if wanted.
QString examplesDir();
// Whether the golden files are to be written again rather than compared:
// SCRIVANE_REGENERATE is exactly "1" (scripts/regenerate-goldens.sh sets
// it). Any other value, "0" included, regenerates nothing.
bool regeneratingGoldens();
}  // namespace testsupport
