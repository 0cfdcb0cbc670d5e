#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "print/QPainterSurface.h"
#include "print/QtTextMeasurer.h"

using namespace scrivane;

// The preview maps a whole sheet onto a few hundred screen pixels; a rule of
// one printer pixel must still show as a dark screen pixel.
TEST(QPainterSurface, ThinLinesStayVisibleWhenTheSheetIsScaledDown) {
  QImage box(620, 877, QImage::Format_RGB32);
  box.fill(Qt::white);
  QtTextMeasurer measurer(600);
  {
    QPainter painter(&box);
    painter.setWindow(0, 0, 4958, 7017);
    painter.setViewport(0, 0, 620, 877);
    QPainterSurface surface(painter, measurer);
    surface.drawLine(400, 4000, 4500, 4000, PenSpec{});
  }
  const int row = 4000 * 877 / 7017;
  int darkest = 255;
  for (int y = row - 1; y <= row + 1; ++y) darkest = std::min(darkest, qGray(box.pixel(300, y)));
  EXPECT_LT(darkest, 100);
}

TEST(QPainterSurface, LinesKeepTheirWidthAtPrinterScale) {
  QImage sheet(200, 200, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QtTextMeasurer measurer(600);
  {
    QPainter painter(&sheet);
    QPainterSurface surface(painter, measurer);
    PenSpec thick;
    thick.width = 3;
    surface.drawLine(10, 100, 190, 100, thick);
  }
  int darkRows = 0;
  for (int y = 95; y <= 105; ++y)
    if (qGray(sheet.pixel(100, y)) < 128) ++darkRows;
  EXPECT_EQ(darkRows, 3);
}
