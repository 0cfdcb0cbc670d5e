#include "print/PageSheets.h"

#include <algorithm>

#include "print/PageCanvas.h"

namespace scrivane {

int PagesPerSheetOrOne(int pagesPerSheet) {
  return pagesPerSheet == 2 || pagesPerSheet == 4 ? pagesPerSheet : 1;
}

bool SheetIsLandscape(int pagesPerSheet) { return PagesPerSheetOrOne(pagesPerSheet) == 2; }

QList<PagePlacement> PlacePagesOnSheet(int pagesPerSheet, QSize page) {
  const int count = PagesPerSheetOrOne(pagesPerSheet);
  const double width = page.width(), height = page.height();
  if (count == 1 || width <= 0 || height <= 0)
    return {PagePlacement{1.0, 0, 0, page.width(), page.height()}};
  const int columns = 2, rows = count / 2;
  const QSizeF sheet = SheetIsLandscape(count) ? QSizeF(height, width) : QSizeF(width, height);
  const double cellWidth = sheet.width() / columns, cellHeight = sheet.height() / rows;
  const double scale = std::min(cellWidth / width, cellHeight / height);
  // Each page centred in its cell, so the gaps between pages and at the
  // sheet's edges stay even.
  const double marginX = (cellWidth - width * scale) / 2,
               marginY = (cellHeight - height * scale) / 2;
  QList<PagePlacement> places;
  for (int i = 0; i < count; ++i)
    places << PagePlacement{scale, (i % columns) * cellWidth + marginX,
                            (i / columns) * cellHeight + marginY, page.width(), page.height()};
  return places;
}

PrintEvents SheetsOf(const PrintEvents &pages, int perSheet, QSize page) {
  const QList<PagePlacement> places = PlacePagesOnSheet(perSheet, page);
  if (places.size() == 1) return pages;
  PrintEvents sheets = pages;
  sheets.OnPrintPage = [places, draw = pages.OnPrintPage](PageInfo &info, PageCanvas &canvas) {
    if (!draw) return;
    const int sheet = std::max(1, info.PageNumber);
    const int first = (sheet - 1) * int(places.size()) + 1;
    for (int slot = 0; slot < places.size(); ++slot) {
      if (DrawSurface *surface = canvas.Surface(); surface && canvas.Mode != CanvasMode::Measure)
        surface->placePage(places[slot]);
      info.PageNumber = first + slot;
      info.LastPage = false;
      draw(info, canvas);
      // A page past the end answered with an earlier one ends the sheets too.
      if (info.LastPage || info.PageNumber < first + slot) {
        info.LastPage = true;
        break;
      }
    }
    info.PageNumber = sheet;
  };
  return sheets;
}

SheetTarget::SheetTarget(PrintTarget &inner, int pagesPerSheet)
    : inner_(inner),
      page_(inner.device()),
      places_(PlacePagesOnSheet(pagesPerSheet,
                                QSize(page_.metrics().PageWidth, page_.metrics().PageHeight))) {}

bool SheetTarget::beginDocument(const QString &title) {
  slot_ = 0;
  placed_ = false;
  return inner_.beginDocument(title);
}

DrawSurface &SheetTarget::surface() {
  DrawSurface &sheet = inner_.surface();
  // One page a sheet is the sheet itself: nothing to place.
  if (!placed_ && places_.size() > 1) {
    sheet.placePage(places_[slot_]);
    placed_ = true;
  }
  return sheet;
}

void SheetTarget::newSheet() {
  placed_ = false;
  if (++slot_ < places_.size()) return;
  slot_ = 0;
  inner_.newSheet();
}

}  // namespace scrivane
