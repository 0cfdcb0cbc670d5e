#pragma once
// Draws page-canvas calls with a QPainter: on a PDF writer, a printer, or a
// preview widget whose painter maps printer pixels onto the screen.
#include <QFont>
#include <QPainter>

#include "print/PageDevice.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

// 0x00BBGGRR -> QColor.
QColor ColorFromRef(ColorRef color);

class QPainterSurface : public DrawSurface {
 public:
  // Fonts come from the measurer so that drawn glyphs use the pixel sizes
  // the layout was measured with. Neither argument is owned.
  QPainterSurface(QPainter &painter, QtTextMeasurer &measurer);

  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override;
  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override;
  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override;
  void drawImage(const QRect &target, const QImage &image) override;

 private:
  void applyPen(const PenSpec &pen);
  QPainter &painter_;
  QtTextMeasurer &measurer_;
  FontSpec currentFont_;
  bool fontSet_ = false;
  bool penChanged_ = false;  // a line or rectangle replaced the text colour
};

}  // namespace scrivane
