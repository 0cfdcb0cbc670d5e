#pragma once
// The fonts of a PDF we write: each face drawn gets one font object, and
// at the end of the document each is embedded holding only the glyphs the
// pages drew. A face with TrueType or PostScript ('CFF ') outlines is
// embedded as a CID font subset by HarfBuzz, whose CIDs are the glyph
// numbers; a face HarfBuzz cannot take (a Type 1 or bitmap font, which has
// no such tables, or a 'CFF ' table keyed by CIDs) is embedded as Type 3
// fonts of glyph outlines drawn from Qt's paths. Every font carries a
// ToUnicode map, so text stays searchable and copyable.
#include <QHash>
#include <QRawFont>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "print/FontProgram.h"

namespace scrivane {

class PdfObjectWriter;

// The style the face itself has, from its tables: Qt's QRawFont reports
// the style asked for, made up or not.
struct FaceStyle {
  bool italic = true;  // a face without tables is taken as it comes
  bool bold = true;
};

// A face as the document embeds it, whatever sizes it is drawn at.
struct PdfFont {
  QRawFont raw;  // the face, at the size it was first met
  FaceStyle face;
  std::optional<FontProgram> program;  // nothing: embedded as glyph outlines
  int number = 0;  // the resource names are F<number> (CID fonts) or F<number>_<k> (outline fonts)
  int object = 0;  // CID fonts: the font's object
  // CID fonts: glyphs drawn, by glyph number, and the width listed for each
  // (negative: the font's own). A glyph drawn through an 8-bit table is
  // listed with the advance the layout gave it at the first size it was
  // drawn at, so rows of that size need no corrections between glyphs.
  std::vector<bool> used;
  std::vector<unsigned> usedList;
  std::vector<double> widths;
  // Outline fonts: glyphs by code in order of first use, 256 codes a font.
  QHash<unsigned, int> codes;
  std::vector<unsigned> glyphsByCode;
  std::vector<double> widthsByCode;  // 1/1000 em
  std::vector<int> outlineObjects;   // by block of 256 codes
  QHash<unsigned, QString> text;     // what a glyph stands for, for copying text out

  // Advance of a CID font's glyph, 1/1000 em, as the font dictionary lists it.
  double width(unsigned glyph) const {
    if (glyph < widths.size() && widths[glyph] >= 0) return widths[glyph];
    return std::llround(program->advance(glyph) * 1000000.0 / program->unitsPerEm()) / 1000.0;
  }
};

class PdfFonts {
 public:
  // Font objects are numbered and written through objects (not owned).
  explicit PdfFonts(PdfObjectWriter &objects) : objects_(objects) {}

  // The document's font for a face, made when the face is first met.
  PdfFont *fontFor(const QRawFont &raw);
  // Marks a glyph as drawn; for an outline font, returns its code.
  // layoutWidth: the glyph's advance in the layout, 1/1000 em, or negative.
  int use(PdfFont &font, unsigned glyph, const QString *stands, double layoutWidth = -1);
  // Embeds every font drawn; returns the resources' font dictionary
  // ("<< /F1 7 0 R ... >>").
  std::string writeAll();

 private:
  void putToUnicode(int object, const std::vector<std::pair<unsigned, QString>> &map,
                    bool twoBytes);
  void putCidFont(PdfFont &font);
  void putOutlineFont(PdfFont &font);

  PdfObjectWriter &objects_;
  std::vector<std::unique_ptr<PdfFont>> fonts_;
  QHash<QByteArray, PdfFont *> fontsByFace_;
};

}  // namespace scrivane
