#pragma once
#include <QString>

namespace testsupport {
// Folder of the source tree (examples, reference files).
QString sourceDir();
// A fresh empty folder for one test; removed by the caller's QTemporaryDir if wanted.
QString examplesDir();
}  // namespace testsupport
