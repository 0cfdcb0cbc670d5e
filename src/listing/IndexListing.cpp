#include "listing/IndexListing.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include "format/FormatSettings.h"
#include "listing/CrossLinks.h"
#include "listing/RowWriter.h"
#include "platform/Paths.h"
#include "platform/TextEncoding.h"
#include "print/PageCanvas.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

constexpr int kTitleRowGap = 8;  // device units between the heading's rule and the column titles

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The first character of a name: a whole UTF-8 sequence when the name starts
// with one (names of UTF-8 units), else its first byte.
QByteArrayView FirstCharacter(QByteArrayView name) {
  if (name.isEmpty()) return {};
  const auto lead = static_cast<unsigned char>(name[0]);
  const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
  if (length > 1 && name.size() >= length && IsValidUtf8(name.first(length)))
    return name.first(length);
  return name.first(1);
}

QByteArray FoldedAscii(QByteArrayView text) {
  QByteArray folded = text.toByteArray();
  for (char &c : folded) c = FoldAscii(c);
  return folded;
}

// Page and line compare as numbers: page 10 comes after page 9.
auto NumberKey(QByteArrayView field) { return std::make_tuple(field.size(), field); }

}  // namespace

IndexRow ParseIndexEntry(const QByteArray &entry) {
  // A unit file name may hold "%": name and kind come first, page and line
  // last (digits only), the unit is what stands between.
  IndexRow row;
  row.text = entry;
  const QByteArrayView text(row.text);
  const qsizetype nameEnd = text.indexOf('%');
  if (nameEnd < 0) {
    row.name = text;
    return row;
  }
  row.name = text.first(nameEnd);
  const qsizetype kindEnd = text.indexOf('%', nameEnd + 1);
  if (kindEnd < 0) {
    row.kind = text.sliced(nameEnd + 1);
    return row;
  }
  row.kind = text.sliced(nameEnd + 1, kindEnd - nameEnd - 1);
  QByteArrayView rest = text.sliced(kindEnd + 1);
  auto isNumber = [](QByteArrayView f) {
    return !f.isEmpty() &&
           std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  // The last field of rest, and rest without it (none when rest has one field).
  auto lastField = [](QByteArrayView from, QByteArrayView *before) {
    const qsizetype cut = from.lastIndexOf('%');
    if (cut < 0) return QByteArrayView();
    *before = from.first(cut);
    return from.sliced(cut + 1);
  };
  QByteArrayView beforeLast, beforeBoth;
  const QByteArrayView last = lastField(rest, &beforeLast);
  const QByteArrayView second =
      last.isNull() ? QByteArrayView() : lastField(beforeLast, &beforeBoth);
  if (!second.isNull() && isNumber(last) && isNumber(second)) {
    row.line = last;
    row.page = second;
    rest = beforeBoth;
  } else if (!last.isNull() && isNumber(last)) {
    row.page = last;
    rest = beforeLast;
  }
  row.unit = rest;
  return row;
}

std::vector<IndexRow> SortedIndexRows(const QList<QByteArray> &entries) {
  std::vector<IndexRow> rows;
  rows.reserve(entries.size());
  for (const QByteArray &entry : entries) rows.push_back(ParseIndexEntry(entry));
  // Names in the routine list's order; then unit, page and line.
  auto key = [](const IndexRow &r) {
    return std::make_tuple(FoldedAscii(r.unit), r.unit, NumberKey(r.page), NumberKey(r.line),
                           r.kind, r.text);
  };
  std::sort(rows.begin(), rows.end(), [&](const IndexRow &a, const IndexRow &b) {
    if (RoutineOrderLess(a.name, b.name)) return true;
    if (RoutineOrderLess(b.name, a.name)) return false;
    return key(a) < key(b);
  });
  rows.erase(std::unique(rows.begin(), rows.end(),
                         [](const IndexRow &a, const IndexRow &b) { return a.text == b.text; }),
             rows.end());
  return rows;
}

namespace {
// A piece of a name or unit between two places it may wrap at: a blank
// (dropped at the wrap), after "." and ",", before "(". Names are ASCII
// there, so the places never fall inside a UTF-8 letter. Inside brackets
// (a method's "(TOuter.TInner)") only when `insideBrackets`: the qualifier
// stays whole on its row where it fits one.
struct WrapPiece {
  QByteArray text;
  bool afterBlank = false;
};

std::vector<WrapPiece> WrapPieces(QByteArrayView text, bool insideBrackets) {
  std::vector<WrapPiece> pieces;
  WrapPiece current;
  int depth = 0;
  auto close = [&](bool nextAfterBlank) {
    if (!current.text.isEmpty()) pieces.push_back(current);
    current = WrapPiece{{}, nextAfterBlank || (current.text.isEmpty() && current.afterBlank)};
  };
  for (const char c : text) {
    const bool breaks = depth == 0 || insideBrackets;
    if (c == ' ' && breaks) {
      close(true);
      continue;
    }
    if (c == '(' && breaks) close(false);
    current.text += c;
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if ((c == '.' || c == ',') && breaks) close(false);
  }
  close(false);
  return pieces;
}

// Where the unit column starts when the widest unit cannot stand whole
// beside names of their full room: at the place where the fewest names and
// units have a piece (between two places they wrap at) wider than their
// column, which is then cut between characters. Ties go to the names.
int UnitColumnWithFewestCuts(PageCanvas &canvas, const std::vector<IndexRow> &rows, int nameX,
                             int unitRight, int separation, int indent, int from, int to) {
  std::vector<int> namePieces, unitPieces;
  namePieces.reserve(rows.size());
  unitPieces.reserve(rows.size());
  auto widest = [&canvas](QByteArrayView text, bool insideBrackets) {
    int width = 0;
    for (const WrapPiece &piece : WrapPieces(text, insideBrackets))
      width = std::max(width, canvas.TextWidth(piece.text));
    return width;
  };
  for (const IndexRow &row : rows) {
    namePieces.push_back(widest(row.name, true));
    unitPieces.push_back(widest(row.unit, false));
  }
  std::sort(namePieces.begin(), namePieces.end());
  std::sort(unitPieces.begin(), unitPieces.end());
  auto wider = [](const std::vector<int> &sorted, int room) {
    return int(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), room));
  };
  int best = to, fewest = -1;
  const int step = std::max(1, canvas.TextWidth(" "));
  for (int x = to; x >= from; x -= step) {
    const int cuts = wider(namePieces, x - separation - nameX - indent) +
                     wider(unitPieces, unitRight - x - indent);
    if (fewest < 0 || cuts < fewest) {
      fewest = cuts;
      best = x;
    }
  }
  return best;
}
}  // namespace

IndexListing::IndexListing(const ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), job_(settings, *this) {}

QString IndexListing::JobTitle() const { return model_.OpenedPath; }

bool IndexListing::ShowsLines() const { return IsCrossReference || settings_.LineNo == 1; }

std::vector<IndexRow> CrossReferenceRows(const CrossLinks &links) {
  const CrossReferences &refs = links.References();
  // The uses of each listed declaration.
  std::vector<std::vector<int>> usesOf(refs.declarations.size());
  for (int u = 0; u < int(refs.uses.size()); ++u) {
    int d = refs.uses[size_t(u)].declaration;
    if (refs.declarations[size_t(d)].declaredAt >= 0) d = refs.declarations[size_t(d)].declaredAt;
    usesOf[size_t(d)].push_back(u);
  }
  // Each row's fields one after another in its text, which its views read;
  // the key first, so that the text tells rows apart.
  auto makeRow = [](const QByteArray &key, const QByteArray &name, const QByteArray &kind,
                    const XrefPlace &p, const CrossLinks &links) {
    QByteArray unit, page;
    if (const CrossLinks::PrintedRow *printed = links.RowOf(p.file, p.line)) {
      unit = printed->document;
      page = QByteArray::number(printed->page);
    } else {
      unit = FileNamePart(links.References().files[p.file]).toUtf8();
    }
    const QByteArray line = QByteArray::number(p.line);
    IndexRow row;
    const QByteArray *fields[] = {&key, &name, &kind, &unit, &page, &line};
    for (const QByteArray *field : fields) row.text += *field + '\x01';
    qsizetype at = key.size() + 1;
    QByteArrayView *views[] = {&row.name, &row.kind, &row.unit, &row.page, &row.line};
    for (size_t k = 0; k < 5; ++k) {
      *views[k] = QByteArrayView(row.text.constData() + at, fields[k + 1]->size());
      at += fields[k + 1]->size() + 1;
    }
    return row;
  };
  struct Entry {
    IndexRow row;
    int declaration;
  };
  std::vector<Entry> entries;
  for (int d = 0; d < int(refs.declarations.size()); ++d) {
    const XrefDeclaration &decl = refs.declarations[size_t(d)];
    if (!CrossLinks::Listed(decl)) continue;
    QByteArray name = decl.name;
    if (!decl.owner.isEmpty()) name += " (" + decl.owner + ')';
    IndexRow row = makeRow(CrossLinks::EntryKey(d), name, XrefKindName(decl.kind),
                           refs.declarations[size_t(links.TargetOf(d))].place, links);
    row.link = links.TargetKey(d);
    row.place = CrossLinks::EntryKey(d);
    entries.push_back({std::move(row), d});
  }
  auto key = [](const IndexRow &r) {
    return std::make_tuple(FoldedAscii(r.unit), r.unit, NumberKey(r.page), NumberKey(r.line),
                           r.kind, QByteArrayView(r.text));
  };
  std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
    if (RoutineOrderLess(a.row.name, b.row.name)) return true;
    if (RoutineOrderLess(b.row.name, a.row.name)) return false;
    return key(a.row) < key(b.row);
  });
  std::vector<IndexRow> rows;
  rows.reserve(entries.size() + refs.uses.size());
  for (Entry &entry : entries) {
    rows.push_back(std::move(entry.row));
    const size_t first = rows.size();
    for (const int u : usesOf[size_t(entry.declaration)]) {
      const XrefPlace &p = refs.uses[size_t(u)].place;
      IndexRow row = makeRow(CrossLinks::PlaceKey(p.file, p.line), {}, {}, p, links);
      row.use = true;
      row.link = CrossLinks::PlaceKey(p.file, p.line);
      rows.push_back(std::move(row));
    }
    std::sort(rows.begin() + qsizetype(first), rows.end(),
              [&](const IndexRow &a, const IndexRow &b) { return key(a) < key(b); });
    // Two uses on one line are one place.
    rows.erase(std::unique(rows.begin() + qsizetype(first), rows.end(),
                           [](const IndexRow &a, const IndexRow &b) { return a.text == b.text; }),
               rows.end());
  }
  return rows;
}

void IndexListing::BeginJob() {
  rows_ = IsCrossReference
              ? (CrossReference ? CrossReferenceRows(*CrossReference) : std::vector<IndexRow>{})
              : SortedIndexRows(model_.IndexEntries);
  fewestCutsAskedFor_.clear();
  widestAskedFor_.clear();
}

void IndexListing::StartPage(PageCursor &cursor, int &) {
  PageCanvas &canvas = cursor.Canvas;
  const PageGeometry &g = cursor.Geometry;
  const int unitX = canvas.PageWidth - g.RightMargin - canvas.ToDeviceX(2.25f);
  columns_ = Columns{g.LeftX,
                     g.LeftX + canvas.ToDeviceX(0.75f),
                     unitX,
                     canvas.PageWidth - g.RightMargin - canvas.ToDeviceX(1.0f),
                     g.RightX - canvas.ToDeviceX(0.65f),
                     g.RightX};
  // The keyword column is as wide as its widest keyword in the font used,
  // and the numbers' columns as their widest numbers: no column runs into
  // the next at any size.
  canvas.SetFont(settings_.BaseFont());
  const int gap = canvas.TextWidth(" ");
  const std::vector<int> measuring{
      gap, canvas.TextWidth("MMMMMMMM"), canvas.TextWidth("0123456789"),
      canvas.TextWidth("abcdefghijklmnopqrstuvwxyz"), int(ShowsLines())};
  if (measuring != widestAskedFor_) {
    widestAskedFor_ = measuring;
    widestKind_ = widestLine_ = widestPage_ = widestUnit_ = 0;
    for (const IndexRow &row : rows_) {
      widestKind_ = std::max(widestKind_, canvas.TextWidth(row.kind));
      widestUnit_ = std::max(widestUnit_, canvas.TextWidth(row.unit));
      if (ShowsLines()) widestLine_ = std::max(widestLine_, canvas.TextWidth(row.line));
      widestPage_ = std::max(widestPage_, canvas.TextWidth(row.page));
    }
  }
  const int widestKind = widestKind_, widestLine = widestLine_, widestPage = widestPage_,
            widestUnit = widestUnit_;
  columns_.name = std::max(columns_.name, columns_.keyword + widestKind + gap);
  if (ShowsLines())
    columns_.lineRight = std::min(columns_.lineRight, columns_.pageRight - widestPage - gap);
  const int numbersLeft =
      ShowsLines() ? columns_.lineRight - widestLine : columns_.pageRight - widestPage;
  // A unit column pushed against the numbers moves left, but never over the names.
  columns_.unitRight = numbersLeft - gap;
  // Two blanks at least between a name and its unit: with one, they read
  // as one word.
  const int separation = 2 * gap;
  const int narrowest = canvas.TextWidth("MMMMMMMM");
  // The unit column takes the widest unit name whole where the names keep
  // room of their own; a unit name then never wraps.
  const int namesRoom = canvas.TextWidth("MMMMMMMMMMMMMMMM");
  const int wholeUnits = columns_.unitRight - widestUnit;
  if (wholeUnits < columns_.unit) {
    const int namesKeepRoom = columns_.name + namesRoom + separation;
    if (wholeUnits >= namesKeepRoom) {
      columns_.unit = wholeUnits;
    } else {
      // Every page of a job asks the same: counted once.
      const std::vector<int> asked{columns_.name, columns_.unitRight, separation, narrowest,
                                   columns_.unit};
      if (asked != fewestCutsAskedFor_) {
        fewestCutsAskedFor_ = asked;
        fewestCutsUnit_ = UnitColumnWithFewestCuts(
            canvas, rows_, columns_.name, columns_.unitRight, separation, canvas.TextWidth("   "),
            columns_.name + narrowest + separation,
            std::min(columns_.unit, columns_.unitRight - narrowest));
      }
      columns_.unit = fewestCutsUnit_;
    }
  }
  if (columns_.unitRight - columns_.unit < narrowest)
    columns_.unit =
        std::max(columns_.name + narrowest + separation, columns_.unitRight - narrowest);
  columns_.nameRight = columns_.unit - separation;
  letter_.clear();

  PageFurniture furniture(canvas, cursor.Geometry, settings_, cursor.Texts);
  canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRow(cursor.Texts.ProjectNameText, {},
                    IsCrossReference ? "Cross-reference" : "Index", cursor.Y);
  cursor.Y += canvas.TextHeight("X");
  furniture.DrawRule(cursor.Y);
  cursor.Y += kTitleRowGap;
  canvas.TextOut(columns_.unit, cursor.Y, "Unit");
  if (ShowsLines()) canvas.TextOut(columns_.lineTitle, cursor.Y, "Line");
  furniture.DrawRight("Page", cursor.Y);
  cursor.Y += 2 * g.LineStep;
}

std::vector<QByteArray> WrapToColumn(PageCanvas &canvas, QByteArrayView text, int width,
                                     int indent) {
  std::vector<QByteArray> rows;
  QByteArray row;
  auto room = [&] { return std::max(1, rows.empty() ? width : width - indent); };
  // Places a piece: on the row when it fits there, else on a new row; a
  // piece wider than a whole row is parted at its inner places first, and
  // only what is still too wide is broken where it no longer fits.
  std::function<void(const WrapPiece &, bool)> place = [&](const WrapPiece &piece, bool whole) {
    const QByteArray joined =
        row.isEmpty() ? piece.text : row + (piece.afterBlank ? " " : "") + piece.text;
    if (canvas.TextWidth(joined) <= room()) {
      row = joined;
      return;
    }
    if (!row.isEmpty() && canvas.TextWidth(piece.text) <= room() - (rows.empty() ? indent : 0)) {
      rows.push_back(row);
      row = piece.text;
      return;
    }
    if (whole) {
      const std::vector<WrapPiece> inner = WrapPieces(piece.text, true);
      if (inner.size() > 1) {
        for (size_t k = 0; k < inner.size(); ++k) {
          WrapPiece part = inner[k];
          if (k == 0) part.afterBlank = piece.afterBlank;
          place(part, false);
        }
        return;
      }
    }
    if (!row.isEmpty()) {
      rows.push_back(row);
      row.clear();
    }
    QByteArrayView rest(piece.text);
    while (canvas.TextWidth(rest) > room()) {
      qsizetype take = CharacterLength(rest, 0, canvas.Encoding);
      while (take < rest.size()) {
        const qsizetype step = CharacterLength(rest, take, canvas.Encoding);
        if (canvas.TextWidth(rest.first(take + step)) > room()) break;
        take += step;
      }
      rows.push_back(rest.first(take).toByteArray());
      rest = rest.sliced(take);
    }
    row = rest.toByteArray();
  };
  for (const WrapPiece &piece : WrapPieces(text, false)) place(piece, true);
  if (!row.isEmpty() || rows.empty()) rows.push_back(row);
  return rows;
}

void IndexListing::LayOutItem(PageCursor &cursor, int &position) {
  PageCanvas &canvas = cursor.Canvas;
  const IndexRow &row = rows_[position];
  position += 1;
  const QByteArrayView first = row.use ? QByteArrayView() : FirstCharacter(row.name);
  if (!first.isEmpty() && FoldedAscii(first) != letter_) {
    letter_ = FoldedAscii(first);
    canvas.SetFont(settings_.HeaderFont());
    canvas.TextOut(columns_.keyword, cursor.Y, first.toByteArray().toUpper());
    // A heading font taller than the listing's rows takes as many rows as
    // it needs: it must not reach into the entry below it.
    const int letterHeight = canvas.TextHeight("X");
    const int step = std::max(1, cursor.Geometry.LineStep);
    for (int covered = 0; covered == 0 || covered < letterHeight; covered += step) cursor.NextRow();
  }
  canvas.SetFont(settings_.BaseFont());
  auto drawRightAligned = [&](QByteArrayView text, int rightX) {
    if (!text.isEmpty()) canvas.TextOut(rightX - canvas.TextWidth(text), cursor.Y, text);
  };
  // A name or unit too long for its column goes on over the following rows,
  // indented as a continuation.
  const int indent = canvas.TextWidth("   ");
  auto drawWrapped = [&](QByteArrayView text, int x, int rightX) {
    const std::vector<QByteArray> pieces = WrapToColumn(canvas, text, rightX - x, indent);
    for (size_t k = 0; k < pieces.size(); ++k)
      canvas.TextOut(k == 0 ? x : x + indent, cursor.Y + int(k) * cursor.Geometry.LineStep,
                     pieces[k]);
    return int(pieces.size());
  };
  int rows = 1;
  NavigationSink *navigation = canvas.Navigation();
  if (navigation && !row.place.isEmpty()) navigation->anchor(row.place, cursor.Y);
  if (!row.kind.isEmpty()) canvas.TextOut(columns_.keyword, cursor.Y, row.kind);
  if (!row.name.isEmpty())
    rows = std::max(rows, drawWrapped(row.name, columns_.name, columns_.nameRight));
  if (!row.unit.isEmpty())
    rows = std::max(rows, drawWrapped(row.unit, columns_.unit, columns_.unitRight));
  if (ShowsLines()) drawRightAligned(row.line, columns_.lineRight);
  drawRightAligned(row.page, columns_.pageRight);
  // The whole entry, its continuation rows too, leads to the heading it
  // names, where the unit listing printed it in the same file.
  if (navigation)
    navigation->link(QRect(columns_.keyword, cursor.Y, columns_.pageRight - columns_.keyword,
                           rows * cursor.Geometry.LineStep),
                     row.link.isEmpty() ? row.text : row.link);
  for (int k = 0; k < rows; ++k) cursor.NextRow();
}

void IndexListing::FinishPage(PageCursor &cursor, int) {
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  cursor.Y = cursor.FootY();
  cursor.Canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRule(cursor.Y);
}

}  // namespace scrivane
