#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace scrivane {
namespace {

bool HasDriveLetter(const QString &path) {
  return path.size() >= 2 && path[1] == u':' && path[0].isLetter() && path[0].unicode() < 128;
}

using FolderNames = QHash<QString, QString>;

// A folder's names, listed once and kept while the folder is unchanged: a
// project of thousands of units in one folder looks up a form, a form of
// the other kind and an image for each unit, and listing the folder for
// every miss made a book quadratic in the folder's size. A listing is kept
// only when the folder's last change is older than the listing by more
// than the file system's timestamp tick; a change in the same tick would
// leave the folder's time as it was.
std::shared_ptr<const FolderNames> ListFolder(const QString &folder) {
  struct Cached {
    dev_t device;
    ino_t inode;
    timespec changed;
    std::shared_ptr<const FolderNames> names;
  };
  static QMutex mutex;
  static QHash<QString, Cached> cache;
  struct stat status {};
  const bool known =
      ::stat(QFile::encodeName(folder).constData(), &status) == 0 && S_ISDIR(status.st_mode);
  if (known) {
    QMutexLocker lock(&mutex);
    const auto it = cache.constFind(folder);
    if (it != cache.cend() && it->device == status.st_dev && it->inode == status.st_ino &&
        it->changed.tv_sec == status.st_mtim.tv_sec &&
        it->changed.tv_nsec == status.st_mtim.tv_nsec)
      return it->names;
  }
  auto names = std::make_shared<FolderNames>();
  const QStringList entries = QDir(folder).entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  // The first name in name order wins, as a search through the list would.
  for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry)
    (*names)[entry->toLower()] = *entry;
  if (!known) return names;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const auto age = std::chrono::seconds(now.tv_sec - status.st_mtim.tv_sec) +
                   std::chrono::nanoseconds(now.tv_nsec - status.st_mtim.tv_nsec);
  if (age > std::chrono::milliseconds(50)) {
    QMutexLocker lock(&mutex);
    // Folders of one project are few; a long session does not grow this.
    if (cache.size() >= 256) cache.clear();
    cache.insert(folder, Cached{status.st_dev, status.st_ino, status.st_mtim, names});
  }
  return names;
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

QString FindFileAnyCase(const QString &path) { return FileFinder().Find(path); }

bool FileExistsAnyCase(const QString &path) { return FileFinder().FileExists(path); }

const QHash<QString, QString> &FileFinder::Listing(const QString &folder) {
  auto it = folders_.find(folder);
  if (it != folders_.end()) return **it;
  return **folders_.insert(folder, ListFolder(folder));
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

QString SettingsFilePath() {
  return SettingsFilePathFor(ProgramDirectory(), UserConfigDirectory());
}

bool MakeSettingsFolder(const QString &settingsPath) {
  return QDir().mkpath(QFileInfo(settingsPath).absolutePath());
}

QString EscapeControlCharacters(const QString &text, bool escapeBackslash) {
  // A message's own line feeds part its lines; only a listing escapes them.
  auto special = [escapeBackslash](char16_t c) {
    if (c == u'\n') return escapeBackslash;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (escapeBackslash && c == u'\\');
  };
  if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return special(c.unicode()); }))
    return text;
  QString shown;
  shown.reserve(text.size() + 8);
  for (const QChar c : text) {
    const char16_t code = c.unicode();
    if (!special(code))
      shown += c;
    else if (escapeBackslash && code == u'\\')
      shown += QStringLiteral("\\\\");
    else if (escapeBackslash && code == u'\t')
      shown += QStringLiteral("\\t");
    else if (escapeBackslash && code == u'\n')
      shown += QStringLiteral("\\n");
    else
      shown += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
  }
  return shown;
}

QString PrivateRuntimeFolder() {
  const QByteArray temp = QFile::encodeName(QDir::tempPath());
  const QByteArray fixed = temp + "/scrivane-runtime-" + QByteArray::number(::getuid());
  ::mkdir(fixed.constData(), 0700);
  struct stat status {};
  if (::lstat(fixed.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
      status.st_uid == ::getuid() && (status.st_mode & 077) == 0)
    return QFile::decodeName(fixed);
  QByteArray fresh = fixed + "-XXXXXX";
  if (::mkdtemp(fresh.data())) return QFile::decodeName(fresh);
  return QString();
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
