#include "project/SourceFile.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/Paths.h"

namespace scrivane {
namespace {

// UTF-32 first: its little-endian mark starts with UTF-16's.
std::optional<QStringConverter::Encoding> WideEncodingByMark(QByteArrayView bytes) {
  // Lengths given: the marks hold NUL bytes.
  if (bytes.startsWith(QByteArrayView("\xFF\xFE\x00\x00", 4))) return QStringConverter::Utf32LE;
  if (bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4))) return QStringConverter::Utf32BE;
  if (bytes.startsWith(QByteArrayView("\xFF\xFE", 2))) return QStringConverter::Utf16LE;
  if (bytes.startsWith(QByteArrayView("\xFE\xFF", 2))) return QStringConverter::Utf16BE;
  return std::nullopt;
}

}  // namespace

SourceFile ReadSourceFile(const QString &path) {
  SourceFile result;
  result.diskPath = FindFileAnyCase(path);
  if (result.diskPath.isEmpty()) {
    // A name that is there but leads nowhere is not "not found": a link to
    // itself or into a loop, a link to a missing file.
    struct stat link {};
    QByteArray encoded = QFile::encodeName(path);
    if (::lstat(encoded.constData(), &link) != 0)
      encoded = QFile::encodeName(NormalizeSeparators(path));
    if (::lstat(encoded.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
      struct stat target {};
      const int error = ::stat(encoded.constData(), &target) == 0 ? 0 : errno;
      result.status = SourceStatus::Unreadable;
      if (error == ELOOP)
        result.reason = QStringLiteral("its symbolic links form a loop");
      else if (error == ENOENT)
        result.reason = QStringLiteral("it is a symbolic link to a file that does not exist");
      else
        result.reason = QString::fromLocal8Bit(std::strerror(error ? error : EINVAL));
      return result;
    }
    result.status = SourceStatus::Missing;
    return result;
  }
  const QFileInfo info(result.diskPath);
  if (info.isDir()) {
    result.status = SourceStatus::Unreadable;
    result.reason = QStringLiteral("it is a folder, not a file");
    return result;
  }
  if (!info.isFile()) {
    result.status = SourceStatus::Unreadable;
    result.reason = QStringLiteral("it is not a regular file");
    return result;
  }
  QFile file(result.diskPath);
  if (!file.open(QIODevice::ReadOnly)) {
    result.status = SourceStatus::Unreadable;
    result.reason = file.errorString();
    return result;
  }
  // As many bytes as the file holds: reading to its end grew the buffer to
  // the next power of two, 4 MiB unused for a 28 MB unit.
  if (const qint64 size = file.size(); size > 0) result.bytes = file.read(size);
  if (!file.atEnd()) result.bytes += file.readAll();
  if (file.error() != QFileDevice::NoError) {
    result.status = SourceStatus::Unreadable;
    result.reason = file.errorString();
    result.bytes.clear();
    return result;
  }
  // Delphi saves units as UTF-16 when they hold text outside the code page;
  // its byte-order mark says so. Read as the same text in UTF-8.
  if (const std::optional<QStringConverter::Encoding> wide = WideEncodingByMark(result.bytes)) {
    QStringDecoder decode(*wide);
    const QString text = decode.decode(result.bytes);
    result.bytes = text.toUtf8();
    if (result.bytes.startsWith("\xEF\xBB\xBF")) result.bytes.remove(0, 3);
  }
  if (std::memchr(result.bytes.constData(), 0, size_t(result.bytes.size())) != nullptr) {
    result.status = SourceStatus::Binary;
    result.bytes.clear();
    return result;
  }
  result.encoding = DetectEncoding(result.bytes);
  if (HasUtf8Bom(result.bytes)) result.bytes.remove(0, 3);
  result.status = SourceStatus::Ok;
  return result;
}

QString SourceFileMessage(const SourceFile &file, const QString &path) {
  switch (file.status) {
    case SourceStatus::Missing:
      // Qt reads file names as UTF-8; Latin-1 bytes in a name come out as
      // replacement characters, and no file of that name exists.
      if (path.contains(QChar::ReplacementCharacter))
        return path +
               QStringLiteral(
                   " not found: the name is not valid UTF-8 (Latin-1 bytes?); rename the file "
                   "with a UTF-8 name, for example with convmv -f latin1 -t utf8.");
      return path + QStringLiteral(" not found.");
    case SourceStatus::Binary:
      return QStringLiteral("File is binary. Please save it as text file.");
    case SourceStatus::Unreadable:
      return QStringLiteral("Cannot read ") + path +
             (file.reason.isEmpty() ? QString() : QStringLiteral(": ") + file.reason);
    case SourceStatus::Ok:
      break;
  }
  return QString();
}

}  // namespace scrivane
