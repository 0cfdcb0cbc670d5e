#include "print/gui/PrintPreview.h"

#include <QMessageBox>
#include <QPrintDialog>

#include "print/PageSheets.h"
#include "print/gui/PrintStatusForm.h"
#include "printer/PrinterHost.h"
#include "printer/PrinterPrintTarget.h"

namespace scrivane {

namespace {
// The page count is unknown when the dialog shows; any document fits below.
constexpr int kHighestSelectablePage = 99999;

class StatusWindowSlot {
 public:
  StatusWindowSlot(PrintStatusWindow *&slot, PrintStatusWindow *form) : slot_(slot) {
    slot_ = form;
  }
  ~StatusWindowSlot() { slot_ = nullptr; }

 private:
  PrintStatusWindow *&slot_;
};
}  // namespace

PrintJob::PrintJob(PrinterHost &printer, QWidget *parent) : printer_(printer), parent_(parent) {}

PrintOutcome PrintJob::Print(bool directPrint) {
  PageRange range;
  if (!directPrint) {
    QPrinter &printer = printer_.printer();
    // The dialog proposes the same PDF file as the print menu would.
    if (printer.outputFormat() == QPrinter::PdfFormat && printer_.SuggestOutputFile)
      printer.setOutputFileName(printer_.SuggestOutputFile());
    printer.setFromTo(1, kHighestSelectablePage);
    if (printer_.AnswerPrintDialog) {
      if (!printer_.AnswerPrintDialog(printer)) return {};
    } else {
      QPrintDialog dialog(&printer, parent_);
      dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
      dialog.setMinMax(1, kHighestSelectablePage);
      if (dialog.exec() != QDialog::Accepted) return {};
    }
    printer.setResolution(PrinterHost::kDotsPerInch);
    printer.setFullPage(true);
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
      range.FromPage = printer.fromPage();
      range.ToPage = printer.toPage() > 0 ? printer.toPage() : INT_MAX;
    }
  }
  if (!OnBeginPrint) throw PrintException(kBeginPrintNotAssigned);

  PrintStatusWindow status(parent_, PrintCancelled);
  StatusWindowSlot slot(StatusWindow, &status);
  status.show();
  const int perSheet = PagesPerSheetOrOne(PagesPerSheet ? *PagesPerSheet : 1);
  PrinterPrintTarget printerTarget(printer_);
  printerTarget.setLandscapeSheets(SheetIsLandscape(perSheet));
  SheetTarget sheets(printerTarget, perSheet);
  PrintTarget &target = perSheet > 1 ? static_cast<PrintTarget &>(sheets) : printerTarget;
  const PrintOutcome outcome = RunPrint(Events(), target, range, &status);
  if (outcome.RangeBeyondEnd)
    QMessageBox::information(parent_, Title,
                             QStringLiteral("Nothing was printed: the document has only %1 pages.")
                                 .arg(outcome.LastPage));
  return outcome;
}

void PrintWithStatusWindow(
    PrinterHost &printer, QWidget *parent, bool *printCancelled,
    const std::function<void(PrintTarget &target, PrintProgress &progress)> &print,
    int pagesPerSheet) {
  PrintStatusWindow status(parent, printCancelled);
  status.show();
  const int perSheet = PagesPerSheetOrOne(pagesPerSheet);
  PrinterPrintTarget printerTarget(printer);
  printerTarget.setLandscapeSheets(SheetIsLandscape(perSheet));
  SheetTarget sheets(printerTarget, perSheet);
  print(perSheet > 1 ? static_cast<PrintTarget &>(sheets) : printerTarget, status);
}

PreviewResult PrintJob::ShowPreview(int measure, bool indexAvailable) {
  PreviewOptions options;
  options.MinZoom = ZoomOptions.MinFactor();
  options.MaxZoom = ZoomOptions.MaxFactor();
  options.ZoomFactor = ZoomOptions.StepFactor();
  options.CurrentPage = CurrentPage;
  options.GridColor = GridColor;
  options.GridWidth = GridWidth;
  options.Caption = Title;
  options.Measure = measure;
  options.IndexAvailable = indexAvailable;
  options.PagesPerSheet = PagesPerSheetOrOne(PagesPerSheet ? *PagesPerSheet : 1);
  const PreviewResult result = RunPreview(parent_, printer_, Events(), options);
  if (result.PrintRequested) Print(DirectPrint && *DirectPrint);
  return result;
}

}  // namespace scrivane
