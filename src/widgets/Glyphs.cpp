#include "widgets/Glyphs.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace scrivane {

const LegendRow LegendRows[8] = {
    {EntryKind::UnitInProject, "Unit file included in project"},
    {EntryKind::FormFile, "Form file "},
    {EntryKind::UnitInUses, "Unit file included in uses "},
    {EntryKind::Function, "Function"},
    {EntryKind::Constructor, "Constructor"},
    {EntryKind::Destructor, "Destructor"},
    {EntryKind::Procedure, "Procedure"},
    {EntryKind::FormObject, "Object properties"},
};

namespace {

// A sheet of paper with a folded corner: the base of the three file kinds.
void DrawPage(QPainter &p, const QColor &fill) {
  QPainterPath page;
  page.moveTo(2.5, 0.5);
  page.lineTo(10.5, 0.5);
  page.lineTo(13.5, 3.5);
  page.lineTo(13.5, 15.5);
  page.lineTo(2.5, 15.5);
  page.closeSubpath();
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(fill);
  p.drawPath(page);
  p.drawLine(QPointF(10.5, 0.5), QPointF(10.5, 3.5));
  p.drawLine(QPointF(10.5, 3.5), QPointF(13.5, 3.5));
}

// A coloured badge carrying one letter: the routine kinds are told apart by
// colour and by letter, so they stay distinct for colour-blind users too.
void DrawBadge(QPainter &p, const QColor &fill, QChar letter, bool round) {
  p.setPen(QPen(fill.darker(160), 1));
  p.setBrush(fill);
  if (round)
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  else
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(letter));
}

QPixmap PaintEntryGlyph(EntryKind kind) {
  QPixmap pixmap(GlyphSizePx, GlyphSizePx);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  switch (kind) {
    case EntryKind::UnitInProject:
      DrawPage(p, Qt::white);
      p.setPen(QPen(QColor(0, 0, 160), 1));
      for (int y = 5; y <= 13; y += 2) p.drawLine(4, y, 11, y);
      break;
    case EntryKind::FormFile:
      DrawPage(p, QColor(255, 255, 200));
      p.setPen(QPen(QColor(0, 0, 160), 1));
      p.setBrush(QColor(0, 0, 160));
      p.drawRect(QRectF(4.5, 5.5, 7, 2));  // title bar of a little window
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(4.5, 5.5, 7, 8));
      break;
    case EntryKind::UnitInUses:
      DrawPage(p, QColor(220, 240, 220));
      p.setPen(QPen(QColor(0, 120, 0), 1.5));
      p.drawLine(QPointF(5, 10), QPointF(11, 10));  // an arrow: brought in
      p.drawLine(QPointF(8, 7), QPointF(11, 10));
      p.drawLine(QPointF(8, 13), QPointF(11, 10));
      break;
    case EntryKind::Function:
      DrawBadge(p, QColor(0, 110, 200), QLatin1Char('F'), true);
      break;
    case EntryKind::Constructor:
      DrawBadge(p, QColor(0, 140, 60), QLatin1Char('C'), false);
      break;
    case EntryKind::Destructor:
      DrawBadge(p, QColor(190, 30, 30), QLatin1Char('D'), false);
      break;
    case EntryKind::Procedure:
      DrawBadge(p, QColor(120, 60, 170), QLatin1Char('P'), true);
      break;
    case EntryKind::FormObject:
      p.setPen(QPen(Qt::black, 1));
      p.setBrush(QColor(230, 230, 230));
      p.drawRect(QRectF(0.5, 2.5, 15, 11));
      p.setBrush(QColor(200, 120, 0));
      p.drawRect(QRectF(3.5, 5.5, 9, 5));  // a button on a form
      break;
    case EntryKind::None:
      break;
  }
  return pixmap;
}

void PaintTool(QPainter &p, ToolGlyph glyph) {
  // Drawn on a 32 x 32 grid; the caller scales.
  p.setPen(QPen(Qt::black, 1.5));
  switch (glyph) {
    case ToolGlyph::Open: {
      p.setBrush(QColor(240, 200, 80));
      QPolygonF folder({{3, 9}, {12, 9}, {15, 12}, {29, 12}, {29, 27}, {3, 27}});
      p.drawPolygon(folder);
      p.setBrush(QColor(250, 225, 120));
      p.drawPolygon(QPolygonF({{7, 16}, {31, 16}, {27, 27}, {3, 27}}));
      break;
    }
    case ToolGlyph::Format:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(6, 3, 20, 26));
      p.setPen(QPen(QColor(0, 0, 160), 2));
      p.drawLine(10, 9, 22, 9);
      p.drawLine(13, 14, 22, 14);
      p.drawLine(13, 19, 22, 19);
      p.drawLine(10, 24, 18, 24);
      break;
    case ToolGlyph::Print:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 3, 14, 10));
      p.setBrush(QColor(170, 170, 170));
      p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 19, 14, 10));
      break;
    case ToolGlyph::View:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 3, 17, 23));
      p.setBrush(QColor(200, 230, 255));
      p.drawEllipse(QRectF(13, 13, 12, 12));
      p.setPen(QPen(Qt::black, 3));
      p.drawLine(QPointF(24, 24), QPointF(29, 29));
      break;
    case ToolGlyph::Clear:
      p.setPen(QPen(QColor(190, 30, 30), 4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(8, 8, 24, 24);
      p.drawLine(24, 8, 8, 24);
      break;
    case ToolGlyph::Copy:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 3, 15, 19));
      p.drawRect(QRectF(13, 10, 15, 19));
      break;
    case ToolGlyph::Paste:
      p.setBrush(QColor(190, 140, 80));
      p.drawRoundedRect(QRectF(5, 5, 20, 24), 2, 2);
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(QRectF(11, 2, 8, 6));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(14, 13, 15, 17));
      break;
    case ToolGlyph::Help: {
      p.setBrush(QColor(40, 100, 200));
      p.drawEllipse(QRectF(3, 3, 26, 26));
      QFont font(QStringLiteral("DejaVu Sans"));
      font.setPixelSize(20);
      font.setBold(true);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
  }
}

}  // namespace

QPixmap EntryGlyph(EntryKind kind) {
  static QHash<int, QPixmap> cache;
  auto it = cache.find(int(kind));
  if (it == cache.end()) it = cache.insert(int(kind), PaintEntryGlyph(kind));
  return *it;
}

QIcon ToolIcon(ToolGlyph glyph, int sizePx) {
  QPixmap pixmap(sizePx, sizePx);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(sizePx / 32.0, sizePx / 32.0);
  PaintTool(p, glyph);
  p.end();
  QIcon icon(pixmap);
  // A greyed copy so disabled buttons read as disabled.
  QImage grey = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < grey.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(grey.scanLine(y));
    for (int x = 0; x < grey.width(); ++x) {
      const int g = 128 + qGray(line[x]) / 2;
      line[x] = qRgba(g, g, g, qAlpha(line[x]) / 2);
    }
  }
  icon.addPixmap(QPixmap::fromImage(grey), QIcon::Disabled);
  return icon;
}

}  // namespace scrivane
