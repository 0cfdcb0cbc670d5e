// The pick list's own drawings, grabbed offscreen with a fixed font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "widgets/PickList.h"

using namespace scrivane;

namespace {

struct DrawnList {
  PickList list;
  explicit DrawnList(SelectedStyle style, const QStringList &items) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    list.setFont(font);
    list.setSelectionMode(QAbstractItemView::MultiSelection);
    list.setSelectedStyle(style);
    list.addItems(items);
    list.resize(300, 200);
    // The focus mark round the current row is not what these rows measure.
    list.setFocusPolicy(Qt::NoFocus);
    list.show();
    QApplication::processEvents();
  }
  QImage Grab() { return list.viewport()->grab().toImage(); }
  QRect Row(int row) { return list.visualItemRect(list.item(row)); }
};

bool Dark(const QImage &image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

// Leftmost inked column of a row right of `fromX`, -1 when none.
int FirstInk(const QImage &image, const QRect &row, int fromX) {
  for (int x = fromX; x < image.width(); ++x)
    for (int y = row.top(); y <= row.bottom(); ++y)
      if (Dark(image, x, y)) return x;
  return -1;
}

}  // namespace

TEST(PickListDrawing, BoldTextKeepsTabColumnsOfSelectedRowsInLine) {
  DrawnList d(SelectedStyle::BoldText, {QStringLiteral("\tMMMM"), QStringLiteral("\tMMMM")});
  ASSERT_TRUE(d.list.setTabStopsText(QStringLiteral("12")).isEmpty());
  d.list.item(0)->setSelected(true);
  const QImage image = d.Grab();
  const int selected = FirstInk(image, d.Row(0), 3);
  const int plain = FirstInk(image, d.Row(1), 3);
  ASSERT_GT(plain, 0);
  // A bold glyph may start one pixel apart; a column measured in the bold
  // font moved twelve average widths of difference.
  EXPECT_LE(std::abs(selected - plain), 1) << selected << " vs " << plain;
  // The selection shows in the face only, never as a highlighted background.
  EXPECT_EQ(image.pixel(d.Row(0).right() - 2, d.Row(0).center().y()),
            d.list.palette().color(QPalette::Base).rgb());
}

TEST(PickListDrawing, CheckboxBoxAndCrossEndWhereAGdiRectangleDoes) {
  DrawnList d(SelectedStyle::Checkbox, {QStringLiteral("first"), QStringLiteral("second")});
  d.list.item(0)->setSelected(true);
  const QImage image = d.Grab();
  for (int row : {0, 1}) {
    const QRect r = d.Row(row);
    const int h = r.height();
    SCOPED_TRACE(row);
    // Outline from (2, 1) to (h - 1, h - 2) inclusive, nothing beyond.
    EXPECT_TRUE(Dark(image, 2, r.top() + 1));
    EXPECT_TRUE(Dark(image, h - 1, r.top() + 1));
    EXPECT_TRUE(Dark(image, 2, r.top() + h - 2));
    EXPECT_TRUE(Dark(image, h - 1, r.top() + h - 2));
    EXPECT_FALSE(Dark(image, h, r.top() + h / 2));
    EXPECT_FALSE(Dark(image, h / 2, r.top() + h - 1));
    // The cross only on the selected row; the text after the box.
    const int middle = (2 + h - 1) / 2;
    EXPECT_EQ(Dark(image, middle, r.top() + 1 + (middle - 2)), row == 0);
    EXPECT_GE(FirstInk(image, r, h + 1), h + 4);
  }
}

TEST(PickListDrawing, UnusableTabStopsAreNotDrawnAt) {
  const struct {
    QList<int> stops;
    QList<qreal> pixels;
  } rows[] = {
      {{8, 16, 24}, {48, 96, 144}},
      {{0, 8, 4, 12}, {48, 72}},
      {{-3}, {}},
      {{}, {}},
  };
  for (const auto &row : rows) EXPECT_EQ(TabPixelPositions(row.stops, 6), row.pixels);
}

TEST(PickListDrawing, StandardStyleLetsQtDrawAndOwnerDrawComesBack) {
  DrawnList d(SelectedStyle::Standard, {QStringLiteral("one")});
  d.list.item(0)->setSelected(true);
  QImage image = d.Grab();
  EXPECT_NE(image.pixel(d.Row(0).right() - 2, d.Row(0).center().y()),
            d.list.palette().color(QPalette::Base).rgb());
  auto *owner = new QStyledItemDelegate(&d.list);
  d.list.setOwnerDelegate(owner);
  d.list.setSelectedStyle(SelectedStyle::OwnerDraw);
  EXPECT_EQ(d.list.itemDelegate(), owner);
  d.list.setSelectedStyle(SelectedStyle::BoldText);
  image = d.Grab();
  EXPECT_EQ(image.pixel(d.Row(0).right() - 2, d.Row(0).center().y()),
            d.list.palette().color(QPalette::Base).rgb());
}
