// Whole documents: the example project's documents on the virtual printer
// against reviewed records, and a real unit through the PDF target.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <thread>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "platform/RecordedMessages.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "platform/UserMessages.h"
#include "print/PageSheets.h"
#include "print/PdfObjectWriter.h"
#include "print/PdfPrintTarget.h"
#include "print/PrintRunner.h"
#include "print/VirtualPrinter.h"
#include "project/Readers.h"
#include "support/TestPaths.h"
#include "web/WebBook.h"

using namespace scrivane;

namespace {

FormatSettings EverythingOn() {
  FormatSettings s;
  s.LineNo = s.Blocks = s.Header = s.Footer = s.Title = s.LineBetweenRoutines = s.Bold = 1;
  s.Line1A = 2;
  s.Line1C = 3;
  s.Line3B = 1;
  s.Line3C = 3;
  s.Border = 2;
  s.Title1 = "Scrivane Examples";
  s.Title6 = "A. Designer";
  return s;
}

// Loads an example unit the way the window's unit command does.
// A name with a folder is one of the tests' own units, under the source tree.
void LoadExample(ProjectModel &model, const FormatSettings &settings, const QString &name) {
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  const QString folder =
      name.contains(QLatin1Char('/')) ? testsupport::sourceDir() : testsupport::examplesDir();
  OpenPath(ctx, folder + QLatin1Char('/') + name);
  ASSERT_TRUE(messages.warnings.isEmpty() && messages.informations.isEmpty());
  ASSERT_FALSE(model.SourceLines.isEmpty() && model.ProjectLines.isEmpty());
}

// One row per input and document: the whole document on the virtual
// printer against its reviewed record.
struct GoldenRow {
  const char *input;
  DocumentKind document;
  const char *record;      // tests/listing/golden/<record>.txt
  bool ownLayout = false;  // the source's own layout, in a fixed-pitch face
};

QStringList RecordDocument(const GoldenRow &row) {
  ProjectModel model;
  FormatSettings settings = EverythingOn();
  if (row.ownLayout) {
    settings.Layout = 1;
    settings.BName = QString::fromLatin1(kVirtualMonoFace);
  }
  const QString input = QString::fromLatin1(row.input);
  LoadExample(model, settings, input);
  Documents docs(model, settings);
  docs.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  VirtualPrinter printer;
  switch (row.document) {
    case DocumentKind::Unit:
    case DocumentKind::Form:
      docs.PrepareUnit(true);
      // Paths relative to the examples, so the records do not depend on the checkout.
      docs.Unit.Names().ProjectNameText =
          (input.contains(QLatin1Char('/')) ? "" : "examples/") + Encode1252(input);
      model.UnitHighlighted = true;
      break;
    case DocumentKind::Procedures:
      docs.PrepareProcedures();
      break;
    case DocumentKind::Project:
      docs.PrepareProject();
      break;
    case DocumentKind::Index:
    case DocumentKind::CrossReference:
      // The project file and every unit laid out as an entire-project run
      // does.
      model.IndexEntries.clear();
      if (row.document == DocumentKind::CrossReference) {
        docs.PrepareCrossLinks(docs.BookModules(), true);
        docs.PrepareProject();
        PaginateDocument(docs.EventsOf(DocumentKind::Project), printer);
      }
      for (int i = 0; i < model.Units.size(); ++i) {
        RecordedMessages messages;
        ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
        model.SelectedUnit = i;
        model.CurrentUnitPath.clear();
        LoadUnit(ctx);
        docs.PrepareWholeUnit();
        model.UnitHighlighted = true;
        PaginateDocument(docs.Unit.Events(), printer);
      }
      docs.PrepareIndex();
      docs.PrepareCrossReference();
      break;
  }
  VirtualPrintTarget target(printer);
  RunPrint(docs.EventsOf(row.document), target, PageRange{});
  QStringList lines = target.lines();
  lines.replaceInStrings(testsupport::sourceDir(), QStringLiteral("SOURCE"));
  return lines;
}

// "diff -u" of the record and what was printed, for the failure message.
QString UnifiedDiff(const QString &recordPath, const QStringList &actual) {
  QTemporaryDir dir;
  const QString actualPath = dir.filePath(QStringLiteral("actual.txt"));
  QFile file(actualPath);
  if (!file.open(QIODevice::WriteOnly)) return {};
  file.write(actual.join(QLatin1Char('\n')).toUtf8() + '\n');
  file.close();
  QProcess diff;
  diff.start(QStringLiteral("diff"), {QStringLiteral("-u"), recordPath, actualPath});
  diff.waitForFinished(20000);
  return QString::fromUtf8(diff.readAllStandardOutput());
}

// What was printed against its reviewed record (SCRIVANE_REGENERATE=1 writes it).
void MatchRecord(const char *record, const QStringList &lines) {
  const QString path = testsupport::sourceDir() + QStringLiteral("/tests/listing/golden/") +
                       QString::fromLatin1(record) + QStringLiteral(".txt");
  if (testsupport::regeneratingGoldens()) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    return;
  }
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no record " << path.toStdString();
  const QStringList expected =
      QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  EXPECT_TRUE(lines == expected) << record << ":\n" << UnifiedDiff(path, lines).toStdString();
}

}  // namespace

// SCRIVANE_REGENERATE=1 (scripts/regenerate-goldens.sh) rewrites the records.
TEST(DocumentGolden, EveryDocumentMatchesItsRecord) {
  const GoldenRow rows[] = {
      {"textutil.pas", DocumentKind::Unit, "textutil"},
      {"stock.pas", DocumentKind::Procedures, "stock-procedures"},
      {"inventory.dpr", DocumentKind::Project, "inventory-project"},
      {"inventory.dpr", DocumentKind::Index, "inventory-index"},
      {"inventory.dpr", DocumentKind::CrossReference, "inventory-xref"},
      // Each of these lost text or misplaced it before: directives and
      // comments after a header's ";", block words in a "//" comment, "//"
      // inside a comment or a string; and blank pages after the last line.
      {"tests/listing/golden/units/headertext.pas", DocumentKind::Unit, "headertext"},
      {"tests/listing/golden/units/linecomment.pas", DocumentKind::Unit, "linecomment"},
      {"tests/listing/golden/units/commentends.pas", DocumentKind::Unit, "commentends"},
      // Columns, a header over two lines, ") ;", a tab in a string, and a
      // block's bracket where its line stands, on the next page too.
      {"tests/listing/golden/units/ownlayout.pas", DocumentKind::Unit, "ownlayout", true},
      // Delphi's newer code: attributes, "virtual; abstract;", inline
      // declarations, a text block, anonymous methods with a section of
      // their own and with "end, 3);".
      {"tests/listing/golden/units/delphinew.pas", DocumentKind::Unit, "delphinew"},
  };
  for (const GoldenRow &row : rows) {
    const QStringList lines = RecordDocument(row);
    MatchRecord(row.record, lines);
  }
}

// One switch for every golden: only "1" rewrites them. "0" once rewrote the
// shipped example form, because a test asked only whether it was set.
TEST(DocumentGolden, OnlyOneRegeneratesTheRecords) {
  const QByteArray saved = qgetenv("SCRIVANE_REGENERATE");
  const bool wasSet = qEnvironmentVariableIsSet("SCRIVANE_REGENERATE");
  const struct {
    const char *value;
    bool regenerates;
  } rows[] = {{"1", true},   {"0", false},   {"", false},  {"yes", false},
              {"01", false}, {"0x1", false}, {" 1", false}};
  for (const auto &row : rows) {
    qputenv("SCRIVANE_REGENERATE", row.value);
    EXPECT_EQ(testsupport::regeneratingGoldens(), row.regenerates) << '"' << row.value << '"';
  }
  qunsetenv("SCRIVANE_REGENERATE");
  EXPECT_FALSE(testsupport::regeneratingGoldens());
  if (wasSet) qputenv("SCRIVANE_REGENERATE", saved);
}

// The example unit, and a UTF-8 unit whose string is far wider than a row:
// its rows break inside the word, and a character cut in two there would
// print as two Windows-1252 letters.
TEST(UnitListingDocument, PdfHoldsEveryLineOfTheUnitInOrder) {
  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  QTemporaryDir dir;
  const QString wide = dir.filePath(QStringLiteral("wide.pas"));
  {
    QFile file(wide);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "unit wide;\ninterface\nimplementation\n// caf\xC3\xA9 \xD0\x9F\xD1\x80\xD0\xB8 "
        "\xE2\x80\x94\nconst K = '" +
        QByteArray(
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\xE4\xB8\xAD\xE6\x96\x87\xC3\xA9")
            .repeated(40) +
        "';\nend.\n");
  }
  for (const QString &unit : {QString(), wide}) {
    ProjectModel model;
    FormatSettings settings;  // no furniture: the text is the unit's text alone
    if (unit.isEmpty()) {
      LoadExample(model, settings, QStringLiteral("stock.pas"));
    } else {
      RecordedMessages messages;
      ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
      ClearForOpen(model);
      OpenPath(ctx, unit);
      ASSERT_EQ(model.SourceEncoding, TextEncoding::Utf8);
    }
    UnitListing listing(model, settings);
    listing.ResetListingState();
    model.ListingLines = model.SourceLines;
    const QString pdf = dir.filePath(QStringLiteral("unit.pdf"));
    PdfPrintTarget target(pdf);
    const PrintOutcome outcome = RunPrint(listing.Events(), target, PageRange{});
    EXPECT_GE(outcome.PagesPrinted, unit.isEmpty() ? 2 : 1);

    QProcess process;
    process.start(pdftotext, {pdf, QStringLiteral("-")});
    ASSERT_TRUE(process.waitForFinished(20000));
    // Blanks depend on how the reader groups glyphs; the characters and their
    // order must be exactly the unit's.
    auto squeeze = [](QString text) {
      return text.remove(QRegularExpression(QStringLiteral("\\s")));
    };
    QString expected;
    for (QByteArrayView line : model.SourceLines)
      if (line.trimmed() != "@@@@@") expected += DecodeText(line, model.SourceEncoding);
    EXPECT_EQ(squeeze(QString::fromUtf8(process.readAllStandardOutput())), squeeze(expected))
        << unit.toStdString();
  }
}

// Pages are compressed and written by worker threads while the next ones are
// laid out; however many there are, the file must be the one a single
// thread writes, byte for byte (but for the date it was made and the
// identifier drawn from it). The pages are recorded for the writing thread
// command by command: a form's picture and its frame, and pages placed two
// to a sheet, go that way too.
TEST(UnitListingDocument, PdfIsTheSameWhateverThreadsWriteIt) {
  struct Unit {
    QString path;  // empty: the example unit
    FormatSettings settings;
    int perSheet = 1;
  };
  QTemporaryDir dir;
  // A unit with its form's picture beside it.
  const QString withPicture = dir.filePath(QStringLiteral("mainform.pas"));
  ASSERT_TRUE(
      QFile::copy(testsupport::examplesDir() + QStringLiteral("/mainform.pas"), withPicture));
  QImage picture(120, 80, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.setPixel(x, y, qRgb(x * 2, y * 3, (x ^ y) & 0xFF));
  ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("mainform.bmp")), "BMP"));
  FormatSettings printsPicture = EverythingOn();
  printsPicture.PrintImage = 1;
  const QString big = QStringLiteral("/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pparser.pp");
  std::vector<Unit> units{{QString(), FormatSettings{}},
                          {QString(), EverythingOn()},
                          {withPicture, printsPicture},
                          {QString(), EverythingOn(), 2}};
  if (QFile::exists(big)) units.push_back({big, EverythingOn()});
  auto print = [&](const Unit &unit, int workers) {
    ProjectModel model;
    if (unit.path.isEmpty()) {
      LoadExample(model, unit.settings, QStringLiteral("stock.pas"));
    } else {
      RecordedMessages messages;
      ReaderContext ctx{model, ReadChoicesOf(unit.settings), messages, false, {}};
      ClearForOpen(model);
      OpenPath(ctx, unit.path);
    }
    UnitListing listing(model, unit.settings);
    listing.ResetListingState();
    model.ListingLines = model.SourceLines;
    SetPdfWorkers(workers);
    const QString pdf = dir.filePath(QStringLiteral("unit-%1.pdf").arg(workers));
    PdfPrintTarget file(pdf);
    file.setLandscapeSheets(SheetIsLandscape(unit.perSheet));
    SheetTarget sheets(file, unit.perSheet);
    PrintTarget &target = unit.perSheet > 1 ? static_cast<PrintTarget &>(sheets) : file;
    const PrintOutcome outcome = RunPrint(listing.Events(), target, PageRange{});
    SetPdfWorkers(-1);
    EXPECT_GE(outcome.PagesPrinted, 2);
    QFile written(pdf);
    EXPECT_TRUE(written.open(QIODevice::ReadOnly));
    QString bytes = QString::fromLatin1(written.readAll());
    if (unit.settings.PrintImage == 1)
      EXPECT_TRUE(bytes.contains(QStringLiteral("/Subtype /Image")));
    if (unit.perSheet > 1) EXPECT_TRUE(bytes.contains(QStringLiteral("/Subtype /Form")));
    static const QRegularExpression madeWhen(QStringLiteral("\\(D:\\d{14}Z\\)|<[0-9A-F]{32}>"));
    return bytes.replace(madeWhen, QStringLiteral("(when)"));
  };
  for (const Unit &unit : units) {
    const QString alone = print(unit, 0);
    for (int workers : {1, 2, 3}) {
      const QString shared = print(unit, workers);
      EXPECT_EQ(shared.size(), alone.size())
          << unit.path.toStdString() << ", " << workers << " workers";
      EXPECT_TRUE(shared == alone) << unit.path.toStdString() << ", " << workers << " workers";
    }
  }
}

namespace {

const char *WordClassName(WordClass kind) {
  switch (kind) {
    case WordClass::None:
      return "none";
    case WordClass::Identifier:
      return "id";
    case WordClass::Reserved:
      return "kw";
    case WordClass::Section:
      return "sec";
    case WordClass::RoutineName:
      return "rn";
    case WordClass::Comment:
      return "cm";
    case WordClass::String:
      return "st";
    case WordClass::Directive:
      return "dr";
    case WordClass::Number:
      return "nm";
    case WordClass::Symbol:
      return "sy";
    case WordClass::PartHeading:
      return "part";
    case WordClass::LineNumber:
      return "ln";
  }
  return "?";
}

// The unit's rows as the web book records them: per row its file line, its
// indent, the brackets it opens and closes, and each word with its class
// ("~" where a word goes on).
QStringList RecordWebRows(const GoldenRow &row) {
  ProjectModel model;
  FormatSettings settings = EverythingOn();
  if (row.ownLayout) {
    settings.Layout = 1;
    settings.BName = QString::fromLatin1(kVirtualMonoFace);
  }
  LoadExample(model, settings, QString::fromLatin1(row.input));
  Documents docs(model, settings);
  docs.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  docs.PrepareUnit(true);
  model.UnitHighlighted = true;
  VirtualPrinter printer;
  WebBookRecorder recorder(printer);
  recorder.KeepsWords = true;
  RunPrint(docs.EventsOf(DocumentKind::Unit), recorder, PageRange{});
  QStringList lines;
  for (const WebDocument &document : recorder.Documents()) {
    lines << QStringLiteral("document '%1' listing=%2").arg(document.title).arg(document.listing);
    for (const WebRow &webRow : document.rows) {
      if (!webRow.heading.isEmpty()) {
        lines << QStringLiteral("heading '%1'").arg(webRow.heading);
        continue;
      }
      QString line = QStringLiteral("L%1 F%2 %3pt")
                         .arg(webRow.fileLine)
                         .arg(webRow.file)
                         .arg(webRow.indent, 0, 'f', 1);
      if (webRow.opens)
        line += QStringLiteral(" +%1@%2pt").arg(webRow.opens).arg(webRow.bracket, 0, 'f', 1);
      if (webRow.closes) line += QStringLiteral(" -%1").arg(webRow.closes);
      if (webRow.ruleAfter) line += QStringLiteral(" rule");
      line += QStringLiteral(" |");
      for (const WebPiece &piece : webRow.pieces)
        line += QStringLiteral(" %1%2'%3'")
                    .arg(piece.newWord ? "" : "~", WordClassName(piece.kind), webRow.TextOf(piece));
      lines << line;
    }
  }
  return lines;
}

}  // namespace

// The words and classes a web page is written from, in both layouts.
TEST(DocumentGolden, WebRowsMatchTheirRecord) {
  const GoldenRow rows[] = {
      {"textutil.pas", DocumentKind::Unit, "textutil-web"},
      {"tests/listing/golden/units/ownlayout.pas", DocumentKind::Unit, "ownlayout-web", true},
  };
  for (const GoldenRow &row : rows) {
    const QStringList lines = RecordWebRows(row);
    MatchRecord(row.record, lines);
  }
}

namespace {
// The PDF's device, its measurer behind one of another kind: the recorder
// then keeps the rows on the layout's thread instead of logging them.
class OtherMeasurerDevice : public PageDevice, TextMeasurer {
 public:
  DeviceMetrics metrics() const override { return pdf_.metrics(); }
  TextMeasurer &measurer() override { return *this; }

 private:
  int textWidth(const FontSpec &f, QByteArrayView t) override {
    return pdf_.measurer().textWidth(f, t);
  }
  int textHeight(const FontSpec &f, QByteArrayView t) override {
    return pdf_.measurer().textHeight(f, t);
  }
  int charWidth(const FontSpec &f, unsigned char c) override {
    return pdf_.measurer().charWidth(f, c);
  }
  int charAdvance64(const FontSpec &f, unsigned char c) override {
    return pdf_.measurer().charAdvance64(f, c);
  }
  int textWidthIn(const FontSpec &f, QByteArrayView t, TextEncoding e) override {
    return pdf_.measurer().textWidthIn(f, t, e);
  }
  PdfDevice pdf_;
};
}  // namespace

// A unit's page written from the layout's log on the writing thread is the
// page written from rows kept as the layout drew them, in both layouts.
// A writer slower than the layout (a slow disk) makes the layout wait for
// room: the sheets waiting stop at the cap instead of growing with the
// book, and the pages are whole all the same.
TEST(WebRecord, ASlowWriterHoldsTheLayoutAtTheCap) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("long.pas"));
  QByteArray text = "unit long;\ninterface\nimplementation\n";
  constexpr int kRoutines = 1200;  // about a hundred pages
  for (int i = 0; i < kRoutines; ++i)
    text += "procedure P" + QByteArray::number(i) + ";\nbegin\n  P" + QByteArray::number(i) +
            ";\nend;\n\n";
  text += "end.\n";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
  file.close();
  ProjectModel model;
  const FormatSettings settings = EverythingOn();
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  OpenPath(ctx, path);
  Documents docs(model, settings);
  docs.PrepareUnit(true);
  model.UnitHighlighted = true;
  PdfDevice pdf;
  WebBookRecorder::SetWriterHookForTests(
      [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
  WebBookRecorder recorder(pdf);
  RunPrint(docs.EventsOf(DocumentKind::Unit), recorder, PageRange{});
  const WebDocuments &documents = recorder.Documents();
  WebBookRecorder::SetWriterHookForTests({});
  EXPECT_EQ(recorder.MostLogsWaiting(), WebBookRecorder::kMostLogsWaiting);
  QString error;
  ASSERT_TRUE(
      WriteWebBook(documents, settings, WebBookOptions{dir.filePath("web"), "long"}, &error))
      << error.toStdString();
  QFile page(dir.filePath(QStringLiteral("web/index.html")));
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QByteArray html = page.readAll();
  EXPECT_TRUE(html.contains("P" + QByteArray::number(kRoutines - 1) + ";</span>"));
  EXPECT_EQ(html.count("class=\"kw\">procedure"), kRoutines);
}

TEST(WebRecord, LoggedPagesAreThePagesKeptOnTheLayoutsThread) {
  for (const int layout : {0, 1}) {
    QByteArray pages[2];
    for (const bool logged : {true, false}) {
      ProjectModel model;
      FormatSettings settings = EverythingOn();
      settings.Layout = layout;
      LoadExample(model, settings, QStringLiteral("stock.pas"));
      Documents docs(model, settings);
      docs.PrepareUnit(true);
      model.UnitHighlighted = true;
      PdfDevice pdf;
      OtherMeasurerDevice other;
      WebBookRecorder recorder(logged ? static_cast<PageDevice &>(pdf) : other);
      RunPrint(docs.EventsOf(DocumentKind::Unit), recorder, PageRange{});
      QTemporaryDir dir;
      QString error;
      ASSERT_TRUE(WriteWebBook(recorder.Documents(), settings,
                               WebBookOptions{dir.path(), QStringLiteral("stock")}, &error));
      QFile page(dir.filePath(QStringLiteral("index.html")));
      ASSERT_TRUE(page.open(QIODevice::ReadOnly));
      pages[logged] = page.readAll();
    }
    EXPECT_GT(pages[1].count("class=\"r\""), 200);
    EXPECT_EQ(pages[0], pages[1]) << "layout " << layout;
  }
}
