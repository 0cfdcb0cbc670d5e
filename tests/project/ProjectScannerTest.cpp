#include <QDir>

#include "project/ReaderFixture.h"

using namespace scrivane;
using readertest::ReaderFixture;

namespace {

class ProjectScanner : public ReaderFixture {
 protected:
  void Open(const QString &path, bool includeUses = false) {
    ClearForOpen(model);
    ctx.includeUses = includeUses;
    OpenPath(ctx, path);
  }
  QString Clean(const QString &relative) const { return QDir::cleanPath(Path(relative)); }
};

TEST_F(ProjectScanner, TakesQuotedAndUnquotedUnitNames) {
  const QString dpr = Write("Proj/Demo.dpr",
                            "program Demo;\r\nuses\r\n"
                            "  Forms,\r\n"
                            "  Unit1 in 'Unit1.pas' {Form1},\r\n"
                            "  Lib in '..\\lib\\Lib.pas',\r\n"
                            "  plain.pas,\r\n"
                            "  Sub in 'sub\\Deep.PAS'; // a 'note'\r\n"
                            "{$R *.RES}\r\nbegin\r\nend.");
  Open(dpr);
  EXPECT_TRUE(model.ProjectLoaded);
  // Files that are not there keep the names the project gives them; a unit
  // named without "in" is listed only when it is there (Forms is not).
  EXPECT_EQ(UnitNames(), (QStringList{"Unit1.pas", "Lib.pas", "Deep.PAS"}));
  EXPECT_EQ(model.Units[0].fullPath, Clean("Proj/Unit1.pas"));
  // Relative folders are taken from the project's folder.
  EXPECT_EQ(model.Units[1].fullPath, Clean("lib/Lib.pas"));
  EXPECT_EQ(model.Units[2].fullPath, Clean("Proj/sub/Deep.PAS"));
  EXPECT_EQ(model.ProjectLines.size(), 10);
  EXPECT_EQ(model.ProjectLines[3], "  Unit1 in 'Unit1.pas' {Form1},");
  EXPECT_EQ(model.WindowCaption, "  Project: " + dpr);
  EXPECT_TRUE(messages.warnings.isEmpty());
}

TEST_F(ProjectScanner, MissingProjectGivesTheWarningAndAnEmptyModel) {
  Open(Path("Nowhere.dpr"));
  EXPECT_EQ(messages.warnings, QStringList{Path("Nowhere.dpr") + " not found."});
  EXPECT_FALSE(model.ProjectLoaded);
  EXPECT_TRUE(model.Units.isEmpty());
}

TEST_F(ProjectScanner, UsesClausesAddEachExistingUnitOnce) {
  Write("P/Main.pas",
        "unit Main;\ninterface\nuses\n  SysUtils, Alpha,\n  Beta,\n  Gamma;\n"
        "implementation\nuses Delta;\nprocedure X;\nuses Late;\nend.\n");
  Write("P/Second.pas", "unit Second;\ninterface\nuses Alpha, Main;\nimplementation\nend.\n");
  for (const char *name : {"P/alpha.pas", "P/Beta.pas", "P/GAMMA.pas", "P/delta.pas", "P/late.pas"})
    Write(name, "unit x;\n");
  const QString dpr = Write("P/p.dpr",
                            "uses\n Missing in 'Missing.pas',\n Main in 'Main.pas',\n"
                            " Second in 'Second.pas';\n");
  Open(dpr, true);
  // A missing project unit is listed and does not end the scan of the others.
  EXPECT_EQ(UnitNames(), (QStringList{"Missing.pas", "Main.pas", "Second.pas", "alpha.pas",
                                      "Beta.pas", "GAMMA.pas", "delta.pas"}));
  for (int i = 3; i < model.Units.size(); ++i)
    EXPECT_EQ(model.Units[i].kind, EntryKind::UnitInUses);
  EXPECT_EQ(model.Units[4].fullPath, Clean("P/Beta.pas"));
  EXPECT_TRUE(model.IndexEntries.isEmpty());
}

TEST_F(ProjectScanner, OpeningAUnitAloneListsItAndLoadsIt) {
  const QString pas = Write("Only/Solo.PAS",
                            "unit Solo;\ninterface\nprocedure Go;\nimplementation\n"
                            "procedure Go;\nbegin\nend;\nend.\n");
  Open(pas);
  EXPECT_EQ(UnitNames(), QStringList{"Solo.PAS"});
  EXPECT_EQ(model.ProjectLines, QList<QByteArray>{"Solo.PAS"});
  EXPECT_EQ(model.CurrentUnitPath, pas);
  EXPECT_EQ(RoutineTexts(), QList<QByteArray>{"procedure go;"});
  EXPECT_EQ(model.WindowCaption, "  Unit Name: " + pas);
}

TEST_F(ProjectScanner, EntryFileInfoFindsFilesOutsideTheProjectFolder) {
  Write("lib/Shared.pas", "unit Shared;\n");
  const QString dpr =
      Write("app/App.dpr", "uses Shared in '..\\lib\\Shared.pas', Gone in 'Gone.pas';\n");
  Open(dpr);
  ASSERT_EQ(model.Units.size(), 2);
  EXPECT_TRUE(UnitEntryFileInfo(model, 0).exists());
  EXPECT_EQ(UnitEntryFileInfo(model, 0).size(), 13);
  EXPECT_FALSE(UnitEntryFileInfo(model, 1).exists());
  EXPECT_FALSE(UnitEntryFileInfo(model, 5).exists());

  const QString second = Write("app/Two.dpr", "uses\n Gone in 'Gone.pas';\n");
  Open(second);
  EXPECT_FALSE(UnitEntryFileInfo(model, 0).exists());
}

TEST_F(ProjectScanner, DoubledQuoteInsideAQuotedUnitNameIsPartOfTheName) {
  const struct {
    const char *line, *name;
  } rows[] = {
      {"  Quote in 'It''s.pas',", "It's.pas"},
      {"  Lead in '''Lead.pas',", "'Lead.pas"},
      {"  Two in 'a''b''c.pas' { 'x' },", "a'b'c.pas"},
      {"  Unit1 in 'Unit1.pas' {Form1},", "Unit1.pas"},
  };
  for (const auto &row : rows) {
    Open(Write("Q/q.dpr", QByteArray("uses\n") + row.line + "\nbegin end.\n"));
    EXPECT_EQ(UnitNames(), QStringList{row.name}) << row.line;
  }
}

TEST_F(ProjectScanner, FolderNamedLikeAUnitDoesNotSendAProjectToTheUnitReader) {
  Write("src.pascal/Unit1.pas", "unit Unit1;\n");
  Open(Write("src.pascal/App.dpr", "uses\n  Unit1 in 'Unit1.pas';\nbegin end.\n"));
  EXPECT_TRUE(model.ProjectLoaded);
  EXPECT_EQ(UnitNames(), QStringList{"Unit1.pas"});
  EXPECT_TRUE(model.CurrentUnitPath.isEmpty());
}

TEST_F(ProjectScanner, FileNamesWithoutAKnownExtensionOpenNothing) {
  Open(Write("notes.txt", "uses x in 'x.pas';"));
  EXPECT_TRUE(model.Units.isEmpty());
  EXPECT_TRUE(messages.warnings.isEmpty());
}

TEST_F(ProjectScanner, FreePascalAndLazarusNamesPickTheirReader) {
  // Read as a project it lists solo.pas; read as a unit it lists itself and
  // its routine.
  const QByteArray text =
      "unit U;\ninterface\nuses Solo in 'Solo.pas';\nprocedure Go;\nimplementation\nprocedure "
      "Go;\nbegin\nend;\nend.\n";
  enum Reader { Project, Unit, Nothing };
  const struct {
    const char *file;
    Reader reader;
  } rows[] = {
      {"demo.lpr", Project},    {"Demo.LPR", Project}, {"tool.pp", Unit},     {"Old.P", Unit},
      {"tool.pp.bak", Nothing}, {"tool.ppu", Nothing}, {"demo.lpi", Nothing}, {"incl.inc", Unit},
      {"demo.dpr", Project},    {"tool.pas", Unit},
  };
  for (const auto &row : rows) {
    const QString path = Write(QStringLiteral("fp/") + row.file, text);
    Open(path);
    switch (row.reader) {
      case Project:
        EXPECT_TRUE(model.ProjectLoaded) << row.file;
        EXPECT_EQ(UnitNames(), QStringList{"Solo.pas"}) << row.file;
        break;
      case Unit:
        EXPECT_EQ(UnitNames(), QStringList{QString::fromLatin1(row.file)}) << row.file;
        EXPECT_EQ(model.CurrentUnitPath, path) << row.file;
        EXPECT_EQ(RoutineTexts(), QList<QByteArray>{"procedure go;"}) << row.file;
        break;
      case Nothing:
        EXPECT_TRUE(model.Units.isEmpty()) << row.file;
        break;
    }
    EXPECT_TRUE(messages.warnings.isEmpty()) << row.file;
  }
}

TEST_F(ProjectScanner, UsesClausesFindFreePascalUnitsAfterPascalOnes) {
  Write("F/Main.pas",
        "unit Main;\ninterface\nuses Both, OnlyPp, OnlyP, Neither;\nimplementation\nend.\n");
  for (const char *name : {"F/both.pas", "F/both.pp", "F/OnlyPp.pp", "F/onlyp.p"})
    Write(name, "unit x;\n");
  Open(Write("F/f.dpr", "uses Main in 'Main.pas';\n"), true);
  EXPECT_EQ(UnitNames(), (QStringList{"Main.pas", "both.pas", "OnlyPp.pp", "onlyp.p"}));
  EXPECT_EQ(FindUnitByName(model, "OnlyPP"), 2);
  EXPECT_EQ(FindUnitByName(model, "onlyp.p"), 3);
  EXPECT_EQ(FindUnitByName(model, "neither"), -1);
}

TEST_F(ProjectScanner, LazarusProjectListsTheUnitsItsUsesClauseFindsInItsFolder) {
  for (const char *name :
       {"L/Unit1.pas", "L/mainform.pp", "L/tools.strings.pas", "L/sub/other.pp", "L/lib/Lib.pas"})
    Write(name, "unit x;\n");
  const QByteArray lpr =
      "program Demo;\n{$mode objfpc}{$H+}\n"
      "uses\n  {$IFDEF UNIX}{$IFDEF UseCThreads}\n  cthreads,\n  {$ENDIF}{$ENDIF}\n"
      "  Interfaces, // this includes the LCL widgetset\n"
      "  Forms, (* old: notes, *) MainForm,\n"
      "  Lib in 'lib\\Lib.pas', Other in 'sub/other.pp', Gone in 'gone.pp',\n"
      "  Tools.Strings\n  { you can add units after this }, unit1;\n"
      "{$R *.res}\nbegin\n  Application.Run; // uses Unit1\nend.\n";
  Open(Write("L/demo.lpr", lpr));
  EXPECT_TRUE(model.ProjectLoaded);
  // The uses clause read as code, in its order: names in comments count
  // for nothing, every {$IFDEF} branch counts. Units of the LCL are not in
  // the folder.
  const QStringList expected{"mainform.pp", "Lib.pas",           "other.pp",
                             "gone.pp",     "tools.strings.pas", "Unit1.pas"};
  EXPECT_EQ(UnitNames(), expected);
  EXPECT_EQ(model.Units[2].fullPath, Clean("L/sub/other.pp"));
  for (const auto &unit : model.Units) EXPECT_EQ(unit.kind, EntryKind::UnitInProject);

  // A Delphi project is read the same way.
  Open(Write("L/demo.dpr", lpr));
  EXPECT_EQ(UnitNames(), expected);
  // Text that is no uses entry names no unit.
  Open(Write("L/notes.dpr",
             "program Notes;\n{ Build notes: see Readme.pas }\nuses Unit1 // , Old in 'Old.pas'\n"
             "  {, Older in 'Older.pas'};\nbegin\n  WriteLn('usage: demo file.pas');\nend.\n"));
  EXPECT_EQ(UnitNames(), QStringList{"Unit1.pas"});
  // A program without a uses clause lists nothing, whatever its body says.
  Open(Write("L/bare.lpr", "program Bare;\nbegin\n  uses := 1;\nend.\n"));
  EXPECT_TRUE(model.Units.isEmpty());
}

// "--routines Upper.pas" read upper.pas: the lower-cased path found the other
// file first. The file named exactly wins; case is ignored only for names
// that do not exist as written.
TEST_F(ProjectScanner, ExactNameWinsOverTheCaseInsensitiveLookup) {
  Write("Upper.pas",
        "unit Upper;\ninterface\nprocedure FromUpper;\nimplementation\nprocedure FromUpper;\nbegin "
        "end;\nend.\n");
  Write("upper.pas",
        "unit upper;\ninterface\nprocedure FromLower;\nimplementation\nprocedure FromLower;\nbegin "
        "end;\nend.\n");
  Write("Only.pas",
        "unit Only;\ninterface\nprocedure FromOnly;\nimplementation\nprocedure FromOnly;\nbegin "
        "end;\nend.\n");
  struct Row {
    const char *opened, *routine, *read;
  } rows[] = {
      {"Upper.pas", "procedure fromupper;", "Upper.pas"},
      {"upper.pas", "procedure fromlower;", "upper.pas"},
      {"ONLY.PAS", "procedure fromonly;", "Only.pas"},
  };
  for (const Row &row : rows) {
    Open(Path(row.opened));
    EXPECT_EQ(RoutineTexts(), QList<QByteArray>{row.routine}) << row.opened;
    EXPECT_EQ(model.CurrentUnitPath, Path(row.read)) << row.opened;
  }
  const QString dpr =
      Write("p.dpr", "uses\n  A in 'Upper.pas',\n  B in 'upper.pas',\n  C in 'only.pas';\n");
  Open(dpr);
  QStringList read;
  for (int i = 0; i < model.Units.size(); ++i) {
    model.SelectedUnit = i;
    LoadUnit(ctx);
    read << model.CurrentUnitPath;
  }
  EXPECT_EQ(read, (QStringList{Path("Upper.pas"), Path("upper.pas"), Path("Only.pas")}));
}

// "--units" printed ".../myproj/stock.pas" for ".../MyProj/Stock.pas", a path
// that names no file here, and messages did the same. Names are shown as
// the files have them.
TEST_F(ProjectScanner, PathsForScriptsAndMessagesAreTheRealOnes) {
  Write("MyProj/Stock.pas", "unit Stock;\ninterface\nuses Reports;\nimplementation\nend.\n");
  Write("MyProj/REPORTS.pas", "unit Reports;\n");
  const QString dpr =
      Write("MyProj/Inventory.dpr", "uses\n  stock in 'stock.pas',\n  gone in 'Gone.pas';\n");
  Open(dpr, true);
  ASSERT_EQ(model.Units.size(), 3);
  EXPECT_EQ(UnitNames(), (QStringList{"Stock.pas", "Gone.pas", "REPORTS.pas"}));
  EXPECT_EQ(model.Units[0].diskPath, Path("MyProj/Stock.pas"));
  EXPECT_EQ(model.Units[1].diskPath, Path("MyProj/Gone.pas"));
  EXPECT_EQ(model.Units[2].diskPath, Path("MyProj/REPORTS.pas"));
  EXPECT_EQ(model.Units[0].fullPath, Path("MyProj/Stock.pas"));
  model.SelectedUnit = 1;
  LoadUnit(ctx);
  EXPECT_EQ(messages.warnings, QStringList{Path("MyProj/Gone.pas") + " not found."});
}

// A folder, a symbolic-link loop or a README said "not found." or nothing at
// all; each now names the file and why it cannot be read.
TEST_F(ProjectScanner, EveryFileThatCannotBeReadIsNamedWithTheReason) {
  QDir().mkpath(Path("folder.pas"));
  ASSERT_TRUE(QFile::link(Path("loop-b.pas"), Path("loop-a.pas")));
  ASSERT_TRUE(QFile::link(Path("loop-a.pas"), Path("loop-b.pas")));
  ASSERT_TRUE(QFile::link(Path("nothing.pas"), Path("dangling.pas")));
  Write("README", "Read me.\n");
  Write("binary.pas", QByteArray("unit\0binary", 11));
  struct Row {
    const char *name;
    QString message;
  } rows[] = {
      {"folder.pas", "Cannot read " + Path("folder.pas") + ": it is a folder, not a file"},
      {"loop-a.pas", "Cannot read " + Path("loop-a.pas") + ": its symbolic links form a loop"},
      {"dangling.pas", "Cannot read " + Path("dangling.pas") +
                           ": it is a symbolic link to a file that does not exist"},
      {"README", "Cannot read " + Path("README") +
                     ": it is not a project (.dpr, .lpr, .dpk, .lpi, .lpk, .dproj), unit (.pas, "
                     ".pp, .p, .inc) or form (.dfm, .lfm) file."},
      {"binary.pas", "File is binary. Please save it as text file."},
      {"missing.pas", Path("missing.pas") + " not found."},
  };
  for (const Row &row : rows) {
    messages.warnings.clear();
    messages.informations.clear();
    Open(Path(row.name));
    EXPECT_EQ(messages.warnings + messages.informations, QStringList{row.message}) << row.name;
    EXPECT_TRUE(model.CurrentUnitPath.isEmpty()) << row.name;
  }
}

}  // namespace
