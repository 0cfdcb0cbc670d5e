#include "platform/OutputGuard.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

#include "platform/Paths.h"

namespace scrivane {
namespace {

struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  QString canonical;
};

FileIdentity IdentityOf(const QString &path) {
  FileIdentity identity;
  if (path.isEmpty()) return identity;
  // The exact name first: it is what a reader opens when it exists.
  QString found = QFileInfo::exists(path) ? path : FindFileAnyCase(path);
  if (found.isEmpty()) return identity;
  struct stat status {};
  if (::stat(QFile::encodeName(found).constData(), &status) != 0) return identity;
  identity.exists = true;
  identity.device = status.st_dev;
  identity.inode = status.st_ino;
  identity.canonical = QFileInfo(found).canonicalFilePath();
  return identity;
}

}  // namespace

QString RefuseOutputOverInput(const QString &output, const QStringList &inputs) {
  const FileIdentity target = IdentityOf(output);
  if (!target.exists) return QString();
  for (const QString &input : inputs) {
    const FileIdentity source = IdentityOf(input);
    if (!source.exists) continue;
    const bool sameFile = source.device == target.device && source.inode == target.inode;
    const bool sameName = !source.canonical.isEmpty() &&
                          source.canonical.compare(target.canonical, Qt::CaseInsensitive) == 0;
    if (sameFile || sameName)
      return QStringLiteral("Cannot print to %1: it is %2, a file of the opened project. Choose another output file.")
          .arg(QFileInfo(output).absoluteFilePath(), source.canonical.isEmpty() ? input : source.canonical);
  }
  return QString();
}

}  // namespace scrivane
