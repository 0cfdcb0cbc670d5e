// The print and preview commands driven through the real main window, the
// preview window and the print status window, printing to PDF files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "app/DocForm.h"
#include "app/PrintCommands.h"
#include "platform/RecordedMessages.h"
#include "print/PageCanvas.h"
#include "print/gui/PrintStatusForm.h"
#include "printer/PrinterHost.h"
#include "support/PdfOutline.h"
#include "support/RunTool.h"
#include "support/TestPaths.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {

QString PdfText(const QString &path) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-layout"), path, QStringLiteral("-")});
  process.waitForFinished(20000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The main window over the example project, with the commands wired to it
// the way the window wires them.
struct CommandsFixture {
  QTemporaryDir dir;
  std::unique_ptr<MainWindow> window;
  RecordedMessages *messages = nullptr;
  PrinterHost printer;
  std::unique_ptr<PrintCommands> commands;
  QStringList statusLines;

  CommandsFixture() {
    window = std::make_unique<MainWindow>(dir.path() + QStringLiteral("/scrivn.ini"));
    auto recorded = std::make_unique<RecordedMessages>();
    messages = recorded.get();
    window->setMessages(std::move(recorded));
    window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
    commands = std::make_unique<PrintCommands>(window->model(), window->settings(),
                                               window->messages(), printer, window.get());
    PrintCommandHooks &hooks = commands->Hooks;
    hooks.UpdateCommands = [this] { window->UpdateCommands(); };
    hooks.SelectUnit = [this](int index) { window->unitList->setCurrentRow(index); };
    hooks.SetStatusLine = [this](const QString &text) {
      statusLines << text;
      window->SetStatusLine(text);
    };
    hooks.EnableIndexItems = [this](bool on) {
      window->PrintIndexCreated->setEnabled(on);
      window->PrevIndexCreated->setEnabled(on);
    };
  }
  ~CommandsFixture() { SetPreviewRunHook(nullptr); }

  int Row(const QString &name) const {
    for (int i = 0; i < window->model().Units.size(); ++i)
      if (window->model().Units[i].name == name) return i;
    return -1;
  }
  void ClickUnit(const QString &name) {
    const int row = Row(name);
    ASSERT_GE(row, 0) << name.toStdString();
    window->unitList->setCurrentRow(row);
    window->unitList->item(row)->setSelected(true);
    window->UnitListClick();
  }
  void SelectRoutines(const QStringList &starts) {
    for (int i = 0; i < window->routineList->count(); ++i) {
      const QString text = QString::fromLatin1(window->model().Routines[i].text);
      for (const QString &start : starts)
        if (text.startsWith(start)) window->routineList->item(i)->setSelected(true);
    }
    window->RoutineListClick();
  }
  QString PrintTo(const QString &file) {
    const QString path = dir.path() + QLatin1Char('/') + file;
    printer.printer().setOutputFileName(path);
    return path;
  }
};

}  // namespace

TEST(PrintCommands, PreviewOfTheHighlightedUnitGoesToItsLastPage) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  ASSERT_TRUE(f.window->PrevUnitMenu->isEnabled());
  int finalPage = 0;
  bool indexOffered = false;
  QString pageText;
  SetPreviewRunHook([&](PreviewWindow &form) {
    indexOffered = form.IndexBtn->isEnabled();
    form.ShowLastPage();
    form.RenderBox(1);
    finalPage = form.FinalPage;
    pageText = form.StatusText(0);
    EXPECT_EQ(form.CurrentPage, form.FinalPage);
    EXPECT_FALSE(form.NextBtn->isEnabled());
  });
  f.commands->PrevUnitMenuClick();
  EXPECT_GE(finalPage, 2);
  EXPECT_EQ(pageText, QStringLiteral(" Page %1 of %1").arg(finalPage));
  EXPECT_TRUE(indexOffered);  // the whole unit: its index can be made
  EXPECT_FALSE(f.commands->Flags.DirectPrint);
  EXPECT_FALSE(f.commands->Flags.IndexRequested);
  EXPECT_FALSE(f.window->PrintIndexCreated->isEnabled());
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
}

TEST(PrintCommands, IndexButtonInThePreviewEnablesBothIndexListingItems) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  SetPreviewRunHook([](PreviewWindow &form) { form.IndexBtn->click(); });
  f.commands->PrevUnitMenuClick();
  EXPECT_TRUE(f.commands->Flags.IndexRequested);
  EXPECT_TRUE(f.window->PrintIndexCreated->isEnabled());
  EXPECT_TRUE(f.window->PrevIndexCreated->isEnabled());
  EXPECT_FALSE(f.window->model().IndexEntries.isEmpty());  // every routine was met
}

TEST(PrintCommands, FlagsOfTheUnitCommands) {
  struct Row {
    const char *name;
    void (PrintCommands::*command)();
    bool routinesSelected;
    bool indexAvailable, selectedOnly;
  };
  const Row rows[] = {
      {"preview menu, whole unit", &PrintCommands::PrevUnitMenuClick, false, true, false},
      {"preview menu, two routines", &PrintCommands::PrevUnitMenuClick, true, false, true},
      {"unit list double click, whole", &PrintCommands::UnitListDoubleClick, false, true, false},
      {"unit list double click, two routines", &PrintCommands::UnitListDoubleClick, true, false,
       false},
      {"routine list double click", &PrintCommands::RoutineListDoubleClick, true, false, false},
  };
  for (const Row &row : rows) {
    CommandsFixture f;
    f.ClickUnit(QStringLiteral("stock.pas"));
    if (row.routinesSelected)
      f.SelectRoutines({"procedure tstocklist.add", "procedure tstocklist.remove"});
    bool indexOffered = true;
    SetPreviewRunHook([&](PreviewWindow &form) { indexOffered = form.IndexBtn->isEnabled(); });
    (f.commands.get()->*row.command)();
    EXPECT_EQ(f.commands->Flags.IndexAvailable, row.indexAvailable) << row.name;
    EXPECT_EQ(indexOffered, row.indexAvailable) << row.name;
    EXPECT_EQ(f.commands->Docs.Unit.SelectedOnly, row.selectedOnly) << row.name;
    EXPECT_FALSE(f.commands->Flags.DirectPrint) << row.name;
  }
}

TEST(PrintCommands, PrintingTheHighlightedUnitWritesEveryLineAndEnablesTheIndex) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  const QString pdf = f.PrintTo(QStringLiteral("stock.pdf"));
  f.commands->PrintUnitMenuClick();
  ASSERT_TRUE(QFile::exists(pdf)) << f.messages->warnings.join('\n').toStdString();
  const QString text = PdfText(pdf);
  // Lines of the unit, in their order.
  const QStringList expected = {"unit stock", "constructor TStockList.Create",
                                "destructor TStockList.Destroy", "procedure TStockList.SaveToFile"};
  qsizetype at = 0;
  for (const QString &line : expected) {
    const qsizetype found = text.indexOf(line, at, Qt::CaseInsensitive);
    EXPECT_GE(found, at) << line.toStdString();
    if (found >= 0) at = found;
  }
  EXPECT_TRUE(f.commands->Flags.DirectPrint);
  EXPECT_TRUE(f.commands->Flags.IndexRequested);
  EXPECT_TRUE(f.window->PrintIndexCreated->isEnabled());
  EXPECT_TRUE(f.window->PrevIndexCreated->isEnabled());
}

TEST(PrintCommands, PrintingTwoSelectedRoutinesPrintsOnlyThem) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  f.SelectRoutines({"procedure tstocklist.add", "procedure tstocklist.remove"});
  EXPECT_EQ(f.window->PrintUnitMenu->text(),
            QStringLiteral("&Highlighted procedures and functions"));
  EXPECT_EQ(f.window->PrevUnitMenu->text(),
            QStringLiteral("&Highlighted procedures and functions"));
  const QString pdf = f.PrintTo(QStringLiteral("two.pdf"));
  f.commands->PrintUnitMenuClick();
  EXPECT_TRUE(f.commands->Docs.Unit.SelectedOnly);
  const QString text = PdfText(pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("TStockList.Add"), Qt::CaseInsensitive))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("TStockList.Remove"), Qt::CaseInsensitive));
  EXPECT_FALSE(text.contains(QStringLiteral("TStockList.Receive"), Qt::CaseInsensitive));
  EXPECT_FALSE(text.contains(QStringLiteral("unit stock"), Qt::CaseInsensitive));
}

// Written to PDF, the entire-project command prints the book that
// scrivane-print --all prints: the same documents in the same order under
// the same bookmarks, each on the page the viewer's label names.
TEST(PrintCommands, EntireProjectToPdfIsTheBookTheCommandLinePrints) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("reports.pas"));
  const QString pdf = f.PrintTo(QStringLiteral("book.pdf"));
  f.commands->EntireProjMenuClick();
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
  const QJsonObject json =
      QJsonDocument::fromJson(testsupport::RunTool("qpdf", {"--json", pdf}).toUtf8()).object();
  QStringList outline;
  testsupport::OutlineLines(json, json["outlines"].toArray(), 0, outline);
  QFile golden(testsupport::sourceDir() + "/tests/project/golden/inventory-outline.txt");
  ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
  EXPECT_EQ(outline.join('\n') + '\n', QString::fromUtf8(golden.readAll()));
  EXPECT_EQ(f.window->model().SelectedUnit, 0);
  EXPECT_TRUE(f.commands->IndexItemsEnabled());
}

// The Format dialog's two pages a sheet reach what the window prints: the
// unit and the book come out on half as many sheets, turned.
TEST(PrintCommands, TwoPagesASheetReachTheUnitAndTheBook) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  const QString single = f.PrintTo(QStringLiteral("single.pdf"));
  f.commands->PrintUnitMenuClick();
  const int pages = testsupport::RunTool("pdfinfo", {single})
                        .section("Pages:", 1)
                        .section('\n', 0, 0)
                        .trimmed()
                        .toInt();
  ASSERT_GE(pages, 2);
  f.window->settings().PagesPerSheet = 2;
  for (const bool book : {false, true}) {
    const QString pdf = f.PrintTo(book ? QStringLiteral("book2.pdf") : QStringLiteral("unit2.pdf"));
    if (book)
      f.commands->EntireProjMenuClick();
    else
      f.commands->PrintUnitMenuClick();
    const QString info = testsupport::RunTool("pdfinfo", {pdf});
    EXPECT_TRUE(info.contains("842 x 595")) << info.toStdString();
    if (!book)
      EXPECT_TRUE(info.contains(QRegularExpression(QString("Pages:\\s+%1\n").arg((pages + 1) / 2))))
          << info.toStdString();
  }
}

TEST(PrintCommands, CancelDuringTheBookWritesNothingAndEndsAtTheFirstEntry) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("reports.pas"));
  const int units = f.window->model().Units.size();
  ASSERT_GE(units, 3);
  QList<int> loaded;
  bool cancelClicked = false;
  f.commands->Hooks.SelectUnit = [&](int index) {
    loaded << index;
    f.window->unitList->setCurrentRow(index);
    if (index != 1 || cancelClicked) return;
    cancelClicked = true;
    // The print loop serves window messages before each page: the click
    // lands while the second unit prints.
    QTimer::singleShot(0, [] {
      for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *status = qobject_cast<PrintStatusWindow *>(top); status && status->isVisible())
          status->CancelBtn->click();
    });
  };
  const QString book = f.PrintTo(QStringLiteral("book.pdf"));
  f.commands->EntireProjMenuClick();
  // Units 0 and 1 were read for the book; then the command went back to 0.
  EXPECT_EQ(loaded, (QList<int>{0, 1, 0}));
  EXPECT_TRUE(f.commands->Flags.PrintCancelled);
  EXPECT_FALSE(QFile::exists(book));
  EXPECT_EQ(f.window->model().SelectedUnit, 0);
  EXPECT_EQ(f.window->unitList->currentRow(), 0);
  // The status line names the first unit again, then says the print was cancelled.
  ASSERT_GE(f.statusLines.size(), 2);
  EXPECT_EQ(f.statusLines[f.statusLines.size() - 2],
            QStringLiteral(" Unit: ") + f.window->model().Units[0].fullPath);
  EXPECT_EQ(f.statusLines.last(), QStringLiteral(" Print cancelled."));

  // The next run is not ended by the old Cancel, and one index covers it all.
  loaded.clear();
  const QString again = f.PrintTo(QStringLiteral("again.pdf"));
  f.commands->EntireProjMenuClick();
  EXPECT_EQ(loaded.size(), units + 1);
  EXPECT_TRUE(QFile::exists(again));
  EXPECT_FALSE(f.commands->Flags.PrintCancelled);
  QSet<QByteArray> unitsInIndex;
  for (QByteArrayView entry : f.window->model().IndexEntries)
    unitsInIndex << entry.toByteArray().split('%').value(2);
  EXPECT_GE(unitsInIndex.size(), 2) << f.window->model().IndexEntries.size();
  EXPECT_TRUE(f.commands->IndexItemsEnabled());
}

TEST(PrintCommands, ProcedureAndProjectDocumentsPrintAndTurnTheIndexItemsOff) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  f.commands->Flags.IndexRequested = true;
  SetPreviewRunHook([](PreviewWindow &form) { form.ShowLastPage(); });
  f.commands->PrevProjMenuClick();
  const QString procedures = f.PrintTo(QStringLiteral("procedures.pdf"));
  f.window->settings().Footer = 1;
  f.commands->PrintProcMenuClick();
  EXPECT_TRUE(f.messages->informations.isEmpty())
      << f.messages->informations.join('\n').toStdString();
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
  EXPECT_FALSE(f.commands->Flags.IndexRequested);
  EXPECT_FALSE(f.commands->IndexItemsEnabled());
  EXPECT_FALSE(f.window->PrintIndexCreated->isEnabled());
  EXPECT_EQ(f.commands->Docs.Project.Job().Names.ProjectNameText, QByteArray("inventory.dpr"));
  EXPECT_EQ(f.commands->Docs.Procedures.Job().Names.UnitNameText, QByteArray("stock.pas"));
  // Every routine of the list, in list order, and the list's own footer title.
  const QString text = PdfText(procedures);
  qsizetype at = 0;
  for (const RoutineEntry &routine : f.window->model().Routines) {
    const QString words = QString::fromLatin1(routine.text)
                              .section(QLatin1Char(' '), 1, 1)
                              .section(QLatin1Char('('), 0, 0);
    const qsizetype found = text.indexOf(words, at, Qt::CaseInsensitive);
    EXPECT_GE(found, at) << words.toStdString();
    if (found >= 0) at = found;
  }
  EXPECT_TRUE(text.contains(QStringLiteral("Functions & Procedures")));
}

TEST(PrintCommands, IndexAfterPrintingAUnitListsEachRoutineOnceWithItsPage) {
  CommandsFixture f;
  f.ClickUnit(QStringLiteral("stock.pas"));
  // A preview first, then the print on the window's printer: the index keeps
  // the print's pages only, each routine once.
  SetPreviewRunHook([](PreviewWindow &form) {
    form.ShowLastPage();
    form.IndexBtn->click();
  });
  f.commands->PrevUnitMenuClick();
  f.PrintTo(QStringLiteral("stock.pdf"));
  f.commands->PrintUnitMenuClick();
  ASSERT_TRUE(f.window->PrintIndexCreated->isEnabled());
  const QList<QByteArray> entries = f.window->model().IndexEntries.toList();
  EXPECT_EQ(QSet<QByteArray>(entries.begin(), entries.end()).size(), entries.size());
  const QString index = f.PrintTo(QStringLiteral("index.pdf"));
  f.commands->PrintIndexCreatedClick();
  const QString text = PdfText(index);
  EXPECT_TRUE(text.contains(QStringLiteral("Index")));
  EXPECT_EQ(text.count(QStringLiteral("stock.pas")), int(entries.size())) << text.toStdString();
}

TEST(PrintCommands, SharedBeginEventMakesAFreshPageRecord) {
  CommandsFixture f;
  PageInfoPtr info;
  f.commands->PlainJobBeginPrint(info);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Title, f.window->model().OpenedPath);
  EXPECT_EQ(static_cast<ListingPageInfo &>(*info).KnownPages, 1);
  f.commands->PlainJobEndPrint(info);
  EXPECT_FALSE(info);
}
