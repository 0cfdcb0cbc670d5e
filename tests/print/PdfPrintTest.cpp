#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <cmath>

#include "TestDocument.h"
#include "format/FormatSettings.h"
#include "platform/ReplacingFile.h"
#include "print/PageGeometry.h"
#include "print/PdfPrintTarget.h"
#include "print/VirtualPrinter.h"
#include "support/RunTool.h"
#include "support/SmallDisk.h"

using namespace scrivane;
using printtest::NumberedDocument;

namespace {
using testsupport::RunTool;
struct Word {
  QString text;
  double xMin, yMin, xMax;
};

QList<QList<Word>> WordsByPage(const QString &pdf) {
  const QString html = RunTool("pdftotext", {"-bbox", pdf, "-"});
  QList<QList<Word>> pages;
  static const QRegularExpression wordRe(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>)re");
  for (const QString &line : html.split('\n')) {
    if (line.contains("<page ")) pages.append(QList<Word>{});
    const auto m = wordRe.match(line);
    if (m.hasMatch() && !pages.isEmpty())
      pages.last().append(Word{m.captured(4), m.captured(1).toDouble(), m.captured(2).toDouble(),
                               m.captured(3).toDouble()});
  }
  return pages;
}
}  // namespace

TEST(PdfPrint, NumberedPagesLandWhereTheyWereDrawn) {
  QTemporaryDir dir;
  const QString path = dir.filePath("numbered.pdf");
  NumberedDocument doc;
  doc.pages = 6;
  PdfPrintTarget target(path, PaperSize::A4);
  const PrintOutcome outcome = RunPrint(doc.events(), target, PageRange{});
  ASSERT_EQ(outcome.PagesPrinted, 6);
  const QString info = RunTool("pdfinfo", {path});
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+6\\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains("595 x 842")) << info.toStdString();

  QtTextMeasurer measurer(600);
  const FontSpec font{QStringLiteral("Arial"), 12, 0, 0};
  const auto pages = WordsByPage(path);
  ASSERT_EQ(pages.size(), 6);
  for (int p = 1; p <= 6; ++p) {
    const auto &words = pages[p - 1];
    ASSERT_EQ(words.size(), 2) << "page " << p;
    EXPECT_EQ(words[1].text, QString::number(p));
    // No unprintable strip on a full-page PDF: points = device x * 72 / 600.
    EXPECT_NEAR(words[0].xMin, (600 + 10 * p) * 72.0 / 600, 0.5) << "page " << p;
    EXPECT_NEAR(words[0].yMin, 450 * 72.0 / 600, 1.0) << "page " << p;
    // The second word starts where the measurer says the first one ends.
    EXPECT_NEAR(words[1].xMin, (600 + 10 * p + measurer.textWidth(font, "Page ")) * 72.0 / 600,
                0.5);
  }
}

TEST(PdfPrint, UnwritableOutputGivesAClearMessage) {
  struct Row {
    QString path;
    QString messageStart;
  };
  const Row rows[] = {
      {"/nonexistent-folder/out.pdf", "Cannot write the file /nonexistent-folder/out.pdf"},
      {"", "No output file was chosen"},
  };
  for (const Row &row : rows) {
    NumberedDocument doc;
    PdfPrintTarget target(row.path);
    try {
      RunPrint(doc.events(), target, PageRange{});
      ADD_FAILURE() << row.path.toStdString();
    } catch (const PrintException &e) {
      EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(row.messageStart)) << e.what();
    }
    EXPECT_TRUE(doc.pagesRun.isEmpty());
  }
}

TEST(PdfPrint, CancelledDocumentLeavesNoFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath("cancelled.pdf");
  struct CancelAtOnce : PrintProgress {
    void SetJobText(const QString &) override {}
    void SetPageText(int) override {}
    void ProcessEvents() override {}
    bool Cancelled() const override { return true; }
  } progress;
  NumberedDocument doc;
  PdfPrintTarget target(path);
  EXPECT_TRUE(RunPrint(doc.events(), target, PageRange{}, &progress).Cancelled);
  EXPECT_FALSE(QFile::exists(path));
}

// On a full disk the PDF came out truncated, "31 pages of ..." was reported
// and the exit status was 0; -o /dev/full did the same.
TEST(PdfPrint, WriteFailureKeepsTheOldFileAndSaysWhy) {
  const QByteArray old = "%PDF-1.4 an older listing";
  auto expectFailure = [&](const QString &path, const QString &what) {
    NumberedDocument doc;
    doc.pages = 30;
    PdfPrintTarget target(path);
    try {
      RunPrint(doc.events(), target, PageRange{});
      ADD_FAILURE() << what.toStdString() << ": no failure reported";
    } catch (const PrintException &e) {
      EXPECT_EQ(QString::fromUtf8(e.what()),
                "Unable to write to " + path + ": No space left on device")
          << what.toStdString();
    }
    EXPECT_EQ(doc.ends, 1) << what.toStdString();
    if (!path.startsWith("/dev/")) {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      EXPECT_EQ(file.readAll(), old) << what.toStdString();
      const QStringList left = QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden);
      EXPECT_TRUE(left.size() == 1 || (left.size() == 2 && left.contains(".filler")))
          << what.toStdString() << ": " << left.join(" ").toStdString();
    }
  };
  auto writeOld = [&](const QString &path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(old) == old.size();
  };

  {
    QTemporaryDir dir;
    const QString path = dir.filePath("listing.pdf");
    ASSERT_TRUE(writeOld(path));
    qint64 written = 0;  // the disk fills up part way through the document
    SetWriteFailureHook(
        [&](const QString &, qint64 bytes) { return (written += bytes) > 5000 ? ENOSPC : 0; });
    expectFailure(path, "write hook");
    SetWriteFailureHook({});
  }
  if (QFileInfo::exists("/dev/full")) expectFailure("/dev/full", "/dev/full");

  testsupport::SmallDisk disk;
  if (!disk.mounted()) GTEST_SKIP() << "a real full disk needs root to mount a tmpfs";
  const QString path = disk.path("listing.pdf");
  ASSERT_TRUE(writeOld(path));
  disk.Fill();
  expectFailure(path, "full tmpfs");
}

TEST(PageGeometry, MarginsAndLineStepInDeviceUnits) {
  // A printer whose "X" is 25 device units high, whatever the font.
  struct FlatMeasurer : FixedMetricsMeasurer {
    int textHeight(const FontSpec &, QByteArrayView) override { return 25; }
  };
  struct FlatPrinter : PageDevice {
    FlatMeasurer measurer_;
    DeviceMetrics metrics() const override { return VirtualPrinter::LetterMetrics(); }
    TextMeasurer &measurer() override { return measurer_; }
  } printer;
  struct Row {
    int space;
    int lineStep;
  };
  for (const Row row : {Row{0, 25}, Row{1, 37}, Row{2, 50}, Row{7, 25}}) {
    FormatSettings settings;
    settings.Space = row.space;
    settings.Left = 1;  // 1 inch
    PageCanvas canvas(printer);
    const PageGeometry g = ComputePageGeometry(canvas, settings);
    EXPECT_EQ(g.LineStep, row.lineStep) << "Space " << row.space;
    EXPECT_EQ(g.LeftX, 600);
    EXPECT_EQ(g.RightX, 5100 - g.RightMargin);
    EXPECT_EQ(canvas.Font, settings.BaseFont());
  }
  // Measuring happens on the printer in every mode: the same geometry.
  VirtualPrinter virtualPrinter;
  RecordingSurface surface;
  PageCanvas display(virtualPrinter), measure(virtualPrinter);
  display.SetDisplayMode(&surface);
  measure.SetMeasureMode();
  EXPECT_EQ(ComputePageGeometry(display, FormatSettings{}),
            ComputePageGeometry(measure, FormatSettings{}));
}

// A whole line drawn with one TextOut: every word must start where the
// measurer puts it (the width of the text before it), in every style and in a
// fixed-pitch face, or text placed after a measured string overlaps or gaps.
TEST(PdfPrint, WordsOfALongLineStartWhereTheMeasurerSays) {
  const QByteArray pascal =
      "procedure TMainForm.WriteAllTheWords(Sender: TObject; var Count: Integer); "
      "begin Result := Count * 1000 + Width div 7; end;";
  // UTF-8: letters the font has are placed without shaping; the Japanese
  // word needs a fallback font and is laid out by Qt.
  const QByteArray utf8 =
      "procedure \xC3\x9C"
      "bersicht(\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82: Integer); "
      "// \xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC \xE2\x80\x94 "
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E and more words after it to fill the line";
  struct Line {
    FontSpec font;
    TextEncoding encoding;
    QByteArray text;
  };
  const Line lines[] = {
      {{QStringLiteral("Arial"), 9, 0, 0}, TextEncoding::Windows1252, pascal},
      {{QStringLiteral("Arial"), 10, StyleBold, 0}, TextEncoding::Windows1252, pascal},
      {{QStringLiteral("Arial"), 12, StyleItalic, 0}, TextEncoding::Windows1252, pascal},
      {{QStringLiteral("Arial"), 9, StyleBold | StyleItalic, 0}, TextEncoding::Windows1252, pascal},
      {{QStringLiteral("Courier New"), 8, 0, 0}, TextEncoding::Windows1252, pascal},
      {{QStringLiteral("Times New Roman"), 9, StyleBold, 0}, TextEncoding::Windows1252, pascal},
      // PostScript ('CFF ') outlines, embedded as they are, subset (Qt
      // takes the family's Type 1 files unless the foundry is named).
      {{QStringLiteral("Nimbus Mono PS [UKWN]"), 9, StyleUnderline, 0},
       TextEncoding::Windows1252,
       pascal},
      {{QStringLiteral("Arial"), 9, 0, 0}, TextEncoding::Utf8, utf8},
      {{QStringLiteral("Courier New"), 9, StyleItalic, 0}, TextEncoding::Utf8, utf8},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath("line.pdf");
  PrintEvents events;
  events.OnBeginPrint = [](PageInfoPtr &info) { info = std::make_unique<PageInfo>(); };
  events.OnPrintPage = [&](PageInfo &info, PageCanvas &canvas) {
    for (int i = 0; i < int(std::size(lines)); ++i) {
      canvas.Encoding = lines[i].encoding;
      canvas.SetFont(lines[i].font);
      canvas.TextOut(120, 300 + 400 * i, lines[i].text);
    }
    info.LastPage = true;
  };
  events.OnEndPrint = [](PageInfoPtr &info) { info.reset(); };
  PdfPrintTarget target(path, PaperSize::A4);
  ASSERT_EQ(RunPrint(events, target, PageRange{}).PagesPrinted, 1);

  // Every font is embedded as a subset of its own outlines, and readers
  // find nothing wrong with the file.
  const QString embedded = RunTool("pdffonts", {path});
  EXPECT_GE(embedded.count(QRegularExpression(R"(CID TrueType\s+Identity-H\s+yes yes yes)")), 7)
      << embedded.toStdString();
  EXPECT_EQ(embedded.count(QRegularExpression(R"(CID Type 0C\s+Identity-H\s+yes yes yes)")), 1)
      << embedded.toStdString();
  EXPECT_EQ(embedded.count(QRegularExpression(R"(\s+no\s)")), 0) << embedded.toStdString();
  QProcess render;
  render.start("pdftoppm", {"-r", "30", path, dir.filePath("page")});
  ASSERT_TRUE(render.waitForFinished(30000));
  EXPECT_EQ(render.exitCode(), 0);
  EXPECT_EQ(render.readAllStandardError(), QByteArray());

  const auto pages = WordsByPage(path);
  ASSERT_EQ(pages.size(), 1);
  QtTextMeasurer &measurer = static_cast<PdfDevice &>(target.device()).qtMeasurer();
  // Words placed without shaping are as wide as Qt's shaping makes them.
  QImage device(1, 1, QImage::Format_RGB32);
  device.setDotsPerMeterX(int(std::lround(600 / 0.0254)));
  device.setDotsPerMeterY(int(std::lround(600 / 0.0254)));
  for (const Line &line : lines) {
    if (line.encoding != TextEncoding::Utf8) continue;
    const QFontMetricsF shaped(measurer.cachedFont(line.font), &device);
    for (const QByteArray &word : line.text.split(' '))
      EXPECT_NEAR(measurer.textWidthIn(line.font, word, line.encoding),
                  shaped.horizontalAdvance(QString::fromUtf8(word)), 0.51)
          << word.toStdString();
  }
  for (int i = 0; i < int(std::size(lines)); ++i) {
    const Line &line = lines[i];
    const double lineTop = (300 + 400 * i) * 72.0 / 600;
    QList<Word> words;
    for (const Word &word : pages[0])
      if (std::abs(word.yMin - lineTop) < 2.0) words.append(word);
    ASSERT_GT(words.size(), 10) << "line " << i;
    qsizetype from = 0;
    for (const Word &word : words) {
      const QByteArray bytes =
          line.encoding == TextEncoding::Utf8 ? word.text.toUtf8() : word.text.toLatin1();
      const qsizetype at = line.text.indexOf(bytes, from);
      ASSERT_GE(at, 0) << "line " << i << " word " << word.text.toStdString();
      from = at + bytes.size();
      const int expected = 120 + measurer.textWidthIn(line.font, line.text.left(at), line.encoding);
      // One device pixel is 0.12 pt; the measured width is rounded once.
      EXPECT_NEAR(word.xMin * 600 / 72, expected, 0.52)
          << "line " << i << " " << line.font.face.toStdString() << " style " << line.font.style
          << " word '" << word.text.toStdString() << "'";
    }
  }
}

// In the preview every character is drawn alone; it goes where the printer
// draws it as part of the whole string.
TEST(PdfPrint, DisplayModePlacesCharactersWhereThePrinterDrawsTheString) {
  PdfDevice device(PaperSize::A4);
  RecordingSurface surface;
  PageCanvas canvas(device);
  canvas.SetDisplayMode(&surface);
  const QByteArray text = "Count := Count * 1000 + Width div 7; { a comment }";
  for (const FontSpec &font : {FontSpec{QStringLiteral("Courier New"), 10, 0, 0},
                               FontSpec{QStringLiteral("Arial"), 9, StyleBold, 0}}) {
    surface.lines.clear();
    canvas.SetFont(font);
    canvas.TextOut(100, 50, text);
    ASSERT_EQ(surface.lines.size(), text.size());
    for (int i = 0; i < text.size(); ++i) {
      const int x = surface.lines[i].section(' ', 1, 1).toInt();
      EXPECT_EQ(x, 100 + canvas.TextWidth(text.left(i)))
          << font.face.toStdString() << " character " << i;
    }
  }
}

// points x 600 dpi overflowed an int (undefined behaviour) for a size of
// 2147483647; the pixel size now stays within what Qt can draw.
TEST(PdfPrint, HugeFontSizesDoNotOverflowOnTheWayToPixels) {
  QtTextMeasurer measurer(600);
  FixedMetricsMeasurer fixed(600);
  for (const int points : {INT_MAX, 100000, -INT_MAX}) {
    const FontSpec font{QStringLiteral("Arial"), points, 0, 0};
    const int pixels = measurer.cachedFont(font).pixelSize();
    EXPECT_GE(pixels, 1) << points;
    EXPECT_LE(pixels, 32767) << points;
    EXPECT_GE(fixed.pixelSize(font), 1) << points;
    EXPECT_LE(fixed.pixelSize(font), 32767) << points;
  }
}
