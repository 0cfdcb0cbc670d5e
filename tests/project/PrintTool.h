#pragma once
// Runs the built scrivane-print and collects what it says.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace printtool {

struct ToolRun {
  int status = -1;
  QString out, err;
};

inline QString Program() { return QStringLiteral(SCRIVANE_BINARY_DIR) + "/src/scrivane-print"; }

inline ToolRun RunPrintTool(const QStringList &args) {
  QProcess process;
  process.start(Program(), args);
  ToolRun run;
  if (!process.waitForFinished(60000)) return run;
  run.status = process.exitCode();
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

}  // namespace printtool
