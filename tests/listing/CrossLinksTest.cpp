// Where the listings printed the rows the cross-reference names: a row
// noted again (a page laid out twice) says its last page, rows of one page
// share it, and thousands of rows are all found again.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "listing/CrossLinks.h"
#include "listing/UnitListingRenderer.h"

using namespace scrivane;

TEST(CrossLinks, NotedRowsAreFoundAgain) {
  CrossLinks links{CrossReferences{}};
  EXPECT_EQ(links.RowOf(0, 1), nullptr);
  for (int line = 1; line <= 5000; ++line)
    links.NoteRow(line % 3, line, 1 + line / 60, line < 2500 ? "a.pas" : "a.pas/b.inc");
  links.NoteRow(1, 7, 9, "a.pas");  // laid out again
  for (int line = 1; line <= 5000; ++line) {
    const CrossLinks::PrintedRow *row = links.RowOf(line % 3, line);
    ASSERT_NE(row, nullptr) << line;
    EXPECT_EQ(row->page, line == 7 ? 9 : 1 + line / 60) << line;
    EXPECT_EQ(row->document, line < 2500 ? "a.pas" : "a.pas/b.inc") << line;
  }
  EXPECT_EQ(links.RowOf(0, 7), nullptr);
  EXPECT_EQ(links.RowOf(1, 5001), nullptr);
  EXPECT_EQ(links.RowOf(1, 121), links.RowOf(2, 122));  // the same page
}

// The uses and declarations of a line are the same whichever line was asked
// for before it (the answer for one far ahead or behind, or none); keys are
// written as before.
TEST(CrossLinks, LinesFoundFromAnyLineBefore) {
  CrossReferences refs;
  refs.declarations.push_back({});
  for (int file = 0; file < 3; ++file)
    for (int line = 1; line < 400; line += 1 + line % 7)
      for (int column = 1; column <= line % 3; ++column) {
        refs.uses.push_back({{file, line, column, 0}, 1, 0});
        refs.declarations.push_back({{file, line, column, 0}});
      }
  const CrossLinks links{refs};
  const std::vector<CrossLinks::LineUses> hints = {
      {}, {0, 5}, {10, 300}, {0, int(refs.uses.size())}, {0, 9999}};
  for (int file = 0; file < 4; ++file)
    for (int line = 0; line < 402; ++line) {
      const CrossLinks::LineUses uses = links.UsesOn(file, line);
      const CrossLinks::LineUses declared = links.DeclarationsOn(file, line);
      int count = 0;
      for (const XrefUse &u : refs.uses) count += u.place.file == file && u.place.line == line;
      EXPECT_EQ(uses.last - uses.first, count) << file << ':' << line;
      EXPECT_EQ(declared.last - declared.first, count + (file == 0 && line == 0));
      for (const CrossLinks::LineUses hint : hints) {
        EXPECT_EQ(links.UsesOn(file, line, hint).first, uses.first) << file << ':' << line;
        EXPECT_EQ(links.DeclarationsOn(file, line, hint).last, declared.last);
      }
    }
  EXPECT_EQ(CrossLinks::PlaceKey(12, 34567), "x12:34567");
  EXPECT_EQ(CrossLinks::EntryKey(2147483647), "xref:2147483647");
}

// A line's uses are found by ordinal and column as a plain search through
// them finds them, asked in order or not, and a line's names are counted
// as a plain count counts them, past the few kept in a list: long lines
// of hostile units were searched through for every name.
TEST(CrossLinks, LongLinesAnswerAsAPlainSearch) {
  std::mt19937 random(7);
  CrossReferences refs;
  const QByteArray names[] = {"Foo", "bar", "Baz", "x", "Quux"};
  // The names as the resolver leaves them in texts: each after its length.
  for (const QByteArray &name : names) refs.texts += char(name.size()) + name;
  for (qsizetype at = 0; at < refs.texts.size(); at += 1 + refs.texts[at]) {
    XrefDeclaration &d = refs.declarations.emplace_back();
    d.kind = XrefKind::Variable;
    d.name = XrefText(refs.texts.constData() + at);
  }
  std::vector<QByteArray> spelt;  // the line's names in order, each use's
  std::map<QByteArray, int> seen;
  for (int column = 1; column < 4000; column += 1 + int(random() % 5)) {
    const int d = int(random() % 5);
    const QByteArray name = random() % 2 ? names[d] : names[d].toUpper();
    const int ordinal = seen[names[d].toLower()]++;
    refs.uses.push_back({{0, 1, column, ordinal}, int(name.size()), d});
    spelt.push_back(name);
  }
  const CrossLinks links{refs};
  const CrossLinks::LineUses on = links.UsesOn(0, 1);
  ASSERT_EQ(on.last - on.first, int(refs.uses.size()));
  auto plain = [&](QByteArrayView name, int ordinal) {
    for (int i = on.first; i < on.last; ++i)
      if (refs.uses[size_t(i)].place.ordinal == ordinal &&
          refs.declarations[size_t(refs.uses[size_t(i)].declaration)].name.compare(
              name, Qt::CaseInsensitive) == 0)
        return i;
    return -1;
  };
  int from = on.first;
  for (size_t i = 0; i < spelt.size(); ++i) {
    const int ordinal = refs.uses[i].place.ordinal;
    EXPECT_EQ(links.UseByOrdinal(on, spelt[i], ordinal, &from), int(i));
    EXPECT_EQ(links.UseAtColumn(on, refs.uses[i].place.column, int(spelt[i].size())), int(i));
    // A column between uses holds none.
    if (i + 1 < spelt.size() && refs.uses[i + 1].place.column > refs.uses[i].place.column + 1)
      EXPECT_EQ(links.UseAtColumn(on, refs.uses[i].place.column + 1, 1), -1);
  }
  for (int k = 0; k < 300; ++k) {  // out of order
    const size_t i = random() % spelt.size();
    const int ordinal = refs.uses[i].place.ordinal + int(random() % 3);
    int hint = on.first + int(random() % size_t(on.last - on.first + 1));
    EXPECT_EQ(links.UseByOrdinal(on, spelt[i], ordinal, &hint), plain(spelt[i], ordinal));
  }

  unitlisting::SpellingCount count;
  std::map<QByteArray, int> counted;
  for (int k = 0; k < 5000; ++k) {
    QByteArray name = "N" + QByteArray::number(int(random() % 200));
    if (random() % 2) name = name.toLower();
    EXPECT_EQ(count.Next(name), counted[name.toLower()]++) << k;
  }
  count.Clear();
  EXPECT_EQ(count.Next("n1"), 0);
}
