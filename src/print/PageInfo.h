#pragma once
// The page record a print job hands to its page events, and the events.
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "print/PrintException.h"

namespace scrivane {

class PageCanvas;

struct PageInfo {
  virtual ~PageInfo() = default;
  int PageNumber = 1;     // page to draw, from 1
  bool LastPage = false;  // set by the page event: the page just drawn is the last
  QString Title;          // document name for the printer and the status window
  // Set by a print run: pages are asked for once each, in order, so what a
  // page starts from may be let go once the page has started. A preview
  // goes back and forth and leaves it false.
  bool InOrder = false;
};

// The listings' record: where every page starts, so that any page can be
// produced again from its start. Grows with the document (no page limit).
struct ListingPageInfo : PageInfo {
  int KnownPages = 1;   // highest page whose start is known
  bool Drawing = true;  // false while earlier pages are replayed
  int SavedPage = 0;    // the requested page, kept during a replay

  // Input position (for example a line index) where page p (from 1) starts;
  // 0 for a page not recorded yet.
  int PageStart(int page) const;
  void SetPageStart(int page, int position);

 private:
  std::vector<int> pageStart_;
};

using PageInfoPtr = std::unique_ptr<PageInfo>;
using BeginPrintEvent = std::function<void(PageInfoPtr &Info)>;
using PrintPageEvent = std::function<void(PageInfo &Info, PageCanvas &SCanvas)>;
using EndPrintEvent = std::function<void(PageInfoPtr &Info)>;

struct PrintEvents {
  BeginPrintEvent OnBeginPrint;
  PrintPageEvent OnPrintPage;
  EndPrintEvent OnEndPrint;
  // Optional: the last page is laid out and the output is not finished
  // yet. What only the layout needed can go before the output's end (a
  // PDF's outline and cross-reference stream) is made.
  std::function<void()> OnLaidOut;
};

// The replay rule, written once for every listing: when the requested page
// lies beyond the known pages, every page from the known ones up to it is
// laid out first on the same canvas switched to measure mode (so nothing is
// drawn), with Drawing false; then the canvas mode, Drawing and PageNumber
// are restored and the caller goes on with the requested page. When the
// document ends before the requested page, PageNumber is set to its last page.
void ReplayEarlierPages(ListingPageInfo &info, PageCanvas &canvas,
                        const std::function<void(ListingPageInfo &, PageCanvas &)> &pageHandler);

}  // namespace scrivane
