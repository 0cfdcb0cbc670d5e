#pragma once
// Writes PDF pages of a listing. A listing is rows of text in a few fonts,
// lines, rectangles and now and then an image, so the writer is built for
// that: each page's drawing goes straight into its content stream (a row of
// one font is one text array, placed where the layout measured each glyph),
// the page is compressed and written as soon as it ends, and only the list
// of written objects and the glyphs each font used are kept for the end,
// where the fonts are embedded holding just those glyphs. General PDF
// libraries record every page before writing it and spent most of a long
// listing's time doing so.
//
// The objects are written by PdfObjectWriter, the fonts embedded by
// PdfFonts; this file draws the pages.
#include <QIODevice>
#include <QString>
#include <memory>

#include "print/PageDevice.h"

namespace scrivane {

class QtTextMeasurer;

class PdfWriter {
 public:
  // The measurer gives the fonts, glyphs and advances the layout was made
  // with; it is not owned. Pages are compressed on `compressors` threads
  // of their own (none: on the drawing thread); below zero, as many as
  // DefaultPdfWorkers says.
  explicit PdfWriter(QtTextMeasurer &measurer, int compressors = -1);
  ~PdfWriter();
  PdfWriter(const PdfWriter &) = delete;
  PdfWriter &operator=(const PdfWriter &) = delete;

  // Starts a document, written to output (open for writing, not owned), of
  // sheets widthPoints x heightPoints whose drawing calls are in device
  // pixels at dotsPerInch; the first page is open. False when nothing can
  // be written.
  bool open(QIODevice *output, double widthPoints, double heightPoints, int dotsPerInch,
            const QString &title);
  DrawSurface &surface();
  void newPage();
  // Writes the rest of the document. False, with the reason, when any write
  // failed on the way (a full disk, say): the output is then not a usable
  // PDF and the caller must not keep it.
  bool close(QString *error);

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace scrivane
