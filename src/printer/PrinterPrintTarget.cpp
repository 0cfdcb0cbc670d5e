#include "printer/PrinterPrintTarget.h"

#include <QFileInfo>

#include "platform/OutputGuard.h"

namespace scrivane {

PrinterPrintTarget::~PrinterPrintTarget() {
  if (painter_.isActive() || pdf_) abortDocument();
}

void PrinterPrintTarget::TurnSheets() {
  if (!landscape_) return;
  QPrinter &printer = host_.printer();
  restoreOrientation_ = printer.pageLayout().orientation();
  printer.setPageOrientation(QPageLayout::Landscape);
}

void PrinterPrintTarget::TurnSheetsBack() {
  if (restoreOrientation_) host_.printer().setPageOrientation(*restoreOrientation_);
  restoreOrientation_.reset();
}

bool PrinterPrintTarget::beginDocument(const QString &title) {
  QPrinter &printer = host_.printer();
  const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
  QString path = printer.outputFileName();
  if (toFile && path.isEmpty() && host_.ChooseOutputFile) {
    path = host_.ChooseOutputFile(title);
    if (!path.isEmpty()) printer.setOutputFileName(path);
    askedForFile_ = true;
  }
  if (toFile && path.isEmpty()) {
    error_ = QStringLiteral(
        "No printer is installed and no output file was chosen: nothing was printed.");
    return false;
  }
  if (toFile) {
    if (host_.ProtectedFiles) {
      error_ = RefuseOutputOverInput(path, host_.ProtectedFiles());
      if (!error_.isEmpty()) return false;
    }
    // The print dialog's file name follows the save dialog's rule.
    error_ = RefuseOutputTarget(path, false, ForceHint::Window);
    if (!error_.isEmpty()) return false;
    // Qt's own PDF output ignores write errors; PdfFile checks them.
    TurnSheets();
    pdf_ = std::make_unique<PdfFile>(path, printer.pageLayout(), printer.resolution(),
                                     host_.qtMeasurer());
    TurnSheetsBack();
    if (!pdf_->begin(title)) {
      error_ = pdf_->errorText();
      pdf_.reset();
      return false;
    }
    host_.LastPdfFolder = QFileInfo(path).absolutePath();
    host_.LastPdfFile = path;
    pdfPath_ = path;
    return true;
  }
  if (const QString refusal = QueueRefusal(printer.printerName()); !refusal.isEmpty()) {
    error_ = QStringLiteral("Cannot print on %1: %2.").arg(printer.printerName(), refusal);
    return false;
  }
  printer.setDocName(title);
  TurnSheets();
  if (!painter_.begin(&printer)) {
    TurnSheetsBack();
    error_ = QStringLiteral("The printer %1 cannot start the document.").arg(printer.printerName());
    host_.ReplacePrinter();
    return false;
  }
  surface_ = std::make_unique<QPainterSurface>(painter_, host_.qtMeasurer());
  return true;
}

void PrinterPrintTarget::newSheet() {
  if (pdf_) {
    pdf_->newPage();
    return;
  }
  if (surface_) surface_->flush();
  host_.printer().newPage();
}

bool PrinterPrintTarget::endDocument() {
  if (surface_) surface_->flush();
  surface_.reset();
  bool written = true;
  if (pdf_ && host_.ProtectedFiles) {
    // A book reads its forms (and include files) while its pages are made:
    // the output is checked against them again before it replaces anything.
    if (QString refusal = RefuseOutputOverInput(pdfPath_, host_.ProtectedFiles());
        !refusal.isEmpty()) {
      pdf_->abort();
      pdf_.reset();
      error_ = std::move(refusal);
      written = false;
    }
  }
  if (pdf_) {
    written = pdf_->finish();
    if (!written) error_ = pdf_->errorText();
    pdf_.reset();
  } else if (painter_.isActive()) {
    written = painter_.end();
    if (!written)
      error_ = QStringLiteral("The printer %1 could not finish the document.")
                   .arg(host_.printer().printerName());
    // The painter ends well whatever CUPS answered the job submitted then.
    if (const QString refusal = LastJobRefusal(); written && !refusal.isEmpty()) {
      error_ = QStringLiteral("The printer %1 refused the job: %2.")
                   .arg(host_.printer().printerName(), refusal);
      written = false;
    }
  }
  TurnSheetsBack();
  // A file asked for one document is not silently overwritten by the next.
  if (askedForFile_) host_.printer().setOutputFileName(QString());
  return written;
}

void PrinterPrintTarget::abortDocument() {
  surface_.reset();
  TurnSheetsBack();
  if (pdf_) {
    pdf_->abort();
    pdf_.reset();
    host_.printer().setOutputFileName(QString());
    return;
  }
  host_.printer().abort();
  if (painter_.isActive()) painter_.end();
  // An aborted QPrinter keeps its aborted state; the next run gets a new one.
  host_.ReplacePrinter();
}

}  // namespace scrivane
