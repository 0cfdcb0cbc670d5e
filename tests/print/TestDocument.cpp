#include "TestDocument.h"

#include <stdexcept>

using namespace scrivane;

namespace printtest {

PrintEvents NumberedDocument::events() {
  PrintEvents e;
  e.OnBeginPrint = [this](PageInfoPtr &info) {
    ++begins;
    info = std::make_unique<PageInfo>();
    info->Title = QStringLiteral("numbered.pas");
  };
  e.OnPrintPage = [this](PageInfo &info, PageCanvas &canvas) {
    pagesRun << info.PageNumber;
    modes << canvas.Mode;
    if (info.PageNumber == throwOnPage) throw std::runtime_error("page handler failed");
    canvas.SetFont(FontSpec{QStringLiteral("Arial"), 12, 0, 0});
    canvas.TextOut(600 + 10 * info.PageNumber, 450,
                   QByteArray("Page ") + QByteArray::number(info.PageNumber));
    canvas.MoveTo(600, 6000);
    canvas.LineTo(4000, 6000);
    info.LastPage = info.PageNumber >= pages;
  };
  e.OnEndPrint = [this](PageInfoPtr &info) {
    ++ends;
    info.reset();
  };
  return e;
}

FlowDocument::FlowDocument(int lineCount) {
  for (int i = 0; i < lineCount; ++i) {
    lines << QByteArray("line ") + QByteArray::number(i + 1);
    sizes << 8 + (i * 7) % 11;
  }
}

void FlowDocument::PrintPage(ListingPageInfo &info, PageCanvas &canvas) {
  ReplayEarlierPages(info, canvas, [this](ListingPageInfo &i, PageCanvas &c) { PrintPage(i, c); });
  const int page = info.PageNumber;
  int line = info.PageStart(page);
  int y = 200;
  while (line < lines.size()) {
    canvas.SetFont(FontSpec{QStringLiteral("Arial"), sizes[line], 0, 0});
    const int h = canvas.TextHeight(lines[line]);
    if (y + h > bottomY) break;
    canvas.TextOut(300, y, lines[line]);
    y += h;
    ++line;
  }
  info.SetPageStart(page + 1, line);
  info.KnownPages = std::max(info.KnownPages, page + 1);
  info.LastPage = line >= lines.size();
}

PrintEvents FlowDocument::events() {
  PrintEvents e;
  e.OnBeginPrint = [](PageInfoPtr &info) {
    auto record = std::make_unique<ListingPageInfo>();
    record->Title = QStringLiteral("flow.pas");
    info = std::move(record);
  };
  e.OnPrintPage = [this](PageInfo &info, PageCanvas &canvas) {
    PrintPage(static_cast<ListingPageInfo &>(info), canvas);
  };
  e.OnEndPrint = [](PageInfoPtr &info) { info.reset(); };
  return e;
}

}  // namespace printtest
