// The window printing on a real CUPS queue. Run by tests/cups/cups_round_trip.sh
// against its private cupsd, whose queue (named by SCRIVANE_TEST_QUEUE and
// made the default through $PRINTER) has Letter as its own paper; skipped
// anywhere else. The script checks what the queue received.
#include <gtest/gtest.h>

#include <QPrinterInfo>

#include "app/DocForm.h"
#include "app/WindowFixture.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"

using namespace scrivane;

TEST(WindowOnCupsQueue, FirstPrintIsOnTheQueuesPaperAndTheProjectIsOneJob) {
  const QString queue = qEnvironmentVariable("SCRIVANE_TEST_QUEUE");
  if (queue.isEmpty()) GTEST_SKIP() << "run by tests/cups/cups_round_trip.sh with its queue";
  testsupport::WindowFixture f;
  QPrinter &printer = f.window->printerHost().printer();
  ASSERT_EQ(printer.outputFormat(), QPrinter::NativeFormat);
  EXPECT_EQ(printer.printerName(), queue);
  // The paper the set-up dialog shows, before any dialog was opened.
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::Letter);
  f.window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
  f.ClickUnit(QStringLiteral("stock.pas"));
  f.window->EntireProjMenuClick();
  EXPECT_TRUE(f.messages->warnings.isEmpty()) << f.messages->warnings.join('\n').toStdString();
}
