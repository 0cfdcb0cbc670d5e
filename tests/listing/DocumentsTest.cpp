// The listings on the shared job, on the virtual printer: page breaks, the
// footer reservation, replayed pages, the index against the pages where the
// headings are printed, tiny sheets and huge words.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <climits>
#include <map>
#include <random>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/RowWriter.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "print/PageCanvas.h"
#include "print/PageGeometry.h"
#include "print/VirtualPrinter.h"
#include "project/ProjectModel.h"

using namespace scrivane;

namespace {

struct Text {
  int x = 0, y = 0;
  QString text;
};

std::vector<Text> Texts(const QStringList &records) {
  static const QRegularExpression pattern(
      QStringLiteral("^text (-?\\d+) (-?\\d+) \"[^\"]*\" \\d+ b\\d+ c\\w+ '(.*)'$"));
  std::vector<Text> texts;
  for (const QString &record : records)
    if (const auto m = pattern.match(record); m.hasMatch())
      texts.push_back({m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3)});
  return texts;
}

// A model with a project, a unit and its routines, and the five documents.
struct Rig {
  Rig() {
    model.OpenedPath = QStringLiteral("/work/p/project.dpr");
    model.CurrentUnitPath = QStringLiteral("/work/p/main.pas");
    model.ProjectLoaded = true;
    model.Units << UnitEntry{QStringLiteral("main.pas"),
                             QStringLiteral("/work/p/main.pas"),
                             EntryKind::UnitInProject,
                             {}};
    model.SelectedUnit = 0;
    docs.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  }
  // Pages of a document, each a list of record lines, drawn in order.
  std::vector<QStringList> AllPages(DocumentKind kind, PageDevice &device) {
    const PrintEvents events = docs.EventsOf(kind);
    PageInfoPtr info;
    events.OnBeginPrint(info);
    std::vector<QStringList> pages;
    for (int p = 1; p <= 1000; ++p) {
      RecordingSurface surface;
      PageCanvas canvas(device);
      canvas.SetPrinterMode(&surface);
      info->PageNumber = p;
      events.OnPrintPage(*info, canvas);
      pages.push_back(surface.lines);
      if (info->LastPage) break;
    }
    events.OnEndPrint(info);
    return pages;
  }
  std::vector<QStringList> AllPages(DocumentKind kind) { return AllPages(kind, printer); }
  void Prepare(DocumentKind kind) {
    switch (kind) {
      case DocumentKind::Unit:
        docs.PrepareWholeUnit();
        model.UnitHighlighted = true;
        break;
      case DocumentKind::Procedures:
        docs.PrepareProcedures();
        break;
      case DocumentKind::Project:
        docs.PrepareProject();
        break;
      case DocumentKind::Index:
        docs.PrepareIndex();
        break;
      case DocumentKind::CrossReference:
        docs.PrepareCrossReference();
        break;
      case DocumentKind::Form:
        break;
    }
  }

  ProjectModel model;
  FormatSettings settings;
  VirtualPrinter printer;
  Documents docs{model, settings};
};

// A unit of `count` routines whose bodies differ in length, so headings fall
// anywhere on the pages, some on the last row before the foot.
void FillUnit(ProjectModel &model, int count) {
  model.SourceLines = {"unit Main;", "interface", "implementation"};
  for (int r = 0; r < count; ++r) {
    model.SourceLines << "procedure P" + QByteArray::number(r) + ";"
                      << "begin";
    for (int k = 0; k < r % 7; ++k) model.SourceLines << "x := " + QByteArray::number(k) + ";";
    model.SourceLines << "end;";
  }
  model.SourceLines << "end.";
  model.Routines.clear();
  for (int r = 0; r < count; ++r)
    model.Routines << RoutineEntry{"procedure p" + QByteArray::number(r) + ";",
                                   EntryKind::Procedure, false};
}

void FillEverything(Rig &rig, int count) {
  FillUnit(rig.model, count);
  for (int k = 0; k < count; ++k)
    rig.model.ProjectLines << "  unit" + QByteArray::number(k) + " in 'u.pas',";
  for (int k = 0; k < count; ++k)
    rig.model.IndexEntries << "R" + QByteArray::number(k) + "%procedure%main.pas%" +
                                  QByteArray::number(k / 9 + 1);
}

const DocumentKind kAllKinds[] = {DocumentKind::Unit, DocumentKind::Procedures,
                                  DocumentKind::Project, DocumentKind::Index};

}  // namespace

// Each setting that changes what is read reaches the readers, and nothing
// else does: a row moves settings away from their defaults and names the
// one choice that must follow. The choices' own defaults, which tests and
// fuzzers read with, are the settings' defaults.
TEST(ReadChoices, EachReadingSettingReachesTheReadersAndNoOther) {
  using Choice = bool ReadChoices::*;
  const std::pair<const char *, Choice> choices[] = {
      {"lowerCase", &ReadChoices::lowerCase},
      {"followIncludes", &ReadChoices::followIncludes},
      {"keepOwnLines", &ReadChoices::keepOwnLines},
      {"implementationRoutines", &ReadChoices::implementationRoutines},
      {"formLinesAsInFile", &ReadChoices::formLinesAsInFile},
  };
  const struct {
    const char *settings;
    void (*set)(FormatSettings &);
    Choice follows;  // null: no choice changes
  } rows[] = {
      {"Lower=1", [](FormatSettings &s) { s.Lower = 1; }, &ReadChoices::lowerCase},
      {"FollowIncludes=0", [](FormatSettings &s) { s.FollowIncludes = 0; },
       &ReadChoices::followIncludes},
      {"Layout=1", [](FormatSettings &s) { s.Layout = 1; }, &ReadChoices::keepOwnLines},
      {"ImplementationRoutines=0", [](FormatSettings &s) { s.ImplementationRoutines = 0; },
       &ReadChoices::implementationRoutines},
      {"LineNo=1 LineNumbersFrom=1", [](FormatSettings &s) { s.LineNo = s.LineNumbersFrom = 1; },
       &ReadChoices::formLinesAsInFile},
      {"LineNo=1 (rows numbered)", [](FormatSettings &s) { s.LineNo = 1; }, nullptr},
      {"LineNumbersFrom=1 (no numbers)", [](FormatSettings &s) { s.LineNumbersFrom = 1; }, nullptr},
      {"Reserve=2 Header=1 Blocks=1 Auto=1 CrossLinks=0",
       [](FormatSettings &s) {
         s.Reserve = 2;
         s.Header = s.Blocks = s.Auto = 1;
         s.CrossLinks = 0;
       },
       nullptr},
  };
  const ReadChoices defaults = ReadChoicesOf(FormatSettings{});
  for (const auto &[name, choice] : choices)
    EXPECT_EQ(defaults.*choice, ReadChoices{}.*choice) << name;
  for (const auto &row : rows) {
    FormatSettings settings;
    row.set(settings);
    const ReadChoices read = ReadChoicesOf(settings);
    for (const auto &[name, choice] : choices)
      EXPECT_EQ(read.*choice != defaults.*choice, choice == row.follows)
          << row.settings << ": " << name;
  }
}

TEST(ListingJob, TinySheetEndsEveryDocumentWithAClearError) {
  DeviceMetrics tiny = VirtualPrinter::LetterMetrics();
  tiny.PageWidth = tiny.PageHeight = 300;  // half an inch: smaller than the margins
  tiny.PrintableRight = tiny.PrintableBottom = 300;
  tiny.OffsetX = tiny.OffsetY = 0;
  for (DocumentKind kind : kAllKinds) {
    Rig rig;
    FillEverything(rig, 40);
    rig.Prepare(kind);
    VirtualPrinter printer(tiny);
    VirtualPrintTarget target(printer);
    try {
      RunPrint(rig.docs.EventsOf(kind), target, PageRange{});
      ADD_FAILURE() << "printed on a sheet smaller than its margins, document " << int(kind);
    } catch (const PrintException &error) {
      EXPECT_TRUE(QString::fromUtf8(error.what())
                      .contains(QStringLiteral("margins are larger than the paper")))
          << error.what();
    }
  }
}

TEST(ListingJob, FurnitureTallerThanThePageStillEndsEveryDocument) {
  for (DocumentKind kind : kAllKinds) {
    Rig rig;
    FillEverything(rig, 30);
    rig.settings.Header = rig.settings.Footer = 1;
    rig.settings.HSize = 72;
    rig.Prepare(kind);
    DeviceMetrics shortSheet = VirtualPrinter::LetterMetrics();
    shortSheet.PageHeight = 2400;  // room for the margins, not for the header as well
    shortSheet.PrintableBottom = 2300;
    VirtualPrinter printer(shortSheet);
    const auto pages = rig.AllPages(kind, printer);
    EXPECT_LT(pages.size(), 1000u) << int(kind);
  }
}

TEST(ListingJob, FooterRowComesOffTheUnitListingBeforeItsBodyAndOffTheOthersAfter) {
  for (DocumentKind kind : kAllKinds) {
    int firstPageItems[2] = {0, 0};
    for (int footer : {0, 1}) {
      Rig rig;
      FillEverything(rig, 300);
      rig.settings.Footer = footer;
      rig.Prepare(kind);
      const PrintEvents events = rig.docs.EventsOf(kind);
      PageInfoPtr info;
      events.OnBeginPrint(info);
      PageCanvas canvas(rig.printer);
      canvas.SetMeasureMode();
      events.OnPrintPage(*info, canvas);
      firstPageItems[footer] = static_cast<ListingPageInfo &>(*info).PageStart(2);
    }
    if (kind == DocumentKind::Unit)
      EXPECT_EQ(firstPageItems[1], firstPageItems[0] - 1);
    else
      EXPECT_EQ(firstPageItems[1], firstPageItems[0]) << int(kind);
  }
}

TEST(ListingJob, PageDrawnFirstOrAgainEqualsItsDrawingInOrder) {
  for (DocumentKind kind : kAllKinds) {
    Rig rig;
    FillEverything(rig, 200);
    rig.settings.Header = rig.settings.Footer = rig.settings.LineNo = 1;
    rig.settings.Line3C = 3;
    rig.Prepare(kind);
    const auto inOrder = rig.AllPages(kind);
    ASSERT_GE(inOrder.size(), 4u) << int(kind);
    const PrintEvents events = rig.docs.EventsOf(kind);
    PageInfoPtr info;
    events.OnBeginPrint(info);
    for (int page : {3, 1, 4, 3}) {
      RecordingSurface surface;
      PageCanvas canvas(rig.printer);
      canvas.SetPrinterMode(&surface);
      info->PageNumber = page;
      events.OnPrintPage(*info, canvas);
      EXPECT_EQ(surface.lines, inOrder[page - 1]) << "document " << int(kind) << " page " << page;
    }
    events.OnEndPrint(info);
  }
}

TEST(IndexListing, RoutinesRecordedAgainAcrossAPageBreakPrintOnceInAFixedOrder) {
  Rig rig;
  QList<QByteArray> entries;
  for (int k = 0; k < 150; ++k) {
    const QByteArray name = (k % 2 ? "alpha" : "Alpha") + QByteArray::number(k);
    for (int copy = 0; copy < 3; ++copy)
      entries << name + "%function%main.pas%" + QByteArray::number(k / 40 + 1);
  }
  entries << "Zed%procedure%b.pas%10"
          << "Zed%procedure%b.pas%9";  // two overloads: page 9 before 10
  std::mt19937 shuffle(7);
  std::shuffle(entries.begin(), entries.end(), shuffle);
  rig.model.IndexEntries = entries;
  rig.Prepare(DocumentKind::Index);
  const auto pages = rig.AllPages(DocumentKind::Index);
  ASSERT_GE(pages.size(), 3u);
  const int nameColumn = 450 + 450;  // LeftX + 0.75 inch
  QStringList names;
  for (const QStringList &page : pages)
    for (const Text &t : Texts(page))
      if (t.x == nameColumn) names << t.text;
  QStringList expected;
  for (const IndexRow &row : SortedIndexRows(entries)) expected << QString::fromLatin1(row.name);
  EXPECT_EQ(names.size(), 152);
  EXPECT_EQ(names, expected);
  EXPECT_EQ(names.removeDuplicates(), 1);  // only the two overloads of Zed share a name
  const auto rows = SortedIndexRows(entries);
  EXPECT_EQ(rows[rows.size() - 2].page, QByteArray("9"));
  EXPECT_EQ(rows.back().page, QByteArray("10"));
}

// An entry is read in place: name and kind first, page and line last when
// they are numbers, the unit whatever stands between ("%" included).
TEST(IndexListing, EntriesSplitIntoTheirFields) {
  struct Case {
    const char *entry, *name, *kind, *unit, *page, *line;
  };
  const Case cases[] = {
      {"tfoo.bar%procedure%foo.pas%12%340", "tfoo.bar", "procedure", "foo.pas", "12", "340"},
      {"run%function%controls.pp/control.inc%7", "run", "function", "controls.pp/control.inc", "7",
       ""},
      {"go%procedure%50%%odd.pas%3%4", "go", "procedure", "50%%odd.pas", "3", "4"},
      {"go%procedure%%3%4", "go", "procedure", "", "3", "4"},
      {"go%procedure%9%4", "go", "procedure", "9", "4", ""},
      {"go%procedure%u%x%4", "go", "procedure", "u%x", "4", ""},
      {"go%procedure%u%4x", "go", "procedure", "u%4x", "", ""},
      {"go%procedure%u%", "go", "procedure", "u%", "", ""},
      {"go%procedure", "go", "procedure", "", "", ""},
      {"go", "go", "", "", "", ""},
      {"", "", "", "", "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.entry);
    QByteArray entry(c.entry);
    const IndexRow row = ParseIndexEntry(entry);
    entry.detach();  // the row's fields live in its own copy
    entry.fill('#');
    EXPECT_EQ(row.text, QByteArray(c.entry));
    EXPECT_EQ(row.name, QByteArrayView(c.name));
    EXPECT_EQ(row.kind, QByteArrayView(c.kind));
    EXPECT_EQ(row.unit, QByteArrayView(c.unit));
    EXPECT_EQ(row.page, QByteArrayView(c.page));
    EXPECT_EQ(row.line, QByteArrayView(c.line));
  }
}

TEST(IndexListing, EachRowsPageIsThePageWhereItsHeadingIsPrinted) {
  Rig rig;
  FillUnit(rig.model, 120);
  rig.settings.LineNo = rig.settings.Header = rig.settings.Footer = 1;
  rig.settings.LineBetweenRoutines = 1;
  // A preview on other paper first: the print's job replaces its entries.
  rig.Prepare(DocumentKind::Unit);
  DeviceMetrics shorter = VirtualPrinter::LetterMetrics();
  shorter.PageHeight = 5000;
  shorter.PrintableBottom = 4900;
  VirtualPrinter previewPrinter(shorter);
  rig.AllPages(DocumentKind::Unit, previewPrinter);
  const auto unitPages = rig.AllPages(DocumentKind::Unit);
  ASSERT_GE(unitPages.size(), 5u);
  std::map<QString, int> headingPage;
  for (size_t p = 0; p < unitPages.size(); ++p)
    for (const Text &t : Texts(unitPages[p]))
      if (t.text.startsWith(u'P') && t.text.endsWith(QStringLiteral("; ")))
        headingPage[t.text.chopped(2)] = int(p) + 1;
  ASSERT_EQ(headingPage.size(), 120u);
  EXPECT_EQ(rig.model.IndexEntries.size(), 120);

  rig.Prepare(DocumentKind::Index);
  int rows = 0;
  for (const QStringList &page : rig.AllPages(DocumentKind::Index)) {
    const auto texts = Texts(page);
    for (size_t k = 0; k < texts.size(); ++k) {
      if (texts[k].x != 900) continue;  // the name column
      // The page number is the row's last text, right-aligned at RightX.
      size_t last = k;
      while (last + 1 < texts.size() && texts[last + 1].y == texts[k].y) ++last;
      const Text &pageText = texts[last];
      EXPECT_EQ(pageText.text.toInt(), headingPage[texts[k].text]) << texts[k].text.toStdString();
      ++rows;
    }
  }
  EXPECT_EQ(rows, 120);
}

TEST(ProcedureList, LongEntryContinuesAfterItsKeywordAndOnlyTheFirstWordIsReserved) {
  Rig rig;
  rig.settings.Reserve = 1;
  QByteArray entry = "procedure tform1.go ( ";
  for (int k = 0; k < 30; ++k) entry += "parameter" + QByteArray::number(k) + " : integer ; ";
  entry += "function : integer );";
  rig.model.Routines = {RoutineEntry{entry, EntryKind::Procedure, false}};
  rig.Prepare(DocumentKind::Procedures);
  const auto pages = rig.AllPages(DocumentKind::Procedures);
  ASSERT_EQ(pages.size(), 1u);
  const auto texts = Texts(pages[0]);
  PageCanvas canvas(rig.printer);
  canvas.SetMeasureMode();
  const PageGeometry g = ComputePageGeometry(canvas, rig.settings);
  canvas.SetFont(rig.settings.ReserveFont());
  const int hanging = g.LeftX + canvas.TextWidth("PROCEDURE   ");
  ASSERT_GT(texts.size(), 10u);
  EXPECT_EQ(texts[0].text, QStringLiteral("PROCEDURE "));
  EXPECT_EQ(texts[0].y, g.TopY);
  int continuationStart = g.RightX;
  for (const Text &t : texts) {
    EXPECT_LE(t.x + rig.printer.fixedMeasurer().textWidth(rig.settings.BaseFont(),
                                                          t.text.trimmed().toLatin1()),
              g.RightX)
        << t.text.toStdString();
    if (t.y > g.TopY) continuationStart = std::min(continuationStart, t.x);
  }
  EXPECT_EQ(continuationStart, hanging);
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                          [](const Text &t) { return t.text == u"function "; }));
}

// The routine list holds headers lower-cased; the list prints them as the
// source spells them, blanks and all, and falls back to the list's text
// from where the source holds something the entry does not (a comment).
TEST(ProcedureList, EntriesKeepTheSourcesCaseOfNames) {
  struct Row {
    QByteArray source, entry, printed;
  };
  const Row rows[] = {
      {"procedure TStock.Add(Item : TItem);", "procedure tstock.add ( item : titem );",
       "procedure TStock.Add ( Item : TItem );"},
      {"  Function  GetCount:Integer;", "function getcount : integer;",
       "Function GetCount : Integer;"},
      {"procedure TA.Go({why} Count: Integer);", "procedure ta.go ( count : integer );",
       "procedure TA.Go ( count : integer );"},
  };
  for (const Row &row : rows) {
    Rig rig;
    rig.settings.Reserve = 0;
    rig.model.SourceLines = {"unit Main;", "implementation", row.source};
    rig.model.Routines = {RoutineEntry{row.entry, EntryKind::Procedure, false}};
    rig.model.Routines[0].line = 2;
    rig.Prepare(DocumentKind::Procedures);
    QString printed;
    for (const Text &t : Texts(rig.AllPages(DocumentKind::Procedures).at(0))) printed += t.text;
    EXPECT_TRUE(printed.contains(QString::fromLatin1(row.printed))) << printed.toStdString();
  }
}

// Where the widest unit cannot stand whole beside the names, the unit
// column is placed so that units and names are cut between characters as
// seldom as they can be: here every unit wraps after its "." only.
TEST(IndexListing, LongUnitNamesWrapAtTheirDotBesideShortNames) {
  Rig rig;
  rig.settings.BSize = 14;
  for (int r = 0; r < 40; ++r)
    rig.model.IndexEntries << "Go" + QByteArray::number(r) +
                                  "%procedure%synedithighlighterfoldbase" +
                                  QByteArray::number(r % 3) + ".pas%1";
  rig.Prepare(DocumentKind::Index);
  int whole = 0;
  for (const QStringList &page : rig.AllPages(DocumentKind::Index))
    for (const Text &t : Texts(page)) {
      if (!t.text.startsWith(u"synedit") && !t.text.endsWith(u"pas")) continue;
      EXPECT_TRUE(t.text.endsWith(u'.') || t.text == u"pas" || t.text.endsWith(u".pas"))
          << t.text.toStdString();
      whole += t.text.startsWith(u"synedit") ? 1 : 0;
    }
  EXPECT_EQ(whole, 40);
}

TEST(ProjectListing, InnerBlanksTabsAndAHugeWordStayOnThePaper) {
  Rig rig;
  rig.model.ProjectLines = {"\xEF\xBB\xBFprogram  Demo;", "\tuses\tForms;", "",
                            "{$R '" + QByteArray(3000, 'x') + ".res'}"};
  rig.Prepare(DocumentKind::Project);
  const auto pages = rig.AllPages(DocumentKind::Project);
  ASSERT_EQ(pages.size(), 1u);
  const auto texts = Texts(pages[0]);
  PageCanvas canvas(rig.printer);
  canvas.SetMeasureMode();
  const PageGeometry g = ComputePageGeometry(canvas, rig.settings);
  QStringList words;
  int xs = 0;
  for (const Text &t : texts) {
    words << t.text;
    EXPECT_LE(t.x + rig.printer.fixedMeasurer().textWidth(rig.settings.BaseFont(),
                                                          t.text.trimmed().toLatin1()),
              g.RightX);
    xs += t.text.count(u'x');
  }
  // The second line keeps its indentation (a tab, as a blank).
  EXPECT_EQ(words.mid(2, 6), (QStringList{"program ", " ", "Demo; ", " ", "uses ", "Forms; "}));
  EXPECT_EQ(xs, 3000);
  EXPECT_EQ(texts.back().text, QStringLiteral("Project Listing"));
}

// Measures characters, to see how much measuring a layout takes.
class CountingMeasurer : public FixedMetricsMeasurer {
 public:
  int textWidth(const FontSpec &font, QByteArrayView text) override {
    characters += text.size();
    return FixedMetricsMeasurer::textWidth(font, text);
  }
  long long characters = 0;
};
class CountingPrinter : public PageDevice {
 public:
  DeviceMetrics metrics() const override { return VirtualPrinter::LetterMetrics(); }
  TextMeasurer &measurer() override { return measurer_; }
  CountingMeasurer measurer_;
};

TEST(RowWriter, BreakingAHugeWordMeasuresInLinearTime) {
  long long measured[2] = {0, 0};
  for (int n : {0, 1}) {
    CountingPrinter printer;
    PageCanvas canvas(printer);
    canvas.SetMeasureMode();
    FormatSettings settings;
    const PageGeometry g = ComputePageGeometry(canvas, settings);
    FurnitureTexts texts;
    PageCursor cursor(canvas, g, settings, texts, 1);
    RowWriter row(cursor, g.LeftX);
    const QByteArray word(100000 * (n + 1), 'w');
    printer.measurer_.characters = 0;
    row.DrawWholeOrBroken(word);
    measured[n] = printer.measurer_.characters;
  }
  // Twice the word, about twice the measuring: quadratic breaking would take four times.
  EXPECT_LT(measured[1], 2.2 * measured[0]) << measured[0] << " " << measured[1];
  EXPECT_LT(measured[0], 10 * 100000);
}

// A word and its blank are drawn as one text and move the row by the width
// of both, whether the word fits the writer's fixed buffer or not.
TEST(RowWriter, WordAndBlankDrawnTogetherAtEveryLength) {
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  FormatSettings settings;
  const PageGeometry g = ComputePageGeometry(canvas, settings);
  FurnitureTexts texts;
  PageCursor cursor(canvas, g, settings, texts, 1);
  canvas.SetFont(FontSpec{QStringLiteral("Courier New"), 4, 0, 0});
  for (const int size : {1, 126, 127, 128, 300}) {
    RowWriter row(cursor, g.LeftX);
    surface.lines.clear();
    const QByteArray word(size, 'i');
    EXPECT_EQ(row.DrawWholeOrBroken(word), -1);
    ASSERT_EQ(surface.lines.size(), 1) << size;
    EXPECT_TRUE(surface.lines[0].endsWith(QString::fromLatin1("'" + word + " '"))) << size;
    EXPECT_EQ(row.X, g.LeftX + canvas.TextWidth(word + ' ')) << size;
  }
}

TEST(HeaderNameText, LongPathLosesItsMiddleNeverItsFileName) {
  const QString deep =
      QStringLiteral("/very/deep/") + QString(200, u'd') + QStringLiteral("/Main.pas");
  const QByteArray full = HeaderNameText(deep, true);
  EXPECT_EQ(full.size(), kMaxNameChars);
  EXPECT_TRUE(full.endsWith("/Main.pas"));
  EXPECT_TRUE(full.startsWith("/very/deep/"));
  EXPECT_EQ(full.count('\x85'), 1);
  EXPECT_EQ(HeaderNameText(deep, false), QByteArray("Main.pas"));
  EXPECT_EQ(HeaderNameText(QStringLiteral("C:\\Work\\Main.pas"), false), QByteArray("Main.pas"));
}

TEST(PageFurniture, LongPathsAreShortenedInTheMiddleSoNothingOverlapsOrLeavesTheSheet) {
  Rig rig;
  const QString folder =
      QStringLiteral("/home/someone/projects/") + QString(70, u'n') + QStringLiteral("/src");
  rig.model.CurrentUnitPath = folder + QStringLiteral("/main.pas");
  rig.model.OpenedPath = folder + QStringLiteral("/project.dpr");
  FillUnit(rig.model, 150);
  FormatSettings &s = rig.settings;
  s.Header = s.Footer = s.Title = s.Path1 = s.Path2 = 1;
  s.Line1A = 1;
  s.Line1B = 2;
  s.Line1C = 4;
  s.Line3B = 1;
  s.Line3C = 2;
  rig.Prepare(DocumentKind::Unit);
  rig.docs.Unit.Names() = {HeaderNameText(rig.model.CurrentUnitPath, true),
                           HeaderNameText(rig.model.OpenedPath, true)};
  const auto pages = rig.AllPages(DocumentKind::Unit);
  ASSERT_GE(pages.size(), 2u);
  PageCanvas canvas(rig.printer);
  canvas.SetMeasureMode();
  const PageGeometry g = ComputePageGeometry(canvas, s);
  canvas.SetFont(s.HeaderFont());
  int shortened = 0;
  for (int p : {0, 1}) {
    std::map<int, std::vector<Text>> rows;  // furniture rows by y
    for (const Text &t : Texts(pages[p]))
      if (t.y < g.TopY + 6 * canvas.TextHeight("X") || t.y > 6600 - g.BottomMargin - 2 * g.LineStep)
        rows[t.y].push_back(t);
    for (auto &[y, texts] : rows) {
      std::sort(texts.begin(), texts.end(), [](const Text &a, const Text &b) { return a.x < b.x; });
      for (size_t k = 0; k < texts.size(); ++k) {
        const QByteArray bytes = Encode1252(texts[k].text);
        const int end = texts[k].x + canvas.TextWidth(bytes);
        EXPECT_GE(texts[k].x, g.LeftX) << texts[k].text.toStdString();
        EXPECT_LE(end, g.RightX) << texts[k].text.toStdString();
        if (k + 1 < texts.size()) {
          EXPECT_LE(end, texts[k + 1].x) << texts[k].text.toStdString();
        }
        if (texts[k].text.contains(QChar(0x2026))) {
          ++shortened;
          EXPECT_TRUE(texts[k].text.endsWith(QStringLiteral("/main.pas")) ||
                      texts[k].text.endsWith(QStringLiteral("/project.dpr")))
              << texts[k].text.toStdString();
        }
      }
    }
  }
  EXPECT_GE(shortened, 3);
}

// Entries of the procedure list and lines of the project file wrap over a
// few rows; one that would run past the foot of its page starts the next
// page whole, so no row reaches the footer and no entry is split.
TEST(ListingJob, WrappedEntriesAreNeverSplitAndNeverReachTheFooter) {
  for (const DocumentKind kind : {DocumentKind::Procedures, DocumentKind::Project}) {
    Rig rig;
    rig.settings.Footer = 1;
    for (int e = 0; e < 150; ++e) {
      QByteArray entry = "procedure e" + QByteArray::number(e) + " (";
      for (int k = 0; k < 4 + (e * 5) % 23; ++k)
        entry += " p" + QByteArray::number(e) + "x" + QByteArray::number(k) + " : integer ;";
      entry += " )";
      rig.model.Routines << RoutineEntry{entry, EntryKind::Procedure, false};
      rig.model.ProjectLines << entry;
    }
    rig.Prepare(kind);
    const auto pages = rig.AllPages(kind);
    ASSERT_GT(pages.size(), 3u);
    std::map<int, size_t> pageOfEntry;
    for (size_t p = 0; p < pages.size(); ++p) {
      const auto texts = Texts(pages[p]);
      int footerTop = INT_MAX, bodyBottom = 0;
      for (const Text &t : texts) {
        static const QRegularExpression word(QStringLiteral("^(e|p)(\\d+)"));
        if (const auto m = word.match(t.text); m.hasMatch()) {
          bodyBottom = std::max(bodyBottom, t.y);
          const auto [at, added] = pageOfEntry.emplace(m.captured(2).toInt(), p);
          EXPECT_EQ(at->second, p) << "entry " << m.captured(2).toStdString() << " is split";
        } else if (t.y > rig.printer.metrics().PageHeight / 2 && !t.text.startsWith(u"procedure") &&
                   !t.text.startsWith(u"PROCEDURE") && !t.text.startsWith(u":") &&
                   !t.text.startsWith(u";") && !t.text.startsWith(u"integer") &&
                   !t.text.startsWith(u"(") && !t.text.startsWith(u")")) {
          footerTop = std::min(footerTop, t.y);
        }
      }
      if (p + 1 < pages.size()) {
        EXPECT_LT(bodyBottom, footerTop) << "page " << p + 1;
      }
    }
    EXPECT_EQ(pageOfEntry.size(), 150u);
  }
}

// The index at every base font size, with names longer than their column:
// no two texts of a row overlap, a nested class's method shows its whole
// qualifier, and each row's line number is the row where its heading prints.
TEST(IndexListing, NoColumnOverprintsAndEachLineIsItsHeadingsRow) {
  for (int size : {8, 10, 12, 14}) {
    Rig rig;
    rig.settings.BSize = size;
    rig.settings.LineNo = rig.settings.Header = rig.settings.Footer = 1;
    rig.model.SourceLines = {"unit Main;", "interface", "implementation"};
    QList<QByteArray> names;
    for (int r = 0; r < 90; ++r) {
      const QByteArray n = QByteArray::number(r);
      const QByteArray header = r % 3 == 0
                                    ? "class function TOuter.TInner.Method" + n + " : integer;"
                                : r % 3 == 1 ? "constructor TAVeryLongClassNameForTheIndex" + n +
                                                   ".CreateWithAnEvenLongerNameThanTheColumnHolds;"
                                             : "procedure Plain" + n + ";";
      rig.model.SourceLines << header << "begin";
      for (int k = 0; k < r % 5; ++k) rig.model.SourceLines << "x;";
      rig.model.SourceLines << "end;";
    }
    rig.model.SourceLines << "end.";
    rig.Prepare(DocumentKind::Unit);
    const auto unitPages = rig.AllPages(DocumentKind::Unit);
    // The text printed beside each line number, by page and number.
    std::map<std::pair<int, int>, QString> rowText;
    for (size_t p = 0; p < unitPages.size(); ++p) {
      const auto texts = Texts(unitPages[p]);
      for (const Text &number : texts) {
        if (!number.text.endsWith(u':')) continue;
        for (const Text &t : texts)
          if (t.y == number.y && t.x > number.x && !t.text.endsWith(u':')) {
            rowText[{int(p) + 1, number.text.chopped(1).toInt()}] = t.text;
            break;
          }
      }
    }

    rig.Prepare(DocumentKind::Index);
    PageCanvas measure(rig.printer);
    measure.SetMeasureMode();
    measure.SetFont(rig.settings.BaseFont());
    int rows = 0, nested = 0;
    for (const QStringList &page : rig.AllPages(DocumentKind::Index)) {
      auto texts = Texts(page);
      std::stable_sort(texts.begin(), texts.end(), [](const Text &a, const Text &b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
      });
      for (size_t k = 0; k + 1 < texts.size(); ++k) {
        if (texts[k].y != texts[k + 1].y || texts[k].y <= 1100)
          continue;  // below the column titles
        EXPECT_LT(texts[k].x + measure.TextWidth(texts[k].text.toLatin1()), texts[k + 1].x)
            << "size " << size << ": " << texts[k].text.toStdString() << " | "
            << texts[k + 1].text.toStdString();
      }
      for (size_t k = 0; k < texts.size(); ++k) {
        if (texts[k].text != u"class function" && texts[k].text != u"constructor" &&
            texts[k].text != u"procedure")
          continue;
        // kind, name, unit, line, page along the row
        ASSERT_LT(k + 4, texts.size());
        const int line = texts[k + 3].text.toInt(), sheet = texts[k + 4].text.toInt();
        const QString heading = rowText[{sheet, line}];
        EXPECT_TRUE(heading.startsWith(texts[k].text.section(u' ', 0, 0), Qt::CaseInsensitive))
            << "size " << size << ": line " << line << " on page " << sheet << " holds "
            << heading.toStdString();
        ++rows;
      }
      // The qualifier whole on one row: on the name's first, or wrapped
      // before its "(" onto the next.
      for (const Text &t : texts) nested += t.text.endsWith(u"(TOuter.TInner)") ? 1 : 0;
    }
    EXPECT_EQ(rows, 90) << "size " << size;
    EXPECT_EQ(nested, 30) << "size " << size;
  }
}

// A name wider than the index's column is broken where it no longer fits,
// and in a UTF-8 unit only between characters: a row holding half a letter
// would print as Windows-1252. Its rows, joined again with a blank where
// the wrap dropped one, are the name (the web book joins them so).
TEST(IndexListing, ANameWiderThanItsColumnBreaksBetweenCharacters) {
  struct Row {
    QByteArray text;
    TextEncoding encoding;
  };
  const Row rows[] = {
      {"TFormMain."
       "\xD0\x9A\xD0\xBD\xD0\xBE\xD0\xBF\xD0\xBA\xD0\xB0\xD0\x9D\xD0\xB0\xD0\xB6\xD0\xB0\xD1\x82"
       "\xD1\x8C"
       "\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80\xC3\xA9\xC3\xA9\xC3\xA9",
       TextEncoding::Utf8},
      {"TCaf\xE9.R\xE9sum\xE9Verl\xE4ngernUndAnzeigen", TextEncoding::Windows1252},
      // Wrapped at its blank too: the rows say where one was dropped.
      {"WriteLRSEndianBigDoubleAsEndianLittleExtended (TCustomActionList)",
       TextEncoding::Windows1252},
  };
  VirtualPrinter printer;
  PageCanvas canvas(printer);
  canvas.SetMeasureMode();
  for (const Row &row : rows) {
    canvas.Encoding = row.encoding;
    for (const int width : {1, 120, 300, 700}) {
      std::vector<bool> afterBlank;
      const std::vector<QByteArray> wrapped = WrapToColumn(canvas, row.text, width, 0, &afterBlank);
      ASSERT_EQ(afterBlank.size(), wrapped.size());
      QByteArray joined;
      for (size_t k = 0; k < wrapped.size(); ++k) {
        const QByteArray &piece = wrapped[k];
        if (afterBlank[k]) joined += ' ';
        joined += piece;
        if (row.encoding == TextEncoding::Utf8)
          EXPECT_TRUE(IsValidUtf8(piece)) << piece.toHex().toStdString();
        EXPECT_TRUE(canvas.TextWidth(piece) <= width ||
                    CharacterLength(piece, 0, row.encoding) == piece.size())
            << piece.toStdString() << " in " << width;
      }
      EXPECT_EQ(joined, row.text) << width;
    }
  }
}

// An include file's place ("unit/file") wraps after its "/" when its file's
// name then fits a row whole, and at dots only where it does not; names,
// which hold no "/", wrap at their dots as before.
TEST(IndexListing, APlaceInAnIncludeFileWrapsAfterItsSlashFirst) {
  VirtualPrinter printer;
  PageCanvas canvas(printer);
  canvas.SetMeasureMode();
  auto width = [&](QByteArrayView text) { return canvas.TextWidth(text); };
  struct Row {
    QByteArray text;
    int width;
    std::vector<QByteArray> rows;
  };
  const Row table[] = {
      {"actnlist.pas/customactionlist.inc",
       width("customactionlist.inc"),
       {"actnlist.pas/", "customactionlist.inc"}},
      {"dbctrls.pp/dblookupcombobox.inc",
       width("dblookupcombobox."),
       {"dbctrls.pp/", "dblookupcombobox.", "inc"}},
      {"a.pp/b.inc", width("a.pp/b.inc"), {"a.pp/b.inc"}},
      {"TOuter.TInner.Method", width("TOuter.TInner."), {"TOuter.TInner.", "Method"}},
  };
  for (const Row &row : table)
    EXPECT_EQ(WrapToColumn(canvas, row.text, row.width, 0), row.rows) << row.text.toStdString();
}

// The cross-reference keeps the index's columns: at every listing size no
// text runs into the next on its row, long names and a long unit name wrap,
// the places of a group ("76/2") stay left of the unit column, and every
// routine and type is there with a row for each file that uses it and a
// place for each line.
TEST(CrossReferenceListing, NoColumnOverprintsAt8And14Points) {
  QTemporaryDir dir;
  const QString path = dir.filePath("a_rather_long_unit_file_name_for_its_column.pas");
  QList<QByteArray> lines = {"unit Main;", "interface", "implementation", "type"};
  for (int r = 0; r < 20; ++r)
    lines << "  TAVeryLongTypeNameThatNoColumnOfTheCrossReferenceHolds" + QByteArray::number(r) +
                 " = record X: Integer; end;";
  for (int r = 0; r < 40; ++r)
    lines << "procedure Plain" + QByteArray::number(r) + "(A: TAVeryLongTypeNameThatNoColumnOf" +
                 "TheCrossReferenceHolds" + QByteArray::number(r % 20) + ");"
          << "begin"
          << "end;";
  lines << "procedure CallsEveryOne;"
        << "var V: TAVeryLongTypeNameThatNoColumnOfTheCrossReferenceHolds0;"
        << "begin";
  for (int r = 0; r < 40; ++r) lines << "  Plain" + QByteArray::number(r) + "(V);";
  for (int r = 0; r < 30; ++r) lines << "  Plain0(V); Plain0(V);";
  lines << "end;"
        << "end.";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(lines.join('\n') + '\n');
  file.close();
  for (int size : {8, 10, 12, 14}) {
    Rig rig;
    rig.settings.BSize = size;
    rig.settings.Header = rig.settings.Footer = 1;
    rig.model.CurrentUnitPath = path;
    rig.model.SourceLines = lines;
    rig.model.SourceParts = {SourcePart{path, QFileInfo(path).fileName()}};
    ASSERT_TRUE(rig.docs.PrepareCrossLinks({path}, true));
    rig.Prepare(DocumentKind::Unit);
    PaginateDocument(rig.docs.EventsOf(DocumentKind::Unit), rig.printer);
    rig.Prepare(DocumentKind::CrossReference);
    PageCanvas measure(rig.printer);
    measure.SetMeasureMode();
    measure.SetFont(rig.settings.BaseFont());
    int entries = 0, groups = 0, places = 0;
    // Printed alone, a place is its line ("76"), which no line's page follows.
    static const QRegularExpression placeText(QStringLiteral("^\\d+(/\\d+)?$"));
    for (const QStringList &page : rig.AllPages(DocumentKind::CrossReference)) {
      auto texts = Texts(page);
      std::stable_sort(texts.begin(), texts.end(), [](const Text &a, const Text &b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
      });
      for (size_t k = 0; k + 1 < texts.size(); ++k)
        if (texts[k].y == texts[k + 1].y && texts[k].y > 1100)
          EXPECT_LT(texts[k].x + measure.TextWidth(texts[k].text.toLatin1()), texts[k + 1].x)
              << "size " << size << ": " << texts[k].text.toStdString() << " | "
              << texts[k + 1].text.toStdString();
      int unitX = INT_MAX;
      for (const Text &t : texts)
        if (t.text == u"Unit") unitX = t.x;
      // A page never starts with places: those carried over follow whose they are.
      const auto body =
          std::find_if(texts.begin(), texts.end(), [](const Text &t) { return t.y > 1100; });
      if (body != texts.end() && placeText.match(body->text).hasMatch()) {
        ADD_FAILURE() << "size " << size << ": a page starts with " << body->text.toStdString();
      }
      for (const Text &t : texts) {
        entries += t.text == u"procedure" || t.text == u"record";
        groups += t.text.startsWith(u"a_rather") && t.x >= unitX;
        // A long type name broken between characters may leave its last
        // digits on a row of their own: the places are lines after the types.
        if (t.x < unitX && t.y > 1100 && placeText.match(t.text).hasMatch() &&
            t.text.section(u'/', 0, 0).toInt() > 24) {
          ++places;
          EXPECT_LT(t.x + measure.TextWidth(t.text.toLatin1()), unitX)
              << "size " << size << ": " << t.text.toStdString();
        }
      }
    }
    EXPECT_EQ(entries, 41 + 20) << "size " << size;
    // Each entry's own row, and a row for each with uses (twenty types, forty
    // routines); the lines that use them: a type in its routines' headers,
    // CallsEveryOne's variable, each routine's call, Plain0's thirty lines
    // more, which wrap over rows of their own.
    EXPECT_EQ(groups, entries + 20 + 40) << "size " << size;
    EXPECT_EQ(places, 40 + 1 + 40 + 30) << "size " << size;
  }
}
