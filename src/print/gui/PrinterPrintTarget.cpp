#include "print/gui/PrinterPrintTarget.h"

#include <QFile>
#include <QFileInfo>

namespace scrivane {

PrinterPrintTarget::~PrinterPrintTarget() {
  if (painter_.isActive()) abortDocument();
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
    error_ = QStringLiteral("No printer is installed and no output file was chosen: nothing was printed.");
    return false;
  }
  if (toFile) {
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
      error_ = QStringLiteral("Cannot write the file %1: %2")
                   .arg(QFileInfo(path).absoluteFilePath(), probe.errorString());
      return false;
    }
  }
  printer.setDocName(title);
  if (!painter_.begin(&printer)) {
    error_ = toFile ? QStringLiteral("Cannot write the file %1.").arg(QFileInfo(path).absoluteFilePath())
                    : QStringLiteral("The printer %1 cannot start the document.").arg(printer.printerName());
    host_.ReplacePrinter();
    return false;
  }
  surface_ = std::make_unique<QPainterSurface>(painter_, host_.qtMeasurer());
  return true;
}

void PrinterPrintTarget::newSheet() { host_.printer().newPage(); }

void PrinterPrintTarget::endDocument() {
  surface_.reset();
  if (painter_.isActive()) painter_.end();
  // A file asked for one document is not silently overwritten by the next.
  if (askedForFile_) host_.printer().setOutputFileName(QString());
}

void PrinterPrintTarget::abortDocument() {
  QPrinter &printer = host_.printer();
  const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
  const QString path = printer.outputFileName();
  surface_.reset();
  printer.abort();
  if (painter_.isActive()) painter_.end();
  if (toFile && !path.isEmpty()) QFile::remove(path);
  // An aborted QPrinter keeps its aborted state; the next run gets a new one.
  host_.ReplacePrinter();
}

}  // namespace scrivane
