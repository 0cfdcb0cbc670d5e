#include "print/PdfPrintTarget.h"

#include <QPageLayout>
#include <QPageSize>
#include <cmath>

namespace scrivane {

PdfDevice::PdfDevice(PaperSize paper, int dotsPerInch) : paper_(paper), measurer_(dotsPerInch) {
  // Same rounding as Qt's PDF engine: A4 is 595 x 842 pt, 4958 x 7017 px.
  const QSize points = QPageSize(PageSizeIdOf(paper)).sizePoints();
  metrics_.PixelsPerInchX = dotsPerInch;
  metrics_.PixelsPerInchY = dotsPerInch;
  metrics_.PageWidth = int(std::lround(points.width() * dotsPerInch / 72.0));
  metrics_.PageHeight = int(std::lround(points.height() * dotsPerInch / 72.0));
  metrics_.OffsetX = 0;
  metrics_.OffsetY = 0;
  metrics_.PrintableRight = metrics_.PageWidth;
  metrics_.PrintableBottom = metrics_.PageHeight;
}

PdfPrintTarget::PdfPrintTarget(QString path, PaperSize paper)
    : path_(std::move(path)), device_(paper) {}

PdfPrintTarget::~PdfPrintTarget() = default;

bool PdfPrintTarget::beginDocument(const QString &title) {
  file_ = std::make_unique<PdfFile>(
      path_,
      QPageLayout(QPageSize(PageSizeIdOf(device_.paper())),
                  landscape_ ? QPageLayout::Landscape : QPageLayout::Portrait,
                  QMarginsF(0, 0, 0, 0), QPageLayout::Point),
      device_.metrics().PixelsPerInchX, device_.qtMeasurer());
  if (!file_->begin(title)) {
    error_ = file_->errorText();
    file_.reset();
    return false;
  }
  return true;
}

void PdfPrintTarget::newSheet() {
  if (file_) file_->newPage();
}

bool PdfPrintTarget::endDocument() {
  if (!file_) return false;
  if (commitCheck_) {
    if (QString refusal = commitCheck_(); !refusal.isEmpty()) {
      abortDocument();
      error_ = std::move(refusal);
      return false;
    }
  }
  const bool written = file_->finish();
  if (!written) error_ = file_->errorText();
  file_.reset();
  return written;
}

void PdfPrintTarget::abortDocument() {
  if (file_) file_->abort();
  file_.reset();
}

}  // namespace scrivane
