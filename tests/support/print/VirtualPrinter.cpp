#include "print/VirtualPrinter.h"

#include <algorithm>
#include <cmath>

#include "platform/Text1252.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

namespace {
// Per-character advance in hundredths of the pixel size: a few classes of
// width, enough for line breaks to depend on the characters.
int WidthFactor(unsigned char c) {
  switch (c) {
    case ' ':
      return 28;
    case 'i':
    case 'l':
    case 'j':
    case 'I':
    case '.':
    case ',':
    case ':':
    case ';':
    case '\'':
    case '!':
    case '|':
      return 22;
    case 'm':
    case 'w':
    case 'M':
    case 'W':
      return 83;
    default:
      return c >= 'A' && c <= 'Z' ? 67 : 55;
  }
}

// "Virtual Mono" is fixed-pitch: every character, bold or not, is as wide
// as any other, as in a typewriter face.
int FactorIn(const FontSpec &font, unsigned char c) {
  if (font.face == QLatin1String(kVirtualMonoFace)) return 60;
  return WidthFactor(c) + (font.bold() ? WidthFactor(c) / 10 : 0);
}

QString Hex(ColorRef color) {
  return QStringLiteral("%1").arg(color, 6, 16, QLatin1Char('0')).toUpper();
}

QString PenText(const PenSpec &pen) {
  QString text = QStringLiteral("w%1 c%2").arg(pen.width).arg(Hex(pen.color));
  if (pen.mode == PenMode::Black) text += QStringLiteral(" black");
  if (pen.mode == PenMode::Not) text += QStringLiteral(" not");
  return text;
}
}  // namespace

int FixedMetricsMeasurer::pixelSize(const FontSpec &font) const {
  return int(std::clamp(std::round(double(font.pointSize) * dotsPerInch_ / 72.0), 1.0, 32767.0));
}

int FixedMetricsMeasurer::charWidth(const FontSpec &font, unsigned char c) {
  ++calls;
  const int factor = FactorIn(font, c);
  return (pixelSize(font) * factor + 50) / 100;
}

int FixedMetricsMeasurer::textWidth(const FontSpec &font, QByteArrayView text) {
  ++calls;
  const int size = pixelSize(font);
  int width = 0;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const int factor = FactorIn(font, c);
    width += (size * factor + 50) / 100;
  }
  return width;
}

int FixedMetricsMeasurer::textHeight(const FontSpec &font, QByteArrayView) {
  ++calls;
  return int(std::lround(pixelSize(font) * 1.15));
}

void RecordingSurface::drawText(int x, int y, const FontSpec &font, QByteArrayView text) {
  drawTextIn(x, y, font, text, TextEncoding::Windows1252);
}

void RecordingSurface::drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                                  TextEncoding encoding) {
  lines << QStringLiteral("text %1 %2 \"%3\" %4 b%5 c%6 '%7'")
               .arg(x)
               .arg(y)
               .arg(font.face)
               .arg(font.pointSize)
               .arg(font.style)
               .arg(Hex(font.color))
               .arg(DecodeText(text, encoding));
}

void RecordingSurface::drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) {
  lines << QStringLiteral("line %1 %2 %3 %4 ").arg(x1).arg(y1).arg(x2).arg(y2) + PenText(pen);
}

void RecordingSurface::drawRectangle(const QRect &rect, const PenSpec &pen,
                                     const BrushSpec &brush) {
  const QString fill = brush.style == BrushStyle::Solid
                           ? QStringLiteral("solid c") + Hex(brush.color)
                           : QStringLiteral("clear");
  lines << QStringLiteral("rect %1 %2 %3 %4 ")
                   .arg(rect.left())
                   .arg(rect.top())
                   .arg(rect.left() + rect.width())
                   .arg(rect.top() + rect.height()) +
               PenText(pen) + QLatin1Char(' ') + fill;
}

void RecordingSurface::drawImage(const QRect &target, const QImage &image) {
  lines << QStringLiteral("image %1 %2 %3 %4 %5x%6")
               .arg(target.left())
               .arg(target.top())
               .arg(target.width())
               .arg(target.height())
               .arg(image.width())
               .arg(image.height());
}

DeviceMetrics VirtualPrinter::LetterMetrics() {
  DeviceMetrics m;
  m.PageWidth = 5100;
  m.PageHeight = 6600;
  m.PixelsPerInchX = 600;
  m.PixelsPerInchY = 600;
  m.OffsetX = 100;
  m.OffsetY = 100;
  m.PrintableRight = 5000;
  m.PrintableBottom = 6500;
  return m;
}

void RecordingSurface::placePage(const PagePlacement &placement) {
  lines << QStringLiteral("place %1 %2 %3")
               .arg(placement.scale, 0, 'f', 4)
               .arg(placement.x, 0, 'f', 1)
               .arg(placement.y, 0, 'f', 1);
}

bool VirtualPrintTarget::beginDocument(const QString &title) {
  if (!failText.isEmpty()) return false;
  surface_.lines << QStringLiteral("begin '%1'").arg(title);
  return true;
}

}  // namespace scrivane
