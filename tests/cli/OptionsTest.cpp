// The option parser of scrivane-print: every form of every option, and the
// usage errors, word for word.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <climits>

#include "cli/Options.h"

namespace {
using namespace scrivane::cli;

Options Print(const QString &file = "a.pas", const QString &output = "x.pdf") {
  Options o;
  o.mode = CommandMode::Print;
  o.file = file;
  o.files = {file};
  o.outputPath = output;
  return o;
}
Options Listing(CommandMode mode, const QString &file) {
  Options o;
  o.mode = mode;
  o.file = file;
  o.files = {file};
  return o;
}
template <typename Change>
Options With(Options o, Change change) {
  change(o);
  return o;
}

TEST(Options, EveryFormOfEveryOption) {
  const Options units = Listing(CommandMode::Units, "p.dpr");
  const Options routines = Listing(CommandMode::Routines, "p.dpr");
  struct Row {
    QStringList args;
    Options expected;
  } rows[] = {
      {{"--help"}, Options{}},
      {{"-h"}, Options{}},
      {{"a.pas", "--help", "--document", "book"}, Options{}},
      {{"--version"}, With(Options{}, [](Options &o) { o.mode = CommandMode::Version; })},
      {{"--units", "p.dpr"}, units},
      {{"p.dpr", "--units"}, units},
      {{"--units=p.dpr"}, units},
      {{"--units", "--include-uses", "p.dpr"},
       With(units, [](Options &o) { o.includeUses = true; })},
      {{"--routines", "p.dpr"}, routines},
      {{"p.dpr", "--routines", "--unit", "stock"},
       With(routines, [](Options &o) { o.unitName = "stock"; })},
      {{"--routines", "p.dpr", "--unit=stock"},
       With(routines, [](Options &o) { o.unitName = "stock"; })},
      {{"--routines=p.dpr", "--include-uses"},
       With(routines, [](Options &o) { o.includeUses = true; })},
      {{"--form-text", "m.dfm"}, Listing(CommandMode::FormText, "m.dfm")},
      {{"m.dfm", "--form-text"}, Listing(CommandMode::FormText, "m.dfm")},
      {{"a.pas", "-o", "x.pdf"}, Print()},
      {{"-o", "x.pdf", "a.pas"}, Print()},
      {{"a.pas", "-ox.pdf"}, Print()},
      {{"a.pas", "--output", "x.pdf"}, Print()},
      {{"a.pas", "--output=x.pdf"}, Print()},
      {{"a.pas", "-o", "first.pdf", "-o", "x.pdf"}, Print()},
      {{"a.pas", "-o", "-"}, Print("a.pas", "-")},
      {{"-", "--name", "u.pp", "-o", "-"},
       With(Print("-", "-"), [](Options &o) { o.stdinName = "u.pp"; })},
      {{"--routines", "-"}, Listing(CommandMode::Routines, "-")},
      {{"a.pas", "-", "b.pp", "-o", "x.pdf"},
       With(Print(),
            [](Options &o) {
              o.files = {"a.pas", "-", "b.pp"};
              o.all = true;
            })},
      {{"-o", "x.pdf", "--", "-a.pas"}, Print("-a.pas")},
      {{"-o", "x.pdf", "--", "--units"}, Print("--units")},
      {{"a.pas", "-q", "-o", "x.pdf"}, With(Print(), [](Options &o) { o.quiet = true; })},
      {{"a.pas", "--quiet", "-o", "x.pdf"}, With(Print(), [](Options &o) { o.quiet = true; })},
      {{"a.pas", "-qo", "x.pdf"}, With(Print(), [](Options &o) { o.quiet = true; })},
      {{"a.pas", "-qox.pdf"}, With(Print(), [](Options &o) { o.quiet = true; })},
      {{"a.pas", "--include-uses", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.includeUses = true; })},
      {{"a.pas", "--unit", "stock", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.unitName = "stock"; })},
      {{"a.pas", "--document", "procedures", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.document = "procedures"; })},
      {{"a.pas", "--document=index", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.document = "index"; })},
      {{"a.pas", "--document", "project", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.document = "project"; })},
      {{"a.pas", "--document", "unit", "-o", "x.pdf"}, Print()},
      {{"p.dpr", "--all", "-o", "x.pdf"}, With(Print("p.dpr"), [](Options &o) { o.all = true; })},
      {{"a.pas", "--select", "procedure a;", "--select=function b: integer;", "-o", "x.pdf"},
       With(Print(),
            [](Options &o) {
              o.selects = {"procedure a;", "function b: integer;"};
            })},
      {{"a.pas", "--ini", "s.ini", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.iniPath = "s.ini"; })},
      {{"a.pas", "--ini=s.ini", "-o", "x.pdf"},
       With(Print(), [](Options &o) { o.iniPath = "s.ini"; })},
      {{"a.pas", "--set", "switch.lineno=1", "--set=Fonts.BName=Courier New", "--set",
        "Margins.Left=$0A", "-o", "x"},
       With(Print("a.pas", "x"),
            [](Options &o) {
              o.settings = {{"Switch", "LineNo", "1"},
                            {"Fonts", "BName", "Courier New"},
                            {"Margins", "Left", "$0A"}};
            })},
      {{"a.pas", "--set", "Title.Title1=", "-o", "x"},
       With(Print("a.pas", "x"),
            [](Options &o) {
              o.settings = {{"Title", "Title1", ""}};
            })},
      {{"a.pas", "--pages", "3-7,12", "-o", "x"},
       With(Print("a.pas", "x"),
            [](Options &o) {
              o.pages = {{3, 7}, {12, 12}};
            })},
      {{"a.pas", "--pages=5-", "-o", "x"},
       With(Print("a.pas", "x"),
            [](Options &o) {
              o.pages = {{5, INT_MAX}};
            })},
      {{"a.pas", "-P", "office"},
       With(Print("a.pas", ""), [](Options &o) { o.printer = "office"; })},
      {{"a.pas", "-Poffice", "--duplex", "long", "--copies=2"},
       With(Print("a.pas", ""),
            [](Options &o) {
              o.printer = "office";
              o.duplex = "long";
              o.copies = 2;
            })},
      {{"--printer=office", "--duplex=short", "a.pas", "--copies", "999"},
       With(Print("a.pas", ""),
            [](Options &o) {
              o.printer = "office";
              o.duplex = "short";
              o.copies = 999;
            })},
      {{"a.pas", "--paper", "Letter", "-o", "x"},
       With(Print("a.pas", "x"), [](Options &o) { o.paper = "letter"; })},
      {{"a.pas", "--pages-per-sheet", "2", "-o", "x"},
       With(Print("a.pas", "x"), [](Options &o) { o.pagesPerSheet = 2; })},
      {{"--pages-per-sheet=4", "a.pas", "-o", "x"},
       With(Print("a.pas", "x"), [](Options &o) { o.pagesPerSheet = 4; })},
      {{"a.pas", "--pages", "2", "--pages", "1,1", "-o", "x"},
       With(Print("a.pas", "x"),
            [](Options &o) {
              o.pages = {{1, 1}, {1, 1}};
            })},
      {{"a.pas", "--line-numbers", "file", "--header", "", "--footer=Draft", "-o", "x"},
       With(Print("a.pas", "x"),
            [](Options &o) {
              o.lineNumbers = "file";
              o.header = "";
              o.footer = "Draft";
            })},
  };
  for (const Row &row : rows) {
    const ParsedOptions parsed = ParseOptions(row.args);
    const std::string args = row.args.join(' ').toStdString();
    EXPECT_TRUE(parsed.ok) << args << ": " << parsed.error.toStdString();
    EXPECT_TRUE(parsed.options == row.expected) << args;
  }
}

TEST(Options, UsageErrorsSayWhatIsWrong) {
  struct Row {
    QStringList args;
    QString error;
  } rows[] = {
      {{}, "no file given"},
      {{"-o", "x.pdf"}, "no file given"},
      {{"--units", "a.pas", "b.pas"}, "only one file may be given to --units"},
      {{"a.pas", "-", "-", "-o", "x.pdf"}, "standard input (-) can be read once"},
      {{"--form-text", "-"}, "--form-text reads a form file, not standard input"},
      {{"a.pas", "--name", "u.pas", "-o", "x.pdf"},
       "--name names the unit read from standard input: give - as a FILE"},
      {{"-", "--name", "../u.pas", "-o", "x.pdf"},
       "--name takes a file name without folders, not '../u.pas'"},
      {{"a.pas", "b.pas", "--select", "p;", "-o", "x.pdf"},
       "several files print as one book: no --document, --unit or --select"},
      {{"--units"}, "--units needs a file"},
      {{"--form-text"}, "--form-text needs a file"},
      {{"--units", "--routines", "a.pas"},
       "--units, --routines, --form-text and --list-xref exclude each other"},
      {{"a.pas"}, "printing needs -o OUT.pdf or -P QUEUE (lpstat -p lists the printers)"},
      {{"a.pas", "-o", "x.pdf", "-P", "office"},
       "-o and -P exclude each other: print to a file or to a printer"},
      {{"a.pas", "-o", "x.pdf", "--duplex", "long"},
       "--duplex and --copies belong to printing on a printer (-P QUEUE)"},
      {{"a.pas", "-o", "x.pdf", "--copies", "2"},
       "--duplex and --copies belong to printing on a printer (-P QUEUE)"},
      {{"a.pas", "-P", "office", "--copies", "0"},
       "--copies takes a number from 1 to 999, not '0'"},
      {{"a.pas", "-P", "office", "--copies", "two"},
       "--copies takes a number from 1 to 999, not 'two'"},
      {{"a.pas", "-P", "office", "--duplex", "both"},
       "unknown --duplex value 'both' (long or short)"},
      {{"a.pas", "--paper", "b4", "-o", "x"},
       "unknown --paper value 'b4' (a4, letter, legal, a3 or a5)"},
      {{"--units", "a.pas", "-P", "office"}, "--printer belongs to printing"},
      {{"a.pas", "-o"}, "Missing value after '-o'."},
      {{"a.pas", "--unit"}, "Missing value after '--unit'."},
      {{"a.pas", "--bogus", "-o", "x.pdf"}, "Unknown option 'bogus'."},
      {{"a.pas", "-x", "-o", "x.pdf"}, "Unknown option 'x'."},
      {{"p.dpr", "--all=yes", "-o", "x.pdf"}, "Unexpected value after '--all'."},
      {{"--units", "a.pas", "--select", "x"}, "--select belongs to printing"},
      {{"--routines", "a.pas", "-o", "x.pdf"}, "--output belongs to printing"},
      {{"--units", "a.pas", "--ini", "s.ini"}, "--ini belongs to printing"},
      {{"--units", "a.pas", "--document", "unit"}, "--document belongs to printing"},
      {{"--units", "a.pas", "--all"}, "--all belongs to printing"},
      {{"--units", "a.pas", "-q"}, "--quiet belongs to printing"},
      {{"--units", "a.pas", "--unit", "x"}, "--unit does not apply to --units"},
      {{"--form-text", "a.dfm", "--unit", "x"}, "--unit does not apply to --form-text"},
      {{"--form-text", "a.dfm", "--include-uses"}, "--include-uses does not apply to --form-text"},
      {{"a.pas", "--document", "book", "-o", "x.pdf"},
       "unknown --document value 'book' (unit, procedures, project, index or xref)"},
      {{"p.dpr", "--all", "--unit", "x", "-o", "x.pdf"},
       "--all prints every document of the project: no --document, --unit or --select"},
      {{"p.dpr", "--all", "--document", "index", "-o", "x.pdf"},
       "--all prints every document of the project: no --document, --unit or --select"},
      {{"a.pas", "--select", "p;", "--document", "index", "-o", "x.pdf"},
       "--select belongs to the unit listing"},
      {{"a.pas", "--select", " ", "-o", "x.pdf"},
       "--select needs the text of a routine as --routines lists it, not an empty one"},
      {{"a.pas", "--unit=", "-o", "x.pdf"}, "--unit needs a value, not an empty one"},
      {{"a.pas", "-o", ""}, "-o needs a value, not an empty one"},
      {{"a.pas", "--set", "LineNo=1", "-o", "x"},
       "--set takes SECTION.KEY=VALUE (Switch.LineNo=1), not 'LineNo=1'"},
      {{"a.pas", "--set", "Switch.LineNo", "-o", "x"},
       "--set takes SECTION.KEY=VALUE (Switch.LineNo=1), not 'Switch.LineNo'"},
      {{"a.pas", "--set", "Switch.LineNumbers=1", "-o", "x"},
       "--set Switch.LineNumbers: scrivn.ini has no such setting"},
      {{"a.pas", "--set", "Switch.lineno=yes", "-o", "x"},
       "--set Switch.LineNo: 'yes' is not a whole number"},
      {{"a.pas", "--set", "Title.Title2=" + QString(36, 'x'), "-o", "x"},
       "--set Title.Title2: at most 35 characters"},
      {{"--units", "a.pas", "--set", "Switch.LineNo=1"}, "--set belongs to printing"},
      {{"a.pas", "--line-numbers", "source", "-o", "x"},
       "unknown --line-numbers value 'source' (file, rows or off)"},
      {{"--units", "a.pas", "--header", "x"}, "--header belongs to printing"},
      {{"a.pas", "--pages", "0", "-o", "x"},
       "--pages takes page numbers and ranges such as 3-7,12 or 5- (pages count from 1), not '0'"},
      {{"a.pas", "--pages", "7-3", "-o", "x"},
       "--pages takes page numbers and ranges such as 3-7,12 or 5- (pages count from 1), not "
       "'7-3'"},
      {{"a.pas", "--pages", "1,,2", "-o", "x"},
       "--pages takes page numbers and ranges such as 3-7,12 or 5- (pages count from 1), not "
       "'1,,2'"},
      {{"a.pas", "--pages-per-sheet", "3", "-o", "x"},
       "--pages-per-sheet takes 1, 2 or 4, not '3'"},
      {{"--units", "a.pas", "--pages-per-sheet", "2"}, "--pages-per-sheet belongs to printing"},
      {{"a.pas", "--pages", "-3", "-o", "x"},
       "--pages takes page numbers and ranges such as 3-7,12 or 5- (pages count from 1), not '-3'"},
  };
  for (const Row &row : rows) {
    const ParsedOptions parsed = ParseOptions(row.args);
    EXPECT_FALSE(parsed.ok) << row.args.join(' ').toStdString();
    EXPECT_EQ(parsed.error, row.error) << row.args.join(' ').toStdString();
  }
}

// The help lists each option on one line of its own; the option table of the
// README names the same options, no more and no fewer.
TEST(Options, HelpAndReadmeListTheSameOptions) {
  const QStringList help = UsageText().split('\n');
  for (const QString &name : OptionNames()) {
    const auto lines = help.filter(
        QRegularExpression("^  (-\\w, )?" + QRegularExpression::escape(name) + "(?![\\w-])"));
    EXPECT_EQ(lines.size(), 1) << name.toStdString();
  }
  QFile readme(QStringLiteral(SCRIVANE_SOURCE_DIR) + "/README.md");
  ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(readme.readAll());
  const qsizetype start = text.indexOf("\n## Command line");
  ASSERT_GE(start, 0);
  const QString section = text.mid(start, text.indexOf("\n## ", start + 1) - start);
  QStringList documented;
  for (const QString &line : section.split('\n').filter(QRegularExpression("^\\| `-")))
    for (const auto &match :
         QRegularExpression("`(--?[a-zA-Z][a-z-]*)").globalMatch(line.section('|', 1, 1)))
      documented << match.captured(1);
  documented.removeDuplicates();
  for (const QString &name : OptionNames())
    EXPECT_TRUE(documented.contains(name)) << "README does not name " << name.toStdString();
  for (const QString &name : documented)
    EXPECT_TRUE(OptionNames().contains(name))
        << "README names " << name.toStdString() << ", which --help does not list";

  // So does the OPTIONS section of the man page, one .TP entry each.
  QFile man(QStringLiteral(SCRIVANE_SOURCE_DIR) + "/docs/man/scrivane-print.1");
  ASSERT_TRUE(man.open(QIODevice::ReadOnly));
  const QStringList manLines = QString::fromUtf8(man.readAll()).split('\n');
  QStringList inMan;
  bool inOptions = false;
  for (qsizetype i = 0; i + 1 < manLines.size(); ++i) {
    if (manLines[i].startsWith(".SH")) inOptions = manLines[i] == ".SH OPTIONS";
    if (!inOptions || manLines[i] != ".TP") continue;
    const QString entry = QString(manLines[i + 1]).replace("\\-", "-");
    for (const auto &match :
         QRegularExpression("(?<![\\w-])(--?[a-zA-Z][a-z-]*)").globalMatch(entry))
      inMan << match.captured(1);
  }
  inMan.sort();
  QStringList listed = OptionNames();
  listed.sort();
  EXPECT_EQ(inMan, listed);
}

}  // namespace
