#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QRegularExpression>
#include <vector>

#include "print/PdfObjectWriter.h"
#include "print/PdfWriter.h"
#include "print/QtTextMeasurer.h"

using namespace scrivane;

namespace {

// The page streams of a PDF we wrote, inflated and joined.
QByteArray PageStreams(const QByteArray &pdf) {
  QByteArray all;
  static const QRegularExpression stream(QStringLiteral("<< /Length (\\d+) /Filter /FlateDecode >>\\nstream\\n"));
  const QString latin = QString::fromLatin1(pdf);
  for (auto it = stream.globalMatch(latin); it.hasNext();) {
    const auto m = it.next();
    const QByteArray packed = pdf.mid(m.capturedEnd(), m.captured(1).toLongLong());
    QByteArray out(1 << 20, '\0');
    uLongf size = uLongf(out.size());
    if (uncompress(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(packed.constData()),
                   uLong(packed.size())) == Z_OK)
      all += out.left(qsizetype(size));
  }
  return all;
}

// The page content of a one-page PDF with one text drawn on it.
QByteArray DrawnPage(QtTextMeasurer &measurer, const FontSpec &font, const QByteArray &text, TextEncoding encoding) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  EXPECT_TRUE(buffer.open(QIODevice::WriteOnly));
  PdfWriter writer(measurer);
  EXPECT_TRUE(writer.open(&buffer, 595, 842, 600, QStringLiteral("t")));
  writer.surface().drawTextIn(600, 600, font, text, encoding);
  QString error;
  EXPECT_TRUE(writer.close(&error)) << error.toStdString();
  return PageStreams(bytes);
}

}  // namespace

// Qt makes up an italic or a bold for a face that has none (the Japanese
// fallback font here); the PDF slants or thickens that face the same way,
// and leaves faces that have the style alone.
TEST(PdfWriter, MadeUpItalicAndBoldAreDrawnAsQtDrawsThem) {
  QtTextMeasurer measurer(600);
  const QByteArray japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
  struct Case {
    FontSpec font;
    QByteArray text;
    bool slanted, thickened;
  };
  const Case cases[] = {
      {{QStringLiteral("Arial"), 10, StyleItalic, 0}, japanese, true, false},
      {{QStringLiteral("Arial"), 10, StyleBold, 0}, japanese, false, true},
      {{QStringLiteral("Arial"), 10, 0, 0}, japanese, false, false},
      {{QStringLiteral("Arial"), 10, StyleBold | StyleItalic, 0}, "Latin", false, false},
  };
  for (const Case &c : cases) {
    const QByteArray page = DrawnPage(measurer, c.font, c.text, TextEncoding::Utf8);
    ASSERT_TRUE(page.contains("TJ")) << page.toStdString();
    EXPECT_EQ(page.contains("1 0 0.2 1 "), c.slanted) << c.font.style << "\n" << page.toStdString();
    EXPECT_EQ(page.contains(" 2 Tr "), c.thickened) << c.font.style << "\n" << page.toStdString();
  }
}

// Glyph codes go into literal strings byte for byte. The bytes a literal
// string cannot hold as they are ("(", ")", "\\" and a carriage return,
// which a reader takes for an end of line) are escaped, so the codes read
// back are the glyphs drawn, whatever their numbers.
TEST(PdfWriter, GlyphCodesReadBackFromTheirLiteralStrings) {
  QtTextMeasurer measurer(600);
  const FontSpec font{QStringLiteral("Arial"), 10, 0, 0};
  const QtTextMeasurer::GlyphTable &table = measurer.glyphTable(font);
  QByteArray text;
  std::vector<unsigned> drawn;
  for (int c = 0x21; c < 0x100; ++c)
    if (table.glyph[c] != 0 && !QtTextMeasurer::GlyphTable::Invisible(static_cast<unsigned char>(c))) {
      text += char(c);
      drawn.push_back(table.glyph[c]);
    }
  const QByteArray page = DrawnPage(measurer, font, text, TextEncoding::Windows1252);

  // The strings of the text arrays, unescaped; the numbers between them
  // (shifts) are passed over.
  QByteArray codes;
  int escaped = 0;
  for (qsizetype at = page.indexOf("[("); at >= 0 && at < page.size(); at = page.indexOf("[(", at)) {
    for (++at; at < page.size() && page[at] != ']'; ++at) {
      if (page[at] != '(') continue;
      for (++at; page[at] != ')'; ++at) {
        if (page[at] == '\\') {
          ++escaped;
          ++at;
          codes += page[at] == 'r' ? '\r' : page[at];
        } else {
          codes += page[at];
        }
      }
    }
  }
  std::vector<unsigned> read;
  for (qsizetype i = 0; i + 1 < codes.size(); i += 2)
    read.push_back(unsigned(static_cast<unsigned char>(codes[i])) << 8 | static_cast<unsigned char>(codes[i + 1]));
  EXPECT_EQ(read, drawn);
  EXPECT_GT(escaped, 0) << "no glyph number held a byte that needs escaping: the test proves nothing";
}

// Every coordinate, size and glyph of a page goes through these.
TEST(PdfWriter, NumbersAndGlyphCodesAreWrittenAsPdfWantsThem) {
  const struct {
    double value;
    const char *text;
  } numbers[] = {{0, "0"},          {-0.0001, "0"},      {1, "1"},         {-1, "-1"},       {0.5, "0.5"},
                 {0.05, "0.05"},    {0.005, "0.005"},    {0.105, "0.105"}, {0.12, "0.12"},   {-12.3456, "-12.346"},
                 {841.89, "841.89"}, {1e9 + 0.25, "1000000000.25"}, {-0.0005, "-0.001"}, {0.9999, "1"}};
  for (const auto &n : numbers) {
    std::string out = "x";
    AppendNumber(out, n.value);
    EXPECT_EQ(out, std::string("x") + n.text) << n.value;
  }
  std::string hex;
  AppendHex4(hex, 0x0A1F);
  AppendHex4(hex, 0xFFFF);
  AppendHex2(hex, 0x07);
  AppendHex2(hex, 0xE0);
  EXPECT_EQ(hex, "0A1FFFFF07E0");
}

// Every object's dictionary is written through PdfDictionary: one blank
// before each key and each value, none doubled, whatever the kind of value.
TEST(PdfWriter, DictionariesAreWrittenWithOneBlankBetweenTheirParts) {
  PdfDictionary d;
  EXPECT_TRUE(d.empty());
  EXPECT_EQ(d.str(), "<< >>");
  d.name("Type", "Font").integer("Count", -3).number("Angle", -12.5).reference("Parent", 7);
  d.text("Title", QStringLiteral("A\u00e9")).raw("Kids", "[7 0 R]");
  EXPECT_FALSE(d.empty());
  const std::string fields = " /Type /Font /Count -3 /Angle -12.5 /Parent 7 0 R /Title <FEFF004100E9> /Kids [7 0 R]";
  EXPECT_EQ(d.str(), "<<" + fields + " >>");
  EXPECT_EQ(d.fields(), fields);
}
