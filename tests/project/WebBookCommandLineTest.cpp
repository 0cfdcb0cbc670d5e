// The web book beside the PDF of the same unit: the numbers beside the rows
// are the paper's, and the file's blanks inside a string stay the file's.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "project/PrintTool.h"
#include "support/RunTool.h"

namespace {
using printtool::RunPrintTool;

QStringList Matches(const QString &text, const QString &pattern) {
  QStringList found;
  auto it = QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text);
  while (it.hasNext()) found << it.next().captured(1);
  return found;
}

QString ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
}  // namespace

TEST(WebBookCommandLine, RowsShowThePapersNumbersAndStringsKeepTheirTabs) {
  QTemporaryDir dir;
  const QString unit = dir.filePath(QStringLiteral("tabs.pas"));
  {
    QFile file(unit);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Blank rows come before sections, the tabs sit inside a string, and
    // a line too long for its row wraps over three.
    QByteArray words;
    for (char c = 'a'; c <= 'z'; ++c) words += QByteArray(7, c) + ' ';
    file.write("unit tabs;\ninterface\nconst\n  S = 'a\tb\t\tc';\n  T = 2;\n  W = '" + words +
               "';\n\n\nimplementation\nvar\n  V: Integer;\nbegin\n  V := 1;\nend.\n");
  }
  const struct {
    const char *layout, *numbers;
  } rows[] = {
      {"recomputed", "file"}, {"recomputed", "rows"}, {"source", "file"}, {"source", "rows"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.layout) + " " + row.numbers);
    const QStringList options{"--layout", row.layout, "--line-numbers", row.numbers};
    const QString pdf = dir.filePath(QStringLiteral("tabs.pdf"));
    const QString web = dir.filePath(QStringLiteral("%1-%2").arg(row.layout, row.numbers));
    ASSERT_EQ(RunPrintTool(QStringList{unit, "-o", pdf} << options).status, 0);
    ASSERT_EQ(RunPrintTool(QStringList{unit, "--format", "html", "-o", web} << options).status, 0);
    const QString html = ReadAll(web + QStringLiteral("/index.html"));
    const QString paper = testsupport::RunTool("pdftotext", {"-layout", pdf, "-"});
    // Every row the paper numbers, a wrapped line's too, has its number.
    EXPECT_EQ(Matches(html, QStringLiteral("data-n=\"(\\d+)\"")),
              Matches(paper, QStringLiteral("^\\s*(\\d+):")));
    const QStringList wrapped = Matches(paper, QStringLiteral("^([^\\n]*zzzzzzz[^\\n]*)$"));
    ASSERT_EQ(wrapped.size(), 1);
    EXPECT_FALSE(wrapped[0].contains(QStringLiteral("aaaaaaa"))) << paper.toStdString();
    // The anchors stay the file's lines whatever the numbers shown.
    EXPECT_EQ(Matches(html, QStringLiteral(" id=\"L(\\d+)\"")).size(), 14);
    EXPECT_TRUE(html.contains(QStringLiteral("&#39;a\tb\t\tc&#39;"))) << html.toStdString();
  }
}

// A line too long for its row wraps on paper onto rows that show no
// number; on the page it is one row with one number, which the browser
// wraps, and its text is the line's (the number is no text to copy).
TEST(WebBookCommandLine, AWrappedLineShowsItsNumberOnceAsOnPaper) {
  QTemporaryDir dir;
  const QString unit = dir.filePath(QStringLiteral("wrap.pas"));
  QByteArray words;
  for (char c = 'a'; c <= 'z'; ++c) words += QByteArray(5, c) + ' ';
  {
    QFile file(unit);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("unit wrap;\ninterface\nconst\n  Long = '" + words +
               "';\n  B = 1;\nimplementation\nend.\n");
  }
  const QString pdf = dir.filePath(QStringLiteral("wrap.pdf"));
  const QString web = dir.filePath(QStringLiteral("web"));
  const QStringList options{"--line-numbers", "file"};
  ASSERT_EQ(RunPrintTool(QStringList{unit, "-o", pdf} << options).status, 0);
  ASSERT_EQ(RunPrintTool(QStringList{unit, "--format", "html", "-o", web} << options).status, 0);
  const QString paper = testsupport::RunTool("pdftotext", {"-layout", pdf, "-"});
  const QString html = ReadAll(web + QStringLiteral("/index.html"));
  // The paper wraps it: the row that ends it shows no number.
  EXPECT_EQ(Matches(paper, QStringLiteral("^(\\s+[^\\d\\s][^\\n]*zzzzz)")).size(), 1)
      << paper.toStdString();
  EXPECT_EQ(Matches(html, QStringLiteral("data-n=\"(\\d+)\"")),
            Matches(paper, QStringLiteral("^\\s*(\\d+):")));
  const QStringList row = Matches(html, QStringLiteral("(<div class=\"r\" id=\"L4\".*)</div>"));
  ASSERT_EQ(row.size(), 1);
  EXPECT_TRUE(row[0].contains(QStringLiteral("aaaaa")) && row[0].contains(QStringLiteral("zzzzz")));
}

// Each document asked for is the page written, with the pages its links
// lead to: --document xref wrote the unit's listing alone, no
// cross-reference at all.
TEST(WebBookCommandLine, EachDocumentWritesItsOwnPageAndThoseItLeadsTo) {
  QTemporaryDir dir;
  const QString unit = dir.filePath(QStringLiteral("u.pas"));
  {
    QFile file(unit);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "unit u;\ninterface\nprocedure Foo;\nimplementation\nprocedure Bar;\nbegin\n"
        "  Foo;\nend;\nprocedure Foo;\nbegin\n  Bar;\nend;\nend.\n");
  }
  const struct {
    const char *document;
    QStringList pages;          // empty: refused
    const char *holder, *link;  // a page, and a link it holds
  } rows[] = {
      {"unit", {"index.html"}, "index.html", "#L9"},
      {"procedures", {"index.html", "u.pas.html"}, "index.html", "u.pas.html#L9"},
      {"xref", {"Cross-reference.html", "index.html"}, "Cross-reference.html", "index.html#L5"},
      {"index", {}, nullptr, nullptr},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.document);
    const QString web = dir.filePath(QString::fromLatin1(row.document));
    const auto run =
        RunPrintTool({unit, "--format", "html", "--document", row.document, "-o", web});
    EXPECT_EQ(run.status, row.pages.isEmpty() ? 1 : 0) << run.err.toStdString();
    EXPECT_EQ(QDir(web).entryList({"*.html"}, QDir::Files, QDir::Name), row.pages);
    if (row.holder)
      EXPECT_TRUE(ReadAll(web + u'/' + QString::fromLatin1(row.holder))
                      .contains(QStringLiteral("href=\"%1\"").arg(QString::fromLatin1(row.link))));
  }
}
