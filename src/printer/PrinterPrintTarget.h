#pragma once
// Prints on the program's current printer, or, when it writes PDF, to the
// chosen file through PdfFile (a temporary file renamed only once the whole
// document was written).
#include <QPainter>
#include <memory>
#include <optional>

#include "print/PdfFile.h"
#include "print/PrintRunner.h"
#include "print/QPainterSurface.h"
#include "printer/PrinterHost.h"

namespace scrivane {

class PrinterPrintTarget : public PrintTarget {
 public:
  explicit PrinterPrintTarget(PrinterHost &host) : host_(host) {}
  ~PrinterPrintTarget() override;
  // Turns the sheets to landscape for the length of the document (two pages
  // a sheet); the printer's own orientation comes back at its end.
  void setLandscapeSheets(bool landscape) { landscape_ = landscape; }

  PageDevice &device() override { return host_; }
  bool beginDocument(const QString &title) override;
  QString errorText() const override { return error_; }
  DrawSurface &surface() override {
    return pdf_ ? pdf_->surface() : static_cast<DrawSurface &>(*surface_);
  }
  void newSheet() override;
  bool endDocument() override;
  void abortDocument() override;

 private:
  PrinterHost &host_;
  QString error_;
  bool askedForFile_ = false;
  bool landscape_ = false;
  std::optional<QPageLayout::Orientation> restoreOrientation_;
  void TurnSheets();
  void TurnSheetsBack();
  QPainter painter_;
  std::unique_ptr<PdfFile> pdf_;  // set while a PDF document is written
  QString pdfPath_;
  std::unique_ptr<QPainterSurface> surface_;  // set while a printer document is drawn
};

}  // namespace scrivane
