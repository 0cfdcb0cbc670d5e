// The window printing a big project whole to PDF, as a user sees it: the
// project (default Lazarus's lcl/lclbase.lpk) opened in the main window,
// then its entire project printed to a PDF file twice. The first run is
// left to finish: the longest time the print status window went without
// serving the window (its page number changes only then) and without a
// new page number. The second is cancelled after CANCEL_AFTER seconds
// (default 1.0): how long Cancel took to end the print, and whether a
// file was left behind.
// Targets: a new page number at least once a second; Cancel ends the print
// within 0.5 s and leaves no file.
//   window_book_ui_bench [PROJECT]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/DocForm.h"
#include "app/PrintCommands.h"
#include "platform/RecordedMessages.h"
#include "print/gui/PrintStatusForm.h"
#include "printer/PrinterHost.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {

PrintStatusWindow *VisibleStatusWindow() {
  for (QWidget *top : QApplication::topLevelWidgets())
    if (auto *status = qobject_cast<PrintStatusWindow *>(top); status && status->isVisible())
      return status;
  return nullptr;
}

struct Watch {
  QElapsedTimer clock;
  double lastServed = 0, lastPageChange = 0;
  double longestUnserved = 0, longestWithoutPage = 0;
  QString page;
  int changes = 0;
  double cancelAt = -1;  // seconds into the print to click Cancel; < 0: never
  double clickedAt = -1;

  void Start() {
    clock.start();
    lastServed = lastPageChange = 0;
    longestUnserved = longestWithoutPage = 0;
    page.clear();
    changes = 0;
    clickedAt = -1;
  }
  double Now() const { return double(clock.nsecsElapsed()) / 1e9; }
  void Tick() {
    const double now = Now();
    longestUnserved = std::max(longestUnserved, now - lastServed);
    lastServed = now;
    PrintStatusWindow *status = VisibleStatusWindow();
    if (!status) return;
    if (const QString text = status->PageNumLabel->text(); text != page) {
      page = text;
      ++changes;
      longestWithoutPage = std::max(longestWithoutPage, now - lastPageChange);
      lastPageChange = now;
    }
    if (cancelAt >= 0 && clickedAt < 0 && now >= cancelAt) {
      clickedAt = now;
      status->CancelBtn->click();
    }
  }
  void End() {
    const double now = Now();
    longestUnserved = std::max(longestUnserved, now - lastServed);
    longestWithoutPage = std::max(longestWithoutPage, now - lastPageChange);
  }
};

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const QString project =
      args.size() > 1 ? args[1] : QStringLiteral("/usr/lib/lazarus/2.2.6/lcl/lclbase.lpk");
  const double cancelAfter = qEnvironmentVariableIsSet("CANCEL_AFTER")
                                 ? qEnvironmentVariable("CANCEL_AFTER").toDouble()
                                 : 1.0;
  QTemporaryDir dir;

  MainWindow window(dir.path() + QStringLiteral("/scrivn.ini"));
  auto recorded = std::make_unique<RecordedMessages>();
  RecordedMessages *messages = recorded.get();
  window.setMessages(std::move(recorded));
  QElapsedTimer openClock;
  openClock.start();
  window.OpenChosenFile(project);
  const double openSeconds = double(openClock.nsecsElapsed()) / 1e9;
  if (window.model().Units.isEmpty()) {
    std::fprintf(stderr, "%s: no units opened\n", qPrintable(project));
    return 1;
  }
  PrinterHost printer;
  PrintCommands commands(window.model(), window.settings(), window.messages(), printer, &window);
  commands.Hooks.UpdateCommands = [&] { window.UpdateCommands(); };
  commands.Hooks.SelectUnit = [&](int index) { window.unitList->setCurrentRow(index); };
  commands.Hooks.SetStatusLine = [&](const QString &text) { window.SetStatusLine(text); };

  Watch watch;
  QTimer ticker;
  ticker.setInterval(20);
  QObject::connect(&ticker, &QTimer::timeout, [&] { watch.Tick(); });
  ticker.start();

  std::printf("%s: %d units, opened in %.2f s\n", qPrintable(project),
              int(window.model().Units.size()), openSeconds);
  for (const bool cancel : {false, true}) {
    const QString pdf =
        dir.path() + (cancel ? QStringLiteral("/cancelled.pdf") : QStringLiteral("/book.pdf"));
    printer.printer().setOutputFileName(pdf);
    watch.cancelAt = cancel ? cancelAfter : -1;
    watch.Start();
    commands.EntireProjMenuClick();
    watch.End();
    const double total = watch.Now();
    if (!cancel) {
      std::printf(
          "whole book to PDF: %.2f s, %d page numbers shown; longest without a new page number "
          "%.3f s"
          " (target: at most 1 s); longest the window went unserved %.3f s; file %s (%lld bytes)\n",
          total, watch.changes, watch.longestWithoutPage, watch.longestUnserved,
          QFile::exists(pdf) ? "written" : "MISSING", (long long)QFileInfo(pdf).size());
    } else if (watch.clickedAt < 0) {
      std::printf("cancelled run: the print ended (%.2f s) before Cancel was clicked\n", total);
    } else {
      std::printf(
          "Cancel clicked %.2f s into the print: the print ended %.3f s later (target: at most 0.5 "
          "s);"
          " file left behind: %s\n",
          watch.clickedAt, total - watch.clickedAt, QFile::exists(pdf) ? "YES" : "none");
    }
  }
  if (!messages->warnings.isEmpty())
    std::printf("warnings: %s\n", qPrintable(messages->warnings.join(QStringLiteral(" | "))));
  return 0;
}
