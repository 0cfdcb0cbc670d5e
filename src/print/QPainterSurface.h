#pragma once
// Draws page-canvas calls with a QPainter: on a PDF writer, a printer, or a
// preview widget whose painter maps printer pixels onto the screen.
#include <QFont>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QTransform>

#include "print/PageDevice.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

// 0x00BBGGRR -> QColor.
QColor ColorFromRef(ColorRef color);

// Text is drawn as glyph runs from a per-font table instead of shaped
// strings: the text is 8-bit with kerning off, so the glyph of a byte and
// its advance never depend on its neighbours, and shaping every word was
// most of the time a page took. Words that follow each other on one
// baseline in one font are gathered into one run, and blanks are not drawn
// (their advance still moves the next glyph), so a row of code becomes one
// text operation; only the blanks at the end of a run are left out. Gathered text is drawn before
// any line, rectangle or image, so the order in which things land on the page is kept; call flush()
// before the painter ends or changes its mapping.
class QPainterSurface : public DrawSurface {
 public:
  // Fonts come from the measurer so that drawn glyphs use the pixel sizes
  // the layout was measured with. Neither argument is owned.
  QPainterSurface(QPainter &painter, QtTextMeasurer &measurer);
  // Gathered text that was not flushed is dropped.
  ~QPainterSurface() override;

  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override;
  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                  TextEncoding encoding) override;
  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override;
  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override;
  void drawImage(const QRect &target, const QImage &image) override;
  // Maps the page's pixels onto its place on the sheet, on top of the
  // mapping the painter had when this surface was made.
  void placePage(const PagePlacement &placement) override;
  // Draws the gathered text now.
  void flush();

 private:
  void applyPen(const PenSpec &pen);
  void useTextPen(const FontSpec &font);
  // Joins the row's glyph run of this font and baseline, or starts one;
  // returns the baseline.
  int joinRun(int x, int y, const FontSpec &font, const QtTextMeasurer::GlyphTable &table);
  void drawShaped(int x, int y, const FontSpec &font, const QString &text);
  QPainter &painter_;
  QtTextMeasurer &measurer_;
  QTransform sheetTransform_;
  FontSpec penFont_;
  bool penIsText_ = false;  // the painter's pen is the colour of penFont_

  // The run being gathered.
  bool pending_ = false;
  FontSpec runFont_;
  int runBaseline_ = 0;
  const QtTextMeasurer::GlyphTable *runTable_ = nullptr;
  double runStartX_ = 0, runEndX_ = 0;  // what an underline spans
  QList<quint32> runGlyphs_;
  QList<QPointF> runPositions_;
};

}  // namespace scrivane
