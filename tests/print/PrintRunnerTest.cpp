#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "TestDocument.h"
#include "platform/Text1252.h"
#include "print/PageCanvas.h"
#include "print/PrintRunner.h"
#include "print/QtTextMeasurer.h"
#include "print/VirtualPrinter.h"
#include "print/ZoomOptions.h"

using namespace scrivane;
using printtest::FlowDocument;
using printtest::NumberedDocument;

namespace {
// The status window as the run sees it; a Cancel click is modelled as
// arriving while the events of a given page are processed.
struct RecordedProgress : PrintProgress {
  QStringList jobTexts;
  QList<int> pageTexts;
  int processed = 0;
  int cancelAtProcess = 0;  // the click arrives during this call
  bool cancelled = false;
  int finished = 0;
  void SetJobText(const QString &text) override { jobTexts << text; }
  void SetPageText(int page) override { pageTexts << page; }
  void ProcessEvents() override {
    if (++processed == cancelAtProcess) cancelled = true;
  }
  bool Cancelled() const override { return cancelled; }
  void Finish() override { ++finished; }
};

QStringList TextLines(const QStringList &lines) {
  return lines.filter(QRegularExpression("^text "));
}
}  // namespace

TEST(PrintRunner, DirectPrintPrintsEveryPageOnItsOwnSheet) {
  for (int pages : {1, 2, 7}) {
    NumberedDocument doc;
    doc.pages = pages;
    VirtualPrinter printer;
    VirtualPrintTarget target(printer);
    const PrintOutcome outcome = RunPrint(doc.events(), target, PageRange{});
    EXPECT_EQ(outcome.PagesPrinted, pages);
    EXPECT_EQ(target.sheets, pages - 1) << "a new sheet only between pages";
    EXPECT_EQ(target.lines().first(), "begin 'numbered.pas'");
    EXPECT_EQ(target.lines().last(), "end");
    EXPECT_EQ(TextLines(target.lines()).size(), pages);
    EXPECT_EQ(doc.begins, 1);
    EXPECT_EQ(doc.ends, 1);
  }
}

TEST(PrintRunner, RangeThreeToFourPaginatesOneAndTwoFirst) {
  NumberedDocument doc;
  doc.pages = 9;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  RecordedProgress progress;
  const PrintOutcome outcome = RunPrint(doc.events(), target, PageRange{3, 4}, &progress);
  EXPECT_EQ(outcome.PagesPrinted, 2);
  EXPECT_EQ(doc.pagesRun, (QList<int>{1, 2, 3, 4}));
  EXPECT_EQ(doc.modes, (QList<CanvasMode>{CanvasMode::Measure, CanvasMode::Measure,
                                          CanvasMode::Printer, CanvasMode::Printer}));
  EXPECT_EQ(progress.jobTexts, (QStringList{"Initializing", "Paginating Page 1",
                                            "Paginating Page 2", "numbered.pas"}));
  EXPECT_EQ(progress.pageTexts, (QList<int>{3, 4}));
  const QStringList expected = {
      "begin 'numbered.pas'",
      "text 630 450 \"Arial\" 12 b0 c000000 'Page 3'",
      "line 600 6000 4000 6000 w1 c000000",
      "sheet",
      "text 640 450 \"Arial\" 12 b0 c000000 'Page 4'",
      "line 600 6000 4000 6000 w1 c000000",
      "end",
  };
  EXPECT_EQ(target.lines(), expected);
  EXPECT_EQ(progress.finished, 1);
}

TEST(PrintRunner, RangeBeyondTheLastPagePrintsNothing) {
  NumberedDocument doc;
  doc.pages = 2;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  const PrintOutcome outcome = RunPrint(doc.events(), target, PageRange{5, 6});
  EXPECT_TRUE(outcome.RangeBeyondEnd);
  EXPECT_EQ(outcome.LastPage, 2);
  EXPECT_EQ(outcome.PagesPrinted, 0);
  EXPECT_TRUE(target.lines().isEmpty()) << "no document is begun";
  EXPECT_EQ(doc.ends, 1);
}

TEST(PrintRunner, CancelDuringPageFiveAbortsBeforeItIsSent) {
  NumberedDocument doc;
  doc.pages = 9;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  RecordedProgress progress;
  progress.cancelAtProcess = 5;
  const PrintOutcome outcome = RunPrint(doc.events(), target, PageRange{}, &progress);
  EXPECT_TRUE(outcome.Cancelled);
  EXPECT_EQ(outcome.PagesPrinted, 4);
  EXPECT_EQ(doc.pagesRun, (QList<int>{1, 2, 3, 4}));
  EXPECT_EQ(target.lines().last(), "abort");
  EXPECT_FALSE(target.lines().contains("end"));
  EXPECT_EQ(doc.ends, 1) << "the end event still runs";
  EXPECT_EQ(progress.finished, 1);
}

TEST(PrintRunner, MissingEventsRaiseTheirMessages) {
  struct Row {
    const char *missing;
    const char *message;
    bool documentBegun;
  };
  const Row rows[] = {
      {"begin", "Begin Print Function Not Assigned!", false},
      {"page", "Print Page Function Not Assigned!", false},
      {"end", "End Print Function Not Assigned!", true},
  };
  for (const Row &row : rows) {
    NumberedDocument doc;
    PrintEvents events = doc.events();
    if (QByteArray(row.missing) == "begin") events.OnBeginPrint = nullptr;
    if (QByteArray(row.missing) == "page") events.OnPrintPage = nullptr;
    if (QByteArray(row.missing) == "end") events.OnEndPrint = nullptr;
    VirtualPrinter printer;
    VirtualPrintTarget target(printer);
    try {
      RunPrint(events, target, PageRange{});
      ADD_FAILURE() << row.missing << ": no exception";
    } catch (const PrintException &e) {
      EXPECT_STREQ(e.what(), row.message);
    }
    EXPECT_EQ(!target.lines().isEmpty(), row.documentBegun) << row.missing;
    if (row.documentBegun) {
      EXPECT_EQ(target.lines().last(), "end") << "raised after the document ended";
    }
  }
}

TEST(PrintRunner, FailingPageHandlerAbortsTheDocumentThenPassesTheError) {
  NumberedDocument doc;
  doc.pages = 5;
  doc.throwOnPage = 3;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  RecordedProgress progress;
  EXPECT_THROW(RunPrint(doc.events(), target, PageRange{}, &progress), std::runtime_error);
  EXPECT_EQ(target.lines().last(), "abort");
  EXPECT_EQ(progress.finished, 1)
      << "the status window is closed before the error reaches the user";
  EXPECT_EQ(doc.ends, 0);
}

TEST(PrintRunner, TargetThatCannotBeginGivesItsMessage) {
  NumberedDocument doc;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  target.failText = QStringLiteral("Cannot write the file /nowhere/x.pdf.");
  try {
    RunPrint(doc.events(), target, PageRange{});
    ADD_FAILURE() << "no exception";
  } catch (const PrintException &e) {
    EXPECT_STREQ(e.what(), "Cannot write the file /nowhere/x.pdf.");
  }
  EXPECT_TRUE(doc.pagesRun.isEmpty());
}

// Any page can be drawn first: the replay lays out the pages before it
// without drawing, and the result equals the page drawn in order.
TEST(PrintRunner, ReplayDrawsPageSevenFirstAndPageThreeAfterAsInOrder) {
  FlowDocument doc(120);
  VirtualPrinter printer;
  auto drawPage = [&](ListingPageInfo &info, int page) {
    RecordingSurface surface;
    PageCanvas canvas(printer);
    canvas.SetPrinterMode(&surface);
    info.PageNumber = page;
    doc.PrintPage(info, canvas);
    EXPECT_EQ(canvas.Mode, CanvasMode::Printer);
    EXPECT_TRUE(info.Drawing);
    return surface.lines;
  };
  ListingPageInfo inOrder;
  QList<QStringList> pages;
  for (int p = 1; p <= 7; ++p) pages << drawPage(inOrder, p);
  ASSERT_FALSE(inOrder.LastPage) << "the document must be longer than seven pages";

  ListingPageInfo outOfOrder;
  EXPECT_EQ(drawPage(outOfOrder, 7), pages[6]);
  EXPECT_EQ(outOfOrder.PageNumber, 7);
  EXPECT_EQ(drawPage(outOfOrder, 3), pages[2]);
  EXPECT_FALSE(pages[6].isEmpty());
}

TEST(PrintRunner, ReplayPastTheEndShowsTheLastPage) {
  FlowDocument doc(30);
  VirtualPrinter printer;
  ListingPageInfo info;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  info.PageNumber = 999;
  doc.PrintPage(info, canvas);
  EXPECT_TRUE(info.LastPage);
  EXPECT_LT(info.PageNumber, 999);
  EXPECT_TRUE(surface.lines.last().endsWith("'line 30'"));
}

TEST(ZoomOptions, SettersClamp) {
  struct Row {
    int value;
    int min, max, step;
  };
  const Row rows[] = {
      {0, 1, 100, 0},          {-3, 1, 100, 0}, {150, 100, 150, 150}, {50, 50, 100, 50},
      {6000, 100, 5000, 5000}, {-5, 1, 100, 0}, {100, 100, 100, 100}, {5000, 100, 5000, 5000},
  };
  for (const Row &row : rows) {
    ZoomLimits zoom;
    zoom.SetMinZoom(row.value);
    zoom.SetMaxZoom(row.value);
    zoom.SetZoomStep(row.value);
    EXPECT_EQ(zoom.MinZoom(), row.min) << row.value;
    EXPECT_EQ(zoom.MaxZoom(), row.max) << row.value;
    EXPECT_EQ(zoom.ZoomStep(), row.step) << row.value;
    const ZoomLimits copy = zoom;
    EXPECT_EQ(copy.MinZoom(), row.min);
  }
}

TEST(PrintRunner, ReplayThatRaisesLeavesTheRecordDrawing) {
  FlowDocument doc(120);
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  ListingPageInfo info;
  info.PageNumber = 5;
  int runs = 0;
  EXPECT_THROW(ReplayEarlierPages(info, canvas,
                                  [&](ListingPageInfo &i, PageCanvas &c) {
                                    if (++runs == 3) throw std::runtime_error("bad page");
                                    doc.PrintPage(i, c);
                                  }),
               std::runtime_error);
  EXPECT_TRUE(info.Drawing);
  EXPECT_EQ(info.PageNumber, 5);
  EXPECT_EQ(canvas.Mode, CanvasMode::Printer);
}

// The advances are summed unrounded (in 1/64 pixel, as Qt lays out text)
// and the sum is rounded once.
TEST(TextMeasurer, StringAdvanceIsTheSumOfCachedCharacterAdvances) {
  QtTextMeasurer measurer(600);
  const FontSpec fonts[] = {FontSpec{},
                            FontSpec{QStringLiteral("Arial"), 12, StyleBold | StyleItalic, 0},
                            FontSpec{QStringLiteral("Courier New"), 9, 0, 0}};
  for (const FontSpec &font : fonts) {
    // Qt draws 10 pt at 600 dpi with an 83-pixel font.
    EXPECT_EQ(measurer.qfont(font).pixelSize(), qRound(font.pointSize * 600 / 72.0));
    const QByteArray text = "procedure TForm1.Button1Click(Sender: TObject); \xE9\x80";
    long long sum64 = 0;
    for (char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      sum64 += measurer.charAdvance64(font, byte);
      EXPECT_EQ(measurer.charWidth(font, byte), measurer.textWidth(font, QByteArray(1, c)));
    }
    EXPECT_EQ(measurer.textWidth(font, text), int((sum64 + 32) / 64)) << font.face.toStdString();
    EXPECT_EQ(measurer.textWidth(font, text), measurer.textWidth(font, text));
    EXPECT_GT(measurer.textHeight(font, "X"), measurer.ascent(font));
  }
  EXPECT_EQ(Decode1252("\x80\xE9"), QString::fromUtf8("\u20AC\u00E9"));
}

// The canvas sums a word's advances itself from the measurer's table for
// its font, and the measurer checks UTF-8 as it lays it out. Over the words
// of a real unit, with more fonts in turn than the canvas keeps tables for,
// in both encodings (bytes beyond ASCII, control characters, Cyrillic,
// Chinese, a character beyond the basic plane and broken UTF-8 among them),
// the canvas must give what the measurer gives, and a word that is not
// UTF-8 must measure as the Windows-1252 text it then is.
TEST(TextMeasurer, TheCanvasMeasuresEveryWordAsTheMeasurerDoes) {
  struct Device : PageDevice {
    QtTextMeasurer qt{600};
    DeviceMetrics metrics() const override { return VirtualPrinter::LetterMetrics(); }
    TextMeasurer &measurer() override { return qt; }
  } device;
  QtTextMeasurer reference(600);
  std::vector<FontSpec> fonts;
  for (const char *face : {"Courier New", "Arial", "Times New Roman"})
    for (const int style : {0, int(StyleBold), int(StyleItalic | StyleUnderline)})
      fonts.push_back(
          FontSpec{QString::fromLatin1(face), 9 + style, style, ColorRef(style * 0x40)});
  QByteArray source =
      "x := 'caf\xE9' + #$80; \x01\x7F \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
      "\xD0\x9F\xD1 \xE2\x82\xAC\n"
      "\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xF0\x9F\x98\x80 \xD0\x9F\xFF "
      "\xE4\xB8\xAD\xE6\x96\x87 \xE4\xB8\xAD\xC0 \xE0\x80\x80 \xE0\x81\x81 \xD0\x41\xD0\x9F "
      "\xE2\x80\x14\n";
  QFile unit(QStringLiteral("/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pscanner.pp"));
  if (unit.open(QIODevice::ReadOnly)) source += unit.read(200000);
  PageCanvas canvas(device);
  canvas.SetMeasureMode();
  for (const TextEncoding encoding : {TextEncoding::Windows1252, TextEncoding::Utf8}) {
    canvas.Encoding = encoding;
    size_t turn = 0, words = 0;
    for (const QByteArray &line : source.split('\n'))
      for (const QByteArray &word : line.split(' ')) {
        const FontSpec &font = fonts[turn++ % fonts.size()];
        canvas.SetFont(font);
        const int width = canvas.TextWidth(word);
        ASSERT_EQ(width, reference.textWidthIn(font, word, encoding))
            << word.toStdString() << " in " << font.face.toStdString() << ", encoding "
            << int(encoding);
        if (encoding == TextEncoding::Windows1252 || !IsValidUtf8(word))
          ASSERT_EQ(width, reference.textWidth(font, word)) << word.toStdString();
        ++words;
      }
    EXPECT_GT(words, 3u);
  }
}

// What only the layout needs goes once the last page asked for is laid
// out, before the document is ended, and never in a run that was
// cancelled (its pages may still be asked for again).
TEST(PrintRunner, LaidOutComesOnceBetweenTheLastPageAndTheEnd) {
  struct Row {
    PageRange range;
    int cancelAt;
    int calls;
  };
  for (const Row &row : {Row{{}, 0, 1}, Row{{3, 4}, 0, 1}, Row{{}, 5, 0}}) {
    NumberedDocument doc;
    doc.pages = 9;
    VirtualPrinter printer;
    VirtualPrintTarget target(printer);
    RecordedProgress progress;
    progress.cancelAtProcess = row.cancelAt;
    PrintEvents events = doc.events();
    int calls = 0;
    QStringList linesThen;
    events.OnLaidOut = [&] {
      ++calls;
      linesThen = target.lines();
    };
    RunPrint(events, target, row.range, &progress);
    EXPECT_EQ(calls, row.calls) << row.cancelAt;
    if (calls == 0) continue;
    EXPECT_EQ(linesThen, target.lines().mid(0, target.lines().size() - 1));
    EXPECT_EQ(target.lines().last(), "end");
    EXPECT_EQ(doc.ends, 1);
  }
}
