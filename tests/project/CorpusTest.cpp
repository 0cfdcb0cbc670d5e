// Real sources: the example project and, when installed, the Free Pascal
// sources, read end to end.
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>

#include "project/ReaderFixture.h"
#include "support/TestPaths.h"

using namespace scrivane;
using readertest::ReaderFixture;

namespace {

class Corpus : public ReaderFixture {};

TEST_F(Corpus, ExampleProjectListsItsUnitsAndRoutines) {
  const QString dpr = testsupport::examplesDir() + "/inventory.dpr";
  if (!QFileInfo::exists(dpr)) GTEST_SKIP() << "no example project";
  ClearForOpen(model);
  ctx.includeUses = true;
  OpenPath(ctx, dpr);
  EXPECT_TRUE(messages.warnings.isEmpty()) << messages.warnings.join("\n").toStdString();
  ASSERT_GE(model.Units.size(), 3);
  EXPECT_EQ(model.Units[0].name, "mainform.pas");
  for (int i = 0; i < model.Units.size(); ++i) {
    EXPECT_TRUE(UnitEntryFileInfo(model, i).exists()) << model.Units[i].fullPath.toStdString();
    model.SelectedUnit = i;
    LoadUnit(ctx);
    EXPECT_FALSE(model.SourceLines.isEmpty());
    for (const RoutineEntry &routine : model.Routines)
      EXPECT_TRUE(routine.line >= 0 && routine.line < model.SourceLines.size());
  }
}

TEST_F(Corpus, FreePascalSourcesLoadWithoutFault) {
  const QString root = "/usr/share/fpcsrc";
  if (!QFileInfo(root).isDir()) GTEST_SKIP() << "fpc-source is not installed";
  QDirIterator it(root, {"*.pas", "*.pp"}, QDir::Files, QDirIterator::Subdirectories);
  int loaded = 0, listed = 0;
  while (it.hasNext() && loaded < 400) {
    const QString path = it.next();
    ClearForOpen(model);
    ParsePas(ctx, path);
    if (!model.CurrentUnitPath.isEmpty()) ++loaded;
    listed += int(model.Routines.size());
    for (const RoutineEntry &routine : model.Routines)
      ASSERT_TRUE(routine.line >= 0 && routine.line < model.SourceLines.size())
          << path.toStdString();
    for (auto &routine : model.Routines) routine.selected = true;
    CollectSelectedText(model);
  }
  EXPECT_GT(loaded, 300);
  EXPECT_GT(listed, 1000);
}

TEST_F(Corpus, LazarusProjectsListTheUnitsTheirUsesClausesName) {
  const QString root = "/usr/lib/lazarus";
  if (!QFileInfo(root).isDir()) GTEST_SKIP() << "lazarus-src is not installed";
  QDirIterator it(root, {"*.lpr"}, QDir::Files, QDirIterator::Subdirectories);
  int projects = 0, withUnits = 0;
  while (it.hasNext()) {
    const QString path = it.next();
    ClearForOpen(model);
    OpenPath(ctx, path);
    ++projects;
    ASSERT_TRUE(model.ProjectLoaded) << path.toStdString();
    if (!model.Units.isEmpty()) ++withUnits;
    // Every unit listed is named in the project.
    const QByteArray text = model.ProjectLines.join('\n').toLower();
    for (const UnitEntry &unit : model.Units) {
      const QByteArray file = unit.name.toLower().toLocal8Bit();
      EXPECT_TRUE(text.contains(file.left(file.lastIndexOf('.'))))
          << path.toStdString() << ": " << file.constData();
      // Every path listed is a file, unless the project names it with "in '…'" (the list shows it
      // missing).
      EXPECT_TRUE(QFileInfo(unit.PathToRead()).isFile() || text.contains(file + '\''))
          << path.toStdString() << ": " << unit.PathToRead().toStdString();
    }
  }
  EXPECT_TRUE(messages.warnings.isEmpty()) << messages.warnings.join("\n").toStdString();
  // Most examples keep their units beside the project; the rest find them on
  // search paths that only the .lpi names.
  EXPECT_GT(projects, 300);
  EXPECT_GT(withUnits, projects * 4 / 5);
}

TEST(CommandLine, ListsUnitsAndRoutinesAndReportsFaults) {
  const QString program = QStringLiteral(SCRIVANE_BINARY_DIR) + "/src/scrivane-print";
  const QString dpr = testsupport::examplesDir() + "/inventory.dpr";
  ASSERT_TRUE(QFileInfo::exists(program)) << program.toStdString() << " is not built";
  ASSERT_TRUE(QFileInfo::exists(dpr));
  auto run = [&](const QStringList &args, QByteArray *out = nullptr, QByteArray *err = nullptr) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(30000));
    if (out) *out = process.readAllStandardOutput();
    if (err) *err = process.readAllStandardError();
    return process.exitCode();
  };
  QByteArray out, err;
  EXPECT_EQ(run({"--units", dpr}, &out), 0);
  EXPECT_TRUE(out.startsWith("mainform.pas\t/")) << out.constData();
  EXPECT_EQ(run({"--routines", dpr, "--unit", "STOCK.pas"}, &out), 0);
  EXPECT_FALSE(out.isEmpty());
  EXPECT_EQ(run({"--routines", dpr, "--unit", "nothere"}, &out, &err), 1);
  EXPECT_EQ(err, "scrivane-print: nothere: not found\n");
  EXPECT_EQ(run({"--units", "/nonexistent/x.dpr"}, &out, &err), 1);
  EXPECT_EQ(err, "scrivane-print: /nonexistent/x.dpr: not found\n");
  EXPECT_EQ(run({"--units"}), 2);
  EXPECT_EQ(run({"--bogus", dpr}), 2);
  EXPECT_EQ(run({"--help"}, &out), 0);
  EXPECT_TRUE(out.contains("-o OUT.pdf"));
}

}  // namespace
