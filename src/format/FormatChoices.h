#pragma once
// The rules behind the Format dialog's controls that need no widgets: the
// length lists in inches or centimetres, style codes, taking a chosen font
// and moving reserved words between the two lists.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace scrivane {

struct FormatSettings;

enum class LengthList { Top, Bottom, Left, Right, Indent };

// Item texts for the current unit (`measure` 0 inches, 1 centimetres); the
// item index is the stored length index.
QStringList LengthItems(LengthList list, int measure);
// The item to show for the stored index: the one whose length is the length
// the listings print with (the nearest entry for an index the list lacks),
// or -1 when no item has that length. The stored index is not changed.
int ShownLengthItem(LengthList list, const FormatSettings &settings);

// Bit 0 bold, bit 1 italic.
int StyleCode(bool bold, bool italic);

// Font sizes the dialog accepts, in points.
constexpr int kMinFontPoints = 8;
constexpr int kMaxFontPoints = 14;

// A font chosen in the font dialog, as the settings keep it: face, size
// clamped to 8..14 points, bold and italic bits whatever the other effects
// (underline, strike-out) were. The colour is not the font dialog's.
struct ChosenFont {
  QString face;
  int pointSize = 10;
  int style = 0;
};
// Empty when the font can be stored; else the message saying why not (a
// face longer than 35 characters, or one Windows-1252 cannot spell, would
// name another font once stored).
QString CheckChosenFont(const QString &face);
// True when `face` is an installed face without outlines (a bitmap face):
// it prints no text and collapses the preview.
bool IsBitmapFace(const QString &face);
// Replaces a listing or header face read from the settings file that is a
// bitmap face by the default face; one message, naming it, per face.
QStringList ReplaceBitmapFaces(FormatSettings &settings);
// One message per listing or header face that is not installed, naming the
// face printed in its place; the setting is kept (the font may be installed
// later).
QStringList MissingFaceWarnings(const FormatSettings &settings);
ChosenFont TakeChosenFont(const QString &face, int pointSize, bool bold, bool italic);

// Moves the words at `selectedRows` of `from` into `to`, both kept sorted.
// Returns the row of `from` to select afterwards: the first selected row
// (0 when none was selected), or the last word when that is past the end;
// -1 when `from` is left empty.
int MoveSelectedWords(QList<QByteArray> &from, QList<QByteArray> &to, QList<int> selectedRows);
void MoveAllWords(QList<QByteArray> &from, QList<QByteArray> &to);

}  // namespace scrivane
