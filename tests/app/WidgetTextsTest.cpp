#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "widgets/ClockStatusBar.h"
#include "widgets/Glyphs.h"
#include "widgets/PickList.h"

using namespace scrivane;

TEST(UnitListColumns, SizeIsGroupedByThousands) {
  const std::pair<qint64, const char *> rows[] = {
      {0, "0"},
      {7, "7"},
      {999, "999"},
      {1000, "1,000"},
      {12345, "12,345"},
      {999999, "999,999"},
      {1234567, "1,234,567"},
      {1000000000, "1,000,000,000"},
  };
  for (const auto &[bytes, text] : rows)
    EXPECT_EQ(FormatFileSize(bytes), QString::fromLatin1(text));
}

TEST(UnitListColumns, TimeUsesTwelveHourClockWithTwoBlanks) {
  const std::pair<QDateTime, const char *> rows[] = {
      {QDateTime(QDate(2024, 3, 5), QTime(16, 30)), "03/05/24  04:30 pm"},
      {QDateTime(QDate(1999, 12, 31), QTime(0, 5)), "12/31/99  12:05 am"},
      {QDateTime(QDate(2001, 1, 9), QTime(12, 0)), "01/09/01  12:00 pm"},
  };
  for (const auto &[time, text] : rows) EXPECT_EQ(FormatFileTime(time), QString::fromLatin1(text));
}

TEST(UnitListColumns, ExistingAndMissingFiles) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Lives outside any project folder and in mixed case on disk: the entry's
  // own lower-case full path must still find it.
  const QString onDisk = dir.path() + QStringLiteral("/Big.PAS");
  QFile file(onDisk);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_TRUE(file.resize(1234567));
  file.close();
  const QDateTime stamp(QDate(2023, 7, 14), QTime(9, 41));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(stamp, QFileDevice::FileModificationTime));
  file.close();

  const UnitFileColumns found = DescribeUnitFile(dir.path() + QStringLiteral("/big.pas"));
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.sizeText, QStringLiteral("1,234,567"));
  EXPECT_EQ(found.dateText, QStringLiteral("07/14/23  09:41 am"));

  for (const QString &missing : {dir.path() + QStringLiteral("/gone.pas"), QString(), dir.path()}) {
    const UnitFileColumns columns = DescribeUnitFile(missing);
    EXPECT_FALSE(columns.found) << missing.toStdString();
    EXPECT_EQ(columns.dateText, QStringLiteral("File not found"));
    EXPECT_TRUE(columns.sizeText.isEmpty());
  }
}

TEST(PickListControl, ChangeFiresOnlyForANewItemAndClearKeepsSingleSelection) {
  PickList list;
  list.addItems({QStringLiteral("a"), QStringLiteral("b")});
  int changes = 0;
  QObject::connect(&list, &PickList::changed, [&changes] { ++changes; });
  list.setCurrentRow(1);
  list.setCurrentRow(1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(list.lastIndex(), 1);
  list.ClearSelection();  // single selection: left alone
  EXPECT_TRUE(list.item(1)->isSelected());
  list.setSelectionMode(QAbstractItemView::MultiSelection);
  list.item(0)->setSelected(true);
  list.ClearSelection();
  EXPECT_TRUE(list.selectedItems().isEmpty());
}

TEST(ClockStatusBar, TextsAndPanelWidth) {
  EXPECT_EQ(ClockDateText(QDate(2024, 3, 5)), QStringLiteral("05 March 2024"));
  EXPECT_EQ(ClockTimeText(QTime(16, 30, 30)), QStringLiteral("04:30:30 pm"));
  EXPECT_EQ(ClockTimeText(QTime(0, 0, 1)), QStringLiteral("12:00:01 am"));
  const std::pair<int, int> widths[] = {{630, 400}, {232, 2}, {231, 0}, {100, 0}};
  for (const auto &[window, panel] : widths) EXPECT_EQ(StatusPanelWidth(window), panel) << window;
  ClockStatusBar bar;
  EXPECT_EQ(bar.panelText(0), QStringLiteral(" Tallowind, Incorporated"));
  EXPECT_EQ(bar.panelText(1), ClockDateText(QDate::currentDate()));
  bar.setStatusText(QStringLiteral(" Unit: x"));
  bar.Tick();
  EXPECT_EQ(bar.toolTip(), QStringLiteral(" Unit: x"));
  EXPECT_FALSE(bar.panelText(2).isEmpty());
}

TEST(Glyphs, TheEightKindsLookDifferent) {
  QList<QImage> images;
  for (const LegendRow &row : LegendRows) {
    const QImage image = EntryGlyph(row.kind).toImage();
    EXPECT_EQ(image.size(), QSize(16, 16));
    for (const QImage &other : images) EXPECT_NE(image, other) << row.caption;
    images << image;
  }
}
