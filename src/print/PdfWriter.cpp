#include "print/PdfWriter.h"

#include <zlib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QGlyphRun>
#include <QHash>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Text1252.h"
#include "print/QtTextMeasurer.h"
#include "print/TrueTypeFont.h"

namespace scrivane {

namespace {

// On a long listing level 3 takes about the time of the fastest level and
// gives a file a tenth smaller; the default level (6) is another eighth
// smaller but makes the whole print about half as slow again.
constexpr int kPageCompression = 3;
constexpr int kFontCompression = 6;

// A number as PDF wants it: no exponent, at most three decimals, trailing
// zeros dropped. Formatting through printf was a large part of the time a
// long listing took, so integers are written by hand.
void AppendNumber(std::string &out, double value) {
  long long thousandths = std::llround(value * 1000.0);
  if (thousandths < 0) {
    out += '-';
    thousandths = -thousandths;
  }
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, thousandths / 1000).ptr;
  out.append(buffer, end);
  int fraction = int(thousandths % 1000);
  if (fraction == 0) return;
  char digits[4] = {char('0' + fraction / 100), char('0' + fraction / 10 % 10), char('0' + fraction % 10), 0};
  int length = 3;
  while (digits[length - 1] == '0') --length;
  out += '.';
  out.append(digits, length);
}

void AppendInt(std::string &out, long long value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

void AppendHex4(std::string &out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  out += kHex[(value >> 12) & 0xF];
  out += kHex[(value >> 8) & 0xF];
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

void AppendHex2(std::string &out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

void AppendColor(std::string &out, ColorRef color, const char *op) {
  AppendNumber(out, (color & 0xFF) / 255.0);
  out += ' ';
  AppendNumber(out, ((color >> 8) & 0xFF) / 255.0);
  out += ' ';
  AppendNumber(out, ((color >> 16) & 0xFF) / 255.0);
  out += ' ';
  out += op;
  out += '\n';
}

// UTF-16BE hex of a text, as ToUnicode maps and text strings want it.
void AppendUtf16Hex(std::string &out, const QString &text) {
  for (QChar c : text) AppendHex4(out, c.unicode());
}

bool Invisible(unsigned char c) { return QtTextMeasurer::GlyphTable::Invisible(c); }

// The character each byte of a Windows-1252 text stands for.
const std::array<QString, 256> &Characters1252() {
  static const std::array<QString, 256> table = [] {
    std::array<QString, 256> t;
    for (int c = 0; c < 256; ++c) {
      const char byte = char(c);
      t[size_t(c)] = Decode1252(&byte, 1);
    }
    return t;
  }();
  return table;
}

// Bold or italic Qt makes up for a face that has no such style (fontconfig
// asks for it): the PDF slants or thickens the regular face the same way.
struct Synthetic {
  bool slant = false;
  bool embolden = false;
};

// The style the face itself has, from its tables: Qt's QRawFont reports
// the style asked for, made up or not.
struct FaceStyle {
  bool italic = true;  // a face without tables is taken as it comes
  bool bold = true;
};

FaceStyle FaceStyleOf(const QRawFont &raw) {
  const QByteArray head = raw.fontTable("head");
  const QByteArray os2 = raw.fontTable("OS/2");
  if (head.size() < 46) return {};
  const int macStyle = (quint8(head[44]) << 8) | quint8(head[45]);
  const int weightClass = os2.size() >= 6 ? (quint8(os2[4]) << 8) | quint8(os2[5]) : 400;
  const int selection = os2.size() >= 64 ? (quint8(os2[62]) << 8) | quint8(os2[63]) : 0;
  return {(macStyle & 2) != 0 || (selection & 0x201) != 0, (macStyle & 1) != 0 || weightClass >= 600};
}

Synthetic SyntheticFor(const QRawFont &raw, const FaceStyle &face) {
  return {raw.style() != QFont::StyleNormal && !face.italic, raw.weight() >= QFont::DemiBold && !face.bold};
}

// A face as the document embeds it, whatever sizes it is drawn at.
struct PdfFont {
  QRawFont raw;  // the face, at the size it was first met
  FaceStyle face;
  std::optional<TrueTypeFont> trueType;
  int number = 0;  // the resource names are F<number> (TrueType) or F<number>_<k> (outline fonts)
  int object = 0;  // TrueType: the font's object
  // TrueType: glyphs drawn, by glyph number, and the width listed for each
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

  // Advance of a TrueType glyph, 1/1000 em, as the font dictionary lists it.
  double width(unsigned glyph) const {
    if (glyph < widths.size() && widths[glyph] >= 0) return widths[glyph];
    return std::llround(trueType->advance(glyph) * 1000000.0 / trueType->unitsPerEm()) / 1000.0;
  }
};

// What a row's run holds per glyph.
struct RunGlyph {
  unsigned glyph;
  double x;  // device pixels
};

}  // namespace

struct PdfWriter::Impl : DrawSurface {
  explicit Impl(QtTextMeasurer &m) : measurer(m) {}
  ~Impl() override {
    if (zReady) deflateEnd(&z);
  }

  QtTextMeasurer &measurer;
  QIODevice *output = nullptr;
  bool isOpen = false;
  bool writeFailed = false;
  std::string buffer;  // written to output in large pieces
  quint64 written = 0;
  double scale = 72.0 / 600.0;
  double pageWidth = 0, pageHeight = 0;  // points
  QString title;

  // Objects 1-4 are fixed: the catalog, the page tree, the resources every
  // page shares and the document information.
  static constexpr int kCatalog = 1, kPages = 2, kResources = 3, kInfo = 4;
  std::vector<quint64> offsets{0, 0, 0, 0, 0};
  std::vector<int> pageObjects;
  std::vector<std::pair<int, int>> images;  // number, object
  std::vector<std::unique_ptr<PdfFont>> fonts;
  QHash<QByteArray, PdfFont *> fontsByFace;
  struct TableFont {
    PdfFont *font = nullptr;
    std::array<bool, 256> noted{};  // the byte's glyph is in the font's used list
  };
  // A run keeps a pointer to its entry: the map must not move entries.
  std::unordered_map<const QtTextMeasurer::GlyphTable *, TableFont> tableFonts;

  z_stream z{};
  bool zReady = false;

  // The page being drawn, and its graphics state as far as written.
  std::string content;
  ColorRef fill = 0, strokeColor = 0;
  double lineWidth = 1.0;

  // The row of text being gathered: one font, one baseline.
  bool pending = false;
  FontSpec runFont;
  int runBaseline = 0;
  TableFont *runTable = nullptr;
  double runSize = 0;  // points
  double runUnderlinePosition = 0, runLineThickness = 0;
  double runStartX = 0, runEndX = 0;
  unsigned runBlank = 0;
  Synthetic runSynthetic;
  std::vector<RunGlyph> runGlyphs;

  // --- output -------------------------------------------------------------

  void put(std::string_view text) {
    buffer.append(text);
    written += text.size();
    if (buffer.size() >= (1 << 18)) drain();
  }

  void drain() {
    qint64 done = 0;
    const qint64 total = qint64(buffer.size());
    while (!writeFailed && done < total) {
      const qint64 n = output ? output->write(buffer.data() + done, total - done) : -1;
      if (n <= 0) writeFailed = true;
      else done += n;
    }
    buffer.clear();
  }

  int newObject() {
    offsets.push_back(0);
    return int(offsets.size()) - 1;
  }

  void beginObject(int object) {
    offsets[size_t(object)] = written;
    std::string head;
    AppendInt(head, object);
    head += " 0 obj\n";
    put(head);
  }

  void putObject(int object, std::string_view body) {
    beginObject(object);
    put(body);
    put("\nendobj\n");
  }

  std::string deflate(std::string_view data, int level) {
    if (!zReady) {
      if (deflateInit(&z, level) != Z_OK) return {};
      zReady = true;
    }
    deflateReset(&z);
    deflateParams(&z, level, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    ::deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    return out;
  }

  // A stream object, compressed; extra goes into its dictionary.
  void putStream(int object, std::string_view data, int level, std::string_view extra = {}) {
    const std::string packed = deflate(data, level);
    std::string head = "<< /Length ";
    AppendInt(head, qint64(packed.size()));
    head += " /Filter /FlateDecode";
    head += extra;
    head += " >>\nstream\n";
    beginObject(object);
    put(head);
    put(packed);
    put("\nendstream\nendobj\n");
  }

  // --- page geometry --------------------------------------------------------

  double X(double deviceX) const { return deviceX * scale; }
  double Y(double deviceY) const { return pageHeight - deviceY * scale; }

  void point(double x, double y) {
    AppendNumber(content, X(x));
    content += ' ';
    AppendNumber(content, Y(y));
    content += ' ';
  }

  void setFill(ColorRef color) {
    if (color == fill) return;
    fill = color;
    AppendColor(content, color, "rg");
  }

  void setStroke(ColorRef color, double widthPoints) {
    if (color != strokeColor) {
      strokeColor = color;
      AppendColor(content, color, "RG");
    }
    if (widthPoints != lineWidth) {
      lineWidth = widthPoints;
      AppendNumber(content, widthPoints);
      content += " w\n";
    }
  }

  void startPage() {
    content.clear();
    fill = 0;
    strokeColor = 0;
    lineWidth = 1.0;
  }

  void endPage() {
    flush();
    const int contents = newObject();
    putStream(contents, content, kPageCompression);
    const int page = newObject();
    std::string body = "<< /Type /Page /Parent 2 0 R /Resources 3 0 R /Contents ";
    AppendInt(body, contents);
    body += " 0 R >>";
    putObject(page, body);
    pageObjects.push_back(page);
    content.clear();
  }

  // --- fonts ----------------------------------------------------------------

  PdfFont *fontFor(const QRawFont &raw) {
    // Keyed by the face, not by the style asked for: a made-up italic draws
    // the upright face's glyphs. Faces of one family and style from two
    // files differ in their 'head' table (dates, checksum).
    QByteArray key = raw.familyName().toUtf8() + '/' + raw.styleName().toUtf8() + '/' + raw.fontTable("head").left(36);
    if (PdfFont *known = fontsByFace.value(key)) return known;
    auto font = std::make_unique<PdfFont>();
    font->raw = raw;
    font->face = FaceStyleOf(raw);
    font->number = int(fonts.size()) + 1;
    font->trueType = TrueTypeFont::read([&raw](const char *tag) { return raw.fontTable(tag); });
    if (font->trueType) {
      font->object = newObject();
      font->used.assign(size_t(font->trueType->glyphCount()), false);
      font->widths.assign(size_t(font->trueType->glyphCount()), -1.0);
    }
    PdfFont *result = font.get();
    fonts.push_back(std::move(font));
    fontsByFace.insert(key, result);
    return result;
  }

  // Marks a glyph as drawn; for an outline font, returns its code.
  // layoutWidth: the glyph's advance in the layout, 1/1000 em, or negative.
  int use(PdfFont &font, unsigned glyph, const QString *stands, double layoutWidth = -1) {
    if (font.trueType) {
      if (glyph < font.used.size() && !font.used[glyph]) {
        font.used[glyph] = true;
        font.usedList.push_back(glyph);
        if (layoutWidth >= 0) font.widths[glyph] = std::llround(layoutWidth * 1000.0) / 1000.0;
        if (stands) font.text.insert(glyph, *stands);
      }
      return 0;
    }
    auto known = font.codes.constFind(glyph);
    if (known != font.codes.constEnd()) return *known;
    const int code = int(font.glyphsByCode.size());
    font.codes.insert(glyph, code);
    font.glyphsByCode.push_back(glyph);
    QRawFont em = font.raw;
    em.setPixelSize(1000);
    const QList<QPointF> advances = em.advancesForGlyphIndexes(QList<quint32>{glyph});
    font.widthsByCode.push_back(advances.isEmpty() ? 0.0 : advances.first().x());
    if (code % 256 == 0) font.outlineObjects.push_back(newObject());
    if (stands) font.text.insert(glyph, *stands);
    return code;
  }

  // One text array, or for an outline font one per block of 256 codes.
  void showGlyphs(PdfFont &font, double size, double baseline, const RunGlyph *glyphs, size_t count,
                  Synthetic synthetic = {}) {
    if (count == 0) return;
    if (synthetic.embolden) {
      // Filled and stroked in the text's colour, a 24th of an em thicker,
      // as FreeType emboldens.
      content += "q ";
      AppendColor(content, fill, "RG");
      AppendNumber(content, size / 24.0);
      content += " w 1 j ";
    }
    size_t i = 0;
    while (i < count) {
      int block = 0;
      if (!font.trueType) block = font.codes.value(glyphs[i].glyph) / 256;
      content += synthetic.embolden ? "BT 2 Tr /F" : "BT /F";
      AppendInt(content, font.number);
      if (!font.trueType) {
        content += '_';
        AppendInt(content, block);
      }
      content += ' ';
      AppendNumber(content, size);
      content += " Tf ";
      if (synthetic.slant) {
        // Fontconfig's oblique: x grows by a fifth of the height.
        content += "1 0 0.2 1 ";
        point(glyphs[i].x, baseline);
        content += "Tm [<";
      } else {
        point(glyphs[i].x, baseline);
        content += "Td [<";
      }
      double pen = X(glyphs[i].x);
      bool first = true;
      for (; i < count; ++i) {
        const RunGlyph &g = glyphs[i];
        int code = 0;
        double width = 0;
        if (font.trueType) {
          width = font.width(g.glyph);
        } else {
          code = font.codes.value(g.glyph);
          if (code / 256 != block) break;
          width = font.widthsByCode[size_t(code)];
        }
        if (!first) {
          // The pen after the previous glyph against where this one was
          // laid out, in the thousandths of an em the array counts in.
          const double shift = std::round((pen - X(g.x)) * 1000.0 / size * 1000.0) / 1000.0;
          if (std::abs(shift) >= 0.05) {
            content += '>';
            AppendNumber(content, shift);
            content += '<';
            pen -= shift * size / 1000.0;
          }
        }
        first = false;
        if (font.trueType) AppendHex4(content, g.glyph);
        else AppendHex2(content, unsigned(code % 256));
        pen += width * size / 1000.0;
      }
      content += ">] TJ ET\n";
    }
    if (synthetic.embolden) content += "Q\n";
  }

  void underline(double startX, double endX, double baseline, double position, double thickness) {
    if (endX <= startX) return;
    setStroke(fill, thickness * scale);
    const double y = baseline + position;
    point(std::floor(startX), y);
    content += "m ";
    point(std::floor(endX), y);
    content += "l S\n";
  }

  void flush() {
    if (!pending) return;
    pending = false;
    while (!runGlyphs.empty() && runGlyphs.back().glyph == runBlank) runGlyphs.pop_back();
    setFill(runFont.color);
    showGlyphs(*runTable->font, runSize, runBaseline, runGlyphs.data(), runGlyphs.size(), runSynthetic);
    if (runFont.underline()) underline(runStartX, runEndX, runBaseline, runUnderlinePosition, runLineThickness);
    runGlyphs.clear();
  }

  // Text the 8-bit table cannot draw (a byte without a glyph in the font):
  // laid out by Qt, with its fallback fonts, then drawn glyph run by run.
  void drawShaped(int x, int y, const FontSpec &font, const QString &text) {
    QTextLayout layout(text, measurer.cachedFont(font));
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
      layout.endLayout();
      return;
    }
    line.setLineWidth(1e9);
    layout.endLayout();
    const double baseline = y + measurer.ascent(font);
    const double lineAscent = line.ascent();
    setFill(font.color);
    double underlinePosition = 0, thickness = 1;
    for (const QGlyphRun &run : layout.glyphRuns()) {
      const QRawFont raw = run.rawFont();
      PdfFont &pdfFont = *fontFor(raw);
      underlinePosition = raw.underlinePosition();
      thickness = std::max<qreal>(1.0, raw.lineThickness());
      const QList<quint32> indexes = run.glyphIndexes();
      const QList<QPointF> positions = run.positions();
      // What each glyph stands for, character by character.
      QHash<unsigned, QString> stands;
      for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        const QList<quint32> glyph = raw.glyphIndexesForString(character);
        if (glyph.size() == 1 && !stands.contains(glyph.first())) stands.insert(glyph.first(), character);
        i += length - 1;
      }
      std::vector<RunGlyph> glyphs;
      double rowY = 0;
      auto show = [&] {
        showGlyphs(pdfFont, raw.pixelSize() * scale, baseline + rowY, glyphs.data(), glyphs.size(),
                   SyntheticFor(raw, pdfFont.face));
        glyphs.clear();
      };
      for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i) {
        const double glyphY = positions[i].y() - lineAscent;
        if (!glyphs.empty() && glyphY != rowY) show();
        rowY = glyphY;
        const auto found = stands.constFind(indexes[i]);
        use(pdfFont, indexes[i], found == stands.constEnd() ? nullptr : &*found);
        glyphs.push_back({indexes[i], x + positions[i].x()});
      }
      show();
    }
    if (font.underline()) underline(x, x + line.naturalTextWidth(), baseline, underlinePosition, thickness);
  }

  // Joins the row's run of this font and baseline, or starts one.
  void joinRun(int x, int y, const FontSpec &font, const QtTextMeasurer::GlyphTable &table) {
    const int baseline = y + table.ascent;
    if (pending && (runBaseline != baseline || !(runFont == font))) flush();
    if (pending) return;
    pending = true;
    runFont = font;
    runBaseline = baseline;
    TableFont &known = tableFonts[&table];
    if (!known.font) known.font = fontFor(table.rawFont);
    runTable = &known;
    runSize = table.rawFont.pixelSize() * scale;
    runUnderlinePosition = table.rawFont.underlinePosition();
    runLineThickness = std::max<qreal>(1.0, table.rawFont.lineThickness());
    runBlank = table.glyph[0x20];
    runStartX = x;
    runSynthetic = SyntheticFor(table.rawFont, known.font->face);
  }

  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override {
    if (text.isEmpty() || !isOpen) return;
    const QtTextMeasurer::GlyphTable &table = measurer.glyphTable(font);
    if (!table.Draws(text)) {
      flush();
      drawShaped(x, y, font, Decode1252(text.data(), text.size()));
      return;
    }
    joinRun(x, y, font, table);
    PdfFont &pdfFont = *runTable->font;
    long long advance64 = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (!Invisible(c)) {
        const unsigned glyph = table.glyph[c];
        if (!runTable->noted[c]) {
          runTable->noted[c] = true;
          use(pdfFont, glyph, &Characters1252()[c], table.advance64[c] * 1000.0 / 64.0 / table.rawFont.pixelSize());
        }
        runGlyphs.push_back({glyph, x + advance64 / 64.0});
      }
      advance64 += table.advance64[c];
    }
    runEndX = x + advance64 / 64.0;
  }

  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text, TextEncoding encoding) override {
    if (encoding == TextEncoding::Windows1252 || IsAscii(text) || !IsValidUtf8(text)) {
      drawText(x, y, font, text);
      return;
    }
    if (!isOpen) return;
    const std::vector<QtTextMeasurer::PlacedGlyph> *placed = measurer.layOutSimply(font, text);
    if (!placed) {
      flush();
      drawShaped(x, y, font, QString::fromUtf8(text));
      return;
    }
    // Letters the font has, placed as the measurer placed them: one run
    // with the row's other words.
    const QtTextMeasurer::GlyphTable &table = measurer.glyphTable(font);
    joinRun(x, y, font, table);
    PdfFont &pdfFont = *runTable->font;
    long long advance64 = 0;
    for (const QtTextMeasurer::PlacedGlyph &g : *placed) {
      if (!g.invisible) {
        const bool known = pdfFont.trueType && g.glyph < pdfFont.used.size() && pdfFont.used[g.glyph];
        if (!known) {
          const QString character = QString::fromUcs4(&g.character, 1);
          use(pdfFont, g.glyph, &character, g.advance64 * 1000.0 / 64.0 / table.rawFont.pixelSize());
        }
        runGlyphs.push_back({g.glyph, x + advance64 / 64.0});
      }
      advance64 += g.advance64;
    }
    runEndX = x + advance64 / 64.0;
  }

  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override {
    if (!isOpen) return;
    flush();
    setStroke(pen.mode == PenMode::Black ? 0 : pen.color, std::max(1, pen.width) * scale);
    point(x1, y1);
    content += "m ";
    point(x2, y2);
    content += "l S\n";
  }

  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override {
    if (!isOpen) return;
    flush();
    // The outline lies inside the rectangle, as GDI draws it.
    const int half = std::max(1, pen.width) / 2;
    const QRect inner = rect.adjusted(half, half, -half - 1, -half - 1);
    setStroke(pen.mode == PenMode::Black ? 0 : pen.color, std::max(1, pen.width) * scale);
    if (brush.style == BrushStyle::Solid) setFill(brush.color);
    point(inner.x(), inner.y() + inner.height());
    AppendNumber(content, inner.width() * scale);
    content += ' ';
    AppendNumber(content, inner.height() * scale);
    content += brush.style == BrushStyle::Solid ? " re B\n" : " re S\n";
  }

  void drawImage(const QRect &target, const QImage &image) override {
    if (!isOpen) return;
    flush();
    if (image.isNull() || image.width() == 0 || image.height() == 0 || target.isEmpty()) return;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::string pixels;
    pixels.reserve(size_t(rgb.width()) * 3 * size_t(rgb.height()));
    for (int row = 0; row < rgb.height(); ++row)
      pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(row)), size_t(rgb.width()) * 3);
    std::string dictionary = " /Type /XObject /Subtype /Image /Width ";
    AppendInt(dictionary, rgb.width());
    dictionary += " /Height ";
    AppendInt(dictionary, rgb.height());
    dictionary += " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Interpolate true";
    if (image.hasAlphaChannel()) {
      const QImage alpha = image.convertToFormat(QImage::Format_Alpha8);
      std::string mask;
      for (int row = 0; row < alpha.height(); ++row)
        mask.append(reinterpret_cast<const char *>(alpha.constScanLine(row)), size_t(alpha.width()));
      const int maskObject = newObject();
      std::string maskDictionary = " /Type /XObject /Subtype /Image /Width ";
      AppendInt(maskDictionary, alpha.width());
      maskDictionary += " /Height ";
      AppendInt(maskDictionary, alpha.height());
      maskDictionary += " /ColorSpace /DeviceGray /BitsPerComponent 8 /Interpolate true";
      putStream(maskObject, mask, kFontCompression, maskDictionary);
      dictionary += " /SMask ";
      AppendInt(dictionary, maskObject);
      dictionary += " 0 R";
    }
    const int object = newObject();
    putStream(object, pixels, kFontCompression, dictionary);
    const int number = int(images.size()) + 1;
    images.emplace_back(number, object);
    content += "q ";
    AppendNumber(content, target.width() * scale);
    content += " 0 0 ";
    AppendNumber(content, target.height() * scale);
    content += ' ';
    point(target.x(), target.y() + target.height());
    content += "cm /Im";
    AppendInt(content, number);
    content += " Do Q\n";
  }

  // --- the end of the document ---------------------------------------------

  static std::string SubsetTag(const PdfFont &font) {
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(font.raw.familyName().toUtf8());
    for (unsigned g : font.usedList) hash.addData(QByteArrayView(reinterpret_cast<const char *>(&g), sizeof g));
    const QByteArray digest = hash.result();
    std::string tag;
    for (int i = 0; i < 6; ++i) tag += char('A' + quint8(digest[i]) % 26);
    return tag;
  }

  static std::string BaseName(const PdfFont &font) {
    QByteArray name = font.trueType ? font.trueType->postScriptName() : QByteArray();
    if (name.isEmpty()) {
      for (QChar c : font.raw.familyName() + QLatin1Char('-') + font.raw.styleName())
        if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-'))
          name.append(char(c.unicode()));
    }
    if (name.isEmpty()) name = "Font";
    return name.toStdString();
  }

  // Maps codes (glyph numbers, or outline-font codes) to the text they
  // stand for, so that text copied out of the PDF is the listing's text.
  void putToUnicode(int object, const std::vector<std::pair<unsigned, QString>> &map, bool twoBytes) {
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n1 begincodespacerange\n";
    cmap += twoBytes ? "<0000> <FFFF>\n" : "<00> <FF>\n";
    cmap += "endcodespacerange\n";
    for (size_t i = 0; i < map.size(); i += 100) {
      const size_t end = std::min(map.size(), i + 100);
      AppendInt(cmap, qint64(end - i));
      cmap += " beginbfchar\n";
      for (size_t k = i; k < end; ++k) {
        cmap += '<';
        if (twoBytes) AppendHex4(cmap, map[k].first);
        else AppendHex2(cmap, map[k].first);
        cmap += "> <";
        AppendUtf16Hex(cmap, map[k].second);
        cmap += ">\n";
      }
      cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    putStream(object, cmap, kFontCompression);
  }

  void putTrueTypeFont(PdfFont &font) {
    const TrueTypeFont &ttf = *font.trueType;
    std::sort(font.usedList.begin(), font.usedList.end());
    const std::string name = SubsetTag(font) + '+' + BaseName(font);
    const double em = 1000.0 / ttf.unitsPerEm();
    const int cidFont = newObject(), descriptor = newObject(), file = newObject(), toUnicode = newObject();

    const QByteArray program = ttf.subset(font.usedList);
    std::string length1 = " /Length1 ";
    AppendInt(length1, program.size());
    putStream(file, std::string_view(program.constData(), size_t(program.size())), kFontCompression, length1);

    int flags = 32;  // not symbolic: the glyphs are letters
    if (ttf.fixedPitch()) flags |= 1;
    if (ttf.italicAngle() != 0) flags |= 64;
    std::string d = "<< /Type /FontDescriptor /FontName /" + name;
    d += " /Flags ";
    AppendInt(d, flags);
    d += " /FontBBox [";
    for (int v : {ttf.xMin(), ttf.yMin(), ttf.xMax(), ttf.yMax()}) {
      AppendInt(d, std::lround(v * em));
      d += ' ';
    }
    d += "] /ItalicAngle ";
    AppendNumber(d, ttf.italicAngle());
    d += " /Ascent ";
    AppendInt(d, std::lround(ttf.ascent() * em));
    d += " /Descent ";
    AppendInt(d, std::lround(ttf.descent() * em));
    d += " /CapHeight ";
    AppendInt(d, std::lround(ttf.capHeight() * em));
    d += ttf.bold() ? " /StemV 120" : " /StemV 80";
    d += " /FontFile2 ";
    AppendInt(d, file);
    d += " 0 R >>";
    putObject(descriptor, d);

    std::string c = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name;
    c += " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor ";
    AppendInt(c, descriptor);
    c += " 0 R /CIDToGIDMap /Identity /W [";
    for (size_t i = 0; i < font.usedList.size();) {
      AppendInt(c, font.usedList[i]);
      c += " [";
      size_t k = i;
      do {
        AppendNumber(c, font.width(font.usedList[k]));
        c += ' ';
        ++k;
      } while (k < font.usedList.size() && font.usedList[k] == font.usedList[k - 1] + 1);
      c += "] ";
      i = k;
    }
    c += "] >>";
    putObject(cidFont, c);

    std::string t = "<< /Type /Font /Subtype /Type0 /BaseFont /" + name;
    t += " /Encoding /Identity-H /DescendantFonts [";
    AppendInt(t, cidFont);
    t += " 0 R] /ToUnicode ";
    AppendInt(t, toUnicode);
    t += " 0 R >>";
    putObject(font.object, t);

    std::vector<std::pair<unsigned, QString>> map;
    for (unsigned g : font.usedList) {
      const auto found = font.text.constFind(g);
      if (found != font.text.constEnd()) map.emplace_back(g, *found);
    }
    putToUnicode(toUnicode, map, true);
  }

  // A font whose outlines cannot be embedded as they are: each glyph is
  // written as its outline, in blocks of 256 codes.
  void putOutlineFont(PdfFont &font) {
    QRawFont em = font.raw;
    em.setPixelSize(1000);
    for (size_t block = 0; block < font.outlineObjects.size(); ++block) {
      const size_t first = block * 256, end = std::min(font.glyphsByCode.size(), first + 256);
      std::string procs, differences, widths;
      QRectF box;
      std::vector<std::pair<unsigned, QString>> map;
      for (size_t code = first; code < end; ++code) {
        const unsigned glyph = font.glyphsByCode[code];
        const QPainterPath path = em.pathForGlyph(glyph);
        const QRectF bounds = path.boundingRect();
        box = box.united(bounds);
        std::string proc;
        AppendNumber(proc, font.widthsByCode[code]);
        proc += " 0 ";
        // Glyph space runs upwards; Qt's outlines run downwards.
        AppendNumber(proc, bounds.left());
        proc += ' ';
        AppendNumber(proc, -bounds.bottom());
        proc += ' ';
        AppendNumber(proc, bounds.right());
        proc += ' ';
        AppendNumber(proc, -bounds.top());
        proc += " d1\n";
        for (int i = 0; i < path.elementCount(); ++i) {
          const QPainterPath::Element e = path.elementAt(i);
          if (e.type == QPainterPath::CurveToElement && i + 2 < path.elementCount()) {
            for (int k = 0; k < 3; ++k) {
              const QPainterPath::Element p = path.elementAt(i + k);
              AppendNumber(proc, p.x);
              proc += ' ';
              AppendNumber(proc, -p.y);
              proc += ' ';
            }
            proc += "c\n";
            i += 2;
          } else if (e.type == QPainterPath::MoveToElement || e.type == QPainterPath::LineToElement) {
            AppendNumber(proc, e.x);
            proc += ' ';
            AppendNumber(proc, -e.y);
            proc += e.type == QPainterPath::MoveToElement ? " m\n" : " l\n";
          }
        }
        if (!path.isEmpty()) proc += "f\n";
        const int procObject = newObject();
        putStream(procObject, proc, kFontCompression);
        procs += " /g";
        AppendInt(procs, qint64(code - first));
        procs += ' ';
        AppendInt(procs, procObject);
        procs += " 0 R";
        differences += " /g";
        AppendInt(differences, qint64(code - first));
        AppendNumber(widths, font.widthsByCode[code]);
        widths += ' ';
        const auto found = font.text.constFind(glyph);
        if (found != font.text.constEnd()) map.emplace_back(unsigned(code - first), *found);
      }
      const int toUnicode = newObject();
      putToUnicode(toUnicode, map, false);
      std::string f = "<< /Type /Font /Subtype /Type3 /FontBBox [";
      for (double v : {box.left(), -box.bottom(), box.right(), -box.top()}) {
        AppendInt(f, std::lround(v));
        f += ' ';
      }
      f += "] /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs <<" + procs;
      f += " >> /Encoding << /Type /Encoding /Differences [0" + differences;
      f += "] >> /FirstChar 0 /LastChar ";
      AppendInt(f, qint64(end - first) - 1);
      f += " /Widths [" + widths;
      f += "] /Resources << >> /ToUnicode ";
      AppendInt(f, toUnicode);
      f += " 0 R >>";
      putObject(font.outlineObjects[block], f);
    }
  }

  void finishDocument() {
    endPage();
    std::string resources = "<< /ProcSet [/PDF /Text /ImageB /ImageC] /Font <<";
    for (const auto &font : fonts) {
      if (font->trueType) {
        if (font->usedList.empty()) continue;
        putTrueTypeFont(*font);
        resources += " /F";
        AppendInt(resources, font->number);
        resources += ' ';
        AppendInt(resources, font->object);
        resources += " 0 R";
      } else {
        putOutlineFont(*font);
        for (size_t block = 0; block < font->outlineObjects.size(); ++block) {
          resources += " /F";
          AppendInt(resources, font->number);
          resources += '_';
          AppendInt(resources, qint64(block));
          resources += ' ';
          AppendInt(resources, font->outlineObjects[block]);
          resources += " 0 R";
        }
      }
    }
    resources += " >> /XObject <<";
    for (const auto &[number, object] : images) {
      resources += " /Im";
      AppendInt(resources, number);
      resources += ' ';
      AppendInt(resources, object);
      resources += " 0 R";
    }
    resources += " >> >>";
    putObject(kResources, resources);

    std::string pages = "<< /Type /Pages /MediaBox [0 0 ";
    AppendNumber(pages, pageWidth);
    pages += ' ';
    AppendNumber(pages, pageHeight);
    pages += "] /Count ";
    AppendInt(pages, qint64(pageObjects.size()));
    pages += " /Kids [";
    for (int page : pageObjects) {
      AppendInt(pages, page);
      pages += " 0 R ";
    }
    pages += "] >>";
    putObject(kPages, pages);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::string info = "<< /Title <FEFF";
    AppendUtf16Hex(info, title);
    info += "> /Creator (Scrivane) /Producer (Scrivane) /CreationDate (D:";
    info += now.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString();
    info += "Z) >>";
    putObject(kInfo, info);
    putObject(kCatalog, "<< /Type /Catalog /Pages 2 0 R >>");

    const quint64 xref = written;
    std::string table = "xref\n0 ";
    AppendInt(table, qint64(offsets.size()));
    table += "\n0000000000 65535 f \n";
    char entry[32];
    for (size_t i = 1; i < offsets.size(); ++i) {
      std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets[i]));
      table += entry;
    }
    const QByteArray id =
        QCryptographicHash::hash(title.toUtf8() + now.toString(Qt::ISODateWithMs).toUtf8(), QCryptographicHash::Md5)
            .toHex()
            .toUpper();
    table += "trailer\n<< /Size ";
    AppendInt(table, qint64(offsets.size()));
    table += " /Root 1 0 R /Info 4 0 R /ID [<" + id.toStdString() + "> <" + id.toStdString() + ">] >>\nstartxref\n";
    AppendInt(table, qint64(xref));
    table += "\n%%EOF\n";
    put(table);
    drain();
  }
};

PdfWriter::PdfWriter(QtTextMeasurer &measurer) : d(std::make_unique<Impl>(measurer)) {}

PdfWriter::~PdfWriter() = default;

bool PdfWriter::open(QIODevice *output, double widthPoints, double heightPoints, int dotsPerInch,
                     const QString &title) {
  if (!output || widthPoints <= 0 || heightPoints <= 0) return false;
  auto fresh = std::make_unique<Impl>(d->measurer);
  d = std::move(fresh);
  d->output = output;
  d->pageWidth = widthPoints;
  d->pageHeight = heightPoints;
  d->scale = 72.0 / double(dotsPerInch > 0 ? dotsPerInch : 600);
  d->title = title;
  d->isOpen = true;
  // The binary comment tells transfer programs the file is not text.
  d->put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  d->startPage();
  return !d->writeFailed;
}

DrawSurface &PdfWriter::surface() { return *d; }

void PdfWriter::newPage() {
  if (!d->isOpen) return;
  d->endPage();
  d->startPage();
}

bool PdfWriter::close(QString *error) {
  if (!d->isOpen) return false;
  d->isOpen = false;
  d->finishDocument();
  const bool ok = !d->writeFailed;
  if (!ok && error) {
    const QString deviceError = d->output ? d->output->errorString() : QString();
    *error = deviceError.isEmpty() ? QStringLiteral("the file could not be written") : deviceError;
  }
  d->output = nullptr;
  return ok;
}

}  // namespace scrivane
