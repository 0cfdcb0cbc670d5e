#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/Paths.h"
#include "platform/Text1252.h"

using namespace scrivane;

TEST(Paths, PartsOfWindowsAndUnixPaths) {
  struct Row { const char *path, *file, *directory; bool absolute; } rows[] = {
      {"C:\\Work\\Main.pas", "Main.pas", "C:/Work/", true},
      {"c:/work/main.pas", "main.pas", "c:/work/", true},
      {"units\\Main.pas", "Main.pas", "units/", false},
      {"/home/a/b.dpr", "b.dpr", "/home/a/", true},
      {"\\root.pas", "root.pas", "/", true},
      {"Main.pas", "Main.pas", "", false},
      {"C:Main.pas", "Main.pas", "", false},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(FileNamePart(row.path), row.file) << row.path;
    EXPECT_EQ(DirectoryPart(row.path), row.directory) << row.path;
    EXPECT_EQ(IsAbsolutePath(row.path), row.absolute) << row.path;
  }
  EXPECT_EQ(JoinPath("/p/", "units\\a.pas"), "/p/units/a.pas");
  EXPECT_EQ(JoinPath("/p", "C:\\x\\a.pas"), "C:/x/a.pas");
  EXPECT_TRUE(SamePathIgnoringCase("C:\\Work\\A.PAS", "c:/work/a.pas"));
}

TEST(Paths, FindFileAnyCaseFollowsEachComponent) {
  QTemporaryDir dir;
  const QString root = dir.path();
  ASSERT_TRUE(QDir(root).mkpath("Units/Forms"));
  for (const char *name : {"Units/Forms/MainForm.PAS", "Units/stock.pas", "Units/STOCK.PAS"}) {
    QFile file(root + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  struct Row { QString wanted, found; } rows[] = {
      {root + "/units/forms/mainform.pas", root + "/Units/Forms/MainForm.PAS"},
      {root + "\\UNITS\\FORMS\\MAINFORM.pas", root + "/Units/Forms/MainForm.PAS"},
      {root + "/units/stock.pas", root + "/Units/stock.pas"},  // exact name preferred
      {root + "/Units/STOCK.PAS", root + "/Units/STOCK.PAS"},
      {root + "/units/forms", root + "/Units/Forms"},
      {root + "/units/missing.pas", ""},
      {root + "/units/stock.pas/x.pas", ""},
      {"", ""},
  };
  for (const Row &row : rows) EXPECT_EQ(FindFileAnyCase(row.wanted), row.found) << row.wanted.toStdString();
  EXPECT_TRUE(FileExistsAnyCase(root + "/UNITS/Stock.Pas"));
  EXPECT_FALSE(FileExistsAnyCase(root + "/units/forms"));
}

TEST(Paths, SettingsStayBesideABuildButNeverBesideAnInstalledCopy) {
  QTemporaryDir dir;
  const QString root = dir.path() + "/";
  QDir(root).mkpath("build");
  QDir(root).mkpath("prefix/bin");
  QDir(root).mkpath("prefix/share/scrivane");
  const QString config = root + "config/";
  const struct {
    const char *programFolder, *settings;
  } rows[] = {
      {"build/", "build/scrivn.ini"},
      {"prefix/bin/", "config/scrivane/scrivn.ini"},
      {"gone/", "config/scrivane/scrivn.ini"},  // a folder that cannot be written
  };
  for (const auto &row : rows)
    EXPECT_EQ(SettingsFilePathFor(root + row.programFolder, config), root + row.settings) << row.programFolder;

  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", "relative/config");  // to be ignored
  EXPECT_EQ(UserConfigDirectory(), QDir::homePath() + "/.config/");
  qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
  EXPECT_EQ(UserConfigDirectory(), config);
  saved.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", saved);
  EXPECT_TRUE(MakeSettingsFolder(config + "scrivane/scrivn.ini"));
  EXPECT_TRUE(QFileInfo(config + "scrivane").isDir());
}

TEST(Text1252, DecodesAndEncodesTheWholeCodePage) {
  struct Row { unsigned char byte; char16_t unicode; } rows[] = {
      {0x41, u'A'}, {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x92, 0x2019},
      {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x00, 0x0000},
  };
  for (const Row &row : rows) EXPECT_EQ(Char1252(row.byte).unicode(), row.unicode) << int(row.byte);

  QByteArray all(256, Qt::Uninitialized);
  for (int i = 0; i < 256; ++i) all[i] = char(i);
  EXPECT_EQ(Encode1252(Decode1252(all)), all);

  EXPECT_EQ(Encode1252(u"\u20ac5 \u0100 \U0001F600 caf\u00e9"), QByteArray("\x80" "5 ? ? caf\xe9"));
}
