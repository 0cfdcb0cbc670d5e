#pragma once
// The read-only listings of scrivane-print: what the window's two pick lists
// would show, as text.
#include <QTextStream>

#include "cli/Options.h"

namespace scrivane {
struct ReaderContext;
}

namespace scrivane::cli {

// Opens one FILE of the command line: standard input's unit is always read
// as a unit, whatever name it was given.
void OpenGivenFile(ReaderContext &ctx, const Options &options, const QString &path);

// Each returns the exit status; listings go to out, messages to err.
int RunUnitsCommand(const Options &options, QTextStream &out, QTextStream &err);
int RunRoutinesCommand(const Options &options, QTextStream &out, QTextStream &err);
// The cross-references of the book FILE makes (a project's units and
// program, or every FILE given): a line per declaration, "D<TAB>index<TAB>
// kind<TAB>file:line:column<TAB>owner.name<TAB>parameters[<TAB>body index]",
// then a line per use, "U<TAB>file:line:column<TAB>length<TAB>declaration
// index". Files are named by path, escaped as --units escapes them.
int RunCrossReferencesCommand(const Options &options, QTextStream &out, QTextStream &err);
// Writes the form's text to stdout byte for byte; nothing else is written.
int RunFormTextCommand(const Options &options, QTextStream &err);

}  // namespace scrivane::cli
