#pragma once
// Sheets laid out on one thread and written on another. The layout draws a
// sheet into a recording (every call in order, the texts in one buffer);
// when the sheet ends, the recording goes to the writing thread, which draws
// it with the PDF writer, compresses it and writes it while the layout goes
// on with the next sheet. At most 64 finished sheets, or 16 MiB of them
// (forms' pictures), wait, so the memory held stays bounded whatever the
// length of the document. The file is the same, byte for byte, as the writer
// drawing on the layout's thread.
#include <QString>
#include <memory>

#include "print/PageDevice.h"

namespace scrivane {

class PdfWriter;
class QtTextMeasurer;

class PdfSheetReplay {
 public:
  // Takes the writer, opened, and the measurer it draws with, which must be
  // its own: the layout's measurer stays on the layout's thread.
  PdfSheetReplay(std::unique_ptr<QtTextMeasurer> measurer, std::unique_ptr<PdfWriter> writer);
  // Without close(): what waits is dropped and the writer is not closed.
  ~PdfSheetReplay();
  PdfSheetReplay(const PdfSheetReplay &) = delete;
  PdfSheetReplay &operator=(const PdfSheetReplay &) = delete;

  // Where the current sheet is drawn (recorded).
  DrawSurface &surface();
  // The current sheet is finished; the next one starts.
  void newPage();
  // Writes what is left and closes the writer, as PdfWriter::close.
  bool close(QString *error);

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace scrivane
