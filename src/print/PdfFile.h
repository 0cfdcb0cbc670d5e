#pragma once
// One PDF document on its way to a file. The pages go to a temporary file
// beside the target (ReplacingFile); the target is replaced only when the
// whole document was written, so a full disk or a cancel leaves whatever the
// target held before. Every PDF the program writes goes through here, and
// is drawn by PdfWriter with the fonts the layout measured.
#include <QPageLayout>
#include <QString>
#include <memory>

#include "platform/ReplacingFile.h"
#include "print/PdfSheetReplay.h"
#include "print/PdfWriter.h"

namespace scrivane {

class QtTextMeasurer;

class PdfFile {
 public:
  // The measurer (not owned) gives the fonts, glyphs and advances to draw.
  PdfFile(QString path, QPageLayout layout, int dotsPerInch, QtTextMeasurer &measurer);
  ~PdfFile();  // an unfinished document is discarded
  PdfFile(const PdfFile &) = delete;
  PdfFile &operator=(const PdfFile &) = delete;

  // False with errorText() set when the file cannot be started.
  bool begin(const QString &title);
  // Valid between begin and finish or abort; device pixels from the
  // sheet's corner.
  DrawSurface &surface() { return replay_ ? replay_->surface() : writer_->surface(); }
  void newPage();
  // Ends the document and puts it in place; false with errorText() when
  // any write failed (the target is then left as it was).
  bool finish();
  void abort();
  QString errorText() const { return error_; }

 private:
  QString path_;
  QPageLayout layout_;
  int dotsPerInch_;
  QtTextMeasurer &measurer_;
  QString error_;
  std::unique_ptr<ReplacingFile> file_;
  std::unique_ptr<PdfWriter> writer_;
  // With a core to spare, the writer draws on a thread of its own.
  std::unique_ptr<PdfSheetReplay> replay_;
};

}  // namespace scrivane
