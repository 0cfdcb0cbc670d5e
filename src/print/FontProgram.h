#pragma once
// A face as a PDF embeds it: read and subset by HarfBuzz from the tables
// of an OpenType font, with TrueType ('glyf') or PostScript ('CFF ')
// outlines. The subset keeps glyph numbers, so pages can name glyphs by
// their number in the whole font before the subset is made.
#include <QByteArray>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct hb_face_t;
struct hb_font_t;

namespace scrivane {

class FontProgram {
 public:
  // A table of the font by its four-letter tag, empty when the font has none.
  using TableReader = std::function<QByteArray(const char *tag)>;

  enum class Outlines { TrueType, Cff };

  // Nothing when the font has no outlines a PDF takes with glyph numbers as
  // character identifiers (no 'glyf' nor 'CFF ' table, a CID-keyed 'CFF '
  // table, whose identifiers are not glyph numbers), or when HarfBuzz
  // cannot read or subset it.
  static std::optional<FontProgram> Read(const TableReader &table);

  Outlines outlines() const { return outlines_; }
  int unitsPerEm() const { return unitsPerEm_; }
  unsigned glyphCount() const { return glyphCount_; }
  double italicAngle() const { return italicAngle_; }
  bool italic() const { return italic_; }
  bool bold() const { return bold_; }
  // The PostScript name from the naming table, letters, digits and "-"
  // only; empty when the font names none.
  const QByteArray &postScriptName() const { return postScriptName_; }
  // Advance of a glyph, font units.
  int advance(unsigned glyph) const;
  // The box around the given glyphs drawn at one origin, font units:
  // x min, y min, x max, y max.
  std::array<int, 4> box(const std::vector<unsigned> &glyphs) const;

  // What the PDF embeds, holding only the listed glyphs (and glyph 0,
  // which readers draw for a missing glyph), glyph numbers unchanged: a
  // TrueType font file, or for PostScript outlines the bare 'CFF ' table.
  // Empty when HarfBuzz fails.
  QByteArray Subset(const std::vector<unsigned> &glyphs) const;

 private:
  FontProgram() = default;

  std::shared_ptr<hb_face_t> face_;
  std::shared_ptr<hb_font_t> font_;
  Outlines outlines_ = Outlines::TrueType;
  int unitsPerEm_ = 1000;
  unsigned glyphCount_ = 0;
  double italicAngle_ = 0;
  bool italic_ = false, bold_ = false;
  QByteArray postScriptName_;
};

}  // namespace scrivane
