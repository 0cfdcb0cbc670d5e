#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>

#include "format/IniFile.h"
#include "format/RecentFiles.h"
#include "platform/ReplacingFile.h"
#include "support/SmallDisk.h"

using namespace scrivane;

namespace {

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(IniFile, LookupIgnoresCaseAndBlanksAndTakesTheFirstMatch) {
  IniFile ini;
  ini.Parse(
      "; comment = not a key\r\n[Fonts]\r\n  BSize =  12  \r\nbsize=99\r\n"
      "[fonts]\r\nBName=Courier\r\n[Empty]\r\nKey=\r\n");
  struct Row {
    const char *section, *key, *expected;
  } rows[] = {
      {"FONTS", "bsize", "12"}, {"Fonts", "BSIZE", "12"},      {"Fonts", "BName", "default"},
      {"Empty", "Key", ""},     {"Missing", "Key", "default"}, {"", "; comment", "default"},
  };
  for (const Row &row : rows)
    EXPECT_EQ(ini.Value(row.section, row.key, "default"), QByteArray(row.expected))
        << row.section << "/" << row.key;
}

TEST(IniFile, ValuesAreCutTo1023Bytes) {
  IniFile ini;
  ini.Parse("[A]\nLong=" + QByteArray(5000, 'x') + "\n");
  EXPECT_EQ(ini.Value("A", "Long").size(), 1023);
}

TEST(IniFile, SavingKeepsUnknownLinesAndTheirOrder) {
  const QByteArray original =
      "; written by hand\r\n[Other]\r\nColour=blue\r\n\r\n[Fonts]\r\nBSize=10\r\n; keep me\r\n";
  IniFile ini;
  ini.Parse(original);
  ini.SetValue("fonts", "bsize", "12");
  ini.SetValue("Fonts", "HSize", "9");
  ini.SetValue("Main", "Hint", "1");
  EXPECT_EQ(ini.ToBytes(),
            QByteArray("; written by hand\r\n[Other]\r\nColour=blue\r\n\r\n[Fonts]\r\nBSize=12\r\n"
                       "HSize=9\r\n; keep me\r\n\r\n[Main]\r\nHint=1\r\n"));
}

TEST(IniFile, GarbledBytesKeepWhatParses) {
  QByteArray bytes("\x00\x01\xff[Bad\n\x7f\x00=\x02\n[Good]\nKey=value\n", 35);
  bytes += QByteArray(100000, '\0');
  IniFile ini;
  ini.Parse(bytes);
  EXPECT_EQ(ini.Value("Good", "Key"), "value");
  ini.SetValue("Good", "Other", "1");
  EXPECT_TRUE(ini.ToBytes().contains("Other=1"));
}

// A damaged file is read for what it holds, written back as it was, and its
// lines that say nothing are numbered, so that the user can be told where.
TEST(IniFile, DamagedLinesAreNumberedAndKept) {
  const QByteArray bytes(
      "; comment\r\n# also a comment\r\n[Fonts\r\nBSize 12\r\n\r\nHSize=9\x01\r\n"
      "[Main]\r\n \t \r\nHint=1\r\n\x7f\x00\xff",
      83);
  IniFile ini;
  ini.Parse(bytes);
  EXPECT_EQ(ini.DamagedLines(), (QList<int>{3, 4, 6, 10}));
  EXPECT_EQ(ini.Value("Main", "Hint"), "1");
  EXPECT_EQ(ini.ToBytes(), bytes + "\r\n");
  ini.Parse("[Fonts]\nBSize=12\n; note\n\n");
  EXPECT_TRUE(ini.DamagedLines().isEmpty());
}

TEST(IniFile, ValueWithLineBreakIsWrittenUpToTheBreak) {
  IniFile ini;
  ini.SetValue("A", "Key", "first\r\n[Injected]\nX=1");
  IniFile reread;
  reread.Parse(ini.ToBytes());
  EXPECT_EQ(reread.Value("A", "Key"), "first");
  EXPECT_FALSE(reread.Contains("Injected", "X"));
}

TEST(IniFile, MissingFileIsEmptyAndSaveRoundTrips) {
  QTemporaryDir dir;
  const QString path = dir.filePath("scrivn.ini");
  IniFile ini;
  QString error;
  ASSERT_TRUE(ini.Load(path, &error));
  EXPECT_FALSE(ini.Contains("Fonts", "BSize"));
  ini.SetValue("Fonts", "BSize", "11");
  ASSERT_TRUE(ini.Save(path, &error)) << error.toStdString();
  IniFile reread;
  ASSERT_TRUE(reread.Load(path));
  EXPECT_EQ(reread.Value("Fonts", "BSize"), "11");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"scrivn.ini"});
}

TEST(IniFile, WriteFailureNamesTheFullPathAndLeavesNoFile) {
  QTemporaryDir dir;
  // Tests may run as root, where permissions do not stop a write: use a
  // folder that does not exist and a folder that is really a file.
  QFile blocker(dir.filePath("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QString paths[] = {dir.filePath("missing/scrivn.ini"), dir.filePath("blocker/scrivn.ini")};
  for (const QString &path : paths) {
    IniFile ini;
    ini.SetValue("A", "B", "C");
    QString error;
    EXPECT_FALSE(ini.Save(path, &error));
    EXPECT_EQ(error, "Unable to write to " + path);
    EXPECT_FALSE(QFile::exists(path));
  }
  EXPECT_EQ(ReadAll(dir.filePath("blocker")), QByteArray());
}

// A full disk made the window empty scrivn.ini: the failed write was only
// noticed at the flush, after which the empty temporary file was renamed over
// the settings all the same.
TEST(IniFile, FullDiskKeepsTheOldSettingsFile) {
  const QByteArray old = "[Fonts]\r\nBName=Courier New\r\nBSize=9\r\n";
  auto check = [&](const QString &path, const QString &what) {
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    ini.SetValue("Fonts", "BSize", "12");
    ini.SetValue("Title", "Title1", QByteArray(3000, 'x'));
    QString error;
    EXPECT_FALSE(ini.Save(path, &error)) << what.toStdString();
    EXPECT_EQ(error, "Unable to write to " + path) << what.toStdString();
    EXPECT_EQ(ReadAll(path), old) << what.toStdString();
    // The recent-files save at every Open goes the same way.
    RecentFiles recent;
    recent.Add("/work/inventory.dpr");
    EXPECT_FALSE(SaveRecentFiles(recent, path, &error)) << what.toStdString();
    EXPECT_EQ(ReadAll(path), old) << what.toStdString();
    const QStringList left = QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_TRUE(left == QStringList{"scrivn.ini"} || left == (QStringList{".filler", "scrivn.ini"}))
        << what.toStdString() << ": " << left.join(" ").toStdString();
  };
  auto writeOld = [&](const QString &path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(old) == old.size();
  };

  {
    QTemporaryDir dir;
    const QString path = dir.filePath("scrivn.ini");
    ASSERT_TRUE(writeOld(path));
    SetWriteFailureHook([](const QString &, qint64) { return ENOSPC; });
    check(path, "write hook");
    SetWriteFailureHook({});
  }

  testsupport::SmallDisk disk;
  if (!disk.mounted()) GTEST_SKIP() << "a real full disk needs root to mount a tmpfs";
  const QString path = disk.path("scrivn.ini");
  ASSERT_TRUE(writeOld(path));
  disk.Fill();
  check(path, "full tmpfs");
}

// Files edited by hand come in every shape: a UTF-8 mark before the first
// header, no line end after the last line, lone LF or CR LF ends, keys before
// any section (which belong to no section), blank-padded headers.
TEST(IniFile, OddlyShapedFilesReadAsTheirSectionsSay) {
  struct Row {
    const char *what;
    QByteArray bytes;
  } rows[] = {
      {"utf-8 mark", "\xEF\xBB\xBF[Fonts]\r\nBSize=12\r\n"},
      {"no final line end", "[Fonts]\r\nBSize=12"},
      {"lf only", "[Fonts]\nBSize=12\n"},
      {"keys before any section", "BSize=99\nHSize=9\n[Fonts]\nBSize=12\n"},
      {"padded header", "  [ Fonts ]  \r\n\tBSize\t=\t12\t\r\n"},
  };
  for (const Row &row : rows) {
    IniFile ini;
    ini.Parse(row.bytes);
    EXPECT_EQ(ini.Value("Fonts", "BSize"), "12") << row.what;
    EXPECT_FALSE(ini.Contains("Fonts", "HSize")) << row.what;
    // Unchanged, the file is written back byte for byte except for a final
    // line end.
    QByteArray expected = row.bytes;
    if (!expected.endsWith('\n')) expected += "\r\n";
    EXPECT_EQ(ini.ToBytes(), expected) << row.what;
  }
}
