// What a user of scrivane-print met beside a2ps and enscript, one row per
// fault: page numbers where pages are cited, header and footer escapes,
// warnings for values passed over, the report on stderr, the shell's
// completion and the window's --help.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "project/PrintTool.h"
#include "support/TestPaths.h"

namespace {

struct ProgramRun {
  int status = -1;
  QString out, err;
};

ProgramRun RunProgram(const QString &program, const QStringList &args,
                      const QStringList &environment = {}) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const QString &setting : environment)
    env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
  process.setProcessEnvironment(env);
  process.start(program, args);
  ProgramRun run;
  if (!process.waitForFinished(60000)) return run;
  run.status = process.exitCode();
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

QString PdfText(const QString &pdf) { return RunProgram("pdftotext", {"-layout", pdf, "-"}).out; }

// The completion function run as bash runs it for the words typed, with the
// two helpers bash-completion would bring reduced to what it needs here.
QString Completions(const QStringList &words) {
  const QString script = QStringLiteral(
      "_init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; }\n"
      "_filedir() { :; }\n"
      "compopt() { :; }\n"
      "source \"$1\"\n"
      "shift\n"
      "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1))\n"
      "_scrivane_print \"$1\"\n"
      "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
  return RunProgram("bash", QStringList{"-c", script, "bash",
                                        QStringLiteral(SCRIVANE_SOURCE_DIR) +
                                            "/data/completion/scrivane-print",
                                        printtool::Program()} +
                                words.mid(1))
      .out;
}

}  // namespace

TEST(CommandLineUserFaults, EachFaultAsTheUserMetIt) {
  QTemporaryDir dir;
  const QString unit = testsupport::examplesDir() + "/stock.pas";
  const QString project = testsupport::examplesDir() + "/inventory.dpr";
  const QString pdf = dir.filePath("out.pdf");
  struct Row {
    const char *fault;
    QStringList args;
    QStringList environment;
    QString err;      // a line stderr must hold (a regular expression)
    QString printed;  // text the PDF must hold (a regular expression); empty: none asked
  };
  const Row rows[] = {
      {"no page number where the index cites pages", {unit, "-o", pdf}, {}, {}, "Page 1\\b"},
      {"no page number in the book",
       {project, "--all", "-o", pdf},
       {},
       {},
       "unit Stock;[^\f]*Page 1\\b"},
      {"header and footer escapes print as typed",
       {unit, "--header", "$u, page $p of $P", "--footer", "$f on %D", "-o", pdf},
       {},
       {},
       "stock, page 1 of \\d+[\\s\\S]*stock\\.pas on \\d+ \\w+ 20\\d\\d"},
      {"PAPERSIZE=b5 gives A4 without a word",
       {unit, "-o", pdf},
       {"PAPERSIZE=b5"},
       "^scrivane-print: PAPERSIZE=b5, not a paper size scrivane knows \\(a4, letter, legal, a3, "
       "a5\\); \\w+ .*is used$",
       {}},
      {"an unknown font gives DejaVu Sans without a word",
       {unit, "--set", "Fonts.BName=No Such Face", "-o", pdf},
       {},
       "^scrivane-print: The font \"No Such Face\" in the settings is not installed: \".+\" is "
       "used instead\\.$",
       {}},
      {"the pages line goes to stdout",
       {unit, "-o", pdf},
       {},
       "^" + QRegularExpression::escape(pdf) + ": \\d+ pages of stock\\.pas$",
       {}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.fault);
    QFile::remove(pdf);
    const ProgramRun run = RunProgram(printtool::Program(), row.args, row.environment);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    if (!row.err.isEmpty())
      EXPECT_TRUE(QRegularExpression("(?m)" + row.err).match(run.err).hasMatch())
          << run.err.toStdString();
    if (!row.printed.isEmpty())
      EXPECT_TRUE(QRegularExpression(row.printed).match(PdfText(pdf)).hasMatch())
          << PdfText(pdf).toStdString();
  }

  // Completion: values after "--opt=", the keys of --set, Pascal files in any case.
  ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
  for (const char *name : {"c.Pas", "UNIT1.PAS", "notes.txt"}) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  struct Completion {
    QStringList words;
    QStringList expected;
  } completions[] = {
      {{"scrivane-print", "--paper=let"}, {"letter"}},
      {{"scrivane-print", "--document", "pro"}, {"procedures", "project"}},
      {{"scrivane-print", "--set", "Switch.Lo"}, {"Switch.Lower="}},
      {{"scrivane-print", "--set=Margins.T"}, {"Margins.Top="}},
      {{"scrivane-print", dir.path() + "/"},
       {dir.filePath("UNIT1.PAS"), dir.filePath("c.Pas"), dir.filePath("sub")}},
  };
  for (const Completion &completion : completions) {
    QStringList offered = Completions(completion.words).split('\n', Qt::SkipEmptyParts);
    offered.sort();
    EXPECT_EQ(offered, completion.expected) << completion.words.join(' ').toStdString();
  }
  EXPECT_TRUE(
      RunProgram(printtool::Program(), {"--list-settings"}).out.contains("\nSwitch.LineNo\n"));

  // The window's --help names every kind of file it opens.
  const ProgramRun help =
      RunProgram(QStringLiteral(SCRIVANE_BINARY_DIR) + "/src/scrivane", {"--help"});
  for (const char *kind : {".dpr", ".lpr", ".pas", ".pp", ".p,", ".dfm", ".lfm"})
    EXPECT_TRUE(help.out.contains(kind)) << kind << "\n" << help.out.toStdString();
}
