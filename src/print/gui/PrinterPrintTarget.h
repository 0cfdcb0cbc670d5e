#pragma once
// Prints on the program's current printer (or its PDF output).
#include <QPainter>
#include <memory>

#include "print/PrintRunner.h"
#include "print/QPainterSurface.h"
#include "print/gui/PrinterHost.h"

namespace scrivane {

class PrinterPrintTarget : public PrintTarget {
 public:
  explicit PrinterPrintTarget(PrinterHost &host) : host_(host) {}
  ~PrinterPrintTarget() override;

  PageDevice &device() override { return host_; }
  bool beginDocument(const QString &title) override;
  QString errorText() const override { return error_; }
  DrawSurface &surface() override { return *surface_; }
  void newSheet() override;
  void endDocument() override;
  void abortDocument() override;

 private:
  PrinterHost &host_;
  QString error_;
  bool askedForFile_ = false;
  QPainter painter_;
  std::unique_ptr<QPainterSurface> surface_;
};

}  // namespace scrivane
