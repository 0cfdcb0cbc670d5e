// Include files and project files read as the compilers read them, on small
// trees made here.
#include <QDir>

#include "platform/Paths.h"
#include "project/IncludeFiles.h"
#include "project/PrintTool.h"
#include "project/ProjectFiles.h"
#include "project/ReaderFixture.h"
#include "support/ProjectKinds.h"

using namespace scrivane;
using readertest::ReaderFixture;

namespace {

TEST(IncludeDirectives, OnlyDirectivesReadAsCodeNameFiles) {
  struct Row {
    const char *source;
    QList<QByteArray> names;
    QList<int> lines;
  };
  const Row rows[] = {
      {"{$I a.inc}", {"a.inc"}, {1}},
      {"x;\r\n{$INCLUDE 'my file.inc'} y;\r\n", {"my file.inc"}, {2}},
      {"{$i+}{$I-}{$I %DATE%}{$IFDEF X}{$INCLUDE}", {}, {}},
      {"// {$I a.inc}\n'{$I b.inc}' { {$I c.inc} }", {}, {}},
      {"(*$I d.inc*)\r(* {$I e.inc} *)\r{$I f}", {"d.inc", "f"}, {1, 3}},
      {"{$IFDEF A}{$I a.inc}{$ELSE}\n{$I b.inc}{$ENDIF}", {"a.inc", "b.inc"}, {1, 2}},
      {"{ a comment\nover lines }\n{$I *}", {"*"}, {3}},
  };
  for (const Row &row : rows) {
    QList<QByteArray> names;
    QList<int> lines;
    for (const IncludeDirective &d : FindIncludeDirectives(row.source)) {
      names << d.name;
      lines << d.line;
    }
    EXPECT_EQ(names, row.names) << row.source;
    EXPECT_EQ(lines, row.lines) << row.source;
  }
}

class Includes : public ReaderFixture {
 protected:
  void OpenUnit(const QString &path) {
    ClearForOpen(model);
    OpenPath(ctx, path);
  }
  // "file:line text" for each source line.
  QStringList Rows() const {
    QStringList rows;
    for (qsizetype i = 0; i < model.SourceLines.size(); ++i)
      rows << QStringLiteral("%1:%2 %3")
                  .arg(model.SourceLines.fileIndex(i))
                  .arg(model.SourceLines.fileLine(i))
                  .arg(QString::fromLatin1(model.SourceLines[i].trimmed()));
    return rows;
  }
};

TEST_F(Includes, NamesAreFoundAsFreePascalFindsThem) {
  const QString unit = Write("u/unit.pas", "unit x;\n");
  Write("u/a.inc", "");
  Write("u/Sub/B.INC", "");
  Write("inc/c.inc", "");
  Write("u/d.pp", "");
  Write("inc/d.inc", "");
  Write("u/unit.inc", "");
  const QStringList search{Path("inc/")};
  struct Row {
    const char *name;
    const char *found;  // relative to the scratch folder; "" none
  } rows[] = {
      {"a.inc", "u/a.inc"},         {"A.INC", "u/a.inc"},
      {"sub/b.inc", "u/Sub/B.INC"}, {"sub\\b.inc", "u/Sub/B.INC"},
      {"c", "inc/c.inc"},           {"d", "inc/d.inc"},
      {"d.pp", "u/d.pp"},           {"*", "u/unit.inc"},
      {"missing.inc", ""},          {"../inc/c.inc", "inc/c.inc"},
  };
  for (const Row &row : rows) {
    FileFinder finder;
    const QString found = ResolveIncludeFile(row.name, unit, search, finder);
    EXPECT_EQ(found, *row.found ? Path(row.found) : QString()) << row.name;
  }
}

TEST_F(Includes, IncludedTextFollowsItsDirectiveWithItsOwnLineNumbers) {
  Write("u/part.inc", "procedure B;\nbegin\nend;\n{$I deeper.inc}\n");
  Write("u/deeper.inc", "procedure C;\nbegin\nend;\n");
  Write("u/loop.inc", "{$I loop.inc}\n");
  const QString unit = Write("u/Main.pas",
                             "unit Main;\ninterface\nprocedure B;\nprocedure C;\nimplementation\n"
                             "{$I part.inc}\n{$I gone.inc}\n{$I loop.inc}\nend.\n");
  OpenUnit(unit);
  EXPECT_EQ(Rows(),
            (QStringList{"0:1 unit Main;", "0:2 interface", "0:3 procedure B;", "0:4 procedure C;",
                         "0:5 implementation", "0:6 {$I part.inc}", "1:1 procedure B;", "1:2 begin",
                         "1:3 end;", "1:4 {$I deeper.inc}", "2:1 procedure C;", "2:2 begin",
                         "2:3 end;", "0:7 {$I gone.inc}", "3:0 ", "0:8 {$I loop.inc}",
                         "4:1 {$I loop.inc}", "5:0 ", "0:9 end."}));
  ASSERT_EQ(model.SourceParts.size(), 6);
  EXPECT_EQ(model.SourceParts[1].shown, "part.inc");
  EXPECT_EQ(model.SourceParts[3].state, SourcePart::State::Missing);
  EXPECT_EQ(model.SourceParts[5].state, SourcePart::State::Repeated);
  EXPECT_EQ(messages.notes, QStringList{"Main.pas(7): include file gone.inc not found"});
  EXPECT_TRUE(messages.warnings.isEmpty());
  // The routines of the include files are listed, each with its file.
  ASSERT_EQ(RoutineTexts(), (QList<QByteArray>{"procedure b;", "procedure c;"}));
  EXPECT_EQ(model.Routines[0].file, 1);
  EXPECT_EQ(model.Routines[1].file, 2);
  // Every file read is one no output may replace.
  EXPECT_TRUE(model.ProjectFiles().contains(Path("u/deeper.inc")));

  ctx.choices.followIncludes = false;
  OpenUnit(unit);
  EXPECT_EQ(model.SourceLines.size(), 9);
  EXPECT_FALSE(model.SourceLines.hasOtherFiles());
}

TEST_F(Includes, AUnitAloneTakesThePathsOfItsPackage) {
  Write("pkg/base.lpk",
        "<?xml version=\"1.0\"?><CONFIG><Package><CompilerOptions><SearchPaths>"
        "<IncludeFiles "
        "Value=\"include;$(TargetOS);$(LazarusDir)/x;$(PkgOutDir)\"/>"
        // The output folder, where generated include files are, comes after.
        "<UnitOutputDirectory "
        "Value=\"lib\\$(TargetCPU)-$(TargetOS)\"/></SearchPaths></CompilerOptions>"
        "<Files><Item1><Filename Value=\"ctrls.pp\"/></Item1></Files></Package></CONFIG>");
  Write("pkg/include/ctrl.inc", "procedure P;\nbegin\nend;\n");
  Write("pkg/linux/os.inc", "procedure Q;\nbegin\nend;\n");
  Write("pkg/lib/x86_64-linux/made.inc", "procedure R;\nbegin\nend;\n");
  const QString unit = Write("pkg/ctrls.pp",
                             "unit ctrls;\ninterface\nprocedure P;\nprocedure Q;\nprocedure R;\n"
                             "implementation\n{$I ctrl.inc}\n{$I os.inc}\n{$I made.inc}\nend.\n");
  OpenUnit(unit);
  EXPECT_EQ(RoutineTexts(), (QList<QByteArray>{"procedure p;", "procedure q;", "procedure r;"}));
  EXPECT_EQ(model.SourceParts.value(1).shown, "include/ctrl.inc");
  EXPECT_EQ(messages.notes.size(), 1);  // the macro it cannot tell
  // An include file opened alone is read like a unit, with the same paths.
  OpenUnit(Path("pkg/include/ctrl.inc"));
  EXPECT_EQ(RoutineTexts(), QList<QByteArray>{"procedure p;"});
}

TEST_F(Includes, ProjectFilesListTheirUnitsAndSearchPaths) {
  Write("ide/prog.lpr", "program prog;\nuses Forms, Main, Packager;\nbegin\nend.\n");
  Write("ide/Main.pas", "unit Main;\nend.\n");
  Write("ide/extra.pas", "unit Extra;\nend.\n");
  Write("packager/Packager.pas", "unit Packager;\nend.\n");
  Write("packager/unused.pas", "unit Unused;\nend.\n");
  Write("ide/prog.lpi",
        "<?xml version=\"1.0\"?><CONFIG><ProjectOptions><Units Count=\"2\"><Unit0><Filename "
        "Value=\"prog.lpr\"/>"
        "<IsPartOfProject Value=\"True\"/></Unit0><Unit1><Filename "
        "Value=\"extra.pas\"/><IsPartOfProject "
        "Value=\"True\"/></Unit1></Units></ProjectOptions><CompilerOptions><SearchPaths>"
        "<OtherUnitFiles Value=\"../packager\"/></SearchPaths></CompilerOptions></CONFIG>");
  Write("d/Proj.dpr", "program Proj;\nuses\n  U1 in 'Src\\U1.pas';\nbegin\nend.\n");
  Write("d/Src/U1.pas", "unit U1;\nend.\n");
  Write("d/Proj.dproj",
        "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\"><PropertyGroup>"
        "<MainSource>Proj.dpr</MainSource><DCC_UnitSearchPath>lib;$(DCC_UnitSearchPath)</"
        "DCC_UnitSearchPath>"
        "</PropertyGroup><ItemGroup><DCCReference Include=\"Src\\U1.pas\"/><DCCReference "
        "Include=\"Two.pas\"/>"
        "</ItemGroup></Project>");
  Write("d/Two.pas", "unit Two;\nend.\n");
  // A Lazarus program kept in a ".pp" file: the compiler reads its uses
  // clause, which names a unit the .lpi does not list. One that brings in
  // no unit stays the book's one unit, as does a main unit that is a unit.
  auto lazarusProject = [&](const char *path, const char *mainUnit) {
    Write(path,
          QByteArray("<?xml version=\"1.0\"?><CONFIG><ProjectOptions><General><MainUnit "
                     "Value=\"0\"/></General><Units Count=\"1\"><Unit0><Filename Value=\"") +
              mainUnit +
              "\"/><IsPartOfProject Value=\"True\"/></Unit0></Units></ProjectOptions></CONFIG>");
  };
  lazarusProject("ex/comdialogs.lpi", "comdialogs.pp");
  Write("ex/comdialogs.pp",
        "{ (c) }\n{$mode objfpc}\n// demo\n(* dialogs *) Program ComDialogs;\nuses Forms, "
        "DlgForm;\nbegin\nend.\n");
  Write("ex/dlgform.pp", "unit DlgForm;\nend.\n");
  lazarusProject("ex/trackbar.lpi", "trackbar.pp");
  Write("ex/trackbar.pp", "program TrackBar;\nuses Forms;\nbegin\nend.\n");
  lazarusProject("odd/odd.lpi", "lib.pas");
  Write("odd/lib.pas", "{$mode objfpc}\nunit Lib;\nend.\n");
  Write("d/Pack.dpk",
        "package Pack;\nrequires rtl;\ncontains\n  { Old in 'Old.pas', }\n  Two in "
        "'Two.pas';\nend.\n");
  struct Row {
    const char *file;
    QStringList units;
    const char *opened;
  } rows[] = {
      {"ide/prog.lpi", {"Main.pas", "Packager.pas", "extra.pas"}, "ide/prog.lpr"},
      {"ide/prog.lpr", {"Main.pas", "Packager.pas"}, "ide/prog.lpr"},
      {"d/Proj.dproj", {"U1.pas", "Two.pas"}, "d/Proj.dpr"},
      {"d/Pack.dpk", {"Two.pas"}, "d/Pack.dpk"},
      {"ex/comdialogs.lpi", {"dlgform.pp"}, "ex/comdialogs.pp"},
      {"ex/trackbar.lpi", {"trackbar.pp"}, "ex/trackbar.lpi"},
      {"odd/odd.lpi", {"lib.pas"}, "odd/odd.lpi"},
  };
  for (const Row &row : rows) {
    ClearForOpen(model);
    OpenPath(ctx, Path(row.file));
    EXPECT_EQ(UnitNames(), row.units) << row.file;
    EXPECT_EQ(model.OpenedPath, Path(row.opened)) << row.file;
    for (const UnitEntry &entry : model.Units)
      EXPECT_TRUE(QFileInfo::exists(entry.PathToRead())) << row.file;
  }
  EXPECT_TRUE(messages.warnings.isEmpty());
  EXPECT_TRUE(messages.informations.isEmpty());
}

TEST(ProjectKinds, EachOpensListsPrintsAndFollowsItsIncludePath) {
  if (!QFileInfo::exists(printtool::Program())) GTEST_SKIP() << "scrivane-print not built";
  QTemporaryDir dir;
  for (const QString &project : testsupport::WriteProjectKinds(dir)) {
    const QString work = QFileInfo(project).path() + "/Work.pas";
    const auto units = printtool::RunPrintTool({"--units", project});
    EXPECT_EQ(units.status, 0) << project.toStdString() << units.err.toStdString();
    EXPECT_EQ(units.out, "Work.pas\t" + work + "\n") << project.toStdString();
    const auto routines = printtool::RunPrintTool({"--routines", project});
    EXPECT_EQ(routines.out,
              "procedure go;\t" + QDir::cleanPath(dir.path() + "/Shared/inc/Body.inc") + "\n")
        << project.toStdString() << routines.err.toStdString();
    const QString pdf = dir.path() + "/book.pdf";
    // -q: the pages line goes to stderr, which must otherwise stay empty.
    const auto book = printtool::RunPrintTool({project, "--all", "-q", "-o", pdf});
    EXPECT_EQ(book.status, 0) << project.toStdString() << book.err.toStdString();
    EXPECT_TRUE(book.err.isEmpty()) << book.err.toStdString();
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    QFile::remove(pdf);
  }
}

// The names in an include file found only through --include-path link, and
// link to it, as they do where it sits beside its unit.
TEST(IncludePath, NamesInAndToIncludeFilesFromTheUsersFoldersAreLinked) {
  if (!QFileInfo::exists(printtool::Program())) GTEST_SKIP() << "scrivane-print not built";
  QTemporaryDir dir;
  const auto write = [&](const QString &name, const QByteArray &text) {
    QDir().mkpath(QFileInfo(dir.filePath(name)).path());
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  write("src/u.pas",
        "unit u;\ninterface\nprocedure Foo;\nimplementation\n{$I x.inc}\n"
        "procedure Foo;\nbegin\n  Bar;\nend;\nend.\n");
  write("inc/x.inc", "procedure Bar;\nbegin\n  Foo;\nend;\n");
  const QString unit = dir.filePath("src/u.pas"), web = dir.filePath("web");
  const auto page = printtool::RunPrintTool(
      {unit, "--include-path", dir.filePath("inc"), "--format", "html", "-q", "-o", web});
  ASSERT_EQ(page.status, 0) << page.err.toStdString();
  QFile html(web + "/index.html");
  ASSERT_TRUE(html.open(QIODevice::ReadOnly));
  const QByteArray text = html.readAll();
  EXPECT_TRUE(text.contains("<a href=\"index.html#F1L1\">Bar</a>")) << text.constData();
  EXPECT_TRUE(text.contains("<a href=\"index.html#L6\">Foo</a>")) << text.constData();
  const auto listed =
      printtool::RunPrintTool({"--list-xref", unit, "--include-path", dir.filePath("inc")});
  EXPECT_TRUE(listed.out.contains(QDir::cleanPath(dir.filePath("inc/x.inc")) + ":3:3\t3\t"))
      << listed.out.toStdString();
}

}  // namespace
