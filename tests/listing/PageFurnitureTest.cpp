#include <gtest/gtest.h>

#include "format/FormatSettings.h"
#include "listing/PageFurniture.h"
#include "print/PageCanvas.h"
#include "print/VirtualPrinter.h"

using namespace scrivane;

namespace {

struct FurnitureRig {
  FurnitureRig() {
    canvas.SetPrinterMode(&surface);
    geometry = ComputePageGeometry(canvas, settings);
  }
  int Width(const QByteArray &text) {
    return printer.fixedMeasurer().textWidth(settings.HeaderFont(), text);
  }
  int Height() { return printer.fixedMeasurer().textHeight(settings.HeaderFont(), "X"); }
  QString Text(int x, int y, const QString &text) const {
    return QStringLiteral("text %1 %2 \"Arial\" 10 b0 c000000 '%3'").arg(x).arg(y).arg(text);
  }
  FormatSettings settings;
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas{printer};
  PageGeometry geometry;
  FurnitureTexts texts{"main.pas", "project.dpr", QDateTime(QDate(2026, 12, 6), QTime(14, 5))};
};

}  // namespace

TEST(PageFurniture, DateAndTimeTexts) {
  struct Row {
    QDateTime moment;
    const char *date;
    const char *dateTime;
  };
  const Row rows[] = {
      {QDateTime(QDate(2026, 12, 6), QTime(14, 5)), "6 December 2026", "12/06/26 02:05 pm"},
      {QDateTime(QDate(2001, 1, 31), QTime(0, 30)), "31 January 2001", "01/31/01 12:30 am"},
      {QDateTime(QDate(1999, 7, 4), QTime(12, 0)), "4 July 1999", "07/04/99 12:00 pm"},
      {QDateTime(QDate(2030, 5, 9), QTime(11, 59)), "9 May 2030", "05/09/30 11:59 am"},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(DateText(row.moment.date()), row.date);
    EXPECT_EQ(DateTimeText(row.moment), row.dateTime);
  }
  EXPECT_EQ(PageText(12), "Page 12");
}

TEST(PageFurniture, DoubleRuleUnderHeaderAndAboveFooter) {
  FurnitureRig rig;
  rig.settings.Border = 2;
  rig.settings.Line1B = 2;
  rig.settings.Line3C = 3;
  PageFurniture furniture(rig.canvas, rig.geometry, rig.settings, rig.texts);
  const PageGeometry &g = rig.geometry;
  int y = g.TopY;
  furniture.DrawPageHeader(12, y);
  const int firstRule = g.TopY + rig.Height();
  EXPECT_EQ(y, firstRule + 8 + 2 * g.LineStep);
  EXPECT_EQ(rig.surface.lines,
            (QStringList{rig.Text(5100 / 2 - rig.Width("main.pas") / 2, g.TopY, "main.pas"),
                         QStringLiteral("line %1 %2 %3 %2 w1 c000000 black")
                             .arg(g.LeftX)
                             .arg(firstRule)
                             .arg(g.RightX),
                         QStringLiteral("line %1 %2 %3 %2 w3 c000000 black")
                             .arg(g.LeftX)
                             .arg(firstRule + 8)
                             .arg(g.RightX)}));

  rig.surface.lines.clear();
  furniture.DrawPageFooter(12, y);
  const int footRule = 6600 - g.BottomMargin;
  ASSERT_EQ(rig.surface.lines.size(), 4);
  EXPECT_EQ(rig.surface.lines[1], QStringLiteral("line %1 %2 %3 %2 w3 c000000 black")
                                      .arg(g.LeftX)
                                      .arg(footRule + 8)
                                      .arg(g.RightX));
  // The footer row starts 16 below the first rule; "Page 12" ends at RightX.
  EXPECT_EQ(rig.surface.lines[2],
            rig.Text(g.RightX - rig.Width("Page 12"), footRule + 16, "Page 12"));
  EXPECT_EQ(rig.surface.lines[3], rig.Text(g.LeftX, footRule + 16, "Scrivane"));
}

TEST(PageFurniture, HeaderItemsByCode) {
  struct Row {
    int code;
    bool dateTimeItems;
    QByteArray expected;
  };
  const Row rows[] = {{0, true, ""},
                      {1, true, "project.dpr"},
                      {2, true, "main.pas"},
                      {3, true, "6 December 2026"},
                      {4, true, "12/06/26 02:05 pm"},
                      {4, false, ""},
                      {5, true, ""},
                      {-1, true, ""}};
  FurnitureRig rig;
  for (const Row &row : rows) {
    FurnitureVariant variant;
    variant.dateTimeItems = row.dateTimeItems;
    PageFurniture furniture(rig.canvas, rig.geometry, rig.settings, rig.texts, variant);
    EXPECT_EQ(furniture.HeaderItem(row.code), row.expected) << row.code;
  }
  PageFurniture furniture(rig.canvas, rig.geometry, rig.settings, rig.texts);
  EXPECT_EQ(furniture.FooterCentreItem(4, 3), "");
  EXPECT_EQ(furniture.FooterRightItem(3, 3), "Page 3");
  EXPECT_EQ(furniture.FooterRightItem(4, 3), "6 December 2026");
  EXPECT_EQ(furniture.FooterRightItem(5, 3), "12/06/26 02:05 pm");
}

TEST(PageFurniture, TitleBlockKeepsItsLabelsWhenFieldsAreEmpty) {
  FurnitureRig rig;
  rig.settings.Title1 = "Acme Ltd";
  PageFurniture furniture(rig.canvas, rig.geometry, rig.settings, rig.texts);
  int y = 900;
  furniture.DrawTitleBlock(y);
  const int h = rig.Height();
  const QStringList expected = {
      rig.Text(rig.geometry.LeftX, 900, "Acme Ltd"),
      rig.Text(2550, 900, "Designed By: "),
      rig.Text(2550, 900 + h, "Programming: "),
      rig.Text(2550, 900 + 2 * h, "Last Revision: "),
      rig.Text(2550, 900 + 3 * h, "Project File: project.dpr"),
      rig.Text(rig.geometry.LeftX, 900 + 4 * h, "Client: "),
      rig.Text(2550, 900 + 4 * h, "Unit File: main.pas"),
  };
  EXPECT_EQ(rig.surface.lines.mid(0, 7), expected);
  EXPECT_EQ(y, 900 + 5 * h + 2 * rig.geometry.LineStep);
}
