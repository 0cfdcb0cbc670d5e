#include "format/RecentFiles.h"

#include <QFileInfo>
#include <QStringDecoder>

#include "format/IniFile.h"
#include "platform/Text1252.h"

namespace scrivane {
namespace {

QByteArray KeyOf(int index) { return "File" + QByteArray::number(index + 1); }

// Paths on this system are UTF-8; a file written on Windows holds ANSI bytes,
// which are seldom valid UTF-8, so those are read as Windows-1252.
QString DecodePath(const QByteArray &bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(bytes);
  return utf8.hasError() ? Decode1252(bytes) : text;
}

}  // namespace

void RecentFiles::Load(const IniFile &ini) {
  entries_.clear();
  for (int i = 0; i < kCount; ++i) entries_.append(DecodePath(ini.Value("FilesSave", KeyOf(i))));
}

void RecentFiles::Add(const QString &path) {
  if (path.trimmed().isEmpty()) return;
  entries_.removeIf(
      [&path](const QString &entry) { return entry.compare(path, Qt::CaseInsensitive) == 0; });
  entries_.prepend(path);
  while (entries_.size() > kCount) entries_.removeLast();
  while (entries_.size() < kCount) entries_.append(QString());
}

void RecentFiles::Save(IniFile &ini) const {
  for (int i = 0; i < kCount; ++i) ini.SetValue("FilesSave", KeyOf(i), entries_.value(i).toUtf8());
}

RecentFiles LoadRecentFiles(const QString &iniPath) {
  IniFile ini;
  ini.Load(iniPath);
  RecentFiles files;
  files.Load(ini);
  return files;
}

bool SaveRecentFiles(const RecentFiles &files, const QString &iniPath, QString *error) {
  IniFile ini;
  // A file that exists but cannot be read is not replaced by one holding
  // only the recent files.
  if (!ini.Load(iniPath)) {
    if (error)
      *error = QStringLiteral("Unable to write to %1").arg(QFileInfo(iniPath).absoluteFilePath());
    return false;
  }
  ini.DropDamagedLines();
  files.Save(ini);
  return ini.Save(iniPath, error);
}

}  // namespace scrivane
