// The window's own print and preview wiring, driven as a user would: open
// the example project, click a unit, use the menus.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>

#include "app/DocForm.h"
#include "app/PrintCommands.h"
#include "app/WindowFixture.h"
#include "platform/ReplacingFile.h"
#include "platform/UserMessages.h"
#include "print/gui/PreviewForm.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {
// The window with the example project open.
struct ExampleWindow : testsupport::WindowFixture {
  ExampleWindow() {
    window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
  }
};

QString PdfText(const QString &path) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-layout"), path, QStringLiteral("-")});
  if (!process.waitForFinished(30000)) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}
}  // namespace

TEST(DocFormPrint, PrintMenuAsksForAPdfFileWithoutAPrinterAndPrintsTheUnit) {
  ExampleWindow f;
  f.ClickUnit(QStringLiteral("reports.pas"));
  ASSERT_TRUE(f.window->PrintUnitMenu->isEnabled());
  const QString pdf = f.dir.path() + QStringLiteral("/reports.pdf");
  QString askedFor;
  f.window->printerHost().ChooseOutputFile = [&](const QString &title) {
    askedFor = title;
    return pdf;
  };
  if (f.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  f.window->PrintUnitMenuClick();
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
  EXPECT_TRUE(askedFor.endsWith(QStringLiteral("reports.pas")));
  ASSERT_TRUE(QFile::exists(pdf));
  const QString text = PdfText(pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("unit"))) << text.left(400).toStdString();
  // Printing the whole unit makes the index of its routines available,
  // until another file is opened: its index would be empty.
  EXPECT_TRUE(f.window->printCommands().Flags.IndexRequested);
  EXPECT_TRUE(f.window->PrintIndexCreated->isEnabled());
  f.window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/textutil.pas"));
  EXPECT_FALSE(f.window->PrintIndexCreated->isEnabled());
  EXPECT_FALSE(f.window->printCommands().IndexItemsEnabled());
}

TEST(DocFormPrint, PrintMenuDoesNotWriteOverThePdfChosenForAnEarlierPrint) {
  ExampleWindow f;
  if (f.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  const QString earlier = f.dir.path() + QStringLiteral("/earlier.pdf");
  {
    QFile file(earlier);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("kept");
  }
  // As the print dialog of a print from the preview leaves it.
  f.window->printerHost().printer().setOutputFileName(earlier);
  f.ClickUnit(QStringLiteral("reports.pas"));
  const QString pdf = f.dir.path() + QStringLiteral("/reports.pdf");
  int asked = 0;
  f.window->printerHost().ChooseOutputFile = [&](const QString &) {
    ++asked;
    return pdf;
  };
  f.window->PrintUnitMenuClick();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(QFile::exists(pdf));
  QFile file(earlier);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("kept"));
}

TEST(DocFormPrint, AnsweringNoFileNamePrintsNothingAndSaysSo) {
  ExampleWindow f;
  if (f.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  f.ClickUnit(QStringLiteral("reports.pas"));
  f.window->printerHost().ChooseOutputFile = [](const QString &) { return QString(); };
  f.window->PrintUnitMenuClick();
  ASSERT_EQ(f.messages->warnings.size() + f.messages->informations.size(), 1);
}

TEST(DocFormPrint, PreviewMenuShowsTheHighlightedUnit) {
  ExampleWindow f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  int lastPage = 0;
  SetPreviewRunHook([&](PreviewWindow &form) {
    form.GoToPage(-1);
    lastPage = form.CurrentPage;
  });
  f.window->PrevUnitMenuClick();
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
  // stock.pas holds a page-break directive, so it takes at least two pages.
  EXPECT_GE(lastPage, 2);
}

TEST(DocFormPrint, DocumentsWithoutARendererStayDisabled) {
  ExampleWindow f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  EXPECT_TRUE(f.window->PrevUnitMenu->isEnabled());
  EXPECT_EQ(f.window->PrevProcMenu->isEnabled(),
            PrintCommands::HasRenderer(f.window->printCommands().Job(DocumentKind::Procedures)));
  EXPECT_EQ(f.window->PrintProjMenu->isEnabled(),
            PrintCommands::HasRenderer(f.window->printCommands().Job(DocumentKind::Project)));
}

// The window's PDF file could be a unit of the open project, and a full disk
// left a truncated PDF without a word.
TEST(DocFormPrint, PdfNeverReplacesAProjectFileAndAFailedWriteIsReported) {
  testsupport::WindowFixture f;
  if (f.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  const QString project = f.dir.path() + QStringLiteral("/project/");
  QDir().mkpath(project);
  for (const QString &name : QDir(testsupport::examplesDir()).entryList(QDir::Files))
    ASSERT_TRUE(QFile::copy(testsupport::examplesDir() + "/" + name, project + name));
  auto bytesOf = [](const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  const QByteArray stock = bytesOf(project + "stock.pas");
  f.window->OpenChosenFile(project + QStringLiteral("inventory.dpr"));
  f.ClickUnit(QStringLiteral("reports.pas"));

  f.window->printerHost().ChooseOutputFile = [&](const QString &) {
    return project + QStringLiteral("Stock.PAS");
  };
  f.window->PrintUnitMenuClick();
  ASSERT_EQ(f.messages->warnings.size(), 1);
  EXPECT_TRUE(
      f.messages->warnings[0].startsWith("Cannot print to " + project + "Stock.PAS: it is "))
      << f.messages->warnings[0].toStdString();
  EXPECT_EQ(bytesOf(project + "stock.pas"), stock);

  // A link that led nowhere was followed, and its target made.
  f.messages->warnings.clear();
  const QString dangling = project + QStringLiteral("dangling.pdf"),
                nowhere = f.dir.path() + QStringLiteral("/nowhere.pdf");
  ASSERT_TRUE(QFile::link(nowhere, dangling));
  f.window->printerHost().ChooseOutputFile = [&](const QString &) { return dangling; };
  f.window->PrintUnitMenuClick();
  ASSERT_EQ(f.messages->warnings.size(), 1);
  EXPECT_EQ(f.messages->warnings[0], "Cannot print to " + dangling + ": it is a symbolic link to " +
                                         nowhere + ", which does not exist.");
  EXPECT_FALSE(QFileInfo::exists(nowhere));
  QFile::remove(dangling);

  f.messages->warnings.clear();
  const QString pdf = project + QStringLiteral("reports.pdf");
  f.window->printerHost().ChooseOutputFile = [&](const QString &) { return pdf; };
  SetWriteFailureHook([](const QString &, qint64) { return ENOSPC; });
  f.window->PrintUnitMenuClick();
  SetWriteFailureHook({});
  ASSERT_EQ(f.messages->warnings.size(), 1);
  EXPECT_EQ(f.messages->warnings[0], "Unable to write to " + pdf + ": No space left on device");
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_EQ(QDir(project).entryList(QDir::Files | QDir::Hidden).size(),
            QDir(testsupport::examplesDir()).entryList(QDir::Files).size());
}
