#include "listing/ProcedureList.h"

#include <algorithm>

#include "format/FormatSettings.h"
#include "listing/RowWriter.h"
#include "platform/Paths.h"
#include "print/PageCanvas.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

const FurnitureVariant kVariant{false, QByteArray("Functions & Procedures")};

bool IsEntryKeyword(const QByteArray &lowerWord) {
  return lowerWord == "function" || lowerWord == "procedure" || lowerWord == "object" ||
         lowerWord == "constructor" || lowerWord == "destructor";
}

// The routine list holds headers lower-cased; the list prints them in the
// source's own case, as the index prints names. The entry is walked beside
// the source from the header's line: blanks match any run of blanks, and a
// comment or anything else the entry does not hold ends the copying there,
// the rest keeping the entry's case.
QByteArray InSourceCase(const QByteArray &entry, const LineList &lines, qsizetype from) {
  if (from < 0 || from >= lines.size()) return entry;
  QByteArray source;
  for (qsizetype i = from;
       i < lines.size() && i < from + 64 && source.size() < entry.size() * 4 + 256; ++i)
    source += QByteArray(lines[i].data(), lines[i].size()) + ' ';
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  qsizetype at = 0;
  while (at < source.size() && blank(source[at])) ++at;
  QByteArray out = entry;
  for (qsizetype k = 0; k < entry.size(); ++k) {
    const char c = entry[k];
    if (blank(c)) {
      while (at < source.size() && blank(source[at])) ++at;
      continue;
    }
    // "f(a:t)" in the source may read "f (a : t)" in the entry and the other way round.
    while (at < source.size() && blank(source[at])) ++at;
    if (at >= source.size() ||
        QChar::toLower(char16_t(uchar(source[at]))) != QChar::toLower(char16_t(uchar(c))))
      break;
    out[k] = source[at++];
  }
  return out;
}

}  // namespace

ProcedureList::ProcedureList(const ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), job_(settings, *this) {}

TextEncoding ProcedureList::Encoding() const { return model_.SourceEncoding; }

QString ProcedureList::JobTitle() const { return model_.OpenedPath; }

QString ProcedureList::DocumentTitle() const {
  if (model_.CurrentUnitPath.isEmpty()) return ListingRenderer::DocumentTitle();
  return FileNamePart(model_.CurrentUnitPath) + QStringLiteral(" routines");
}

// Where entry `position` prints in the unit listing of the same PDF; empty
// for a form's object line, which no listing anchors.
QByteArray ProcedureList::PlaceOf(int position) const {
  if (model_.FormMode || model_.SelectedUnit < 0 || model_.SelectedUnit >= model_.Units.size())
    return {};
  const qsizetype line =
      position >= 0 && position < model_.Routines.size() ? model_.Routines[position].line : -1;
  if (line < 0 || line >= model_.SourceLines.size() || model_.SourceLines.fileLine(line) == 0)
    return {};
  // Line numbers are those of the file the line comes from: an include
  // file's lines are told apart by its name.
  QString name = model_.Units.at(model_.SelectedUnit).name;
  if (const QString part = model_.PartNameOf(model_.SourceLines, line); !part.isEmpty())
    name += u'/' + part;
  return RoutinePlaceKey(name, model_.SourceLines.fileLine(line));
}

QByteArray ProcedureList::TextInSourceCase(int position) const {
  const QByteArray entry = model_.Routines[position].text.trimmed();
  if (model_.FormMode) return entry;
  const int line = model_.Routines[position].line;
  return line >= 0 ? InSourceCase(entry, model_.SourceLines, line) : entry;
}

int ProcedureList::ItemCount() const { return int(model_.Routines.size()); }

void ProcedureList::StartPage(PageCursor &cursor, int &) {
  if (settings_.Header != 1) return;
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts, kVariant);
  furniture.DrawPageHeader(cursor.Page, cursor.Y);
}

void ProcedureList::LayOutItem(PageCursor &cursor, int &position) {
  PageCanvas &canvas = cursor.Canvas;
  const PageGeometry &g = cursor.Geometry;
  const QByteArray entry = TextInSourceCase(position);
  const QByteArray place = PlaceOf(position);
  const int top = cursor.Y;
  position += 1;
  const QList<QByteArray> words = entry.split(' ');
  QByteArray first = words.value(0);
  const QByteArray lowerFirst = first.toLower();
  const bool reserved = IsEntryKeyword(lowerFirst) && settings_.ReserveWords.contains(lowerFirst);
  if (reserved && settings_.Reserve == 1) first = first.toUpper();
  if (reserved && settings_.Reserve == 2) first = lowerFirst;

  RowWriter row(cursor, g.LeftX);
  // Rows never start past three quarters of the text width, so that a long
  // keyword in a large font still leaves room for the words after it.
  const int rightmostStart = std::max(g.LeftX, g.RightX - (g.RightX - g.LeftX) / 4);
  for (int i = 0; i < words.size(); ++i) {
    canvas.SetFont(i == 0 && reserved ? settings_.ReserveFont() : settings_.BaseFont());
    row.DrawWholeOrBroken(i == 0 ? first : words[i]);
    if (i == 0)
      row.SetRowStartX(std::min(g.LeftX + canvas.TextWidth(first + "   "), rightmostStart));
    if (i + 1 < words.size() && row.NextWordOverflows(words[i + 1])) row.NewRow();
  }
  cursor.NextRow();
  // The entry's rows lead to the routine's heading.
  if (NavigationSink *navigation = canvas.Navigation(); navigation && !place.isEmpty())
    navigation->link(QRect(g.LeftX, top, g.RightX - g.LeftX, cursor.Y - top), place);
}

void ProcedureList::FinishPage(PageCursor &cursor, int) {
  if (settings_.Footer != 1) return;
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts, kVariant);
  furniture.DrawPageFooter(cursor.Page, cursor.Y);
}

}  // namespace scrivane
