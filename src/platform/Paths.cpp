#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scrivane {
namespace {

bool HasDriveLetter(const QString &path) {
  return path.size() >= 2 && path[1] == u':' && path[0].isLetter() && path[0].unicode() < 128;
}

}  // namespace

QString NormalizeSeparators(const QString &path) {
  QString result = path;
  result.replace(u'\\', u'/');
  return result;
}

bool IsAbsolutePath(const QString &path) {
  if (path.startsWith(u'/') || path.startsWith(u'\\')) return true;
  return HasDriveLetter(path) && path.size() >= 3 && (path[2] == u'\\' || path[2] == u'/');
}

QString FileNamePart(const QString &path) {
  const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
  if (slash >= 0) return path.mid(slash + 1);
  return HasDriveLetter(path) ? path.mid(2) : path;
}

QString DirectoryPart(const QString &path) {
  const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
  return slash < 0 ? QString() : NormalizeSeparators(path.left(slash + 1));
}

QString JoinPath(const QString &directory, const QString &relative) {
  if (IsAbsolutePath(relative) || directory.isEmpty()) return NormalizeSeparators(relative);
  QString base = NormalizeSeparators(directory);
  if (!base.endsWith(u'/')) base += u'/';
  return base + NormalizeSeparators(relative);
}

// A lower-cased path names no file on a case-sensitive system: paths are
// shown as they stand on disk (or as the user typed them).
QString DisplayPath(const QString &path) { return path; }

QString UserFileName(const QString &path) { return path.mid(path.lastIndexOf(u'/') + 1); }

QString UserDirectory(const QString &path) { return path.left(path.lastIndexOf(u'/') + 1); }

QString AbsoluteUserPath(const QString &path) {
  if (path.isEmpty()) return path;
  // cleanPath leaves "\" alone here: it is no separator on this system.
  return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

bool SamePathIgnoringCase(const QString &a, const QString &b) {
  return NormalizeSeparators(a).compare(NormalizeSeparators(b), Qt::CaseInsensitive) == 0;
}

QString FindFileAnyCase(const QString &path) { return FileFinder().Find(path); }

bool FileExistsAnyCase(const QString &path) { return FileFinder().FileExists(path); }

const QHash<QString, QString> &FileFinder::Listing(const QString &folder) {
  auto it = folders_.find(folder);
  if (it != folders_.end()) return *it;
  QHash<QString, QString> names;
  const QStringList entries =
      QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  // The first name in name order wins, as a search through the list would.
  for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry) names[entry->toLower()] = *entry;
  return *folders_.insert(folder, std::move(names));
}

QString FileFinder::Find(const QString &path) {
  if (path.isEmpty()) return QString();
  // A name the user gave may hold a "\" (paths from project files have been
  // joined with "/" by now).
  if (path.contains(u'\\') && QFileInfo::exists(path)) return path;
  QString wanted = NormalizeSeparators(path);
  if (HasDriveLetter(wanted)) wanted = wanted.mid(2);
  if (wanted.isEmpty()) return QString();
  if (QFileInfo::exists(wanted)) return wanted;  // the common case costs one stat

  const bool absolute = wanted.startsWith(u'/');
  const QStringList parts = wanted.split(u'/', Qt::SkipEmptyParts);
  QString found = absolute ? QStringLiteral("/") : QString();
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const QString &part = parts[i];
    QString match;
    if (part == u"." || part == u".." || QFileInfo::exists(found + part))
      match = part;
    else
      match = Listing(found.isEmpty() ? QStringLiteral(".") : found).value(part.toLower());
    if (match.isEmpty()) return QString();
    found += match;
    const bool last = i + 1 == parts.size();
    if (!last) {
      if (!QFileInfo(found).isDir()) return QString();
      found += u'/';
    }
  }
  return QFileInfo::exists(found) ? found : QString();
}

bool FileFinder::FileExists(const QString &path) {
  const QString found = Find(path);
  return !found.isEmpty() && QFileInfo(found).isFile();
}

QString ProgramDirectory() {
  QString directory = QCoreApplication::applicationDirPath();
  if (directory.isEmpty()) directory = QDir::currentPath();
  if (!directory.endsWith(u'/')) directory += u'/';
  return directory;
}

QString UserConfigDirectory() {
  QString directory = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The base directory rules say a relative value is to be ignored.
  if (!QDir::isAbsolutePath(directory)) directory = QDir::homePath() + QStringLiteral("/.config");
  if (!directory.endsWith(u'/')) directory += u'/';
  return directory;
}

QString SettingsFilePathFor(const QString &programDirectory, const QString &configDirectory) {
  const bool installed = QFileInfo(programDirectory + QStringLiteral("../share/scrivane")).isDir();
  if (!installed && QFileInfo(programDirectory).isWritable())
    return programDirectory + QStringLiteral("scrivn.ini");
  return configDirectory + QStringLiteral("scrivane/scrivn.ini");
}

QString SettingsFilePath() { return SettingsFilePathFor(ProgramDirectory(), UserConfigDirectory()); }

bool MakeSettingsFolder(const QString &settingsPath) {
  return QDir().mkpath(QFileInfo(settingsPath).absolutePath());
}

QString WhyUnreadable(const QString &path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat status {};
  if (::stat(name.constData(), &status) != 0) return QString::fromLocal8Bit(std::strerror(errno));
  if (S_ISDIR(status.st_mode)) return QStringLiteral("it is a folder");
  if (!S_ISREG(status.st_mode)) return QStringLiteral("it is not a regular file");
  const int descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return QString::fromLocal8Bit(std::strerror(errno));
  ::close(descriptor);
  return QString();
}

}  // namespace scrivane
