#include "print/QPainterSurface.h"

#include <cmath>

namespace scrivane {

QColor ColorFromRef(ColorRef color) {
  return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QPainterSurface::QPainterSurface(QPainter &painter, QtTextMeasurer &measurer)
    : painter_(painter), measurer_(measurer) {
  painter_.setBackgroundMode(Qt::TransparentMode);
}

void QPainterSurface::drawText(int x, int y, const FontSpec &font, QByteArrayView text) {
  if (text.isEmpty()) return;
  if (!fontSet_ || !(currentFont_ == font) || penChanged_) {
    painter_.setFont(measurer_.cachedFont(font));
    painter_.setPen(ColorFromRef(font.color));
    currentFont_ = font;
    fontSet_ = true;
    penChanged_ = false;
  }
  // The canvas's y is the top of the text cell; QPainter draws at the baseline.
  painter_.drawText(QPoint(x, y + measurer_.ascent(font)), DecodeCp1252(text));
}

void QPainterSurface::applyPen(const PenSpec &pen) {
  penChanged_ = true;
  QColor color = pen.mode == PenMode::Black ? QColor(Qt::black) : ColorFromRef(pen.color);
  QPen qpen(color);
  qpen.setWidth(std::max(1, pen.width));
  // A line is at least one pixel of the device it lands on, as on GDI: the
  // preview maps eight or more printer pixels onto one screen pixel, where a
  // one-pixel rule or block bracket would fade to nothing.
  const qreal deviceScale = std::abs(painter_.combinedTransform().m11());
  if (deviceScale > 0 && qpen.widthF() * deviceScale < 1.0) qpen.setWidth(0);
  qpen.setCapStyle(Qt::FlatCap);
  qpen.setJoinStyle(Qt::MiterJoin);
  painter_.setPen(qpen);
  painter_.setCompositionMode(pen.mode == PenMode::Not ? QPainter::RasterOp_NotDestination
                                                       : QPainter::CompositionMode_SourceOver);
}

void QPainterSurface::drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) {
  applyPen(pen);
  painter_.drawLine(x1, y1, x2, y2);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void QPainterSurface::drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) {
  applyPen(pen);
  if (brush.style == BrushStyle::Solid)
    painter_.setBrush(ColorFromRef(brush.color));
  else
    painter_.setBrush(Qt::NoBrush);
  // The outline lies inside the rectangle, as GDI draws it.
  const int half = std::max(1, pen.width) / 2;
  painter_.drawRect(rect.adjusted(half, half, -half - 1, -half - 1));
  painter_.setBrush(Qt::NoBrush);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void QPainterSurface::drawImage(const QRect &target, const QImage &image) {
  if (image.isNull()) return;
  painter_.drawImage(target, image);
}

}  // namespace scrivane
