#include "print/PdfPrintTarget.h"

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <cmath>

namespace scrivane {

namespace {
QPageSize::PageSizeId PageSizeId(PaperSize paper) {
  return paper == PaperSize::Letter ? QPageSize::Letter : QPageSize::A4;
}
}  // namespace

PdfDevice::PdfDevice(PaperSize paper, int dotsPerInch) : paper_(paper), measurer_(dotsPerInch) {
  // Same rounding as Qt's PDF engine: A4 is 595 x 842 pt, 4958 x 7017 px.
  const QSize points = QPageSize(PageSizeId(paper)).sizePoints();
  metrics_.PixelsPerInchX = dotsPerInch;
  metrics_.PixelsPerInchY = dotsPerInch;
  metrics_.PageWidth = int(std::lround(points.width() * dotsPerInch / 72.0));
  metrics_.PageHeight = int(std::lround(points.height() * dotsPerInch / 72.0));
  metrics_.OffsetX = 0;
  metrics_.OffsetY = 0;
  metrics_.PrintableRight = metrics_.PageWidth;
  metrics_.PrintableBottom = metrics_.PageHeight;
}

PdfPrintTarget::PdfPrintTarget(QString path, PaperSize paper) : path_(std::move(path)), device_(paper) {}

PdfPrintTarget::~PdfPrintTarget() {
  if (painter_ && painter_->isActive()) abortDocument();
}

bool PdfPrintTarget::beginDocument(const QString &title) {
  if (path_.isEmpty()) {
    error_ = QStringLiteral("No output file was chosen: nothing was printed.");
    return false;
  }
  // QPdfWriter reports an unwritable file only by a failed begin; say which
  // file and why instead.
  QFile probe(path_);
  if (!probe.open(QIODevice::WriteOnly)) {
    error_ = QStringLiteral("Cannot write the file %1: %2").arg(QFileInfo(path_).absoluteFilePath(), probe.errorString());
    return false;
  }
  probe.close();
  writer_ = std::make_unique<QPdfWriter>(path_);
  writer_->setResolution(device_.metrics().PixelsPerInchX);
  writer_->setPageLayout(QPageLayout(QPageSize(PageSizeId(device_.paper())), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Point));
  writer_->setTitle(title);
  writer_->setCreator(QStringLiteral("Scrivane"));
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(writer_.get())) {
    error_ = QStringLiteral("Cannot write the file %1.").arg(QFileInfo(path_).absoluteFilePath());
    painter_.reset();
    writer_.reset();
    return false;
  }
  surface_ = std::make_unique<QPainterSurface>(*painter_, device_.qtMeasurer());
  return true;
}

void PdfPrintTarget::newSheet() {
  if (writer_) writer_->newPage();
}

void PdfPrintTarget::endDocument() {
  surface_.reset();
  if (painter_) painter_->end();
  painter_.reset();
  writer_.reset();
}

void PdfPrintTarget::abortDocument() {
  endDocument();
  QFile::remove(path_);
}

}  // namespace scrivane
