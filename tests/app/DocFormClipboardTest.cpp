// Copy of selected routines and the form image beside a unit, as a user
// reaches them from the toolbar.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/DocForm.h"
#include "platform/UserMessages.h"
#include "support/TestPaths.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {
struct Window {
  QTemporaryDir dir;
  std::unique_ptr<TDocForm> form;
  RecordedMessages *messages = nullptr;
  Window() {
    form = std::make_unique<TDocForm>(dir.path() + QStringLiteral("/scrivn.ini"));
    auto recorded = std::make_unique<RecordedMessages>();
    messages = recorded.get();
    form->setMessages(std::move(recorded));
  }
};

void WriteFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}
}  // namespace

TEST(DocFormClipboard, CopyPutsTheSelectedRoutinesOnTheClipboardAsText) {
  Window w;
  w.form->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/reports.pas"));
  ASSERT_GT(w.form->PickList2->count(), 1);
  w.form->PickList2->item(0)->setSelected(true);
  w.form->PickList2->item(1)->setSelected(true);
  w.form->PickList2Click();
  ASSERT_TRUE(w.form->CopyBtn->isEnabled());
  w.form->CopyBtnClick();
  const QString text = QGuiApplication::clipboard()->text();
  const QString first = QString::fromLatin1(w.form->model().Routines[0].text);
  const QString second = QString::fromLatin1(w.form->model().Routines[1].text);
  EXPECT_TRUE(text.toLower().contains(first.left(20))) << text.toStdString();
  EXPECT_TRUE(text.toLower().contains(second.left(20))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("\r\n")));
  EXPECT_TRUE(w.form->model().ListingLines.isEmpty());
}

TEST(DocFormClipboard, FormImageBesideAUnitInADottedFolderIsShownAndDeleted) {
  Window w;
  const QString folder = w.dir.path() + QStringLiteral("/proj.v2");
  ASSERT_TRUE(QDir().mkpath(folder));
  WriteFile(folder + QStringLiteral("/unit1.pas"),
            "unit Unit1;\ninterface\nprocedure A;\nimplementation\nprocedure A;\nbegin\nend;\nend.\n");
  WriteFile(folder + QStringLiteral("/unit1.dfm"), QByteArray("\xFF\x0A\x00", 3));
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  ASSERT_TRUE(picture.save(folder + QStringLiteral("/unit1.bmp"), "BMP"));

  w.form->OpenChosenFile(folder + QStringLiteral("/unit1.pas"));
  w.form->PageControl1->setCurrentWidget(w.form->TabSheet2);
  w.form->PageControl1Change();
  EXPECT_EQ(w.form->FormImage->pixmap().size(), QSize(40, 30));
  EXPECT_TRUE(w.form->ClearBtn->isEnabled());
  EXPECT_TRUE(w.form->CopyBtn->isEnabled());

  w.form->ClearBtnClick();
  ASSERT_EQ(w.messages->questions.size(), 1);
  EXPECT_TRUE(w.messages->questions[0].startsWith(QStringLiteral("Do you want to delete ")));
  EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/unit1.bmp")));
  EXPECT_TRUE(w.form->FormImage->pixmap().isNull());
  EXPECT_FALSE(w.form->ClearBtn->isEnabled());
  EXPECT_FALSE(w.form->CopyBtn->isEnabled());
}

TEST(DocFormClipboard, AnImageWithoutAFormFileIsNotShown) {
  Window w;
  WriteFile(w.dir.path() + QStringLiteral("/unit2.pas"), "unit Unit2;\nend.\n");
  QImage picture(20, 20, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(w.dir.path() + QStringLiteral("/unit2.bmp"), "BMP"));
  w.form->OpenChosenFile(w.dir.path() + QStringLiteral("/unit2.pas"));
  w.form->PageControl1->setCurrentWidget(w.form->TabSheet2);
  w.form->PageControl1Change();
  EXPECT_TRUE(w.form->FormImage->pixmap().isNull());
}
