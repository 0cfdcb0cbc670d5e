#include "platform/OutputGuard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

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
      return QStringLiteral(
                 "Cannot print to %1: it is %2, a file of the opened project. Choose another "
                 "output file.")
          .arg(QFileInfo(output).absoluteFilePath(),
               source.canonical.isEmpty() ? input : source.canonical);
  }
  return QString();
}

QString OutputTargetProblem(const QString &output, bool replaceAnyFile) {
  const QByteArray name = QFile::encodeName(output);
  struct stat target {};
  if (::stat(name.constData(), &target) != 0) {
    const int error = errno;
    // A link that leads nowhere would be followed, and its target made
    // wherever it points.
    struct stat link {};
    if (::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
      if (error == ELOOP) return QStringLiteral("it is a symbolic link that leads round in a loop");
      return QStringLiteral("it is a symbolic link to %1, which does not exist")
          .arg(QFileInfo(output).symLinkTarget());
    }
    return QString();  // a new file replaces nothing
  }
  struct stat standardOutput {};
  if (::fstat(STDOUT_FILENO, &standardOutput) == 0 && standardOutput.st_dev == target.st_dev &&
      standardOutput.st_ino == target.st_ino && !S_ISDIR(target.st_mode))
    return QString();
  if (S_ISDIR(target.st_mode)) return QStringLiteral("it is a folder");
  if (S_ISFIFO(target.st_mode)) return QStringLiteral("it is a pipe, not a regular file");
  if (S_ISCHR(target.st_mode) || S_ISBLK(target.st_mode))
    return QStringLiteral("it is a device, not a regular file");
  if (!S_ISREG(target.st_mode)) return QStringLiteral("it is not a regular file");
  // Write-protected by its mode even where the user could write it anyway
  // (root): the protection says the file is not to be replaced.
  if ((target.st_mode & 0222) == 0)
    return QStringLiteral("it is write-protected (mode %1)")
        .arg(target.st_mode & 07777, 4, 8, QLatin1Char('0'));
  if (::access(name.constData(), W_OK) != 0) {
    const int error = errno;
    if (error == EACCES || error == EPERM || error == EROFS)
      return QStringLiteral("it is write-protected (%1)")
          .arg(QString::fromLocal8Bit(std::strerror(error)));
    return QString::fromLocal8Bit(std::strerror(error));
  }
  if (replaceAnyFile || target.st_size == 0) return QString();
  char head[5] = {};
  const int descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  const ssize_t got = descriptor >= 0 ? ::read(descriptor, head, sizeof head) : -1;
  if (descriptor >= 0) ::close(descriptor);
  if (got != ssize_t(sizeof head) || std::memcmp(head, "%PDF-", sizeof head) != 0)
    return QString::fromLatin1(kNotPdfProblem);
  return QString();
}

QString RefuseOutputTarget(const QString &output, bool replaceAnyFile, ForceHint hint) {
  const QString problem = OutputTargetProblem(output, replaceAnyFile);
  if (problem.isEmpty()) return problem;
  QString text =
      QStringLiteral("Cannot print to %1: %2.").arg(QFileInfo(output).absoluteFilePath(), problem);
  if (problem == QLatin1String(kNotPdfProblem))
    text += hint == ForceHint::CommandLine ? QStringLiteral(" Give --force to replace it.")
                                           : QStringLiteral(" Choose another output file.");
  return text;
}

}  // namespace scrivane
