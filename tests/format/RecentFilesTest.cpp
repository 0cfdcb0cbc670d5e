#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "format/IniFile.h"
#include "format/RecentFiles.h"

using namespace scrivane;

TEST(RecentFiles, LoadAlwaysGivesFourEntries) {
  IniFile ini;
  ini.Parse("[FilesSave]\nFile1=C:\\Work\\Inventory.dpr\nFile3=b.pas\n");
  RecentFiles files;
  files.Load(ini);
  EXPECT_EQ(files.Entries(), (QStringList{"C:\\Work\\Inventory.dpr", "", "b.pas", ""}));
}

TEST(RecentFiles, AddPutsOnTopRemovesTheOlderSameFileAndKeepsFour) {
  struct Row {
    QStringList before;
    QString added;
    QStringList after;
  } rows[] = {
      {{"", "", "", ""}, "a.dpr", {"a.dpr", "", "", ""}},
      {{"a", "b", "c", "d"}, "e", {"e", "a", "b", "c"}},
      {{"a", "B.PAS", "c", "d"}, "b.pas", {"b.pas", "a", "c", "d"}},
      {{"a", "b", "c", "d"}, "A", {"A", "b", "c", "d"}},
      {{"a", "b", "", ""}, "", {"a", "b", "", ""}},
  };
  for (const Row &row : rows) {
    IniFile ini;
    for (int i = 0; i < 4; ++i)
      ini.SetValue("FilesSave", "File" + QByteArray::number(i + 1), row.before[i].toUtf8());
    RecentFiles files;
    files.Load(ini);
    files.Add(row.added);
    EXPECT_EQ(files.Entries(), row.after) << row.added.toStdString();
  }
}

TEST(RecentFiles, SaveToFileRoundTripsNonAsciiPaths) {
  QTemporaryDir dir;
  const QString path = dir.filePath("scrivn.ini");
  RecentFiles files;
  files.Add(QStringLiteral("/home/zoë/projects/inventory.dpr"));
  ASSERT_TRUE(SaveRecentFiles(files, path));
  EXPECT_EQ(LoadRecentFiles(path).Entries(), files.Entries());

  // A file written on Windows holds ANSI bytes.
  IniFile ini;
  ini.Parse("[FilesSave]\nFile1=c:\\zo\xeb\\a.dpr\n");
  RecentFiles windows;
  windows.Load(ini);
  EXPECT_EQ(windows.At(0), QStringLiteral("c:\\zoë\\a.dpr"));
}
