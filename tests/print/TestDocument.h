#pragma once
// Documents for the print tests, written the way the listings write theirs:
// a page record with page starts, the replay rule at the start of a page,
// lines placed by measured heights.
#include <QByteArray>
#include <QList>
#include <QString>

#include "print/PageCanvas.h"
#include "print/PageInfo.h"

namespace printtest {

// N pages; page p shows "Page p" at (600 + 10 p, 450) and one line at the
// foot. Counts how often each event ran.
struct NumberedDocument {
  int pages = 3;
  int begins = 0, ends = 0;
  QList<int> pagesRun;                // page numbers in the order they ran
  QList<scrivane::CanvasMode> modes;  // canvas mode of each run
  int throwOnPage = 0;                // raise a runtime_error on this page

  scrivane::PrintEvents events();
};

// Input lines of mixed font sizes flowed onto pages by measured height,
// following the replay rule, so any page can be drawn first.
struct FlowDocument {
  QList<QByteArray> lines;
  QList<int> sizes;  // point size of each line
  int bottomY = 1500;

  FlowDocument(int lineCount);
  void PrintPage(scrivane::ListingPageInfo &info, scrivane::PageCanvas &canvas);
  scrivane::PrintEvents events();
};

}  // namespace printtest
