#include "format/FormatSettings.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "format/IniFile.h"
#include "format/SettingsTable.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"

namespace scrivane {
namespace {

constexpr int kTextLength = 35;
// The factor the lengths in centimetres are converted with (not 1/2.54, so
// margins match those of settings files written before).
constexpr double kInchesPerCentimetre = 0.394;

constexpr std::array<double, 5> kTopInches = {0.5, 0.75, 1.0, 1.25, 1.5};
constexpr std::array<double, 4> kSideInches = {0.75, 1.0, 1.25, 1.5};
constexpr std::array<double, 5> kMarginCentimetres = {2.0, 2.5, 3.0, 3.5, 4.0};
constexpr std::array<double, 3> kIndentInches = {0.1, 0.15, 0.2};
constexpr std::array<double, 3> kIndentCentimetres = {0.25, 0.5, 0.75};

// An index the column has no entry for (the defaults 5, or 4 in inches)
// takes the nearest entry instead of printing with no margin at all.
double Nearest(std::span<const double> column, int index) {
  return column[std::clamp<std::size_t>(index < 0 ? 0 : static_cast<std::size_t>(index), 0,
                                        column.size() - 1)];
}

// Decimal, or hexadecimal after "$" with an optional sign before it ("-$C"
// is -12), as Delphi's conversion reads them: leading zeros do not count
// and 32 bits wrap ("$FFFFFFFF" is -1); anything else fails.
bool ConvertInteger(const QByteArray &text, std::int32_t *value) {
  const bool negative = text.startsWith('-');
  const qsizetype signLength = negative || text.startsWith('+') ? 1 : 0;
  if (text.mid(signLength).startsWith('$')) {
    QByteArray digits = text.mid(signLength + 1);
    const bool allHex = std::all_of(digits.begin(), digits.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
    if (digits.isEmpty() || !allHex) return false;
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == '0') ++zeros;
    digits.remove(0, zeros);
    if (digits.size() > 8) return false;
    bool ok = false;
    const unsigned number = digits.toUInt(&ok, 16);
    if (!ok) return false;
    *value = static_cast<std::int32_t>(negative ? 0u - number : number);
    return true;
  }
  bool ok = false;
  const int number = text.toInt(&ok, 10);
  if (!ok) return false;
  *value = number;
  return true;
}

int ReadInteger(const IniFile &ini, const char *section, const char *key, int defaultValue) {
  int value = 0;
  return ReadsAsSettingInteger(ini.Value(section, key), &value) ? value : defaultValue;
}

QByteArray ReadText(const IniFile &ini, const char *section, const char *key,
                    const QByteArray &defaultValue, int maxLength) {
  return ini.Value(section, key, defaultValue).left(maxLength);
}

// A face name is never empty: an empty one cannot be drawn with.
QString ReadFace(const IniFile &ini, const char *key, const QString &defaultFace) {
  const QByteArray face = ReadText(ini, "Fonts", key, Encode1252(defaultFace), kTextLength);
  return face.trimmed().isEmpty() ? defaultFace : Decode1252(face);
}

// A key that already reads as `value` ("0x0C" for 12) keeps its text: a save
// changes only what was changed.
void WriteInteger(IniFile &ini, const char *section, const char *key, int value) {
  // Read with two different defaults: equal to value both times only when
  // the text converts to it.
  const bool readsAsValue = ReadInteger(ini, section, key, value) == value &&
                            ReadInteger(ini, section, key, value ^ 1) == value;
  if (!readsAsValue) ini.SetValue(section, key, QByteArray::number(value));
}

// Only bold and italic are kept in a style code.
int StyleBits(int code) { return code & (StyleBold | StyleItalic); }

FontSpec MakeFont(const QString &face, int size, int style, ColorRef color) {
  FontSpec font;
  font.face = face;
  font.pointSize = std::clamp(size, kMinPrintedFontPoints, kMaxPrintedFontPoints);
  font.style = StyleBits(style);
  font.color = color;
  return font;
}

int FontSizeOrDefault(int points, int fallback) {
  return points >= 1 ? std::clamp(points, kMinPrintedFontPoints, kMaxPrintedFontPoints) : fallback;
}

}  // namespace

bool ReadsAsSettingInteger(QByteArray text, int *value) {
  if (text.size() > 2 && (text.startsWith("0x") || text.startsWith("0X"))) text.replace(0, 2, "$");
  std::int32_t number = 0;
  if (!ConvertInteger(text, &number)) return false;
  *value = number;
  return true;
}

ColorRef ColorFromIndex(int index) {
  static constexpr ColorRef kColors[16] = {
      0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
      0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
  };
  return index >= 0 && index < 16 ? kColors[index] : 0x000000;
}

FontSpec FormatSettings::BaseFont() const { return MakeFont(BName, BSize, BStyle, BColor); }
FontSpec FormatSettings::HeaderFont() const { return MakeFont(HName, HSize, HStyle, HColor); }
FontSpec FormatSettings::ReserveFont() const {
  return MakeFont(BName, BSize, RStyle, ColorFromIndex(RColor));
}
FontSpec FormatSettings::CommentFont() const {
  return MakeFont(BName, BSize, CStyle, ColorFromIndex(CColor));
}
FontSpec FormatSettings::MessageFont() const {
  return MakeFont(BName, BSize, MStyle, ColorFromIndex(MColor));
}
FontSpec FormatSettings::LineFont() const {
  return MakeFont(BName, BSize, LStyle, ColorFromIndex(LColor));
}
FontSpec FormatSettings::ProcFont() const { return MakeFont(BName, BSize, StyleBold, BColor); }

QByteArray *FormatSettings::TitleField(int oneBased) {
  return const_cast<QByteArray *>(std::as_const(*this).TitleField(oneBased));
}

const QByteArray *FormatSettings::TitleField(int oneBased) const {
  switch (oneBased) {
    case 1:
      return &Title1;
    case 2:
      return &Title2;
    case 3:
      return &Title3;
    case 4:
      return &Title4;
    case 5:
      return &Title5;
    case 6:
      return &Title6;
    case 7:
      return &Title7;
    case 8:
      return &Title8;
    default:
      return nullptr;
  }
}

FormatSettings::FormatSettings() {
  for (const SettingRow &row : SettingRows()) {
    if (row.number) this->*row.number = row.defaultNumber;
    if (row.colour) this->*row.colour = static_cast<ColorRef>(row.defaultNumber);
    if (row.face) this->*row.face = QString::fromLatin1(row.defaultText);
    if (row.text) this->*row.text = row.defaultText;
  }
}

void FormatSettings::LoadFromIni(const IniFile &ini, QStringList *garbled) {
  auto integer = [&ini, garbled](const char *section, const char *key, int defaultValue) {
    // An empty value says "the default" as an absent key does.
    if (const QByteArray text = ini.Value(section, key); garbled && !text.isEmpty()) {
      if (int value = 0; !ReadsAsSettingInteger(text, &value)) {
        // Shown in a message or on a terminal: no control characters, and
        // no more than says what it is.
        QString shown = Decode1252(text.left(40));
        for (QChar &c : shown)
          if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QChar::ReplacementCharacter;
        if (text.size() > 40) shown += QStringLiteral("...");
        garbled->append(
            QStringLiteral("[%1] %2=%3").arg(QLatin1String(section), QLatin1String(key), shown));
      }
    }
    return ReadInteger(ini, section, key, defaultValue);
  };

  for (const SettingRow &row : SettingRows()) {
    const int fallback = row.defaultNumber;
    switch (row.type) {
      case SettingType::Integer:
        this->*row.number = integer(row.section, row.key, fallback);
        break;
      case SettingType::OnUnlessZero:
        this->*row.number = integer(row.section, row.key, fallback) == 0 ? 0 : 1;
        break;
      case SettingType::OffUnlessOne:
        this->*row.number = integer(row.section, row.key, fallback) == 1 ? 1 : 0;
        break;
      case SettingType::FontSize:
        this->*row.number = FontSizeOrDefault(integer(row.section, row.key, fallback), fallback);
        break;
      case SettingType::Colour:
        this->*row.colour = static_cast<ColorRef>(integer(row.section, row.key, fallback));
        break;
      case SettingType::PagesPerSheet: {
        // Only the layouts a sheet can take; anything else prints a page a sheet.
        const int pages = integer(row.section, row.key, fallback);
        this->*row.number = pages == 2 || pages == 4 ? pages : 1;
        break;
      }
      case SettingType::FaceName:
        this->*row.face = ReadFace(ini, row.key, QString::fromLatin1(row.defaultText));
        break;
      case SettingType::Title:
        this->*row.text =
            CutTitleText(ini.Value(row.section, row.key, row.defaultText), row.maxLength);
        break;
      case SettingType::Owner:
        this->*row.text = ReadText(ini, row.section, row.key, row.defaultText, row.maxLength);
        break;
    }
  }
}

void FormatSettings::SaveToIni(IniFile &ini) const {
  // Texts longer than a read keeps would come back cut; cut them now so the
  // file says what the program will use.
  for (const SettingRow &row : SettingRows()) {
    switch (row.type) {
      case SettingType::Integer:
      case SettingType::OnUnlessZero:
      case SettingType::OffUnlessOne:
      case SettingType::FontSize:
      case SettingType::PagesPerSheet:
        WriteInteger(ini, row.section, row.key, this->*row.number);
        break;
      case SettingType::Colour:
        WriteInteger(ini, row.section, row.key, static_cast<int>(this->*row.colour));
        break;
      case SettingType::FaceName: {
        // A text that reads back as the member keeps its line: a face name
        // cut to 35 characters in the middle of a run of blanks reads the
        // same every run.
        const QByteArray value = Encode1252(this->*row.face);
        const QByteArray read =
            Encode1252(ReadFace(ini, row.key, QString::fromLatin1(row.defaultText)));
        if (!ini.Contains(row.section, row.key) || read != value)
          ini.SetValue(row.section, row.key, value.left(row.maxLength));
        break;
      }
      case SettingType::Title: {
        // A title may be UTF-8: it is cut by characters, not bytes.
        const QByteArray title = CutTitleText(this->*row.text, row.maxLength);
        if (!ini.Contains(row.section, row.key) ||
            CutTitleText(ini.Value(row.section, row.key), row.maxLength) != title)
          ini.SetValue(row.section, row.key, title);
        break;
      }
      case SettingType::Owner:
        break;  // the owner's name is the user's to write
    }
  }
}

PageLengths FormatSettings::ResolveLengths() const {
  PageLengths lengths;
  if (Measure != 0) {
    lengths.Top = Nearest(kMarginCentimetres, Top) * kInchesPerCentimetre;
    lengths.Bottom = Nearest(kMarginCentimetres, Bottom) * kInchesPerCentimetre;
    lengths.Left = Nearest(kMarginCentimetres, Left) * kInchesPerCentimetre;
    lengths.Right = Nearest(kMarginCentimetres, Right) * kInchesPerCentimetre;
    lengths.Indent = Nearest(kIndentCentimetres, Indent) * kInchesPerCentimetre;
  } else {
    lengths.Top = Nearest(kTopInches, Top);
    lengths.Bottom = Nearest(kSideInches, Bottom);
    lengths.Left = Nearest(kSideInches, Left);
    lengths.Right = Nearest(kSideInches, Right);
    lengths.Indent = Nearest(kIndentInches, Indent);
  }
  return lengths;
}

QList<QByteArray> FormatSettings::InitialReserveWords() {
  // Sorted, as the Reserved Words tab shows them.
  static const QList<QByteArray> words = {
      "absolute",
      "abstract",
      "and",
      "array",
      "as",
      "asm",
      "assembler",
      "at",
      "begin",
      "case",
      "cdecl",
      "class",
      "const",
      "constructor",
      "default",
      "destructor",
      "dispinterface",
      "div",
      "do",
      "downto",
      "dynamic",
      "else",
      "end",
      "end.",
      "end;",
      "except",
      "export",
      "exports",
      "external",
      "far",
      "finalization",
      "finally",
      "for",
      "function",
      "generic",
      "goto",
      "helper",
      "if",
      "implementation",
      "in",
      "inherited",
      "initialization",
      "inline",
      "interface",
      "is",
      "label",
      "library",
      "mod",
      "near",
      "nil",
      "nodefault",
      "not",
      "object",
      "of",
      "on",
      "operator",
      "or",
      "out",
      "override",
      "packed",
      "private",
      "procedure",
      "program",
      "property",
      "protected",
      "public",
      "published",
      "raise",
      "read",
      "record",
      "reference",
      "repeat",
      "resident",
      "resourcestring",
      "sealed",
      "set",
      "shl",
      "shr",
      "specialize",
      "stored",
      "strict",
      "then",
      "threadvar",
      "to",
      "try",
      "type",
      "unit",
      "until",
      "uses",
      "var",
      "virtual",
      "while",
      "with",
      "write",
      "xor",
  };
  return words;
}

void NumberEveryPage(FormatSettings &settings) {
  constexpr int kFooterPageItem = 3;
  if (settings.Footer == 1 &&
      (settings.Line3B == kFooterPageItem || settings.Line3C == kFooterPageItem))
    return;
  if (settings.Footer != 1) {
    settings.Footer = 1;
    settings.Line3B = 0;
    settings.Line3C = kFooterPageItem;
  } else if (settings.Line3C == 0) {
    settings.Line3C = kFooterPageItem;
  } else {
    settings.Line3B = kFooterPageItem;
  }
}

QByteArray StoreTitleText(const QString &text, int maxCharacters) {
  const QString cut = text.left(maxCharacters);
  const QByteArray ansi = Encode1252(cut);
  return Decode1252(ansi) == cut ? ansi : cut.toUtf8();
}

QString TitleTextOf(const QByteArray &stored) {
  bool multiByte = false;
  if (IsValidUtf8(stored, &multiByte) && multiByte) return QString::fromUtf8(stored);
  return Decode1252(stored);
}

QByteArray CutTitleText(const QByteArray &stored, int maxCharacters) {
  bool multiByte = false;
  if (IsValidUtf8(stored, &multiByte) && multiByte)
    return QString::fromUtf8(stored).left(maxCharacters).toUtf8();
  return stored.left(maxCharacters);
}

QString SettingsDamageMessage(const QString &iniPath, const IniFile &ini,
                              const QStringList &garbled, bool repairedOnSave) {
  const QList<int> &lines = ini.DamagedLines();
  if (lines.isEmpty() && garbled.isEmpty()) return QString();
  // A few of each say where to look; a file of binary bytes has thousands.
  constexpr int kShown = 3;
  QStringList parts;
  if (!lines.isEmpty()) {
    QStringList numbers;
    for (qsizetype i = 0; i < lines.size() && i < kShown; ++i) numbers << QString::number(lines[i]);
    QString part = lines.size() == 1
                       ? QStringLiteral("line ") + numbers[0] + QStringLiteral(" is not a setting")
                       : QStringLiteral("lines ") + numbers.join(QStringLiteral(", "));
    if (lines.size() > kShown) part += QStringLiteral(" and %1 more").arg(lines.size() - kShown);
    if (lines.size() > 1) part += QStringLiteral(" are not settings");
    parts << part;
  }
  for (qsizetype i = 0; i < garbled.size() && i < kShown; ++i)
    parts << garbled[i] + QStringLiteral(" is not a number");
  if (garbled.size() > kShown)
    parts << QStringLiteral("%1 more values are not numbers").arg(garbled.size() - kShown);
  return QStringLiteral("The settings file ") + QFileInfo(iniPath).absoluteFilePath() +
         QStringLiteral(" is damaged: ") + parts.join(QStringLiteral("; ")) +
         QStringLiteral(". The defaults stand for what could not be read.") +
         (repairedOnSave && !lines.isEmpty()
              ? QStringLiteral(" The lines that are not settings are dropped when the settings are "
                               "next saved.")
              : QString());
}

FormatSettings LoadFormatSettings(const QString &iniPath) {
  IniFile ini;
  ini.Load(iniPath);
  FormatSettings settings;
  settings.LoadFromIni(ini);
  return settings;
}

bool SaveFormatSettings(const FormatSettings &settings, const QString &iniPath, QString *error) {
  IniFile ini;
  if (!ini.Load(iniPath)) {
    if (error)
      *error = QStringLiteral("Unable to write to %1").arg(QFileInfo(iniPath).absoluteFilePath());
    return false;
  }
  ini.DropDamagedLines();
  settings.SaveToIni(ini);
  return ini.Save(iniPath, error);
}

}  // namespace scrivane
