#include "widgets/PickList.h"

#include <QFileInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "platform/Paths.h"
#include "widgets/Glyphs.h"

namespace scrivane {

namespace {

// A dotted frame round the current row of a focused list, drawn in the row's
// ink: without it a keyboard user cannot tell which list the arrows move.
void DrawFocusMark(QPainter *p, const QStyleOptionViewItem &option, const QColor &ink) {
  if (!(option.state & QStyle::State_HasFocus)) return;
  p->save();
  p->setBrush(Qt::NoBrush);
  p->setPen(QPen(ink, 1, Qt::DotLine));
  p->drawRect(option.rect.adjusted(0, 0, -1, -1));
  p->restore();
}

}  // namespace

PickList::PickList(QWidget *parent) : QListWidget(parent) {
  standardDelegate_ = itemDelegate();
  setMouseTracking(true);
  setUniformItemSizes(true);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row != lastIndex_) {
      lastIndex_ = row;
      emit changed();
    }
  });
}

void PickList::setOwnerDelegate(QAbstractItemDelegate *delegate) {
  setItemDelegate(delegate ? delegate : standardDelegate_);
  viewport()->update();
}

void PickList::ClearSelection() {
  if (selectionMode() == QAbstractItemView::MultiSelection ||
      selectionMode() == QAbstractItemView::ExtendedSelection)
    clearSelection();
}

void PickList::mouseMoveEvent(QMouseEvent *event) {
  QListWidget::mouseMoveEvent(event);
  emit hovered();
}

QString FormatFileSize(qint64 bytes) {
  const bool negative = bytes < 0;
  QString digits = QString::number(negative ? -bytes : bytes);
  for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
  return negative ? QLatin1Char('-') + digits : digits;
}

QString FormatFileTime(const QDateTime &time) {
  return QLocale::c().toString(time, QStringLiteral("MM/dd/yy  hh:mm ap"));
}

UnitFileColumns DescribeUnitFile(const QString &fullPath) {
  UnitFileColumns columns;
  // The model keeps paths in lower case; the file on disk may not be.
  const QString onDisk = fullPath.isEmpty() ? QString() : FindFileAnyCase(fullPath);
  const QFileInfo info(onDisk);
  if (onDisk.isEmpty() || !info.isFile()) {
    columns.dateText = QStringLiteral("File not found");
    return columns;
  }
  columns.found = true;
  columns.dateText = FormatFileTime(info.lastModified());
  columns.sizeText = FormatFileSize(info.size());
  return columns;
}

namespace {

// Background and ink of an owner-drawn item: the highlight shows the
// selection, as the list box does before calling its draw handler.
void FillItem(QPainter *p, const QStyleOptionViewItem &option, const QWidget *list) {
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette &palette = list ? list->palette() : option.palette;
  p->fillRect(option.rect, selected ? palette.highlight() : palette.base());
  const QColor ink =
      selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
  DrawFocusMark(p, option, ink);
  p->setPen(ink);
  p->setFont(list ? list->font() : option.font);
}

int TextBaseline(const QPainter *p, const QRect &r) {
  // The text's top sits at R.top + 1, as the glyph does.
  return r.top() + 1 + QFontMetrics(p->font()).ascent();
}

}  // namespace

UnitListDelegate::UnitListDelegate(const ProjectModel &model, QObject *parent)
    : QStyledItemDelegate(parent), model_(model) {}

UnitListColumns MeasureUnitListColumns(const QFontMetrics &metrics, int nameLeftPx,
                                       int widestNamePx) {
  // Digits differ in width in a proportional font: the widest stands for all.
  QChar widestDigit = QLatin1Char('0');
  for (char c = '0'; c <= '9'; ++c)
    if (metrics.horizontalAdvance(QLatin1Char(c)) > metrics.horizontalAdvance(widestDigit))
      widestDigit = QLatin1Char(c);
  const auto digits = [&](QString pattern) {
    return pattern.replace(QLatin1Char('0'), widestDigit);
  };
  const int gap = metrics.horizontalAdvance(QStringLiteral("    "));
  UnitListColumns columns;
  columns.dateLeft = nameLeftPx + widestNamePx + gap;
  columns.dateWidth =
      std::max({metrics.horizontalAdvance(digits(QStringLiteral("00/00/00  00:00 am"))),
                metrics.horizontalAdvance(digits(QStringLiteral("00/00/00  00:00 pm"))),
                metrics.horizontalAdvance(QStringLiteral("File not found"))});
  columns.sizeLeftmost = columns.dateLeft + columns.dateWidth + gap;
  columns.sizeRight =
      columns.sizeLeftmost + metrics.horizontalAdvance(digits(QStringLiteral("000,000,000")));
  return columns;
}

int UnitListColumns::SizeLeft(const QFontMetrics &metrics, const QString &sizeText) const {
  return std::max(sizeLeftmost, sizeRight - metrics.horizontalAdvance(sizeText));
}

UnitListColumns UnitListDelegate::Columns(const QFont &font) const {
  const QFontMetrics metrics(font);
  int widest = 0;
  for (const UnitEntry &unit : model_.Units)
    widest = std::max(widest, metrics.horizontalAdvance(unit.name));
  return MeasureUnitListColumns(metrics, EntryGlyph(EntryKind::UnitInProject).width() + 1, widest);
}

void UnitListDelegate::paint(QPainter *p, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const {
  p->save();
  FillItem(p, option, option.widget);
  const QRect r = option.rect;
  const auto kind = EntryKind(index.data(KindRole).toInt());
  const QPixmap glyph = EntryGlyph(kind);
  p->drawPixmap(r.left(), r.top() + 1, glyph);
  const int baseline = TextBaseline(p, r);
  p->drawText(r.left() + glyph.width() + 1, baseline, index.data(Qt::DisplayRole).toString());
  // Measured in the font the row is drawn in, so neither the normal nor the
  // bold list font lets one column run into the next.
  const UnitListColumns columns = Columns(p->font());
  const UnitFileColumns file = DescribeUnitFile(index.data(FullPathRole).toString());
  p->drawText(r.left() + columns.dateLeft, baseline, file.dateText);
  if (file.found)
    p->drawText(r.left() + columns.SizeLeft(p->fontMetrics(), file.sizeText), baseline,
                file.sizeText);
  p->restore();
}

QSize UnitListDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const {
  return QSize(PickListExtentPx, UnitItemHeightPx);
}

void RoutineListDelegate::paint(QPainter *p, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const {
  p->save();
  FillItem(p, option, option.widget);
  const QRect r = option.rect;
  const QPixmap glyph = EntryGlyph(EntryKind(index.data(KindRole).toInt()));
  p->drawPixmap(r.left(), r.top() + 1, glyph);
  p->drawText(r.left() + glyph.width() + 1, TextBaseline(p, r),
              index.data(Qt::DisplayRole).toString());
  p->restore();
}

QSize RoutineListDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const {
  return QSize(PickListExtentPx, RoutineItemHeightPx);
}

}  // namespace scrivane
