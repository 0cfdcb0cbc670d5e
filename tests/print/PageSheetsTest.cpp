// Two and four pages on a sheet: where each page goes, on the virtual
// printer's record and in the PDF as poppler reads it back.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>

#include "TestDocument.h"
#include "print/PageSheets.h"
#include "print/PdfPrintTarget.h"
#include "print/VirtualPrinter.h"
#include "support/RunTool.h"

using namespace scrivane;
using printtest::NumberedDocument;
using testsupport::RunTool;

namespace {

// Five pages on Letter (5100 x 6600 px): the places each sheet gives them,
// in the order the pages fill it.
TEST(PageSheets, PagesTakeTheirPlacesSheetBySheet) {
  struct Row {
    int perSheet;
    QStringList places;  // "place SCALE X Y" of pages 1.. on the first sheet
    int sheets;
  };
  const Row rows[] = {
      {1, {}, 5},
      // Side by side on the turned sheet (6600 x 5100): each half is 3300
      // wide, so the page is scaled to 3300 / 5100 and centred in height.
      {2, {"place 0.6471 0.0 414.7", "place 0.6471 3300.0 414.7"}, 3},
      {4,
       {"place 0.5000 0.0 0.0", "place 0.5000 2550.0 0.0", "place 0.5000 0.0 3300.0",
        "place 0.5000 2550.0 3300.0"},
       2},
      {3, {}, 5},  // not a layout a sheet takes: one page a sheet
  };
  for (const Row &row : rows) {
    VirtualPrinter printer;
    VirtualPrintTarget virtualTarget(printer);
    SheetTarget sheets(virtualTarget, row.perSheet);
    NumberedDocument doc;
    doc.pages = 5;
    RunPrint(doc.events(), sheets, PageRange{});
    EXPECT_EQ(virtualTarget.sheets + 1, row.sheets) << row.perSheet;
    const QStringList places = virtualTarget.lines().filter(QRegularExpression("^place "));
    EXPECT_EQ(places.mid(0, row.places.size()), row.places) << row.perSheet;
    // Every page is placed once, and a new sheet starts with its first place.
    EXPECT_EQ(places.size(), row.places.isEmpty() ? 0 : 5) << row.perSheet;
    const QStringList lines = virtualTarget.lines();
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
      if (lines[i] == "sheet" && !row.places.isEmpty()) EXPECT_EQ(lines[i + 1], row.places.first());
    // The pages are laid out as on a sheet of their own.
    EXPECT_EQ(sheets.device().metrics(), printer.metrics());

    // The preview pages through sheets as pages of their own: the same
    // drawing, sheet for sheet.
    VirtualPrintTarget asPages(printer);
    NumberedDocument again;
    again.pages = 5;
    const PrintOutcome outcome =
        RunPrint(SheetsOf(again.events(), row.perSheet, QSize(5100, 6600)), asPages, PageRange{});
    EXPECT_EQ(outcome.PagesPrinted, row.sheets) << row.perSheet;
    EXPECT_EQ(asPages.lines(), virtualTarget.lines()) << row.perSheet;
  }
}

// In the PDF each page is one form placed on the sheet: the text of page p
// is found, still as words, where its place and the scale put it.
TEST(PageSheets, PdfPagesAreScaledFormsWhoseTextStaysText) {
  for (const int perSheet : {2, 4}) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sheets.pdf");
    PdfPrintTarget pdf(path, PaperSize::A4);
    pdf.setLandscapeSheets(SheetIsLandscape(perSheet));
    SheetTarget sheets(pdf, perSheet);
    NumberedDocument doc;
    doc.pages = 6;
    ASSERT_EQ(RunPrint(doc.events(), sheets, PageRange{}).PagesPrinted, 6);

    const QString info = RunTool("pdfinfo", {path});
    const int sheetCount = (6 + perSheet - 1) / perSheet;
    EXPECT_TRUE(info.contains(QRegularExpression(QString("Pages:\\s+%1\\n").arg(sheetCount))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(perSheet == 2 ? "842 x 595" : "595 x 842")) << info.toStdString();
    const QString raw = RunTool("qpdf", {"--qdf", "--object-streams=disable", path, "-"});
    EXPECT_EQ(raw.count("/Subtype /Form"), 6) << perSheet;

    const QList<PagePlacement> places = PlacePagesOnSheet(perSheet, QSize(4958, 7017));
    const QString html = RunTool("pdftotext", {"-bbox", path, "-"});
    const QStringList pages = html.split("<page ").mid(1);
    ASSERT_EQ(pages.size(), sheetCount);
    for (int p = 1; p <= 6; ++p) {
      const PagePlacement &place = places[(p - 1) % perSheet];
      const QRegularExpression word(
          QString(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>%1</word>)re").arg(p));
      const auto match = word.match(pages[(p - 1) / perSheet]);
      ASSERT_TRUE(match.hasMatch()) << "page " << p << " of " << perSheet;
      // "Page " is drawn at (600 + 10 p, 450); the number follows it.
      const double pageX = (place.x + (600 + 10 * p) * place.scale) * 72 / 600;
      EXPECT_GT(match.captured(1).toDouble(), pageX) << p;
      EXPECT_LT(match.captured(1).toDouble(), pageX + 40 * place.scale) << p;
      EXPECT_NEAR(match.captured(2).toDouble(), (place.y + 450 * place.scale) * 72 / 600, 1.0) << p;
    }
  }
}

}  // namespace
