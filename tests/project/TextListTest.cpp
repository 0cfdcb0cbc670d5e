#include <gtest/gtest.h>

#include "project/TextList.h"

using namespace scrivane;

// Texts of every size, across the blocks' growth and past the largest
// block, read back as appended; a list cut back and grown again keeps the
// texts before the cut and writes the new ones where the cut ones stood.
TEST(TextList, TextsReadBackAsAppendedAcrossBlocksAndCuts) {
  struct Case {
    const char *what;
    std::vector<int> sizes;  // a text of each size, its bytes from its number
  };
  const Case cases[] = {
      {"empty texts only", {0, 0, 0}},
      {"one small", {5}},
      {"fills the first block and more", std::vector<int>(300, 40)},
      {"a text larger than the largest block between small ones", {10, 300000, 0, 7, 262144, 3}},
      {"thousands of entry-sized texts", std::vector<int>(20000, 57)},
  };
  auto textOf = [](int n, int size) { return QByteArray(size, char('a' + n % 26)); };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TextList list;
    QList<QByteArray> expected;
    for (size_t n = 0; n < c.sizes.size(); ++n) {
      list << textOf(int(n), c.sizes[n]);
      expected << textOf(int(n), c.sizes[n]);
    }
    ASSERT_EQ(list.toList(), expected);
    const TextList copy = list;
    EXPECT_EQ(copy, list);
    const qsizetype keep = expected.size() / 2;
    list.truncate(keep);
    expected.resize(keep);
    for (int n = 0; n < 50; ++n) {
      list.append(textOf(n + 1, n % 9));
      expected << textOf(n + 1, n % 9);
    }
    EXPECT_EQ(list.toList(), expected);
    EXPECT_EQ(copy.size(), qsizetype(c.sizes.size())) << "a copy keeps its own bytes";
    list.clear();
    EXPECT_TRUE(list.isEmpty());
  }
}
