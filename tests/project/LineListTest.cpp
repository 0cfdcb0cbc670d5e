#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "project/LineList.h"
#include "project/SourceFile.h"

using namespace scrivane;

// The listing's lines are taken from the source lines as spans into the same
// blocks; lines appended to either list later (a joined header, a second
// selection) must never move or change the bytes the other list shows, and
// a list keeps its bytes after the list it came from is cleared.
TEST(LineList, CopiesShareBytesThatNeverMoveWhileEitherGrows) {
  LineList source;
  QList<QByteArray> expected;
  for (int i = 0; i < 5000; ++i) {
    const QByteArray line = "line " + QByteArray::number(i) + QByteArray(i % 70, 'x');
    source.append(line);
    expected << line;
  }
  source.append(QByteArray());
  expected << QByteArray();

  LineList listing = source.emptySharingBlocks();
  for (qsizetype i = 0; i < source.size(); i += 2) listing.appendLineOf(source, i);
  EXPECT_EQ(listing[1].data(), source[2].data()) << "a taken-over line costs no bytes";
  const QByteArrayView firstLine = listing.first();

  // Both lists grow well past the blocks they share.
  for (int i = 0; i < 20000; ++i) {
    listing.append(QByteArray(100, char('a' + i % 26)));
    source.append(QByteArray(3, 'y'));
  }
  LineList separate;
  separate.appendLineOf(source, 3);
  separate.append("own");
  source.clear();

  EXPECT_EQ(firstLine, "line 0");
  for (qsizetype i = 0; i < expected.size(); i += 2) ASSERT_EQ(listing[i / 2], expected[i]) << i;
  EXPECT_EQ(listing.last(), QByteArray(100, char('a' + 19999 % 26)));
  EXPECT_EQ(separate.toList(), (QList<QByteArray>{expected[3], "own"}));
  listing.truncate(2);
  EXPECT_EQ(listing.join("|"), expected[0] + "|" + expected[2]);
}

// Rewritten in place, front to back, as the routine scan joins headers: a
// copy taken before keeps its lines, and the bytes of a moved line stay.
TEST(LineList, RewrittenInPlaceKeepsCopiesAndBytes) {
  LineList lines{"unit u;", "procedure A(", "  x: integer);", "begin", "end;", "end."};
  const LineList before = lines;
  const QByteArrayView begin = lines[3];
  lines.setLine(1, "procedure A( x: integer);", -2);
  lines.moveLine(3, 2);
  lines.moveLine(4, 3);
  lines.moveLine(5, 4);
  lines.setLine(5, "", 0);
  lines.truncate(5);
  EXPECT_EQ(lines.toList(),
            (QList<QByteArray>{"unit u;", "procedure A( x: integer);", "begin", "end;", "end."}));
  EXPECT_EQ(lines[2].data(), begin.data());
  EXPECT_EQ(lines.fileLine(1), 2);
  EXPECT_FALSE(lines.startsFileLine(1));
  EXPECT_EQ(before.size(), 6);
  EXPECT_EQ(before[2], "  x: integer);");
}

// Lines end at a line feed, a carriage return and line feed, or a carriage
// return alone, in any mix; checked against a byte-by-byte reading of random
// texts made mostly of line ends.
TEST(LineList, EveryMixOfLineEndsSplitsAsByteByByte) {
  auto byteByByte = [](const QByteArray &text) {
    QList<QByteArray> lines;
    qsizetype p = 0;
    while (p < text.size()) {
      const qsizetype start = p;
      while (p < text.size() && text[p] != '\n' && text[p] != '\r') ++p;
      lines << text.mid(start, p - start);
      if (p < text.size())
        p += (text[p] == '\r' && p + 1 < text.size() && text[p + 1] == '\n') ? 2 : 1;
    }
    return lines;
  };
  quint32 seed = 7;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 400; ++round) {
    QByteArray text;
    const int length = int(next() >> 24) % 60;
    for (int k = 0; k < length; ++k) text += "ab\r\n"[(next() >> 16) % 4];
    QList<QByteArray> lines;
    ForEachLine(text, [&](QByteArrayView line) { lines << line.toByteArray(); });
    ASSERT_EQ(lines, byteByByte(text)) << text.toPercentEncoding().toStdString();
    ASSERT_EQ(CountLineFeeds(text), text.count('\n'));
  }
}

// A line's length is packed beside its address; lines at and past the
// longest that fits there keep their length wherever they come from.
TEST(LineList, LinesOfEveryLengthKeepTheirBytes) {
  const qsizetype lengths[] = {0, 1, 65534, 65535, 65536, 200000};
  LineList lines;
  QList<QByteArray> expected;
  for (const qsizetype n : lengths) {
    const QByteArray text(n, char('a' + n % 26));
    lines.append(text, 1);
    lines.appendWithBlanks(text.left(n / 2), n - n / 2, 2);
    expected << text << text.left(n / 2) + QByteArray(n - n / 2, ' ');
  }
  lines.setLine(0, QByteArray(70000, 'z'), 3);
  expected[0] = QByteArray(70000, 'z');
  LineList taken = lines.emptySharingBlocks();
  for (qsizetype i = 0; i < lines.size(); ++i) taken.appendLineOf(lines, i);
  LineList copied;
  for (qsizetype i = 0; i < lines.size(); ++i) copied.appendLineOf(lines, i);
  lines.clear();
  for (const LineList *list : {&taken, &copied}) {
    ASSERT_EQ(list->size(), expected.size());
    qsizetype i = 0;
    for (const QByteArrayView line : *list) EXPECT_EQ(line, expected[i++]) << i;
    EXPECT_EQ(list->end() - list->begin(), expected.size());
  }
}

// File line numbers through every way a list is built and rewritten:
// lines numbered in order keep no table until one is not (a split piece,
// a joined header, a line moved up, a second half adopted after lines of
// its own), and the answers are those of a plain table throughout.
TEST(LineList, FileLinesAnswerAsAPlainTable) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    LineList lines;
    std::vector<int> numbers;                 // a plain table
    const unsigned rare = 2 + random() % 40;  // how seldom a step breaks the order
    for (int step = 0; step < 60; ++step) {
      const bool odd = random() % rare == 0;
      const auto n = numbers.size();
      const auto at = n ? size_t(random() % n) : 0;
      if (const unsigned op = random() % 5; op < 2 || !n) {
        numbers.push_back(odd ? int(random() % 5) - 2 : int(n + 1));
        lines.append("t", numbers.back());
      } else if (op == 2) {
        numbers[at] = odd ? -int(at + 1) : int(at + 1);
        lines.setLine(qsizetype(at), "s", numbers[at]);
      } else if (op == 3) {
        const size_t to = odd ? size_t(random() % (at + 1)) : at;
        lines.moveLine(qsizetype(at), qsizetype(to));
        numbers[to] = numbers[at];
      } else if (random() % 2) {
        lines.truncate(qsizetype(at));
        numbers.resize(at);
      } else {  // a second half read apart, adopted after them
        LineList second;
        const int offset = odd ? int(random() % 3) : int(n);
        for (int k = 1, count = int(random() % 4); k <= count; ++k) {
          const int number = random() % rare == 0 ? -k : k;
          second.append("h", number);
          numbers.push_back(number > 0 ? number + offset : number - offset);
        }
        lines.adopt(std::move(second), offset);
      }
      LineList copy;
      for (size_t i = 0; i < numbers.size(); ++i) copy.appendLineOf(lines, qsizetype(i));
      ASSERT_EQ(lines.size(), qsizetype(numbers.size()));
      for (size_t i = 0; i < numbers.size(); ++i) {
        ASSERT_EQ(lines.fileLine(qsizetype(i)), std::abs(numbers[i])) << round << ' ' << step;
        ASSERT_EQ(lines.startsFileLine(qsizetype(i)), numbers[i] > 0) << round << ' ' << step;
        ASSERT_EQ(copy.fileLine(qsizetype(i)), std::abs(numbers[i])) << round << ' ' << step;
      }
    }
  }
}
