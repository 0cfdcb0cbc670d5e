#include "format/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "platform/ReplacingFile.h"

namespace scrivane {
namespace {

bool SameName(const QByteArray &a, const QByteArray &b) {
  return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// Bytes no editor writes in a text line; tabs are blanks.
bool HasControlBytes(const QByteArray &text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
  });
}

// The value part of a key line: everything after the first "=", trimmed.
QByteArray ValueOfLine(const QByteArray &text) {
  const qsizetype equals = text.indexOf('=');
  return equals < 0 ? QByteArray() : text.mid(equals + 1).trimmed();
}

}  // namespace

bool IniFile::Load(const QString &path, QString *error) {
  Parse(QByteArray());
  QFile file(path);
  if (!file.exists()) return true;
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("Cannot read %1").arg(QFileInfo(path).absoluteFilePath());
    return false;
  }
  Parse(file.readAll());
  return true;
}

void IniFile::Parse(const QByteArray &bytes) {
  sections_.clear();
  sections_.append(Section{});  // lines before the first section header
  damagedLines_.clear();
  int lineNumber = 0;

  // Some editors save a UTF-8 mark at the start; left in the first line it
  // would hide the first section header and with it every key below.
  byteOrderMark_ = bytes.startsWith("\xEF\xBB\xBF") ? bytes.left(3) : QByteArray();
  qsizetype start = byteOrderMark_.size();
  // Editors end lines with CR LF, LF or a lone CR (old Macs); each line keeps
  // its own, so that a save changes only the lines whose values changed.
  lineEnd_ = QByteArrayLiteral("\r\n");
  bool firstEnd = true;

  while (start < bytes.size()) {
    qsizetype end = start;
    while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    QByteArray text = bytes.mid(start, end - start);
    qsizetype endLength = 0;
    if (end < bytes.size())
      endLength = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
    const QByteArray lineEnd = bytes.mid(end, endLength);
    if (firstEnd && endLength > 0) {
      lineEnd_ = lineEnd;
      firstEnd = false;
    }
    start = end + endLength;
    ++lineNumber;

    const QByteArray trimmed = text.trimmed();
    const bool comment = trimmed.startsWith(';') || trimmed.startsWith('#');
    const bool damaged =
        HasControlBytes(text) ||
        (trimmed.startsWith('[') ? !trimmed.contains(']')
                                 : !trimmed.isEmpty() && !comment && !trimmed.contains('='));
    if (damaged) damagedLines_.append(lineNumber);
    if (trimmed.startsWith('[')) {
      Section section;
      section.headerDamaged = damaged;
      section.header = text;
      section.headerEnd = lineEnd;
      const qsizetype close = trimmed.indexOf(']');
      section.name = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
      sections_.append(section);
      continue;
    }
    Line line;
    line.text = text;
    line.end = lineEnd;
    line.damaged = damaged;
    const qsizetype equals = trimmed.indexOf('=');
    if (equals >= 0 && !trimmed.startsWith(';')) {
      line.isKey = true;
      line.key = trimmed.left(equals).trimmed();
    }
    sections_.last().lines.append(line);
  }
}

void IniFile::DropDamagedLines() {
  for (Section &section : sections_) {
    if (section.headerDamaged) {
      section.header = '[' + section.name + ']';
      section.headerDamaged = false;
    }
    section.lines.removeIf([](const Line &line) { return line.damaged; });
  }
  // What stays ends with the file's usual line end: the last line read may
  // have had none, and a key added after it must start a line of its own.
  for (Section &section : sections_)
    for (Line &line : section.lines)
      if (line.end.isEmpty()) line.end = lineEnd_;
  damagedLines_.clear();
}

const IniFile::Section *IniFile::FindSection(const QByteArray &name) const {
  // The first entry holds the lines before any header; it has no name.
  for (qsizetype i = 1; i < sections_.size(); ++i)
    if (SameName(sections_[i].name, name)) return &sections_[i];
  return nullptr;
}

IniFile::Section *IniFile::FindSection(const QByteArray &name) {
  return const_cast<Section *>(std::as_const(*this).FindSection(name));
}

qsizetype IniFile::FindKey(const Section &section, const QByteArray &key) {
  for (qsizetype i = 0; i < section.lines.size(); ++i)
    if (section.lines[i].isKey && SameName(section.lines[i].key, key)) return i;
  return -1;
}

QByteArray IniFile::Value(const QByteArray &section, const QByteArray &key,
                          const QByteArray &defaultValue) const {
  const Section *found = FindSection(section.trimmed());
  if (!found) return defaultValue.left(kMaxValueLength);
  const qsizetype index = FindKey(*found, key.trimmed());
  if (index < 0) return defaultValue.left(kMaxValueLength);
  return ValueOfLine(found->lines[index].text).left(kMaxValueLength);
}

bool IniFile::Contains(const QByteArray &section, const QByteArray &key) const {
  const Section *found = FindSection(section.trimmed());
  return found && FindKey(*found, key.trimmed()) >= 0;
}

void IniFile::SetValue(const QByteArray &section, const QByteArray &key, const QByteArray &value) {
  const QByteArray sectionName = section.trimmed();
  const QByteArray keyName = key.trimmed();
  // A line break inside a value would split it into lines of its own on the
  // next read; such a value is written up to its first break.
  QByteArray oneLine = value;
  const qsizetype lineBreak = oneLine.indexOf('\n');
  if (lineBreak >= 0) oneLine.truncate(lineBreak);
  if (oneLine.endsWith('\r')) oneLine.chop(1);

  if (sections_.isEmpty()) sections_.append(Section{});
  Section *target = FindSection(sectionName);
  if (!target) {
    Section &previous = sections_.last();
    const bool fileHasText = sections_.size() > 1 || !previous.lines.isEmpty();
    if (fileHasText &&
        (previous.lines.isEmpty() || !previous.lines.last().text.trimmed().isEmpty()))
      previous.lines.append(Line{});
    Section added;
    added.header = '[' + sectionName + ']';
    added.name = sectionName;
    sections_.append(added);
    target = &sections_.last();
  }

  const qsizetype index = FindKey(*target, keyName);
  if (index >= 0) {
    Line &line = target->lines[index];
    // A value that reads back the same keeps its line as the user wrote it
    // (blanks around "=", a trailing blank of a cut face name).
    if (ValueOfLine(line.text) != oneLine.trimmed()) line.text = line.key + '=' + oneLine;
    return;
  }
  qsizetype insertAt = 0;
  for (qsizetype i = 0; i < target->lines.size(); ++i)
    if (target->lines[i].isKey) insertAt = i + 1;
  Line line;
  line.isKey = true;
  line.key = keyName;
  line.text = keyName + '=' + oneLine;
  target->lines.insert(insertAt, line);
}

QByteArray IniFile::ToBytes() const {
  QByteArray out = byteOrderMark_;
  auto endOf = [this](const QByteArray &end) -> const QByteArray & {
    return end.isEmpty() ? lineEnd_ : end;
  };
  for (const Section &section : sections_) {
    if (!section.header.isNull()) out += section.header + endOf(section.headerEnd);
    for (const Line &line : section.lines) out += line.text + endOf(line.end);
  }
  return out;
}

bool IniFile::Save(const QString &path, QString *error) const {
  if (!ReplaceFileContents(path, ToBytes())) {
    if (error)
      *error = QStringLiteral("Unable to write to %1").arg(QFileInfo(path).absoluteFilePath());
    return false;
  }
  return true;
}

}  // namespace scrivane
