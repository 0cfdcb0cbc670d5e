// scrivane-print: the command-line face of Scrivane.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "cli/ListCommands.h"
#include "cli/Options.h"
#include "cli/PrintCommand.h"
#include "cli/StreamMessages.h"
#include "cli/SystemPrinter.h"
#include "format/SettingOverrides.h"
#include "platform/Paths.h"
#include "platform/ShortRunHeap.h"
#include "platform/TemporaryFiles.h"
#include "platform/Version.h"

int main(int argc, char **argv) {
  scrivane::PrepareShortRunHeap();
  // Printing never opens a window, so it needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt warns on stderr without a runtime folder; scripts read stderr for
  // our own messages only.
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
    if (const QString runtime = scrivane::PrivateRuntimeFolder(); !runtime.isEmpty())
      qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
  using namespace scrivane::cli;
  // Decoded as QCoreApplication::arguments() decodes them; parsed before the
  // application exists, because only printing needs a GUI application.
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const ParsedOptions parsed = ParseOptions(args);
  QTextStream out(stdout);
  QTextStream err(stderr);
  if (!parsed.ok) {
    err << kProgramPrefix << parsed.error
        << "\nTry 'scrivane-print --help' for more information.\n";
    return kExitUsage;
  }
  Options options = parsed.options;
  // A unit too large for the memory there is: a message, not an abort,
  // even where the failure meets code that may not throw.
  scrivane::ExitOnAllocationFailure(
      (kProgramPrefix + scrivane::EscapeControlCharacters(
                            QStringLiteral("Not enough memory to read ") + options.file))
          .toLocal8Bit());
  if (options.mode == CommandMode::Print && !options.printer.isEmpty())
    if (const std::optional<int> code = HandOverPrinterPrint(argv, err)) return *code;
  // A unit given as "-" is read whole from standard input into a folder of
  // this run's own, under the name the pages give it; the folder goes at
  // the end.
  std::optional<QTemporaryDir> stdinFolder;
  if (const qsizetype at = options.files.indexOf(kStandardInput); at >= 0) {
    stdinFolder.emplace(QDir::tempPath() + QStringLiteral("/scrivane-stdin-XXXXXX"));
    QFile input;
    QFile unit(stdinFolder->filePath(options.stdinName.isEmpty() ? QStringLiteral("stdin")
                                                                 : options.stdinName));
    if (!stdinFolder->isValid() || !input.open(stdin, QIODevice::ReadOnly) ||
        !unit.open(QIODevice::WriteOnly) || unit.write(input.readAll()) < 0 || !unit.flush()) {
      err << kProgramPrefix << "cannot keep the unit read from standard input: "
          << (stdinFolder->isValid() ? unit.errorString() : stdinFolder->errorString()) << "\n";
      return kExitMessage;
    }
    unit.close();
    options.stdinPath = unit.fileName();
    options.files[at] = options.stdinPath;
    if (at == 0) options.file = options.stdinPath;
  }
  // Printing needs fonts, so a GUI application; the commands that only read
  // and list need none, and setting one up (mostly fonts) was most of their
  // run time.
  std::unique_ptr<QCoreApplication> application;
  if (options.mode == CommandMode::Print)
    application = std::make_unique<QGuiApplication>(argc, argv);
  else
    application = std::make_unique<QCoreApplication>(argc, argv);
  int code = kExitUsage;
  switch (options.mode) {
    case CommandMode::Help:
      out << UsageText();
      code = kExitOk;
      break;
    case CommandMode::Version:
      out << "scrivane-print " << scrivane::ScrivaneVersion() << "\n";
      code = kExitOk;
      break;
    case CommandMode::ListSettings:
      for (const QString &name : scrivane::SettingNames()) out << name << "\n";
      code = kExitOk;
      break;
    default:
      // A unit too large for the memory there is: a message, not an abort.
      try {
        if (options.mode == CommandMode::Units)
          code = RunUnitsCommand(options, out, err);
        else if (options.mode == CommandMode::Routines)
          code = RunRoutinesCommand(options, out, err);
        else if (options.mode == CommandMode::CrossReferences)
          code = RunCrossReferencesCommand(options, out, err);
        else if (options.mode == CommandMode::FormText)
          code = RunFormTextCommand(options, err);
        else
          code = RunPrintCommand(options, out, err);
      } catch (const std::bad_alloc &failure) {
        Report(err, scrivane::FailureText(failure, options.file));
        code = kExitMessage;
      }
      break;
  }
  // Everything is written and the PDF is in place: the process ends here,
  // without taking down the application, its fonts and its plugins piece by
  // piece, which took a few milliseconds after every print.
  out.flush();
  err.flush();
  std::fflush(nullptr);
  if (stdinFolder) stdinFolder->remove();
#ifdef SCRIVANE_PGO_GENERATE
  std::exit(code);
#else
  std::_Exit(code);
#endif
}
