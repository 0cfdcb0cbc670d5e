// The colour combo box: its entries, the selection by colour, and an item
// as it is drawn.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "format/FormatSettings.h"
#include "widgets/ColorComboBox.h"

using namespace scrivane;

TEST(ColorComboBox, SixteenNamedColoursInTheOrderOfTheColourIndices) {
  ColorComboBox box;
  ASSERT_EQ(box.count(), 16);
  const char *const names[16] = {"Black", "Maroon",  "Green",  "Olive", "Navy", "Purple",
                                 "Teal",  "Gray",    "Silver", "Red",   "Lime", "Yellow",
                                 "Blue",  "Fuchsia", "Aqua",   "White"};
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(box.itemText(i), QString::fromLatin1(names[i]));
    EXPECT_EQ(box.ColorAt(i).color, ColorFromIndex(i));
  }
  EXPECT_EQ(box.currentIndex(), 0);  // black, the default colour
  box.setSelectedColor(0xC0C0C0);
  EXPECT_EQ(box.currentText(), QStringLiteral("Silver"));
  box.setSelectedColor(0x123456);
  EXPECT_EQ(box.currentIndex(), -1);
}

TEST(ColorComboBox, HooksChangeTheEntriesAndALaterEqualEntryWins) {
  ColorComboBox box;
  box.GetColor = [](int index, ColorRef &color, QString &name) {
    if (index == 12) color = 0x0000FF;  // a second red
    if (index == 17) name = QStringLiteral("Extra");
  };
  const struct {
    int count;
    int items;
  } rows[] = {{20, 20}, {0, 0}, {-3, 0}, {16, 16}};
  for (const auto &row : rows) {
    box.GetColorNum = [&row](int &count) { count = row.count; };
    box.FillList();
    EXPECT_EQ(box.count(), row.items) << row.count;
  }
  box.GetColorNum = [](int &count) { count = 20; };
  box.FillList();
  EXPECT_EQ(box.ColorAt(17), (ColorEntry{0, QStringLiteral("Extra")}));
  EXPECT_EQ(box.ColorAt(16), (ColorEntry{0, QString()}));
  box.setSelectedColor(0x0000FF);
  EXPECT_EQ(box.currentIndex(), 12);
  box.setSelectedColor(0x0000FF);
  box.FillList();
  EXPECT_EQ(box.currentIndex(), 12);

  bool clicked = false;
  QObject::connect(&box, &ColorComboBox::colorClicked, [&] { clicked = true; });
  box.setCurrentIndex(10);
  emit box.activated(10);
  EXPECT_TRUE(clicked);
  EXPECT_EQ(box.selectedColor(), 0x00FF00u);
}

TEST(ColorComboBox, AnItemIsDrawnWithItsSwatchAndItsNameAfterIt) {
  ColorComboBox box;
  ColorItemDelegate delegate(&box);
  for (int pictureWidth : {32, 0}) {
    box.setPictureWidth(pictureWidth);
    QImage image(120, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 120, 16);
    option.palette.setColor(QPalette::Base, Qt::white);
    option.palette.setColor(QPalette::Text, Qt::black);
    option.fontMetrics = box.fontMetrics();
    delegate.paint(&painter, option, box.model()->index(9, 0));  // Red
    painter.end();
    SCOPED_TRACE(pictureWidth);
    if (pictureWidth > 0) {
      EXPECT_EQ(QColor(image.pixel(15, 8)), QColor(255, 0, 0));
      EXPECT_EQ(QColor(image.pixel(3 + 31 - 2, 12)), QColor(255, 0, 0));
      EXPECT_EQ(QColor(image.pixel(15, 1)), QColor(Qt::white));
    }
    // The name starts 3 pixels after the swatch, or at 3 pixels without one.
    const int textStart = pictureWidth > 0 ? 3 + 32 + 3 : 3;
    int firstInk = -1;
    for (int x = pictureWidth > 0 ? 3 + 32 : 0; x < 120 && firstInk < 0; ++x)
      for (int y = 0; y < 16; ++y)
        if (qGray(image.pixel(x, y)) < 160) {
          firstInk = x;
          break;
        }
    EXPECT_GE(firstInk, textStart);
    EXPECT_LE(firstInk, textStart + 2);
  }
  EXPECT_EQ((ColorComboBox().pictureWidth()), 32);
  box.setPictureWidth(-5);
  EXPECT_EQ(box.pictureWidth(), 32);
}
