// Inputs meant to harm: a downloaded project file could print any file of
// the machine into a book (`uses sh in '/etc/shadow'`, a unit that is a link
// out of the project); names taken from a project reached the terminal with
// their escape sequences; a unit too large for the memory limit aborted
// with a core.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "project/PrintTool.h"

namespace {
using printtool::RunPrintTool;
using printtool::ToolRun;

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QFileInfo::exists(printtool::Program())) << "scrivane-print not built";
  }
  QString Write(const QString &name, const QByteArray &bytes) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  static QByteArray Unit(const QByteArray &name, const QByteArray &secret = "plain") {
    return "unit " + name + ";\ninterface\nconst Secret = '" + secret +
           "';\nimplementation\nend.\n";
  }
  QString PdfText(const QString &pdf) {
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput());
  }
  QTemporaryDir dir;
};

TEST_F(HostileInput, OnlyPascalFilesInsideTheProjectTreeAreBroughtIn) {
  Write("secret.pas", Unit("Outside", "OUTSIDE-SECRET"));
  Write("other/secret2.pas", Unit("Outside2", "OUTSIDE-SECRET"));
  Write("private.txt", "PRIVATE-TEXT\n");
  Write("proj/sub/Inner.pas", Unit("Inner", "INNER-OK"));
  Write("proj/Main.pas", Unit("Main", "MAIN-OK"));
  Write("proj/Main.lfm", "object Form1: TForm1\nend\n");
  Write("elsewhere/Form.lfm", "object Stolen: TForm\n  Caption = 'FORM-SECRET'\nend\n");
  Write("proj/Linked.pas", Unit("Linked"));
  QFile::remove(dir.filePath("proj/Linked.pas"));
  ASSERT_TRUE(QFile::link(dir.filePath("secret.pas"), dir.filePath("proj/Linked.pas")));
  Write("proj/Forms.pas", Unit("Forms", "FORMS-OK"));
  ASSERT_TRUE(QFile::link(dir.filePath("elsewhere/Form.lfm"), dir.filePath("proj/Forms.lfm")));
  const QString project =
      Write("proj/p.lpr",
            "program P;\nuses\n  Main, Inner in 'sub/Inner.pas',\n"
            "  Up in '../secret.pas', Abs in '" +
                dir.filePath("other/secret2.pas").toUtf8() +
                "',\n"
                "  Txt in '../private.txt', Linked in 'Linked.pas', Forms;\nbegin\nend.\n");
  const ToolRun units = RunPrintTool({"--units", project});
  EXPECT_EQ(units.status, 0) << units.err.toStdString();
  QMap<QString, QString> leftOut;  // file name -> third field
  for (const QString &line : units.out.split('\n', Qt::SkipEmptyParts)) {
    const QStringList fields = line.split('\t');
    leftOut[fields[0]] = fields.value(2);
  }
  EXPECT_EQ(leftOut.value("Main.pas"), "");
  EXPECT_EQ(leftOut.value("Inner.pas"), "");
  EXPECT_TRUE(
      leftOut.value("secret.pas").startsWith("left out: it lies outside the project's folder"))
      << units.out.toStdString();
  EXPECT_TRUE(
      leftOut.value("secret2.pas").startsWith("left out: it lies outside the project's folder"));
  EXPECT_TRUE(
      leftOut.value("private.txt").startsWith("left out: it is not a Pascal source or form file"));
  EXPECT_TRUE(leftOut.value("Linked.pas").startsWith("left out: it is a link to"))
      << units.out.toStdString();
  EXPECT_EQ(units.err.count("left out:"), 4) << units.err.toStdString();
  // Then the way to let in what lies outside, should the user trust it.
  const QString letIn = "2 units the project names lie outside its folder; --include-path " +
                        dir.path() + " lets them in.";
  EXPECT_TRUE(units.err.contains(letIn)) << units.err.toStdString();
  const ToolRun trusted = RunPrintTool({"--units", project, "--include-path", dir.path()});
  EXPECT_TRUE(trusted.out.contains("secret.pas\t" + dir.filePath("secret.pas") + "\n"))
      << trusted.out.toStdString();
  EXPECT_FALSE(trusted.err.contains("outside")) << trusted.err.toStdString();

  const QString pdf = dir.filePath("book.pdf");
  const ToolRun book = RunPrintTool({project, "--all", "-o", pdf});
  EXPECT_EQ(book.status, 1) << book.err.toStdString();
  const QString text = PdfText(pdf);
  for (const char *kept : {"MAIN-OK", "INNER-OK", "FORMS-OK"})
    EXPECT_TRUE(text.contains(kept)) << kept;
  for (const char *secret : {"OUTSIDE-SECRET", "PRIVATE-TEXT", "FORM-SECRET"})
    EXPECT_FALSE(text.contains(secret)) << secret;
  EXPECT_TRUE(book.err.contains(dir.filePath("elsewhere/Form.lfm")) ||
              book.err.contains("Forms.lfm: left out"))
      << book.err.toStdString();
}

TEST_F(HostileInput, NamesReachTheTerminalEscaped) {
  const QString hostile = QString("x\x1b]0;PWNED\x07\x1b[2J");
  const QString project =
      Write("esc/p.lpr", "program P;\nuses\n  A in '" + hostile.toUtf8() + ".pas';\nbegin\nend.\n");
  const QString missing = dir.filePath(hostile + ".pas");
  for (const QStringList &args :
       {QStringList{"--units", project}, QStringList{project, "--all", "-o", dir.filePath("e.pdf")},
        QStringList{missing, "-o", dir.filePath("m.pdf")}}) {
    const ToolRun run = RunPrintTool(args);
    for (const QString &said : {run.out, run.err}) {
      EXPECT_FALSE(said.contains(QChar(0x1b))) << args.join(' ').toStdString();
      EXPECT_FALSE(said.contains(QChar(0x07))) << args.join(' ').toStdString();
    }
    EXPECT_TRUE((run.out + run.err).contains("\\x1b]0;PWNED\\x07"))
        << (run.out + run.err).toStdString();
  }
}

TEST_F(HostileInput, AUnitTooLargeForTheMemoryLimitIsAMessage) {
  QByteArray unit = "unit Big;\ninterface\nimplementation\n";
  const QByteArray routine =
      "procedure P; begin Total := Total + Item[Index]; WriteLn('hello world'); end;\n";
  while (unit.size() < 24 * 1024 * 1024) unit += routine;
  const QString path = Write("Big.pas", unit + "end.\n");
  for (const QStringList &args :
       {QStringList{"--routines", path}, QStringList{path, "-o", dir.filePath("big.pdf")}}) {
    QProcess process;
    process.setChildProcessModifier([] {
      const rlimit limit{150u << 20, 150u << 20};
      ::setrlimit(RLIMIT_AS, &limit);
    });
    process.start(printtool::Program(), args);
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
    EXPECT_EQ(process.exitCode(), 1) << args.join(' ').toStdString();
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()),
              "scrivane-print: Not enough memory to read " + path + "\n");
  }
  EXPECT_EQ(QDir(dir.path()).entryList({".*.tmp"}, QDir::Files | QDir::Hidden), QStringList{});
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("big.pdf")));
}

// Files that each include the next twice, 18 deep, bring in 2^18 copies,
// and code nested 20,000 deep overflowed the resolver's stack: the book is
// printed with what could be read, each limit named once where it bit.
TEST_F(HostileInput, IncludeBombsAndDeepNestingEndInAMessage) {
  for (int i = 0; i < 18; ++i) {
    const QByteArray next = "{$I i" + QByteArray::number(i + 1) + ".inc}\n";
    Write(QStringLiteral("i%1.inc").arg(i), next + next);
  }
  Write("i18.inc", "x := 1;\n");
  Write("bomb.pas",
        "unit bomb;\ninterface\nimplementation\nprocedure P;\nbegin\n"
        "{$I i0.inc}\nend;\nend.\n");
  QByteArray nested = "unit nested;\ninterface\nimplementation\nprocedure P;\nbegin\n";
  for (int i = 0; i < 20000; ++i) nested += "begin\n";
  for (int i = 0; i < 20000; ++i) nested += "end;\n";
  const QString deep = Write("nested.pas", nested + "end;\nend.\n");
  const QString project =
      Write("hostile.lpr",
            "program hostile;\nuses bomb in 'bomb.pas', nested in 'nested.pas';\nbegin\nend.\n");
  const QString pdf = dir.filePath("book.pdf");
  const ToolRun run = RunPrintTool({project, "--all", "-o", pdf});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(QFileInfo(pdf).size() > 0);
  EXPECT_TRUE(run.err.contains("the unit has brought in 10000 include files already"))
      << run.err.toStdString();
  EXPECT_EQ(run.err.count("nests more than 400 levels deep here"), 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains(deep + ":")) << run.err.toStdString();
}

}  // namespace
