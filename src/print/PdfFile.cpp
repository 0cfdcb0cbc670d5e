#include "print/PdfFile.h"

#include <QFileInfo>

namespace scrivane {

PdfFile::PdfFile(QString path, QPageLayout layout, int dotsPerInch)
    : path_(std::move(path)), layout_(std::move(layout)), dotsPerInch_(dotsPerInch) {}

PdfFile::~PdfFile() { abort(); }

bool PdfFile::begin(const QString &title) {
  error_.clear();
  if (path_.isEmpty()) {
    error_ = QStringLiteral("No output file was chosen: nothing was printed.");
    return false;
  }
  file_ = std::make_unique<ReplacingFile>(path_);
  if (!file_->open()) {
    error_ = QStringLiteral("Cannot write the file %1: %2")
                 .arg(QFileInfo(path_).absoluteFilePath(), file_->failureReason());
    file_.reset();
    return false;
  }
  writer_ = std::make_unique<QPdfWriter>(file_.get());
  writer_->setResolution(dotsPerInch_);
  writer_->setPageLayout(layout_);
  writer_->setTitle(title);
  writer_->setCreator(QStringLiteral("Scrivane"));
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(writer_.get())) {
    error_ = QStringLiteral("Cannot write the file %1.").arg(QFileInfo(path_).absoluteFilePath());
    abort();
    return false;
  }
  return true;
}

void PdfFile::newPage() {
  if (writer_) writer_->newPage();
}

bool PdfFile::finish() {
  if (!file_) return false;
  // The painter's end writes the rest of the document (fonts, the page
  // table); only then is the file complete.
  if (painter_ && painter_->isActive()) painter_->end();
  painter_.reset();
  writer_.reset();
  const bool written = file_->commit();
  if (!written) error_ = file_->errorText();
  file_.reset();
  return written;
}

void PdfFile::abort() {
  if (painter_ && painter_->isActive()) painter_->end();
  painter_.reset();
  writer_.reset();
  if (file_) file_->discard();
  file_.reset();
}

}  // namespace scrivane
