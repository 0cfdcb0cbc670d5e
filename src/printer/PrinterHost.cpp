#include "printer/PrinterHost.h"

#include <cups/cups.h>

#include <QPageSetupDialog>
#include <QPrinterInfo>

#include "print/PaperChoice.h"

namespace scrivane {

QString QueueRefusal(const QString &name) {
  const QByteArray queue = name.toUtf8();
  cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr);
  if (!dest) return QString();
  QString refusal;
  const char *accepting =
      cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
  if (accepting && (qstricmp(accepting, "false") == 0 || qstricmp(accepting, "0") == 0)) {
    refusal = QStringLiteral("it is not accepting jobs");
    const char *why = cupsGetOption("printer-state-message", dest->num_options, dest->options);
    if (why && *why) refusal += QStringLiteral(" (%1)").arg(QString::fromUtf8(why));
  }
  cupsFreeDests(1, dest);
  return refusal;
}

QString LastJobRefusal() {
  const ipp_status_t status = cupsLastError();
  if (status <= IPP_STATUS_OK_EVENTS_COMPLETE) return QString();
  const char *text = cupsLastErrorString();
  return text && *text ? QString::fromUtf8(text) : QString::fromUtf8(ippErrorString(status));
}

std::unique_ptr<QPrinter> PrinterHost::MakePrinter() {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setResolution(kDotsPerInch);
  printer->setFullPage(true);
  // A real printer starts with its own default paper, the one its set-up
  // dialog shows (Qt itself starts every printer on A4); PDF output takes
  // the paper the system names (PAPERSIZE, /etc/papersize, LC_PAPER).
  QString queuePaper;
  if (printer->outputFormat() == QPrinter::NativeFormat) {
    const QPageSize ownPaper = QPrinterInfo(*printer).defaultPageSize();
    if (ownPaper.isValid()) queuePaper = ownPaper.key();
  }
  printer->setPageSize(
      QPageSize(PageSizeIdOf(ChoosePaper(SystemPaperInputs(QString(), queuePaper)).paper)));
  return printer;
}

PrinterHost::PrinterHost() : printer_(MakePrinter()) {}

PrinterHost::~PrinterHost() = default;

void PrinterHost::ReplacePrinter() {
  auto fresh = MakePrinter();
  if (printer_) {
    if (printer_->outputFormat() == QPrinter::NativeFormat && !printer_->printerName().isEmpty())
      fresh->setPrinterName(printer_->printerName());
    fresh->setPageLayout(printer_->pageLayout());
    fresh->setFullPage(true);
  }
  printer_ = std::move(fresh);
}

bool PrinterHost::HasPrinters() const { return !QPrinterInfo::availablePrinters().isEmpty(); }

bool PrinterHost::PrinterSetup(QWidget *parent) {
  QPageSetupDialog dialog(printer_.get(), parent);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  // The dialog may hand back margins; we always paint the whole sheet.
  printer_->setFullPage(true);
  return accepted;
}

DeviceMetrics MetricsOf(const QPrinter &printer) {
  DeviceMetrics m;
  const int dpi = printer.resolution();
  m.PixelsPerInchX = dpi;
  m.PixelsPerInchY = dpi;
  const QPageLayout layout = printer.pageLayout();
  const QRect paper = layout.fullRectPixels(dpi);
  m.PageWidth = paper.width();
  m.PageHeight = paper.height();
  QPageLayout minimum = layout;
  minimum.setMode(QPageLayout::FullPageMode);
  minimum.setMargins(layout.minimumMargins());
  const QMargins strips = minimum.marginsPixels(dpi);
  m.OffsetX = strips.left();
  m.OffsetY = strips.top();
  m.PrintableRight = m.PageWidth - strips.right();
  m.PrintableBottom = m.PageHeight - strips.bottom();
  return m;
}

DeviceMetrics PrinterHost::metrics() const { return MetricsOf(*printer_); }

QtTextMeasurer &PrinterHost::qtMeasurer() {
  if (!measurer_ || measurer_->dotsPerInch() != printer_->resolution()) {
    if (measurer_) retired_.push_back(std::move(measurer_));
    measurer_ = std::make_unique<QtTextMeasurer>(printer_->resolution());
  }
  return *measurer_;
}

TextMeasurer &PrinterHost::measurer() { return qtMeasurer(); }

}  // namespace scrivane
