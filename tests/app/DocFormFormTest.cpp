// A form file opened in the window: its entry, its objects, their selection,
// Copy and Clear, and the printed form listing.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>

#include "app/DocForm.h"
#include "app/WindowFixture.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"
#include "widgets/Glyphs.h"
#include "widgets/PickList.h"

using namespace scrivane;

TEST(DocFormForm, ObjectsAreListedSelectedCopiedAndPrinted) {
  testsupport::WindowFixture w;
  if (w.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  const QString form = w.dir.path() + QStringLiteral("/MainForm.dfm");
  ASSERT_TRUE(QFile::copy(testsupport::examplesDir() + QStringLiteral("/mainform.dfm"), form));
  w.window->OpenChosenFile(form);
  EXPECT_TRUE(w.messages->informations.isEmpty())
      << w.messages->informations.join("; ").toStdString();
  ASSERT_EQ(w.window->unitList->count(), 1);
  EXPECT_EQ(w.window->unitList->item(0)->text(), QStringLiteral("MainForm.dfm"));
  ASSERT_EQ(w.window->routineList->count(), 7);
  for (int i = 0; i < w.window->routineList->count(); ++i)
    EXPECT_EQ(w.window->routineList->item(i)->data(KindRole).toInt(), int(EntryKind::FormObject));
  EXPECT_TRUE(QFile::exists(w.dir.path() + QStringLiteral("/MainForm.DDT")));

  // Clicking the entry again reloads the same objects.
  w.ClickUnit(QStringLiteral("MainForm.dfm"));
  ASSERT_EQ(w.window->routineList->count(), 7);

  w.window->routineList->item(0)->setSelected(true);  // object addbutton : tbutton
  w.window->routineList->item(6)->setSelected(true);  // object statuslabel : tlabel [3]
  w.window->RoutineListClick();
  ASSERT_TRUE(w.window->CopyBtn->isEnabled());
  ASSERT_TRUE(w.window->ClearBtn->isEnabled());
  w.window->CopyBtnClick();
  const QString text = QGuiApplication::clipboard()->text();
  EXPECT_TRUE(text.startsWith(QStringLiteral("object AddButton : TButton \n")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("object StatusLabel : TLabel [3]")))
      << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("RemoveButton"))) << text.toStdString();

  const QString pdf = w.dir.path() + QStringLiteral("/objects.pdf");
  w.window->printerHost().ChooseOutputFile = [&](const QString &) { return pdf; };
  w.window->PrintUnitMenuClick();
  EXPECT_TRUE(w.messages->warnings.isEmpty()) << w.messages->warnings.join("; ").toStdString();
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  ASSERT_TRUE(process.waitForFinished(30000));
  const QString printed = QString::fromUtf8(process.readAllStandardOutput());
  EXPECT_TRUE(printed.contains(QStringLiteral("AddButton"))) << printed.toStdString();
  EXPECT_TRUE(printed.contains(QStringLiteral("StatusLabel"))) << printed.toStdString();
  EXPECT_FALSE(printed.contains(QStringLiteral("ItemGrid"))) << printed.toStdString();

  w.window->ClearBtnClick();
  EXPECT_FALSE(w.window->routineList->item(0)->isSelected());
  EXPECT_FALSE(w.window->CopyBtn->isEnabled());
}
