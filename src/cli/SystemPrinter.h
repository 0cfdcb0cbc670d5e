#pragma once
// Printing on a CUPS queue (-P). Qt's print support and the widgets under it
// take longer to load than a small unit takes to print, so scrivane-print
// is built without them and hands -P over to scrivane-print-cups, the same
// program built with them.
#include <QString>
#include <QTextStream>
#include <memory>
#include <optional>

#include "cli/Options.h"
#include "print/PageDevice.h"
#include "print/PaperChoice.h"
#include "print/PrintRunner.h"

namespace scrivane::cli {

// A queue set up for one print: its paper, sides and copies.
class SystemPrinter {
 public:
  virtual ~SystemPrinter() = default;
  // What pages are laid out for.
  virtual PageDevice &device() = 0;
  // Where the pages go; landscapeSheets: two pages a sheet.
  virtual std::unique_ptr<PrintTarget> MakeTarget(bool landscapeSheets) = 0;
};

// The queue options.printer names, its paper chosen into `paper`; null, with
// *error set, when there is no such queue.
std::unique_ptr<SystemPrinter> OpenSystemPrinter(const Options &options, PaperSize &paper,
                                                 QString *error);

// Called with a print on a queue before anything else is set up: in the
// program built without print support, runs scrivane-print-cups in its place
// and gives back an exit code only when that failed; in the other, nullopt.
std::optional<int> HandOverPrinterPrint(char **argv, QTextStream &err);

}  // namespace scrivane::cli
