#include "project/SourceFile.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/Paths.h"

namespace scrivane {
namespace {

// Whether bytes holding a NUL are a binary file rather than text. A real
// unit may hold a few (Lazarus's chmhelp/chmlangref.pas has eight where an
// editor slipped, and the compiler reads it, taking them for blanks):
// binary is more than one byte in 256 a NUL, or more than one in 32 a
// control character, as in compiled or compressed data.
bool NulsMakeItBinary(QByteArrayView bytes) {
  qsizetype nuls = 0, controls = 0;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0) ++nuls;
    if (u < 32 && u != '\t' && u != '\n' && u != '\r' && u != '\f') ++controls;
  }
  return nuls * 256 > bytes.size() || controls * 32 > bytes.size();
}

// UTF-32 first: its little-endian mark starts with UTF-16's.
std::optional<QStringConverter::Encoding> WideEncodingByMark(QByteArrayView bytes) {
  // Lengths given: the marks hold NUL bytes.
  if (bytes.startsWith(QByteArrayView("\xFF\xFE\x00\x00", 4))) return QStringConverter::Utf32LE;
  if (bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4))) return QStringConverter::Utf32BE;
  if (bytes.startsWith(QByteArrayView("\xFF\xFE", 2))) return QStringConverter::Utf16LE;
  if (bytes.startsWith(QByteArrayView("\xFE\xFF", 2))) return QStringConverter::Utf16BE;
  return std::nullopt;
}

// Finds the file and tells why it cannot be read; false when it cannot.
bool FindReadable(const QString &path, SourceFile &result) {
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
      return false;
    }
    result.status = SourceStatus::Missing;
    return false;
  }
  const QFileInfo info(result.diskPath);
  if (info.isDir()) {
    result.status = SourceStatus::Unreadable;
    result.reason = QStringLiteral("it is a folder, not a file");
    return false;
  }
  if (!info.isFile()) {
    result.status = SourceStatus::Unreadable;
    result.reason = QStringLiteral("it is not a regular file");
    return false;
  }
  return true;
}

}  // namespace

SourceFile ReadSourceFile(const QString &path) {
  SourceFile result;
  if (!FindReadable(path, result)) return result;
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
    if (NulsMakeItBinary(result.bytes)) {
      result.status = SourceStatus::Binary;
      result.bytes.clear();
      return result;
    }
    // Shown as the blanks the compiler reads them as.
    std::replace(result.bytes.begin(), result.bytes.end(), '\0', ' ');
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

MappedSourceFile MapSourceFile(const QString &path) {
  MappedSourceFile mapped;
  SourceFile &result = mapped.file;
  if (!FindReadable(path, result)) return mapped;
  auto file = std::make_shared<QFile>(result.diskPath);
  const qint64 size = file->open(QIODevice::ReadOnly) ? file->size() : -1;
  const uchar *map = size > 0 ? file->map(0, size) : nullptr;
  const QByteArrayView bytes(reinterpret_cast<const char *>(map), map ? size : 0);
  if (!map || WideEncodingByMark(bytes)) {
    // Read as ReadSourceFile reads it: an empty file, a device, a wide text.
    result = ReadSourceFile(path);
    mapped.text = result.bytes;
    return mapped;
  }
  mapped.mapped_ = std::move(file);
  mapped.map_ = mapped.released_ = map;
  mapped.text = bytes;
  // A NUL byte is looked for a megabyte at a time, each given back once
  // searched: none of the text is needed yet.
  bool binary = false;
  constexpr qsizetype kPiece = 1 << 20;
  for (qsizetype at = 0; at < size && !binary; at += kPiece) {
    const qsizetype piece = std::min(kPiece, size - at);
    binary = std::memchr(bytes.data() + at, 0, size_t(piece)) != nullptr;
    mapped.ReleaseBefore(at + piece);
  }
  // The few NULs of a text are blanks: read as ReadSourceFile reads it.
  if (binary && !NulsMakeItBinary(bytes)) {
    mapped.mapped_.reset();
    mapped.map_ = mapped.released_ = nullptr;
    result = ReadSourceFile(path);
    mapped.text = result.bytes;
    return mapped;
  }
  // The reading starts again from the first page.
  mapped.released_ = map;
  if (HasUtf8Bom(bytes)) mapped.text = bytes.sliced(3);
  result.status = binary ? SourceStatus::Binary : SourceStatus::Ok;
  if (binary) mapped.text = {};
  return mapped;
}

void MappedSourceFile::ReleaseBefore(qsizetype offset) {
  if (!map_) return;
  const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
  const auto end = reinterpret_cast<std::uintptr_t>(text.data() + offset) & ~(page - 1);
  const auto from = reinterpret_cast<std::uintptr_t>(released_);
  if (end <= from) return;
  madvise(reinterpret_cast<void *>(from), end - from, MADV_DONTNEED);
  released_ = reinterpret_cast<const uchar *>(end);
}

}  // namespace scrivane
