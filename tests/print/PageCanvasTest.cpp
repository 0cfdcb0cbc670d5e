#include <gtest/gtest.h>

#include "print/PageCanvas.h"
#include "print/PdfPrintTarget.h"
#include "print/VirtualPrinter.h"

using namespace scrivane;

namespace {
DeviceMetrics WithResolution(int dpi) {
  DeviceMetrics m = VirtualPrinter::LetterMetrics();
  m.PixelsPerInchX = m.PixelsPerInchY = dpi;
  return m;
}
}  // namespace

TEST(PageCanvas, ToDeviceRoundsHalvesToEven) {
  struct Row {
    int dpi;
    float inches;
    int expected;
  };
  const Row rows[] = {
      {600, 1.0f, 600}, {5, 0.5f, 2},      {5, 1.5f, 8},    {10, 0.25f, 2}, {2, 1.75f, 4},
      {4, 0.625f, 2},   {600, 0.75f, 450}, {600, 0.1f, 60}, {3, 0.5f, 2},   {7, -0.5f, -4},
  };
  for (const Row &row : rows) {
    VirtualPrinter printer(WithResolution(row.dpi));
    PageCanvas canvas(printer);
    EXPECT_EQ(canvas.ToDeviceX(row.inches), row.expected)
        << row.dpi << " dpi, " << row.inches << " in";
    EXPECT_EQ(canvas.ToDeviceY(row.inches), row.expected)
        << row.dpi << " dpi, " << row.inches << " in";
  }
}

TEST(PageCanvas, MeasureModeDrawsNothingAndMeasuresAsPrinterMode) {
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas printing(printer), measuring(printer);
  printing.SetPrinterMode(&surface);
  measuring.SetMeasureMode();
  const QByteArray texts[] = {"", "X", "begin", "Procedure TForm1.Button1Click(Sender: TObject);",
                              "\xE9t\xE9"};
  for (const FontSpec &font :
       {FontSpec{}, FontSpec{QStringLiteral("Courier New"), 14, StyleBold, 0xFF}}) {
    printing.SetFont(font);
    measuring.SetFont(font);
    for (const QByteArray &text : texts) {
      EXPECT_EQ(measuring.TextWidth(text), printing.TextWidth(text)) << text.constData();
      EXPECT_EQ(measuring.TextHeight(text), printing.TextHeight(text)) << text.constData();
    }
  }
  measuring.TextOut(10, 10, "text");
  measuring.MoveTo(0, 0);
  measuring.LineTo(100, 100);
  measuring.Rectangle(0, 0, 50, 50);
  measuring.StretchDraw(QRect(0, 0, 10, 10), QImage(4, 4, QImage::Format_RGB32));
  EXPECT_TRUE(surface.lines.isEmpty());
}

TEST(PageCanvas, PrinterModeRecordsEveryCallWithTheValuesOfTheMoment) {
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  canvas.SetFont(FontSpec{QStringLiteral("Arial"), 10, StyleBold, 0x0000FF});
  canvas.TextOut(600, 450, "begin");
  canvas.TextOut(600, 550, "");
  canvas.MoveTo(100, 200);
  canvas.LineTo(300, 200);
  canvas.Pen.width = 5;
  canvas.Pen.color = 0x00FF00;
  canvas.LineTo(300, 400);
  canvas.Pen.mode = PenMode::Not;
  canvas.Brush.style = BrushStyle::Clear;
  canvas.Rectangle(50, 60, 10, 20);
  canvas.StretchDraw(QRect(10, 20, 300, 200), QImage());
  canvas.StretchDraw(QRect(10, 20, 300, 200), QImage(30, 20, QImage::Format_RGB32));
  const QStringList expected = {
      "text 600 450 \"Arial\" 10 b1 c0000FF 'begin'",
      "line 100 200 300 200 w1 c000000",
      "line 300 200 300 400 w5 c00FF00",
      "rect 10 20 50 60 w5 c00FF00 not clear",
      "image 10 20 300 200 30x20",
  };
  EXPECT_EQ(surface.lines, expected);
}

// Going back to the font before the last trades the two: each word is
// still measured and drawn in its own font, colour included.
TEST(PageCanvas, FontsTakenInTurnMeasureAndDrawAsEachAlone) {
  PdfDevice printer;  // its measurer sums the fonts' advance tables
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  const FontSpec base{QStringLiteral("Courier New"), 10, 0, 0},
      bold{QStringLiteral("Courier New"), 10, StyleBold, 0}, red{base.face, 10, 0, 0xFF},
      big{QStringLiteral("Arial"), 24, StyleItalic, 0};
  for (const FontSpec *font : {&base, &bold, &base, &red, &base, &big, &bold, &big, &bold, &base}) {
    PageCanvas alone(printer);
    alone.SetFont(*font);
    canvas.SetFont(*font);
    EXPECT_EQ(canvas.TextWidth("Wide words"), alone.TextWidth("Wide words"));
    surface.lines.clear();
    canvas.TextOut(0, 0, "w");
    RecordingSurface expected;
    alone.SetPrinterMode(&expected);
    alone.TextOut(0, 0, "w");
    EXPECT_EQ(surface.lines, expected.lines);
  }
}

TEST(PageCanvas, DisplayModePlacesEachCharacterAtThePrinterAdvance) {
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetDisplayMode(&surface);
  canvas.TextOut(100, 50, "Wil");
  // 10 pt at 600 dpi is 83 px: W 0.83 -> 69, i 0.22 -> 18.
  const QStringList expected = {
      "text 100 50 \"Arial\" 10 b0 c000000 'W'",
      "text 169 50 \"Arial\" 10 b0 c000000 'i'",
      "text 187 50 \"Arial\" 10 b0 c000000 'l'",
  };
  EXPECT_EQ(surface.lines, expected);
  EXPECT_EQ(canvas.TextWidth("Wil"), 69 + 18 + 18);
  // An empty bitmap is still handed to the screen.
  canvas.StretchDraw(QRect(0, 0, 10, 10), QImage());
  EXPECT_EQ(surface.lines.last(), "image 0 0 10 10 0x0");
}

TEST(PageCanvas, CorruptFontsRaiseTheirFixedMessages) {
  VirtualPrinter printer;
  RecordingSurface surface;
  struct Row {
    const char *what;
    std::function<void(PageCanvas &)> action;
    const char *message;
  };
  const FontSpec broken{QStringLiteral("Arial"), 0, 0, 0};
  const Row rows[] = {
      {"SetFont in display mode",
       [&](PageCanvas &c) {
         c.SetDisplayMode(&surface);
         c.SetFont(broken);
       },
       "Printer Font corrupted (Font.Height > 0)"},
      {"switch to display mode",
       [&](PageCanvas &c) {
         c.Font = broken;
         c.SetDisplayMode(&surface);
       },
       "Printer Font corrupted (Font.Height > 0)"},
      {"TextWidth",
       [&](PageCanvas &c) {
         c.Font = broken;
         c.TextWidth("x");
       },
       "Printer Font corrupted (Font.Height is > 0)"},
      {"TextHeight in measure mode",
       [&](PageCanvas &c) {
         c.SetMeasureMode();
         c.Font = broken;
         c.TextHeight("x");
       },
       "Printer Font corrupted (Font.Height is > 0)"},
      {"empty TextOut in display mode",
       [&](PageCanvas &c) {
         c.SetDisplayMode(&surface);
         c.Font = broken;
         c.TextOut(0, 0, "");
       },
       "Display Canvas Font has been corrupted.\r\nFont Height is < 0"},
  };
  for (const Row &row : rows) {
    PageCanvas canvas(printer);
    try {
      row.action(canvas);
      ADD_FAILURE() << row.what << ": no exception";
    } catch (const PreviewException &e) {
      EXPECT_STREQ(e.what(), row.message) << row.what;
    }
  }
  // The printer-mode TextOut of an empty text needs no font and raises nothing.
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  canvas.Font = broken;
  EXPECT_NO_THROW(canvas.TextOut(0, 0, ""));
}
