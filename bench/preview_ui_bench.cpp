// Opens the preview of a unit listing of about 1,000 pages and times what a
// user waits for: the first page shown, End (paging to the last page), and
// one repaint of the page box at 100 % and at 337.5 %.
// Targets: End under 0.5 s; a repaint under 16 ms at 100 %.
// With --lines N the unit has about N lines instead; for 1,000,000 lines
// the target is the whole wait, opening the unit + the preview + End,
// under 3 s.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/UnitListing.h"
#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "print/gui/PreviewForm.h"
#include "printer/PrinterHost.h"
#include "project/Readers.h"

using namespace scrivane;

namespace {

// A unit of `routines` routines, each with a comment, strings and nested
// blocks, about 24 lines each.
QByteArray BigUnit(int routines) {
  QByteArray text = "unit big;\n\ninterface\n\nuses SysUtils, Classes;\n\nimplementation\n\n";
  for (int r = 0; r < routines; ++r) {
    const QByteArray n = QByteArray::number(r);
    text += "{ Adds the items of batch " + n + " to the running totals. }\n";
    text += "procedure TStockList.ReceiveBatch" + n + "(const Code: string; Amount: Integer);\n";
    text += "var\n  I, Total: Integer;\n  Name: string;\nbegin\n";
    text += "  Total := 0;\n  for I := 0 to Count - 1 do\n  begin\n";
    text += "    if Items[I].Code = Code then\n    begin\n";
    text += "      Inc(Total, Amount); // counted once\n";
    text += "      Name := 'Batch ''" + n + "'' of ' + Items[I].Name;\n";
    text += "    end\n    else\n      Continue;\n  end;\n";
    text +=
        "  try\n    Log(Name, Total);\n  except\n    on E: Exception do Log(E.Message, -1);\n  "
        "end;\nend;\n\n";
  }
  text += "end.\n";
  return text;
}

double Ms(QElapsedTimer &clock) { return clock.nsecsElapsed() / 1e6; }

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const QStringList args = app.arguments();
  const int linesAt = int(args.indexOf(QStringLiteral("--lines")));
  const int routines =
      linesAt > 0 && linesAt + 1 < args.size() ? std::max(1, args[linesAt + 1].toInt() / 24) : 2400;
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/big.pas");
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
    file.write(BigUnit(routines));
  }

  QElapsedTimer openClock;
  openClock.start();
  FormatSettings settings;
  ProjectModel model;
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  OpenPath(ctx, path);
  PrinterHost printer;
  UnitListing listing(model, settings);
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  model.UnitHighlighted = true;
  const double openMs = Ms(openClock);

  PreviewOptions options;  // the main window's jobs: 100 % to 400 %
  QElapsedTimer clock;
  clock.start();
  PreviewWindow form(nullptr, printer, listing.Events(), options);
  form.BeginRun();
  form.show();
  QApplication::processEvents();
  form.firstPageBox->repaint();
  const double firstMs = Ms(clock);

  clock.restart();
  form.ShowLastPage();
  const double endMs = Ms(clock);
  const int pages = form.FinalPage;

  auto repaint = [&form](int rounds) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) form.firstPageBox->repaint();
    return Ms(timer) / rounds;
  };
  auto render = [&form](int rounds) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) form.RenderBox(1);
    return Ms(timer) / rounds;
  };
  form.GoToPage(pages / 2);
  const double repaint100 = repaint(20);
  const double render100 = render(20);
  form.ZoomIn();
  form.ZoomIn();
  form.ZoomIn();
  QApplication::processEvents();
  const double repaint338 = repaint(10);
  const double render338 = render(5);
  const QSize bigBox = form.firstPageBox->size();

  std::printf("preview of %lld lines, %d pages on %dx%d printer pixels\n",
              (long long)model.SourceLines.size(), pages, printer.metrics().PageWidth,
              printer.metrics().PageHeight);
  std::printf("unit opened:            %8.1f ms\n", openMs);
  std::printf("first page shown:       %8.1f ms\n", firstMs);
  std::printf("End (to page %d):     %8.1f ms   target < 500 ms\n", pages, endMs);
  std::printf("open + preview + End:   %8.1f ms   target < 3000 ms at 1,000,000 lines\n",
              openMs + firstMs + endMs);
  std::printf("repaint at 100%%:        %8.2f ms   target < 16 ms (whole box %.2f ms)\n",
              repaint100, render100);
  std::printf("repaint at 337.5%%:      %8.2f ms   (visible part; whole %dx%d box %.2f ms)\n",
              repaint338, bigBox.width(), bigBox.height(), render338);
  // With --shots DIR: pictures of the window at 100 % and with two pages.
  const int shots = int(app.arguments().indexOf(QStringLiteral("--shots")));
  if (shots > 0 && shots + 1 < app.arguments().size()) {
    const QString folder = app.arguments()[shots + 1];
    form.SetZoom(1.0f);
    form.GoToPage(1);
    form.GridBtnClick();
    QApplication::processEvents();
    form.grab().save(folder + QStringLiteral("/preview-100.png"));
    form.GridBtnClick();
    form.TwoPageBtnClick();
    form.GoToPage(2);
    QApplication::processEvents();
    form.grab().save(folder + QStringLiteral("/preview-two.png"));
  }
  form.hide();
  form.EndRun();
  return 0;
}
