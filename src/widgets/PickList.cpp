#include "widgets/PickList.h"

#include <QFileInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTextOption>
#include <algorithm>

#include "platform/Paths.h"
#include "widgets/Glyphs.h"

namespace scrivane {

TabStopParse ParseTabStops(const QString &text) {
  TabStopParse result;
  if (text.isEmpty()) return result;
  // A ";" in first place does not split, so ";8" is one (bad) piece.
  QStringList pieces;
  int start = 0;
  for (int i = 1; i < text.size(); ++i) {
    if (text[i] == QLatin1Char(';')) {
      pieces << text.mid(start, i - start);
      start = i + 1;
    }
  }
  pieces << text.mid(start);
  for (const QString &piece : pieces) {
    bool ok = false;
    const int value = piece.toInt(&ok, 10);
    if (!ok) {
      result.error = piece + QStringLiteral(" is an invalid tab stop");
      return result;
    }
    result.stops << value;
  }
  return result;
}

QString JoinTabStops(const QList<int> &stops) {
  QStringList parts;
  for (int s : stops) parts << QString::number(s);
  return parts.join(QLatin1Char(';'));
}

QList<qreal> TabPixelPositions(const QList<int> &stops, int averageCharWidthPx) {
  QList<qreal> positions;
  int previous = 0;
  for (int stop : stops) {
    // Zero, negative or backward positions are stored (the text reads back
    // as written) but cannot be drawn at.
    if (stop <= previous) continue;
    previous = stop;
    positions << qreal(stop) * averageCharWidthPx;
  }
  return positions;
}

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

// The control's own drawings (Checkbox, BoldText).
class PickListStyleDelegate : public QStyledItemDelegate {
 public:
  explicit PickListStyleDelegate(PickList *list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter *p, const QStyleOptionViewItem &option,
             const QModelIndex &index) const override {
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const int itemHeight = r.height();
    p->save();
    p->fillRect(r, list_->palette().base());
    const QColor ink = list_->palette().color(QPalette::Text);
    DrawFocusMark(p, option, ink);
    p->setPen(ink);
    QFont font = list_->font();
    // Tab positions come from the list's own font, before a selected row is
    // made bold, so the columns of every row line up.
    const QList<qreal> tabs =
        TabPixelPositions(list_->tabStops(), QFontMetrics(font).averageCharWidth());
    int x = r.left() + 2;
    if (list_->selectedStyle() == SelectedStyle::Checkbox) {
      // The box spans (left + 2, top + 1) up to but not including
      // (left + ItemHeight, top + ItemHeight - 1), as a GDI rectangle does;
      // the cross joins its corners.
      p->setBrush(Qt::NoBrush);
      // A one-pixel outline of a QRect covers its right and bottom edge plus
      // one: a width of ItemHeight - 3 ends at left + ItemHeight - 1.
      p->drawRect(QRect(r.left() + 2, r.top() + 1, itemHeight - 3, itemHeight - 3));
      if (selected) {
        p->drawLine(r.left() + 2, r.top() + 1, r.left() + itemHeight - 1, r.top() + itemHeight - 2);
        p->drawLine(r.left() + itemHeight - 1, r.top() + 1, r.left() + 2, r.top() + itemHeight - 2);
      }
      x = r.left() + itemHeight + 4;
    } else {
      font.setBold(selected);
    }
    p->setFont(font);
    QTextOption textOption(Qt::AlignLeft | Qt::AlignTop);
    textOption.setWrapMode(QTextOption::NoWrap);
    QString text = index.data(Qt::DisplayRole).toString();
    if (list_->useTabStops()) {
      if (!tabs.isEmpty()) textOption.setTabArray(tabs);
    } else {
      text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    }
    p->drawText(QRectF(x, r.top(), r.right() - x, r.height()), text, textOption);
    p->restore();
  }

 private:
  PickList *list_;
};

}  // namespace

PickList::PickList(QWidget *parent) : QListWidget(parent) {
  standardDelegate_ = itemDelegate();
  ownDelegate_ = new PickListStyleDelegate(this);
  setMouseTracking(true);
  setUniformItemSizes(true);
  ApplyStyle();
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row != lastIndex_) {
      lastIndex_ = row;
      emit changed();
    }
  });
}

void PickList::setSelectedStyle(SelectedStyle style) {
  if (style == selectedStyle_) return;
  selectedStyle_ = style;
  ApplyStyle();
}

void PickList::setUseTabStops(bool on) {
  if (on == useTabStops_) return;
  useTabStops_ = on;
  viewport()->update();
}

QString PickList::setTabStopsText(const QString &text) {
  const TabStopParse parsed = ParseTabStops(text);
  tabStops_ = parsed.stops;
  viewport()->update();
  return parsed.error;
}

void PickList::setOwnerDelegate(QAbstractItemDelegate *delegate) {
  ownerDelegate_ = delegate;
  ApplyStyle();
}

void PickList::ApplyStyle() {
  QAbstractItemDelegate *chosen = standardDelegate_;
  if (selectedStyle_ == SelectedStyle::Checkbox || selectedStyle_ == SelectedStyle::BoldText)
    chosen = ownDelegate_;
  else if (selectedStyle_ == SelectedStyle::OwnerDraw && ownerDelegate_)
    chosen = ownerDelegate_;
  setItemDelegate(chosen);
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
