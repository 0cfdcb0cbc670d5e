#include "print/QtTextMeasurer.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "platform/Text1252.h"
#include "print/PdfShaping.h"

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
  // Characters of the basic plane beyond the 8-bit table, found on first
  // use, in pages of 256 made as met: a table read by index, because a
  // hash look-up and Qt's script and category for every letter of a
  // Russian comment took a quarter of the time its listing took.
  struct Wide {
    quint32 glyph = 0;
    int advance64 = 0;
    signed char placed =
        0;  // 1: drawn without shaping; -1: needs shaping or another font; 0: not met
  };
  std::array<std::unique_ptr<std::array<Wide, 256>>, 256> widePages;
  explicit Entry(const QFont &font, QPaintDevice *device)
      : font(font),
        metrics(font, device),
        exact(font, device),
        height(metrics.height()),
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
  result.setPixelSize(
      int(std::clamp(std::round(double(font.pointSize) * dotsPerInch_ / 72.0), 1.0, 32767.0)));
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
  const int style = font.style & (StyleBold | StyleItalic | StyleUnderline);
  // A slot holds its face, so a face whose text is the slot's own (the
  // same data) is that face: no letter needs comparing.
  auto sameData = [&](const Recent &r) {
    return r.entry && r.pointSize == font.pointSize && r.style == style &&
           r.face.constData() == font.face.constData() && r.face.size() == font.face.size();
  };
  if (sameData(recent_[recentLast_])) return *recent_[recentLast_].entry;
  for (unsigned i = 0; i < recent_.size(); ++i)
    if (sameData(recent_[i])) {
      recentLast_ = i;
      return *recent_[i].entry;
    }
  // Another copy of a face's name, or a font not asked for lately: it
  // takes a slot of its own.
  Entry *entry = nullptr;
  for (const Recent &r : recent_)
    if (r.entry && r.pointSize == font.pointSize && r.style == style && r.face == font.face) {
      entry = r.entry;
      break;
    }
  if (!entry) {
    auto &slot = entries_[CacheKey(font)];
    if (!slot) slot = std::make_shared<Entry>(qfont(font), &device_);
    entry = slot.get();
  }
  recentLast_ = recentNext_;
  recent_[recentNext_] = {font.face, font.pointSize, style, entry};
  recentNext_ = (recentNext_ + 1) % recent_.size();
  return *entry;
}

int QtTextMeasurer::charWidth(const FontSpec &font, unsigned char c) {
  return RoundFrom64(entryFor(font).Advance64(c));
}

int QtTextMeasurer::charAdvance64(const FontSpec &font, unsigned char c) {
  return entryFor(font).Advance64(c);
}

const std::array<int, 256> *QtTextMeasurer::advances64(const FontSpec &font) {
  return &entryFor(font).advance64;
}

int QtTextMeasurer::textWidth(const FontSpec &font, QByteArrayView text) {
  Entry &entry = entryFor(font);
  long long width64 = 0;
  for (char ch : text) width64 += entry.Advance64(static_cast<unsigned char>(ch));
  return RoundFrom64(width64);
}

int QtTextMeasurer::textWidthIn(const FontSpec &font, QByteArrayView text, TextEncoding encoding) {
  if (encoding == TextEncoding::Windows1252 || IsAscii(text)) return textWidth(font, text);
  bool invalid = false;
  if (const std::vector<PlacedGlyph> *glyphs = layOutSimply(font, text, &invalid)) {
    long long width64 = 0;
    for (const PlacedGlyph &g : *glyphs) width64 += g.advance64;
    return RoundFrom64(width64);
  }
  if (invalid) return textWidth(font, text);
  Entry &entry = entryFor(font);
  const QString wide = QString::fromUtf8(text);
  const QFont used = FontForText(entry.font, wide);
  const double width = used == entry.font ? entry.exact.horizontalAdvance(wide)
                                          : QFontMetricsF(used, &device_).horizontalAdvance(wide);
  return RoundFrom64(std::llround(width * 64.0));
}

namespace {
// Letters that stand alone: no joining, no reordering, no marks.
bool PlacedWithoutShaping(char32_t c) {
  if (c > 0xFFFF) return false;
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
    case QChar::Other_Control:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
      return false;
    default:
      break;
  }
  switch (QChar::script(c)) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Armenian:
    case QChar::Script_Georgian:
      return true;
    default:
      return false;
  }
}
}  // namespace

const std::vector<QtTextMeasurer::PlacedGlyph> *QtTextMeasurer::layOutSimply(const FontSpec &font,
                                                                             QByteArrayView utf8,
                                                                             bool *invalid) {
  if (invalid) *invalid = false;
  // Not laid out here: the caller shapes the text, unless it is not UTF-8.
  auto giveUp = [&]() -> const std::vector<PlacedGlyph> * {
    if (invalid) *invalid = !IsValidUtf8(utf8);
    return nullptr;
  };
  Entry &entry = entryFor(font);
  const GlyphTable &table = tableOf(entry);
  if (!table.rawFont.isValid()) return giveUp();
  placed_.clear();
  const auto *bytes = reinterpret_cast<const unsigned char *>(utf8.data());
  const qsizetype size = utf8.size();
  for (qsizetype i = 0; i < size;) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      const bool invisible = GlyphTable::Invisible(lead);
      if (!invisible && table.glyph[lead] == 0) return giveUp();
      placed_.push_back({table.glyph[lead], table.Advance64(lead), lead, invisible});
      ++i;
      continue;
    }
    const qsizetype length = Utf8SequenceLength(utf8, i);
    if (length == 0) {
      if (invalid) *invalid = true;
      return nullptr;
    }
    char32_t c = lead & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k) c = (c << 6) | (bytes[i + k] & 0x3F);
    i += length;
    if (c > 0xFFFF) return giveUp();
    auto &page = entry.widePages[c >> 8];
    if (!page) page = std::make_unique<std::array<Entry::Wide, 256>>();
    Entry::Wide &wide = (*page)[c & 0xFF];
    if (wide.placed == 0) {
      wide.placed = -1;
      if (PlacedWithoutShaping(c)) {
        const QString character{QChar(char16_t(c))};
        const QList<quint32> glyph = table.rawFont.glyphIndexesForString(character);
        wide.glyph = glyph.size() == 1 ? glyph.first() : 0;
        wide.advance64 = int(std::lround(entry.exact.horizontalAdvance(character) * 64.0));
        if (wide.glyph != 0) wide.placed = 1;
      }
    }
    if (wide.placed < 0) return giveUp();
    placed_.push_back({wide.glyph, wide.advance64, c, false});
  }
  return &placed_;
}

int QtTextMeasurer::textHeight(const FontSpec &font, QByteArrayView) {
  return entryFor(font).height;
}

int QtTextMeasurer::ascent(const FontSpec &font) { return entryFor(font).ascent; }

const QFont &QtTextMeasurer::cachedFont(const FontSpec &font) { return entryFor(font).font; }

int QtTextMeasurer::GlyphTable::Learn(unsigned char c) const { return entry_->Advance64(c); }

const QtTextMeasurer::GlyphTable &QtTextMeasurer::glyphTable(const FontSpec &font) {
  return tableOf(entryFor(font));
}

const QtTextMeasurer::GlyphTable &QtTextMeasurer::tableOf(Entry &entry) {
  if (!entry.glyphs) {
    auto table = std::make_unique<GlyphTable>();
    table->rawFont = QRawFont::fromFont(entry.font);
    table->ascent = entry.ascent;
    table->advance64_ = &entry.advance64;
    table->entry_ = &entry;
    QString all(256, Qt::Uninitialized);
    for (int c = 0; c < 256; ++c) all[c] = Char1252(static_cast<unsigned char>(c));
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
