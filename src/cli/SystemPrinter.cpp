// scrivane-print-cups: printing on a queue through QPrinter.
#include "cli/SystemPrinter.h"

#include <QPrinterInfo>

#include "printer/PrinterHost.h"
#include "printer/PrinterPrintTarget.h"

namespace scrivane::cli {
namespace {

class QueuePrinter : public SystemPrinter {
 public:
  PageDevice &device() override { return host; }
  std::unique_ptr<PrintTarget> MakeTarget(bool landscapeSheets) override {
    auto target = std::make_unique<PrinterPrintTarget>(host);
    target->setLandscapeSheets(landscapeSheets);
    return target;
  }
  PrinterHost host;
};

}  // namespace

std::unique_ptr<SystemPrinter> OpenSystemPrinter(const Options &options, PaperSize &paper,
                                                 QString *error) {
  if (!QPrinterInfo::availablePrinterNames().contains(options.printer)) {
    *error = options.printer + QStringLiteral(": no such printer (lpstat -p lists the printers)");
    return nullptr;
  }
  auto printer = std::make_unique<QueuePrinter>();
  QPrinter &queue = printer->host.printer();
  queue.setPrinterName(options.printer);
  const QPageSize printerPaper = QPrinterInfo::printerInfo(options.printer).defaultPageSize();
  paper = ChoosePaper(SystemPaperInputs(options.paper,
                                        printerPaper.isValid() ? printerPaper.key() : QString()))
              .paper;
  queue.setPageSize(QPageSize(PageSizeIdOf(paper)));
  queue.setFullPage(true);
  if (!options.duplex.isEmpty())
    queue.setDuplex(options.duplex == u"long" ? QPrinter::DuplexLongSide
                                              : QPrinter::DuplexShortSide);
  queue.setCopyCount(options.copies);
  return printer;
}

std::optional<int> HandOverPrinterPrint(char **, QTextStream &) { return std::nullopt; }

}  // namespace scrivane::cli
