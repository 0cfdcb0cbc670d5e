// scrivane-print: the command-line face of Scrivane.
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/ListCommands.h"
#include "cli/Options.h"
#include "cli/PrintCommand.h"

int main(int argc, char **argv) {
  // Printing needs fonts, so a GUI application; it never opens a window, so
  // it needs no display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
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
      return RunPrintCommand(options, out, err);
  }
  return kExitUsage;
}
