#include <gtest/gtest.h>

#include <QBuffer>
#include <QFont>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QRawFont>

#include "print/FontProgram.h"
#include "print/PdfFonts.h"
#include "print/PdfObjectWriter.h"

using namespace scrivane;

namespace {

// A family, or a font file by its path.
QRawFont RawFont(const QString &family) {
  if (family.startsWith(QLatin1Char('/'))) return QRawFont(family, 100);
  QFont font(family);
  font.setPixelSize(100);
  return QRawFont::fromFont(font);
}

// Qt draws "Nimbus Mono PS" from its Type 1 files where both are installed.
const char kNimbusCff[] = "/usr/share/fonts/opentype/urw-base35/NimbusMonoPS-Regular.otf";
const char kNimbusType1[] = "/usr/share/fonts/type1/urw-base35/NimbusMonoPS-Regular.t1";

FontProgram::TableReader TablesOf(const QRawFont &raw) {
  return [raw](const char *tag) { return raw.fontTable(tag); };
}

}  // namespace

// The subset is a font of its own (a TrueType file, or a bare 'CFF ' table)
// that draws every listed glyph exactly as the whole font does, accented
// letters (built from other glyphs) included, and nothing else; glyph
// numbers do not move.
TEST(FontProgram, SubsetDrawsTheListedGlyphsAsTheWholeFontDoes) {
  const struct {
    const char *family;
    FontProgram::Outlines outlines;
  } faces[] = {
      {"Liberation Sans", FontProgram::Outlines::TrueType},
      {"DejaVu Sans Mono", FontProgram::Outlines::TrueType},
      {"WenQuanYi Micro Hei", FontProgram::Outlines::TrueType},  // one face of a collection
      {kNimbusCff, FontProgram::Outlines::Cff}};
  for (const auto &face : faces) {
    SCOPED_TRACE(face.family);
    const QRawFont whole = RawFont(QString::fromLatin1(face.family));
    ASSERT_TRUE(whole.isValid());
    const auto font = FontProgram::Read(TablesOf(whole));
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(font->outlines(), face.outlines);
    EXPECT_FALSE(font->postScriptName().isEmpty());
    const QList<quint32> kept = whole.glyphIndexesForString(QStringLiteral("Aé€ñ{;"));
    const QList<quint32> dropped = whole.glyphIndexesForString(QStringLiteral("BxZ"));
    const QByteArray file = font->Subset(std::vector<unsigned>(kept.begin(), kept.end()));

    QRawFont part(file, 100);
    ASSERT_TRUE(part.isValid());
    QRawFont em = whole;
    em.setPixelSize(font->unitsPerEm());
    for (quint32 g : kept) {
      EXPECT_EQ(part.pathForGlyph(g), whole.pathForGlyph(g)) << "glyph " << g;
      EXPECT_NEAR(font->advance(g), em.advancesForGlyphIndexes({g}).first().x(), 0.5)
          << "glyph " << g;
    }
    for (quint32 g : dropped) EXPECT_TRUE(part.pathForGlyph(g).isEmpty()) << "glyph " << g;
    const QByteArray outlines =
        whole.fontTable(face.outlines == FontProgram::Outlines::Cff ? "CFF " : "glyf");
    EXPECT_LT(file.size(), outlines.size() / 4) << "only the drawn glyphs are kept";
  }
}

// Damaged tables are refused or read, never read out of bounds, and what
// is read can be subset.
TEST(FontProgram, SurvivesDamagedTables) {
  for (const char *family : {"Liberation Sans", kNimbusCff}) {
    const QRawFont whole = RawFont(QString::fromLatin1(family));
    const char *outlines = family == kNimbusCff ? "CFF " : "glyf";
    for (const char *cut : {"head", "hhea", "hmtx", "maxp", "loca", outlines}) {
      const auto damaged = FontProgram::Read([&](const char *tag) {
        const QByteArray table = whole.fontTable(tag);
        return qstrcmp(tag, cut) == 0 ? table.left(table.size() / 3) : table;
      });
      if (damaged) {
        EXPECT_FALSE(damaged->Subset({36, 70000}).isEmpty()) << family << " " << cut;
      }
    }
    QRandomGenerator random(14);
    const QByteArray table = whole.fontTable(outlines);
    for (int round = 0; round < 100; ++round) {
      QByteArray bad = table;
      for (int k = 0; k < 20; ++k) bad[random.bounded(int(bad.size()))] = char(random.bounded(256));
      const auto font = FontProgram::Read([&](const char *tag) {
        return qstrcmp(tag, outlines) == 0 ? bad : whole.fontTable(tag);
      });
      if (font) font->Subset({0, 1, 36, 100, 2000, 70000});
    }
  }
}

// What each kind of face is embedded as: TrueType and 'CFF ' outlines as
// CID fonts holding a HarfBuzz subset, a Type 1 face (no outline tables
// at all) as Type 3 fonts of glyph outlines; all with a ToUnicode map.
TEST(PdfFonts, EachKindOfFaceIsEmbeddedAsItsOutlinesAllow) {
  const struct {
    QRawFont raw;
    const char *embedded;
  } faces[] = {
      {RawFont(QStringLiteral("DejaVu Sans Mono")), "/Subtype /CIDFontType2"},
      {RawFont(QLatin1String(kNimbusCff)), "/Subtype /CIDFontType0 "},
      {RawFont(QLatin1String(kNimbusType1)), "/Subtype /Type3"},
  };
  for (const auto &face : faces) {
    SCOPED_TRACE(face.embedded);
    ASSERT_TRUE(face.raw.isValid());
    QByteArray pdf;
    QBuffer output(&pdf);
    output.open(QIODevice::WriteOnly);
    PdfObjectWriter objects;
    objects.output = &output;
    PdfFonts fonts(objects);
    PdfFont &font = *fonts.fontFor(face.raw);
    const QString text = QStringLiteral("Az");
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QString character = text.mid(i, 1);
      fonts.use(font, face.raw.glyphIndexesForString(character).first(), &character);
    }
    fonts.writeAll();
    objects.drain();
    EXPECT_TRUE(pdf.contains(face.embedded));
    EXPECT_TRUE(pdf.contains("/ToUnicode"));
    const bool cff = qstrcmp(face.embedded, "/Subtype /CIDFontType0 ") == 0;
    EXPECT_EQ(pdf.contains("/FontFile3"), cff);
    EXPECT_EQ(pdf.contains("/Subtype /CIDFontType0C"), cff);
  }
}
