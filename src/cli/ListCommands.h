#pragma once
// The read-only listings of scrivane-print: what the window's two pick lists
// would show, as text.
#include <QTextStream>

#include "cli/Options.h"

namespace scrivane::cli {

// Each returns the exit status; listings go to out, messages to err.
int RunUnitsCommand(const Options &options, QTextStream &out, QTextStream &err);
int RunRoutinesCommand(const Options &options, QTextStream &out, QTextStream &err);
// Writes the form's text to stdout byte for byte; nothing else is written.
int RunFormTextCommand(const Options &options, QTextStream &err);

}  // namespace scrivane::cli
