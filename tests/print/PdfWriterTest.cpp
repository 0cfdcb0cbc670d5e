#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QRegularExpression>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "print/PdfObjectWriter.h"
#include "print/PdfWriter.h"
#include "print/QtTextMeasurer.h"
#include "support/PdfObjects.h"

using namespace scrivane;

namespace {

// The page streams of a PDF we wrote, inflated, in order.
std::vector<QByteArray> PageStreamList(const QByteArray &pdf) {
  std::vector<QByteArray> all;
  static const QRegularExpression stream(
      QStringLiteral("<< /Length (\\d+) /Filter /FlateDecode >>\\nstream\\n"));
  const QString latin = QString::fromLatin1(pdf);
  for (auto it = stream.globalMatch(latin); it.hasNext();) {
    const auto m = it.next();
    const QByteArray packed = pdf.mid(m.capturedEnd(), m.captured(1).toLongLong());
    QByteArray out(1 << 20, '\0');
    uLongf size = uLongf(out.size());
    if (uncompress(reinterpret_cast<Bytef *>(out.data()), &size,
                   reinterpret_cast<const Bytef *>(packed.constData()),
                   uLong(packed.size())) == Z_OK)
      all.push_back(out.left(qsizetype(size)));
  }
  return all;
}

QByteArray PageStreams(const QByteArray &pdf) {
  QByteArray all;
  for (const QByteArray &stream : PageStreamList(pdf)) all += stream;
  return all;
}

// A text array as a reader places it: the font and size in effect, and the
// start of its line in points.
struct ShownText {
  std::string font;
  double x, y;
};

// Reads a content stream as a PDF reader does, as far as text goes: the
// text state a text object inherits and what BT resets. Operators a text
// object may not hold (paths, q and Q), and text operators outside one,
// are reported in `misuse`.
std::vector<ShownText> ReadShownText(const QByteArray &content, std::string &misuse) {
  std::vector<ShownText> shown;
  std::vector<std::string> operands, fonts{""};
  bool inText = false;
  double lineX = 0, lineY = 0;
  auto misused = [&](const std::string &op, qsizetype at) {
    misuse += op + " at " + std::to_string(at) + "; ";
  };
  for (qsizetype at = 0; at < content.size();) {
    const char c = content[at];
    if (c == ' ' || c == '\n' || c == '\r') {
      ++at;
    } else if (c == '(' || c == '[' || c == '<') {
      // Strings, arrays and dictionaries are operands whose contents do
      // not matter here; brackets inside strings are escaped.
      const qsizetype start = at;
      int depth = 0;
      do {
        if (content[at] == '\\')
          ++at;
        else if (content[at] == '(' || content[at] == '[' || content[at] == '<')
          ++depth;
        else if (content[at] == ')' || content[at] == ']' || content[at] == '>')
          --depth;
        ++at;
      } while (depth > 0 && at < content.size());
      operands.push_back(content.mid(start, at - start).toStdString());
    } else {
      const qsizetype start = at;
      while (at < content.size() && !QByteArrayView(" \n\r([<").contains(content[at])) ++at;
      const std::string word = content.mid(start, at - start).toStdString();
      if (c == '/' || c == '-' || c == '.' || (c >= '0' && c <= '9')) {
        operands.push_back(word);
        continue;
      }
      auto number = [&](size_t i) { return std::stod(operands.at(i)); };
      if (word == "BT") {
        if (inText) misused(word, start);
        inText = true;
        lineX = lineY = 0;
      } else if (word == "ET") {
        if (!inText) misused(word, start);
        inText = false;
      } else if (word == "Tf") {
        fonts.back() = operands.at(0) + ' ' + operands.at(1);
      } else if (word == "Td" || word == "Tm" || word == "TJ") {
        if (!inText) misused(word, start);
        if (word == "Td") {
          lineX += number(0);
          lineY += number(1);
        } else if (word == "Tm") {
          lineX = number(4);
          lineY = number(5);
        } else {
          shown.push_back({fonts.back(), lineX, lineY});
        }
      } else if (word == "q" || word == "Q" || word == "m" || word == "l" || word == "re" ||
                 word == "S" || word == "f" || word == "cm" || word == "Do") {
        if (inText) misused(word, start);
        if (word == "q") fonts.push_back(fonts.back());
        if (word == "Q" && fonts.size() > 1) fonts.pop_back();
      }
      operands.clear();
    }
  }
  if (inText) misused("end without ET", content.size());
  return shown;
}

// The page content of a one-page PDF with one text drawn on it.
QByteArray DrawnPage(QtTextMeasurer &measurer, const FontSpec &font, const QByteArray &text,
                     TextEncoding encoding) {
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
    if (table.glyph[c] != 0 &&
        !QtTextMeasurer::GlyphTable::Invisible(static_cast<unsigned char>(c))) {
      text += char(c);
      drawn.push_back(table.glyph[c]);
    }
  const QByteArray page = DrawnPage(measurer, font, text, TextEncoding::Windows1252);

  // The strings of the text arrays, unescaped; the numbers between them
  // (shifts) are passed over.
  QByteArray codes;
  int escaped = 0;
  for (qsizetype at = page.indexOf("[("); at >= 0 && at < page.size();
       at = page.indexOf("[(", at)) {
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
    read.push_back(unsigned(static_cast<unsigned char>(codes[i])) << 8 |
                   static_cast<unsigned char>(codes[i + 1]));
  EXPECT_EQ(read, drawn);
  EXPECT_GT(escaped, 0)
      << "no glyph number held a byte that needs escaping: the test proves nothing";
}

// Runs that follow one another share a text object, their font set once
// and each placed by a move from the last: a reader must still find every
// run at the place it was drawn, in its own font, whatever came between
// (another font, a colour, a rule, a slanted or thickened run, a page).
TEST(PdfWriter, RunsSharingATextObjectAreShownWhereTheyWereDrawn) {
  QtTextMeasurer measurer(600);
  const FontSpec plain{QStringLiteral("Arial"), 10, 0, 0},
      bold{QStringLiteral("Arial"), 10, StyleBold, 0},
      red{QStringLiteral("Arial"), 10, 0, 0x0000FF}, big{QStringLiteral("Arial"), 14, 0, 0},
      underlined{QStringLiteral("Arial"), 10, StyleUnderline, 0},
      italic{QStringLiteral("Arial"), 10, StyleItalic, 0};
  const QByteArray japanese = "\xE6\x97\xA5\xE6\x9C\xAC";
  struct Step {
    enum { Text, Rule, Shaped, Page } kind;
    FontSpec font;
    int x, y;
  };
  const Step steps[] = {
      {Step::Text, plain, 600, 600},   {Step::Text, bold, 1200, 600},
      {Step::Text, plain, 600, 700},   {Step::Text, red, 600, 800},
      {Step::Text, plain, 1201, 800},  {Step::Rule, plain, 600, 900},
      {Step::Text, plain, 600, 1000},  {Step::Shaped, italic, 600, 1100},
      {Step::Text, plain, 613, 1200},  {Step::Shaped, bold, 600, 1300},
      {Step::Text, big, 600, 1400},    {Step::Text, underlined, 600, 1500},
      {Step::Text, plain, 3000, 1499}, {Step::Page, plain, 0, 0},
      {Step::Text, plain, 600, 600},   {Step::Text, plain, 600, 20000},
  };
  QByteArray bytes;
  QBuffer buffer(&bytes);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
  PdfWriter writer(measurer, 0);
  ASSERT_TRUE(writer.open(&buffer, 595, 842, 600, QStringLiteral("t")));
  // Where each plain run must be shown, page by page.
  std::vector<std::vector<std::pair<double, double>>> expected(1);
  std::vector<std::vector<FontSpec>> fonts(1);
  for (const Step &step : steps) {
    switch (step.kind) {
      case Step::Text:
        writer.surface().drawText(step.x, step.y, step.font, "Word");
        expected.back().push_back(
            {step.x * 72.0 / 600,
             842 - (step.y + measurer.glyphTable(step.font).ascent) * 72.0 / 600});
        fonts.back().push_back(step.font);
        break;
      case Step::Rule:
        writer.surface().drawLine(step.x, step.y, step.x + 600, step.y, PenSpec{});
        break;
      case Step::Shaped:
        writer.surface().drawTextIn(step.x, step.y, step.font, japanese, TextEncoding::Utf8);
        break;
      case Step::Page:
        writer.newPage();
        expected.emplace_back();
        fonts.emplace_back();
        break;
    }
  }
  QString error;
  ASSERT_TRUE(writer.close(&error)) << error.toStdString();

  std::vector<QByteArray> pages = PageStreamList(bytes);
  std::erase_if(pages, [](const QByteArray &stream) { return stream.contains("begincmap"); });
  ASSERT_EQ(pages.size(), expected.size());
  std::map<std::string, FontSpec> fontOfName;
  for (size_t p = 0; p < pages.size(); ++p) {
    std::string misuse;
    const std::vector<ShownText> shown = ReadShownText(pages[p], misuse);
    EXPECT_EQ(misuse, "") << pages[p].toStdString();
    // The plain runs in order, among the shaped ones (whose fallback font
    // places them itself).
    size_t next = 0;
    for (const ShownText &text : shown) {
      if (next == expected[p].size()) break;
      const auto [x, y] = expected[p][next];
      if (std::abs(text.x - x) > 0.0005 || std::abs(text.y - y) > 0.0005) continue;
      // One font name stands for one face and size: a run shown in
      // another's font would take its size or weight. (Underlining is a
      // rule, colour a fill: neither is the font's.)
      const FontSpec &drawnIn = fonts[p][next];
      const auto [known, added] = fontOfName.emplace(text.font, drawnIn);
      const int faceStyle = StyleBold | StyleItalic;
      EXPECT_TRUE(added || (known->second.pointSize == drawnIn.pointSize &&
                            (known->second.style & faceStyle) == (drawnIn.style & faceStyle)))
          << "run " << next << " of page " << p << " shown in " << text.font;
      ++next;
    }
    EXPECT_EQ(next, expected[p].size()) << "a run is missing or misplaced on page " << p << ":\n"
                                        << pages[p].toStdString();
  }
  // The runs did share text objects: fewer BT than runs.
  EXPECT_LT(pages[0].count("BT"), qsizetype(expected[0].size()));
}

// Every coordinate, size and glyph of a page goes through these.
TEST(PdfWriter, NumbersAndGlyphCodesAreWrittenAsPdfWantsThem) {
  const struct {
    double value;
    const char *text;
  } numbers[] = {{0, "0"},
                 {-0.0001, "0"},
                 {1, "1"},
                 {-1, "-1"},
                 {0.5, "0.5"},
                 {0.05, "0.05"},
                 {0.005, "0.005"},
                 {0.105, "0.105"},
                 {0.12, "0.12"},
                 {-12.3456, "-12.346"},
                 {841.89, "841.89"},
                 {1e9 + 0.25, "1000000000.25"},
                 {-0.0005, "-0.001"},
                 {0.9999, "1"},
                 {9.9996, "10"},
                 {99.5, "99.5"},
                 {-999.9994, "-999.999"},
                 {999.9996, "1000"},
                 {12345.678, "12345.678"}};
  for (const auto &n : numbers) {
    std::string out = "x";
    AppendNumber(out, n.value);
    EXPECT_EQ(out, std::string("x") + n.text) << n.value;
  }
  // Places are rounded without the maths library, exactly as llround does.
  std::vector<double> values = {0.5,
                                -0.5,
                                1.5,
                                -2.5,
                                0.49999999999999994,
                                -0.49999999999999994,
                                4503599627370495.5,
                                -4503599627370495.5,
                                9007199254740993.0,
                                1e15 + 0.5,
                                -0.0};
  quint32 seed = 11;
  for (int k = 0; k < 20000; ++k) {
    seed = seed * 1664525u + 1013904223u;
    values.push_back((double(seed) - 2147483648.0) / 1024.0);
    values.push_back(double(int(seed % 2000001) - 1000000) / 2.0);  // halves
  }
  for (const double v : values) ASSERT_EQ(RoundHalfAway(v), std::llround(v)) << v;
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
  const std::string fields =
      " /Type /Font /Count -3 /Angle -12.5 /Parent 7 0 R /Title <FEFF004100E9> /Kids [7 0 R]";
  EXPECT_EQ(d.str(), "<<" + fields + " >>");
  EXPECT_EQ(d.fields(), fields);
}

// Objects of every size, from a few bytes to streams several times the
// output buffer, reach the file whole and in order, with each offset at its
// object's first byte, the same with the compressing threads as without.
TEST(PdfWriter, ObjectsOfAnySizeAreWrittenInOrderAtTheirOffsets) {
  std::mt19937 random(7);
  auto noise = [&random](size_t size) {
    std::string bytes(size, '\0');
    for (char &c : bytes) c = char(random());
    return bytes;
  };
  // Incompressible streams past 128 KB, and text pieces around the buffer
  // size, so that pieces are both gathered and written as they are.
  const std::vector<size_t> sizes = {3, 70000, 400000, 12, 131071, 131072, 131073, 1, 250000, 9};
  std::vector<std::string> streams, texts;
  for (size_t size : sizes) {
    streams.push_back(noise(size));
    texts.push_back(std::string(size, 'x'));
  }
  auto write = [&](int workers, std::vector<quint64> *offsets) {
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    PdfObjectWriter out(workers);
    out.output = &file;
    out.put("%PDF-1.7\n");
    for (size_t i = 0; i < sizes.size(); ++i) {
      out.putStream(out.newObject(), streams[i], 1);
      out.putObject(out.newObject(), texts[i]);
    }
    out.drain();
    EXPECT_FALSE(out.writeFailed);
    EXPECT_EQ(out.written, quint64(file.data().size()));
    *offsets = out.offsets;
    return file.data();
  };
  std::vector<quint64> offsets;
  const QByteArray alone = write(0, &offsets);
  for (size_t object = 5; object < offsets.size(); ++object) {
    const QByteArray head = QByteArray::number(qulonglong(object)) + " 0 obj\n";
    EXPECT_EQ(alone.mid(qsizetype(offsets[object]), head.size()), head) << "object " << object;
  }
  // The streams inflate to what was put, and the texts stand as they were.
  std::vector<QByteArray> inflated = PageStreamList(alone);
  ASSERT_EQ(inflated.size(), sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_TRUE(inflated[i] == QByteArray::fromStdString(streams[i])) << "stream " << i;
    const qsizetype at = qsizetype(offsets[6 + 2 * i]);
    EXPECT_EQ(
        alone.mid(at, qsizetype(texts[i].size()) + 16).indexOf(QByteArray::fromStdString(texts[i])),
        QByteArray::number(qulonglong(6 + 2 * i)).size() + 7)
        << "text " << i;
  }
  for (int workers : {1, 3}) {
    std::vector<quint64> shared;
    EXPECT_TRUE(write(workers, &shared) == alone) << workers << " workers";
    EXPECT_EQ(shared, offsets);
  }
}

// A file with packed objects ends with a cross-reference stream: read as a
// reader reads it (the rows undone from their "Up" differences), every
// object is where it says, written whole or in the object stream and place
// it names, the same with the compressing threads as without.
TEST(PdfWriter, PackedObjectsAreFoundThroughTheCrossReferenceStream) {
  auto write = [](int workers) {
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    PdfObjectWriter out(workers);
    out.output = &file;
    out.put("%PDF-1.5\n");
    // More than a stream packs, between objects and streams written whole.
    for (int i = 0; i < 1200; ++i) {
      if (i % 100 == 0) out.putStream(out.newObject(), std::string(5000, char('a' + i / 100)), 1);
      if (i % 7 == 0) out.putObject(out.newObject(), "(whole " + std::to_string(i) + ")");
      out.putPacked(out.newObject(), "(packed " + std::to_string(i) + ")");
    }
    for (int fixed = 1; fixed <= 4; ++fixed) out.putObject(fixed, "<< >>");
    out.finishCrossReference("/Root 1 0 R");
    EXPECT_FALSE(out.writeFailed);
    return file.data();
  };
  const QByteArray pdf = write(0);
  EXPECT_TRUE(write(2) == pdf);
  ASSERT_TRUE(pdf.endsWith("%%EOF\n"));
  const qsizetype start = pdf.lastIndexOf("startxref\n") + 10;
  const qsizetype xref = pdf.mid(start, pdf.indexOf('\n', start) - start).toLongLong();
  QByteArray dictionary;
  const QByteArray rows = testsupport::StreamAt(pdf, xref, &dictionary);
  static const QRegularExpression fields(
      QStringLiteral("/Type /XRef /Size (\\d+) /W \\[1 (\\d) 2\\] /DecodeParms << /Columns (\\d+) "
                     "/Predictor 12 >> /Root 1 0 R >>"));
  const auto m = fields.match(QString::fromLatin1(dictionary));
  ASSERT_TRUE(m.hasMatch()) << dictionary.toStdString();
  const int size = m.captured(1).toInt(), middle = m.captured(2).toInt();
  const int row = m.captured(3).toInt();
  ASSERT_EQ(row, 3 + middle);
  ASSERT_EQ(rows.size(), qsizetype(size) * (row + 1));
  const std::map<int, std::string> bodies = testsupport::PdfObjectBodies(pdf);
  std::vector<unsigned char> previous(size_t(row), 0);
  int packed = 0, whole = 0;
  for (int object = 0; object < size; ++object) {
    const char *at = rows.constData() + qsizetype(object) * (row + 1);
    ASSERT_EQ(at[0], 2) << object;  // each row says it is an "Up" difference
    std::vector<unsigned char> entry(static_cast<size_t>(row));
    for (int k = 0; k < row; ++k)
      entry[size_t(k)] = (unsigned char)(at[1 + k] + previous[size_t(k)]);
    previous = entry;
    unsigned long long second = 0;
    for (int k = 0; k < middle; ++k) second = second << 8 | entry[size_t(1 + k)];
    const unsigned third = unsigned(entry[size_t(1 + middle)]) << 8 | entry[size_t(2 + middle)];
    if (object == 0) {
      EXPECT_EQ(entry[0], 0);
      EXPECT_EQ(third, 0xFFFFu);
    } else if (entry[0] == 1) {
      ++whole;
      const QByteArray head = QByteArray::number(object) + " 0 obj\n";
      EXPECT_EQ(pdf.mid(qsizetype(second), head.size()), head) << object;
      EXPECT_EQ(third, 0u);
    } else {
      ++packed;
      ASSERT_EQ(entry[0], 2) << object;
      // Object number `second` is the stream; `third` the place in it.
      const QByteArray head = QByteArray::number(second) + " 0 obj\n";
      const qsizetype streamAt = pdf.indexOf("\n" + head) + 1;
      ASSERT_GT(streamAt, 0) << object;
      const QByteArray data = testsupport::StreamAt(pdf, streamAt);
      const QList<QByteArray> numbers = data.simplified().split(' ');
      ASSERT_GT(numbers.size(), qsizetype(2 * third + 1));
      EXPECT_EQ(numbers[2 * third].toInt(), object);
      EXPECT_EQ(bodies.at(object).rfind("(packed ", 0), 0u) << bodies.at(object);
    }
  }
  EXPECT_EQ(packed, 1200);
  // The objects written whole, the streams (twelve put, three of packed
  // objects), the fixed four and the cross-reference stream itself.
  EXPECT_EQ(whole, 172 + 12 + 3 + 4 + 1);
}
