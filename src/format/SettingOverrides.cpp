#include "format/SettingOverrides.h"

#include <QStringList>

#include "format/FormatSettings.h"
#include "format/IniFile.h"
#include "format/SettingsTable.h"
#include "platform/Text1252.h"

namespace scrivane {
namespace {

const SettingRow *FindKey(QStringView section, QStringView key) {
  for (const SettingRow &known : SettingRows())
    if (section.compare(QLatin1StringView(known.section), Qt::CaseInsensitive) == 0 &&
        key.compare(QLatin1StringView(known.key), Qt::CaseInsensitive) == 0)
      return &known;
  return nullptr;
}

// Whether the file's readers would use the number as it is, not a default
// or nothing in its place.
bool TakesNumber(const SettingRow &row, int number) {
  if (row.type == SettingType::PagesPerSheet) return number == 1 || number == 2 || number == 4;
  return number >= row.minimum && number <= row.maximum;
}

}  // namespace

SettingOverride ParseSettingOverride(const QString &text, QString *error) {
  error->clear();
  const qsizetype dot = text.indexOf(u'.');
  const qsizetype equals = text.indexOf(u'=');
  if (dot <= 0 || equals < dot + 2) {
    *error = QStringLiteral("--set takes SECTION.KEY=VALUE (Switch.LineNo=1), not '%1'").arg(text);
    return {};
  }
  const QStringView section = QStringView(text).left(dot).trimmed();
  const QStringView key = QStringView(text).mid(dot + 1, equals - dot - 1).trimmed();
  const QString value = text.mid(equals + 1).trimmed();
  const SettingRow *known = FindKey(section, key);
  if (!known) {
    *error = QStringLiteral("--set %1.%2: scrivn.ini has no such setting").arg(section, key);
    return {};
  }
  const QString name = known->Name();
  int number = 0;
  if (!known->IsText()) {
    if (!ReadsAsSettingInteger(value.toLatin1(), &number)) {
      *error = QStringLiteral("--set %1: '%2' is not a whole number").arg(name, value);
      return {};
    }
    if (!TakesNumber(*known, number)) {
      *error = QStringLiteral("--set %1: takes %2, not %3").arg(name, known->ValuesText(), value);
      return {};
    }
  }
  if (known->IsText() && value.size() > known->maxLength) {
    *error = QStringLiteral("--set %1: at most %2 characters").arg(name).arg(known->maxLength);
    return {};
  }
  // A title may hold any text the fonts print; the other texts are names
  // kept in Windows-1252.
  if (known->type == SettingType::Title)
    return {known->section, known->key, StoreTitleText(value, known->maxLength)};
  return {known->section, known->key, Encode1252(value)};
}

QStringList SettingNames() {
  QStringList names;
  for (const SettingRow &known : SettingRows()) names << known.Name();
  names.sort();
  return names;
}

void ApplySettingOverrides(IniFile &ini, const QList<SettingOverride> &overrides) {
  for (const SettingOverride &setting : overrides)
    ini.SetValue(setting.section, setting.key, setting.value);
}

}  // namespace scrivane
