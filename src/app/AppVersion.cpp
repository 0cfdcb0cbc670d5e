// The About window's version is the one the command line reports.
#include "platform/Version.h"

namespace scrivane {
const char *AppVersionText() { return ScrivaneVersion(); }
}  // namespace scrivane
