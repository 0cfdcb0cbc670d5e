#include "project/SourceFile.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "platform/Paths.h"

namespace scrivane {

SourceFile ReadSourceFile(const QString &path) {
  SourceFile result;
  result.diskPath = FindFileAnyCase(path);
  if (result.diskPath.isEmpty() || !QFileInfo(result.diskPath).isFile()) {
    result.status = SourceStatus::Missing;
    return result;
  }
  QFile file(result.diskPath);
  if (!file.open(QIODevice::ReadOnly)) {
    result.status = SourceStatus::Unreadable;
    return result;
  }
  result.bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    result.status = SourceStatus::Unreadable;
    result.bytes.clear();
    return result;
  }
  if (std::memchr(result.bytes.constData(), 0, size_t(result.bytes.size())) != nullptr) {
    result.status = SourceStatus::Binary;
    result.bytes.clear();
    return result;
  }
  result.status = SourceStatus::Ok;
  return result;
}

QList<QByteArray> SplitLines(QByteArrayView text) {
  QList<QByteArray> lines;
  ForEachLine(text, [&](QByteArrayView line) { lines.append(line.toByteArray()); });
  return lines;
}

}  // namespace scrivane
