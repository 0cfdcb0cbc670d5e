// The outline, places and links as PDF objects, from navigation reported
// the way a book reports it: a bookmark before any document, documents with
// and without bookmarks, a title beyond Latin-1, a place reported twice and
// a link that leads nowhere.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QRegularExpression>

#include "print/PdfNavigation.h"
#include "support/PdfObjects.h"

using namespace scrivane;

namespace {

// The body of every object the navigation wrote, packed ones included.
std::map<int, std::string> Objects(PdfObjectWriter &out, QBuffer &file) {
  out.flushPacked();
  out.drain();
  return testsupport::PdfObjectBodies(file.data());
}

}  // namespace

TEST(PdfNavigation, OutlinePlacesAndLinksOfABook) {
  PdfNavigation nav;
  nav.setGeometry(1.0, 800);
  const QDateTime clock(QDate(2024, 5, 6), QTime(7, 8));
  nav.setSheet(0);
  nav.outlineEntry(QStringLiteral("Preface"), 10);
  nav.documentStart(QStringLiteral("a.pas"), QStringLiteral("a.pas"), clock);
  nav.pageNumber(1);
  nav.anchor("k1", 100);
  nav.anchor("k1", 200);  // the first place reported counts
  nav.outlineEntry(QStringLiteral("procedure one"), 100);
  nav.setSheet(1);
  nav.pageNumber(2);
  nav.outlineEntry(QStringLiteral("function \u03a9"), 50);
  nav.link(QRect(0, 0, 10, 10), "k1");
  nav.link(QRect(0, 20, 10, 10), "nowhere");
  nav.documentStart(QStringLiteral("b.pas"), QStringLiteral("b.pas"), clock);

  QBuffer file;
  file.open(QIODevice::WriteOnly);
  PdfObjectWriter out(0);
  out.output = &file;
  EXPECT_EQ(nav.annotationsOf(0, 10, {}, out), "");
  EXPECT_EQ(nav.annotationsOf(1, 11, {10}, out), "[5 0 R 6 0 R ]");
  PdfDictionary catalog;
  nav.finish(out, {10, 11}, catalog);
  const std::map<int, std::string> objects = Objects(out, file);

  const std::map<int, std::string> expected = {
      // A link in as few bytes as it can have, in an object stream; one
      // that leads nowhere is none.
      {5, "<</Subtype/Link/Border[0 0 0]/Rect[0 790 10 800]/Dest[10 0 R/XYZ null 700 null]>>"},
      {6, "null"},
      {7, "<< /Type /Outlines /First 8 0 R /Last 10 0 R /Count 3 >>"},
      {8,
       "<< /Title <FEFF0050007200650066006100630065> /Parent 7 0 R /Next 9 0 R /Dest [10 0 R /XYZ "
       "null 790 null] >>"},
      {9,
       "<< /Title <FEFF0061002E007000610073> /Parent 7 0 R /Prev 8 0 R /Next 10 0 R /First 11 0 R "
       "/Last 12 0 R "
       "/Count -2 /Dest [10 0 R /XYZ null 800 null] >>"},
      {10,
       "<< /Title <FEFF0062002E007000610073> /Parent 7 0 R /Prev 9 0 R /Dest [11 0 R /XYZ null 800 "
       "null] >>"},
      {11,
       "<< /Title <FEFF00700072006F0063006500640075007200650020006F006E0065> /Parent 9 0 R /Next "
       "12 0 R "
       "/Dest [10 0 R /XYZ null 700 null] >>"},
      {12,
       "<< /Title <FEFF00660075006E006300740069006F006E002003A9> /Parent 9 0 R /Prev 11 0 R "
       "/Dest [11 0 R /XYZ null 750 null] >>"},
  };
  EXPECT_EQ(objects, expected);
  EXPECT_EQ(catalog.str(),
            "<< /Outlines 7 0 R /PageMode /UseOutlines /PageLabels << /Nums [0 << /S /D /P "
            "<FEFF0061002E0070006100730020> >> ] >> >>");
}

// Links reported before their place: they wait for it, those to the same
// key share it, the first place reported still counts, and one whose place
// never comes is no link.
TEST(PdfNavigation, LinksBeforeTheirPlaces) {
  PdfNavigation nav;
  nav.setGeometry(1.0, 800);
  nav.setSheet(0);
  nav.link(QRect(0, 0, 10, 10), "later");
  nav.link(QRect(0, 10, 10, 10), "never");
  nav.link(QRect(0, 20, 10, 10), "later");
  nav.anchor("later", 300);
  nav.anchor("later", 400);
  nav.link(QRect(0, 30, 10, 10), "later");
  QBuffer file;
  file.open(QIODevice::WriteOnly);
  PdfObjectWriter out(0);
  out.output = &file;
  EXPECT_EQ(nav.annotationsOf(0, 10, {}, out), "[5 0 R 6 0 R 7 0 R 8 0 R ]");
  PdfDictionary catalog;
  nav.finish(out, {10}, catalog);
  const std::map<int, std::string> objects = Objects(out, file);
  for (const int object : {5, 7, 8})
    EXPECT_NE(objects.at(object).find("/Dest[10 0 R/XYZ null 500 null]"), std::string::npos)
        << objects.at(object);
  EXPECT_EQ(objects.at(6), "null");
}

// A link back is written with its sheet, one forward once its place has
// come: each leads to its own sheet.
TEST(PdfNavigation, LinksBackAndForwardAcrossSheets) {
  PdfNavigation nav;
  nav.setGeometry(1.0, 800);
  nav.setSheet(0);
  nav.anchor("back", 100);
  nav.link(QRect(0, 0, 10, 10), "ahead");
  nav.link(QRect(0, 10, 10, 10), "back");
  QBuffer file;
  file.open(QIODevice::WriteOnly);
  PdfObjectWriter out(0);
  out.output = &file;
  EXPECT_EQ(nav.annotationsOf(0, 10, {}, out), "[5 0 R 6 0 R ]");
  nav.setSheet(1);
  nav.anchor("ahead", 200);
  nav.link(QRect(0, 0, 10, 10), "back");
  EXPECT_EQ(nav.annotationsOf(1, 11, {10}, out), "[7 0 R ]");
  PdfDictionary catalog;
  nav.finish(out, {10, 11}, catalog);
  const std::map<int, std::string> objects = Objects(out, file);
  EXPECT_NE(objects.at(5).find("/Dest[11 0 R/XYZ null 600 null]"), std::string::npos);
  EXPECT_NE(objects.at(6).find("/Dest[10 0 R/XYZ null 700 null]"), std::string::npos);
  EXPECT_NE(objects.at(7).find("/Dest[10 0 R/XYZ null 700 null]"), std::string::npos);
}

// One document: its bookmarks stand at the top; without any it is the one
// bookmark itself; and places found again among thousands of others.
TEST(PdfNavigation, OneDocumentAndManyPlaces) {
  for (const int bookmarks : {0, 3}) {
    PdfNavigation nav;
    nav.setGeometry(1.0, 800);
    nav.setSheet(0);
    nav.documentStart(QStringLiteral("u.pas"), QStringLiteral("u.pas"), QDateTime());
    for (int i = 0; i < bookmarks; ++i) nav.outlineEntry(QString::number(i), i);
    for (int i = 0; i < 5000; ++i)
      nav.anchor(QByteArray::number(i) + "%procedure%u.pas%1", i % 700);
    nav.link(QRect(0, 0, 1, 1), "4321%procedure%u.pas%1");
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    PdfObjectWriter out(0);
    out.output = &file;
    EXPECT_EQ(nav.annotationsOf(0, 9, {}, out), "[5 0 R ]");
    PdfDictionary catalog;
    nav.finish(out, {9}, catalog);
    const std::map<int, std::string> objects = Objects(out, file);
    EXPECT_NE(objects.at(5).find("/Dest[9 0 R/XYZ null 679 null]"), std::string::npos)
        << objects.at(5);
    EXPECT_EQ(objects.at(6), "<< /Type /Outlines /First 7 0 R /Last " +
                                 std::to_string(6 + std::max(1, bookmarks)) + " 0 R /Count " +
                                 std::to_string(std::max(1, bookmarks)) + " >>");
    EXPECT_EQ(objects.at(7).rfind(
                  bookmarks ? "<< /Title <FEFF0030> /Parent 6 0 R" : "<< /Title <FEFF0075002E", 0),
              0u)
        << objects.at(7);
  }
}

// Titles and keys of every length, reported in turn over many blocks of
// text: the keys go once the links are written, and every bookmark still
// has its own title, and every link its own place.
TEST(PdfNavigation, BookmarksKeepTheirTitlesWhenThePlacesGo) {
  PdfNavigation nav;
  nav.setGeometry(1.0, 800);
  nav.setSheet(0);
  nav.documentStart(QStringLiteral("u.pas"), QStringLiteral("u.pas"), QDateTime());
  std::vector<QString> titles;
  for (int i = 0; i < 3000; ++i) {
    const QByteArray key = QByteArray(i % 300, 'k') + QByteArray::number(i);
    nav.anchor(key, i % 700);
    if (i % 3 == 0) nav.link(QRect(0, 0, 1, 1), key);
    titles.push_back(QString(i % 200, i % 2 ? QChar(0x3a9) : QChar('t')) + QString::number(i));
    nav.outlineEntry(titles.back(), 0);
  }
  QBuffer file;
  file.open(QIODevice::WriteOnly);
  PdfObjectWriter out(0);
  out.output = &file;
  nav.annotationsOf(0, 9, {}, out);  // objects 5 to 1004
  PdfDictionary catalog;
  nav.finish(out, {9}, catalog);
  const std::map<int, std::string> objects = Objects(out, file);
  for (int i = 0; i < 3000; i += 3)
    ASSERT_NE(objects.at(5 + i / 3).find("/XYZ null " + std::to_string(800 - i % 700) + " null]"),
              std::string::npos)
        << i;
  // The outline's items in order, after its root (the object streams come first).
  int first = 0;
  for (const auto &[object, body] : objects)
    if (body.rfind("<< /Type /Outlines /First ", 0) == 0) first = object + 1;
  ASSERT_GT(first, 0);
  for (size_t i = 0; i < titles.size(); ++i) {
    QByteArray hex = "<FEFF";
    for (QChar c : titles[i]) hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    ASSERT_EQ(objects.at(first + int(i)).rfind("<< /Title " + hex.toUpper().toStdString() + ">", 0),
              0u)
        << i << ' ' << objects.at(first + int(i));
  }
}

// Keys that end in a number are kept as their letters and number: each
// still leads to its own place, whether its letters are new or many, its
// number as written or not (a leading zero, too large to keep), or the key
// a number alone; links before their place find it too.
TEST(PdfNavigation, NumberedKeysLeadToTheirOwnPlaces) {
  std::vector<QByteArray> keys = {
      "",      "7",      "07",          "0",          "00",          "x0:7",         "x0:07",
      "x0:0",  "x0:00",  "x0:8388607",  "x0:8388608", "x0:99999999", "x0:123456789", "x1:23",
      "x12:3", "x1:2:3", "routine:a:1", "routine:a:", "routine:a",   "i:-1"};
  // More letters than are kept as numbered keys' prefixes.
  for (int i = 0; i < 400; ++i) keys.push_back("p" + QByteArray::number(i) + ":5");
  for (int i = 1; i <= 300; ++i) keys.push_back("x0:" + QByteArray::number(i * 37));
  PdfNavigation nav;
  nav.setGeometry(1.0, 800);
  nav.setSheet(0);
  // Every third key is linked to before its place is reported.
  for (size_t i = 0; i < keys.size(); i += 3) nav.link(QRect(0, 0, 1, 1), keys[i]);
  for (size_t i = 0; i < keys.size(); ++i) nav.anchor(keys[i], int(i));
  for (size_t i = 0; i < keys.size(); ++i) nav.link(QRect(0, 0, 1, 1), keys[i]);
  QBuffer file;
  file.open(QIODevice::WriteOnly);
  PdfObjectWriter out(0);
  out.output = &file;
  nav.annotationsOf(0, 9, {}, out);
  PdfDictionary catalog;
  nav.finish(out, {9}, catalog);
  const std::map<int, std::string> objects = Objects(out, file);
  const int early = int(keys.size() + 2) / 3;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string dest = "/XYZ null " + std::to_string(800 - int(i)) + " null]";
    ASSERT_NE(objects.at(5 + early + int(i)).find(dest), std::string::npos)
        << keys[i].constData() << ' ' << objects.at(5 + early + int(i));
    if (i % 3 == 0)
      ASSERT_NE(objects.at(5 + int(i) / 3).find(dest), std::string::npos) << keys[i].constData();
  }
}
