// What scrivane-print says when it cannot do what it was asked: a message on
// stderr naming the file and the reason, and exit status 1 (2 for a command
// line it cannot understand); never silence with status 0.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "project/PrintTool.h"

namespace {
using printtool::RunPrintTool;

class CommandLineMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QFileInfo::exists(printtool::Program()))
        << printtool::Program().toStdString() << " is not built";
  }
  QString Write(const QString &name, const QByteArray &bytes) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  QTemporaryDir dir;
};

// A print the tests run reads settings of their own, never the scrivn.ini
// a developer's window left beside the build; the commands that read no
// settings (and refuse --ini) are left as they are.
TEST(PrintToolSettings, EveryPrintReadsTheTestsOwnSettings) {
  const QString own = printtool::DefaultSettings();
  ASSERT_TRUE(QFileInfo(own).isFile());
  EXPECT_EQ(QFileInfo(own).size(), 0);
  const struct {
    QStringList args, expected;
  } rows[] = {
      {{"a.pas", "-o", "a.pdf"}, {"a.pas", "-o", "a.pdf", "--ini", own}},
      {{"a.dpr", "--all", "-P", "queue"}, {"a.dpr", "--all", "-P", "queue", "--ini", own}},
      {{"a.pas", "--ini", "mine.ini", "-o", "a.pdf"},
       {"a.pas", "--ini", "mine.ini", "-o", "a.pdf"}},
      {{"a.pas", "--ini=mine.ini"}, {"a.pas", "--ini=mine.ini"}},
      {{"--units", "a.dpr"}, {"--units", "a.dpr"}},
      {{"--routines", "a.pas"}, {"--routines", "a.pas"}},
      {{"--form-text", "a.dfm"}, {"--form-text", "a.dfm"}},
      {{"--version"}, {"--version"}},
      {{"-h"}, {"-h"}},
  };
  for (const auto &row : rows)
    EXPECT_EQ(printtool::WithOwnSettings(row.args), row.expected)
        << row.args.join(' ').toStdString();
}

TEST_F(CommandLineMessages, EachFaultNamesTheFileAndTheReason) {
  const QString unit = Write("MyProj/Stock.pas",
                             "unit Stock;\ninterface\nprocedure Count;\nimplementation\nprocedure "
                             "Count;\nbegin end;\nend.\n");
  const QString binary = Write("MyProj/Binary.pas", QByteArray("unit\0x", 6));
  const QString readme = Write("MyProj/README", "Read me.\n");
  const QString form = Write("MyProj/Main.dfm", "TPF0");
  const QString folder = dir.filePath("MyProj");
  // An --ini that cannot be read was passed over in silence (a folder or a
  // pipe said "not found").
  const QString pipe = dir.filePath("settings.fifo");
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  struct Row {
    QStringList args;
    int status;
    QString err;
  } rows[] = {
      {{"--units", readme},
       1,
       "scrivane-print: Cannot read " + readme +
           ": it is not a project (.dpr, .lpr, .dpk, .lpi, .lpk, .dproj), unit (.pas, .pp, .p, "
           ".inc) or form (.dfm, .lfm) file."},
      {{"--routines", readme},
       1,
       "scrivane-print: Cannot read " + readme +
           ": it is not a project (.dpr, .lpr, .dpk, .lpi, .lpk, .dproj), unit (.pas, .pp, .p, "
           ".inc) or form (.dfm, .lfm) file."},
      {{"--units", folder},
       1,
       "scrivane-print: Cannot read " + folder + ": it is a folder, not a file"},
      {{"--routines", binary},
       1,
       "scrivane-print: " + binary + ": File is binary. Please save it as text file."},
      {{unit, "--select", "", "-o", dir.filePath("x.pdf")},
       2,
       "scrivane-print: --select needs the text of a routine"},
      {{unit, "--ini", folder, "-o", dir.filePath("x.pdf")},
       1,
       "scrivane-print: Cannot read " + folder + ": it is a folder"},
      {{unit, "--ini", pipe, "-o", dir.filePath("x.pdf")},
       1,
       "scrivane-print: Cannot read " + pipe + ": it is not a regular file"},
      {{"--units", dir.filePath("none.dpr")},
       1,
       "scrivane-print: " + dir.filePath("none.dpr") + ": not found\n"},
      {{dir.filePath("none.dpr"), "-o", dir.filePath("x.pdf")},
       1,
       "scrivane-print: " + dir.filePath("none.dpr") + ": not found\n"},
      // A name given here is taken literally: "\" is no separator.
      {{dir.filePath("MyProj\\Stock.pas"), "-o", dir.filePath("x.pdf")},
       1,
       "scrivane-print: " + dir.filePath("MyProj\\Stock.pas") + ": not found\n"},
  };
  for (const Row &row : rows) {
    const auto run = RunPrintTool(row.args);
    EXPECT_EQ(run.status, row.status) << row.args.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith(row.err)) << row.args.join(' ').toStdString() << "\n"
                                             << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
  }
  // A damaged settings file still prints, and says so on stderr.
  {
    const QString ini = Write("damaged.ini", QByteArray("[Fonts]\nBSize=big\n\0\xff\n", 21));
    const auto run = RunPrintTool({unit, "--ini", ini, "-o", dir.filePath("damaged.pdf")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(
        "scrivane-print: The settings file " + ini +
        " is damaged: line 3 is not a setting; [Fonts] BSize=big is not a number."))
        << run.err.toStdString();
    EXPECT_GT(QFileInfo(dir.filePath("damaged.pdf")).size(), 0);
  }

  // A form file that is cut short is not passed over in silence.
  const auto dfm = RunPrintTool({"--units", form});
  EXPECT_EQ(dfm.status, 1);
  EXPECT_TRUE(dfm.err.contains(form, Qt::CaseInsensitive)) << dfm.err.toStdString();

  // A name in Latin-1 bytes cannot reach the file through Qt, which reads
  // names as UTF-8: say so instead of a bare "not found.".
  {
    const QByteArray latin1 = QFile::encodeName(dir.path()) + "/caf\xe9.pas";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    QProcess shell;
    shell.start("/bin/sh", {"-c", "\"$0\" --routines \"$(printf '%s/caf\\351.pas' \"$1\")\"",
                            printtool::Program(), dir.path()});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 1);
    const QString err = QString::fromUtf8(shell.readAllStandardError());
    EXPECT_TRUE(err.contains("not found: the name is not valid UTF-8")) << err.toStdString();
  }

  // Paths and names for scripts are the files' own.
  const QString dpr = Write("MyProj/Inventory.dpr", "uses\n  stock in 'stock.pas';\n");
  const auto units = RunPrintTool({"--units", dpr});
  EXPECT_EQ(units.status, 0);
  EXPECT_EQ(units.out, "Stock.pas\t" + unit + "\n");

  // "back\slash.pas" was read as "back/slash.pas" and not found. --units
  // writes a backslash doubled, so that its escapes read back.
  const QString slashed =
      Write("MyProj/back\\slash.pas", "unit slash;\ninterface\nimplementation\nend.\n");
  const auto listed = RunPrintTool({"--units", slashed});
  EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
  EXPECT_EQ(listed.out, "back\\\\slash.pas\t" + QString(slashed).replace("\\", "\\\\") + "\n");
  const auto printed = RunPrintTool({slashed, "-o", dir.filePath("slash.pdf")});
  EXPECT_EQ(printed.status, 0) << printed.err.toStdString();
  EXPECT_TRUE(QFileInfo(dir.filePath("slash.pdf")).size() > 0);
}

}  // namespace
