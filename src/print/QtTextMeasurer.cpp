#include "print/QtTextMeasurer.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "platform/Text1252.h"

namespace scrivane {

namespace {
QString CacheKey(const FontSpec &font) {
  return font.face + QLatin1Char('/') + QString::number(font.pointSize) + QLatin1Char('/') +
         QString::number(font.style & (StyleBold | StyleItalic | StyleUnderline));
}
}  // namespace

// Advances are kept in 1/64 pixel, the unit Qt lays text out in: QPainter
// places the glyphs of a string at the running sum of these unrounded
// advances, so summing whole-pixel widths instead would drift from the drawn
// text by up to a character's width on a long line.
struct QtTextMeasurer::Entry {
  QFont font;
  QFontMetrics metrics;
  QFontMetricsF exact;
  std::array<int, 256> advance64;
  int height;
  int ascent;
  std::unique_ptr<GlyphTable> glyphs;  // built on the first draw
  explicit Entry(const QFont &font, QPaintDevice *device)
      : font(font), metrics(font, device), exact(font, device), height(metrics.height()),
        ascent(metrics.ascent()) {
    advance64.fill(-1);
  }
  int Advance64(unsigned char c) {
    int &advance = advance64[c];
    if (advance < 0) advance = int(std::lround(exact.horizontalAdvance(Char1252(c)) * 64.0));
    return advance;
  }
};

namespace {
int RoundFrom64(long long value) { return int((value + 32) >> 6); }
}  // namespace

QtTextMeasurer::QtTextMeasurer(int dotsPerInch)
    : dotsPerInch_(dotsPerInch > 0 ? dotsPerInch : 600), device_(1, 1, QImage::Format_RGB32) {
  const int dotsPerMeter = int(std::lround(dotsPerInch_ / 0.0254));
  device_.setDotsPerMeterX(dotsPerMeter);
  device_.setDotsPerMeterY(dotsPerMeter);
}

QtTextMeasurer::~QtTextMeasurer() = default;

QFont QtTextMeasurer::qfont(const FontSpec &font) const {
  QFont result(font.face);
  // In floating point: points times dots per inch overflows an int for a
  // size no settings file should hold but a hand-edited one can.
  result.setPixelSize(int(std::clamp(std::round(double(font.pointSize) * dotsPerInch_ / 72.0), 1.0, 32767.0)));
  result.setBold(font.bold());
  result.setItalic(font.italic());
  result.setUnderline(font.underline());
  // Whole-pixel advances that do not depend on hinting, so the widths we
  // lay out with are the ones the PDF and the printer draw.
  result.setHintingPreference(QFont::PreferNoHinting);
  result.setStyleStrategy(QFont::NoSubpixelAntialias);
  result.setKerning(false);
  return result;
}

QtTextMeasurer::Entry &QtTextMeasurer::entryFor(const FontSpec &font) {
  if (lastEntry_ && lastFont_.pointSize == font.pointSize && lastFont_.style == font.style &&
      lastFont_.face == font.face)
    return *lastEntry_;
  auto &slot = entries_[CacheKey(font)];
  if (!slot) slot = std::make_shared<Entry>(qfont(font), &device_);
  lastFont_ = font;
  lastEntry_ = slot.get();
  return *slot;
}

int QtTextMeasurer::charWidth(const FontSpec &font, unsigned char c) {
  return RoundFrom64(entryFor(font).Advance64(c));
}

int QtTextMeasurer::charAdvance64(const FontSpec &font, unsigned char c) {
  return entryFor(font).Advance64(c);
}

int QtTextMeasurer::textWidth(const FontSpec &font, QByteArrayView text) {
  Entry &entry = entryFor(font);
  long long width64 = 0;
  for (char ch : text) width64 += entry.Advance64(static_cast<unsigned char>(ch));
  return RoundFrom64(width64);
}

int QtTextMeasurer::textWidthIn(const FontSpec &font, QByteArrayView text, TextEncoding encoding) {
  if (encoding == TextEncoding::Windows1252 || IsAscii(text) || !IsValidUtf8(text)) return textWidth(font, text);
  return RoundFrom64(std::llround(entryFor(font).exact.horizontalAdvance(QString::fromUtf8(text)) * 64.0));
}

int QtTextMeasurer::textHeight(const FontSpec &font, QByteArrayView) { return entryFor(font).height; }

int QtTextMeasurer::ascent(const FontSpec &font) { return entryFor(font).ascent; }

const QFont &QtTextMeasurer::cachedFont(const FontSpec &font) { return entryFor(font).font; }

const QtTextMeasurer::GlyphTable &QtTextMeasurer::glyphTable(const FontSpec &font) {
  Entry &entry = entryFor(font);
  if (!entry.glyphs) {
    auto table = std::make_unique<GlyphTable>();
    table->rawFont = QRawFont::fromFont(entry.font);
    table->ascent = entry.ascent;
    QString all(256, Qt::Uninitialized);
    for (int c = 0; c < 256; ++c) {
      all[c] = Char1252(static_cast<unsigned char>(c));
      table->advance64[c] = entry.Advance64(static_cast<unsigned char>(c));
    }
    if (table->rawFont.isValid()) {
      const QList<quint32> indexes = table->rawFont.glyphIndexesForString(all);
      if (indexes.size() == 256)
        for (int c = 0; c < 256; ++c) table->glyph[c] = indexes[c];
    }
    entry.glyphs = std::move(table);
  }
  return *entry.glyphs;
}

}  // namespace scrivane
