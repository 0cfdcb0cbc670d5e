#include <gtest/gtest.h>

#include <QSet>
#include <random>

#include "project/LineTextSet.h"

using namespace scrivane;

// The set answers as a QSet of the trimmed texts would, through its growth,
// with equal texts on many lines and texts that differ only by case or by
// inner blanks; and what it holds stays after the lines it came from are
// rewritten or dropped.
TEST(LineTextSet, AnswersAsASetOfTheTrimmedTextsAndOutlivesItsLines) {
  std::mt19937 random(7);
  LineList lines;
  for (int i = 0; i < 30000; ++i) {
    const int n = int(random() % 5000);
    QByteArray text = (n % 3 ? "procedure P" : "Procedure  P") + QByteArray::number(n) + ";";
    lines.append(QByteArray(int(random() % 4), ' ') + text + QByteArray(int(random() % 3), '\t'));
  }
  LineTextSet set;
  QSet<QByteArray> expected;
  QList<QByteArray> order;
  for (qsizetype i = 0; i < lines.size(); i += 2) {
    set.insertLineOf(lines, i);
    const QByteArray text = lines[i].trimmed().toByteArray();
    if (!expected.contains(text)) order << text;
    expected.insert(text);
  }
  ASSERT_EQ(set.size(), expected.size());
  for (qsizetype i = 0; i < order.size(); ++i) ASSERT_EQ(set.at(i), order[i]) << i;

  for (qsizetype i = 0; i < lines.size(); ++i) lines.setLine(i, "begin", 0);
  lines.clear();
  for (int n = 0; n < 5000; ++n)
    for (const QByteArray &text :
         {"procedure P" + QByteArray::number(n) + ";", "Procedure  P" + QByteArray::number(n) + ";",
          "PROCEDURE P" + QByteArray::number(n) + ";"})
      ASSERT_EQ(set.contains(text), expected.contains(text)) << text.constData();
  EXPECT_FALSE(set.contains(" procedure P1;")) << "asked for as trimmed";
  EXPECT_FALSE(set.contains(""));
  EXPECT_FALSE(LineTextSet().contains("procedure P1;"));

  set.clear();
  EXPECT_TRUE(set.isEmpty());
  EXPECT_FALSE(set.contains(order.first()));
}
