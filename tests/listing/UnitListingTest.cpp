// The unit listing on the virtual printer: positions are asserted exactly.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"
#include "listing/UnitListing.h"
#include "print/PageCanvas.h"
#include "print/PageGeometry.h"
#include "print/VirtualPrinter.h"
#include "project/ProjectModel.h"

using namespace scrivane;

namespace {

struct TextRecord {
  int x = 0, y = 0, style = 0;
  QString text;
};

// "text X Y "FACE" POINTS bSTYLE cCOLOR 'TEXT'"
std::vector<TextRecord> Texts(const QStringList &records) {
  static const QRegularExpression pattern(
      QStringLiteral("^text (-?\\d+) (-?\\d+) \"[^\"]*\" \\d+ b(\\d+) c\\w+ '(.*)'$"));
  std::vector<TextRecord> texts;
  for (const QString &record : records) {
    const auto match = pattern.match(record);
    if (match.hasMatch())
      texts.push_back({match.captured(1).toInt(), match.captured(2).toInt(),
                       match.captured(3).toInt(), match.captured(4)});
  }
  return texts;
}

class ListingRig {
 public:
  ListingRig() {
    settings.Left = 0;    // 0.75 in
    settings.Top = 0;     // 0.5 in
    settings.Bottom = 0;  // 0.75 in
    listing.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  }
  void Start(const QList<QByteArray> &lines,
             const QString &unitPath = QStringLiteral("/work/units/main.pas")) {
    model.CurrentUnitPath = unitPath;
    model.OpenedPath = QStringLiteral("/work/units/project.dpr");
    model.UnitHighlighted = true;
    listing.ResetListingState();
    model.ListingLines.clear();
    for (const QByteArray &line : lines) model.ListingLines << NormaliseLine(line).trimmed();
    listing.BeginPrint(info);
  }
  ListingPageInfo &Info() { return static_cast<ListingPageInfo &>(*info); }
  QStringList Page(int page) {
    RecordingSurface surface;
    PageCanvas canvas(printer);
    canvas.SetPrinterMode(&surface);
    info->PageNumber = page;
    listing.PrintPage(*info, canvas);
    return surface.lines;
  }
  PageGeometry Geometry() {
    PageCanvas canvas(printer);
    canvas.SetMeasureMode();
    return ComputePageGeometry(canvas, settings);
  }
  int Width(const FontSpec &font, const QString &text) {
    return printer.fixedMeasurer().textWidth(font, text.toLatin1());
  }

  ProjectModel model;
  FormatSettings settings;
  VirtualPrinter printer;
  UnitListing listing{model, settings};
  PageInfoPtr info;
};

QList<QByteArray> Statements(int count) {
  QList<QByteArray> lines;
  for (int k = 1; k <= count; ++k)
    lines << "x" + QByteArray::number(k) + " := " + QByteArray::number(k) + ";";
  return lines;
}

}  // namespace

TEST(UnitListing, LineNumbersEndThirtyLeftOfTheMargin) {
  ListingRig rig;
  rig.settings.LineNo = 1;
  rig.Start(Statements(12));
  const PageGeometry g = rig.Geometry();
  int expected = 1;
  for (const TextRecord &t : Texts(rig.Page(1))) {
    if (!t.text.endsWith(':')) continue;
    EXPECT_EQ(t.text, QString::number(expected) + ':');
    EXPECT_EQ(t.x + rig.Width(rig.settings.LineFont(), t.text), g.LeftX - 30)
        << t.text.toStdString();
    EXPECT_EQ(t.y, g.TopY + (expected - 1) * g.LineStep);
    ++expected;
  }
  EXPECT_EQ(expected, 13);
  EXPECT_TRUE(rig.Info().LastPage);
}

TEST(UnitListing, LongLineWrapsToTheLinesColumnWithTheNextNumber) {
  ListingRig rig;
  rig.settings.LineNo = 1;
  QByteArray longLine = "Total :=";
  for (int k = 0; k < 60; ++k) longLine += " Value" + QByteArray::number(k) + " +";
  longLine += " 1;";
  rig.Start({longLine, "y := 2;"});
  const PageGeometry g = rig.Geometry();
  const auto texts = Texts(rig.Page(1));
  QList<int> rowsWithWords;
  for (const TextRecord &t : texts) {
    if (t.x < g.LeftX) continue;  // a line number
    EXPECT_LE(t.x + rig.Width(rig.settings.BaseFont(), t.text.trimmed()), g.RightX)
        << t.text.toStdString();
    if (t.x == g.LeftX) rowsWithWords << t.y;
  }
  ASSERT_GE(rowsWithWords.size(), 3);  // two or more rows of the long line, then "y := 2;"
  for (int k = 1; k < rowsWithWords.size(); ++k)
    EXPECT_EQ(rowsWithWords[k], rowsWithWords[k - 1] + g.LineStep);
  // Every row carries its own number; "y" has the one after the last row.
  int numbers = 0;
  for (const TextRecord &t : texts) numbers += t.x < g.LeftX;
  EXPECT_EQ(numbers, rowsWithWords.size());
}

TEST(UnitListing, WordWiderThanTheTextAreaIsBrokenAcrossRows) {
  ListingRig rig;
  const QByteArray word = "s := '" + QByteArray(400, 'W') + "';";
  rig.Start({word});
  const PageGeometry g = rig.Geometry();
  QString printed;
  for (const TextRecord &t : Texts(rig.Page(1))) {
    EXPECT_LE(t.x + rig.Width(rig.settings.MessageFont(), t.text.trimmed()), g.RightX);
    EXPECT_GE(t.x, g.LeftX);
    if (t.text.contains('W')) printed += t.text.trimmed();
  }
  // The whole literal as written, not 80 characters.
  EXPECT_EQ(printed, "'" + QString(400, QLatin1Char('W')) + "'");
}

TEST(UnitListing, NewPageDirectiveEndsThePageAndTakesNoNumber) {
  ListingRig rig;
  rig.settings.LineNo = 1;
  rig.Start({"a;", "b;", "@@@@@", "c;"});
  const auto first = Texts(rig.Page(1));
  EXPECT_FALSE(rig.Info().LastPage);
  const auto second = Texts(rig.Page(2));
  EXPECT_TRUE(rig.Info().LastPage);
  const PageGeometry g = rig.Geometry();
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].text, QStringLiteral("3:"));
  EXPECT_EQ(second[1].text, QStringLiteral("c; "));
  EXPECT_EQ(second[1].y, g.TopY);
  for (const TextRecord &t : first) EXPECT_NE(t.text, QStringLiteral("@@@@@ "));
}

TEST(UnitListing, TitleBlockOnlyOnPageOneOfAWholeUnit) {
  ListingRig rig;
  rig.settings.Title = 1;
  rig.settings.Header = 1;
  rig.settings.Line1A = 2;
  rig.Start(Statements(150));
  auto hasText = [](const QStringList &records, const QString &text) {
    for (const TextRecord &t : Texts(records))
      if (t.text == text) return true;
    return false;
  };
  const QStringList page1 = rig.Page(1);
  EXPECT_TRUE(hasText(page1, QStringLiteral("Unit File: main.pas")));
  EXPECT_FALSE(hasText(page1, QStringLiteral("main.pas")));
  const QStringList page2 = rig.Page(2);
  EXPECT_FALSE(hasText(page2, QStringLiteral("Unit File: main.pas")));
  EXPECT_TRUE(hasText(page2, QStringLiteral("main.pas")));

  rig.Start(Statements(5));
  rig.listing.SelectedOnly = true;
  const QStringList selected = rig.Page(1);
  EXPECT_FALSE(hasText(selected, QStringLiteral("Unit File: main.pas")));
  EXPECT_TRUE(hasText(selected, QStringLiteral("main.pas")));
}

TEST(UnitListing, FooterTakesOneLineOffTheTextArea) {
  int linesOnPageOne[2] = {};
  for (int footer : {0, 1}) {
    ListingRig rig;
    rig.settings.Footer = footer;
    rig.Start(Statements(200));
    rig.Page(1);
    linesOnPageOne[footer] = rig.Info().PageStart(2);
  }
  EXPECT_EQ(linesOnPageOne[1], linesOnPageOne[0] - 1);
}

TEST(UnitListing, FormImageIsDrawnAtOneHundredPixelsPerInch) {
  QTemporaryDir dir;
  QImage image(400, 300, QImage::Format_RGB32);
  image.fill(Qt::white);
  ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("main.bmp")), "BMP"));
  ListingRig rig;
  rig.settings.PrintImage = 1;
  rig.Start({"a;"}, dir.filePath(QStringLiteral("main.pas")));
  const PageGeometry g = rig.Geometry();
  const QStringList page = rig.Page(1);
  EXPECT_TRUE(
      page.contains(QStringLiteral("image %1 %2 2400 1800 400x300").arg(g.LeftX).arg(g.TopY)));
  EXPECT_TRUE(page.contains(QStringLiteral("rect %1 %2 %3 %4 w8 c000000 clear")
                                .arg(g.LeftX)
                                .arg(g.TopY)
                                .arg(g.LeftX + 2400)
                                .arg(g.TopY + 1800)));
  const auto texts = Texts(page);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front().y, g.TopY + 1800 + 2 * g.LineStep);

  // A unit without an image takes no image space.
  rig.Start({"a;"}, dir.filePath(QStringLiteral("other.pas")));
  EXPECT_EQ(Texts(rig.Page(1)).front().y, g.TopY);
}

TEST(UnitListing, EndSemicolonIsInTheBaseFont) {
  ListingRig rig;
  rig.settings.RStyle = 1;  // reserved words bold
  rig.Start({"implementation", "procedure A;", "begin", "end;"});
  const auto texts = Texts(rig.Page(1));
  const TextRecord &end = texts[texts.size() - 2];
  const TextRecord &semicolon = texts.back();
  EXPECT_EQ(end.text, QStringLiteral("end"));
  EXPECT_EQ(end.style, StyleBold);
  EXPECT_EQ(semicolon.text, QStringLiteral(";"));
  EXPECT_EQ(semicolon.style, 0);
  EXPECT_EQ(semicolon.x, end.x + rig.Width(rig.settings.ReserveFont(), QStringLiteral("end")));
}

TEST(UnitListing, PageThatEndsWithTheLastLineIsTheLastPage) {
  ListingRig probe;
  probe.Start(Statements(400));
  probe.Page(1);
  const int capacity = probe.Info().PageStart(2);
  ASSERT_GT(capacity, 10);
  for (int lines : {capacity, capacity + 1}) {
    ListingRig rig;
    rig.Start(Statements(lines));
    rig.Page(1);
    EXPECT_EQ(rig.Info().LastPage, lines == capacity) << lines << " lines";
  }
}

TEST(UnitListing, PageDrawnAgainAfterLaterPagesIsIdentical) {
  QList<QByteArray> lines = {"unit Big;",    "interface", "type",          "TFoo = class",
                             "x : integer;", "end;",      "implementation"};
  for (int r = 0; r < 30; ++r) {
    lines << "procedure P" + QByteArray::number(r) + ";"
          << "begin"
          << "(* a comment that"
          << "runs on *)"
          << "if a then"
          << "repeat"
          << "b"
          << "until c;"
          << "try"
          << "d"
          << "except"
          << "e"
          << "end;"
          << "end;";
  }
  ListingRig rig;
  rig.settings.LineNo = 1;
  rig.settings.Blocks = 1;
  rig.settings.LineBetweenRoutines = 1;
  rig.settings.Header = 1;
  rig.settings.Footer = 1;
  rig.settings.Line3C = 3;
  rig.Start(lines);
  const QStringList third = rig.Page(3);
  EXPECT_EQ(rig.Page(3), third);
  rig.Page(5);
  rig.Page(1);
  EXPECT_EQ(rig.Page(3), third);
  EXPECT_TRUE(third.contains(
      QStringLiteral("text %1 %2 \"Arial\" 10 b0 c000000 'Page 3'")
          .arg(rig.Geometry().RightX - rig.Width(rig.settings.HeaderFont(), "Page 3"))
          .arg(6600 - rig.Geometry().BottomMargin - rig.Geometry().LineStep + 8)));
}

TEST(UnitListing, BlockOverAPageBreakContinuesOnTheNextPage) {
  QList<QByteArray> lines = {"implementation", "procedure A;", "begin"};
  lines << Statements(120) << "end;";
  ListingRig rig;
  rig.settings.Blocks = 1;
  rig.Start(lines);
  const PageGeometry g = rig.Geometry();
  const int q = g.IndentWidth / 4;
  const int x = g.LeftX + g.IndentWidth - 3 * q;
  const QStringList page1 = rig.Page(1);
  const int lastLineEnd = rig.Info().PageStart(2);
  // "begin" is on the fourth row: a blank row comes before the heading.
  const int beginMiddle = g.TopY + 3 * g.LineStep + g.LineStep / 2;
  EXPECT_TRUE(page1.contains(
      QStringLiteral("line %1 %2 %3 %2 w1 c000000").arg(x).arg(beginMiddle).arg(x + 2 * q)));
  const int bottom = g.TopY + (lastLineEnd + 1) * g.LineStep;
  EXPECT_TRUE(page1.contains(
      QStringLiteral("line %1 %2 %1 %3 w1 c000000").arg(x).arg(beginMiddle).arg(bottom)));

  QStringList last;
  int page = 2;
  do last = rig.Page(page++);
  while (!rig.Info().LastPage);
  const int endRow = g.TopY + (int(lines.size()) - rig.Info().PageStart(page - 1) - 1) * g.LineStep;
  const int endMiddle = endRow + g.LineStep / 2;
  EXPECT_TRUE(last.contains(
      QStringLiteral("line %1 %2 %1 %3 w1 c000000").arg(x).arg(g.TopY).arg(endMiddle)));
  EXPECT_TRUE(last.contains(
      QStringLiteral("line %1 %2 %3 %2 w1 c000000").arg(x).arg(endMiddle).arg(x + 2 * q)));
}

TEST(UnitListing, RoutineHeadingsGoToTheIndex) {
  ListingRig rig;
  rig.settings.LineNo = 1;
  rig.Start({"unit Main;", "implementation", "procedure TForm1.Go ( Sender : TObject );", "begin",
             "end;", "function Add ( a : integer ) : integer;", "begin", "end;"});
  rig.Page(1);
  EXPECT_EQ(rig.model.IndexEntries,
            (QList<QByteArray>{"Go (TForm1)%procedure%main.pas%1%5", "Add%function%main.pas%1%9"}));
}

// The index leads to a heading by its entry's number. A page laid out
// again (a preview going back) adds no entry and gives its headings the
// numbers they had.
TEST(UnitListing, APageLaidOutAgainKeepsItsHeadingsEntryNumbers) {
  class PlacesSurface : public RecordingSurface, public NavigationSink {
   public:
    NavigationSink *navigation() override { return this; }
    void documentStart(const QString &, const QString &, const QDateTime &) override {}
    void pageNumber(int) override {}
    void anchor(const QByteArray &key, int) override { keys << key; }
    void outlineEntry(const QString &, int) override {}
    void link(const QRect &, const QByteArray &) override {}
    QList<QByteArray> keys;
  };
  ListingRig rig;
  QList<QByteArray> lines = {"unit Main;", "implementation"};
  for (int k = 0; k < 90; ++k)
    lines << "procedure P" + QByteArray::number(k) + ";"
          << "begin"
          << "end;";
  rig.Start(lines);
  auto placesOn = [&rig](int page) {
    PlacesSurface surface;
    PageCanvas canvas(rig.printer);
    canvas.SetPrinterMode(&surface);
    rig.info->PageNumber = page;
    rig.listing.PrintPage(*rig.info, canvas);
    return surface.keys;
  };
  QList<QByteArray> inOrder;
  std::vector<QList<QByteArray>> pages;
  for (int page = 1; page <= 3; ++page) inOrder += pages.emplace_back(placesOn(page));
  ASSERT_FALSE(pages.back().isEmpty());
  for (qsizetype n = 0; n < inOrder.size(); ++n) EXPECT_EQ(inOrder[n], IndexEntryPlaceKey(n));
  EXPECT_EQ(rig.model.IndexEntries.size(), inOrder.size());
  const TextList entries = rig.model.IndexEntries;
  for (int page : {2, 1, 3}) EXPECT_EQ(placesOn(page), pages[size_t(page - 1)]) << page;
  EXPECT_EQ(rig.model.IndexEntries, entries);
}

TEST(UnitListing, SectionKeywordUnderlineStopsAtItsLastLetterInAnyCase) {
  struct Row {
    int reserve;
    QByteArray source;
    QString drawn;
  };
  const Row rows[] = {{0, "interface", "interface"},
                      {1, "interface", "INTERFACE"},
                      {1, "private", "PRIVATE"},
                      {0, "Implementation", "Implementation"},
                      {2, "Public", "public"}};
  for (const Row &row : rows) {
    ListingRig rig;
    rig.settings.Reserve = row.reserve;
    rig.Start({row.source});
    const auto texts = Texts(rig.Page(1));
    ASSERT_EQ(texts.size(), 1u) << row.source.constData();
    EXPECT_EQ(texts[0].text, row.drawn) << row.source.constData();
    EXPECT_EQ(texts[0].style & StyleUnderline, StyleUnderline) << row.source.constData();
  }
}

TEST(UnitListing, NestingDeeperThanThePageIsWideStaysOnThePaper) {
  QList<QByteArray> lines = {"implementation", "procedure A;"};
  constexpr int kLevels = 80;
  for (int k = 0; k < kLevels; ++k) lines << "begin";
  lines << "x := Compute ( 1, 2 );";
  for (int k = 0; k < kLevels; ++k) lines << "end;";
  ListingRig rig;
  rig.Start(lines);
  const PageGeometry g = rig.Geometry();
  int pages = 0;
  QStringList all;
  do all << rig.Page(++pages);
  while (!rig.Info().LastPage && pages < 100);
  EXPECT_TRUE(rig.Info().LastPage);
  for (const TextRecord &t : Texts(all)) {
    EXPECT_LT(t.x, g.RightX) << t.text.toStdString();
    EXPECT_LT(t.y, 6600) << t.text.toStdString();
  }
  // The deep statement keeps its words together on one row.
  int statementRows = 0;
  for (const TextRecord &t : Texts(all)) statementRows += t.text == QStringLiteral("x ");
  EXPECT_EQ(statementRows, 1);
}

TEST(UnitListing, ContinuationRowThatDoesNotFitMovesToTheNextPage) {
  // The long line starts on the last row of page 1; its rows after the first
  // go to page 2, below the header, numbered on, never over the footer.
  ListingRig probe;
  probe.settings.Footer = probe.settings.Header = 1;
  probe.Start(Statements(400));
  probe.Page(1);
  const int capacity = probe.Info().PageStart(2);
  QByteArray longLine = "Total :=";
  for (int k = 0; k < 60; ++k) longLine += " Value" + QByteArray::number(k) + " +";
  longLine += " '" + QByteArray(300, 'W') + "';";  // a broken word among the carried rows
  QList<QByteArray> lines = Statements(capacity - 1);
  lines << longLine << "y := 2;";

  ListingRig rig;
  rig.settings.Footer = rig.settings.Header = rig.settings.LineNo = 1;
  rig.Start(lines);
  const PageGeometry g = rig.Geometry();
  const int footerRule = 6600 - g.BottomMargin - g.LineStep;
  const int rowHeight = probe.printer.fixedMeasurer().textHeight(rig.settings.BaseFont(), "X");
  QString words;
  QStringList numbers;
  int firstBodyRowOfPage2 = 0;
  for (int page = 1; page <= 2; ++page) {
    for (const TextRecord &t : Texts(rig.Page(page))) {
      const bool body = t.text.startsWith("Value") || t.text.contains('W') ||
                        t.text.endsWith(':') || t.text.startsWith("y ") ||
                        t.text.startsWith("Total");
      if (!body) continue;
      EXPECT_LE(t.y + rowHeight, footerRule) << "page " << page << ": " << t.text.toStdString();
      if (t.text.endsWith(':'))
        numbers << t.text;
      else
        words += t.text.trimmed() + ' ';
      if (page == 2 && firstBodyRowOfPage2 == 0) firstBodyRowOfPage2 = t.y;
    }
    EXPECT_EQ(rig.Info().LastPage, page == 2);
  }
  QString expected = "Total";
  for (int k = 0; k < 60; ++k) expected += "Value" + QString::number(k);
  EXPECT_EQ(words.remove(' '), expected + "'" + QString(300, 'W') + "'y");
  // Below the header of page 2, where a line would start.
  const int headerBottom =
      g.TopY + probe.printer.fixedMeasurer().textHeight(rig.settings.HeaderFont(), "X") +
      2 * g.LineStep;
  EXPECT_EQ(firstBodyRowOfPage2, headerBottom);
  for (int k = 0; k < numbers.size(); ++k) EXPECT_EQ(numbers[k], QString::number(k + 1) + ':');
}

TEST(UnitListing, StringLongerThanAPageRunsOnOverSeveralPages) {
  ListingRig probe;
  probe.settings.Footer = 1;
  probe.Start(Statements(400));
  probe.Page(1);
  QList<QByteArray> lines = Statements(probe.Info().PageStart(2) - 1);
  lines << "s := '" + QByteArray(20000, 'W') + "';"
        << "y := 2;";
  ListingRig rig;
  rig.settings.Footer = 1;
  rig.Start(lines);
  const int footerRule = 6600 - rig.Geometry().BottomMargin - rig.Geometry().LineStep;
  const int rowHeight = probe.printer.fixedMeasurer().textHeight(rig.settings.BaseFont(), "X");
  qsizetype printed = 0;
  int page = 0;
  do {
    for (const TextRecord &t : Texts(rig.Page(++page))) {
      if (t.text.contains('W')) printed += t.text.trimmed().size();
      if (t.text.contains('W') || t.text.startsWith("y ")) {
        EXPECT_LE(t.y + rowHeight, footerRule) << page;
      }
    }
  } while (!rig.Info().LastPage && page < 50);
  EXPECT_EQ(printed, 20002);  // with its quotes
  EXPECT_GE(page, 3);
}

// The words of a line are cut afresh on each page it runs over: the rest of
// a routine name broken across pages must keep the name's upper case.
TEST(UnitListing, RoutineNameBrokenAcrossPagesKeepsItsCase) {
  ListingRig rig;
  rig.settings.Bold = 1;
  rig.settings.UpperCaseRoutineNames = 1;
  rig.Start({"unit u;", "interface", "implementation", "procedure " + QByteArray(20000, 'w') + ";",
             "begin", "end;", "end."});
  qsizetype upper = 0, lower = 0;
  int page = 0;
  do {
    for (const TextRecord &t : Texts(rig.Page(++page))) {
      upper += t.text.count('W');
      lower += t.text.count('w');
    }
  } while (!rig.Info().LastPage && page < 50);
  EXPECT_EQ(upper, 20000);
  EXPECT_EQ(lower, 0);
  EXPECT_GE(page, 3);
}
