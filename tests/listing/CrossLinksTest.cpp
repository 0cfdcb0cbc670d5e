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
