#pragma once
// Headless printing to a PDF file at 600 dpi: the whole sheet is the page,
// without margins, and coordinates start at the paper corner.
#include <QString>
#include <functional>
#include <memory>

#include "print/PaperChoice.h"
#include "print/PdfFile.h"
#include "print/PrintRunner.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

class PdfDevice : public PageDevice {
 public:
  explicit PdfDevice(PaperSize paper = PaperSize::A4, int dotsPerInch = 600);
  DeviceMetrics metrics() const override { return metrics_; }
  TextMeasurer &measurer() override { return measurer_; }
  QtTextMeasurer &qtMeasurer() { return measurer_; }
  PaperSize paper() const { return paper_; }

 private:
  PaperSize paper_;
  DeviceMetrics metrics_;
  QtTextMeasurer measurer_;
};

class PdfPrintTarget : public PrintTarget {
 public:
  PdfPrintTarget(QString path, PaperSize paper = PaperSize::A4);
  // Sheets turned to landscape (two pages a sheet); the device keeps the
  // portrait page the layout is made for.
  void setLandscapeSheets(bool landscape) { landscape_ = landscape; }
  // Asked just before the written file replaces the target: a non-empty
  // answer aborts the document with that text as its error. Files read
  // while the pages were made (a book's forms and include files) are known
  // only then.
  void setCommitCheck(std::function<QString()> check) { commitCheck_ = std::move(check); }
  ~PdfPrintTarget() override;

  PageDevice &device() override { return device_; }
  bool beginDocument(const QString &title) override;
  QString errorText() const override { return error_; }
  DrawSurface &surface() override { return file_->surface(); }
  void newSheet() override;
  bool endDocument() override;
  // An aborted document leaves the output file as it was.
  void abortDocument() override;

 private:
  QString path_;
  PdfDevice device_;
  QString error_;
  bool landscape_ = false;
  std::function<QString()> commitCheck_;
  std::unique_ptr<PdfFile> file_;
};

}  // namespace scrivane
