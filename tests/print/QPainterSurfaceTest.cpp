#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

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

// Greek and Cyrillic words are drawn from the font's glyph table, without
// shaping: the preview shows them exactly as Qt's own text drawing does.
TEST(QPainterSurface, LettersPlacedWithoutShapingLookAsQtDrawsThem) {
  QtTextMeasurer measurer(600);
  const FontSpec font{QStringLiteral("Arial"), 10, StyleItalic, 0};
  const QByteArray word =
      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1";
  ASSERT_NE(measurer.layOutSimply(font, word), nullptr);
  QImage ours(1200, 200, QImage::Format_RGB32), qts(1200, 200, QImage::Format_RGB32);
  ours.fill(Qt::white);
  qts.fill(Qt::white);
  {
    QPainter painter(&ours);
    QPainterSurface surface(painter, measurer);
    surface.drawTextIn(20, 40, font, word, TextEncoding::Utf8);
    surface.flush();
  }
  {
    QPainter painter(&qts);
    painter.setFont(measurer.cachedFont(font));
    painter.setPen(Qt::black);
    painter.drawText(QPoint(20, 40 + measurer.ascent(font)), QString::fromUtf8(word));
  }
  int differing = 0, inked = 0;
  for (int y = 0; y < ours.height(); ++y)
    for (int x = 0; x < ours.width(); ++x) {
      if (qGray(qts.pixel(x, y)) < 128) ++inked;
      if (std::abs(qGray(ours.pixel(x, y)) - qGray(qts.pixel(x, y))) > 64) ++differing;
    }
  EXPECT_GT(inked, 500);
  EXPECT_LT(differing, inked / 50) << "of " << inked << " inked pixels";
}

// An underline runs under its own words: Qt's glyph-run underline started at
// the run's origin, the sheet's corner, and stopped short of the last word.
TEST(QPainterSurface, UnderlineSpansItsWordsOnly) {
  QtTextMeasurer measurer(600);
  const FontSpec font{QStringLiteral("Arial"), 10, StyleUnderline, 0};
  QImage sheet(1400, 200, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  {
    QPainter painter(&sheet);
    QPainterSurface surface(painter, measurer);
    surface.drawText(300, 20, font, "interface");
    surface.flush();
  }
  const int width = measurer.textWidth(font, "interface");
  const int below = 20 + measurer.ascent(font) + 1;  // just under the baseline
  auto inkAt = [&](int x) {
    for (int y = below; y < below + 20; ++y)
      if (qGray(sheet.pixel(x, y)) < 128) return true;
    return false;
  };
  EXPECT_FALSE(inkAt(100));
  EXPECT_FALSE(inkAt(290));
  EXPECT_TRUE(inkAt(305));
  EXPECT_TRUE(inkAt(300 + width - 5));
  EXPECT_FALSE(inkAt(300 + width + 15));
}

// No oblique face here has Arabic: the preview drew an italic comment's
// Arabic as boxes. It draws it as the upright font does, shaped.
TEST(QPainterSurface, ArabicInAnItalicFontIsDrawnAsTheUprightFontDrawsIt) {
  QtTextMeasurer measurer(600);
  const QByteArray word = QString::fromUtf8("العربية مرحبا").toUtf8();
  auto draw = [&](int style) {
    QImage sheet(1600, 200, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    QPainterSurface surface(painter, measurer);
    surface.drawTextIn(20, 40, FontSpec{QStringLiteral("Arial"), 10, style, 0}, word,
                       TextEncoding::Utf8);
    surface.flush();
    painter.end();
    return sheet;
  };
  const QImage upright = draw(0), italic = draw(StyleItalic);
  int dark = 0;
  for (int y = 0; y < upright.height(); ++y)
    for (int x = 0; x < upright.width(); ++x) dark += qGray(upright.pixel(x, y)) < 128;
  EXPECT_GT(dark, 100);
  EXPECT_EQ(italic, upright);
}
