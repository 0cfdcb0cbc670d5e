// The desktop habits of the main window, driven through QTest as a user
// would: drops, keys, Shift+click, and what the window remembers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/WindowFixture.h"
#include "app/WindowHabits.h"
#include "format/IniFile.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"

using namespace scrivane;

namespace {

void Drop(QWidget &target, const QString &path) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(path)});
  const QPoint at = target.rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &drop);
  QApplication::processEvents();
}

TEST(WindowHabits, DroppedPascalFilesOpenAndOtherFilesAreRefused) {
  testsupport::WindowFixture f;
  const QString unit = testsupport::examplesDir() + "/stock.pas";
  Drop(*f.window, testsupport::examplesDir() + "/../README.md");
  EXPECT_TRUE(f.window->model().OpenedPath.isEmpty());
  Drop(*f.window, unit);
  EXPECT_EQ(QFileInfo(f.window->model().OpenedPath).fileName().toLower(), "stock.pas");
  EXPECT_EQ(f.window->recentFiles().Entries().value(0).toLower(), unit.toLower());
  EXPECT_TRUE(
      WindowHabits::OpenFilter().startsWith("All Pascal files (*.dpr *.lpr *.dpk *.lpi *.lpk "
                                            "*.dproj *.pas *.pp *.p *.inc *.dfm *.lfm);;"));
}

TEST(WindowHabits, SizeSplitterAndFoldersComeBackAndOtherKeysStay) {
  QTemporaryDir dir;
  const QString ini = dir.filePath("scrivn.ini");
  {
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Mine]\r\nKept=1\r\n[Window]\r\nLater=2\r\n");
  }
  QList<int> sizes;
  {
    MainWindow window(ini);
    window.show();
    window.resize(900, 640);
    QApplication::processEvents();
    window.DragBar->setSizes({300, 500});
    sizes = window.DragBar->sizes();
    window.OpenPathCommand(testsupport::examplesDir() + "/stock.pas");
    window.printerHost().LastPdfFolder = dir.path();
    window.close();
  }
  IniFile saved;
  ASSERT_TRUE(saved.Load(ini));
  EXPECT_EQ(saved.Value("Mine", "Kept"), "1");
  EXPECT_EQ(saved.Value("Window", "Later"), "2");
  EXPECT_EQ(QString::fromUtf8(saved.Value("Window", "OpenFolder")),
            QFileInfo(testsupport::examplesDir()).absoluteFilePath());

  MainWindow again(ini);
  EXPECT_EQ(again.printerHost().LastPdfFolder, dir.path());
  again.show();
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_EQ(again.size(), QSize(900, 640));
  EXPECT_EQ(again.DragBar->sizes(), sizes);
  again.close();
}

TEST(WindowHabits, KeysAndShiftClickDoWhatUsersExpect) {
  testsupport::WindowFixture f;
  EXPECT_EQ(f.window->printWithDialogAction->shortcut().toString(), "Ctrl+P");
  EXPECT_TRUE(f.window->PrintUnitMenu->shortcut().isEmpty());
  EXPECT_EQ(f.window->exitAction->shortcut().toString(), "Ctrl+Q");
  f.window->show();
  f.window->OpenPathCommand(testsupport::examplesDir() + "/stock.pas");
  f.ClickUnit("stock.pas");
  QApplication::processEvents();
  PickList &routines = *f.window->routineList;
  ASSERT_GE(routines.count(), 6);

  // Shift+click selects every routine from the last one clicked.
  QTest::mouseClick(routines.viewport(), Qt::LeftButton, Qt::NoModifier,
                    routines.visualItemRect(routines.item(1)).center());
  QTest::mouseClick(routines.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    routines.visualItemRect(routines.item(4)).center());
  QList<int> selected;
  for (int row = 0; row < routines.count(); ++row)
    if (routines.item(row)->isSelected()) selected << row;
  EXPECT_EQ(selected, QList<int>({1, 2, 3, 4}));
  int selectedInModel = 0;
  for (const RoutineEntry &routine : f.window->model().Routines)
    selectedInModel += routine.selected ? 1 : 0;
  EXPECT_EQ(selectedInModel, 4);

  // Return previews, as a double click does.
  int previews = 0;
  SetPreviewRunHook([&](PreviewWindow &) { ++previews; });
  QTest::keyClick(&routines, Qt::Key_Return);
  EXPECT_EQ(previews, 1);
  QTest::keyClick(f.window->unitList, Qt::Key_Return);
  EXPECT_EQ(previews, 2);

  // Ctrl+P opens the print dialog for the highlighted unit (cancelled here:
  // nothing printed), Ctrl+Q closes the window.
  f.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
  int asked = 0;
  f.window->printerHost().AnswerPrintDialog = [&](QPrinter &) {
    ++asked;
    return false;
  };
  QTest::keyClick(f.window->unitList, Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(asked, 1);
  f.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
  QTest::keyClick(f.window->unitList, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(f.window->isVisible());
}

}  // namespace
