// Opening form files: the .DDT beside them, the object list, and the faults
// of writing before reading.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <functional>

#include "platform/ReplacingFile.h"
#include "project/FormImage.h"
#include "project/ReaderFixture.h"
#include "support/ExampleForm.h"
#include "support/TestPaths.h"

using namespace scrivane;

namespace {

QByteArray Bytes(const std::string &bytes) {
  return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray Golden() {
  return ReadAll(testsupport::sourceDir() + "/tests/project/golden/mainform.DDT");
}

class FormReader : public readertest::ReaderFixture {
 protected:
  QString WriteExample(const QString &relative = "Forms/MainForm.dfm") {
    return Write(relative, Bytes(formstream::ExampleMainForm()));
  }
  void Open(const QString &path) {
    ClearForOpen(model);
    OpenPath(ctx, path);
  }
};

TEST_F(FormReader, BinaryFormWritesItsTextBesideItAndListsEveryObject) {
  const QString path = WriteExample();
  Open(path);
  EXPECT_TRUE(messages.informations.isEmpty()) << messages.informations.join("; ").toStdString();
  EXPECT_EQ(ReadAll(Path("Forms/MainForm.DDT")), Golden());
  EXPECT_EQ(model.FormTextPath, Path("Forms/MainForm.DDT"));
  EXPECT_EQ(UnitNames(), QStringList{"MainForm.dfm"});
  EXPECT_EQ(model.GroupCaption, "Form");
  EXPECT_EQ(model.RoutineCaption, "Objects");
  EXPECT_EQ(model.WindowCaption, "  Form Name: " + path);
  EXPECT_TRUE(model.FormMode);
  EXPECT_TRUE(model.FormFileOpened);
  EXPECT_EQ(model.CurrentUnitPath, path);
  // Lines are normalised as unit lines are: ":" stands apart.
  EXPECT_EQ(RoutineTexts(), (QList<QByteArray>{
                                "object addbutton : tbutton",
                                "object buttonpanel : tpanel",
                                "object itemgrid : tstringgrid",
                                "object mainform : tmainform",
                                "object removebutton : tbutton",
                                "object reportbutton : tbutton",
                                "object statuslabel : tlabel [3]",
                            }));
  // Each entry names the object's own line.
  for (qsizetype i = 0; i < model.Routines.size(); ++i) {
    const qsizetype line = model.Routines[i].line;
    ASSERT_TRUE(line >= 0 && line < model.SourceLines.size()) << line;
    EXPECT_EQ(model.SourceLines[line].trimmed().toByteArray().toLower(), model.Routines[i].text);
  }
}

TEST_F(FormReader, SelectedObjectsCollectTheirLinesUpToTheNextObject) {
  Open(WriteExample());
  for (RoutineEntry &entry : model.Routines)
    entry.selected =
        entry.text.startsWith("object buttonpanel") || entry.text.startsWith("object statuslabel");
  CollectSelectedText(model);
  ASSERT_FALSE(model.ListingLines.isEmpty());
  EXPECT_EQ(model.ListingLines.first().trimmed(), "object ButtonPanel : TPanel");
  QList<QByteArray> starts;
  for (QByteArrayView line : model.ListingLines)
    if (line.startsWith("object ")) starts << line.trimmed().toByteArray();
  EXPECT_EQ(starts,
            (QList<QByteArray>{"object ButtonPanel : TPanel", "object StatusLabel : TLabel [3]"}));
}

TEST_F(FormReader, LowerOptionLowersTheLines) {
  ctx.choices.lowerCase = true;
  Open(WriteExample());
  for (QByteArrayView line : model.SourceLines) EXPECT_EQ(line, line.toByteArray().toLower());
}

// A form that cannot be read must not wipe the text of an earlier open.
TEST_F(FormReader, GoodTextFileSurvivesABadForm) {
  const QString path = WriteExample("Unit1.dfm");
  Open(path);
  ASSERT_EQ(ReadAll(Path("Unit1.DDT")), Golden());
  std::string damaged = formstream::ExampleMainForm();
  damaged.resize(damaged.size() / 2);
  Write("Unit1.dfm", Bytes(damaged));
  Open(path);
  ASSERT_EQ(messages.informations.size(), 1);
  EXPECT_TRUE(messages.informations[0].startsWith("Cannot read " + path +
                                                  "\nThe form could not be decoded at byte "))
      << messages.informations[0].toStdString();
  EXPECT_TRUE(model.Units.isEmpty());
  EXPECT_TRUE(model.Routines.isEmpty());
  EXPECT_EQ(ReadAll(Path("Unit1.DDT")), Golden());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"Unit1.DDT", "Unit1.dfm"}));
}

// A full disk while the .DDT is written keeps the one written before; the
// form is still listed from the text converted in memory. The window's
// status line says the form is being read, then names it.
TEST_F(FormReader, FullDiskKeepsTheEarlierTextFileAndTheStatusLineFollowsTheReading) {
  const QString path = WriteExample("Unit1.dfm");
  Write("Unit1.DDT", "earlier text");
  QStringList status;
  ctx.showStatus = [&](const QString &text) { status << text; };
  SetWriteFailureHook(
      [](const QString &target, qint64) { return target.endsWith("Unit1.DDT") ? ENOSPC : 0; });
  Open(path);
  SetWriteFailureHook({});
  EXPECT_EQ(ReadAll(Path("Unit1.DDT")), "earlier text");
  EXPECT_EQ(messages.informations, QStringList{"Cannot write " + Path("Unit1.DDT")});
  EXPECT_FALSE(model.Routines.isEmpty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"Unit1.DDT", "Unit1.dfm"}));
  EXPECT_EQ(status, (QStringList{" Parsing file please wait...", " Unit: " + path}));
}

TEST_F(FormReader, UnreadableFormsSayCannotReadAndWriteNothing) {
  const QString notAForm = Write("Other.dfm", "unit other;\r\ninterface\r\nend.\r\n");
  Open(notAForm);
  const QString missing = Path("Missing.dfm");
  Open(missing);
  const QString cutText = Write("Cut.lfm", "object Form1: TForm1\n  Caption = 'abc\n");
  Open(cutText);
  // The window's fixed text first; why, and where the decoder stopped, below it.
  EXPECT_EQ(messages.informations,
            (QStringList{"Cannot read " + notAForm +
                             "\nThe form could not be decoded at byte 0: invalid resource header.",
                         "Cannot read " + missing + "\nThe file was not found.",
                         "Cannot read " + cutText +
                             "\nThe form could not be decoded at byte 33: unterminated text."}))
      << messages.informations.join("|").toStdString();
  EXPECT_FALSE(QFileInfo::exists(Path("Cut.DDT")));
  EXPECT_FALSE(QFileInfo::exists(Path("Other.DDT")));
}

// The .DDT that cannot be written is named, not the form that was read; the
// form is still listed from the text converted in memory.
TEST_F(FormReader, UnwritableTextFileSaysCannotWriteIt) {
  const QString path = WriteExample("Unit1.dfm");
  ASSERT_TRUE(QDir().mkpath(Path("Unit1.DDT")));  // a folder in the way: no file can take its name
  Open(path);
  EXPECT_EQ(messages.informations, QStringList{"Cannot write " + Path("Unit1.DDT")});
  EXPECT_EQ(model.Routines.size(), 7);
}

// Clicking the entry after the .DDT was deleted converts the form again.
TEST_F(FormReader, DeletedTextFileIsConvertedAgain) {
  Open(WriteExample("Unit1.dfm"));
  ASSERT_TRUE(QFile::remove(Path("Unit1.DDT")));
  model.CurrentUnitPath.clear();
  LoadUnit(ctx);
  EXPECT_TRUE(messages.warnings.isEmpty()) << messages.warnings.join("; ").toStdString();
  EXPECT_EQ(model.Routines.size(), 7);
  EXPECT_EQ(model.CurrentUnitPath, Path("Unit1.dfm"));

  ASSERT_TRUE(QFile::remove(Path("Unit1.dfm")));
  LoadUnit(ctx);
  EXPECT_EQ(messages.warnings, QStringList{Path("Unit1.dfm") + " not found."});
  EXPECT_TRUE(model.Routines.isEmpty());
}

// Paths are never cut: a cut path would name another file.
TEST_F(FormReader, LongPathIsNotCut) {
  const QString relative = QString(70, 'a') + "/" + QString(70, 'b') + "/Form.dfm";
  const QString path = WriteExample(relative);
  ASSERT_GT(path.size(), 140);
  Open(path);
  EXPECT_TRUE(messages.informations.isEmpty());
  EXPECT_EQ(model.OpenedPath, path);
  EXPECT_EQ(ReadAll(Path(QString(relative).replace(".dfm", ".DDT"))), Golden());
}

TEST_F(FormReader, TextFormsOpenLikeBinaryOnes) {
  const QString lfm = Write("Sub/Unit2.lfm", Golden());
  Open(lfm);
  EXPECT_EQ(model.Routines.size(), 7);
  EXPECT_EQ(ReadAll(Path("Sub/Unit2.DDT")), Golden());
  const QString dfm =
      Write("Unit3.dfm", "inherited Form3: TForm3\n  inline Frame: TFrame1\n  end\nend\n");
  Open(dfm);
  EXPECT_EQ(RoutineTexts(),
            (QList<QByteArray>{"inherited form3 : tform3", "inline frame : tframe1"}));
  EXPECT_TRUE(messages.informations.isEmpty());
}

// Every form of the Lazarus sources opens and lists its objects (when the
// sources are installed).
TEST_F(FormReader, EveryLazarusFormListsItsObjects) {
  const QString root = "/usr/lib/lazarus/2.2.6";
  if (!QFileInfo::exists(root)) GTEST_SKIP() << "the Lazarus sources are not installed";
  ctx.noFormTextFile = true;
  QStringList forms;
  QStringList pending{root};
  while (!pending.isEmpty()) {
    const QDir folder(pending.takeLast());
    for (const QFileInfo &entry :
         folder.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot)) {
      if (entry.isDir() && !entry.isSymLink())
        pending << entry.filePath();
      else if (entry.suffix() == "lfm")
        forms << entry.filePath();
    }
  }
  EXPECT_GT(forms.size(), 800);
  for (const QString &form : forms) {
    Open(form);
    EXPECT_TRUE(messages.informations.isEmpty()) << form.toStdString();
    EXPECT_FALSE(model.Routines.isEmpty()) << form.toStdString();
    messages.informations.clear();
  }
}

// The listing printed no image in a folder with capitals: the lower-cased
// path named a folder that does not exist.
TEST_F(FormReader, FormImageIsFoundWhateverTheCaseOfThePath) {
  Write("Forms.v2/Unit1.pas", "unit Unit1;\nend.\n");
  Write("Forms.v2/UNIT1.DFM", "object A: TA\nend\n");
  FormImageFiles files = FindFormImageFiles(Path("forms.v2/unit1.pas"));
  EXPECT_EQ(files.formFile, Path("Forms.v2/UNIT1.DFM"));
  EXPECT_TRUE(files.imageFile.isEmpty());
  EXPECT_EQ(files.saveTarget, Path("Forms.v2/unit1.bmp"));
  Write("Forms.v2/Unit1.Bmp", "BM");
  files = FindFormImageFiles(Path("forms.v2/unit1.pas"));
  EXPECT_EQ(files.imageFile, Path("Forms.v2/Unit1.Bmp"));
  EXPECT_EQ(files.saveTarget, files.imageFile);
  EXPECT_EQ(FormImageStem("/a.b/c/unit1.pas.bak"), "/a.b/c/unit1.");
  EXPECT_TRUE(FindFormImageFiles(Path("forms.v2/noext")).saveTarget.isEmpty());
}

// A Lazarus example kept its Delphi form (binary, and damaged) beside its
// own: the Delphi one was read, and the book stopped at it.
TEST_F(FormReader, WithBothFormsTheOneTheUnitBindsIsRead) {
  Write("both/Unit1.DFM", "object A: TA\nend\n");
  Write("both/unit1.lfm", "object A: TA\nend\n");
  const struct {
    const char *binds;
    const char *form;
  } cases[] = {
      {"{$R *.lfm}", "both/unit1.lfm"},
      {"{$r *.LFM}", "both/unit1.lfm"},
      {"{$R *.dfm}", "both/Unit1.DFM"},
      {"{$IFDEF FPC}{$R *.lfm}{$ELSE}{$R *.dfm}{$ENDIF}", "both/Unit1.DFM"},
      {"{$RANGECHECKS ON}{$R unit1.lfm}", "both/unit1.lfm"},
      {"", "both/Unit1.DFM"},
  };
  for (const auto &c : cases) {
    Write("both/unit1.pas", QByteArray("unit Unit1;\nimplementation\n") + c.binds + "\nend.\n");
    EXPECT_EQ(FindFormImageFiles(Path("both/unit1.pas")).formFile, Path(c.form)) << c.binds;
  }
}

}  // namespace

// A .DDT planted as a link made opening the form overwrite whatever it
// pointed to (a dangling one created a file there): the link is refused by
// name, nothing is written anywhere, and the form still lists.
TEST_F(FormReader, TextFileThatIsALinkIsRefusedAndTheFormStillLists) {
  const QString victim = Write("victim.txt", "precious\n");
  const QString nowhere = Path("elsewhere/created.txt");
  struct Row {
    const char *name;
    std::function<void(const QString &ddt)> plant;
    QString reason;
  } rows[] = {
      {"a link to a file", [&](const QString &ddt) { QFile::link(victim, ddt); },
       "it is a symbolic link to " + victim},
      {"a dangling link", [&](const QString &ddt) { QFile::link(nowhere, ddt); },
       "it is a symbolic link to " + nowhere},
      {"a pipe", [&](const QString &ddt) { ::mkfifo(QFile::encodeName(ddt).constData(), 0600); },
       "it is not a regular file"},
  };
  for (const Row &row : rows) {
    const QString path = WriteExample("Unit1.dfm");
    const QString ddt = Path("Unit1.DDT");
    QFile::remove(ddt);
    row.plant(ddt);
    messages.informations.clear();
    Open(path);
    EXPECT_EQ(messages.informations,
              QStringList{"Cannot write " + ddt + ": " + row.reason + "; nothing was written."})
        << row.name;
    EXPECT_EQ(RoutineTexts().size(), 7) << row.name;
    // Listed from the form itself, not from what the link leads to.
    model.SelectedUnit = 0;
    LoadFormText(ctx);
    EXPECT_FALSE(model.SourceLines.isEmpty()) << row.name;
    EXPECT_FALSE(model.SourceLines.first().contains("precious")) << row.name;
  }
  EXPECT_EQ(ReadAll(victim), "precious\n");
  EXPECT_FALSE(QFileInfo::exists(nowhere));
}
