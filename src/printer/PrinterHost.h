#pragma once
// The program's one current printer: a QPrinter at 600 dpi (Qt's high
// resolution default is 1200) that paints the whole sheet from the paper
// corner. Without a print server it is PDF output.
#include <QPrinter>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "print/PageDevice.h"
#include "print/QtTextMeasurer.h"

class QWidget;

namespace scrivane {

class PrinterHost : public PageDevice {
 public:
  static constexpr int kDotsPerInch = 600;
  PrinterHost();
  ~PrinterHost() override;

  // Valid until the next ReplacePrinter; do not keep the reference across runs.
  QPrinter &printer() { return *printer_; }
  // A QPrinter whose begin failed stays "active" and refuses changes: make a
  // new one with the same printer and page layout (no output file).
  void ReplacePrinter();
  bool HasPrinters() const;

  // Asked for a PDF file name when the printer writes PDF and no file was
  // chosen yet (no print server, direct print); an empty answer prints nothing.
  std::function<QString(const QString &documentTitle)> ChooseOutputFile;
  // The files a PDF must never be written over (those of the opened
  // project); empty: no guard.
  std::function<QStringList()> ProtectedFiles;
  // The PDF file the print dialog proposes (a print from the preview).
  std::function<QString()> SuggestOutputFile;
  // Answers the system print dialog in place of the user (tests); empty:
  // the dialog is shown. True when the print goes ahead.
  std::function<bool(QPrinter &printer)> AnswerPrintDialog;
  // Folder of the last PDF file begun, whichever command wrote it.
  QString LastPdfFolder;
  // The last PDF file begun, for the status line's report.
  QString LastPdfFile;

  // Paper and orientation of the current printer; true when accepted.
  bool PrinterSetup(QWidget *parent);

  DeviceMetrics metrics() const override;
  TextMeasurer &measurer() override;
  QtTextMeasurer &qtMeasurer();

 private:
  static std::unique_ptr<QPrinter> MakePrinter();
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QtTextMeasurer> measurer_;
  // Measurers of earlier resolutions: a canvas may still hold one.
  std::vector<std::unique_ptr<QtTextMeasurer>> retired_;
};

// Why the CUPS queue `name` cannot take a job now ("it is not accepting
// jobs: <the reason its administrator gave>"); empty when it can, or when
// the print server cannot tell.
QString QueueRefusal(const QString &name);
// CUPS's answer to the last job submitted from this thread, when it was a
// refusal ("server-error-not-accepting-jobs"); empty when the job was taken.
// Qt's print engine submits the job when its painter ends and drops this
// answer.
QString LastJobRefusal();

// Printer-side metrics of a QPrinter: physical sheet, printable area from
// the device's minimum margins, resolution.
DeviceMetrics MetricsOf(const QPrinter &printer);

}  // namespace scrivane
