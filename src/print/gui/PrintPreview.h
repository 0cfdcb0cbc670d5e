#pragma once
// A print job: drives a document made of page events without knowing what
// is on the pages; prints it (with or without the print dialog) or shows it
// in the preview window.
#include <QString>
#include <functional>

#include "print/PageInfo.h"
#include "print/PrintRunner.h"
#include "print/ZoomOptions.h"
#include "print/gui/PreviewForm.h"

class QWidget;

namespace scrivane {

class PrinterHost;
class PrintStatusWindow;

// Runs `print` on the current printer (or the PDF file it writes) with the
// print status window shown over the whole run, as a job's Print does for
// one document; printCancelled (may be null) is the main window's flag.
// pagesPerSheet: 2 or 4 put that many pages on each sheet.
void PrintWithStatusWindow(
    PrinterHost &printer, QWidget *parent, bool *printCancelled,
    const std::function<void(PrintTarget &target, PrintProgress &progress)> &print,
    int pagesPerSheet = 1);

class PrintJob {
 public:
  // Neither argument is owned; the printer host outlives the job.
  explicit PrintJob(PrinterHost &printer, QWidget *parent = nullptr);

  BeginPrintEvent OnBeginPrint;
  PrintPageEvent OnPrintPage;
  EndPrintEvent OnEndPrint;
  ZoomLimits ZoomOptions;
  int CurrentPage = 1;
  ColorRef GridColor = 0xC0C0C0;
  int GridWidth = 1;
  QString Title = QStringLiteral("Print Preview");

  // The main window's flags; either may be null.
  bool *DirectPrint = nullptr;     // read by ShowPreview's print afterwards
  bool *PrintCancelled = nullptr;  // written by the status window
  // Pages a printed sheet holds (1, 2 or 4), read at each print: the
  // Format dialog's choice. Null: one.
  const int *PagesPerSheet = nullptr;

  PrintEvents Events() const { return {OnBeginPrint, OnPrintPage, OnEndPrint}; }

  // With the print dialog (printer, page range) unless directPrint. Returns
  // what was printed; a cancelled dialog prints nothing and runs no event.
  // Throws PrintException (missing event, nothing can be printed) and passes
  // on whatever a page handler raises, after the document was aborted and the
  // status window closed: the caller shows the message.
  PrintOutcome Print(bool directPrint);

  // Runs the preview window; prints afterwards when its Print button was
  // pressed (directly when *DirectPrint is set).
  PreviewResult ShowPreview(int measure = 0, bool indexAvailable = false);

  PrintStatusWindow *StatusWindow = nullptr;  // during a print run only

 private:
  PrinterHost &printer_;
  QWidget *parent_;
};

}  // namespace scrivane
