// The form object listing: the line classifier as table rows, and whole
// pages on the virtual printer.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/FormListing.h"
#include "listing/Lexer.h"
#include "platform/RecordedMessages.h"
#include "print/PageCanvas.h"
#include "print/PageGeometry.h"
#include "print/VirtualPrinter.h"
#include "project/FormStream.h"
#include "project/ProjectModel.h"
#include "project/Readers.h"
#include "support/ExampleForm.h"

using namespace scrivane;

namespace {

constexpr int L = 600, I = 100;  // LeftX and IndentWidth of the classifier rows

// Lines as the form reader hands them on: normalised, trimmed.
QList<QByteArray> Normalised(const QList<QByteArray> &lines) {
  QList<QByteArray> out;
  FormTextNormaliser normaliser;
  for (const QByteArray &line : lines) out << normaliser.NormaliseKeepingStrings(line).trimmed();
  return out;
}

// Each line's start x and its words with their kinds: "B" base, "R"
// reserved, "C" binary data, "S" string; "=*" marks the aligned "=".
struct LineRow {
  int start;
  QByteArray words;
};

std::vector<LineRow> Classify(const QList<QByteArray> &lines, FormatSettings settings = {}) {
  FormLayoutState state;
  std::vector<LineRow> rows;
  for (const QByteArray &line : Normalised(lines)) {
    const FormLine result = LayOutFormLine(line, state, L, I, settings);
    QByteArray words;
    for (std::size_t i = 0; i < result.Words.size(); ++i) {
      static const char kinds[] = {'B', 'R', 'C', 'S'};
      words += (i ? " " : "") + result.Words[i].Text + '/' + kinds[int(result.Words[i].Kind)];
      if (int(i) == result.AlignedWord) words += '*';
    }
    if (result.ObjectLine) words = "[object] " + words;
    rows.push_back({state.CurrentIndent, words});
    state.CurrentIndent = state.NextIndent;
  }
  return rows;
}

void ExpectRows(const std::vector<LineRow> &got, const std::vector<LineRow> &want,
                const char *name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].start, want[i].start) << name << ", line " << i;
    EXPECT_EQ(got[i].words, want[i].words) << name << ", line " << i;
  }
}

TEST(FormListingLines, IndentsAndFormats) {
  ExpectRows(Classify({"object FormatFrm: FormatDialog", "Left = 1", "object B: TB", "end", "end"}),
             {{L, "[object] object/R FormatFrm/B :/B FormatDialog/B"},
              {L + I, "Left/B =/B* 1/B"},
              {L, "[object] object/R B/B :/B TB/B"},
              {L, "end/R"},
              {L, "end/R"}},
             "objects");
  ExpectRows(Classify({"object A: TA", "Caption = ' Top Margin'", "Text = ' Top Margin'",
                       "Hint = 'end'", "Caption = 'Two  spaces and ''quote'''#13'OK'", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Caption/B =/B* '/S Top/S Margin'/S"},
              {L + I, "Text/B =/B* '/B Top/B Margin'/B"},
              {L + I, "Hint/B =/B* 'end'/S"},
              {L + I, "Caption/B =/B* 'Two/S /S spaces/S and/S ''quote'''#13'OK'/S"},
              {L, "end/R"}},
             "texts");
  ExpectRows(Classify({"object A: TA", "Glyph.Data = {", "0A0B0C", "0D}", "Left = 1",
                       "Data = {0A0B}", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Glyph.Data/B =/B* {/B"},
              {L + 3 * I, "0A0B0C/C"},
              {L + 3 * I, "0D/C }/B"},
              {L + I, "Left/B =/B* 1/B"},
              {L + I, "Data/B =/B* {/B 0A0B/C }/B"},
              {L, "end/R"}},
             "binary data");
  // Equal = 1: the list's items start at 2 × 1 × the property indent.
  ExpectRows(Classify({"object A: TA", "Items = (", "'one'", "'two')", "Left = 1", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Items/B =/B* (/B"},
              {2 * (L + I), "'one'/B"},
              {2 * (L + I), "'two'/B )/B"},
              {L + I, "Left/B =/B* 1/B"},
              {L, "end/R"}},
             "list");
  FormatSettings upper;
  upper.Reserve = 1;
  upper.Equal = 0;
  ExpectRows(Classify({"inherited A: TA", "inline B: TB", "end", "end"}, upper),
             {{L, "[object] INHERITED/R A/B :/B TA/B"},
              {L, "[object] INLINE/R B/B :/B TB/B"},
              {L, "END/R"},
              {L, "END/R"}},
             "inherited and inline objects, upper case");
}

// Caption = '' left string mode on for the lines after it: keywords were
// not recognised and the next object was not an object line.
TEST(FormListingLines, EmptyCaptionLeavesNoStringMode) {
  ExpectRows(Classify({"object A: TA", "Caption = ''", "object B: TB", "end", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Caption/B =/B* ''/S"},
              {L, "[object] object/R B/B :/B TB/B"},
              {L, "end/R"},
              {L, "end/R"}},
             "empty caption");
}

// A brace or a parenthesis inside a text steered the format and the indent
// of the lines after it.
TEST(FormListingLines, BracesAndParenthesesInsideTextsSteerNothing) {
  ExpectRows(Classify({"object A: TA", "Caption = 'a{b'", "Hint = 'Open ('", "Text = 'x } y )'",
                       "Left = 1", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Caption/B =/B* 'a{b'/S"},
              {L + I, "Hint/B =/B* 'Open/S ('/S"},
              {L + I, "Text/B =/B* 'x/B }/B y/B )'/B"},
              {L + I, "Left/B =/B* 1/B"},
              {L, "end/R"}},
             "texts with braces");
  // Only the first "=" outside quotes aligns.
  ExpectRows(Classify({"object A: TA", "Strings = 'key=value'", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Strings/B =/B* 'key=value'/B"},
              {L, "end/R"}},
             "equals inside a text");
}

// The "end" of a collection item put every property after the collection
// at the object's level.
TEST(FormListingLines, CollectionItemsKeepTheObjectsIndent) {
  ExpectRows(Classify({"object A: TA", "Columns = <", "item", "Width = 64", "end", "item [3]",
                       "end>", "Left = 1", "end"}),
             {{L, "[object] object/R A/B :/B TA/B"},
              {L + I, "Columns/B =/B* </B"},
              {L + I, "item/B"},
              {L + I, "Width/B =/B* 64/B"},
              {L + I, "end/R"},
              {L + I, "item/B [3]/B"},
              {L + I, "end>/B"},
              {L + I, "Left/B =/B* 1/B"},
              {L, "end/R"}},
             "collection");
}

struct TextRecord {
  int x = 0, y = 0;
  QString text;
  bool operator==(const TextRecord &) const = default;
};

std::vector<TextRecord> Texts(const QStringList &records) {
  static const QRegularExpression pattern(
      QStringLiteral("^text (-?\\d+) (-?\\d+) \"[^\"]*\" \\d+ b\\d+ c\\w+ '(.*)'$"));
  std::vector<TextRecord> texts;
  for (const QString &record : records) {
    const auto match = pattern.match(record);
    if (match.hasMatch())
      texts.push_back({match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3)});
  }
  return texts;
}

class FormRig {
 public:
  FormRig() { listing.Job().SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5))); }
  void Start(const QList<QByteArray> &lines) {
    model.CurrentUnitPath = QStringLiteral("/work/forms/unit1.dfm");
    model.OpenedPath = model.CurrentUnitPath;
    model.ListingLines = Normalised(lines);
    listing.ResetListingState();
    listing.Job().BeginPrint(info);
  }
  QStringList Page(int page) {
    RecordingSurface surface;
    PageCanvas canvas(printer);
    canvas.SetPrinterMode(&surface);
    info->PageNumber = page;
    listing.Job().PrintPage(*info, canvas);
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
  bool Last() { return info->LastPage; }

  ProjectModel model;
  FormatSettings settings;
  VirtualPrinter printer;
  FormListing listing{model, settings};
  PageInfoPtr info;
};

// Every "=" jumped to the column and was drawn over long names and over
// texts: only the first, at the column or after the name when it is longer.
TEST(FormListing, EqualsNeverOverprintsTheName) {
  FormRig rig;
  rig.settings.Equal = 1;
  rig.Start({"object A: TA", "Left = 1", "ParentShowHintAndSomeMoreOfIt = True", "Strings = 'a=b'",
             "end"});
  const PageGeometry g = rig.Geometry();
  const int column = 2 * (g.LeftX + g.IndentWidth);
  std::vector<TextRecord> equals, names;
  for (const TextRecord &t : Texts(rig.Page(1))) {
    if (t.text == "= ") equals.push_back(t);
    if (t.text.startsWith("Left") || t.text.startsWith("ParentShowHint") ||
        t.text.startsWith("Strings"))
      names.push_back(t);
  }
  ASSERT_EQ(names.size(), 3u);
  ASSERT_EQ(equals.size(), 3u);  // three properties; the text keeps its own
  EXPECT_EQ(equals[0].x, column);
  const int longNameEnd = names[1].x + rig.Width(rig.settings.BaseFont(), names[1].text);
  ASSERT_GT(longNameEnd, column);
  EXPECT_EQ(equals[1].x, longNameEnd);
  EXPECT_EQ(equals[2].x, column);
  const std::vector<TextRecord> texts = Texts(rig.Page(1));
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                          [](const TextRecord &t) { return t.text == "'a=b' "; }));
}

// String and brace mode were not part of a page's start: a page drawn again
// after later pages started from what the last page left.
TEST(FormListing, ReplayedPageEqualsItsFirstDrawing) {
  FormRig rig;
  rig.settings.LineNo = 1;
  QList<QByteArray> lines = {"object A: TA"};
  for (int k = 0; k < 40; ++k) {
    lines << "Glyph.Data = {";
    for (int r = 0; r < 6; ++r) lines << "00112233445566778899AABBCCDDEEFF";
    lines << "0011}"
          << "Caption = ''"
          << "object B" + QByteArray::number(k) + ": TB"
          << "Items = ("
          << "'x'"
          << "'y')"
          << "end";
  }
  lines << "end";
  rig.Start(lines);
  std::vector<QStringList> first;
  for (int page = 1; !rig.Last() || page == 1; ++page) first.push_back(rig.Page(page));
  ASSERT_GE(first.size(), 4u);
  for (int page : {3, 2, 1, 4, 2}) EXPECT_EQ(rig.Page(page), first[page - 1]) << "page " << page;
  // A new job (a print after a preview) lays out afresh and agrees.
  rig.listing.Job().BeginPrint(rig.info);
  EXPECT_EQ(rig.Page(3), first[2]);
}

TEST(FormListing, EmptyListingGivesOnePageOfFurniture) {
  FormRig rig;
  rig.settings.Header = 1;
  rig.settings.Line1A = 2;  // the form's name
  rig.Start({});
  const QStringList page = rig.Page(1);
  EXPECT_TRUE(rig.Last());
  EXPECT_TRUE(page.join('\n').contains("unit1.dfm")) << page.join('\n').toStdString();
}

// The example form prints whole: every word of its text on the pages, inside
// the text area.
TEST(FormListing, ExampleFormPrintsEveryWord) {
  const auto converted = ConvertFormStream(formstream::ExampleMainForm());
  ASSERT_TRUE(converted.ok);
  QList<QByteArray> lines = QByteArray::fromStdString(converted.text).split('\n');
  for (QByteArray &line : lines) line = line.trimmed();
  FormRig rig;
  rig.settings.LineNo = 1;
  rig.Start(lines);
  const PageGeometry g = rig.Geometry();
  QStringList printed;
  for (int page = 1; page == 1 || !rig.Last(); ++page)
    for (const TextRecord &t : Texts(rig.Page(page)))
      if (t.x >= g.LeftX) {
        printed << t.text.trimmed();
        EXPECT_LE(t.x + rig.Width(rig.settings.BaseFont(), t.text.trimmed()), g.RightX + 1)
            << t.text.toStdString();
      }
  QStringList expected;
  for (QByteArrayView line : rig.model.ListingLines)
    for (const QByteArray &word : line.toByteArray().split(' '))
      if (!word.isEmpty()) expected << QString::fromLatin1(word);
  printed.removeAll(QString());
  EXPECT_EQ(printed, expected);
}

}  // namespace

// Binary data filled most of a real project's form pages: with FormData 0
// each value prints as one row giving its size, and the lines after it
// print on.
TEST(FormListing, BinaryDataAsItsSize) {
  const QList<QByteArray> lines = {"object A: TA",
                                   "Picture.Data = {",
                                   "0A0B0C",
                                   "0D}",
                                   "Data = {0A0B}",
                                   "Glyph.Data = {",
                                   QByteArray(24690, 'F'),
                                   "}",
                                   "Caption = '{ 0A }'",
                                   "Left = 1",
                                   "end"};
  QStringList rows;
  for (const int whole : {1, 0}) {
    FormRig rig;
    rig.settings.FormData = whole;
    rig.Start(lines);
    QByteArray text;
    int lastY = -1;
    for (const TextRecord &t : Texts(rig.Page(1))) {
      if (t.y != lastY && !text.isEmpty())
        rows << QString::fromLatin1(text.trimmed()), text.clear();
      text += t.text.toLatin1();
      lastY = t.y;
    }
    rows << QString::fromLatin1(text.trimmed());
    if (whole == 1) {
      EXPECT_TRUE(rows.contains(QStringLiteral("0A0B0C"))) << rows.join('|').toStdString();
      rows.clear();
    }
  }
  EXPECT_EQ(rows, (QStringList{"object A : TA", "Picture.Data = { 4 bytes }", "Data = { 2 bytes }",
                               "Glyph.Data = { 12,345 bytes }", "Caption = '{ 0A }'", "Left = 1",
                               "end"}));
}

// A text form numbered by its file's lines: each row that starts a line of
// the file carries that line's number, read from the file as it stands; the
// rows a long value wraps to and the blank row before an object carry none.
TEST(FormListing, TextFormRowsCarryTheirFileLineNumbers) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("unit1.lfm"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  const QByteArray longValue(600, 'x');
  file.write("object Form1: TForm1\n  Caption = 'One'\n  Hint = '" + longValue +
             "'\n  object Button1: TButton\n    Items.Strings = (\n      'a'\n      'b'\n    )\n  "
             "end\nend\n");
  file.close();
  FormRig rig;
  rig.settings.LineNo = rig.settings.LineNumbersFrom = 1;
  RecordedMessages messages;
  ReaderContext ctx{rig.model, ReadChoicesOf(rig.settings), messages, false, {}};
  ClearForOpen(rig.model);
  OpenPath(ctx, path);
  ASSERT_EQ(rig.model.SourceLines.size(), 10);
  rig.model.ListingLines = rig.model.SourceLines;
  rig.listing.ResetListingState();
  rig.listing.Job().BeginPrint(rig.info);
  QStringList numbers;
  int rows = 0, lastY = -1;
  for (const TextRecord &t : Texts(rig.Page(1))) {
    if (t.text.endsWith(u':') && t.text.chopped(1).toInt() > 0) numbers << t.text.chopped(1);
    rows += t.y != lastY;
    lastY = t.y;
  }
  EXPECT_EQ(numbers, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  EXPECT_GT(rows, 10);  // the long value wrapped to rows of its own
}
