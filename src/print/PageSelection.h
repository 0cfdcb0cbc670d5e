#pragma once
// Printing only some pages of a document ("3-7,12"): every page is still
// laid out, so that each selected page starts where it would in a full
// print, but only the selected ones reach the target.
#include <QList>
#include <QString>
#include <climits>
#include <memory>

#include "print/PrintRunner.h"

namespace scrivane {

struct PageSpan {
  int first = 1;
  int last = INT_MAX;  // "5-": to the end
  friend bool operator==(const PageSpan &, const PageSpan &) = default;
};

// Reads "3-7,12", "5-", "2"; empty error: ok.
QList<PageSpan> ParsePageSelection(const QString &text, QString *error);
bool PageSelected(const QList<PageSpan> &selection, int page);

// Passes the selected pages of everything printed through it on to an inner
// target, numbered from 1 across all its documents; the others are drawn
// nowhere. The inner document begins with the first selected page, so an
// empty selection writes nothing.
class PageSelectionTarget : public PrintTarget {
 public:
  PageSelectionTarget(PrintTarget &inner, QList<PageSpan> selection);
  ~PageSelectionTarget() override;
  PageDevice &device() override { return inner_.device(); }
  bool beginDocument(const QString &title) override;
  QString errorText() const override { return inner_.errorText(); }
  DrawSurface &surface() override;
  void newSheet() override;
  bool endDocument() override;
  void abortDocument() override;
  int PagesPassedOn() const { return passed_; }
  int LastPage() const { return page_; }

 private:
  PrintTarget &inner_;
  QList<PageSpan> selection_;
  QString title_;
  int page_ = 0;    // the page being drawn, from 1
  int passed_ = 0;  // pages that reached the inner target
  bool innerBegun_ = false;
  int innerPage_ = 0;  // the page the inner target's current sheet holds
  std::unique_ptr<DrawSurface> nowhere_;
};

}  // namespace scrivane
