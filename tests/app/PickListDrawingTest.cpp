// The pick list's drawing, grabbed offscreen with a fixed font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "widgets/PickList.h"

using namespace scrivane;

namespace {

struct DrawnList {
  PickList list;
  explicit DrawnList(const QStringList &items) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    list.setFont(font);
    list.setSelectionMode(QAbstractItemView::MultiSelection);
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

}  // namespace

TEST(PickListDrawing, QtDrawsUntilTheOwnersDelegateIsSetAndAgainWithoutOne) {
  DrawnList d({QStringLiteral("one")});
  d.list.item(0)->setSelected(true);
  const QStyledItemDelegate *standard = qobject_cast<QStyledItemDelegate *>(d.list.itemDelegate());
  ASSERT_NE(standard, nullptr);
  // Qt shows the selection as a highlighted background.
  const QImage image = d.Grab();
  EXPECT_NE(image.pixel(d.Row(0).right() - 2, d.Row(0).center().y()),
            d.list.palette().color(QPalette::Base).rgb());
  auto *owner = new QStyledItemDelegate(&d.list);
  d.list.setOwnerDelegate(owner);
  EXPECT_EQ(d.list.itemDelegate(), owner);
  d.list.setOwnerDelegate(nullptr);
  EXPECT_EQ(d.list.itemDelegate(), standard);
}
