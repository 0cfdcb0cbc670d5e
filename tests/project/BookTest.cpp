// The project as one book: scrivane-print --all, read back with qpdf and
// poppler as a reader's viewer sees it: bookmarks, links, page labels.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <functional>

#include "platform/Version.h"
#include "project/PrintTool.h"
#include "support/PdfOutline.h"
#include "support/RunTool.h"
#include "support/TestPaths.h"

namespace {
using printtool::RunPrintTool;
using testsupport::RunTool;

// What a viewer shows of a PDF: its outline, labels, links and pages' text.
struct ReadBack {
  QJsonObject json;
  QJsonObject objects;
  QStringList pageObjects;
  QString pdf;
  double height = 842;  // of a sheet, points

  explicit ReadBack(const QString &path) : pdf(path) {
    // Sound as qpdf reads it: its cross-reference stream and the objects
    // packed in streams (the links) found where it says.
    QProcess check;
    check.start("qpdf", {"--check", path});
    EXPECT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
    json = QJsonDocument::fromJson(RunTool("qpdf", {"--json", path}).toUtf8()).object();
    objects = json["qpdf"].toArray()[1].toObject();
    for (const QJsonValue &page : json["pages"].toArray()) pageObjects << page["object"].toString();
    const QJsonObject pages = object(object(trailer()["/Root"].toString())["/Pages"].toString());
    height = pages["/MediaBox"].toArray()[3].toDouble();
  }
  QJsonObject object(const QString &ref) const { return objects["obj:" + ref]["value"].toObject(); }
  QJsonObject trailer() const { return objects["trailer"]["value"].toObject(); }
  // The label the viewer shows for a page (from 0).
  QString label(int page) const { return testsupport::PageLabel(json, page); }
  QString text(int page) const {
    return RunTool("pdftotext", {"-layout", "-f", QString::number(page + 1), "-l",
                                 QString::number(page + 1), pdf, "-"});
  }
  // The words inside a rectangle of a page, in points from the foot.
  QStringList wordsIn(int page, const QJsonArray &rect) const {
    const double x0 = rect[0].toDouble(), y0 = rect[1].toDouble();
    const double x1 = rect[2].toDouble(), y1 = rect[3].toDouble();
    return RunTool("pdftotext",
                   {"-layout", "-f", QString::number(page + 1), "-l", QString::number(page + 1),
                    "-x", QString::number(int(std::floor(x0))), "-y",
                    QString::number(int(std::floor(height - y1))), "-W",
                    QString::number(int(std::ceil(x1 - x0))), "-H",
                    QString::number(int(std::ceil(y1 - y0))), pdf, "-"})
        .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
  }
};

struct LinkCounts {
  int index = 0, units = 0, routines = 0;
  int uses = 0, entries = 0, crossReference = 0;  // cross links and the cross-reference's rows
};

LinkCounts CheckLinks(const ReadBack &book) {
  // Every link lands where the row that carries it says: an index row on
  // the page its unit and page name, which holds the routine's name; a row
  // of a unit's list of routines on the routine's heading; a unit of the
  // project file on the first page of that unit.
  LinkCounts counts;
  QString declared, document;  // the cross-reference's last declaration and group
  for (int page = 0; page < book.pageObjects.size(); ++page)
    for (const QJsonValue &a : book.object(book.pageObjects[page])["/Annots"].toArray()) {
      const QJsonObject link = book.object(a.toString());
      EXPECT_EQ(link["/Border"].toArray(), QJsonArray({0, 0, 0}));
      const int target = int(book.pageObjects.indexOf(link["/Dest"].toArray()[0].toString()));
      const QStringList row = book.wordsIn(page, link["/Rect"].toArray());
      EXPECT_GE(target, 0) << "a link without a destination on page " << page + 1;
      EXPECT_FALSE(row.isEmpty());
      if (target < 0 || row.isEmpty()) continue;
      const double top = link["/Dest"].toArray()[3].toDouble();
      // The row a link lands on, as the viewer puts it at the top.
      auto rowAtTarget = [&] {
        return book.wordsIn(target, QJsonArray({0, top - 14, 595, top + 2})).join(' ').toLower();
      };
      if (book.label(page).startsWith("Cross-reference")) {
        // A declaration: the page its document and page name, on the row of
        // that file line. A place of its uses ("76/2", line 76 on page 2):
        // that page of the document its group names (in the unit column,
        // on the group's first row), on a row that names the declaration.
        ++counts.crossReference;
        static const QRegularExpression placeText("^\\d+/(\\d+)$");
        if (const auto place = placeText.match(row.join(' ')); place.hasMatch()) {
          const QJsonArray rect = link["/Rect"].toArray();
          for (const QString &word :
               book.wordsIn(page, QJsonArray({rect[2].toDouble() + 1, rect[1], 595, rect[3]})))
            if (!placeText.match(word).hasMatch()) document = word;
          EXPECT_EQ(book.label(target), document + ' ' + place.captured(1)) << row[0].toStdString();
          EXPECT_TRUE(rowAtTarget().contains(declared))
              << declared.toStdString() << " at " << row[0].toStdString() << " -> "
              << rowAtTarget().toStdString();
          continue;
        }
        EXPECT_GE(row.size(), 3) << row.join(' ').toStdString();
        if (row.size() < 3) continue;
        EXPECT_EQ(book.label(target), row[row.size() - 3] + ' ' + row.last())
            << row.join(' ').toStdString();
        if (row.size() > 3) {
          declared = row[1].toLower();
          EXPECT_TRUE(rowAtTarget().contains(declared))
              << row.join(' ').toStdString() << " -> " << rowAtTarget().toStdString();
        }
      } else if (!book.label(page).startsWith("Index") &&
                 !book.label(page).contains(" routines ") &&
                 !(book.label(page).contains(QRegularExpression("^\\S+\\.[dl]pr ")) &&
                   book.label(target).startsWith(
                       row.first().toLower().remove(QRegularExpression("[',;]"))))) {
        // A name in the code (the word its area touches, "FList.Add(Item);"
        // for "Add"), in a unit or the project file: the row it leads to
        // declares one of its names, or is its entry in the cross-reference.
        const QString word = row.join(' ').toLower();
        const QString declared = rowAtTarget();
        bool named = false;
        for (const QString &name :
             word.split(QRegularExpression("[^a-z0-9_]+"), Qt::SkipEmptyParts))
          named = named || declared.contains(QRegularExpression("\\b" + name + "\\b"));
        EXPECT_TRUE(named) << word.toStdString() << " on " << book.label(page).toStdString()
                           << " -> " << declared.toStdString();
        ++(book.label(target).startsWith("Cross-reference") ? counts.entries : counts.uses);
      } else if (book.label(page).startsWith("Index")) {
        ++counts.index;
        if (row.size() < 2) continue;
        EXPECT_EQ(book.label(target), row[row.size() - 2] + ' ' + row.last())
            << row.join(' ').toStdString();
        EXPECT_TRUE(book.text(target).contains(row[1])) << row.join(' ').toStdString();
      } else if (book.label(page).contains(" routines ")) {
        // A row of a unit's list of routines: the row the link lands on,
        // in that unit's listing, is the routine's heading.
        ++counts.routines;
        if (row.size() < 2) continue;
        const QString unit = book.label(page).section(' ', 0, 0);
        const QStringList heading = book.wordsIn(target, QJsonArray({0, top - 14, 595, top + 2}));
        EXPECT_TRUE(book.label(target).startsWith(unit + ' ')) << book.label(target).toStdString();
        EXPECT_TRUE(heading.join(' ').toLower().contains(row[1].toLower()))
            << row.join(' ').toStdString() << " -> " << heading.join(' ').toStdString();
      } else {
        // A unit the project file names: its first page.
        ++counts.units;
        QString unit = row.first().toLower().remove(QRegularExpression("[',;]"));
        EXPECT_TRUE(book.label(target).startsWith(unit) && book.label(target).endsWith(" 1"))
            << unit.toStdString() << " -> " << book.label(target).toStdString();
      }
    }
  return counts;
}

class Book : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QFileInfo::exists(printtool::Program()))
        << printtool::Program().toStdString() << " is not built";
    if (QStandardPaths::findExecutable("qpdf").isEmpty()) GTEST_SKIP() << "qpdf is not installed";
  }
  QTemporaryDir dir;
};

TEST_F(Book, ExampleProjectHasItsOutlineLinksAndLabels) {
  const QString pdf = dir.filePath("inventory.pdf");
  const auto run =
      RunPrintTool({testsupport::sourceDir() + "/examples/inventory.dpr", "--all", "-o", pdf});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  const ReadBack book(pdf);

  QStringList outline;
  testsupport::OutlineLines(book.json, book.json["outlines"].toArray(), 0, outline);
  const QString golden = testsupport::sourceDir() + "/tests/project/golden/inventory-outline.txt";
  if (testsupport::regeneratingGoldens()) {
    QFile file(golden);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(outline.join('\n').toUtf8() + '\n');
  }
  QFile file(golden);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList expected = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  if (outline != expected) {
    QFile got(dir.filePath("outline.txt"));
    ASSERT_TRUE(got.open(QIODevice::WriteOnly));
    got.write(outline.join('\n').toUtf8() + '\n');
    got.close();
    ADD_FAILURE() << RunTool("diff", {"-u", golden, got.fileName()}).toStdString();
  }

  const LinkCounts links = CheckLinks(book);
  EXPECT_EQ(links.index, outline.filter(QRegularExpression("^  ")).size());
  EXPECT_EQ(links.units, 6);     // "mainform in 'mainform.pas'" and its two neighbours
  EXPECT_EQ(links.routines, 0);  // a project's book holds no lists of routines
  // Every use the references find in the units and the project file leads
  // to its declaration (a unit the project file names to its first page,
  // above), every listed declaration's name to its entry, every row of the
  // cross-reference to its place.
  const QStringList listed =
      RunTool(printtool::Program(),
              {"--list-xref", testsupport::sourceDir() + "/examples/inventory.dpr"})
          .split('\n');
  QStringList units;  // the declarations that are units, by number
  for (const QString &line : listed.filter(QRegularExpression("^D\t\\d+\tunit\t")))
    units << line.section('\t', 1, 1);
  int uses = 0, programUses = 0;
  for (const QString &line : listed.filter(QRegularExpression("^U\t"))) {
    const bool program = line.contains(QRegularExpression("inventory\\.dpr:"));
    if (program && units.contains(line.section('\t', 3, 3))) continue;
    ++uses;
    programUses += program;
  }
  EXPECT_GE(uses, 125);
  EXPECT_EQ(programUses, 2);  // TMainForm and Form1
  EXPECT_EQ(links.uses, uses);
  EXPECT_EQ(links.entries, 70);  // TStockList.Create, after "public", counts too
  EXPECT_GE(links.crossReference, 147);

  const QJsonObject catalog = book.object(book.trailer()["/Root"].toString());
  EXPECT_EQ(catalog["/PageMode"].toString(), "/UseOutlines");
  const QJsonObject info = book.object(book.trailer()["/Info"].toString());
  EXPECT_EQ(info["/Title"].toString(), "u:inventory.dpr");
  EXPECT_EQ(info["/Creator"].toString(),
            QStringLiteral("u:Scrivane ") + scrivane::ScrivaneVersion());
}

// A unit is a book too: its list of routines, its listing and its index,
// every row of the list and the index leading to its own pages.
TEST_F(Book, UnitAsABookLinksItsRoutinesAndIndexToItsOwnPages) {
  const QString pdf = dir.filePath("stock-book.pdf");
  const auto run =
      RunPrintTool({testsupport::sourceDir() + "/examples/stock.pas", "--all", "-o", pdf});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  const ReadBack book(pdf);
  QStringList documents;
  for (const QJsonValue &item : book.json["outlines"].toArray())
    documents << item["title"].toString();
  EXPECT_EQ(documents,
            QStringList({"stock.pas routines", "stock.pas", "Index", "Cross-reference"}));
  const LinkCounts links = CheckLinks(book);
  EXPECT_EQ(links.routines,
            17);               // every row of the list (CheckCode, of the implementation part, too)
  EXPECT_EQ(links.index, 17);  // every heading of the index (the nested Trace is none)
  EXPECT_EQ(links.units, 0);

  // Printed on its own, the index has nowhere to lead: no row is a link.
  const QString index = dir.filePath("stock-index.pdf");
  ASSERT_EQ(RunPrintTool({testsupport::sourceDir() + "/examples/stock.pas", "--document", "index",
                          "-o", index})
                .status,
            0);
  const ReadBack alone(index);
  for (const QJsonValue &a : alone.object(alone.pageObjects[0])["/Annots"].toArray())
    EXPECT_TRUE(alone.objects["obj:" + a.toString()]["value"].isNull())
        << a.toString().toStdString();

  const auto form =
      RunPrintTool({testsupport::sourceDir() + "/examples/mainform.dfm", "--all", "-o", pdf});
  EXPECT_EQ(form.status, 1);
  EXPECT_TRUE(form.err.contains("is a form file: --all prints a project or a unit as a book."))
      << form.err.toStdString();
}

// Several units given at once, one of them read from standard input, make
// one book: each unit after its routines, one index leading into both.
TEST_F(Book, SeveralUnitsAndStandardInputMakeOneBook) {
  const QByteArray piped =
      "unit Piped;\ninterface\nprocedure Flow;\nimplementation\nprocedure "
      "Flow;\nbegin\nend;\nend.\n";
  auto runWithInput = [&](const QStringList &args) {
    QProcess tool;
    tool.start(printtool::Program(), printtool::WithOwnSettings(args));
    tool.write(piped);
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(60000));
    printtool::ToolRun run{tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
                           QString::fromUtf8(tool.readAllStandardError())};
    return run;
  };
  const QString pdf = dir.filePath("two.pdf");
  const auto run = runWithInput({testsupport::sourceDir() + "/examples/stock.pas", "-", "-o", pdf});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("pages of stock.pas, stdin")) << run.err.toStdString();
  const ReadBack book(pdf);
  QStringList documents;
  for (const QJsonValue &item : book.json["outlines"].toArray())
    documents << item["title"].toString();
  EXPECT_EQ(documents, QStringList({"stock.pas routines", "stock.pas", "stdin routines", "stdin",
                                    "Index", "Cross-reference"}));
  EXPECT_EQ(CheckLinks(book).index, 18);  // stock.pas's 17 and Flow
  const auto named = runWithInput({"--routines", "-", "--name", "piped.pp"});
  EXPECT_EQ(named.status, 0) << named.err.toStdString();
  EXPECT_EQ(named.out, "procedure flow;\n");
}

TEST_F(Book, UnitAloneHasItsRoutinesAtTheTopOfTheOutline) {
  const QString pdf = dir.filePath("stock.pdf");
  const auto run = RunPrintTool({testsupport::sourceDir() + "/examples/stock.pas", "-o", pdf});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  const ReadBack book(pdf);
  const QJsonArray outline = book.json["outlines"].toArray();
  ASSERT_EQ(outline.size(), 17);
  EXPECT_EQ(outline[0]["title"].toString(), "function ValueOf (TValuation)");
  EXPECT_TRUE(outline[0]["kids"].toArray().isEmpty());
  EXPECT_EQ(book.label(book.pageObjects.size() - 1), QString::number(book.pageObjects.size()));
  EXPECT_EQ(book.object(book.trailer()["/Info"].toString())["/Title"].toString(), "u:stock.pas");
}

// A unit printed on its own (not as a book) links each name it declares
// itself to the declaration, and leads nowhere else: mainform.pas calls
// stock.pas, whose pages are not in its print. Every use the references
// find in it alone is a link, none is an empty one; both switches turn
// them off. joinedheader.pas has a routine header over three lines, a type
// on each, that the listing prints as one row; cutlines.pas has routines
// on one line each, printed on three rows that pages end among.
TEST_F(Book, UnitPrintedAloneLinksInsideItself) {
  for (const QString name : {"examples/stock.pas", "examples/mainform.pas",
                             "tests/xref/joinedheader.pas", "tests/xref/cutlines.pas"}) {
    const QString unit = testsupport::sourceDir() + '/' + name;
    const QString pdf = dir.filePath(QFileInfo(name).fileName() + ".pdf");
    const auto run = RunPrintTool({unit, "-o", pdf});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const LinkCounts links = CheckLinks(ReadBack(pdf));
    const QStringList uses =
        RunTool(printtool::Program(), {"--list-xref", unit}).split('\n').filter("U\t");
    EXPECT_GE(uses.size(), 10) << name.toStdString();
    EXPECT_EQ(links.uses, uses.size()) << name.toStdString();
    EXPECT_EQ(links.entries + links.index + links.routines + links.units, 0);
    for (const QStringList &off :
         {QStringList{"--no-cross-links"}, QStringList{"--set", "Switch.CrossLinks=0"}}) {
      ASSERT_EQ(RunPrintTool(QStringList{unit, "-o", pdf} + off).status, 0);
      const ReadBack plain(pdf);
      for (const QString &page : plain.pageObjects)
        EXPECT_TRUE(plain.object(page)["/Annots"].toArray().isEmpty())
            << off.join(' ').toStdString();
    }
  }
}

// Two or four pages on a sheet: every bookmark and link leads to the sheet
// that holds the page it led to, and a link still covers its row's words.
TEST_F(Book, BookmarksAndLinksFindTheirPageOnASheetOfSeveral) {
  struct Leads {
    QStringList outline;  // "title -> sheet", from 0
    QList<int> linkTargets;
    QList<QStringList> linkRows;
    int sheets = 0;
  };
  auto leads = [&](int perSheet) {
    const QString pdf = dir.filePath(QString("inventory-%1.pdf").arg(perSheet));
    const auto run = RunPrintTool({testsupport::sourceDir() + "/examples/inventory.dpr", "--all",
                                   "-o", pdf, "--pages-per-sheet", QString::number(perSheet)});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const ReadBack book(pdf);
    Leads found;
    found.sheets = int(book.pageObjects.size());
    std::function<void(const QJsonArray &)> walk = [&](const QJsonArray &items) {
      for (const QJsonValue &item : items) {
        found.outline << item["title"].toString() + " -> " +
                             QString::number(item["destpageposfrom1"].toInt() - 1);
        walk(item["kids"].toArray());
      }
    };
    walk(book.json["outlines"].toArray());
    for (int page = 0; page < book.pageObjects.size(); ++page)
      for (const QJsonValue &a : book.object(book.pageObjects[page])["/Annots"].toArray()) {
        const QJsonObject link = book.object(a.toString());
        found.linkTargets << int(book.pageObjects.indexOf(link["/Dest"].toArray()[0].toString()));
        found.linkRows << book.wordsIn(page, link["/Rect"].toArray());
      }
    return found;
  };
  const Leads single = leads(1);
  ASSERT_FALSE(single.outline.isEmpty());
  ASSERT_FALSE(single.linkTargets.isEmpty());
  for (const int perSheet : {2, 4}) {
    const Leads sheets = leads(perSheet);
    EXPECT_EQ(sheets.sheets, (single.sheets + perSheet - 1) / perSheet);
    QStringList expected;
    for (const QString &entry : single.outline)
      expected << entry.section(" -> ", 0, 0) + " -> " +
                      QString::number(entry.section(" -> ", 1).toInt() / perSheet);
    EXPECT_EQ(sheets.outline, expected) << perSheet;
    ASSERT_EQ(sheets.linkTargets.size(), single.linkTargets.size()) << perSheet;
    for (qsizetype i = 0; i < single.linkTargets.size(); ++i) {
      EXPECT_EQ(sheets.linkTargets[i], single.linkTargets[i] / perSheet)
          << perSheet << " link " << i;
      // Smaller type, same words: the rows' last words (unit, page) at
      // least; a name in the code, whose area is the name alone, the same
      // name (the reader may take the glued ";" or not).
      if (single.linkRows[i].size() <= 1) {
        const QRegularExpression notName("[^A-Za-z0-9_]");
        const QString one = single.linkRows[i].join(' ').remove(notName);
        const QString several = sheets.linkRows[i].join(' ').remove(notName);
        EXPECT_TRUE(one.contains(several) || several.contains(one))
            << perSheet << " link " << i << ": " << one.toStdString() << " "
            << several.toStdString();
        continue;
      }
      EXPECT_EQ(sheets.linkRows[i].mid(sheets.linkRows[i].size() - 2),
                single.linkRows[i].mid(single.linkRows[i].size() - 2))
          << perSheet << " link " << i;
    }
  }
}

TEST_F(Book, ProjectWithoutUnitsIsRefused) {
  QFile project(dir.filePath("empty.dpr"));
  ASSERT_TRUE(project.open(QIODevice::WriteOnly));
  project.write("program Empty;\nbegin\nend.\n");
  project.close();
  const QString pdf = dir.filePath("empty.pdf");
  const auto run = RunPrintTool({project.fileName(), "--all", "-o", pdf});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.trimmed(), "scrivane-print: " + project.fileName() +
                                   " lists no units. --document project prints the project file.");
  EXPECT_FALSE(QFileInfo::exists(pdf));
  // Units named but found nowhere (their search path is in a build script):
  // the message says which, rather than that there are none.
  QFile demo(dir.filePath("blur.dpr"));
  ASSERT_TRUE(demo.open(QIODevice::WriteOnly));
  demo.write("program blur;\nuses agg_basics, agg_ctrl, agg_color, agg_blur;\nbegin\nend.\n");
  demo.close();
  const auto named = RunPrintTool({demo.fileName(), "--all", "-o", pdf});
  EXPECT_EQ(named.status, 1);
  EXPECT_EQ(named.err.trimmed(),
            "scrivane-print: " + demo.fileName() +
                " lists no units: none of those its uses clause names (agg_basics, agg_ctrl, "
                "agg_color and 1 more) is in its folder or on a search path it declares. "
                "--document project prints the project file.");
}

// The rows of a page as printed: the number beside each (empty for none)
// and its first word.
QStringList NumberedRows(const QString &text) {
  QStringList rows;
  static const QRegularExpression row("^\\s*(?:(\\d+):)?\\s*(\\S+)");
  for (const QString &line : text.split('\n')) {
    const auto m = row.match(line);
    if (m.hasMatch()) rows.append(m.captured(1) + ' ' + m.captured(2));
  }
  return rows;
}

TEST_F(Book, FileLineNumbersStandBesideTheRowsThatStartASourceLine) {
  QFile unit(dir.filePath("lines.pas"));
  ASSERT_TRUE(unit.open(QIODevice::WriteOnly));
  const QByteArray longComment = "// " + QByteArray("words ").repeated(40);
  unit.write(
      "unit Lines;\ninterface\nprocedure Apply(x: Integer;\n  y: Integer);\nimplementation\n"
      "procedure Apply(x: Integer;\n  y: Integer);\nbegin if x > 0 then begin y := 1; end; end;\n" +
      longComment + "\nend.\n");
  unit.close();
  const QString pdf = dir.filePath("lines.pdf");
  const auto run = RunPrintTool({unit.fileName(), "--line-numbers", "file", "-o", pdf});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  // A joined header takes the number of its first line; block words moved
  // to rows of their own and the continuation of a wrapped row carry none.
  const QStringList expected = {"1 unit", "2 interface", "3 procedure", "5 implementation",
                                "6 procedure", "8 begin", " begin", " end;", " end;", "9 //",
                                " words", " words", "10 end.",
                                // the footer: the owner text and the page's number
                                " Scrivane"};
  EXPECT_EQ(NumberedRows(RunTool("pdftotext", {"-layout", pdf, "-"})).join('|'),
            expected.join('|'));

  const QString index = dir.filePath("index.pdf");
  ASSERT_EQ(
      RunPrintTool({unit.fileName(), "--document", "index", "--line-numbers", "file", "-o", index})
          .status,
      0);
  EXPECT_TRUE(RunTool("pdftotext", {"-layout", index, "-"})
                  .contains(QRegularExpression("Apply\\s+lines.pas\\s+6\\s+1")));

  // --header and --footer turn the furniture on with its usual items, the
  // text in the header's middle and, at the footer's left, in place of the
  // owner's name.
  const QString furnished = dir.filePath("furnished.pdf");
  ASSERT_EQ(
      RunPrintTool({unit.fileName(), "--header", "Review copy", "--footer", "", "-o", furnished})
          .status,
      0);
  const QString page = RunTool("pdftotext", {"-layout", furnished, "-"});
  EXPECT_TRUE(page.contains(QRegularExpression("lines.pas\\s+Review copy\\n")))
      << page.toStdString();
  EXPECT_TRUE(page.contains(QRegularExpression("\\n\\s+Page 1\\n"))) << page.toStdString();
}

}  // namespace

// The units are read a few ahead of the one printed; what reading a unit
// has to say still comes in the order of the units, before the pages line,
// and a unit that cannot be read is left out of the book and nothing else.
TEST_F(Book, ReadingMessagesComeInTheOrderOfTheUnits) {
  auto write = [&](const QString &name, const QByteArray &text) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  write("book.dpr",
        "program Book;\nuses One in 'one.pas', Two in 'two.pas', Three in 'three.pas', Four in "
        "'four.pas', Five in 'five.pas', Six in 'six.pas';\n"
        "begin\nend.\n");
  write("one.pas",
        "unit One;\ninterface\nprocedure A;\nimplementation\n{$I first.inc}\nprocedure "
        "A;\nbegin\nend;\nend.\n");
  write("three.pas", QByteArray("unit Three;\0\0\0binary", 21));
  write("four.pas",
        "unit Four;\ninterface\nprocedure D;\nimplementation\n{$I fourth.inc}\nprocedure "
        "D;\nbegin\nend;\nend.\n");
  write("five.pas", "unit Five;\ninterface\nimplementation\n{$I fifth.inc}\nend.\n");
  const QString pdf = dir.filePath("book.pdf");
  const auto run = RunPrintTool({dir.filePath("book.dpr"), "--all", "-o", pdf});
  EXPECT_EQ(run.status, 1) << run.err.toStdString();
  const QStringList lines = run.err.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 7) << run.err.toStdString();
  const char *expected[] = {"first.inc", "two.pas", "three.pas",        "fourth.inc",
                            "fifth.inc", "six.pas", "pages of book.dpr"};
  for (int i = 0; i < 7; ++i)
    EXPECT_TRUE(lines[i].contains(expected[i])) << i << ": " << lines[i].toStdString();
  const QString text = RunTool("pdftotext", {"-layout", pdf, "-"});
  EXPECT_LT(text.indexOf("unit One;"), text.indexOf("unit Four;"));
  EXPECT_LT(text.indexOf("unit Four;"), text.indexOf("unit Five;"));
  EXPECT_EQ(text.indexOf("unit Three"), -1);
}

// A unit opened by itself is read once for its book: what reading it has to
// say is said once, and its routines lead the book.
TEST_F(Book, AUnitsBookSaysItsReadingWarningsOnce) {
  QFile file(dir.filePath("one.pas"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "unit One;\ninterface\nprocedure A;\nimplementation\n{$I gone.inc}\nprocedure "
      "A;\nbegin\nend;\nend.\n");
  file.close();
  const QString pdf = dir.filePath("one.pdf");
  const auto run = RunPrintTool({dir.filePath("one.pas"), "--all", "-o", pdf});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.err.count("gone.inc"), 1) << run.err.toStdString();
  const QString text = RunTool("pdftotext", {"-layout", pdf, "-"});
  EXPECT_LT(text.indexOf("A;"), text.indexOf("unit One;"));
}
