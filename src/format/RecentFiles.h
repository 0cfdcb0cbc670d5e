#pragma once
// The four most recently opened files, kept in section "FilesSave" of the
// settings file and shown as numbered items of the File menu.
#include <QString>
#include <QStringList>

namespace scrivane {

class IniFile;

class RecentFiles {
 public:
  static constexpr int kCount = 4;

  // Most recent first; exactly kCount entries, some of them maybe empty.
  const QStringList &Entries() const { return entries_; }
  QString At(int index) const { return entries_.value(index); }

  // Reads "File1".."File4" (absent keys give empty entries).
  void Load(const IniFile &ini);
  // Puts `path` at the top, drops an older entry naming the same file
  // (case ignored) and keeps the first four. An empty path changes nothing.
  void Add(const QString &path);
  // Writes "File1".."File4" from the four entries.
  void Save(IniFile &ini) const;

 private:
  QStringList entries_ = QStringList(kCount, QString());
};

// Reads the recent files from the settings file at `iniPath`.
RecentFiles LoadRecentFiles(const QString &iniPath);
// Re-reads the file, replaces the "FilesSave" keys and writes it back, so the
// other sections are left as they are on disk. Returns false with `error`
// set ("Unable to write to ...") when the file cannot be written.
bool SaveRecentFiles(const RecentFiles &files, const QString &iniPath, QString *error = nullptr);

}  // namespace scrivane
