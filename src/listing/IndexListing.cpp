#include "listing/IndexListing.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <tuple>
#include <utility>

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
constexpr char kContinued[] =
    "continued";  // a cross-reference entry's places, from the page before

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

std::vector<IndexRow> SortedIndexRows(const TextList &entries) {
  std::vector<IndexRow> rows;
  rows.reserve(size_t(entries.size()));
  for (qsizetype e = 0; e < entries.size(); ++e) {
    rows.push_back(ParseIndexEntry(entries[e].toByteArray()));
    rows.back().entry = e;
  }
  // Names in the routine list's order; then unit, page and line.
  auto key = [](const IndexRow &r) {
    return std::make_tuple(FoldedAscii(r.unit), r.unit, NumberKey(r.page), NumberKey(r.line),
                           r.kind, r.text, r.entry);
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
  QByteArrayView text;  // of the text parted
  bool afterBlank = false;
};

// Pieces end after a blank, a "." or a ",", and a bracket starts one. A
// path ("buttons.pp/speedbutton.inc") ends its pieces after its "/" alone:
// its files' names are then parted only when one is too wide for a row,
// not "buttons.pp/speedbutton." over "inc". A piece is a run of the text
// (only the blanks it wraps at fall between two): the index and the
// cross-reference part some 50,000 names and places a book, and a copy of
// each piece grown a byte at a time was most of what laying them out cost.
std::vector<WrapPiece> WrapPieces(QByteArrayView text, bool insideBrackets,
                                  bool atSlashes = false) {
  std::vector<WrapPiece> pieces;
  qsizetype start = 0;
  bool afterBlank = false;
  int depth = 0;
  auto close = [&](qsizetype end, bool nextAfterBlank) {
    const bool empty = end == start;
    if (!empty) pieces.push_back({text.sliced(start, end - start), afterBlank});
    afterBlank = nextAfterBlank || (empty && afterBlank);
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool breaks = depth == 0 || insideBrackets;
    if (c == ' ' && breaks) {
      close(i, true);
      start = i + 1;
      continue;
    }
    if (c == '(' && breaks) {
      close(i, false);
      start = i;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if ((atSlashes ? c == '/' : c == '.' || c == ',') && breaks) {
      close(i + 1, false);
      start = i + 1;
    }
  }
  close(text.size(), false);
  return pieces;
}

// Where the unit column starts when the widest unit cannot stand whole
// beside names of their full room: at the place where the fewest names and
// units have a piece (between two places they wrap at) wider than their
// column, which is then cut between characters. Ties go to the names.
int UnitColumnWithFewestCuts(PageCanvas &canvas, const std::vector<QByteArrayView> &names,
                             const std::vector<QByteArrayView> &units, int nameX, int unitRight,
                             int separation, int indent, int from, int to) {
  std::vector<int> namePieces, unitPieces;
  namePieces.reserve(names.size());
  unitPieces.reserve(units.size());
  auto widest = [&canvas](QByteArrayView text, bool insideBrackets) {
    int width = 0;
    for (const WrapPiece &piece : WrapPieces(text, insideBrackets))
      width = std::max(width, canvas.TextWidth(piece.text));
    return width;
  };
  for (const QByteArrayView name : names) namePieces.push_back(widest(name, true));
  for (const QByteArrayView unit : units) unitPieces.push_back(widest(unit, false));
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

int PlaceText(const CrossReferenceTable::Place &place, char (&text)[24]) {
  char *end = std::to_chars(text, text + 11, place.line).ptr;
  if (place.page > 0) {
    *end++ = '/';
    end = std::to_chars(end, text + sizeof text, place.page).ptr;
  }
  return int(end - text);
}

CrossReferenceTable CrossReferenceRows(const CrossLinks &links) {
  const CrossReferences &refs = links.References();
  CrossReferenceTable table;
  // Documents are named by number while the rows are gathered, and ranked
  // by name once they are all known: the rows sort by numbers, without a
  // string compared or made for each of their hundreds of thousands of
  // comparisons.
  QHash<QByteArray, int> documentNumbers;
  std::vector<QByteArray> documents;
  std::vector<int> unprintedFiles(size_t(refs.files.size()), -1);
  const char *lastData = nullptr;  // the rows of one document share its bytes
  int lastNumber = -1;
  auto numberOf = [&](const QByteArray &document) {
    if (document.constData() == lastData && lastNumber >= 0) return lastNumber;
    auto it = documentNumbers.constFind(document);
    if (it == documentNumbers.constEnd()) {
      it = documentNumbers.insert(document, int(documents.size()));
      documents.push_back(document);
    }
    // Only a document kept here stays: a text let go of may leave its
    // bytes' address to another.
    lastNumber = *it;
    lastData = documents[size_t(lastNumber)].constData();
    return lastNumber;
  };
  auto documentOf = [&](const XrefPlace &p, int *page) {
    if (const CrossLinks::PrintedRow *printed = links.RowOf(p.file, p.line)) {
      *page = printed->page;
      return numberOf(printed->document);
    }
    *page = 0;
    int &number = unprintedFiles[size_t(p.file)];
    if (number < 0) number = numberOf(FileNamePart(refs.files[p.file]).toUtf8());
    return number;
  };

  // The entries, each with its row.
  struct Entry {
    int declaration = 0;
    int document = 0, page = 0;
  };
  std::vector<Entry> entries;
  std::vector<int> entryOf(refs.declarations.size(), -1);
  for (int d = 0; d < int(refs.declarations.size()); ++d) {
    const XrefDeclaration &decl = refs.declarations[size_t(d)];
    if (!CrossLinks::Listed(decl)) continue;
    Entry entry{d};
    entry.document = documentOf(refs.declarations[size_t(links.TargetOf(d))].place, &entry.page);
    entryOf[size_t(d)] = int(entries.size());
    entries.push_back(entry);
  }
  // The uses of listed declarations, as places.
  struct Use {
    int entry = 0, document = 0;
    CrossReferenceTable::Place place;
  };
  std::vector<Use> uses;
  uses.reserve(refs.uses.size());
  for (const XrefUse &u : refs.uses) {
    int d = u.declaration;
    if (refs.declarations[size_t(d)].declaredAt >= 0) d = refs.declarations[size_t(d)].declaredAt;
    const int entry = entryOf[size_t(d)];
    if (entry < 0) continue;
    Use use{entry, 0, {u.place.file, u.place.line, 0}};
    use.document = documentOf(u.place, &use.place.page);
    uses.push_back(use);
  }

  // Documents by name, case ignored first: their rank replaces their number.
  std::vector<int> order(documents.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = int(k);
  {
    std::vector<QByteArray> folded;
    folded.reserve(documents.size());
    for (const QByteArray &document : documents) folded.push_back(FoldedAscii(document));
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      return std::tie(folded[size_t(a)], documents[size_t(a)]) <
             std::tie(folded[size_t(b)], documents[size_t(b)]);
    });
  }
  std::vector<int> rank(documents.size());
  table.documents.reserve(documents.size());
  for (size_t k = 0; k < order.size(); ++k) {
    rank[size_t(order[k])] = int(k);
    table.documents.push_back(documents[size_t(order[k])]);
  }
  for (Entry &entry : entries) entry.document = rank[size_t(entry.document)];
  for (Use &use : uses) use.document = rank[size_t(use.document)];

  // The entries' rows, in the index's order: by name, then document, page
  // and file line, kind.
  std::vector<CrossReferenceTable::Entry> rows(entries.size());
  for (size_t e = 0; e < entries.size(); ++e) {
    const int d = entries[e].declaration;
    const XrefDeclaration &decl = refs.declarations[size_t(d)];
    const XrefPlace &target = refs.declarations[size_t(links.TargetOf(d))].place;
    QByteArray name = decl.name.toByteArray();
    if (!decl.owner.isEmpty()) name += " (" + decl.owner.toByteArray() + ')';
    const QByteArray kind = XrefKindName(decl.kind);
    const QByteArray &unit = table.documents[size_t(entries[e].document)];
    const QByteArray page = entries[e].page > 0 ? QByteArray::number(entries[e].page) : "";
    const QByteArray line = QByteArray::number(target.line);
    // The fields one after another in the row's text, which its views read.
    IndexRow &row = rows[e].row;
    const QByteArray *fields[] = {&name, &kind, &unit, &page, &line};
    for (const QByteArray *field : fields) row.text += *field + '\x01';
    QByteArrayView *views[] = {&row.name, &row.kind, &row.unit, &row.page, &row.line};
    qsizetype at = 0;
    for (size_t k = 0; k < 5; ++k) {
      *views[k] = QByteArrayView(row.text.constData() + at, fields[k]->size());
      at += fields[k]->size() + 1;
    }
    row.link = links.TargetKey(d);
    row.place = CrossLinks::EntryKey(d);
  }
  std::vector<int> byName(entries.size());
  for (size_t e = 0; e < byName.size(); ++e) byName[e] = int(e);
  std::sort(byName.begin(), byName.end(), [&](int a, int b) {
    const IndexRow &x = rows[size_t(a)].row, &y = rows[size_t(b)].row;
    if (RoutineOrderLess(x.name, y.name)) return true;
    if (RoutineOrderLess(y.name, x.name)) return false;
    const Entry &p = entries[size_t(a)], &q = entries[size_t(b)];
    return std::make_tuple(p.document, p.page, NumberKey(x.line), x.kind, p.declaration) <
           std::make_tuple(q.document, q.page, NumberKey(y.line), y.kind, q.declaration);
  });
  std::vector<int> position(entries.size());
  for (size_t k = 0; k < byName.size(); ++k) position[size_t(byName[k])] = int(k);
  for (Use &use : uses) use.entry = position[size_t(use.entry)];

  // The places of each entry, by document, page and line; two uses on one
  // line are one place.
  std::sort(uses.begin(), uses.end(), [](const Use &a, const Use &b) {
    return std::tie(a.entry, a.document, a.place.page, a.place.line, a.place.file) <
           std::tie(b.entry, b.document, b.place.page, b.place.line, b.place.file);
  });
  table.entries.reserve(entries.size());
  table.places.reserve(uses.size());
  size_t u = 0;
  for (size_t k = 0; k < byName.size(); ++k) {
    CrossReferenceTable::Entry &entry = table.entries.emplace_back();
    entry.row = std::move(rows[size_t(byName[k])].row);
    entry.firstGroup = quint32(table.groups.size());
    for (; u < uses.size() && uses[u].entry == int(k); ++u) {
      const Use &use = uses[u];
      if (table.groups.size() == entry.firstGroup || table.groups.back().document != use.document) {
        table.groups.push_back({use.document, quint32(table.places.size()), 0});
      } else {
        const CrossReferenceTable::Place &last = table.places.back();
        if (last.file == use.place.file && last.line == use.place.line) continue;
      }
      table.places.push_back(use.place);
      table.groups.back().last = quint32(table.places.size());
      table.highestLine = std::max(table.highestLine, use.place.line);
      table.highestPage = std::max(table.highestPage, use.place.page);
    }
    entry.lastGroup = quint32(table.groups.size());
  }
  return table;
}

void IndexListing::MakeRowsAhead() {
  DropRowsMadeAhead();
  if (!IsCrossReference || !CrossReference) return;
  const CrossLinks *links = CrossReference;
  tableAhead_ = std::async(std::launch::async, [links] { return CrossReferenceRows(*links); });
}

void IndexListing::DropRowsMadeAhead() {
  if (tableAhead_.valid()) tableAhead_.wait();
  tableAhead_ = {};
}

void IndexListing::BeginJob() {
  if (IsCrossReference) {
    if (tableAhead_.valid())
      table_ = tableAhead_.get();
    else
      table_ = CrossReference ? CrossReferenceRows(*CrossReference) : CrossReferenceTable{};
    rows_.clear();
  } else {
    rows_ = SortedIndexRows(model_.IndexEntries);
  }
  lines_.clear();
  linesAskedFor_.clear();
  fewestCutsAskedFor_.clear();
  widestAskedFor_.clear();
  columnTitlesTold_ = false;
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
  // The rows' texts: the index's, or the cross-reference's entries and the
  // documents of its groups.
  auto forEachRow = [this](auto visit) {
    for (const IndexRow &row : rows_) visit(row);
    for (const CrossReferenceTable::Entry &entry : table_.entries) visit(entry.row);
  };
  // The keyword column is as wide as its widest keyword in the font used,
  // and the numbers' columns as their widest numbers: no column runs into
  // the next at any size.
  canvas.SetFont(settings_.BaseFont());
  const int gap = canvas.TextWidth(" ");
  const int indent = canvas.TextWidth("   ");
  const std::vector<int> measuring{
      gap, canvas.TextWidth("MMMMMMMM"), canvas.TextWidth("0123456789"),
      canvas.TextWidth("abcdefghijklmnopqrstuvwxyz"), int(ShowsLines())};
  if (measuring != widestAskedFor_) {
    widestAskedFor_ = measuring;
    widestKind_ = widestLine_ = widestPage_ = widestUnit_ = widestPlace_ = 0;
    if (IsCrossReference) widestKind_ = canvas.TextWidth(kContinued);
    forEachRow([&](const IndexRow &row) {
      widestKind_ = std::max(widestKind_, canvas.TextWidth(row.kind));
      widestUnit_ = std::max(widestUnit_, canvas.TextWidth(row.unit));
      if (ShowsLines()) widestLine_ = std::max(widestLine_, canvas.TextWidth(row.line));
      widestPage_ = std::max(widestPage_, canvas.TextWidth(row.page));
    });
    for (const QByteArray &document : table_.documents)
      widestUnit_ = std::max(widestUnit_, canvas.TextWidth(document));
    if (!table_.places.empty()) {
      // Any place is at most as wide as the highest line and page written
      // in the widest digit.
      int digit = 0;
      for (char c = '0'; c <= '9'; ++c)
        digit = std::max(digit, canvas.TextWidth(QByteArrayView(&c, 1)));
      CrossReferenceTable::Place highest{0, table_.highestLine, table_.highestPage};
      char text[24];
      widestPlace_ = PlaceText(highest, text) * digit + canvas.TextWidth("/");
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
  // The names' column holds at least a place of the cross-reference beside
  // its indent: a place is never cut.
  const int narrowestNames = std::max(narrowest, indent + widestPlace_);
  // The unit column takes the widest unit name whole where the names keep
  // room of their own; a unit name then never wraps.
  const int namesRoom = std::max(canvas.TextWidth("MMMMMMMMMMMMMMMM"), narrowestNames);
  const int wholeUnits = columns_.unitRight - widestUnit;
  if (wholeUnits < columns_.unit) {
    const int namesKeepRoom = columns_.name + namesRoom + separation;
    if (wholeUnits >= namesKeepRoom) {
      columns_.unit = wholeUnits;
    } else {
      // Every page of a job asks the same: counted once.
      const std::vector<int> asked{columns_.name, columns_.unitRight, separation,
                                   narrowest,     narrowestNames,     columns_.unit};
      if (asked != fewestCutsAskedFor_) {
        fewestCutsAskedFor_ = asked;
        std::vector<QByteArrayView> names, units;
        forEachRow([&](const IndexRow &row) {
          names.push_back(row.name);
          units.push_back(row.unit);
        });
        for (const QByteArray &document : table_.documents) units.push_back(document);
        fewestCutsUnit_ = UnitColumnWithFewestCuts(
            canvas, names, units, columns_.name, columns_.unitRight, separation, indent,
            columns_.name + narrowestNames + separation,
            std::min(columns_.unit, columns_.unitRight - narrowest));
      }
      columns_.unit = fewestCutsUnit_;
    }
  }
  if (columns_.unitRight - columns_.unit < narrowest)
    columns_.unit =
        std::max(columns_.name + narrowestNames + separation, columns_.unitRight - narrowest);
  columns_.nameRight = columns_.unit - separation;
  if (StructureSink *structure = canvas.Structure()) {
    // A number set right ends at its column's right, past the column before.
    std::vector<int> starts{columns_.keyword, columns_.name, columns_.unit, columns_.unitRight + 1};
    if (ShowsLines()) starts.push_back(columns_.lineRight + 1);
    structure->columns(starts, 1, 3);
  }
  letter_.clear();
  pageTop_ = true;
  if (IsCrossReference) LayOutCrossReferenceRows(canvas, gap, indent);

  PageFurniture furniture(canvas, cursor.Geometry, settings_, cursor.Texts);
  // A page of text has its own title, and the columns' titles head its one
  // table once: repeated on every sheet, they are the sheet's furniture.
  StructureSink *structure = canvas.Structure();
  if (structure) structure->furniture(true);
  canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRow(cursor.Texts.ProjectNameText, {},
                    IsCrossReference ? "Cross-reference" : "Index", cursor.Y);
  cursor.Y += canvas.TextHeight("X");
  furniture.DrawRule(cursor.Y);
  cursor.Y += kTitleRowGap;
  if (structure && !columnTitlesTold_) {
    structure->furniture(false);
    columnTitlesTold_ = true;
  }
  if (IsCrossReference) {
    // What a group's places are, over them where the names leave room.
    const QByteArrayView places = "Used at line/page";
    if (canvas.TextWidth(places) <= columns_.nameRight - columns_.name)
      canvas.TextOut(columns_.name, cursor.Y, places);
  }
  canvas.TextOut(columns_.unit, cursor.Y, "Unit");
  if (ShowsLines()) canvas.TextOut(columns_.lineTitle, cursor.Y, "Line");
  furniture.DrawRight("Page", cursor.Y);
  if (structure) structure->furniture(false);
  cursor.Y += 2 * g.LineStep;
}

std::vector<QByteArray> WrapToColumn(PageCanvas &canvas, QByteArrayView text, int width, int indent,
                                     std::vector<bool> *afterBlank) {
  if (afterBlank) *afterBlank = {false};
  // Most texts fit whole: they are the one row their pieces would join
  // into again, unless blanks at their ends or two together are dropped.
  if (canvas.TextWidth(text) <= std::max(1, width) && !text.startsWith(' ') &&
      !text.endsWith(' ') && !text.contains("  "))
    return {text.toByteArray()};
  std::vector<QByteArray> rows;
  QByteArray row;
  bool rowAfterBlank = false;  // a blank was dropped before the row now filled
  auto endRow = [&](QByteArray done, bool nextAfterBlank) {
    if (afterBlank && !rows.empty()) afterBlank->push_back(rowAfterBlank);
    rows.push_back(std::move(done));
    rowAfterBlank = nextAfterBlank;
  };
  auto room = [&] { return std::max(1, rows.empty() ? width : width - indent); };
  // Places a piece: on the row when it fits there, else on a new row; a
  // piece wider than a whole row is parted at its inner places first, and
  // only what is still too wide is broken where it no longer fits.
  std::function<void(const WrapPiece &, bool)> place = [&](const WrapPiece &piece, bool whole) {
    QByteArray joined = row;
    if (!row.isEmpty() && piece.afterBlank) joined += ' ';
    joined += piece.text;
    if (canvas.TextWidth(joined) <= room()) {
      if (row.isEmpty() && !rows.empty()) rowAfterBlank = rowAfterBlank || piece.afterBlank;
      row = joined;
      return;
    }
    if (!row.isEmpty() && canvas.TextWidth(piece.text) <= room() - (rows.empty() ? indent : 0)) {
      endRow(row, piece.afterBlank);
      row = piece.text.toByteArray();
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
      endRow(row, piece.afterBlank);
      row.clear();
    } else if (!rows.empty()) {
      rowAfterBlank = rowAfterBlank || piece.afterBlank;
    }
    QByteArrayView rest(piece.text);
    while (canvas.TextWidth(rest) > room()) {
      qsizetype take = CharacterLength(rest, 0, canvas.Encoding);
      while (take < rest.size()) {
        const qsizetype step = CharacterLength(rest, take, canvas.Encoding);
        if (canvas.TextWidth(rest.first(take + step)) > room()) break;
        take += step;
      }
      endRow(rest.first(take).toByteArray(), false);
      rest = rest.sliced(take);
    }
    row = rest.toByteArray();
  };
  const bool path = !text.contains('(') && text.contains('/');
  for (const WrapPiece &piece : WrapPieces(text, false, path)) place(piece, true);
  if (!row.isEmpty() || rows.empty()) endRow(row, false);
  if (afterBlank) afterBlank->resize(rows.size());
  return rows;
}

void IndexListing::LayOutCrossReferenceRows(PageCanvas &canvas, int gap, int indent) {
  placesX_ = columns_.name + indent;
  const std::vector<int> asked{widestAskedFor_[0], widestAskedFor_[1], widestAskedFor_[2],
                               widestAskedFor_[3], columns_.name,      columns_.nameRight,
                               columns_.unit,      columns_.unitRight};
  if (asked == linesAskedFor_) return;
  linesAskedFor_ = asked;
  documentRows_.clear();
  documentRows_.reserve(table_.documents.size());
  documentAfterBlank_.assign(table_.documents.size(), {});
  for (size_t d = 0; d < table_.documents.size(); ++d)
    documentRows_.push_back(WrapToColumn(canvas, table_.documents[d],
                                         columns_.unitRight - columns_.unit, indent,
                                         &documentAfterBlank_[d]));
  lines_.clear();
  lines_.reserve(table_.entries.size() + table_.groups.size());
  const int room = columns_.nameRight - placesX_;
  char text[24];
  for (int e = 0; e < int(table_.entries.size()); ++e) {
    const CrossReferenceTable::Entry &entry = table_.entries[size_t(e)];
    lines_.push_back({e, -1, 0, 0, 0});
    for (quint32 g = entry.firstGroup; g < entry.lastGroup; ++g) {
      const CrossReferenceTable::Group &group = table_.groups[g];
      const int documentRows = int(documentRows_[size_t(group.document)].size());
      XrefRow row{e, int(g), group.first, group.first, 0};
      int used = 0;  // of the row's room
      for (quint32 p = group.first; p < group.last; ++p) {
        const int width = canvas.TextWidth(QByteArrayView(text, PlaceText(table_.places[p], text)));
        if (row.last > row.first && used + gap + width > room) {
          lines_.push_back(row);
          row = {e, int(g), p, p, row.documentRow + 1};
          used = 0;
        }
        used += (row.last > row.first ? gap : 0) + width;
        row.last = p + 1;
      }
      lines_.push_back(row);
      // A document wrapped over more rows than its places take goes on alone.
      while (row.documentRow + 1 < documentRows) {
        row = {e, int(g), group.last, group.last, row.documentRow + 1};
        lines_.push_back(row);
      }
    }
  }
}

void IndexListing::LayOutItem(PageCursor &cursor, int &position) {
  if (!IsCrossReference) {
    LayOutRow(cursor, rows_[size_t(position)]);
    position += 1;
    return;
  }
  const XrefRow &line = lines_[size_t(position)];
  position += 1;
  const bool pageTop = std::exchange(pageTop_, false);
  if (line.group < 0) {
    LayOutRow(cursor, table_.entries[size_t(line.entry)].row);
    return;
  }
  if (pageTop) {
    // Places carried over from the page before: whose they are, first, with
    // "continued" in the kind column, which is wide enough for it.
    PageCanvas &canvas = cursor.Canvas;
    canvas.SetFont(settings_.BaseFont());
    canvas.TextOut(columns_.keyword, cursor.Y, kContinued);
    const int indent = canvas.TextWidth("   ");
    StructureSink *structure = canvas.Structure();
    std::vector<bool> afterBlank;
    const std::vector<QByteArray> name =
        WrapToColumn(canvas, table_.entries[size_t(line.entry)].row.name,
                     columns_.nameRight - columns_.name, indent, &afterBlank);
    for (size_t k = 0; k < name.size(); ++k) {
      if (k > 0 && structure) structure->joinsAbove(afterBlank[k]);
      canvas.TextOut(k == 0 ? columns_.name : columns_.name + indent, cursor.Y, name[k]);
      cursor.NextRow();
    }
  }
  LayOutPlaces(cursor, line);
}

void IndexListing::LayOutPlaces(PageCursor &cursor, const XrefRow &line) {
  PageCanvas &canvas = cursor.Canvas;
  canvas.SetFont(settings_.BaseFont());
  const CrossReferenceTable::Group &group = table_.groups[size_t(line.group)];
  const std::vector<QByteArray> &document = documentRows_[size_t(group.document)];
  if (line.documentRow < int(document.size())) {
    if (line.documentRow > 0)
      if (StructureSink *structure = canvas.Structure())
        structure->joinsAbove(
            documentAfterBlank_[size_t(group.document)][size_t(line.documentRow)]);
    canvas.TextOut(line.documentRow == 0 ? columns_.unit : columns_.unit + canvas.TextWidth("   "),
                   cursor.Y, document[size_t(line.documentRow)]);
  }
  // Each place its own link, to the row it names.
  NavigationSink *navigation = canvas.Navigation();
  const int gap = canvas.TextWidth(" ");
  int x = placesX_;
  char text[24];
  for (quint32 p = line.first; p < line.last; ++p) {
    const CrossReferenceTable::Place &place = table_.places[p];
    const QByteArrayView drawn(text, PlaceText(place, text));
    const int width = canvas.TextWidth(drawn);
    canvas.TextOut(x, cursor.Y, drawn);
    if (navigation)
      navigation->link(QRect(x, cursor.Y, width, cursor.Geometry.LineStep),
                       CrossLinks::PlaceKey(place.file, place.line));
    x += width + gap;
  }
  cursor.NextRow();
}

void IndexListing::LayOutRow(PageCursor &cursor, const IndexRow &row) {
  PageCanvas &canvas = cursor.Canvas;
  const QByteArrayView first = FirstCharacter(row.name);
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
  StructureSink *structure = canvas.Structure();
  std::vector<bool> afterBlank;
  auto drawWrapped = [&](QByteArrayView text, int x, int rightX) {
    const std::vector<QByteArray> pieces =
        WrapToColumn(canvas, text, rightX - x, indent, structure ? &afterBlank : nullptr);
    for (size_t k = 0; k < pieces.size(); ++k) {
      if (k > 0 && structure) structure->joinsAbove(afterBlank[k]);
      canvas.TextOut(k == 0 ? x : x + indent, cursor.Y + int(k) * cursor.Geometry.LineStep,
                     pieces[k]);
    }
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
                     row.link.isEmpty() ? IndexEntryPlaceKey(row.entry) : row.link);
  for (int k = 0; k < rows; ++k) cursor.NextRow();
}

void IndexListing::FinishPage(PageCursor &cursor, int) {
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  cursor.Y = cursor.FootY();
  cursor.Canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRule(cursor.Y);
}

}  // namespace scrivane
