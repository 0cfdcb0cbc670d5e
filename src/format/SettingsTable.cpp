#include "format/SettingsTable.h"

#include <array>
#include <climits>

#include "format/FormatSettings.h"

namespace scrivane {
namespace {

using S = FormatSettings;

// A number the readers take as it is (a length index the list lacks takes
// its nearest entry, so --set refuses none).
constexpr SettingRow AnyNumber(const char *section, const char *key, int S::*member, int byDefault,
                               const char *help) {
  SettingRow row{section, key, SettingType::Integer, INT_MIN, INT_MAX};
  row.defaultNumber = byDefault;
  row.number = member;
  row.help = help;
  return row;
}

// A choice by index; the listings ignore an index outside minimum..maximum,
// so --set refuses it.
constexpr SettingRow Choice(const char *section, const char *key, int S::*member, int byDefault,
                            int minimum, int maximum, const char *help) {
  SettingRow row = AnyNumber(section, key, member, byDefault, help);
  row.minimum = minimum;
  row.maximum = maximum;
  return row;
}

// A box that is on at 1 (the listings test for exactly 1).
constexpr SettingRow Switch(const char *section, const char *key, int S::*member, int byDefault,
                            const char *help) {
  return Choice(section, key, member, byDefault, 0, 1, help);
}

constexpr SettingRow Typed(SettingType type, const char *section, const char *key, int S::*member,
                           int byDefault, int minimum, int maximum, const char *help) {
  SettingRow row = Choice(section, key, member, byDefault, minimum, maximum, help);
  row.type = type;
  return row;
}

constexpr SettingRow Colour(const char *key, ColorRef S::*member, const char *help) {
  SettingRow row{"Fonts", key, SettingType::Colour, 0, 0xFFFFFF};
  row.colour = member;
  row.help = help;
  return row;
}

constexpr SettingRow Face(const char *key, QString S::*member, const char *help) {
  SettingRow row{"Fonts", key, SettingType::FaceName};
  row.maxLength = 35;
  row.defaultText = "Arial";
  row.face = member;
  row.help = help;
  return row;
}

constexpr SettingRow TitleRow(const char *key, QByteArray S::*member) {
  SettingRow row{"Title", key, SettingType::Title};
  row.maxLength = 35;
  row.text = member;
  row.help = "a value of the title block, beside its label";
  return row;
}

constexpr SettingRow OwnerRow() {
  SettingRow row{"Owner", "User", SettingType::Owner};
  row.maxLength = 40;
  row.defaultText = "Scrivane";
  row.text = &S::User;
  row.help = "the owner's name, on the left of the page footer (never written by a save)";
  return row;
}

// Constant: the defaults of a FormatSettings made before main() come from it.
constexpr std::array kRows = {
    Face("BName", &S::BName, "face of the listing font"),
    Typed(SettingType::FontSize, "Fonts", "BSize", &S::BSize, 10, kMinPrintedFontPoints,
          kMaxPrintedFontPoints, "size of the listing font in points"),
    Choice("Fonts", "BStyle", &S::BStyle, 0, 0, 3,
           "style of the listing font: 1 bold, 2 italic, 3 both"),
    Colour("BColor", &S::BColor, "colour of the listing font, 0x00BBGGRR"),
    Face("HName", &S::HName, "face of the page header, footer and title block"),
    Typed(SettingType::FontSize, "Fonts", "HSize", &S::HSize, 10, kMinPrintedFontPoints,
          kMaxPrintedFontPoints, "size of the header font in points"),
    Choice("Fonts", "HStyle", &S::HStyle, 0, 0, 3,
           "style of the header font: 1 bold, 2 italic, 3 both"),
    Colour("HColor", &S::HColor, "colour of the header font, 0x00BBGGRR"),
    Choice("Fonts", "RStyle", &S::RStyle, 1, 0, 3,
           "reserved words' style code: 1 bold, 2 italic, 3 both"),
    Choice("Fonts", "RColor", &S::RColor, 0, 0, 15,
           "reserved words' colour: an index of the 16 standard colours"),
    Choice("Fonts", "CStyle", &S::CStyle, 2, 0, 3,
           "comments' style code: 1 bold, 2 italic, 3 both"),
    Choice("Fonts", "CColor", &S::CColor, 0, 0, 15,
           "comments' colour: an index of the 16 standard colours"),
    Choice("Fonts", "MStyle", &S::MStyle, 0, 0, 3, "strings' style code: 1 bold, 2 italic, 3 both"),
    Choice("Fonts", "MColor", &S::MColor, 0, 0, 15,
           "strings' colour: an index of the 16 standard colours"),
    Choice("Fonts", "LStyle", &S::LStyle, 0, 0, 3,
           "line numbers' style code: 1 bold, 2 italic, 3 both"),
    Choice("Fonts", "LColor", &S::LColor, 0, 0, 15,
           "line numbers' colour: an index of the 16 standard colours"),

    AnyNumber("Margins", "Top", &S::Top, 5,
              "top margin: an index of the Format dialog's list (an index it lacks takes the "
              "nearest entry)"),
    AnyNumber("Margins", "Bottom", &S::Bottom, 5, "bottom margin, an index as for Top"),
    AnyNumber("Margins", "Left", &S::Left, 0, "left margin, an index as for Top"),
    AnyNumber("Margins", "Right", &S::Right, 5, "right margin, an index as for Top"),
    Choice("Margins", "Space", &S::Space, 0, 0, 2,
           "line spacing: 0 single, 1 one and a half, 2 double"),
    AnyNumber("Margins", "Indent", &S::Indent, 1, "indentation step, an index as for Top"),
    AnyNumber("Margins", "Equal", &S::Equal, 1,
              "forms: 1 lines up the values of a form's properties at their '=', 0 does not"),

    Choice("Header", "Line1A", &S::Line1A, 0, 0, 4,
           "left of the page header: 0 nothing, 1 project, 2 unit, 3 date, 4 date and time"),
    Choice("Header", "Line1B", &S::Line1B, 0, 0, 4, "middle of the page header, as for Line1A"),
    Choice("Header", "Line1C", &S::Line1C, 0, 0, 4, "right of the page header, as for Line1A"),
    Choice("Header", "Border", &S::Border, 0, 0, 3,
           "the rules under the header and over the footer: 0..3, as the "
           "Format dialog's border buttons"),
    Choice("Footer", "Line3B", &S::Line3B, 0, 0, 3,
           "middle of the page footer: 0 nothing, 1 project, 2 unit, 3 page"),
    Choice("Footer", "Line3C", &S::Line3C, 0, 0, 5,
           "right of the page footer: as for Line3B, 4 date, 5 date and time"),

    Switch("Main", "Style", &S::Style, 0, "the window's lists in bold"),
    Switch("Main", "Hint", &S::Hint, 1, "the window shows tool tips"),
    Switch("Main", "Measure", &S::Measure, 0, "margins and indentation in centimetres (0: inches)"),
    Choice("Main", "Reserve", &S::Reserve, 0, 0, 2,
           "reserved words printed as written (0), in upper (1) or lower case (2)"),
    Typed(SettingType::PagesPerSheet, "Main", "PagesPerSheet", &S::PagesPerSheet, 1, 1, 4,
          "pages on a sheet: 1, 2 side by side on a landscape sheet, 4 in two rows"),

    Switch("Switch", "LineNo", &S::LineNo, 0, "line numbers in the listing"),
    Switch("Switch", "LineNumbersFrom", &S::LineNumbersFrom, 0,
           "with LineNo: 1 numbers the source file's lines (rows the listing wraps or adds carry "
           "none), 0 the "
           "printed rows"),
    Switch("Switch", "FollowIncludes", &S::FollowIncludes, 1,
           "the text of each {$I name} include file is printed after its directive (0: the "
           "directive alone)"),
    Typed(SettingType::OnUnlessZero, "Switch", "FormData", &S::FormData, 1, 0, 1,
          "a form's binary property data printed whole (0: one row giving its size)"),
    Switch(
        "Switch", "ImplementationRoutines", &S::ImplementationRoutines, 1,
        "the routine list also holds, marked, the routines only the implementation part declares"),
    Typed(SettingType::OffUnlessOne, "Switch", "Layout", &S::Layout, 0, 0, 1,
          "1 prints each line as the file has it, its blanks and indentation kept (tabs to 8 "
          "columns); 0 lays the "
          "source out afresh"),
    Switch("Switch", "CrossLinks", &S::CrossLinks, 1,
           "in a PDF or web book, each name in the code that names a routine, type, constant or "
           "variable the book declares links to its declaration; in a unit printed alone, each "
           "name the unit declares itself (0: no such links)"),
    Switch("Switch", "Blocks", &S::Blocks, 0, "the block diagram: a bar beside each begin..end"),
    Switch("Switch", "Auto", &S::Auto, 0,
           "automatic formatting: the listing leaves out the source's blank lines"),
    Switch("Switch", "Header", &S::Header, 0, "the page header"),
    Switch("Switch", "Footer", &S::Footer, 0, "the page footer"),
    Switch("Switch", "Title", &S::Title, 0, "the title block on a unit's first page"),
    Switch("Switch", "Path1", &S::Path1, 0, "the unit's name in header and footer with its folder"),
    Switch("Switch", "Path2", &S::Path2, 0,
           "the project's name in header and footer with its folder"),
    Switch("Switch", "Spacer", &S::LineBetweenRoutines, 0, "a line between routines"),
    Switch("Switch", "Lower", &S::Lower, 0, "all text of the listing in lower case"),
    Switch("Switch", "Bold", &S::Bold, 0, "the Format dialog's bold box for procedure names"),
    Switch("Switch", "Names", &S::UpperCaseRoutineNames, 0, "procedure names in upper case"),
    AnyNumber("Switch", "Begins", &S::Begins, 0, "kept as older files hold it; nothing reads it"),
    Switch("Switch", "Include", &S::Include, 0,
           "the project's units include those its uses clauses name (0: only those the project "
           "file lists)"),

    Switch("Image", "Print", &S::PrintImage, 0,
           "the image (the form's picture) on a unit's first page"),
    Choice("Image", "Align", &S::Align, 0, 0, 2,
           "where the image stands: 0 left, 1 right, 2 centre"),

    TitleRow("Title1", &S::Title1),
    TitleRow("Title2", &S::Title2),
    TitleRow("Title3", &S::Title3),
    TitleRow("Title4", &S::Title4),
    TitleRow("Title5", &S::Title5),
    TitleRow("Title6", &S::Title6),
    TitleRow("Title7", &S::Title7),
    TitleRow("Title8", &S::Title8),
    OwnerRow(),
};

// Troff takes a line that starts with "." or "'" as a request, and "\" as
// an escape.
QString ManText(QString text) {
  text.replace(u'\\', QStringLiteral("\\e"));
  text.replace(u'-', QStringLiteral("\\-"));
  if (text.startsWith(u'.') || text.startsWith(u'\'')) text.prepend(QStringLiteral("\\&"));
  return text;
}

}  // namespace

std::span<const SettingRow> SettingRows() { return kRows; }

QString SettingRow::Name() const {
  return QStringLiteral("%1.%2").arg(QLatin1StringView(section), QLatin1StringView(key));
}

QString SettingRow::ValuesText() const {
  switch (type) {
    case SettingType::OnUnlessZero:
    case SettingType::OffUnlessOne:
      return QStringLiteral("0 or 1");
    case SettingType::PagesPerSheet:
      return QStringLiteral("1, 2 or 4");
    case SettingType::Colour:
      return QStringLiteral("0 to 0xFFFFFF");
    case SettingType::FaceName:
    case SettingType::Title:
    case SettingType::Owner:
      return QStringLiteral("a text of at most %1 characters").arg(maxLength);
    case SettingType::Integer:
    case SettingType::FontSize:
      if (minimum == INT_MIN) return QStringLiteral("a whole number");
      if (maximum == minimum + 1) return QStringLiteral("%1 or %2").arg(minimum).arg(maximum);
      return QStringLiteral("%1 to %2").arg(minimum).arg(maximum);
  }
  return {};
}

QString SettingRow::DefaultText() const {
  if (IsText()) return QString::fromLatin1(defaultText);
  return QString::number(defaultNumber);
}

QString SettingsManSection() {
  QString out = QStringLiteral(
      ".SH SETTINGS\n"
      "The keys of\n.I scrivn.ini\nthat\n.B \\-\\-set\ntakes, as the Format dialog writes "
      "them. A value the file holds that the program cannot use reads as the default.\n");
  for (const SettingRow &row : SettingRows()) {
    const QString fallback = row.DefaultText();
    out += QStringLiteral(".TP\n.B %1\n%2 (%3; default %4).\n")
               .arg(row.Name(), ManText(QString::fromLatin1(row.help)), ManText(row.ValuesText()),
                    fallback.isEmpty() ? QStringLiteral("empty") : ManText(fallback));
  }
  return out;
}

}  // namespace scrivane
