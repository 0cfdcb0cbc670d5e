#include <gtest/gtest.h>

#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>

#include "format/FormatChoices.h"
#include "format/FormatSettings.h"

using namespace scrivane;

TEST(FormatChoices, LengthListsShowTheLengthThatPrints) {
  const struct {
    int measure, stored;
    LengthList list;
    int shown;
  } rows[] = {
      {0, 2, LengthList::Top, 2},   {0, 5, LengthList::Top, 4},    {0, 5, LengthList::Bottom, 3},
      {0, 4, LengthList::Right, 3}, {0, -1, LengthList::Left, 0},  {0, 9, LengthList::Indent, 2},
      {1, 0, LengthList::Top, 0},   {1, 4, LengthList::Top, 4},    {1, 4, LengthList::Bottom, 4},
      {1, 5, LengthList::Right, 4}, {1, 1, LengthList::Indent, 1},
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

// A bitmap face (no outlines) printed no text and collapsed the preview: the
// Format dialog refuses it, and one read from the settings is replaced by
// the default with a message naming it.
TEST(FormatChoices, BitmapFacesAreRefusedAndReplaced) {
  QTemporaryDir dir;
  QFile bdf(dir.filePath("bitmap.bdf"));
  ASSERT_TRUE(bdf.open(QIODevice::WriteOnly));
  bdf.write(
      "STARTFONT 2.1\nFONT -misc-ScrivaneBitmap-medium-r-normal--8-80-75-75-c-80-iso10646-1\n"
      "SIZE 8 75 75\nFONTBOUNDINGBOX 8 8 0 0\nSTARTPROPERTIES 3\nFAMILY_NAME \"ScrivaneBitmap\"\n"
      "FONT_ASCENT 8\nFONT_DESCENT 0\nENDPROPERTIES\nCHARS 1\nSTARTCHAR A\nENCODING 65\nSWIDTH 500 "
      "0\n"
      "DWIDTH 8 0\nBBX 8 8 0 0\nBITMAP\nFF\n81\n81\n81\n81\n81\n81\nFF\nENDCHAR\nENDFONT\n");
  bdf.close();
  if (QFontDatabase::addApplicationFont(bdf.fileName()) < 0)
    GTEST_SKIP() << "this Qt loads no BDF fonts";
  EXPECT_TRUE(IsBitmapFace("ScrivaneBitmap"));
  EXPECT_FALSE(IsBitmapFace("DejaVu Sans"));
  EXPECT_TRUE(CheckChosenFont("ScrivaneBitmap").contains("bitmap font without outlines"));
  EXPECT_EQ(CheckChosenFont("DejaVu Sans"), QString());

  FormatSettings settings;
  settings.BName = "ScrivaneBitmap";
  settings.HName = "DejaVu Serif";
  const QStringList messages = ReplaceBitmapFaces(settings);
  EXPECT_EQ(messages,
            QStringList{
                "The font \"ScrivaneBitmap\" in the settings is a bitmap font without outlines and "
                "cannot be printed: \"Arial\" is used instead."});
  EXPECT_EQ(settings.BName, FormatSettings{}.BName);
  EXPECT_EQ(settings.HName, "DejaVu Serif");
}
