// The web book's pages: hostile text and names come out as text, page
// names are safe file names, and the output folder is written only where
// nothing is lost.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "format/FormatSettings.h"
#include "platform/ReplacingFile.h"
#include "platform/TextEncoding.h"
#include "print/QtTextMeasurer.h"
#include "web/WebBook.h"

using namespace scrivane;

TEST(WebPages, EveryHostileTextIsEscaped) {
  const struct {
    QString text, escaped;
  } rows[] = {
      {QStringLiteral("</pre><script>alert(1)</script>"),
       QStringLiteral("&lt;/pre&gt;&lt;script&gt;alert(1)&lt;/script&gt;")},
      {QStringLiteral("<img src=x onerror=alert(1)>.pas"),
       QStringLiteral("&lt;img src=x onerror=alert(1)&gt;.pas")},
      {QStringLiteral("a\" onclick=\"x' b"), QStringLiteral("a&quot; onclick=&quot;x&#39; b")},
      {QStringLiteral("&amp; &#60;"), QStringLiteral("&amp;amp; &amp;#60;")},
      {QStringLiteral("nul\x01"
                      "bell\x07"
                      "tab\tend"),
       QStringLiteral("nul\uFFFDbell\uFFFDtab\tend")},
      {QString(QChar(0xD800)) + QStringLiteral("lone"), QStringLiteral("\uFFFDlone")},
      {QStringLiteral("caf\u00e9 \U0001F600"), QStringLiteral("caf\u00e9 \U0001F600")},
  };
  for (const auto &row : rows)
    EXPECT_EQ(EscapeHtml(row.text), row.escaped) << row.text.toStdString();
}

TEST(WebPages, PageNamesAreSafeFileNames) {
  const struct {
    QString title, name;
  } rows[] = {
      {QStringLiteral("stock.pas"), QStringLiteral("stock.pas.html")},
      {QStringLiteral("<img src=x onerror=alert(1)>.pas"),
       QStringLiteral("_img_src_x_onerror_alert_1__.pas.html")},
      {QStringLiteral("../../etc/passwd"), QStringLiteral("_.._etc_passwd.html")},
      {QStringLiteral(".hidden"), QStringLiteral("hidden.html")},
      {QString(), QStringLiteral("page.html")},
  };
  for (const auto &row : rows)
    EXPECT_EQ(WebPageName(row.title), row.name) << row.title.toStdString();
}

TEST(WebPages, TheFolderIsWrittenOnlyWhereNothingIsLost) {
  QTemporaryDir dir;
  const QString root = dir.path();
  QDir(root).mkpath(QStringLiteral("empty"));
  QDir(root).mkpath(QStringLiteral("others"));
  QFile(root + QStringLiteral("/others/notes.txt")).open(QIODevice::WriteOnly);
  QDir(root).mkpath(QStringLiteral("earlier"));
  QFile(root + QStringLiteral("/earlier/x.html")).open(QIODevice::WriteOnly);
  QFile(root + QStringLiteral("/earlier/") + QLatin1String(kWebBookMarker))
      .open(QIODevice::WriteOnly);
  QFile(root + QStringLiteral("/file")).open(QIODevice::WriteOnly);
  QFile::link(root + QStringLiteral("/empty"), root + QStringLiteral("/link"));
  const struct {
    const char *folder;
    bool force, allowed;
  } rows[] = {
      {"new/deeper", false, true}, {"empty", false, true}, {"earlier", false, true},
      {"others", false, false},    {"others", true, true}, {"file", true, false},
      {"link", true, false},
  };
  for (const auto &row : rows)
    EXPECT_EQ(PrepareWebFolder(root + u'/' + QLatin1String(row.folder), row.force).isEmpty(),
              row.allowed)
        << row.folder << " force " << row.force;
}

namespace {

// The book of one document written to a folder of its own: its index page,
// empty when it could not be written.
QByteArray IndexPageOf(const WebDocument &document) {
  QTemporaryDir dir;
  QString error;
  if (!WriteWebBook({document}, FormatSettings{}, WebBookOptions{dir.path(), document.title},
                    &error)) {
    ADD_FAILURE() << error.toStdString();
    return {};
  }
  QFile page(dir.filePath(QStringLiteral("index.html")));
  return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
}

}  // namespace

TEST(WebPages, ARecordedHostileUnitWritesNoMarkup) {
  WebDocument document;
  document.title = QStringLiteral("<img src=x onerror=alert(1)>.pas");
  document.listing = true;
  WebRow row;
  row.fileLine = 4;
  WebPiece piece;
  piece.text = QStringLiteral("'</pre><script>alert(1)</script>'");
  piece.kind = WordClass::String;
  row.pieces.push_back(piece);
  document.rows.push_back(row);
  const QByteArray html = IndexPageOf(document);
  ASSERT_FALSE(html.isEmpty());
  EXPECT_FALSE(html.contains("<script")) << html.constData();
  EXPECT_FALSE(html.contains("<img")) << html.constData();
  EXPECT_TRUE(html.contains("id=\"L4\""));
  EXPECT_TRUE(html.contains("&lt;/pre&gt;&lt;script&gt;"));
}

// Brackets nested past the paper's edge are not drawn, so a unit nested
// thousands deep makes a page that grows with its rows, not with their
// square; those within it are all drawn, opened and closed on their rows.
TEST(WebPages, DeepBracketsDrawOnlyTheOutermost) {
  WebDocument document;
  document.title = QStringLiteral("deep.pas");
  document.listing = true;
  constexpr int kDepth = 3000;
  for (int line = 1; line <= 2 * kDepth; ++line) {
    WebRow row;
    row.fileLine = line;
    row.opens = line <= kDepth ? 1 : 0;
    row.closes = line > kDepth ? 1 : 0;
    row.bracket = 2.0 * std::min(line, 2 * kDepth + 1 - line);
    WebPiece piece;
    piece.text = QStringLiteral("begin");
    piece.kind = WordClass::Reserved;
    row.pieces.push_back(piece);
    document.rows.push_back(row);
  }
  const QByteArray html = IndexPageOf(document);
  ASSERT_FALSE(html.isEmpty());
  // Row n of the first half carries min(n, 64) brackets, the second half
  // the same back down.
  qsizetype expected = 0;
  for (int line = 1; line <= 2 * kDepth; ++line)
    expected += std::min(line <= kDepth ? line : 2 * kDepth + 1 - line, 64);
  EXPECT_EQ(html.count("<i class=\"b k"), expected);
  EXPECT_EQ(html.count(" o\"></i>"), 64);
  EXPECT_EQ(html.count(" c\"></i>"), 64);
}

// A listing's word goes into its page from its bytes as drawn, as
// DecodeText and EscapeHtml make them: every single byte and random words of
// the bytes at the edges (C1 controls, a byte order mark, broken UTF-8).
TEST(WebPages, AListingWordIsWrittenAsItsBytesDecode) {
  std::vector<std::pair<std::string, TextEncoding>> words;
  std::mt19937 random(42);
  const char edges[] = "a<&'\"\x01\t\x7F\x80\x81\x85\x9F\xA0\xBB\xBF\xC2\xD0\xE0\xED\xEF\xF0\xFF";
  for (int k = 0; k < 1500; ++k) {  // each byte in both encodings, then random words
    std::string word(k < 512 ? 1 : 1 + random() % 8, char(k));
    if (k >= 512)
      for (char &c : word) c = edges[random() % (sizeof edges - 1)];
    words.push_back(
        {word, (k < 512 ? k < 256 : k % 2) ? TextEncoding::Utf8 : TextEncoding::Windows1252});
  }
  WebDocument document;
  document.listing = true;
  for (const auto &[bytes, encoding] : words) {
    WebRow &row = (document.rows.emplace_back(), document.rows.back());
    row.fileLine = int(document.rows.size());
    row.bytes = bytes;
    WebPiece &piece = (row.pieces.emplace_back(), row.pieces.back());
    piece.size = std::uint32_t(bytes.size());
    piece.encoding = encoding;
    piece.kind = WordClass::Comment;
  }
  QTemporaryDir dir;
  QString error;
  ASSERT_TRUE(WriteWebBook({document}, FormatSettings{}, WebBookOptions{dir.path(), "w"}, &error));
  QFile file(dir.filePath(QStringLiteral("index.html")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray page = file.readAll();
  for (size_t w = 0; w < words.size(); ++w) {
    const QByteArrayView bytes(words[w].first.data(), qsizetype(words[w].first.size()));
    const QByteArray written = EscapeHtml(DecodeText(bytes, words[w].second)).toUtf8();
    const qsizetype at = page.indexOf("id=\"L" + QByteArray::number(qsizetype(w) + 1) + "\"");
    const QByteArray row = page.sliced(at, page.indexOf("</div>", at) - at);
    EXPECT_TRUE(row.contains("\"cm\">" + written + "</span>")) << w << ": " << row.constData();
  }
}

// A word's width as the layout measured it, with the blanks drawn after it,
// stands for the writing thread's own measure (less those blanks).
TEST(WebPages, AWordsToldWidthIsItsMeasure) {
  QtTextMeasurer measurer(600);
  const std::vector<FontSpec> fonts{FontSpec{}, FontSpec{QStringLiteral("Courier New"), 9, 1}};
  for (const char *drawn :
       {"Word ", "\xD0\x9F\xD1\x80\xD0\xB8 ", "\xD1\x8F\xD0\xB7   ", "\xF0\x9F\x98\x80x"})
    for (std::uint16_t font = 0; font < fonts.size(); ++font) {
      WebRow measured;
      measured.bytes = drawn;
      const auto blanks = std::uint32_t(std::strspn(drawn + std::strcspn(drawn, " "), " "));
      WebPiece &piece = (measured.pieces.emplace_back(), measured.pieces.back());
      piece.blanksAfter = blanks;
      piece.size = std::uint32_t(std::strlen(drawn)) - blanks;
      piece.font = font;
      piece.encoding = TextEncoding::Utf8;
      WebRow told = measured;
      told.pieces[0].drawnWidth = measurer.textWidthIn(fonts[font], drawn, TextEncoding::Utf8);
      WebFontWidths first, second;
      MeasureWebRow(measured, measurer, fonts, first);
      MeasureWebRow(told, measurer, fonts, second);
      EXPECT_EQ(told.pieces[0].width, measured.pieces[0].width) << drawn;
      EXPECT_GT(told.pieces[0].width, 0) << drawn;
    }
}

// A name in the code links to the row its place was reported on, on any
// page; a place never printed gives no link (and no dead one), and the
// stylesheet styles code links only in a book that has them.
TEST(WebPages, ANameLinksOnlyToAPlaceThatWasPrinted) {
  auto listing = [](const char *title, int line, const char *anchor) {
    WebDocument document;
    document.title = QLatin1String(title);
    document.listing = true;
    WebRow row;
    row.fileLine = line;
    if (*anchor) row.anchors.push_back(anchor);
    document.rows.push_back(row);
    return document;
  };
  WebDocuments documents{listing("a.pas", 1, ""), listing("b.pas", 7, "x1:7")};
  const struct {
    const char *word, *key, *written;
  } rows[] = {
      {"Here", "x1:7", "<a href=\"b.pas.html#L7\">Here</a>"},
      {"Nowhere", "x2:1", "</a> Nowhere</span>"},  // no link, in the span "Here" opened
  };
  for (const auto &row : rows) {
    WebPiece piece;
    piece.text = QLatin1String(row.word);
    piece.kind = WordClass::Identifier;
    piece.x = 20 * int(documents[0].rows[0].pieces.size());
    piece.width = piece.blankWidth = 10;
    piece.link = row.key;
    documents[0].rows[0].pieces.push_back(piece);
  }
  QTemporaryDir dir;
  QString error;
  ASSERT_TRUE(WriteWebBook(documents, FormatSettings{}, WebBookOptions{dir.path(), "a"}, &error));
  auto read = [&](const char *name) {
    QFile file(dir.filePath(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  const QByteArray page = read("index.html");
  for (const auto &row : rows) EXPECT_TRUE(page.contains(row.written)) << page.constData();
  EXPECT_EQ(page.count("<a href=\"b.pas.html"), 2);  // the word and the contents
  EXPECT_TRUE(read("scrivane.css").contains(".t a{"));

  documents[0].rows[0].pieces.clear();
  ASSERT_TRUE(WriteWebBook(documents, FormatSettings{}, WebBookOptions{dir.path(), "a"}, &error));
  EXPECT_FALSE(read("scrivane.css").contains(".t a{"));
}

// The book's files replace an earlier book's together or not at all: a
// disk that fills up on the last page leaves every earlier page as it was.
TEST(WebPages, AFailedPageLeavesTheEarlierBookWhole) {
  auto document = [](const char *title, const char *word) {
    WebDocument d;
    d.title = QLatin1String(title);
    WebRow row;
    WebPiece piece;
    piece.text = QLatin1String(word);
    row.pieces.push_back(piece);
    d.rows.push_back(row);
    return d;
  };
  QTemporaryDir dir;
  QString error;
  const WebBookOptions options{dir.path(), QStringLiteral("book")};
  ASSERT_TRUE(WriteWebBook({document("a", "Old"), document("b", "Old")}, {}, options, &error));
  SetWriteFailureHook(
      [](const QString &path, qint64) { return path.endsWith("b.html") ? ENOSPC : 0; });
  EXPECT_FALSE(WriteWebBook({document("a", "New"), document("b", "New")}, {}, options, &error));
  SetWriteFailureHook({});
  EXPECT_TRUE(error.contains(QStringLiteral("b.html"))) << error.toStdString();
  for (const char *page : {"index.html", "b.html"}) {
    QFile file(dir.filePath(QLatin1String(page)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(">Old<")) << page;
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);  // no temporaries
}

// A table that told its columns (the index, the cross-reference) puts each
// text in its column's cell, whatever the row holds before it: a unit's
// name wrapped onto a row of its own stands under the units, a number set
// right under its column, a wrapped text keeping its room from its column's left;
// a row's link is on its name, not on the kind that starts the row nor on
// a unit's name wrapped under it.
TEST(WebPages, ATextStandsInTheColumnItsMiddleIsIn) {
  WebDocument target;
  target.title = QStringLiteral("b.pas");
  target.listing = true;
  target.rows.push_back(WebRow{});
  target.rows.back().fileLine = 7;
  target.rows.back().anchors.push_back("x1:7");
  WebDocument table;
  table.title = QStringLiteral("Cross-reference");
  table.columns = {0, 100, 300, 520, 570};
  table.linkedColumn = 1;
  table.pointsPerPixel = 0.75;
  table.setRightFrom = 3;
  // x, width, text, link, and 1 or 2 where it goes on with the text above
  // it in its column (a wrapped name): straight on, or after a blank.
  const struct {
    std::vector<std::tuple<int, int, const char *, const char *, int>> pieces;
    const char *written;  // null: its texts joined those above it, and it is no row
  } rows[] = {
      {{{0, 50, "function", "x1:7", 0},
        {100, 80, "Foo (TBar)", "x1:7", 0},
        {300, 40, "a.pp/", "x1:7", 0},
        {540, 16, "12", "", 0},
        {600, 8, "3", "", 0}},
       "<td>function</td><td><a href=\"index.html#L7\">Foo (TBar)</a></td><td>a.pp/</td>"
       "<td>12</td><td>3</td></tr>"},
      {{{310, 40, "b.inc", "x1:7", 0}}, "<td></td><td></td><td class=\"c0\">b.inc</td></tr>"},
      {{{110, 30, "12/3", "", 0}, {145, 30, "14/3", "", 0}, {300, 30, "a.pp", "", 0}},
       "<td></td><td class=\"c0\">12/3 14/3</td><td>a.pp</td></tr>"},
      {{{524, 40, "1234", "", 0}}, "<td></td><td></td><td></td><td>1234</td></tr>"},
      {{{0, 50, "procedure", "x1:7", 0},
        {100, 190, "FindUnitNameAndO", "x1:7", 0},
        {300, 40, "c.pp/", "", 0},
        {540, 16, "5", "", 0}},
       "<td>procedure</td><td><a href=\"index.html#L7\">FindUnitNameAndOrder (TUnitFinder)</a></td>"
       "<td>c.pp/units.inc</td><td>5</td></tr>"},
      {{{110, 40, "rder", "x1:7", 1}, {310, 40, "units.inc", "", 1}}, nullptr},
      {{{110, 90, "(TUnitFinder)", "x1:7", 2}}, nullptr},
      // Places under it, and the rest of their unit's name joined to it.
      {{{110, 30, "7/2", "", 0}, {300, 30, "c.pp/", "", 0}},
       "<td></td><td class=\"c0\">7/2</td><td>c.pp/units.inc</td></tr>"},
      {{{110, 30, "9/2", "", 0}, {310, 30, "units.inc", "", 1}},
       "<td></td><td class=\"c0\">9/2</td></tr>"},
  };
  for (const auto &row : rows) {
    WebRow written;
    written.y = 10 * int(table.rows.size());
    for (const auto &[x, width, text, link, joins] : row.pieces) {
      WebPiece piece;
      piece.x = x;
      piece.width = width;
      piece.blankWidth = 4;
      piece.text = QLatin1String(text);
      piece.link = link;
      piece.joinsAbove = std::uint8_t(joins);
      written.pieces.push_back(piece);
    }
    table.rows.push_back(written);
  }
  WebDocuments documents{target, table};
  QTemporaryDir dir;
  QString error;
  ASSERT_TRUE(WriteWebBook(documents, FormatSettings{}, WebBookOptions{dir.path(), "a"}, &error));
  QFile file(dir.filePath("Cross-reference.html"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << error.toStdString();
  const QByteArray page = file.readAll();
  for (const auto &row : rows)
    if (row.written)
      EXPECT_TRUE(page.contains(row.written)) << row.written << "\n" << page.constData();
  EXPECT_FALSE(page.contains(">rder")) << page.constData();
  EXPECT_EQ(page.count("<tr"), 7) << page.constData();
}
