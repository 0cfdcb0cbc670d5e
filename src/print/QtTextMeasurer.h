#pragma once
// Measures text as the printer draws it, without a printer object: Qt's font
// metrics on an image whose resolution equals the printer's give exactly the
// printer's values (screen metrics scaled up are about 2 % off).
#include <QFont>
#include <QHash>
#include <QImage>
#include <QRawFont>
#include <array>
#include <memory>
#include <vector>

#include "print/PageDevice.h"

namespace scrivane {

class QtTextMeasurer : public TextMeasurer {
  struct Entry;

 public:
  explicit QtTextMeasurer(int dotsPerInch = 600);
  ~QtTextMeasurer() override;

  int textWidth(const FontSpec &font, QByteArrayView text) override;
  // A UTF-8 word is measured whole, as Qt shapes it, so that characters
  // outside Windows-1252 (and fallback fonts) get their own advances.
  int textWidthIn(const FontSpec &font, QByteArrayView text, TextEncoding encoding) override;
  int textHeight(const FontSpec &font, QByteArrayView text) override;
  int charWidth(const FontSpec &font, unsigned char c) override;
  int charAdvance64(const FontSpec &font, unsigned char c) override;
  const std::array<int, 256> *advances64(const FontSpec &font) override;
  int ascent(const FontSpec &font);

  int dotsPerInch() const { return dotsPerInch_; }
  // The font as drawn on a device of this resolution (pixel size =
  // round(points x dpi / 72)); surfaces draw with this same font.
  QFont qfont(const FontSpec &font) const;
  // The same, built once per font.
  const QFont &cachedFont(const FontSpec &font);

  // What drawing a byte string takes without shaping it: the font file at
  // the device's pixel size and, per byte, its glyph (0 when the font has
  // none, so the caller must let Qt pick a fallback font) and its advance in
  // 1/64 pixel, the same advances textWidth sums.
  struct GlyphTable {
    QRawFont rawFont;
    std::array<quint32, 256> glyph{};
    int ascent = 0;
    // Found on first use, as the measurer finds them: asking Qt for all
    // 256 at once looked up a fallback font for every byte the font has no
    // glyph for, most of the time a short print took.
    int Advance64(unsigned char c) const {
      const int advance = (*advance64_)[c];
      return advance >= 0 ? advance : Learn(c);
    }
    // Control characters draw nothing, as with Qt's own text drawing.
    static bool Invisible(unsigned char c) { return c < 0x20 || c == 0x7F; }
    // True when every byte of text has a glyph here (or draws nothing);
    // otherwise the text needs Qt's font fallback, which only shaping gives.
    bool Draws(QByteArrayView text) const {
      if (!rawFont.isValid()) return false;
      for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (glyph[c] == 0 && !Invisible(c)) return false;
      }
      return true;
    }

   private:
    friend class QtTextMeasurer;
    int Learn(unsigned char c) const;
    std::array<int, 256> *advance64_ = nullptr;  // the measurer's, -1 where not known yet
    Entry *entry_ = nullptr;
  };
  const GlyphTable &glyphTable(const FontSpec &font);

  // One character of a UTF-8 text placed without shaping.
  struct PlacedGlyph {
    quint32 glyph = 0;
    int advance64 = 0;  // 1/64 pixel, as textWidthIn sums them
    char32_t character = 0;
    bool invisible = false;  // a control character: takes its advance, draws nothing
  };
  // The glyphs of a UTF-8 text in the font itself, laid out as Qt lays them
  // out with kerning off: null when a character needs shaping (a combining
  // mark, a script whose letters join or reorder, a character beyond the
  // basic plane) or another font, and Qt must lay the text out. Shaping
  // every word of a unit with comments in Russian or Greek took most of the
  // time its listing took. The list is valid until the next call.
  // The text is checked as it is read: where it is not valid UTF-8 the
  // result is null and *invalid (if given) true, so that callers need not
  // check every word first.
  const std::vector<PlacedGlyph> *layOutSimply(const FontSpec &font, QByteArrayView utf8,
                                               bool *invalid = nullptr);

 private:
  Entry &entryFor(const FontSpec &font);
  const GlyphTable &tableOf(Entry &entry);

  int dotsPerInch_;
  QImage device_;
  QHash<QString, std::shared_ptr<Entry>> entries_;
  std::vector<PlacedGlyph> placed_;
  // The fonts asked for lately. A listing switches fonts word by word
  // (reserved words, comments, numbers), and building the hash key for
  // each measure took a tenth of the time a print took.
  struct Recent {
    QString face;
    int pointSize = 0;
    int style = 0;
    Entry *entry = nullptr;
  };
  std::array<Recent, 16> recent_;
  unsigned recentNext_ = 0, recentLast_ = 0;
};

}  // namespace scrivane
