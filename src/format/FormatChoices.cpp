#include "format/FormatChoices.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <algorithm>
#include <cmath>

#include "format/FormatSettings.h"
#include "platform/Text1252.h"

namespace scrivane {
namespace {

constexpr int kFaceLength = 35;
constexpr double kInchesPerCentimetre = 0.394;

struct LengthItem {
  const char *text;
  double value;  // in the list's unit
};

QList<LengthItem> Items(LengthList list, int measure) {
  if (measure != 0) {
    switch (list) {
      case LengthList::Top:
        return {{"2 cm", 2.0}, {"2.5 cm", 2.5}, {"3 cm", 3.0}, {"3.5 cm", 3.5}, {"4 cm", 4.0}};
      case LengthList::Indent:
        return {{".25 cm", 0.25}, {".5 cm", 0.5}, {".75 cm", 0.75}};
      default:
        // Up to 4 cm: the bottom and right margins in use by default are
        // that wide, and the list must be able to show them.
        return {{"2 cm", 2.0}, {"2.5 cm", 2.5}, {"3 cm", 3.0}, {"3.5 cm", 3.5}, {"4 cm", 4.0}};
    }
  }
  switch (list) {
    case LengthList::Top:
      return {{".5 in", 0.5}, {".75 in", 0.75}, {"1 in", 1.0}, {"1.25 in", 1.25}, {"1.5 in", 1.5}};
    case LengthList::Indent:
      return {{".1 in", 0.1}, {".15 in", 0.15}, {".2 in", 0.2}};
    default:
      return {{".75 in", 0.75}, {"1 in", 1.0}, {"1.25 in", 1.25}, {"1.5 in", 1.5}};
  }
}

double UsedLength(LengthList list, const PageLengths &lengths) {
  switch (list) {
    case LengthList::Top:
      return lengths.Top;
    case LengthList::Bottom:
      return lengths.Bottom;
    case LengthList::Left:
      return lengths.Left;
    case LengthList::Right:
      return lengths.Right;
    case LengthList::Indent:
      return lengths.Indent;
  }
  return 0.0;
}

void InsertSorted(QList<QByteArray> &words, const QByteArray &word) {
  words.insert(std::lower_bound(words.begin(), words.end(), word), word);
}

}  // namespace

QStringList LengthItems(LengthList list, int measure) {
  QStringList texts;
  for (const LengthItem &item : Items(list, measure)) texts << QString::fromLatin1(item.text);
  return texts;
}

int ShownLengthItem(LengthList list, const FormatSettings &settings) {
  const double used = UsedLength(list, settings.ResolveLengths());
  const double factor = settings.Measure != 0 ? kInchesPerCentimetre : 1.0;
  const QList<LengthItem> items = Items(list, settings.Measure);
  for (int i = 0; i < items.size(); ++i)
    if (std::abs(items[i].value * factor - used) < 1e-9) return i;
  return -1;
}

int StyleCode(bool bold, bool italic) { return (bold ? 1 : 0) | (italic ? 2 : 0); }

QString CheckChosenFont(const QString &face) {
  const QByteArray stored = Encode1252(face);
  if (stored.size() > kFaceLength)
    return QStringLiteral(
               "The font name \"%1\" is longer than %2 characters and cannot be kept in the "
               "settings file.")
        .arg(face)
        .arg(kFaceLength);
  if (Decode1252(stored) != face)
    return QStringLiteral("The font name \"%1\" cannot be kept in the settings file.").arg(face);
  if (IsBitmapFace(face))
    return QStringLiteral(
               "The font \"%1\" is a bitmap font without outlines and cannot be printed.")
        .arg(face);
  return QString();
}

bool IsBitmapFace(const QString &face) {
  return QFontDatabase::families().contains(face) && !QFontDatabase::isScalable(face);
}

QStringList ReplaceBitmapFaces(FormatSettings &settings) {
  const FormatSettings defaults;
  QStringList messages;
  for (auto [name, fallback] :
       {std::pair{&settings.BName, defaults.BName}, std::pair{&settings.HName, defaults.HName}}) {
    const QString face = *name;
    if (!IsBitmapFace(face)) continue;
    messages
        << QStringLiteral(
               "The font \"%1\" in the settings is a bitmap font without outlines and cannot be "
               "printed: \"%2\" is used instead.")
               .arg(face, fallback);
    *name = fallback;
  }
  return messages;
}

QStringList MissingFaceWarnings(const FormatSettings &settings) {
  // A face the system cannot find falls back to fontconfig's default face,
  // the same one a surely unknown name gets. Aliases (Arial for Liberation
  // Sans) are found faces and pass.
  const QString fallback = QFontInfo(QFont(QStringLiteral("scrivane-no-such-face"))).family();
  // The program's own default face is not the user's choice: where it is
  // missing, the listing still prints in the system's face, unannounced.
  const FormatSettings defaults;
  QStringList messages;
  for (const QString &face : {settings.BName, settings.HName}) {
    if (face.isEmpty() || face.compare(fallback, Qt::CaseInsensitive) == 0) continue;
    if (face == defaults.BName || face == defaults.HName) continue;
    if (QFontDatabase::families().contains(face, Qt::CaseInsensitive)) continue;
    const QString used = QFontInfo(QFont(face)).family();
    if (used.compare(fallback, Qt::CaseInsensitive) != 0) continue;
    const QString message =
        QStringLiteral("The font \"%1\" in the settings is not installed: \"%2\" is used instead.")
            .arg(face, used);
    if (!messages.contains(message)) messages << message;
  }
  return messages;
}

ChosenFont TakeChosenFont(const QString &face, int pointSize, bool bold, bool italic) {
  ChosenFont font;
  font.face = face;
  font.pointSize = std::clamp(pointSize, kMinFontPoints, kMaxFontPoints);
  font.style = StyleCode(bold, italic);
  return font;
}

int MoveSelectedWords(QList<QByteArray> &from, QList<QByteArray> &to, QList<int> selectedRows) {
  std::sort(selectedRows.begin(), selectedRows.end());
  selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
  const int first = selectedRows.isEmpty() ? 0 : selectedRows.first();
  for (auto row = selectedRows.rbegin(); row != selectedRows.rend(); ++row) {
    if (*row < 0 || *row >= from.size()) continue;
    InsertSorted(to, from.takeAt(*row));
  }
  if (from.isEmpty()) return -1;
  return std::min(first, int(from.size()) - 1);
}

void MoveAllWords(QList<QByteArray> &from, QList<QByteArray> &to) {
  for (const QByteArray &word : from) InsertSorted(to, word);
  from.clear();
}

}  // namespace scrivane
