#include "support/TestPaths.h"

namespace testsupport {
QString sourceDir() { return QStringLiteral(SCRIVANE_SOURCE_DIR); }
QString examplesDir() { return sourceDir() + QStringLiteral("/examples"); }
}  // namespace testsupport
