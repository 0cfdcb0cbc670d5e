// Print > Cross-reference and View > Cross-reference in the real window:
// the document scrivane-print --document xref prints, a Cancel while the
// units are laid out, and the reason the commands give when they are off.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "app/PrintCommands.h"
#include "app/WindowFixture.h"
#include "print/gui/PrintStatusForm.h"
#include "printer/PrinterHost.h"
#include "support/RunTool.h"
#include "support/TestPaths.h"

using namespace scrivane;

// A PDF's text without the clock the header and footer print.
static QString TextWithoutClock(const QString &pdf) {
  return testsupport::RunTool("pdftotext", {"-layout", pdf, "-"})
      .remove(QRegularExpression("\\d+[:/.]\\d+([:/.]\\d+)?( ?[AP]M)?"));
}

TEST(WindowCrossReference, PrintsWhatTheCommandLinePrintsPreviewsAndCancels) {
  testsupport::WindowFixture w;
  if (w.window->printerHost().HasPrinters()) GTEST_SKIP() << "a real printer is installed";
  const QString project = testsupport::examplesDir() + QStringLiteral("/inventory.dpr");
  w.window->OpenChosenFile(project);
  w.ClickUnit(QStringLiteral("reports.pas"));
  const QString pdf = w.dir.filePath(QStringLiteral("xref.pdf"));
  w.window->printerHost().ChooseOutputFile = [&](const QString &) { return pdf; };
  w.window->printCrossReferenceAction->trigger();
  EXPECT_TRUE(w.messages->warnings.isEmpty()) << w.messages->warnings.join('\n').toStdString();
  const QString cli = w.dir.filePath(QStringLiteral("cli.pdf"));
  QProcess run;
  run.start(QStringLiteral(SCRIVANE_BINARY_DIR "/src/scrivane-print"),
            {project, "--document", "xref", "-o", cli, "--ini", w.dir.filePath("scrivn.ini")});
  ASSERT_TRUE(run.waitForFinished(60000));
  ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  EXPECT_TRUE(TextWithoutClock(pdf).contains(QStringLiteral("TStockList")));
  EXPECT_EQ(TextWithoutClock(pdf), TextWithoutClock(cli));

  // The preview shows it; a Cancel while the units are laid out shows
  // nothing; either way the unit highlighted before is back.
  for (const bool cancel : {false, true}) {
    int pages = 0;
    SetPreviewRunHook([&](PreviewWindow &form) {
      form.GoToPage(-1);
      pages = form.CurrentPage;
    });
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [] {
      for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *status = qobject_cast<PrintStatusWindow *>(top); status && status->isVisible())
          status->CancelBtn->click();
    });
    if (cancel) clicker.start(0);
    w.window->previewCrossReferenceAction->trigger();
    EXPECT_EQ(pages > 0, !cancel);
    EXPECT_EQ(w.window->printCommands().Flags.PrintCancelled, cancel);
    EXPECT_EQ(w.window->model().Units[w.window->model().SelectedUnit].name, "reports.pas");
  }
}

// Off, with the reason as the items' tooltip, while no project is open or
// the cross links are off; a unit opened alone is no project.
TEST(WindowCrossReference, OffWithItsReasonWithoutAProjectOrCrossLinks) {
  const struct {
    const char *open;
    int crossLinks;
    const char *reason;  // empty: on
  } rows[] = {
      {"", 1, "Open a project"},
      {"inventory.dpr", 1, ""},
      {"inventory.dpr", 0, "Cross links are off"},
      {"stock.pas", 1, "Open a project"},
  };
  for (const auto &row : rows) {
    testsupport::WindowFixture f;
    SCOPED_TRACE(row.open);
    if (*row.open)
      f.window->OpenChosenFile(testsupport::examplesDir() + '/' + QString::fromLatin1(row.open));
    f.window->settings().CrossLinks = row.crossLinks;
    f.window->UpdateCommands();
    for (QAction *a :
         {f.window->printCrossReferenceAction, f.window->previewCrossReferenceAction}) {
      EXPECT_EQ(a->isEnabled(), !*row.reason);
      if (*row.reason)
        EXPECT_TRUE(a->toolTip().startsWith(row.reason)) << a->toolTip().toStdString();
    }
  }
}
