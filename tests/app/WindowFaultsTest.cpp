// Faults a new user met in the main window and the preview, each driven the
// way the user met it: real clicks and keys through Qt's own handling.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include "app/DocForm.h"
#include "app/WindowFixture.h"
#include "platform/UserMessages.h"
#include "print/gui/PreviewForm.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"
#include "widgets/ClockStatusBar.h"
#include "widgets/Glyphs.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {

struct ShownExampleWindow : testsupport::WindowFixture {
  ShownExampleWindow() {
    window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  ~ShownExampleWindow() { window->close(); }
};

// The preview as the user gets it: modal, so the main window's own F1 is
// blocked while it shows.
void MakeModal(PreviewWindow &form) {
  form.hide();
  form.setWindowModality(Qt::ApplicationModal);
  form.show();
  form.activateWindow();
  QApplication::processEvents();
}

}  // namespace

TEST(WindowFaults, OneDoubleClickOnAUnitNotYetHighlightedPreviewsIt) {
  ShownExampleWindow f;
  PickList &units = *f.window->unitList;
  ASSERT_GE(units.count(), 3);
  int previews = 0;
  SetPreviewRunHook([&](PreviewWindow &) { ++previews; });
  for (int row : {2, 1}) {
    ASSERT_FALSE(units.item(row)->isSelected());
    // Through the window, so Qt makes the double click of two presses.
    const QPoint at = units.viewport()->mapTo(
        f.window.get(), units.visualItemRect(units.item(row)).topLeft() + QPoint(20, 9));
    QTest::mouseDClick(f.window->windowHandle(), Qt::LeftButton, {}, at);
    EXPECT_EQ(previews, 1) << "row " << row;
    previews = 0;
  }
}

TEST(WindowFaults, UnitListColumnsNeverTouchInTheNormalOrTheBoldFont) {
  testsupport::WindowFixture f;
  f.window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
  const ProjectModel &model = f.window->model();
  ASSERT_FALSE(model.Units.isEmpty());
  const int nameLeft = EntryGlyph(EntryKind::UnitInProject).width() + 1;
  const QStringList dates = {QStringLiteral("12/28/26  05:26 am"),
                             QStringLiteral("08/08/08  08:08 pm"),
                             QStringLiteral("File not found")};
  const QStringList sizes = {QStringLiteral("1,234,567"), QStringLiteral("888,888,888"),
                             QStringLiteral("12,345,678,901")};
  for (QAction *font : {f.window->normalFontAction, f.window->boldFontAction}) {
    font->trigger();
    const QFont listFont = f.window->unitList->font();
    const QFontMetrics metrics(listFont);
    auto *delegate = dynamic_cast<UnitListDelegate *>(f.window->unitList->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const UnitListColumns columns = delegate->Columns(listFont);
    for (const UnitEntry &unit : model.Units) {
      EXPECT_LT(nameLeft + metrics.horizontalAdvance(unit.name), columns.dateLeft)
          << unit.name.toStdString() << " bold " << listFont.bold();
    }
    for (const QString &date : dates) {
      for (const QString &size : sizes) {
        EXPECT_LT(columns.dateLeft + metrics.horizontalAdvance(date),
                  columns.SizeLeft(metrics, size))
            << date.toStdString() << size.toStdString() << " bold " << listFont.bold();
      }
    }
    // Sizes of ordinary files line up at their right end.
    EXPECT_EQ(columns.SizeLeft(metrics, sizes[0]) + metrics.horizontalAdvance(sizes[0]),
              columns.sizeRight);
  }
}

TEST(WindowFaults, CancelInOpenLeavesTheWindowAsItWas) {
  ShownExampleWindow f;
  MainWindow &w = *f.window;
  f.ClickUnit(QStringLiteral("stock.pas"));
  const QString caption = w.windowTitle();
  const QString status = w.StatusBar->statusText();
  const int units = w.unitList->count();
  const int routines = w.routineList->count();
  ASSERT_GT(routines, 0);
  ASSERT_TRUE(status.startsWith(QStringLiteral(" Unit: ")));

  w.setOpenFileChooser([] { return QString(); });
  w.openFileAction->trigger();
  EXPECT_EQ(w.windowTitle(), caption);
  EXPECT_EQ(w.StatusBar->statusText(), status);
  EXPECT_EQ(w.unitList->count(), units);
  EXPECT_EQ(w.routineList->count(), routines);
  EXPECT_EQ(w.unitList->currentRow(), 1);
  EXPECT_TRUE(w.PrevUnitMenu->isEnabled());
}

TEST(WindowFaults, F1InThePreviewOpensThePreviewHelp) {
  ShownExampleWindow f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  QString shown;
  SetPreviewRunHook([&](PreviewWindow &form) {
    MakeModal(form);
    QTest::keyClick(&form, Qt::Key_F1);
    if (auto *browser = form.findChild<QTextBrowser *>()) shown = browser->source().toString();
  });
  f.window->PrevUnitMenuClick();
  EXPECT_EQ(shown, QStringLiteral("qrc:/help/1009.html"));
}

TEST(WindowFaults, AltVDropsTheViewMenuAndAltYCopies) {
  ShownExampleWindow f;
  MainWindow &w = *f.window;
  f.ClickUnit(QStringLiteral("reports.pas"));
  QWidget *popup = nullptr;
  QTimer::singleShot(100, [&popup] {
    popup = QApplication::activePopupWidget();
    if (popup) popup->close();
  });
  QTest::keyClick(&w, Qt::Key_V, Qt::AltModifier);
  QTest::qWait(300);
  EXPECT_EQ(popup, w.previewMenu);

  QGuiApplication::clipboard()->clear();
  w.routineList->item(0)->setSelected(true);
  ASSERT_TRUE(w.CopyBtn->isEnabled());
  QTest::keyClick(&w, Qt::Key_Y, Qt::AltModifier);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(
      QString::fromLatin1(w.model().Routines[0].text.left(12)), Qt::CaseInsensitive));
}

TEST(WindowFaults, TwoPageStatusGivesTheZoomTheShrunkenPagesAreShownAt) {
  ShownExampleWindow f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  QString zoomText, pageText;
  int expected = 0;
  SetPreviewRunHook([&](PreviewWindow &form) {
    form.resize(520, 700);
    QApplication::processEvents();
    form.TwoPageBtnClick();
    zoomText = form.StatusText(1);
    form.RenderBox(1);
    form.RenderBox(2);
    pageText = form.StatusText(0);
    expected = int(std::lround(100.0 * form.PagePanel->height() / form.BaseHeight));
  });
  f.window->PrevUnitMenuClick();
  EXPECT_LT(expected, 100);
  EXPECT_EQ(zoomText, QStringLiteral("Zoom = %1%").arg(expected));
  EXPECT_EQ(pageText, QStringLiteral(" Pages 1-2 of at least 3"));

  QFile help(QStringLiteral(":/help/1009.html"));
  ASSERT_TRUE(help.open(QIODevice::ReadOnly));
  EXPECT_FALSE(QString::fromUtf8(help.readAll()).contains(QStringLiteral("always")));
}

TEST(WindowFaults, DatePanelHoldsTheWidestMonth) {
  ClockStatusBar bar;
  const QFontMetrics metrics(bar.font());
  const int room = bar.panelWidth(1) - 2;  // less its sunken frame
  for (int month = 1; month <= 12; ++month) {
    const QString text = ClockDateText(QDate(2026, month, 28));
    EXPECT_LE(metrics.horizontalAdvance(text), room) << text.toStdString();
  }
}

TEST(WindowFaults, RoutineCaptionIsReadableAtEverySplitterPosition) {
  ShownExampleWindow f;
  MainWindow &w = *f.window;
  f.ClickUnit(QStringLiteral("stock.pas"));
  const QString caption = w.model().RoutineCaption;
  ASSERT_EQ(caption, QStringLiteral("Functions and Procedures"));
  QStyleOptionGroupBox option;
  option.initFrom(w.listsGroup);
  option.text = w.listsGroup->title();
  option.subControls = QStyle::SC_GroupBoxLabel;
  const QRect title = w.style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                QStyle::SC_GroupBoxLabel, w.listsGroup);
  const int total = w.DragBar->width() - w.DragBar->handleWidth();
  for (int units = 101; units < total; units += 7) {
    w.DragBar->setSizes({units, total - units});
    QApplication::processEvents();
    const QRect label = w.routineListCaption->geometry();
    SCOPED_TRACE(units);
    EXPECT_EQ(w.routineListCaption->text(), caption);
    EXPECT_GE(label.width(), w.routineListCaption->fontMetrics().horizontalAdvance(caption));
    EXPECT_TRUE(w.listsGroup->rect().contains(label));
    EXPECT_FALSE(label.intersects(title));
  }
}

TEST(WindowFaults, The32KMessageHasItsTwoLinesWithoutABlankOne) {
  testsupport::WindowFixture f;
  const QString unit = f.dir.path() + QStringLiteral("/big.pas");
  {
    QFile file(unit);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("unit Big;\ninterface\n");
    for (int i = 0; i < 60; ++i) file.write(QStringLiteral("procedure P%1;\n").arg(i).toLatin1());
    file.write("implementation\n");
    for (int i = 0; i < 60; ++i) {
      file.write(QStringLiteral("procedure P%1;\nbegin\n").arg(i).toLatin1());
      for (int line = 0; line < 20; ++line)
        file.write("  Writeln('a line of text that fills the clipboard');\n");
      file.write("end;\n");
    }
    file.write("end.\n");
  }
  f.window->OpenChosenFile(unit);
  ASSERT_EQ(f.window->routineList->count(), 60)
      << f.messages->warnings.join("|").toStdString()
      << f.messages->informations.join("|").toStdString() << f.window->unitList->count();
  f.window->routineList->selectAll();
  f.window->CopyBtnClick();
  ASSERT_EQ(f.messages->informations.size(), 1);
  EXPECT_EQ(f.messages->informations[0],
            QStringLiteral(
                "The maximum allowable text is 32K.\nReduce the number of procedures selected."));
}

TEST(WindowFaults, PdfFilesAreProposedInTheLastFolderUsedElseTheProjectFolder) {
  testsupport::WindowFixture f;
  if (f.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  // The project in a folder of its own, as a user keeps it.
  const QString project = f.dir.path() + QStringLiteral("/Inventory");
  const QString elsewhere = f.dir.path() + QStringLiteral("/Printed");
  ASSERT_TRUE(QDir().mkpath(project) && QDir().mkpath(elsewhere));
  const QDir examples(testsupport::examplesDir());
  for (const QString &name : examples.entryList(QDir::Files))
    ASSERT_TRUE(QFile::copy(examples.filePath(name), project + QLatin1Char('/') + name));
  f.window->OpenChosenFile(project + QStringLiteral("/inventory.dpr"));

  QStringList proposed;
  f.window->setPdfFileChooser([&](const QString &suggested) {
    proposed << suggested;
    return elsewhere + QLatin1Char('/') + QFileInfo(suggested).fileName();
  });
  f.ClickUnit(QStringLiteral("reports.pas"));
  f.window->PrintUnitMenuClick();
  f.ClickUnit(QStringLiteral("stock.pas"));
  f.window->PrintUnitMenuClick();
  EXPECT_EQ(proposed, QStringList({project + QStringLiteral("/reports.pdf"),
                                   elsewhere + QStringLiteral("/stock.pdf")}));

  // The print dialog of the preview proposes the same file.
  QString fromPreview;
  SetPreviewRunHook(
      [&](PreviewWindow &) { fromPreview = f.window->printerHost().SuggestOutputFile(); });
  f.window->PrevUnitMenuClick();
  EXPECT_EQ(fromPreview, elsewhere + QStringLiteral("/stock.pdf"));
  f.window->PrevProjMenuClick();
  EXPECT_EQ(fromPreview, elsewhere + QStringLiteral("/inventory.pdf"));

  // An entire-project run proposes its one book there too, named after the
  // project; Cancel there prints nothing and says so, as a unit's print does.
  f.window->setPdfFileChooser([&](const QString &suggested) {
    proposed << suggested;
    return QString();
  });
  proposed.clear();
  const int pdfsBefore = QDir(elsewhere).entryList({"*.pdf"}).size();
  f.messages->warnings.clear();
  f.messages->informations.clear();
  f.window->EntireProjMenuClick();
  EXPECT_EQ(proposed, QStringList{elsewhere + QStringLiteral("/inventory.pdf")});
  EXPECT_EQ((f.messages->warnings + f.messages->informations).size(), 1);
  EXPECT_EQ(QDir(elsewhere).entryList({"*.pdf"}).size(), pdfsBefore);

  // The status line names no unit of the file open before.
  f.window->OpenChosenFile(project + QStringLiteral("/textutil.pas"));
  f.window->OpenChosenFile(project + QStringLiteral("/inventory.dpr"));
  EXPECT_FALSE(f.window->StatusBar->statusText().contains(QStringLiteral("textutil")))
      << f.window->StatusBar->statusText().toStdString();
}
