#include "platform/Version.h"

namespace scrivane {

const char *ScrivaneVersion() { return SCRIVANE_VERSION; }

}  // namespace scrivane
