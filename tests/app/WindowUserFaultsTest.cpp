// What a new user met in the window, one row per fault: each row drives the
// window as the user did and checks what the user should have seen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "app/DocForm.h"
#include "app/WindowFixture.h"
#include "format/IniFile.h"
#include "format/gui/FormatFrm.h"
#include "print/gui/PreviewForm.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"
#include "widgets/ClockStatusBar.h"

using namespace scrivane;

namespace {

// Every mnemonic ("&x") shown by a button, a check box or a group box in
// `widget`, and the letters taken twice.
QStringList RepeatedMnemonics(QWidget &widget) {
  QSet<QChar> seen;
  QStringList repeated;
  for (QAbstractButton *button : widget.findChildren<QAbstractButton *>()) {
    const QString text = button->text();
    const qsizetype amp = text.indexOf(u'&');
    if (amp < 0 || amp + 1 >= text.size() || text[amp + 1] == u'&') continue;
    const QChar key = text[amp + 1].toLower();
    if (seen.contains(key)) repeated << text;
    seen.insert(key);
  }
  return repeated;
}

QByteArray SourceText(const ProjectModel &model) {
  QByteArray text;
  for (qsizetype i = 0; i < model.SourceLines.size(); ++i)
    text += model.SourceLines[i].toByteArray() + '\n';
  return text;
}

void OpenExampleUnit(testsupport::WindowFixture &f, const QString &unit) {
  f.window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
  f.ClickUnit(unit);
}

}  // namespace

TEST(WindowUserFaults, EachFaultAsTheUserMetIt) {
  struct Row {
    const char *fault;
    std::function<void(testsupport::WindowFixture &)> check;
  };
  const Row rows[] = {
      {"starting and pasting empty the desktop clipboard",
       [](testsupport::WindowFixture &) {
         QGuiApplication::clipboard()->setText(QStringLiteral("copied elsewhere"));
         testsupport::WindowFixture second;  // a window started while the text is there
         EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("copied elsewhere"));
         second.window->CaptureBtnClick();  // no picture: nothing happens to the text
         EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("copied elsewhere"));
       }},
      {"empty recent-file slots are live menu items",
       [](testsupport::WindowFixture &f) {
         for (QAction *item : f.window->FileMenu->actions())
           EXPECT_FALSE(item->objectName().startsWith(QStringLiteral("Recent")))
               << item->text().toStdString();
       }},
      {"a dark style's light text on a white unit list",
       [](testsupport::WindowFixture &f) {
         QPalette dark = f.window->palette();
         dark.setColor(QPalette::Base, QColor(30, 30, 30));
         dark.setColor(QPalette::Text, QColor(230, 230, 230));
         QApplication::setPalette(dark);
         QApplication::processEvents();
         for (PickList *list : {f.window->unitList, f.window->routineList})
           EXPECT_EQ(list->palette().color(QPalette::Base), QColor(30, 30, 30))
               << list->objectName().toStdString();
         QApplication::setPalette(QApplication::style()->standardPalette());
       }},
      {"lower case shows only after the unit is read again",
       [](testsupport::WindowFixture &f) {
         OpenExampleUnit(f, QStringLiteral("stock.pas"));
         ASSERT_TRUE(SourceText(f.window->model()).contains("TItemCategory"));
         FormatDialog &dialog = *f.window->formatDialog();
         QTimer::singleShot(0, &dialog, [&dialog] {
           dialog.lowerCaseBox->click();  // "Set all text to lower case"
           dialog.CloseBtn->click();
         });
         f.window->FormatBtnClick();
         EXPECT_FALSE(SourceText(f.window->model()).contains("TItemCategory"));
         EXPECT_TRUE(SourceText(f.window->model()).contains("titemcategory"));
       }},
      {"a project kept beside its sources (build/p.lpr: uses A in '../src/a.pas') lists only units "
       "left out",
       [](testsupport::WindowFixture &f) {
         auto write = [&f](const QString &name, const QByteArray &text) {
           QDir().mkpath(QFileInfo(f.dir.filePath(name)).path());
           QFile file(f.dir.filePath(name));
           ASSERT_TRUE(file.open(QIODevice::WriteOnly));
           file.write(text);
         };
         write(QStringLiteral("src/a.pas"),
               "unit A;\ninterface\nprocedure Hello;\nimplementation\nprocedure "
               "Hello;\nbegin\nend;\nend.\n");
         write(QStringLiteral("build/p.lpr"),
               "program P;\nuses A in '../src/a.pas';\nbegin\nend.\n");
         const QString project = f.dir.filePath(QStringLiteral("build/p.lpr"));
         f.messages->answer = false;
         f.window->OpenChosenFile(project);
         ASSERT_EQ(f.messages->questions.size(), 1);
         EXPECT_TRUE(f.messages->questions[0].startsWith(
             QStringLiteral("p.lpr names a unit that lies outside its folder, in ")));
         EXPECT_TRUE(f.messages->questions[0].contains(f.dir.filePath(QStringLiteral("src"))))
             << f.messages->questions[0].toStdString();
         ASSERT_EQ(f.window->model().Units.size(), 1);
         EXPECT_FALSE(f.window->model().Units[0].leftOut.isEmpty());
         f.messages->answer = true;
         f.window->OpenChosenFile(project);
         ASSERT_EQ(f.window->model().Units.size(), 1);
         EXPECT_EQ(f.window->model().Units[0].leftOut, QString());
         f.ClickUnit(QStringLiteral("a.pas"));
         EXPECT_EQ(f.window->routineList->count(), 1);
         // Let in for that project only.
         f.window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
         EXPECT_EQ(f.window->model().UserIncludePaths, QStringList());
         EXPECT_EQ(f.messages->questions.size(), 2);
       }},
      {"a program whose units are found nowhere opens to an empty list, without a word",
       [](testsupport::WindowFixture &f) {
         QFile file(f.dir.filePath(QStringLiteral("blur.dpr")));
         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         file.write("program blur;\nuses agg_basics, agg_ctrl;\nbegin\nend.\n");
         file.close();
         f.window->OpenChosenFile(file.fileName());
         EXPECT_EQ(f.window->unitList->count(), 0);
         EXPECT_EQ(f.window->StatusBar->statusText(),
                   QStringLiteral(" blur.dpr lists no units: none of those its uses clause names "
                                  "(agg_basics, agg_ctrl) is in its folder or on a search path it "
                                  "declares."));
       }},
      {"the splitter snaps back to a fifth on a resize",
       [](testsupport::WindowFixture &f) {
         f.window->show();
         f.window->resize(800, 500);
         QApplication::processEvents();
         const int total = f.window->DragBar->sizes()[0] + f.window->DragBar->sizes()[1];
         f.window->DragBar->setSizes({total / 2, total - total / 2});
         f.window->KeepSplitterShare();
         f.window->resize(1000, 500);
         QApplication::processEvents();
         const QList<int> sizes = f.window->DragBar->sizes();
         EXPECT_NEAR(double(sizes[0]) / (sizes[0] + sizes[1]), 0.5, 0.03);
         f.window->close();
       }},
      {"the Format dialog's mnemonics clash",
       [](testsupport::WindowFixture &f) {
         EXPECT_EQ(RepeatedMnemonics(*f.window->formatDialog()), QStringList());
       }},
      {"metric margins show blank",
       [](testsupport::WindowFixture &f) {
         f.window->centimetresAction->trigger();
         FormatDialog &dialog = *f.window->formatDialog();
         dialog.FormActivate();
         for (QComboBox *box : {dialog.TopBox, dialog.BottomBox, dialog.LeftBox, dialog.RightBox})
           EXPECT_FALSE(box->currentText().isEmpty());
         EXPECT_EQ(dialog.BottomBox->currentText(), QStringLiteral("4 cm"));
       }},
      {"Cancel and Restore defaults take Format changes back",
       [](testsupport::WindowFixture &f) {
         FormatDialog &dialog = *f.window->formatDialog();
         QTimer::singleShot(0, &dialog, [&dialog] {
           dialog.blockDiagramBox->click();  // block diagram on
           dialog.cancelButton->click();
         });
         dialog.exec();
         EXPECT_EQ(f.window->settings().Blocks, 0);
         f.window->settings().BSize = 14;
         f.window->settings().Measure = 1;
         dialog.RestoreDefaults();
         EXPECT_EQ(f.window->settings().BSize, FormatSettings().BSize);
         EXPECT_EQ(f.window->settings().Measure, 1);  // an Options menu choice stays
       }},
      {"Ctrl+P prints at once, and File has no Print...",
       [](testsupport::WindowFixture &f) {
         EXPECT_FALSE(f.window->printWithDialogAction->isEnabled());
         OpenExampleUnit(f, QStringLiteral("stock.pas"));
         EXPECT_TRUE(f.window->printWithDialogAction->isEnabled());
         int dialogs = 0;
         f.window->printerHost().AnswerPrintDialog = [&dialogs](QPrinter &) {
           ++dialogs;
           return false;
         };
         f.window->printWithDialogAction->trigger();
         EXPECT_EQ(dialogs, 1);
         // The Index items never show enabled under a disabled Print button.
         f.window->OpenRecentFile(3);
         EXPECT_FALSE(f.window->PrintBtn->isEnabled());
         EXPECT_FALSE(f.window->PrintIndexCreated->isEnabled());
       }},
      {"a damaged scrivn.ini warns at every start",
       [](testsupport::WindowFixture &f) {
         const QString ini = f.dir.filePath(QStringLiteral("damaged.ini"));
         QFile file(ini);
         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         file.write("[Fonts]\nBSize=12\ngarbage \x01 here\n[Switch\nLineNo=1");
         file.close();
         // The warning box is answered as it shows.
         const auto answerBox = [] {
           QTimer::singleShot(0, [] {
             if (QWidget *box = QApplication::activeModalWidget()) box->close();
           });
         };
         answerBox();
         auto first = std::make_unique<MainWindow>(ini);
         first->close();  // saved: the damaged lines are dropped
         IniFile reread;
         ASSERT_TRUE(reread.Load(ini));
         EXPECT_TRUE(reread.DamagedLines().isEmpty());
         EXPECT_EQ(reread.Value("Fonts", "BSize"), "12");
         EXPECT_EQ(reread.Value("Switch", "LineNo"), "1");
       }},
      {"no word in the status line of where a PDF went",
       [](testsupport::WindowFixture &f) {
         OpenExampleUnit(f, QStringLiteral("reports.pas"));
         if (f.window->printerHost().HasPrinters()) return;
         const QString pdf = f.dir.filePath(QStringLiteral("out.pdf"));
         f.window->printerHost().ChooseOutputFile = [&pdf](const QString &) { return pdf; };
         f.window->PrintUnitMenu->trigger();
         EXPECT_TRUE(f.window->StatusBar->statusText().contains(QStringLiteral("Wrote ") + pdf))
             << f.window->StatusBar->statusText().toStdString();
       }},
      {"Alt+V or Alt+P then Return needs a second Return",
       [](testsupport::WindowFixture &f) {
         OpenExampleUnit(f, QStringLiteral("stock.pas"));
         f.window->show();
         f.window->activateWindow();
         ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
         // One Return into whichever menu has dropped down, once it has
         // highlighted an item.
         bool answered = false;
         QTimer poll;
         QObject::connect(&poll, &QTimer::timeout, [&answered] {
           auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
           if (answered || !menu || !menu->activeAction()) return;
           answered = true;
           QTest::keyClick(menu, Qt::Key_Return);
         });
         poll.start(0);
         int previews = 0;
         SetPreviewRunHook([&previews](PreviewWindow &) { ++previews; });
         QTest::keyClick(f.window.get(), Qt::Key_V, Qt::AltModifier);
         EXPECT_TRUE(QTest::qWaitFor([&] { return previews == 1; }));
         EXPECT_TRUE(answered);
         if (f.window->printerHost().HasPrinters()) return;
         int asked = 0;
         f.window->printerHost().ChooseOutputFile = [&asked](const QString &) {
           ++asked;
           return QString();
         };
         answered = false;
         f.window->activateWindow();
         ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
         QTest::keyClick(f.window.get(), Qt::Key_P, Qt::AltModifier);
         EXPECT_TRUE(QTest::qWaitFor([&] { return asked == 1; }));
         EXPECT_EQ(previews, 1);
       }},
      {"the menu item is spelt Highlited",
       [](testsupport::WindowFixture &f) {
         EXPECT_EQ(f.window->PrintUnitMenu->text(), QStringLiteral("&Highlighted unit"));
       }},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.fault);
    testsupport::WindowFixture f;
    row.check(f);
  }
}
