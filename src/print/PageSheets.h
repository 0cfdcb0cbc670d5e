#pragma once
// Two or four pages on one sheet, as a2ps prints by default: pages are laid
// out at the chosen paper's size as always, then each is drawn scaled into
// its place on the sheet; two side by side on a landscape sheet, four in two
// rows on a portrait one.
#include <QList>
#include <QSize>

#include "print/PageDevice.h"
#include "print/PrintRunner.h"

namespace scrivane {

// 1, 2 or 4; any other count is read as 1.
int PagesPerSheetOrOne(int pagesPerSheet);
// Whether the sheet is turned: two portrait pages side by side need it.
bool SheetIsLandscape(int pagesPerSheet);
// Where each page of a sheet goes, in the order pages fill it (left to
// right, then top to bottom). page: the portrait page as laid out, device
// pixels; the sheet is the same paper, turned when SheetIsLandscape.
QList<PagePlacement> PlacePagesOnSheet(int pagesPerSheet, QSize page);

// The sheets of a document as pages of their own, for a view that pages
// through sheets (the preview): page s of the result draws pages
// (s - 1) * perSheet + 1 on, each placed on the canvas's surface where
// PlacePagesOnSheet puts it, and is the last when one of them is. The pages
// are laid out on the canvas's device, the page; what shows the sheet maps
// the turned sheet (SheetIsLandscape) onto the screen.
PrintEvents SheetsOf(const PrintEvents &pages, int perSheet, QSize page);

// Puts the pages printed through it on the sheets of an inner target, whose
// sheets must already be turned as SheetIsLandscape says. Pages are laid
// out for the inner device's metrics as they were when this was made.
class SheetTarget : public PrintTarget {
 public:
  SheetTarget(PrintTarget &inner, int pagesPerSheet);
  PageDevice &device() override { return page_; }
  bool beginDocument(const QString &title) override;
  QString errorText() const override { return inner_.errorText(); }
  DrawSurface &surface() override;
  void newSheet() override;
  bool endDocument() override { return inner_.endDocument(); }
  void abortDocument() override { inner_.abortDocument(); }

 private:
  class PageOfSheet : public PageDevice {
   public:
    explicit PageOfSheet(PageDevice &sheet) : sheet_(sheet), metrics_(sheet.metrics()) {}
    DeviceMetrics metrics() const override { return metrics_; }
    TextMeasurer &measurer() override { return sheet_.measurer(); }

   private:
    PageDevice &sheet_;
    DeviceMetrics metrics_;
  };
  PrintTarget &inner_;
  PageOfSheet page_;
  QList<PagePlacement> places_;
  int slot_ = 0;         // the place on the sheet the current page takes
  bool placed_ = false;  // the inner surface was told about this page
};

}  // namespace scrivane
