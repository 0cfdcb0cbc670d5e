#include "format/SettingOverrides.h"

#include <QStringList>

#include "format/FormatSettings.h"
#include "format/IniFile.h"
#include "platform/Text1252.h"

namespace scrivane {
namespace {

// Every key the settings file is read for; 0: an integer, else a text of at
// most that many characters.
struct SettingKey {
  const char *section;
  const char *key;
  int textLength;
};

constexpr SettingKey kKeys[] = {
    {"Fonts", "BName", 35},  {"Fonts", "BSize", 0},    {"Fonts", "BStyle", 0},   {"Fonts", "BColor", 0},
    {"Fonts", "HName", 35},  {"Fonts", "HSize", 0},    {"Fonts", "HStyle", 0},   {"Fonts", "HColor", 0},
    {"Fonts", "RStyle", 0},  {"Fonts", "RColor", 0},   {"Fonts", "CStyle", 0},   {"Fonts", "CColor", 0},
    {"Fonts", "MStyle", 0},  {"Fonts", "MColor", 0},   {"Fonts", "LStyle", 0},   {"Fonts", "LColor", 0},
    {"Margins", "Top", 0},   {"Margins", "Bottom", 0}, {"Margins", "Left", 0},   {"Margins", "Right", 0},
    {"Margins", "Space", 0}, {"Margins", "Indent", 0}, {"Margins", "Equal", 0},  {"Header", "Line1A", 0},
    {"Header", "Line1B", 0}, {"Header", "Line1C", 0},  {"Header", "Border", 0},  {"Footer", "Line3B", 0},
    {"Footer", "Line3C", 0}, {"Main", "Style", 0},     {"Main", "Hint", 0},      {"Main", "Measure", 0},
    {"Main", "Reserve", 0},  {"Main", "PagesPerSheet", 0}, {"Switch", "LineNo", 0},  {"Switch", "Blocks", 0},  {"Switch", "Auto", 0},
    {"Switch", "Header", 0}, {"Switch", "Footer", 0},  {"Switch", "Title", 0},   {"Switch", "Path1", 0},
    {"Switch", "Path2", 0},  {"Switch", "Spacer", 0},  {"Switch", "Lower", 0},   {"Switch", "Bold", 0},
    {"Switch", "Names", 0},  {"Switch", "Begins", 0},  {"Switch", "Include", 0}, {"Image", "Print", 0},
    {"Image", "Align", 0},   {"Title", "Title1", 35},  {"Title", "Title2", 35},  {"Title", "Title3", 35},
    {"Title", "Title4", 35}, {"Title", "Title5", 35},  {"Title", "Title6", 35},  {"Title", "Title7", 35},
    {"Title", "Title8", 35}, {"Owner", "User", 40},    {"Switch", "LineNumbersFrom", 0},
    {"Switch", "FollowIncludes", 0},
    {"Switch", "FormData", 0},
    {"Switch", "ImplementationRoutines", 0},
    {"Switch", "Layout", 0},
};

const SettingKey *FindKey(QStringView section, QStringView key) {
  for (const SettingKey &known : kKeys)
    if (section.compare(QLatin1StringView(known.section), Qt::CaseInsensitive) == 0 &&
        key.compare(QLatin1StringView(known.key), Qt::CaseInsensitive) == 0)
      return &known;
  return nullptr;
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
  const SettingKey *known = FindKey(section, key);
  if (!known) {
    *error = QStringLiteral("--set %1.%2: scrivn.ini has no such setting").arg(section, key);
    return {};
  }
  const QString name = QStringLiteral("%1.%2").arg(QLatin1StringView(known->section), QLatin1StringView(known->key));
  int number = 0;
  if (known->textLength == 0 && !ReadsAsSettingInteger(value.toLatin1(), &number)) {
    *error = QStringLiteral("--set %1: '%2' is not a whole number").arg(name, value);
    return {};
  }
  if (known->textLength > 0 && value.size() > known->textLength) {
    *error = QStringLiteral("--set %1: at most %2 characters").arg(name).arg(known->textLength);
    return {};
  }
  // A title may hold any text the fonts print; the other texts are names
  // kept in Windows-1252.
  if (QByteArrayView(known->section) == "Title")
    return {known->section, known->key, StoreTitleText(value, known->textLength)};
  return {known->section, known->key, Encode1252(value)};
}

QStringList SettingNames() {
  QStringList names;
  for (const SettingKey &known : kKeys)
    names << QStringLiteral("%1.%2").arg(QLatin1StringView(known.section), QLatin1StringView(known.key));
  names.sort();
  return names;
}

void ApplySettingOverrides(IniFile &ini, const QList<SettingOverride> &overrides) {
  for (const SettingOverride &setting : overrides) ini.SetValue(setting.section, setting.key, setting.value);
}

}  // namespace scrivane
