#pragma once
// Runs a command-line tool (pdftotext, qpdf, ...) that reads our PDFs back and
// returns its standard output; empty when it fails to finish in time.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

inline QString RunTool(const QString &program, const QStringList &args, int timeoutMs = 60000) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(timeoutMs)) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

}  // namespace testsupport
