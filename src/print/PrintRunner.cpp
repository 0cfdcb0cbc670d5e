#include "print/PrintRunner.h"

#include "print/PageCanvas.h"

namespace scrivane {

namespace {
// Finishes the progress display on every way out of the run.
class FinishGuard {
 public:
  explicit FinishGuard(PrintProgress *progress) : progress_(progress) {}
  ~FinishGuard() {
    if (progress_) progress_->Finish();
  }

 private:
  PrintProgress *progress_;
};

void SetJobText(PrintProgress *progress, const QString &text) {
  if (progress) progress->SetJobText(text);
}
}  // namespace

PrintOutcome RunPrint(const PrintEvents &events, PrintTarget &target, PageRange range,
                      PrintProgress *progress) {
  FinishGuard finish(progress);
  if (!events.OnBeginPrint) throw PrintException(kBeginPrintNotAssigned);
  if (!events.OnPrintPage) throw PrintException(kPrintPageNotAssigned);
  const int fromPage = std::max(1, range.FromPage);
  const int toPage = std::max(fromPage, range.ToPage);

  SetJobText(progress, QStringLiteral("Initializing"));
  PageInfoPtr info;
  events.OnBeginPrint(info);
  if (!info) info = std::make_unique<PageInfo>();  // a handler that forgot its record
  info->InOrder = true;

  PrintOutcome outcome;
  QString writeFailure;
  // Pagination: the pages before the range are laid out, not printed, so
  // that the first printed page starts where it would in a full print.
  if (fromPage > 1) {
    PageCanvas measureCanvas(target.device());
    measureCanvas.SetMeasureMode();
    for (int p = 1; p < fromPage; ++p) {
      SetJobText(progress, QStringLiteral("Paginating Page %1").arg(p));
      info->PageNumber = p;
      info->LastPage = false;
      events.OnPrintPage(*info, measureCanvas);
      if (info->LastPage) {
        outcome.RangeBeyondEnd = true;
        outcome.LastPage = info->PageNumber;
        break;
      }
    }
  }

  if (!outcome.RangeBeyondEnd) {
    if (!target.beginDocument(info->Title)) throw PrintException(target.errorText().toStdString());
    bool aborted = false;
    try {
      PageCanvas printCanvas(target.device());
      printCanvas.SetPrinterMode(&target.surface());
      printCanvas.ReadDeviceMetrics();
      SetJobText(progress, info->Title);
      for (int p = fromPage;; ++p) {
        if (progress) {
          progress->ProcessEvents();
          if (progress->Cancelled()) {
            target.abortDocument();
            aborted = true;
            outcome.Cancelled = true;
            break;
          }
          progress->SetPageText(p);
        }
        info->PageNumber = p;
        info->LastPage = false;
        events.OnPrintPage(*info, printCanvas);
        ++outcome.PagesPrinted;
        outcome.LastPage = info->PageNumber;
        if (info->LastPage || p >= toPage) break;
        target.newSheet();
        printCanvas.SetPrinterMode(&target.surface());
      }
    } catch (...) {
      target.abortDocument();
      throw;
    }
    if (!aborted && events.OnLaidOut) events.OnLaidOut();
    if (!aborted && !target.endDocument()) writeFailure = target.errorText();
  }

  if (!events.OnEndPrint) throw PrintException(kEndPrintNotAssigned);
  events.OnEndPrint(info);
  if (!writeFailure.isEmpty()) throw PrintException(writeFailure.toStdString());
  return outcome;
}

}  // namespace scrivane
