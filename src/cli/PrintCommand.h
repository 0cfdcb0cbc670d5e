#pragma once
// scrivane-print FILE ... -o OUT.pdf: the unit listing of the highlighted
// unit, or of the selected routines, printed to a PDF file with the same
// page events the window prints with.
#include <QTextStream>

#include "cli/Options.h"

namespace scrivane::cli {

// Returns the exit status; the result line goes to out, messages to err.
// Needs a QGuiApplication (fonts).
int RunPrintCommand(const Options &options, QTextStream &out, QTextStream &err);

}  // namespace scrivane::cli
