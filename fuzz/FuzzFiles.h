#pragma once
// The readers take paths: each input is written to files in a private
// folder (in memory where /dev/shm exists) and read from there.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include "platform/UserMessages.h"

namespace fuzzsupport {

inline const QString &Folder() {
  static QTemporaryDir dir(QFile::exists("/dev/shm")
                               ? QStringLiteral("/dev/shm/scrivane-fuzz-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/scrivane-fuzz-XXXXXX"));
  static const QString path = dir.path() + QStringLiteral("/");
  return path;
}

inline QString WriteFile(const QString &name, QByteArrayView bytes) {
  const QString path = Folder() + name;
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes.data(), bytes.size());
  return path;
}

// Messages are expected (most inputs are not Pascal); they are dropped.
class QuietMessages : public scrivane::UserMessages {
 public:
  void Warning(const QString &) override {}
  void Information(const QString &) override {}
  bool AskYesNo(const QString &) override { return false; }
};

}  // namespace fuzzsupport
