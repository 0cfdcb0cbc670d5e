#include "print/PageInfo.h"

#include "print/PageCanvas.h"

namespace scrivane {

int ListingPageInfo::PageStart(int page) const {
  if (page < 1 || page > int(pageStart_.size())) return 0;
  return pageStart_[page - 1];
}

void ListingPageInfo::SetPageStart(int page, int position) {
  if (page < 1) return;
  if (page > int(pageStart_.size())) pageStart_.resize(page, 0);
  pageStart_[page - 1] = position;
}

void ReplayEarlierPages(ListingPageInfo &info, PageCanvas &canvas,
                        const std::function<void(ListingPageInfo &, PageCanvas &)> &pageHandler) {
  if (info.PageNumber <= info.KnownPages) return;
  info.SavedPage = info.PageNumber;
  const bool wasDrawing = info.Drawing;
  int lastPageSeen = 0;
  {
    CanvasModeGuard guard(canvas);
    // A handler that raises during the replay must not leave the record
    // saying "not drawing" for the next page run.
    struct RecordGuard {
      ListingPageInfo &info;
      bool drawing;
      int page;
      bool done = false;
      ~RecordGuard() {
        if (done) return;
        info.Drawing = drawing;
        info.PageNumber = page;
      }
    } recordGuard{info, wasDrawing, info.SavedPage};
    canvas.SetMeasureMode();
    info.Drawing = false;
    // Pages before the requested one; each run makes the next page known.
    for (int q = info.KnownPages; q < info.SavedPage && q <= info.KnownPages; ++q) {
      info.PageNumber = q;
      pageHandler(info, canvas);
      if (info.LastPage) {
        lastPageSeen = q;
        break;
      }
    }
    recordGuard.done = true;
  }
  info.Drawing = wasDrawing;
  // A page beyond the end of the document shows the last page instead.
  info.PageNumber = lastPageSeen ? lastPageSeen : info.SavedPage;
}

}  // namespace scrivane
