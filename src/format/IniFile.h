#pragma once
// A private-profile (INI) file kept line by line, so that saving it changes
// only the values we set: sections, keys and comments we do not know keep
// their text and their order. Lookups of sections and keys ignore case, as
// the Windows profile functions do. Values are raw 8-bit bytes.
#include <QByteArray>
#include <QList>
#include <QString>

namespace scrivane {

class IniFile {
 public:
  // The longest value a read returns, in bytes; longer values are cut.
  static constexpr int kMaxValueLength = 1023;

  // Replaces the contents with the file at `path`. A missing file reads as an
  // empty one and is no error. Bytes that do not form a section or key line
  // are kept as they are and never stop the rest from being read. Returns
  // false (with `error` set) only when an existing file cannot be read.
  bool Load(const QString &path, QString *error = nullptr);
  // Same as Load, from bytes already in memory.
  void Parse(const QByteArray &bytes);

  // The value of `key` in `section`, trimmed of blanks and cut to
  // kMaxValueLength bytes; `defaultValue` when the section or key is absent.
  QByteArray Value(const QByteArray &section, const QByteArray &key,
                   const QByteArray &defaultValue = QByteArray()) const;
  bool Contains(const QByteArray &section, const QByteArray &key) const;
  // The numbers (from 1) of the lines that say nothing a reader can take:
  // neither blank, a comment (";" or "#"), a "[section]" header nor a
  // "key=value" line, or holding control bytes. A hand edit gone wrong or
  // a damaged file; they are kept as they are all the same.
  const QList<int> &DamagedLines() const { return damagedLines_; }
  // Repairs a damaged file before it is written: lines that say nothing are
  // dropped, a key line holding control bytes goes with them (its key is
  // written afresh on a line of its own), and a section header missing its
  // "]" gets it back under the name it was read by.
  void DropDamagedLines();
  // Sets the value, adding the key (after the section's last key) or the
  // section (at the end of the file) when they do not exist yet.
  void SetValue(const QByteArray &section, const QByteArray &key, const QByteArray &value);

  // The whole file as it will be written.
  QByteArray ToBytes() const;
  // Writes a temporary file beside `path` and renames it over the target only
  // when every write, the flush and the close succeeded, so a crash or a full
  // disk never leaves a truncated or empty settings file. On failure the old
  // file stays and the result is false with `error` = "Unable to write to
  // <full path>".
  bool Save(const QString &path, QString *error = nullptr) const;

 private:
  struct Line {
    QByteArray text;  // the line as read or as last written, without its end
    QByteArray key;   // trimmed key of a key line; empty for other lines
    bool isKey = false;
    QByteArray end;  // its line end as read (CR LF, LF or CR); empty: the file's usual one
    bool damaged = false;
  };
  struct Section {
    QByteArray header;  // "[name]" line as read; empty for the lines before any section
    QByteArray headerEnd;
    QByteArray name;  // trimmed name between the brackets
    QList<Line> lines;
    bool headerDamaged = false;
  };

  const Section *FindSection(const QByteArray &name) const;
  Section *FindSection(const QByteArray &name);
  static qsizetype FindKey(const Section &section, const QByteArray &key);

  QList<Section> sections_;
  QList<int> damagedLines_;
  QByteArray lineEnd_ = QByteArrayLiteral("\r\n");  // for lines we add: the file's first line end
  QByteArray byteOrderMark_;  // a UTF-8 mark an editor put first, written back as it was
};

}  // namespace scrivane
