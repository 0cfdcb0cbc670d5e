// scrivane-print: printing on a queue is left to scrivane-print-cups, which
// lies beside it in a build and in lib/scrivane when installed.
#include <unistd.h>

#include <QByteArray>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "cli/StreamMessages.h"
#include "cli/SystemPrinter.h"

namespace scrivane::cli {

std::unique_ptr<SystemPrinter> OpenSystemPrinter(const Options &, PaperSize &, QString *error) {
  *error = QStringLiteral("this build prints on a printer through scrivane-print-cups only");
  return nullptr;
}

std::optional<int> HandOverPrinterPrint(char **argv, QTextStream &err) {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  const QString folder =
      length > 0 ? QFileInfo(QString::fromLocal8Bit(self, length)).absolutePath() : QString();
  const QString helper = QStringLiteral("scrivane-print-cups");
  for (const QString &candidate :
       {folder + u'/' + helper, folder + QStringLiteral("/../lib/scrivane/") + helper}) {
    if (folder.isEmpty() || !QFileInfo(candidate).isExecutable()) continue;
    const QByteArray path = candidate.toLocal8Bit();
    execv(path.constData(), argv);
    Report(err, QStringLiteral("cannot run %1: %2")
                    .arg(candidate, QString::fromLocal8Bit(std::strerror(errno))));
    return kExitMessage;
  }
  Report(err,
         QStringLiteral("printing on a printer (-P) needs %1, which is not installed").arg(helper));
  return kExitMessage;
}

}  // namespace scrivane::cli
