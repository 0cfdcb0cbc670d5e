#pragma once
// Writes PDF pages straight through cairo's PDF surface. Qt's PDF engine
// writes one positioning and one show operator for every glyph and then
// compresses all of it, which was most of the time a long listing took;
// cairo writes a row of text as one array of glyphs, subsets the fonts, and
// draws the same glyphs of the same font files at the same positions.
#include <QIODevice>
#include <QString>
#include <memory>

#include "print/PageDevice.h"

namespace scrivane {

class QtTextMeasurer;

class CairoPdfWriter {
 public:
  // The measurer gives the fonts, glyphs and advances the layout was made
  // with; it is not owned.
  explicit CairoPdfWriter(QtTextMeasurer &measurer);
  ~CairoPdfWriter();
  CairoPdfWriter(const CairoPdfWriter &) = delete;
  CairoPdfWriter &operator=(const CairoPdfWriter &) = delete;

  // Starts a document, written to output (open for writing, not owned), of
  // sheets widthPoints x heightPoints whose drawing calls are in device
  // pixels at dotsPerInch. False when cairo cannot start it.
  bool open(QIODevice *output, double widthPoints, double heightPoints, int dotsPerInch, const QString &title);
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
