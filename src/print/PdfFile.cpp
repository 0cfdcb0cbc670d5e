#include "print/PdfFile.h"

#include <QFileInfo>

#include "print/PdfObjectWriter.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

PdfFile::PdfFile(QString path, QPageLayout layout, int dotsPerInch, QtTextMeasurer &measurer)
    : path_(std::move(path)),
      layout_(std::move(layout)),
      dotsPerInch_(dotsPerInch),
      measurer_(measurer) {}

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
  // The whole sheet, whatever margins the layout carries: pages are drawn
  // from the paper's corner.
  const QSizeF sheet = layout_.fullRect(QPageLayout::Point).size();
  // With a core to spare the pages are drawn and written on a thread of
  // their own while the layout goes on, with a measurer of their own (a
  // measurer caches as it goes and serves one thread), and compressed on
  // as many more as cores are spare. On two cores that is three threads
  // on two: the layout waits for the writer now and then, and the
  // compressing thread takes that time (a tenth less wall time than the
  // writer compressing its pages itself).
  const int spare = DefaultPdfWorkers();
  std::unique_ptr<QtTextMeasurer> own;
  if (spare > 0) own = std::make_unique<QtTextMeasurer>(measurer_.dotsPerInch());
  writer_ = std::make_unique<PdfWriter>(own ? *own : measurer_, own ? spare : 0);
  if (!writer_->open(file_.get(), sheet.width(), sheet.height(), dotsPerInch_, title)) {
    error_ = QStringLiteral("Cannot write the file %1.").arg(QFileInfo(path_).absoluteFilePath());
    abort();
    return false;
  }
  if (own) replay_ = std::make_unique<PdfSheetReplay>(std::move(own), std::move(writer_));
  return true;
}

void PdfFile::newPage() {
  if (replay_)
    replay_->newPage();
  else if (writer_)
    writer_->newPage();
}

bool PdfFile::finish() {
  if (!file_) return false;
  // Closing the writer writes the rest of the document (fonts, the page
  // table); only then is the file complete.
  QString reason;
  const bool drawn = replay_ ? replay_->close(&reason) : !writer_ || writer_->close(&reason);
  replay_.reset();
  writer_.reset();
  if (!drawn) {
    error_ = file_->failureReason().isEmpty()
                 ? QStringLiteral("Cannot write the file %1: %2")
                       .arg(QFileInfo(path_).absoluteFilePath(), reason)
                 : file_->errorText();
    file_->discard();
    file_.reset();
    return false;
  }
  const bool written = file_->commit();
  if (!written) error_ = file_->errorText();
  file_.reset();
  return written;
}

void PdfFile::abort() {
  // The file is thrown away: the rest of the document (fonts, page table)
  // is not worth writing.
  replay_.reset();
  writer_.reset();
  if (file_) file_->discard();
  file_.reset();
}

}  // namespace scrivane
