#pragma once
// Runs the built scrivane-print and collects what it says.
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace printtool {

struct ToolRun {
  int status = -1;
  QString out, err;
};

inline QString Program() { return QStringLiteral(SCRIVANE_BINARY_DIR) + "/src/scrivane-print"; }

// An empty settings file of this test program's own: a print run without
// --ini would read the scrivn.ini a developer's window left beside the
// build's programs (a 12-point font there wrapped a comment into one row
// more), so every print the tests run reads the defaults unless it says
// otherwise.
inline QString DefaultSettings() {
  static QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("scrivn.ini"));
  if (!QFile::exists(path)) QFile(path).open(QIODevice::WriteOnly);
  return path;
}

// `args` with "--ini DefaultSettings()" added when they ask for a print and
// name no settings file: the other commands read no settings and refuse
// --ini.
inline QStringList WithOwnSettings(const QStringList &args) {
  for (const QString &arg : args)
    if (arg == QLatin1String("--ini") || arg.startsWith(QLatin1String("--ini=")) ||
        arg == QLatin1String("--units") || arg == QLatin1String("--routines") ||
        arg == QLatin1String("--list-xref") || arg == QLatin1String("--form-text") ||
        arg == QLatin1String("--help") || arg == QLatin1String("-h") ||
        arg == QLatin1String("--version"))
      return args;
  return QStringList(args) << QStringLiteral("--ini") << DefaultSettings();
}

inline ToolRun RunPrintTool(const QStringList &args) {
  QProcess process;
  process.start(Program(), WithOwnSettings(args));
  ToolRun run;
  if (!process.waitForFinished(60000)) return run;
  run.status = process.exitCode();
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

}  // namespace printtool
