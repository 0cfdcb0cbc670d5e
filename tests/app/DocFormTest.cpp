#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>

#include "app/DocForm.h"
#include "app/HelpWindow.h"
#include "format/IniFile.h"
#include "platform/RecordedMessages.h"
#include "support/ProjectKinds.h"
#include "support/TestPaths.h"
#include "widgets/ClockStatusBar.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {

// A window over a settings file in a fresh folder; messages are recorded
// instead of shown, so nothing modal can stop a test.
struct WindowFixture {
  QTemporaryDir dir;
  QString iniPath;
  std::unique_ptr<MainWindow> window;
  RecordedMessages *messages = nullptr;

  explicit WindowFixture(const QByteArray &iniText = QByteArray()) {
    iniPath = dir.path() + QStringLiteral("/scrivn.ini");
    if (!iniText.isEmpty()) {
      QFile file(iniPath);
      file.open(QIODevice::WriteOnly);
      file.write(iniText);
    }
    window = std::make_unique<MainWindow>(iniPath);
    auto recorded = std::make_unique<RecordedMessages>();
    messages = recorded.get();
    window->setMessages(std::move(recorded));
  }

  // Captions of the File menu between "Legend..." and "E&xit", "-" for separators.
  QStringList RecentPart() const {
    QStringList captions;
    bool inside = false;
    for (QAction *a : window->FileMenu->actions()) {
      if (a == window->exitAction) break;
      if (inside) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
      if (a == window->exitSeparator) inside = true;
    }
    return captions;
  }
};

QStringList Captions(const QMenu *menu) {
  QStringList captions;
  for (QAction *a : menu->actions())
    captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return captions;
}

}  // namespace

TEST(DocForm, FirstStartShowsFourEmptyRecentItemsAndWritesSettingsOnClose) {
  WindowFixture f;
  MainWindow &w = *f.window;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Scrivane"));
  // Empty recent slots open nothing and are not shown.
  EXPECT_EQ(f.RecentPart(), QStringList());
  EXPECT_EQ(Captions(w.FileMenu), QStringList({"&Open File...", "P&rint...", "&Printer Setup...",
                                               "Legend...", "-", "E&xit"}));
  EXPECT_EQ(Captions(w.printMenu),
            QStringList({"&Highlighted unit", "Print &Entire project", "Save as &web page...", "-",
                         "&Procedures and functions list", "Project &source file", "&Index Listing",
                         "&Cross-reference"}));
  EXPECT_EQ(Captions(w.previewMenu),
            QStringList({"&Highlighted unit", "-", "&Procedures and functions list",
                         "Project &source file", "&Index Listing", "&Cross-reference"}));
  for (QAction *a : w.printMenu->actions() + w.previewMenu->actions())
    if (!a->isSeparator()) {
      EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    }

  const std::tuple<QAction *, const char *, const char *, bool> buttons[] = {
      {w.OpenFileBtn, "&Open", "Open a project or unit", true},
      {w.FormatBtn, "For&mat", "Format the document", true},
      {w.PrintBtn, "&Print", "Print without display", false},
      {w.PreviewBtn, "&View", "Preview the document", false},
      {w.ClearBtn, "&Clear", "Clear selections", false},
      {w.CopyBtn, "Cop&y", "Copy selections to the clipboard", false},
      {w.CaptureBtn, "P&aste", "Copy image from the clipboard", false},
      {w.HelpBtn, "&Help", "Help", true},
  };
  for (const auto &[action, caption, hint, enabled] : buttons) {
    EXPECT_EQ(action->text(), QString::fromLatin1(caption));
    EXPECT_EQ(action->toolTip(), QString::fromLatin1(hint));
    EXPECT_EQ(action->isEnabled(), enabled) << caption;
  }
  EXPECT_EQ(w.pageTabs->tabText(0), QStringLiteral("Project Files"));
  EXPECT_EQ(w.pageTabs->tabText(1), QStringLiteral("Form Image"));
  EXPECT_EQ(w.pageTabs->currentIndex(), 0);
  EXPECT_EQ(w.listsGroup->title(), QStringLiteral("Units and Forms"));
  EXPECT_EQ(w.routineListCaption->text(), QStringLiteral("Procedures and Functions"));
  EXPECT_EQ(w.StatusBar->panelText(0), QStringLiteral(" Tallowind, Incorporated"));
  EXPECT_TRUE(w.normalFontAction->isChecked() && w.hintsOnAction->isChecked() &&
              w.inchesAction->isChecked() && w.projectFileUnitsAction->isChecked());

  // Choosing an empty recent item opens nothing.
  w.FileMenu->actions()[4]->trigger();
  EXPECT_EQ(w.unitList->count(), 0);

  w.boldFontAction->trigger();
  w.centimetresAction->trigger();
  EXPECT_TRUE(w.close());
  IniFile ini;
  ASSERT_TRUE(ini.Load(f.iniPath));
  EXPECT_EQ(ini.Value("Main", "Style"), QByteArray("1"));
  EXPECT_EQ(ini.Value("Main", "Measure"), QByteArray("1"));
  EXPECT_TRUE(f.messages->warnings.isEmpty());
}

// Recent files are shown as they were opened: a lower-cased path names no
// file on this system.
TEST(DocForm, SettingsChooseTheOptionsAndRecentItemsKeepTheirNames) {
  WindowFixture f(
      "[FilesSave]\r\nFile1=C:\\X\\A.DPR\r\nFile2=\r\nFile3=/tmp/B.pas\r\n"
      "[Main]\r\nStyle=1\r\nHint=0\r\nMeasure=1\r\n[Switch]\r\nInclude=1\r\n");
  MainWindow &w = *f.window;
  EXPECT_EQ(f.RecentPart(), QStringList({"&1 C:\\X\\A.DPR", "&3 /tmp/B.pas", "-"}));
  EXPECT_TRUE(w.boldFontAction->isChecked() && w.hintsOffAction->isChecked() &&
              w.centimetresAction->isChecked() && w.usesClauseUnitsAction->isChecked());
  EXPECT_TRUE(w.unitList->font().bold());
  EXPECT_FALSE(w.hintsShown());
  EXPECT_TRUE(w.includeUses());
  w.normalFontAction->trigger();
  EXPECT_FALSE(w.routineList->font().bold());
  EXPECT_EQ(w.settings().Style, 0);
}

TEST(DocForm, OpenAddsToRecentFilesAndACancelKeepsWhatIsOpen) {
  WindowFixture f;
  MainWindow &w = *f.window;
  const QString project = testsupport::examplesDir() + QStringLiteral("/inventory.dpr");
  QString answer = project;
  w.setOpenFileChooser([&answer] { return answer; });
  w.OpenFileBtn->trigger();
  EXPECT_GT(w.unitList->count(), 0);
  EXPECT_EQ(w.recentFiles().At(0), project);
  // Written at once, before the window closes.
  IniFile ini;
  ASSERT_TRUE(ini.Load(f.iniPath));
  EXPECT_EQ(ini.Value("FilesSave", "File1"), project.toLocal8Bit());
  EXPECT_EQ(f.RecentPart().first(), QStringLiteral("&1 ") + project);
  EXPECT_TRUE(w.PrintBtn->isEnabled());

  answer.clear();  // the user cancels the dialog
  const int units = w.unitList->count();
  w.openFileAction->trigger();
  EXPECT_EQ(w.unitList->count(), units);
  EXPECT_TRUE(w.PrintBtn->isEnabled());
  EXPECT_EQ(w.recentFiles().Entries().count(project), 1);
  w.close();
}

TEST(DocForm, ClickingAUnitListsItsRoutinesWithTheirGlyphs) {
  WindowFixture f;
  MainWindow &w = *f.window;
  const QString project = testsupport::examplesDir() + QStringLiteral("/inventory.dpr");
  w.setOpenFileChooser([&project] { return project; });
  w.OpenFileBtn->trigger();
  ASSERT_GE(w.unitList->count(), 3);
  EXPECT_EQ(w.unitList->item(1)->text(), QStringLiteral("stock.pas"));
  EXPECT_EQ(w.unitList->item(1)->data(KindRole).toInt(), int(EntryKind::UnitInProject));

  w.unitList->setCurrentRow(1);
  EXPECT_TRUE(w.model().CurrentUnitPath.endsWith(QStringLiteral("stock.pas")));
  EXPECT_EQ(w.StatusBar->panelText(0), QStringLiteral(" Unit: ") + w.model().CurrentUnitPath);
  ASSERT_GT(w.routineList->count(), 0);
  ASSERT_EQ(w.routineList->count(), w.model().Routines.size());
  QSet<int> kinds;
  for (int i = 0; i < w.routineList->count(); ++i) {
    const QString text = w.routineList->item(i)->text();
    const auto kind = EntryKind(w.routineList->item(i)->data(KindRole).toInt());
    kinds.insert(int(kind));
    if (text.startsWith(QStringLiteral("function "))) {
      EXPECT_EQ(kind, EntryKind::Function) << text.toStdString();
    }
    if (text.startsWith(QStringLiteral("procedure "))) {
      EXPECT_EQ(kind, EntryKind::Procedure) << text.toStdString();
    }
    if (text.startsWith(QStringLiteral("constructor "))) {
      EXPECT_EQ(kind, EntryKind::Constructor) << text.toStdString();
    }
  }
  EXPECT_GE(kinds.size(), 2);
  EXPECT_TRUE(w.PrevUnitMenu->isEnabled() && w.EntireProjMenu->isEnabled());
  EXPECT_TRUE(w.model().UnitHighlighted);

  // Selecting routines mirrors into the model and switches the captions.
  w.routineList->item(0)->setSelected(true);
  EXPECT_TRUE(w.model().Routines[0].selected);
  EXPECT_EQ(w.PrintUnitMenu->text(), QStringLiteral("&Highlighted procedures and functions"));
  EXPECT_TRUE(w.CopyBtn->isEnabled() && w.ClearBtn->isEnabled());
  w.ClearBtn->trigger();
  EXPECT_FALSE(w.model().AnyRoutineSelected());
  EXPECT_TRUE(w.routineList->selectedItems().isEmpty());
  EXPECT_FALSE(w.CopyBtn->isEnabled());
  w.close();
}

TEST(DocForm, LazarusAndDelphiProjectFilesOpenWithTheirIncludeFiles) {
  WindowFixture f;
  MainWindow &w = *f.window;
  QTemporaryDir trees;
  for (const QString &project : testsupport::WriteProjectKinds(trees)) {
    QString answer = project;
    w.setOpenFileChooser([&answer] { return answer; });
    w.OpenFileBtn->trigger();
    ASSERT_EQ(w.unitList->count(), 1) << project.toStdString();
    EXPECT_EQ(w.unitList->item(0)->text(), QStringLiteral("Work.pas"));
    w.unitList->setCurrentRow(0);
    // The routine lives in the include file the project's search path finds.
    ASSERT_EQ(w.routineList->count(), 1) << project.toStdString();
    EXPECT_TRUE(w.routineList->item(0)->text().startsWith(QStringLiteral("procedure go;")))
        << project.toStdString();
    EXPECT_EQ(w.recentFiles().At(0), project);
  }
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
  EXPECT_TRUE(f.messages->informations.isEmpty())
      << f.messages->informations.join('\n').toStdString();
  w.close();
}

TEST(DocForm, ResizeGivesTheUnitListOneFifthOfTheGroupBox) {
  WindowFixture f;
  MainWindow &w = *f.window;
  w.show();
  for (int width : {630, 900, 500}) {
    w.resize(width, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.width(), width);
    const int expected = std::max(101, int(0.2 * w.listsGroup->width()));
    EXPECT_EQ(w.unitList->width(), expected) << width;
    EXPECT_EQ(w.routineListCaption->x(), w.routineList->mapTo(w.listsGroup, QPoint(0, 0)).x() + 5);
    EXPECT_EQ(w.StatusBar->panelWidth(0), width - 230);
  }
  w.close();
}

TEST(DocForm, UnwritableSettingsFileIsReportedAndTheWindowStillCloses) {
  WindowFixture f;
  // A folder where the settings file should be: it cannot be replaced.
  ASSERT_TRUE(QDir().mkpath(f.iniPath));
  EXPECT_TRUE(f.window->close());
  ASSERT_EQ(f.messages->warnings.size(), 1);
  EXPECT_TRUE(f.messages->warnings[0].startsWith(QStringLiteral("Unable to write to ")));
  EXPECT_TRUE(f.messages->warnings[0].contains(QStringLiteral("scrivn.ini")));
}

TEST(DocForm, HelpShowsTheTopicOfTheActiveTab) {
  WindowFixture f;
  MainWindow &w = *f.window;
  const std::tuple<std::function<void()>, int> rows[] = {
      {[&w] { w.HelpBtn->trigger(); }, 1006},
      {[&w] {
         w.pageTabs->setCurrentIndex(1);
         w.HelpBtn->trigger();
       },
       1002},
      {[&w] { w.helpContentsAction->trigger(); }, 1000},
      {[&w] { w.helpIndexAction->trigger(); }, 1004},
  };
  for (const auto &[act, context] : rows) {
    act();
    ASSERT_NE(w.helpWindow(), nullptr);
    EXPECT_EQ(w.helpWindow()->currentContext(), context);
    EXPECT_FALSE(w.helpWindow()->browser()->toPlainText().contains(QStringLiteral("not available")))
        << context;
  }
  w.close();
}
