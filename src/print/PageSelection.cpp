#include "print/PageSelection.h"

#include <QStringList>

#include "print/PageDevice.h"

namespace scrivane {
namespace {

class NowhereSurface : public DrawSurface {
 public:
  void drawText(int, int, const FontSpec &, QByteArrayView) override {}
  void drawLine(int, int, int, int, const PenSpec &) override {}
  void drawRectangle(const QRect &, const PenSpec &, const BrushSpec &) override {}
  void drawImage(const QRect &, const QImage &) override {}
  void drawTextIn(int, int, const FontSpec &, QByteArrayView, TextEncoding) override {}
};

bool ReadPage(const QString &text, int *page) {
  bool ok = false;
  *page = text.trimmed().toInt(&ok);
  return ok && *page >= 1 && !text.trimmed().startsWith(u'+');
}

}  // namespace

QList<PageSpan> ParsePageSelection(const QString &text, QString *error) {
  error->clear();
  QList<PageSpan> spans;
  const QString refusal = QStringLiteral(
                              "--pages takes page numbers and ranges such as 3-7,12 or 5- (pages "
                              "count from 1), not '%1'")
                              .arg(text);
  for (const QString &part : text.split(u',')) {
    PageSpan span;
    const qsizetype dash = part.indexOf(u'-');
    const bool ok = dash < 0 ? ReadPage(part, &span.first) && (span.last = span.first, true)
                             : ReadPage(part.left(dash), &span.first) &&
                                   (part.mid(dash + 1).trimmed().isEmpty() ||
                                    ReadPage(part.mid(dash + 1), &span.last));
    if (!ok || span.last < span.first) {
      *error = refusal;
      return {};
    }
    spans << span;
  }
  return spans;
}

bool PageSelected(const QList<PageSpan> &selection, int page) {
  for (const PageSpan &span : selection)
    if (page >= span.first && page <= span.last) return true;
  return false;
}

PageSelectionTarget::PageSelectionTarget(PrintTarget &inner, QList<PageSpan> selection)
    : inner_(inner),
      selection_(std::move(selection)),
      nowhere_(std::make_unique<NowhereSurface>()) {}

PageSelectionTarget::~PageSelectionTarget() = default;

bool PageSelectionTarget::beginDocument(const QString &title) {
  title_ = title;
  page_ = 1;
  return true;
}

DrawSurface &PageSelectionTarget::surface() {
  if (!PageSelected(selection_, page_)) return *nowhere_;
  if (innerPage_ != page_) {
    if (!innerBegun_) {
      if (!inner_.beginDocument(title_)) throw PrintException(inner_.errorText().toStdString());
      innerBegun_ = true;
    } else {
      inner_.newSheet();
    }
    innerPage_ = page_;
    ++passed_;
  }
  return inner_.surface();
}

void PageSelectionTarget::newSheet() { ++page_; }

bool PageSelectionTarget::endDocument() { return !innerBegun_ || inner_.endDocument(); }

void PageSelectionTarget::abortDocument() {
  if (innerBegun_) inner_.abortDocument();
  innerBegun_ = false;
}

}  // namespace scrivane
