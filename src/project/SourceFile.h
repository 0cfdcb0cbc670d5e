#pragma once
// Reading a source file as 8-bit lines. Every kind of line end counts (CR LF,
// LF, a lone CR), and a last line without a line end is a line like any other.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstring>
#include <memory>

#include "platform/TextEncoding.h"

class QFile;

namespace scrivane {

enum class SourceStatus { Ok, Missing, Unreadable, Binary };

struct SourceFile {
  SourceStatus status = SourceStatus::Missing;
  QString diskPath;  // the file as found on disk, whatever the case of the asked path
  QByteArray bytes;  // whole content when status is Ok, without a UTF-8 byte-order mark
  TextEncoding encoding = TextEncoding::Windows1252;
  // Why an Unreadable file cannot be read ("it is a folder", "too many
  // levels of symbolic links"); empty otherwise.
  QString reason;
};

// The message for a file that is not Ok, naming the file and the reason:
// "<path> not found.", "Cannot read <path>: <reason>" or, for a binary
// file, a text of its own without the path (the window shows the path
// beside it).
QString SourceFileMessage(const SourceFile &file, const QString &path);

// Finds `path` on disk ignoring case, reads it whole, and calls a file with a
// NUL byte binary: text files never hold one. Tells the file's encoding and
// drops a UTF-8 byte-order mark, which is not part of the text.
SourceFile ReadSourceFile(const QString &path);

// The same text, found and checked as ReadSourceFile does, but mapped from
// the file rather than copied into memory, so that a reader that goes
// through it once can give back the pages it has passed. A file in UTF-16
// or UTF-32 is read and converted instead. The encoding is not told.
class MappedSourceFile {
 public:
  SourceFile file;      // status, diskPath, reason; bytes only when the text was read
  QByteArrayView text;  // without a UTF-8 byte-order mark

  // Gives back the pages before byte `offset` of text; touched again, they
  // are read from the file again, so nothing is lost if one is.
  void ReleaseBefore(qsizetype offset);

 private:
  friend MappedSourceFile MapSourceFile(const QString &path);
  std::shared_ptr<QFile> mapped_;  // holds the map; null when read
  const uchar *map_ = nullptr;
  const uchar *released_ = nullptr;  // the map's pages below this are given back
};
MappedSourceFile MapSourceFile(const QString &path);

// Calls onLine(QByteArrayView) for each line of text, without its line end.
template <class OnLine>
void ForEachLine(QByteArrayView text, OnLine &&onLine) {
  const char *p = text.data();
  const char *end = p + text.size();
  // memchr finds a line end far faster than a loop over the bytes. A
  // carriage return before the next line feed (old Mac line ends) ends the
  // line first; the line feed found is kept until passed, so a file of
  // carriage returns alone is not searched to its end for every line.
  const char *feed = nullptr;
  while (p < end) {
    const char *start = p;
    if (!feed || feed < p) {
      const void *found = std::memchr(p, '\n', size_t(end - p));
      feed = found ? static_cast<const char *>(found) : end;
    }
    const void *ret = std::memchr(p, '\r', size_t(feed - p));
    p = ret ? static_cast<const char *>(ret) : feed;
    onLine(QByteArrayView(start, p - start));
    if (p < end) p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
  }
}

// The line feeds in text: how many lines a reader should make room for.
inline qsizetype CountLineFeeds(QByteArrayView text) {
  qsizetype count = 0;
  const char *p = text.data();
  const char *const end = p + text.size();
  while (p < end) {
    const void *feed = std::memchr(p, '\n', size_t(end - p));
    if (!feed) break;
    ++count;
    p = static_cast<const char *>(feed) + 1;
  }
  return count;
}

}  // namespace scrivane
