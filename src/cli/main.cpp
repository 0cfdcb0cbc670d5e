// scrivane-print: the command-line face of Scrivane.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "cli/ListCommands.h"
#include "cli/Options.h"
#include "cli/PrintCommand.h"
#include "platform/Version.h"

namespace {
// The commands that only read and list: they need no fonts, and setting up
// a GUI application (most of it font set-up) was most of their run time.
bool OnlyLists(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--units") == 0 || std::strcmp(argv[i], "--routines") == 0 ||
        std::strcmp(argv[i], "--form-text") == 0)
      return true;
  }
  return false;
}
}  // namespace

int main(int argc, char **argv) {
  // Printing needs fonts, so a GUI application; it never opens a window, so
  // it needs no display either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt warns on stderr without a runtime folder; scripts read stderr for
  // our own messages only.
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QByteArray runtime = QDir::tempPath().toLocal8Bit() + "/scrivane-runtime-" + QByteArray::number(getuid());
    QDir().mkpath(QString::fromLocal8Bit(runtime));
    QFile::setPermissions(QString::fromLocal8Bit(runtime), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime);
  }
  std::unique_ptr<QCoreApplication> application;
  if (OnlyLists(argc, argv))
    application = std::make_unique<QCoreApplication>(argc, argv);
  else
    application = std::make_unique<QGuiApplication>(argc, argv);
  QCoreApplication &app = *application;
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
    case CommandMode::Version:
      out << "scrivane-print " << scrivane::ScrivaneVersion() << "\n";
      return kExitOk;
    case CommandMode::Units:
      return RunUnitsCommand(options, out, err);
    case CommandMode::Routines:
      return RunRoutinesCommand(options, out, err);
    case CommandMode::FormText:
      return RunFormTextCommand(options, err);
    case CommandMode::Print:
      return RunPrintCommand(options, out, err);
  }
  return kExitUsage;
}
