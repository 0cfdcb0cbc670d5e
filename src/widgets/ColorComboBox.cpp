#include "widgets/ColorComboBox.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "format/FormatSettings.h"

namespace scrivane {

namespace {
constexpr int kBuiltInColors = 16;
constexpr int kSideInsetPx = 3;
constexpr int kItemHeightPx = 16;
}  // namespace

QString BuiltInColorName(int index) {
  static const char *const kNames[kBuiltInColors] = {
      "Black",  "Maroon", "Green", "Olive",  "Navy", "Purple",  "Teal", "Gray",
      "Silver", "Red",    "Lime",  "Yellow", "Blue", "Fuchsia", "Aqua", "White",
  };
  return index >= 0 && index < kBuiltInColors ? QString::fromLatin1(kNames[index]) : QString();
}

int LastEntryOfColor(const QList<ColorEntry> &entries, ColorRef color) {
  for (int i = int(entries.size()) - 1; i >= 0; --i)
    if ((entries[i].color & 0xFFFFFF) == (color & 0xFFFFFF)) return i;
  return -1;
}

QColor ToQColor(ColorRef color) {
  return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

ColorComboBox::ColorComboBox(QWidget *parent) : QComboBox(parent) {
  setItemDelegate(new ColorItemDelegate(this));
  setMinimumContentsLength(8);
  FillList();
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index >= 0) selectedColor_ = ColorAt(index).color;
    emit colorClicked();
  });
}

int ColorComboBox::ColorCount() const {
  int count = kBuiltInColors;
  if (GetColorNum) GetColorNum(count);
  return std::max(0, count);
}

ColorEntry ColorComboBox::ColorAt(int index) const {
  ColorEntry entry;
  if (index >= 0 && index < kBuiltInColors) {
    entry.color = ColorFromIndex(index);
    entry.name = BuiltInColorName(index);
  }
  if (GetColor) GetColor(index, entry.color, entry.name);
  return entry;
}

void ColorComboBox::FillList() {
  const ColorRef remembered = selectedColor_;
  const QSignalBlocker block(this);
  clear();
  QList<ColorEntry> entries;
  // The closed box shows the chosen item's swatch as its icon.
  const int swatchWidth = std::max(1, pictureWidth_);
  setIconSize(pictureWidth_ > 0 ? QSize(swatchWidth, 12) : QSize(0, 0));
  for (int i = 0; i < ColorCount(); ++i) {
    entries << ColorAt(i);
    QPixmap swatch(swatchWidth, 12);
    swatch.fill(ToQColor(entries.last().color));
    {
      QPainter outline(&swatch);
      outline.setPen(Qt::black);
      outline.drawRect(0, 0, swatchWidth - 1, 11);
    }
    addItem(QIcon(swatch), entries.last().name);
  }
  setCurrentIndex(LastEntryOfColor(entries, remembered));
}

void ColorComboBox::setSelectedColor(ColorRef color) {
  selectedColor_ = color;
  QList<ColorEntry> entries;
  for (int i = 0; i < count(); ++i) entries << ColorAt(i);
  const QSignalBlocker block(this);
  setCurrentIndex(LastEntryOfColor(entries, color));
}

void ColorComboBox::setPictureWidth(int widthPx) {
  pictureWidth_ = widthPx < 0 ? kDefaultPictureWidthPx : widthPx;
  FillList();
}

ColorItemDelegate::ColorItemDelegate(ColorComboBox *box) : QStyledItemDelegate(box), box_(box) {}

void ColorItemDelegate::paint(QPainter *p, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const {
  const QRect rect = option.rect;
  const bool selected = option.state & QStyle::State_Selected;
  p->save();
  p->fillRect(rect, selected ? option.palette.highlight() : option.palette.base());
  p->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                     : option.palette.color(QPalette::Text));
  const QRect r = rect.adjusted(kSideInsetPx, 0, -kSideInsetPx, 0);
  const ColorEntry entry = box_->ColorAt(index.row());
  int x = r.left();
  if (box_->pictureWidth() > 0) {
    // The outline takes the text colour, as the canvas pen does.
    const QRect swatch(QPoint(r.left(), rect.top() + 2),
                       QPoint(r.left() + box_->pictureWidth() - 1, rect.bottom() - 2));
    p->fillRect(swatch, ToQColor(entry.color));
    p->drawRect(swatch.adjusted(0, 0, -1, -1));
    x = r.left() + box_->pictureWidth() + 3;
  }
  const int textHeight = option.fontMetrics.height();
  const int y = rect.top() + (rect.height() - textHeight) / 2;
  p->setClipRect(QRect(QPoint(x, rect.top()), QPoint(r.right(), rect.bottom())));
  p->drawText(QRect(x, y, std::max(0, r.right() - x + 1), textHeight),
              Qt::AlignLeft | Qt::AlignVCenter, entry.name);
  p->restore();
}

QSize ColorItemDelegate::sizeHint(const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const {
  const int width = 2 * kSideInsetPx + box_->pictureWidth() + 3 +
                    option.fontMetrics.horizontalAdvance(box_->ColorAt(index.row()).name);
  return QSize(width, std::max(kItemHeightPx, option.fontMetrics.height() + 2));
}

}  // namespace scrivane
