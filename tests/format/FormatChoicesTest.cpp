#include <gtest/gtest.h>

#include "format/FormatChoices.h"
#include "format/FormatSettings.h"

using namespace scrivane;

TEST(FormatChoices, LengthListsShowTheLengthThatPrints) {
  const struct {
    int measure, stored;
    LengthList list;
    int shown;
  } rows[] = {
      {0, 2, LengthList::Top, 2},    {0, 5, LengthList::Top, 4},     {0, 5, LengthList::Bottom, 3},
      {0, 4, LengthList::Right, 3},  {0, -1, LengthList::Left, 0},   {0, 9, LengthList::Indent, 2},
      {1, 0, LengthList::Top, 0},    {1, 4, LengthList::Top, 4},     {1, 4, LengthList::Bottom, -1},
      {1, 5, LengthList::Right, -1}, {1, 1, LengthList::Indent, 1},
  };
  for (const auto &row : rows) {
    FormatSettings settings;
    settings.Measure = row.measure;
    settings.Top = settings.Bottom = settings.Left = settings.Right = settings.Indent = row.stored;
    EXPECT_EQ(ShownLengthItem(row.list, settings), row.shown)
        << "measure " << row.measure << " index " << row.stored << " list " << int(row.list);
  }
}

TEST(FormatChoices, MovingSelectedWordsKeepsBothListsSortedAndSelectsWhatFollows) {
  const struct {
    QList<int> selected;
    QList<QByteArray> left, right;
    int next;
  } rows[] = {
      {{2, 5}, {"a", "b", "d", "e", "g"}, {"c", "f"}, 2},
      {{}, {"a", "b", "c", "d", "e", "f", "g"}, {}, 0},
      {{6}, {"a", "b", "c", "d", "e", "f"}, {"g"}, 5},
      {{0, 1, 2, 3, 4, 5, 6}, {}, {"a", "b", "c", "d", "e", "f", "g"}, -1},
  };
  for (const auto &row : rows) {
    QList<QByteArray> from = {"a", "b", "c", "d", "e", "f", "g"};
    QList<QByteArray> to;
    const int next = MoveSelectedWords(from, to, row.selected);
    EXPECT_EQ(from, row.left);
    EXPECT_EQ(to, row.right);
    EXPECT_EQ(next, row.next);
  }
  QList<QByteArray> from = {"end;", "begin"};
  QList<QByteArray> to = {"end", "end."};
  MoveAllWords(from, to);
  EXPECT_TRUE(from.isEmpty());
  EXPECT_EQ(to, QList<QByteArray>({"begin", "end", "end.", "end;"}));
}

TEST(FormatChoices, ChosenFontsKeepBoldAndItalicAndAllowedSizes) {
  EXPECT_EQ(TakeChosenFont(QStringLiteral("Arial"), 20, true, false).pointSize, 14);
  EXPECT_EQ(TakeChosenFont(QStringLiteral("Arial"), 6, false, true).pointSize, 8);
  EXPECT_EQ(TakeChosenFont(QStringLiteral("Arial"), 11, true, true).style, 3);
  EXPECT_TRUE(CheckChosenFont(QStringLiteral("Liberation Sans")).isEmpty());
  EXPECT_FALSE(CheckChosenFont(QString(36, QLatin1Char('x'))).isEmpty());
  EXPECT_FALSE(CheckChosenFont(QStringLiteral("Noto Sans \u0395\u03bb")).isEmpty());
}
