// scrivane-print must never lose a file: not the sources it prints, not an
// older PDF when the new one cannot be written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "project/PrintTool.h"
#include "support/SmallDisk.h"
#include "support/TestPaths.h"

namespace {
using printtool::RunPrintTool;
using printtool::ToolRun;

// A copy of the example project, so that a fault cannot harm the real one.
class CommandLineOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QFileInfo::exists(printtool::Program()))
        << printtool::Program().toStdString() << " is not built";
    for (const QString &name : QDir(testsupport::examplesDir()).entryList(QDir::Files))
      ASSERT_TRUE(QFile::copy(testsupport::examplesDir() + "/" + name, Path(name)));
  }
  QString Path(const QString &name) const { return dir.filePath(name); }
  // Name and hash of every file in the folder.
  QStringList Snapshot() const {
    QStringList files;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      QFile file(path);
      file.open(QIODevice::ReadOnly);
      files << QDir(dir.path()).relativeFilePath(path) + " " +
                   QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
    }
    files.sort();
    return files;
  }
  QTemporaryDir dir;
};

// "stock.pas -o stock.pas" replaced the source with a PDF and exited 0;
// "inventory.dpr -o reports.pas" printed another unit over reports.pas.
TEST_F(CommandLineOutput, OutputOverAFileOfTheProjectIsRefused) {
  ASSERT_TRUE(QFile::link(Path("stock.pas"), Path("stock-link.pas")));
  ASSERT_EQ(::link(QFile::encodeName(Path("reports.pas")).constData(),
                   QFile::encodeName(Path("reports-hard.pdf")).constData()),
            0);
  struct Row {
    QStringList args;
    QString output, names;
  } rows[] = {
      {{"stock.pas"}, "stock.pas", "stock.pas"},
      {{"stock.pas"}, "STOCK.PAS", "stock.pas"},
      {{"stock.pas"}, "stock-link.pas", "stock.pas"},
      {{"inventory.dpr"}, "inventory.dpr", "inventory.dpr"},
      {{"inventory.dpr"}, "reports.pas", "reports.pas"},
      {{"inventory.dpr"}, "reports-hard.pdf", "reports.pas"},
      {{"inventory.dpr", "--unit", "stock"}, "./sub/../Mainform.PAS", "mainform.pas"},
      // A form the book reads, with or without --force.
      {{"inventory.dpr", "--all", "--force"}, "mainform.dfm", "mainform.dfm"},
      {{"mainform.pas", "--force"}, "MainForm.DFM", "mainform.dfm"},
      {{"mainform.pas", "--all", "--force"}, "mainform.dfm", "mainform.dfm"},
  };
  QDir().mkpath(Path("sub"));
  const QStringList before = Snapshot();
  for (const Row &row : rows) {
    const QString output = Path(row.output);
    const ToolRun run = RunPrintTool(QStringList{Path(row.args[0])} << row.args.mid(1)
                                                                    << QStringList{"-o", output});
    const QString what = row.args.join(' ') + " -o " + row.output;
    EXPECT_EQ(run.status, 1) << what.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << what.toStdString();
    EXPECT_TRUE(run.err.startsWith("scrivane-print: Cannot print to " +
                                   QFileInfo(output).absoluteFilePath() + ": it is "))
        << what.toStdString() << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QFileInfo(Path(row.names)).canonicalFilePath() +
                                 ", a file of the opened project"))
        << what.toStdString() << ": " << run.err.toStdString();
  }
  EXPECT_EQ(Snapshot(), before);
  // Another file in the same folder is fine.
  const ToolRun run = RunPrintTool({Path("stock.pas"), "-o", Path("stock.pdf")});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
}

// Each of these exited 0 and put a PDF in place of the file (a pipe with no
// reader blocked for ever): -o replaces only a PDF, or with --force any
// regular file the user may write.
TEST_F(CommandLineOutput, OutputReplacesOnlyWhatIsOurs) {
  QTemporaryDir outside;
  auto write = [&](const QString &name, const QByteArray &bytes) {
    QFile file(outside.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
  };
  const QString notes = write("notes.txt", "keep me\n");
  const QString unit = write("other.pas", "unit other;\nend.\n");
  const QString oldPdf = write("old.pdf", "%PDF-1.4\n%%EOF\n");
  const QString locked = write("locked.pdf", "%PDF-1.4\n%%EOF\n");
  const QString empty = write("empty.out", "");
  ::chmod(QFile::encodeName(locked).constData(), 0444);
  const QString link = outside.filePath("link.pdf");
  ASSERT_TRUE(QFile::link(unit, link));
  const QString fifo = outside.filePath("pipe.pdf");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString forced = write("forced.txt", "replace me\n");
  // A dangling link made its target, wherever it pointed.
  const QString dangling = outside.filePath("dangling.pdf"),
                nowhere = outside.filePath("nowhere.pdf");
  ASSERT_TRUE(QFile::link(nowhere, dangling));
  const QString loop = outside.filePath("loop.pdf");
  ASSERT_TRUE(QFile::link(loop, loop));
  struct Row {
    QString output;
    QStringList extra;
    int status;
    QString reason;  // the end of "Cannot print to PATH: ..."
  } rows[] = {
      {notes,
       {},
       1,
       "it is not a PDF file (its first bytes are not %PDF-). Give --force to replace it."},
      {unit,
       {},
       1,
       "it is not a PDF file (its first bytes are not %PDF-). Give --force to replace it."},
      {link,
       {},
       1,
       "it is not a PDF file (its first bytes are not %PDF-). Give --force to replace it."},
      {Path("mainform.dfm"),
       {"--force"},
       1,
       "a file of the opened project. Choose another output file."},
      {locked, {"--force"}, 1, "it is write-protected (mode 0444)."},
      {fifo, {}, 1, "it is a pipe, not a regular file."},
      {"/dev/null", {}, 1, "it is a device, not a regular file."},
      {outside.path(), {}, 1, "it is a folder."},
      {dangling, {"--force"}, 1, "it is a symbolic link to " + nowhere + ", which does not exist."},
      {loop, {}, 1, "it is a symbolic link that leads round in a loop."},
      {oldPdf, {}, 0, ""},
      {empty, {}, 0, ""},
      {forced, {"--force"}, 0, ""},
  };
  for (const Row &row : rows) {
    const ToolRun run = RunPrintTool(
        QStringList{Path("inventory.dpr"), "--unit", "stock", "-o", row.output} << row.extra);
    EXPECT_EQ(run.status, row.status) << row.output.toStdString() << ": " << run.err.toStdString();
    if (row.status == 0) {
      QFile pdf(row.output);
      EXPECT_TRUE(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-")
          << row.output.toStdString();
      continue;
    }
    EXPECT_TRUE(run.err.startsWith("scrivane-print: Cannot print to " +
                                   QFileInfo(row.output).absoluteFilePath() + ": "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.trimmed().endsWith(row.reason)) << run.err.toStdString();
  }
  QFile kept(notes), source(unit);
  EXPECT_TRUE(kept.open(QIODevice::ReadOnly) && kept.readAll() == "keep me\n");
  EXPECT_TRUE(source.open(QIODevice::ReadOnly) && source.readAll() == "unit other;\nend.\n");
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_FALSE(QFileInfo::exists(nowhere));
}

TEST_F(CommandLineOutput, UnwritableOutputFailsAndKeepsTheOldFile) {
  const ToolRun full = RunPrintTool({Path("inventory.dpr"), "-o", "/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(full.out.isEmpty()) << full.out.toStdString();
  EXPECT_EQ(full.err.trimmed(),
            "scrivane-print: Cannot print to /dev/full: it is a device, not a regular file.");

  testsupport::SmallDisk disk;
  if (!disk.mounted()) GTEST_SKIP() << "a real full disk needs root to mount a tmpfs";
  const QString pdf = disk.path("listing.pdf");
  ASSERT_EQ(RunPrintTool({Path("inventory.dpr"), "--unit", "mainform", "-o", pdf}).status, 0);
  QFile first(pdf);
  ASSERT_TRUE(first.open(QIODevice::ReadOnly));
  const QByteArray old = first.readAll();
  first.close();
  disk.Fill();
  const ToolRun run = RunPrintTool({Path("inventory.dpr"), "--unit", "stock", "-o", pdf});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
  EXPECT_EQ(run.err.trimmed(),
            "scrivane-print: Unable to write to " + pdf + ": No space left on device");
  QFile after(pdf);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), old);
  EXPECT_EQ(QDir(QFileInfo(pdf).path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{".filler", "listing.pdf"}));
}

}  // namespace
