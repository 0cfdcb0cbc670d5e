// Where the listings printed the rows the cross-reference names: a row
// noted again (a page laid out twice) says its last page, rows of one page
// share it, and thousands of rows are all found again.
#include <gtest/gtest.h>

#include "listing/CrossLinks.h"

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
