#pragma once
// The parts of a TrueType font (glyph outlines in a 'glyf' table) a PDF
// needs: its metrics, its advances, and a copy holding only the outlines of
// the glyphs a document draws. Fonts with PostScript outlines ('CFF ') or
// without outlines are not TrueType fonts here; read() refuses them.
#include <QByteArray>
#include <functional>
#include <optional>
#include <vector>

namespace scrivane {

class TrueTypeFont {
 public:
  // A table of the font by its four-letter tag, empty when the font has none.
  using TableReader = std::function<QByteArray(const char *tag)>;

  // Nothing when a table the PDF needs is missing or too short for what its
  // header says.
  static std::optional<TrueTypeFont> read(const TableReader &table);

  int unitsPerEm() const { return unitsPerEm_; }
  int glyphCount() const { return glyphCount_; }
  // In font units: the box of all glyphs, the line's ascent and descent
  // (negative), the height of capitals.
  int xMin() const { return xMin_; }
  int yMin() const { return yMin_; }
  int xMax() const { return xMax_; }
  int yMax() const { return yMax_; }
  int ascent() const { return ascent_; }
  int descent() const { return descent_; }
  int capHeight() const { return capHeight_; }
  double italicAngle() const { return italicAngle_; }
  bool fixedPitch() const { return fixedPitch_; }
  bool bold() const { return weightClass_ >= 600; }
  // The PostScript name from the naming table, letters, digits and "-"
  // only; empty when the font names none.
  const QByteArray &postScriptName() const { return postScriptName_; }
  // Advance of a glyph, font units.
  int advance(unsigned glyph) const;

  // The font as a file of its own, glyph numbers unchanged, in which every
  // glyph not listed (nor part of a listed composite glyph) is empty.
  // Glyph 0 is always kept: readers draw it for a missing glyph.
  QByteArray subset(const std::vector<unsigned> &glyphs) const;

 private:
  TrueTypeFont() = default;
  bool glyphRange(unsigned glyph, quint32 *start, quint32 *end) const;

  QByteArray head_, hhea_, hmtx_, maxp_, loca_, glyf_, cvt_, fpgm_, prep_;
  int unitsPerEm_ = 1000;
  int glyphCount_ = 0;
  int metricCount_ = 0;
  bool longOffsets_ = false;
  int xMin_ = 0, yMin_ = 0, xMax_ = 0, yMax_ = 0;
  int ascent_ = 0, descent_ = 0, capHeight_ = 0;
  double italicAngle_ = 0;
  bool fixedPitch_ = false;
  int weightClass_ = 400;
  QByteArray postScriptName_;
};

}  // namespace scrivane
