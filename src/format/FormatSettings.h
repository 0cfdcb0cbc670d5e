#pragma once
// Every format option, named by its key in scrivn.ini, plus what is derived
// from the options and shared by all renderers.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "format/Fonts.h"

namespace scrivane {

class IniFile;

// Font sizes in points that a listing is printed with. A size read from the
// settings file outside this range is brought to its nearest end (a size
// below one point, which only a hand-edited file can hold, reads as the
// default); the derived fonts keep to it whatever a member holds. Larger
// sizes print rows below the paper or no whole word at all.
inline constexpr int kMinPrintedFontPoints = 4;
inline constexpr int kMaxPrintedFontPoints = 72;

// Lengths in inches resolved from the length indices.
struct PageLengths {
  double Top = 0.0;
  double Bottom = 0.0;
  double Left = 0.0;
  double Right = 0.0;
  double Indent = 0.0;
};

// The members that scrivn.ini holds take their defaults, limits and help
// from the table in format/SettingsTable.cpp, one row a key; a member is
// named after its key unless the key does not say what it does.
struct FormatSettings {
  FormatSettings();

  // [Fonts]
  QString BName;
  int BSize;
  int BStyle;
  ColorRef BColor;
  QString HName;
  int HSize;
  int HStyle;
  ColorRef HColor;
  int RStyle, RColor, CStyle, CColor, MStyle, MColor, LStyle, LColor;
  // [Margins] (length indices, see ResolveLengths)
  int Top, Bottom, Left, Right, Space, Indent, Equal;
  // [Header] / [Footer]
  int Line1A, Line1B, Line1C, Border, Line3B, Line3C;
  // [Main]
  int Style, Hint, Measure, Reserve;
  int PagesPerSheet;  // 1, 2 (side by side, landscape sheet) or 4 (two rows)
  // [Switch]
  int LineNo;
  // What the line numbers count: 0 the printed rows, 1 the lines of the
  // source file (rows the listing adds or wraps to carry none).
  int LineNumbersFrom;
  // 1: the text of each {$I name} include file is printed after its
  // directive, as the compiler reads it; 0: the directive alone.
  int FollowIncludes;
  // A form's binary property data ("Picture.Data = { 0A54... }"): 1 printed
  // whole, 0 as one row giving its size.
  int FormData;
  // 1: the routine list also holds the routines a unit declares only in its
  // implementation part (and methods of classes declared there), marked as
  // such; 0: only the routines its interface declares.
  int ImplementationRoutines;
  // 0: lines laid out afresh, block words on lines of their own, indented by
  // what governs them; 1: each line as the file has it, its blanks and
  // indentation kept (tabs to 8 columns), styled and bracketed the same.
  int Layout;
  // 1: in a book, each name in the code that names a declaration of the
  // book links to it (a routine's body heading, a type's row); 0: none.
  int CrossLinks;
  int Blocks, Auto, Header, Footer, Title, Path1, Path2;
  int LineBetweenRoutines;  // key Spacer
  int Lower, Bold;
  int UpperCaseRoutineNames;  // key Names
  int Begins, Include;
  // [Image]
  int PrintImage;  // key Print
  int Align;
  // [Title] Title1..Title8 (8-bit texts, at most 35 characters each)
  QByteArray Title1, Title2, Title3, Title4, Title5, Title6, Title7, Title8;
  // [Owner] (at most 40 characters; read, never written)
  QByteArray User;

  // Not saved: a text for the middle of the page header in one run (the
  // command line's --header TEXT); empty: the header's centre item.
  QByteArray HeaderText;

  // Not saved: starts every run as the 95 initial words, sorted, lower case.
  QList<QByteArray> ReserveWords = InitialReserveWords();

  // The seven derived fonts, computed from the members above.
  FontSpec BaseFont() const;
  FontSpec HeaderFont() const;
  FontSpec ReserveFont() const;
  FontSpec CommentFont() const;
  FontSpec MessageFont() const;
  FontSpec LineFont() const;
  FontSpec ProcFont() const;

  // Reads every persisted member (defaults for what is missing or garbled).
  // Each number that is there but does not read as one goes to `garbled`,
  // as "[Section] Key=text".
  void LoadFromIni(const IniFile &ini, QStringList *garbled = nullptr);
  // Writes every persisted member except User; unknown keys are untouched.
  void SaveToIni(IniFile &ini) const;

  // Lengths in inches. An index without an entry in the current unit takes
  // the nearest valid entry (the stored index is left as it is).
  PageLengths ResolveLengths() const;

  QByteArray *TitleField(int oneBased);
  const QByteArray *TitleField(int oneBased) const;

  static QList<QByteArray> InitialReserveWords();
  friend bool operator==(const FormatSettings &, const FormatSettings &) = default;
};

// An integer as the settings file is read: decimal, "$" or "0x" hexadecimal.
bool ReadsAsSettingInteger(QByteArray text, int *value);

// Colour index 0..15 to a colour reference; anything else gives black.
ColorRef ColorFromIndex(int index);

// What to tell the user of a settings file that has damaged lines or
// numbers that are not numbers (empty when it has none), naming the file:
// its values were read all the same, the rest taking their defaults.
// repairedOnSave: the caller saves the file later (the window does), and
// the lines that are no setting are dropped then; the message says so.
// Turns the footer's page number on where the settings print none: at the
// footer's right unless that holds another item (then in its middle). For
// documents that cite pages (an index, a book) and the pages they cite.
void NumberEveryPage(FormatSettings &settings);

// A title of the title block as the settings file keeps it: in
// Windows-1252 where that code page holds every character (as earlier files
// hold them all), else in UTF-8; at most maxCharacters characters.
QByteArray StoreTitleText(const QString &text, int maxCharacters);
// The text of a stored title: UTF-8 where its bytes are UTF-8 beyond ASCII,
// else Windows-1252.
QString TitleTextOf(const QByteArray &stored);
// A stored title cut to maxCharacters characters, never inside a letter.
QByteArray CutTitleText(const QByteArray &stored, int maxCharacters);

QString SettingsDamageMessage(const QString &iniPath, const IniFile &ini,
                              const QStringList &garbled, bool repairedOnSave = false);

// The settings as stored in the file at `iniPath` (defaults when it is
// missing or unreadable).
FormatSettings LoadFormatSettings(const QString &iniPath);
// Re-reads the file, replaces the format keys and writes it back atomically,
// so sections written by others since the start (the recent files) survive.
// Returns false with `error` = "Unable to write to <full path>" on failure;
// the file on disk is then left as it was.
bool SaveFormatSettings(const FormatSettings &settings, const QString &iniPath,
                        QString *error = nullptr);

}  // namespace scrivane
