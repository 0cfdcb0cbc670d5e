#pragma once
// The version both programs report, set once in the top CMake project().

namespace scrivane {

// "0.1"
const char *ScrivaneVersion();

}  // namespace scrivane
