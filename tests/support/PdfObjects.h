#pragma once
// The objects of a PDF we wrote, read back as a reader finds them: those
// written whole in the file, and those packed in its object streams.
// Needs zlib.
#include <zlib.h>

#include <QByteArray>
#include <QRegularExpression>
#include <map>
#include <string>

namespace testsupport {

// A zlib stream inflated; empty when it is not one.
inline QByteArray Inflated(const QByteArray &packed) {
  QByteArray out(qsizetype(packed.size()) * 64 + 1024, '\0');
  uLongf size = uLongf(out.size());
  if (uncompress(reinterpret_cast<Bytef *>(out.data()), &size,
                 reinterpret_cast<const Bytef *>(packed.constData()), uLong(packed.size())) != Z_OK)
    return {};
  return out.left(qsizetype(size));
}

// The stream data of the object that starts at `at` ("N 0 obj\n<< ... >>
// \nstream\n"), and its dictionary.
inline QByteArray StreamAt(const QByteArray &file, qsizetype at, QByteArray *dictionary = nullptr) {
  const qsizetype start = file.indexOf("stream\n", at);
  const QByteArray head = file.mid(at, start - at);
  if (dictionary) *dictionary = head;
  static const QRegularExpression length(QStringLiteral("/Length (\\d+)"));
  const auto m = length.match(QString::fromLatin1(head));
  return Inflated(file.mid(start + 7, m.captured(1).toLongLong()));
}

// The body of every object by number, packed ones included (the object
// streams themselves left out).
inline std::map<int, std::string> PdfObjectBodies(const QByteArray &file) {
  std::map<int, std::string> objects;
  static const QRegularExpression object(QStringLiteral("(\\d+) 0 obj\\n(.*?)\\nendobj"),
                                         QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression packed(QStringLiteral("/Type /ObjStm /N (\\d+) /First (\\d+)"));
  const QString latin = QString::fromLatin1(file);
  for (auto it = object.globalMatch(latin); it.hasNext();) {
    const auto match = it.next();
    const auto stream = packed.match(match.captured(2));
    if (!stream.hasMatch()) {
      objects[match.captured(1).toInt()] = match.captured(2).toStdString();
      continue;
    }
    const QByteArray data = StreamAt(file, match.capturedStart());
    const int count = stream.captured(1).toInt();
    const qsizetype first = stream.captured(2).toLongLong();
    const QList<QByteArray> numbers = data.left(first).simplified().split(' ');
    for (int i = 0; i < count && 2 * i + 1 < numbers.size(); ++i) {
      const qsizetype from = first + numbers[2 * i + 1].toLongLong();
      const qsizetype to =
          2 * i + 3 < numbers.size() ? first + numbers[2 * i + 3].toLongLong() : data.size();
      objects[numbers[2 * i].toInt()] = data.mid(from, to - from).trimmed().toStdString();
    }
  }
  return objects;
}

}  // namespace testsupport
