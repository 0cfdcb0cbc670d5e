// Paginates a unit's listing to its last page in measure mode, as the print
// dialog's page range and the preview's last-page button do, and prints the
// time and the page count. Usage: listing_paginate FILE.pas [--ini PATH]
#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdio>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/UnitListing.h"
#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "print/PageCanvas.h"
#include "print/PdfPrintTarget.h"
#include "project/Readers.h"

using namespace scrivane;

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: listing_paginate FILE.pas [--ini PATH]\n");
    return 2;
  }
  const int ini = int(args.indexOf(QStringLiteral("--ini")));
  const FormatSettings settings =
      ini > 0 && ini + 1 < args.size() ? LoadFormatSettings(args[ini + 1]) : FormatSettings{};

  QElapsedTimer clock;
  clock.start();
  ProjectModel model;
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  OpenPath(ctx, args[1]);
  if (model.SourceLines.isEmpty()) {
    std::fprintf(stderr, "%s: nothing to list\n", qPrintable(args[1]));
    return 1;
  }
  const double readMs = clock.nsecsElapsed() / 1e6;

  PdfDevice device(PaperSize::A4);
  for (int round = 0; round < 2; ++round) {  // the second round runs with warm font caches
    UnitListing listing(model, settings);
    listing.ResetListingState();
    model.ListingLines = model.SourceLines;
    model.UnitHighlighted = true;
    clock.restart();
    PageInfoPtr info;
    listing.BeginPrint(info);
    PageCanvas canvas(device);
    canvas.SetMeasureMode();
    int page = 1;
    for (;; ++page) {
      info->PageNumber = page;
      listing.PrintPage(*info, canvas);
      if (info->LastPage) break;
    }
    listing.EndPrint(info);
    std::printf("%s: %lld lines, read %.1f ms, paginated %d pages in %.1f ms (%s caches)\n",
                qPrintable(args[1]), (long long)model.SourceLines.size(), readMs, page,
                clock.nsecsElapsed() / 1e6, round == 0 ? "cold" : "warm");
  }
  return 0;
}
