#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "platform/Paths.h"
#include "platform/ReplacingFile.h"
#include "platform/TemporaryFiles.h"
#include "platform/Text1252.h"

using namespace scrivane;

TEST(Paths, PartsOfWindowsAndUnixPaths) {
  struct Row {
    const char *path, *file, *directory;
    bool absolute;
  } rows[] = {
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
}

TEST(Paths, FindFileAnyCaseFollowsEachComponent) {
  QTemporaryDir dir;
  const QString root = dir.path();
  ASSERT_TRUE(QDir(root).mkpath("Units/Forms"));
  for (const char *name : {"Units/Forms/MainForm.PAS", "Units/stock.pas", "Units/STOCK.PAS"}) {
    QFile file(root + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  struct Row {
    QString wanted, found;
  } rows[] = {
      {root + "/units/forms/mainform.pas", root + "/Units/Forms/MainForm.PAS"},
      {root + "\\UNITS\\FORMS\\MAINFORM.pas", root + "/Units/Forms/MainForm.PAS"},
      {root + "/units/stock.pas", root + "/Units/stock.pas"},  // exact name preferred
      {root + "/Units/STOCK.PAS", root + "/Units/STOCK.PAS"},
      {root + "/units/forms", root + "/Units/Forms"},
      {root + "/units/missing.pas", ""},
      {root + "/units/stock.pas/x.pas", ""},
      {"", ""},
  };
  for (const Row &row : rows)
    EXPECT_EQ(FindFileAnyCase(row.wanted), row.found) << row.wanted.toStdString();
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
    EXPECT_EQ(SettingsFilePathFor(root + row.programFolder, config), root + row.settings)
        << row.programFolder;

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
  struct Row {
    unsigned char byte;
    char16_t unicode;
  } rows[] = {
      {0x41, u'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x92, 0x2019},
      {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}, {0x00, 0x0000},
  };
  for (const Row &row : rows) EXPECT_EQ(Char1252(row.byte).unicode(), row.unicode) << int(row.byte);

  QByteArray all(256, Qt::Uninitialized);
  for (int i = 0; i < 256; ++i) all[i] = char(i);
  EXPECT_EQ(Encode1252(Decode1252(all)), all);

  EXPECT_EQ(Encode1252(u"\u20ac5 \u0100 \U0001F600 caf\u00e9"), QByteArray("\x80"
                                                                           "5 ? ? caf\xe9"));
}

// Hidden temporary files were left beside the target after Ctrl-C, a kill or
// a crash, and piled up; a name near the file system's limit failed with
// "File name too long" because the temporary name is longer.
TEST(TemporaryFiles, SignalsAndLaterWritesLeaveNoLeftoversAndLongNamesWork) {
  QTemporaryDir dir;
  auto hidden = [&] {
    return QDir(dir.path()).entryList({".*.tmp"}, QDir::Files | QDir::Hidden | QDir::System);
  };
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const QString target = dir.filePath("out.pdf");
    const pid_t child = ::fork();
    if (child == 0) {
      scrivane::RemoveTemporaryFilesOnSignals();
      scrivane::ReplacingFile file(target);
      if (file.open() && file.write("%PDF-") == 5) ::raise(signal);
      ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(hidden(), QStringList{}) << signal;
  }

  // Leftovers in the folder (of any target, a name with "[" included) that
  // no process holds locked are removed; a file only just written, and
  // files of other naming, are kept.
  const QString target = dir.filePath("out.pdf");
  auto plant = [&](const QString &name, qint64 secondsFromNow) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const timeval times[2] = {{time(nullptr) + secondsFromNow, 0},
                              {time(nullptr) + secondsFromNow, 0}};
    ::utimes(QFile::encodeName(path).constData(), times);
  };
  plant(".out.pdf.0123abcd.tmp", -3600);
  plant(".out.pdf.89abcdef.tmp", 3600);
  plant(".other.pdf.0123abcd.tmp", -3600);
  plant(".a[1].pdf.0123abcd.tmp", -3600);
  plant(".out.pdf.not-ours.tmp", -3600);
  ASSERT_TRUE(scrivane::ReplaceFileContents(target, "%PDF-1.5\n"));
  EXPECT_EQ(hidden(), (QStringList{".out.pdf.89abcdef.tmp", ".out.pdf.not-ours.tmp"}));

  // A second print to the same file removed the first one's temporary file
  // while it was still being written; a lock now keeps it.
  {
    scrivane::ReplacingFile first(target);
    ASSERT_TRUE(first.open());
    ASSERT_EQ(first.write("%PDF-1.5\n"), 9);
    const QStringList written =
        hidden().filter(QRegularExpression("^\\.out\\.pdf\\.[0-9a-f]{8}\\.tmp$"));
    for (const QString &name : written) {
      if (name == ".out.pdf.89abcdef.tmp") continue;
      const timeval past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
      ::utimes(QFile::encodeName(dir.filePath(name)).constData(), past);
    }
    ASSERT_TRUE(scrivane::ReplaceFileContents(target, "%PDF-1.5\n"));
    EXPECT_TRUE(first.commit()) << first.errorText().toStdString();
  }
  // A name holding "[" is a name, not a pattern: no warnings, no leftovers.
  ASSERT_TRUE(scrivane::ReplaceFileContents(dir.filePath("a[1].pdf"), "%PDF-1.5\n"));
  EXPECT_EQ(hidden(), (QStringList{".out.pdf.89abcdef.tmp", ".out.pdf.not-ours.tmp"}));

  for (const QString &name :
       {QString(250, QLatin1Char('n')) + ".pdf", QString(125, QChar(0xE9)) + ".pdf"}) {
    QString reason;
    EXPECT_TRUE(scrivane::ReplaceFileContents(dir.filePath(name), "%PDF-1.5\n", &reason))
        << reason.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(name)));
  }
}

// A uses entry "x\033]0;PWNED\007" retitled the terminal and cleared it when
// a message named it; --units must stay one line per unit.
TEST(Paths, ControlCharactersAreShownEscaped) {
  using scrivane::EscapeControlCharacters;
  struct Row {
    QString text, message, listing;
  } rows[] = {
      {"plain/path.pas", "plain/path.pas", "plain/path.pas"},
      {"x\x1b]0;PWNED\x07.pas", "x\\x1b]0;PWNED\\x07.pas", "x\\x1b]0;PWNED\\x07.pas"},
      {"a\tb\nc\\d", "a\\x09b\nc\\d", "a\\tb\\nc\\\\d"},
      {QString("del") + QChar(0x7f) + QChar(0x9b) + "2J", "del\\x7f\\x9b2J", "del\\x7f\\x9b2J"},
      {QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"), QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac"),
       QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac")},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(EscapeControlCharacters(row.text), row.message) << row.text.toStdString();
    EXPECT_EQ(EscapeControlCharacters(row.text, true), row.listing) << row.text.toStdString();
  }
}

// The fallback runtime folder was made with mkpath and chmod-ed through
// whatever another user had put at its name.
TEST(Paths, RuntimeFolderIsNeverAnotherUsersLink) {
  QTemporaryDir temp, elsewhere;
  const QByteArray saved = qgetenv("TMPDIR");
  qputenv("TMPDIR", QFile::encodeName(temp.path()));
  const QString fixed = temp.filePath(QStringLiteral("scrivane-runtime-%1").arg(::getuid()));
  ASSERT_TRUE(QFile::link(elsewhere.path(), fixed));
  QFile::setPermissions(elsewhere.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther);
  const QString chosen = scrivane::PrivateRuntimeFolder();
  EXPECT_NE(chosen, fixed);
  EXPECT_FALSE(chosen.isEmpty());
  struct stat status {};
  ASSERT_EQ(::lstat(QFile::encodeName(chosen).constData(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  EXPECT_EQ(status.st_mode & 077, 0u);
  // The planted folder is left as it was.
  EXPECT_TRUE(QFileInfo(elsewhere.path()).permissions() & QFileDevice::ReadOther);
  QDir(chosen).removeRecursively();
  QFile::remove(fixed);
  // Without anything planted the fixed name is made, private.
  EXPECT_EQ(scrivane::PrivateRuntimeFolder(), fixed);
  if (saved.isNull())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", saved);
}
