// scrivane-print: the command-line face of Scrivane.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/ListCommands.h"
#include "cli/Options.h"

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  using namespace scrivane::cli;
  QTextStream out(stdout);
  QTextStream err(stderr);
  const ParsedOptions parsed = ParseOptions(app.arguments().mid(1));
  if (!parsed.ok) {
    err << "scrivane-print: " << parsed.error << "\n\n" << UsageText();
    return kExitUsage;
  }
  const Options &options = parsed.options;
  switch (options.mode) {
    case CommandMode::Help:
      out << UsageText();
      return kExitOk;
    case CommandMode::Units:
      return RunUnitsCommand(options, out, err);
    case CommandMode::Routines:
      return RunRoutinesCommand(options, out, err);
    case CommandMode::Print:
      err << "scrivane-print: printing to PDF is not available in this build\n";
      return kExitUsage;
  }
  return kExitUsage;
}
