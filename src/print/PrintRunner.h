#pragma once
// The print run: begin event, pagination of the pages before the range in
// measure mode, the range printed one sheet per page, end event. The same
// steps serve the print dialog, direct printing, the command-line tool and
// the tests; only the target (printer, PDF file, recorder) and the progress
// display (status window or nothing) differ.
#include <QString>
#include <climits>

#include "print/PageInfo.h"
#include "print/PrintException.h"

namespace scrivane {

class PageDevice;
class DrawSurface;

class PrintTarget {
 public:
  virtual ~PrintTarget() = default;
  virtual PageDevice &device() = 0;
  // Opens the document under a title; false when nothing can be printed,
  // with the reason in errorText().
  virtual bool beginDocument(const QString &title) = 0;
  virtual QString errorText() const = 0;
  // The current sheet; valid between beginDocument and end/abort, and may
  // change with every newSheet.
  virtual DrawSurface &surface() = 0;
  virtual void newSheet() = 0;
  // Completes the document; false, with the reason in errorText(), when it
  // could not be written whole (a full disk, a failed close).
  virtual bool endDocument() = 0;
  virtual void abortDocument() = 0;
};

class PrintProgress {
 public:
  virtual ~PrintProgress() = default;
  virtual void SetJobText(const QString &text) = 0;
  virtual void SetPageText(int page) = 0;
  // Serves pending window messages, and with them the Cancel button.
  virtual void ProcessEvents() = 0;
  virtual bool Cancelled() const = 0;
  virtual void Finish() {}  // the run is over (also after an error)
};

struct PageRange {
  int FromPage = 1;
  int ToPage = INT_MAX;  // no upper bound: up to the page that reports LastPage
};

struct PrintOutcome {
  int PagesPrinted = 0;
  bool Cancelled = false;
  // The document ended before FromPage: nothing was printed. LastPage is then
  // the document's last page.
  bool RangeBeyondEnd = false;
  int LastPage = 0;
};

// Throws PrintException for a missing event (before anything is printed for
// OnBeginPrint and OnPrintPage, after the document has ended for
// OnEndPrint), when the target cannot begin the document, and when it
// cannot complete it (after OnEndPrint has run). An exception
// from a page handler aborts the document, finishes the progress display and
// is passed on; OnEndPrint is not called then.
PrintOutcome RunPrint(const PrintEvents &events, PrintTarget &target, PageRange range,
                      PrintProgress *progress = nullptr);

}  // namespace scrivane
