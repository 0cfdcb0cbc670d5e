#include "print/QPainterSurface.h"

#include <QGlyphRun>
#include <cmath>

#include "platform/Text1252.h"
#include "print/PdfShaping.h"

namespace scrivane {

QColor ColorFromRef(ColorRef color) {
  return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QPainterSurface::QPainterSurface(QPainter &painter, QtTextMeasurer &measurer)
    : painter_(painter), measurer_(measurer), sheetTransform_(painter.worldTransform()) {
  painter_.setBackgroundMode(Qt::TransparentMode);
}

void QPainterSurface::placePage(const PagePlacement &placement) {
  flush();
  painter_.setWorldTransform(
      QTransform(placement.scale, 0, 0, placement.scale, placement.x, placement.y) *
      sheetTransform_);
}

// Text still gathered here belongs to a page that failed or was abandoned;
// the painter's mapping may already be gone, so it is dropped.
QPainterSurface::~QPainterSurface() = default;

void QPainterSurface::useTextPen(const FontSpec &font) {
  if (penIsText_ && penFont_.color == font.color) return;
  painter_.setPen(ColorFromRef(font.color));
  penFont_ = font;
  penIsText_ = true;
}

// Blanks are drawn between words, so that text taken from a PDF keeps its
// spaces, but not at the end of a run, where they only cost output.
namespace {
bool Invisible(unsigned char c) { return QtTextMeasurer::GlyphTable::Invisible(c); }
}  // namespace

void QPainterSurface::drawText(int x, int y, const FontSpec &font, QByteArrayView text) {
  if (text.isEmpty()) return;
  const QtTextMeasurer::GlyphTable &table = measurer_.glyphTable(font);
  if (!table.Draws(text)) {
    flush();
    drawShaped(x, y, font, Decode1252(text.data(), text.size()));
    return;
  }
  const int baseline = joinRun(x, y, font, table);
  long long advance64 = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!Invisible(c)) {
      runGlyphs_.append(table.glyph[c]);
      runPositions_.append(QPointF(x + advance64 / 64.0, baseline));
    }
    advance64 += table.Advance64(c);
  }
  runEndX_ = x + advance64 / 64.0;
}

int QPainterSurface::joinRun(int x, int y, const FontSpec &font,
                             const QtTextMeasurer::GlyphTable &table) {
  // The canvas's y is the top of the text cell; glyphs sit on the baseline.
  const int baseline = y + table.ascent;
  if (pending_ && (runBaseline_ != baseline || !(runFont_ == font))) flush();
  if (!pending_) {
    pending_ = true;
    runFont_ = font;
    runBaseline_ = baseline;
    runTable_ = &table;
    runStartX_ = x;
  }
  return baseline;
}

void QPainterSurface::flush() {
  if (!pending_) return;
  pending_ = false;
  const quint32 blank = runTable_->glyph[0x20];
  while (!runGlyphs_.isEmpty() && runGlyphs_.last() == blank) {
    runGlyphs_.removeLast();
    runPositions_.removeLast();
  }
  if (runGlyphs_.isEmpty()) return;
  QGlyphRun run;
  run.setRawFont(runTable_->rawFont);
  run.setGlyphIndexes(runGlyphs_);
  run.setPositions(runPositions_);
  useTextPen(runFont_);
  painter_.drawGlyphRun(QPointF(0, 0), run);
  // Qt underlines a glyph run from its origin, here the sheet's corner: the
  // line is drawn here, under the run's own span, as the PDF draws it.
  if (runFont_.underline() && runEndX_ > runStartX_) {
    const QRawFont &raw = runTable_->rawFont;
    // At least one device pixel: a thinner fill rounds to nothing on screen.
    const qreal scaleY = std::abs(painter_.combinedTransform().m22());
    const double thickness =
        std::max<qreal>({1.0, raw.lineThickness(), scaleY > 0 ? 1.0 / scaleY : 1.0});
    const double y = runBaseline_ + raw.underlinePosition() - thickness / 2;
    painter_.fillRect(
        QRectF(std::floor(runStartX_), y, std::floor(runEndX_) - std::floor(runStartX_), thickness),
        ColorFromRef(runFont_.color));
  }
  runGlyphs_.clear();
  runPositions_.clear();
}

void QPainterSurface::drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                                 TextEncoding encoding) {
  if (encoding == TextEncoding::Windows1252 || IsAscii(text)) {
    drawText(x, y, font, text);
    return;
  }
  bool invalid = false;
  const std::vector<QtTextMeasurer::PlacedGlyph> *placed =
      measurer_.layOutSimply(font, text, &invalid);
  if (invalid) {
    drawText(x, y, font, text);  // as the Windows-1252 text it is measured as
    return;
  }
  if (!placed) {
    flush();
    drawShaped(x, y, font, QString::fromUtf8(text));
    return;
  }
  // Letters the font has, placed as the measurer placed them, without
  // shaping: one glyph run with the row's other words.
  const int baseline = joinRun(x, y, font, measurer_.glyphTable(font));
  long long advance64 = 0;
  for (const QtTextMeasurer::PlacedGlyph &g : *placed) {
    if (!g.invisible) {
      runGlyphs_.append(g.glyph);
      runPositions_.append(QPointF(x + advance64 / 64.0, baseline));
    }
    advance64 += g.advance64;
  }
  runEndX_ = x + advance64 / 64.0;
}

void QPainterSurface::drawShaped(int x, int y, const FontSpec &font, const QString &text) {
  painter_.setFont(FontForText(measurer_.cachedFont(font), text));
  useTextPen(font);
  painter_.drawText(QPoint(x, y + measurer_.ascent(font)), text);
}

void QPainterSurface::applyPen(const PenSpec &pen) {
  flush();
  penIsText_ = false;
  QColor color = pen.mode == PenMode::Black ? QColor(Qt::black) : ColorFromRef(pen.color);
  QPen qpen(color);
  qpen.setWidth(std::max(1, pen.width));
  // A line is at least one pixel of the device it lands on, as on GDI: the
  // preview maps eight or more printer pixels onto one screen pixel, where a
  // one-pixel rule or block bracket would fade to nothing.
  // Widths are whole device pixels, so that a line does not come and go
  // with the zoom and its position; a pen wider than the thinnest keeps at
  // least two, so that the thick and thin rules stay told apart.
  const qreal deviceScale = std::abs(painter_.combinedTransform().m11());
  if (deviceScale > 0 && deviceScale < 1.0) {
    qreal devicePixels = std::max<qreal>(1.0, std::round(qpen.widthF() * deviceScale));
    if (pen.width > 1 && devicePixels < 2) devicePixels = 2;
    qpen.setCosmetic(true);
    qpen.setWidthF(devicePixels);
  }
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
  flush();
  if (image.isNull()) return;
  painter_.drawImage(target, image);
}

}  // namespace scrivane
