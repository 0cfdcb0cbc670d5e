#pragma once
// A drop-down list of named colours, each drawn with a swatch: the sixteen
// colours of the settings' colour indices, in their order, unless the owner
// changes the count or an entry through the two hooks.
#include <QComboBox>
#include <QStyledItemDelegate>
#include <functional>

#include "format/Fonts.h"

namespace scrivane {

struct ColorEntry {
  ColorRef color = 0;
  QString name;
  friend bool operator==(const ColorEntry &, const ColorEntry &) = default;
};

// Name of a built-in entry without the "cl" prefix ("Black" ... "White");
// empty past the sixteenth.
QString BuiltInColorName(int index);
// The index of the last entry of that colour, or -1: a later equal entry wins.
int LastEntryOfColor(const QList<ColorEntry> &entries, ColorRef color);

class ColorComboBox : public QComboBox {
  Q_OBJECT
 public:
  static constexpr int kDefaultPictureWidthPx = 32;
  explicit ColorComboBox(QWidget *parent = nullptr);

  // May change the number of entries (16 to start with); a negative count
  // gives an empty list.
  std::function<void(int &count)> GetColorNum;
  // May change an entry's colour and name. Entries past the sixteenth start
  // black and unnamed.
  std::function<void(int index, ColorRef &color, QString &name)> GetColor;

  int ColorCount() const;
  ColorEntry ColorAt(int index) const;
  // Rebuilds the items from the hooks, keeping the selected colour.
  void FillList();

  ColorRef selectedColor() const { return selectedColor_; }
  // Selects the last item of that colour, or none (-1).
  void setSelectedColor(ColorRef color);
  int pictureWidth() const { return pictureWidth_; }
  // A negative width reads as 32; 0 draws the names without swatches.
  void setPictureWidth(int widthPx);

 signals:
  // The user chose an item; selectedColor() is already its colour.
  void colorClicked();

 private:
  ColorRef selectedColor_ = 0;
  int pictureWidth_ = kDefaultPictureWidthPx;
};

// Draws one entry: swatch (R.left, R.top + 2)-(R.left + PictureWidth,
// R.bottom - 2) where R is the item less 3 pixels each side, the name 3
// pixels after it, centred vertically and clipped at R's right edge.
class ColorItemDelegate : public QStyledItemDelegate {
 public:
  explicit ColorItemDelegate(ColorComboBox *box);
  void paint(QPainter *painter, const QStyleOptionViewItem &option,
             const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

 private:
  ColorComboBox *box_;
};

QColor ToQColor(ColorRef color);

}  // namespace scrivane
