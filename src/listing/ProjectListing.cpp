#include "listing/ProjectListing.h"

#include <utility>

#include "format/FormatSettings.h"
#include "listing/CrossLinks.h"
#include "listing/RowWriter.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "print/PageCanvas.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {
constexpr int kClosingTitleGap = 8;  // device units between the closing rule and its title
constexpr int kLineNumberGap =
    30;  // device units between a line number and the text margin, as in a unit
}  // namespace

QByteArray ProjectLineForPrinting(QByteArray line) {
  if (line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
  // The source's indentation shows its structure (a begin block's
  // statements): only the end of a line is trimmed.
  line.replace('\t', ' ');
  while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\r')) line.chop(1);
  return line;
}

ProjectListing::ProjectListing(const ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), job_(settings, *this) {}

QString ProjectListing::JobTitle() const { return model_.OpenedPath; }

QString ProjectListing::DocumentTitle() const { return FileNamePart(model_.OpenedPath); }

void ProjectListing::BeginJob() {
  // A unit is named by its identifier in a uses clause ("Stock,") and by its
  // file in a Delphi project's "in 'stock.pas'".
  unitsByWord_.clear();
  for (const UnitEntry &unit : std::as_const(model_.Units)) {
    const QString name = unit.name.trimmed().toLower();
    unitsByWord_.insert(name.toUtf8(), unit.name);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0) unitsByWord_.insert(name.left(dot).toUtf8(), unit.name);
  }
  // Only the uses clause names units: a comment's "Stock keeping" does not.
  inUses_.assign(size_t(model_.ProjectLines.size()), false);
  bool inUses = false;
  for (qsizetype i = 0; i < model_.ProjectLines.size(); ++i) {
    const QByteArray line = ProjectLineForPrinting(model_.ProjectLines[i]).trimmed().toLower();
    if (!inUses && (line == "uses" || line.startsWith("uses "))) inUses = true;
    inUses_[size_t(i)] = inUses;
    if (inUses && line.contains(';')) inUses = false;
  }
  xrefFile_ = CrossLinks ? CrossLinks->FileOf(model_.OpenedPath) : -1;
  document_ = Encode1252(FileNamePart(model_.OpenedPath));
}

void ProjectListing::ReportPlace(int line, int y, PageCursor &cursor) {
  if (xrefFile_ < 0) return;
  bool place = CrossLinks->IsTarget(xrefFile_, line);
  if (CrossLinks->EntriesPrinted && !place) {
    const CrossLinks::LineUses uses = CrossLinks->UsesOn(xrefFile_, line);
    place = uses.first < uses.last;
  }
  if (!place) return;
  if (NavigationSink *navigation = cursor.Canvas.Navigation())
    navigation->anchor(CrossLinks::PlaceKey(xrefFile_, line), y);
  // Also when only laid out: the cross-reference printed alone names the
  // pages the book has.
  if (CrossLinks->EntriesPrinted) CrossLinks->NoteRow(xrefFile_, line, cursor.Page, document_);
}

void ProjectListing::LinkNames(QByteArrayView word, int line, int column, int x, int y,
                               PageCursor &cursor) {
  NavigationSink *navigation = cursor.Canvas.Navigation();
  if (!navigation || xrefFile_ < 0) return;
  const class CrossLinks &links = *CrossLinks;
  const CrossLinks::LineUses uses = links.UsesOn(xrefFile_, line);
  const CrossLinks::LineUses declared =
      links.EntriesPrinted ? links.DeclarationsOn(xrefFile_, line) : CrossLinks::LineUses{};
  if (uses.first == uses.last && declared.first == declared.last) return;
  const CrossReferences &refs = links.References();
  ForEachIdentifier(word, [&](qsizetype at, qsizetype size) {
    const QByteArrayView name = word.sliced(at, size);
    const int nameColumn = column + int(at);
    // The line is printed as read, so the columns are the file's; the
    // name is checked too, so that a line read otherwise links nothing.
    auto names = [&](int d) {
      return QByteArrayView(refs.declarations[size_t(d)].name).compare(name, Qt::CaseInsensitive) ==
             0;
    };
    QByteArray key;
    if (const int use = links.UseAtColumn(uses, nameColumn, int(size));
        use >= 0 && names(refs.uses[size_t(use)].declaration)) {
      key = links.TargetKey(refs.uses[size_t(use)].declaration);
    } else if (int d = links.DeclarationAtColumn(declared, nameColumn, int(size)); d >= 0) {
      if (refs.declarations[size_t(d)].declaredAt >= 0) d = refs.declarations[size_t(d)].declaredAt;
      if (!CrossLinks::Listed(refs.declarations[size_t(d)]) || !names(d)) return;
      key = CrossLinks::EntryKey(d);
    } else {
      return;
    }
    PageCanvas &canvas = cursor.Canvas;
    const int left = x + (at > 0 ? canvas.TextWidth(word.first(at)) : 0);
    const int right = x + canvas.TextWidth(word.first(at + size));
    navigation->link(QRect(left, y, right - left, canvas.TextHeight(name)), key);
  });
}

int ProjectListing::ItemCount() const { return int(model_.ProjectLines.size()); }

void ProjectListing::StartPage(PageCursor &cursor, int &) {
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  cursor.Canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRow(cursor.Texts.ProjectNameText, {}, DateText(cursor.Texts.now.date()), cursor.Y);
  cursor.Y += cursor.Canvas.TextHeight("X");
  furniture.DrawRule(cursor.Y);
  cursor.Y += 2 * cursor.Geometry.LineStep;
}

void ProjectListing::LayOutItem(PageCursor &cursor, int &position) {
  // Every further blank stands as an empty word, so inner spacing survives.
  const QList<QByteArray> words = ProjectLineForPrinting(model_.ProjectLines[position]).split(' ');
  position += 1;
  // Numbered as a unit's lines are, in the margin, by the file's line.
  if (settings_.LineNo == 1) {
    cursor.Canvas.SetFont(settings_.LineFont());
    const QByteArray number = QByteArray::number(position) + ':';
    cursor.Canvas.TextOut(cursor.Geometry.LeftX - cursor.Canvas.TextWidth(number) - kLineNumberGap,
                          cursor.Y, number);
  }
  cursor.Canvas.SetFont(settings_.BaseFont());
  RowWriter row(cursor, cursor.Geometry.LeftX);
  ReportPlace(position, cursor.Y, cursor);
  NavigationSink *navigation =
      size_t(position - 1) < inUses_.size() && inUses_[size_t(position - 1)]
          ? cursor.Canvas.Navigation()
          : nullptr;
  int column = 1;  // of the word in the file's line
  for (int i = 0; i < words.size(); ++i) {
    const int x = row.X, y = cursor.Y;
    row.DrawWholeOrBroken(words[i]);
    bool unitLinked = false;
    if (navigation && y == cursor.Y) {
      QByteArray word = words[i].toLower();
      while (!word.isEmpty() && QByteArrayView(",;'()").contains(word.back())) word.chop(1);
      while (!word.isEmpty() && QByteArrayView(",;'()").contains(word.front())) word.remove(0, 1);
      const auto unit = unitsByWord_.constFind(word);
      if (unit != unitsByWord_.constEnd()) {
        navigation->link(QRect(x, y, cursor.Canvas.TextWidth(words[i]), cursor.Geometry.LineStep),
                         UnitPlaceKey(*unit));
        unitLinked = true;
      }
    }
    // A unit named in the uses clause leads to its first page, as above.
    if (CrossLinks && !unitLinked && y == cursor.Y && !words[i].isEmpty())
      LinkNames(words[i], position, column, x, y, cursor);
    column += int(words[i].size()) + 1;
    if (i + 1 < words.size() && row.NextWordOverflows(words[i + 1])) row.NewRow();
  }
  cursor.NextRow();
}

void ProjectListing::FinishPage(PageCursor &cursor, int) {
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  cursor.Y = cursor.FootY();
  cursor.Canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRule(cursor.Y);
  cursor.Y += kClosingTitleGap;
  furniture.DrawLeft("Project Listing", cursor.Y);
}

}  // namespace scrivane
