#include "support/TestPaths.h"

#include <QByteArray>
#include <QtGlobal>

namespace testsupport {
QString sourceDir() { return QStringLiteral(SCRIVANE_SOURCE_DIR); }
QString examplesDir() { return sourceDir() + QStringLiteral("/examples"); }
bool regeneratingGoldens() { return qgetenv("SCRIVANE_REGENERATE") == "1"; }
}  // namespace testsupport
