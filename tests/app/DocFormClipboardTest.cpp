// Copy of selected routines and the form image beside a unit, as a user
// reaches them from the toolbar.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cerrno>

#include "app/DocForm.h"
#include "app/WindowFixture.h"
#include "platform/ReplacingFile.h"
#include "platform/UserMessages.h"
#include "support/TestPaths.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {
using Window = testsupport::WindowFixture;

void WriteFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}
}  // namespace

TEST(DocFormClipboard, CopyPutsTheSelectedRoutinesOnTheClipboardAsText) {
  Window w;
  w.window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/reports.pas"));
  ASSERT_GT(w.window->routineList->count(), 1);
  w.window->routineList->item(0)->setSelected(true);
  w.window->routineList->item(1)->setSelected(true);
  w.window->RoutineListClick();
  ASSERT_TRUE(w.window->CopyBtn->isEnabled());
  w.window->CopyBtnClick();
  const QString text = QGuiApplication::clipboard()->text();
  const QString first = QString::fromLatin1(w.window->model().Routines[0].text);
  const QString second = QString::fromLatin1(w.window->model().Routines[1].text);
  const QString compact = text.toLower().remove(u' ');
  EXPECT_TRUE(compact.contains(first.left(20).remove(u' '))) << text.toStdString();
  EXPECT_TRUE(compact.contains(second.left(20).remove(u' '))) << text.toStdString();
  EXPECT_FALSE(text.contains(u'\r'));
  EXPECT_FALSE(text.endsWith(u'\n'));
  EXPECT_TRUE(w.window->model().ListingLines.isEmpty());
  // The lines as the file has them, indentation and spacing and all.
  QFile source(testsupport::examplesDir() + QStringLiteral("/reports.pas"));
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  const QString file =
      QString::fromLatin1(source.readAll()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  for (const QString &line : text.split(u'\n'))
    EXPECT_TRUE(file.contains(line + u'\n')) << line.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("FormatFloat('#,##0.00', UnitPrice)")))
      << text.toStdString();
}

TEST(DocFormClipboard, FormImageBesideAUnitInADottedFolderIsShownAndDeleted) {
  Window w;
  const QString folder = w.dir.path() + QStringLiteral("/proj.v2");
  ASSERT_TRUE(QDir().mkpath(folder));
  WriteFile(
      folder + QStringLiteral("/unit1.pas"),
      "unit Unit1;\ninterface\nprocedure A;\nimplementation\nprocedure A;\nbegin\nend;\nend.\n");
  WriteFile(folder + QStringLiteral("/unit1.dfm"), QByteArray("\xFF\x0A\x00", 3));
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::blue);
  ASSERT_TRUE(picture.save(folder + QStringLiteral("/unit1.bmp"), "BMP"));

  w.window->OpenChosenFile(folder + QStringLiteral("/unit1.pas"));
  w.window->pageTabs->setCurrentWidget(w.window->formImageTab);
  w.window->PageTabChanged();
  EXPECT_EQ(w.window->FormImage->pixmap().size(), QSize(40, 30));
  EXPECT_TRUE(w.window->ClearBtn->isEnabled());
  EXPECT_TRUE(w.window->CopyBtn->isEnabled());

  w.window->ClearBtnClick();
  ASSERT_EQ(w.messages->questions.size(), 1);
  EXPECT_TRUE(w.messages->questions[0].startsWith(QStringLiteral("Do you want to delete ")));
  EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/unit1.bmp")));
  EXPECT_TRUE(w.window->FormImage->pixmap().isNull());
  EXPECT_FALSE(w.window->ClearBtn->isEnabled());
  EXPECT_FALSE(w.window->CopyBtn->isEnabled());
}

// Clear and Copy followed the bitmap alone: a logo.bmp beside logo.pas, not
// shown for want of a form, was offered for deletion.
TEST(DocFormClipboard, AnImageWithoutAFormFileIsNeitherShownNorOfferedForDeletion) {
  Window w;
  WriteFile(w.dir.path() + QStringLiteral("/unit2.pas"), "unit Unit2;\nend.\n");
  QImage picture(20, 20, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(w.dir.path() + QStringLiteral("/unit2.bmp"), "BMP"));
  w.window->OpenChosenFile(w.dir.path() + QStringLiteral("/unit2.pas"));
  w.window->pageTabs->setCurrentWidget(w.window->formImageTab);
  w.window->PageTabChanged();
  EXPECT_TRUE(w.window->FormImage->pixmap().isNull());
  EXPECT_FALSE(w.window->ClearBtn->isEnabled());
  EXPECT_FALSE(w.window->CopyBtn->isEnabled());
  w.window->ClearBtnClick();
  EXPECT_TRUE(w.messages->questions.isEmpty());
  EXPECT_TRUE(QFile::exists(w.dir.path() + QStringLiteral("/unit2.bmp")));
}

// The model's paths are lower case: Paste saved to a folder that does not
// exist on a case-sensitive disk ("Cannot write"), or beside an image in
// another case as a second file.
TEST(DocFormClipboard, PasteSavesInAFolderWithCapitalsAndOverAnImageInAnotherCase) {
  Window w;
  const QString folder = w.dir.path() + QStringLiteral("/PasteCase");
  ASSERT_TRUE(QDir().mkpath(folder));
  WriteFile(folder + QStringLiteral("/Unit1.pas"), "unit Unit1;\nend.\n");
  WriteFile(folder + QStringLiteral("/Unit1.dfm"), "object Form1: TForm1\nend\n");
  w.window->OpenChosenFile(folder + QStringLiteral("/Unit1.pas"));
  w.window->pageTabs->setCurrentWidget(w.window->formImageTab);
  w.window->PageTabChanged();

  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::green);
  QGuiApplication::clipboard()->setImage(picture);
  w.window->CaptureBtnClick();
  EXPECT_TRUE(w.messages->warnings.isEmpty()) << w.messages->warnings.join("; ").toStdString();
  EXPECT_EQ(w.messages->questions, QStringList{"Do you want to save " + folder + "/unit1.bmp?"});
  EXPECT_EQ(QImage(folder + QStringLiteral("/unit1.bmp")).size(), QSize(40, 30));

  ASSERT_TRUE(
      QFile::rename(folder + QStringLiteral("/unit1.bmp"), folder + QStringLiteral("/UNIT1.BMP")));
  picture = QImage(50, 20, QImage::Format_RGB32);
  picture.fill(Qt::red);
  QGuiApplication::clipboard()->setImage(picture);
  w.window->CaptureBtnClick();
  EXPECT_EQ(QImage(folder + QStringLiteral("/UNIT1.BMP")).size(), QSize(50, 20));
  EXPECT_EQ(QDir(folder).entryList(QDir::Files),
            (QStringList{"UNIT1.BMP", "Unit1.dfm", "Unit1.pas"}));
  w.window->PageTabChanged();
  EXPECT_TRUE(w.window->ClearBtn->isEnabled());
  EXPECT_TRUE(w.window->CopyBtn->isEnabled());

  // A full disk during the save keeps the image saved before.
  SetWriteFailureHook([](const QString &, qint64) { return ENOSPC; });
  QGuiApplication::clipboard()->setImage(QImage(70, 70, QImage::Format_RGB32));
  w.window->CaptureBtnClick();
  SetWriteFailureHook({});
  EXPECT_EQ(w.messages->warnings, QStringList{"Cannot write " + folder + "/UNIT1.BMP"});
  EXPECT_EQ(QImage(folder + QStringLiteral("/UNIT1.BMP")).size(), QSize(50, 20));
  EXPECT_EQ(QDir(folder).entryList(QDir::Files),
            (QStringList{"UNIT1.BMP", "Unit1.dfm", "Unit1.pas"}));
}
