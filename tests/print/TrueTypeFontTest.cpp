#include <gtest/gtest.h>

#include <QFont>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QRawFont>

#include "print/TrueTypeFont.h"

using namespace scrivane;

namespace {

QRawFont RawFont(const QString &family) {
  QFont font(family);
  font.setPixelSize(100);
  return QRawFont::fromFont(font);
}

TrueTypeFont::TableReader TablesOf(const QRawFont &raw) {
  return [raw](const char *tag) { return raw.fontTable(tag); };
}

quint32 SumOfWords(const QByteArray &file) {
  quint32 sum = 0;
  for (qsizetype i = 0; i < file.size(); i += 4) {
    quint32 word = 0;
    for (int k = 0; k < 4; ++k) word = (word << 8) | (i + k < file.size() ? quint8(file[i + k]) : 0);
    sum += word;
  }
  return sum;
}

}  // namespace

// The subset is a font of its own that draws every listed glyph exactly as
// the whole font does, accented letters (built from other glyphs) included,
// and nothing else; glyph numbers do not move.
TEST(TrueTypeFont, SubsetDrawsTheListedGlyphsAsTheWholeFontDoes) {
  for (const QString &family : {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Mono")}) {
    const QRawFont whole = RawFont(family);
    ASSERT_TRUE(whole.isValid()) << family.toStdString();
    const auto font = TrueTypeFont::read(TablesOf(whole));
    ASSERT_TRUE(font.has_value()) << family.toStdString();
    const QString kept = QStringLiteral("Aé€ñ{;");
    const QString dropped = QStringLiteral("BxZ");
    std::vector<unsigned> glyphs;
    for (quint32 g : whole.glyphIndexesForString(kept)) glyphs.push_back(g);
    const QByteArray file = font->subset(glyphs);
    EXPECT_EQ(SumOfWords(file), 0xB1B0AFBAu) << "the checksum adjustment makes the whole file sum to the magic";

    QRawFont part(file, 100);
    ASSERT_TRUE(part.isValid()) << family.toStdString();
    const auto reread = TrueTypeFont::read(TablesOf(part));
    ASSERT_TRUE(reread.has_value());
    EXPECT_EQ(reread->glyphCount(), font->glyphCount());
    for (quint32 g : whole.glyphIndexesForString(kept)) {
      EXPECT_EQ(part.pathForGlyph(g), whole.pathForGlyph(g)) << family.toStdString() << " glyph " << g;
      EXPECT_EQ(reread->advance(g), font->advance(g));
    }
    for (quint32 g : whole.glyphIndexesForString(dropped)) EXPECT_TRUE(part.pathForGlyph(g).isEmpty()) << g;
    EXPECT_LT(file.size(), whole.fontTable("glyf").size() / 4) << "only the drawn glyphs are kept";
  }
}

// Fonts a PDF cannot take as TrueType (PostScript outlines) or damaged ones
// are refused, and a damaged outline table never reads out of bounds.
TEST(TrueTypeFont, RefusesWhatItCannotEmbedAndSurvivesDamagedTables) {
  const QRawFont postScript = RawFont(QStringLiteral("Nimbus Mono PS"));
  ASSERT_TRUE(postScript.isValid());
  EXPECT_FALSE(TrueTypeFont::read(TablesOf(postScript)).has_value()) << "no 'glyf' table";

  const QRawFont whole = RawFont(QStringLiteral("Liberation Sans"));
  struct Cut {
    const char *tag;
    qsizetype keep;
  };
  for (const Cut cut : {Cut{"head", 40}, Cut{"hhea", 20}, Cut{"maxp", 4}, Cut{"loca", 100}, Cut{"hmtx", 8}}) {
    const auto damaged = TrueTypeFont::read([&](const char *tag) {
      const QByteArray table = whole.fontTable(tag);
      return qstrcmp(tag, cut.tag) == 0 ? table.left(cut.keep) : table;
    });
    EXPECT_FALSE(damaged.has_value()) << cut.tag << " cut to " << cut.keep;
  }

  QRandomGenerator random(14);
  const QByteArray glyf = whole.fontTable("glyf");
  const QByteArray loca = whole.fontTable("loca");
  const std::vector<unsigned> glyphs{0, 1, 36, 100, 136, 200, 2000, 70000};
  for (int round = 0; round < 300; ++round) {
    QByteArray badGlyf = glyf, badLoca = loca;
    for (int k = 0; k < 20; ++k) {
      QByteArray &target = k % 2 ? badGlyf : badLoca;
      target[random.bounded(int(target.size()))] = char(random.bounded(256));
    }
    const auto font = TrueTypeFont::read([&](const char *tag) {
      if (qstrcmp(tag, "glyf") == 0) return badGlyf;
      if (qstrcmp(tag, "loca") == 0) return badLoca;
      return whole.fontTable(tag);
    });
    ASSERT_TRUE(font.has_value());
    EXPECT_FALSE(font->subset(glyphs).isEmpty());
  }
}
