#include "print/PdfWriter.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QRawFont>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Text1252.h"
#include "platform/Version.h"
#include "print/PdfFonts.h"
#include "print/PdfNavigation.h"
#include "print/PdfObjectWriter.h"
#include "print/PdfShaping.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

namespace {

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

// An 8-bit image, its pixels compressed in its stream.
PdfDictionary ImageDictionary(int width, int height, std::string_view colorSpace) {
  PdfDictionary image;
  image.name("Type", "XObject")
      .name("Subtype", "Image")
      .integer("Width", width)
      .integer("Height", height)
      .name("ColorSpace", colorSpace)
      .integer("BitsPerComponent", 8)
      .raw("Interpolate", "true");
  return image;
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

Synthetic SyntheticFor(const QRawFont &raw, const FaceStyle &face) {
  return {raw.style() != QFont::StyleNormal && !face.italic,
          raw.weight() >= QFont::DemiBold && !face.bold};
}

// What a row's run holds per glyph.
struct RunGlyph {
  unsigned glyph;
  double x;  // device pixels
};

// A row's glyphs. Room is made without filling it first: a vector zeroed
// every glyph before drawText wrote it.
class RunGlyphs {
 public:
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  const RunGlyph *data() const { return data_.get(); }
  const RunGlyph &back() const { return data_[size_ - 1]; }
  void pop_back() { --size_; }
  void clear() { size_ = 0; }
  // Room for count more; the caller writes them and hands back the end.
  RunGlyph *extend(size_t count) {
    if (size_ + count > capacity_) {
      const size_t capacity = std::max(size_ + count, 2 * capacity_ + 64);
      std::unique_ptr<RunGlyph[]> bigger(new RunGlyph[capacity]);
      std::copy(data_.get(), data_.get() + size_, bigger.get());
      data_ = std::move(bigger);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  void endAt(const RunGlyph *end) { size_ = size_t(end - data_.get()); }
  void push_back(const RunGlyph &glyph) {
    RunGlyph *at = extend(1);
    *at++ = glyph;
    endAt(at);
  }

 private:
  std::unique_ptr<RunGlyph[]> data_;
  size_t size_ = 0, capacity_ = 0;
};

}  // namespace

struct PdfWriter::Impl : DrawSurface, PdfObjectWriter {
  Impl(QtTextMeasurer &m, int compressors)
      : PdfObjectWriter(compressors < 0 ? DefaultPdfWorkers() : compressors),
        measurer(m),
        compressors(compressors) {}

  QtTextMeasurer &measurer;
  int compressors;
  bool isOpen = false;
  double scale = 72.0 / 600.0;
  double pageWidth = 0, pageHeight = 0;  // points
  QString title;

  std::vector<int> pageObjects;
  std::vector<std::pair<int, int>> images;  // number, object
  PdfFonts fonts{*this};
  struct TableFont {
    PdfFont *font = nullptr;
    std::array<bool, 256> noted{};  // the byte's glyph is in the font's used list
    // What every run in the font needs of it, asked of the font file once.
    double pixelSize = 0, underlinePosition = 0, lineThickness = 0;
    Synthetic synthetic;
  };
  // A run keeps a pointer to its entry: the map must not move entries.
  std::unordered_map<const QtTextMeasurer::GlyphTable *, TableFont> tableFonts;

  // Bookmarks, links and page labels the listings report.
  PdfNavigation nav;
  NavigationSink *navigation() override { return &nav; }

  // The page being drawn, and its graphics state as far as written.
  std::string content;
  // Pages placed on a sheet (2 or 4 a sheet): each page is a form drawn
  // once and placed scaled by the sheet's own content, so its text stays
  // text. drawHeight is the height, in points, that the drawing's y counts
  // down from: the sheet's, or the placed page's.
  bool placing = false;
  PagePlacement placement;
  std::string sheetContent;
  PdfDictionary sheetForms;
  double drawHeight = 0;
  ColorRef fill = 0, strokeColor = 0;
  double lineWidth = 1.0;
  // The text object the last run closed. While nothing but a colour is
  // written after it, the next run goes on in it: no new BT and ET, no Tf
  // for the same font, and a move from its last line start, which is
  // shorter than a place on the page. A listing's runs follow one another,
  // so a page's content is about an eighth smaller and quicker to compress.
  struct OpenText {
    size_t end = std::string::npos;  // content.size() just after its "ET\n"
    std::string font;                // its "/Fn size" as written
    long long lineX = 0, lineY = 0;  // its last line start, in thousandths of a point
  } text;

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
  RunGlyphs runGlyphs;

  // The glyph tables of the fonts drawn lately: finding a table through
  // the measurer cost a sixth of what drawing a word cost.
  RecentFonts<QtTextMeasurer::GlyphTable> knownTables;
  const QtTextMeasurer::GlyphTable &tableFor(const FontSpec &font) {
    if (const QtTextMeasurer::GlyphTable *known = knownTables.find(font)) return *known;
    const QtTextMeasurer::GlyphTable &table = measurer.glyphTable(font);
    knownTables.add(font, &table);
    return table;
  }

  // --- page geometry --------------------------------------------------------

  double X(double deviceX) const { return deviceX * scale; }
  double Y(double deviceY) const { return drawHeight - deviceY * scale; }

  // A number as last written: a row's runs share a baseline, and a font
  // its size, so the same text is written again rather than formatted.
  struct WrittenNumber {
    double value = std::numeric_limits<double>::quiet_NaN();
    std::string text;
  };
  WrittenNumber lastY, lastSize, lastMoveY;
  void appendNumber(WrittenNumber &last, double value) {
    if (!(last.value == value)) {
      last.value = value;
      last.text.clear();
      AppendNumber(last.text, value);
    }
    content += last.text;
  }

  void point(double x, double y) {
    AppendNumber(content, X(x));
    content += ' ';
    appendNumber(lastY, Y(y));
    content += ' ';
  }

  void setFill(ColorRef color) {
    if (color == fill) return;
    fill = color;
    // A colour may be set inside a text object: the one just closed stays
    // open for the next run.
    const bool inText = text.end == content.size();
    if (inText) content.resize(content.size() - 3);
    AppendColor(content, color, "rg");
    if (inText) {
      content += "ET\n";
      text.end = content.size();
    }
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

  void resetGraphicsState() {
    text = {};
    fill = 0;
    strokeColor = 0;
    lineWidth = 1.0;
  }

  void startPage() {
    nav.setSheet(int(pageObjects.size()));
    content.clear();
    drawHeight = pageHeight;
    resetGraphicsState();
  }

  void placePage(const PagePlacement &where) override {
    if (!isOpen) return;
    flush();
    if (placing) endForm();
    nav.setPlacement(where, sheetForms.empty());
    placing = true;
    placement = where;
    drawHeight = where.pageHeight * scale;
    content.clear();
    resetGraphicsState();
  }

  // Writes the placed page as a form and places it on the sheet.
  void endForm() {
    const double width = placement.pageWidth * scale, height = placement.pageHeight * scale;
    PdfDictionary dictionary;
    dictionary.name("Type", "XObject")
        .name("Subtype", "Form")
        .raw("BBox", "[0 0 " + PdfNumber(width) + ' ' + PdfNumber(height) + ']')
        .reference("Resources", kResources);
    const int form = newObject();
    putStream(form, std::move(content), kPageCompression, dictionary.fields());
    content.clear();
    resetGraphicsState();
    sheetContent += "q ";
    AppendNumber(sheetContent, placement.scale);
    sheetContent += " 0 0 ";
    AppendNumber(sheetContent, placement.scale);
    sheetContent += ' ';
    AppendNumber(sheetContent, placement.x * scale);
    sheetContent += ' ';
    AppendNumber(sheetContent,
                 pageHeight - (placement.y + placement.pageHeight * placement.scale) * scale);
    sheetContent += " cm /Pg";
    AppendInt(sheetContent, form);
    sheetContent += " Do Q\n";
    sheetForms.reference("Pg" + std::to_string(form), form);
  }

  void endPage() {
    flush();
    PdfDictionary body;
    body.name("Type", "Page").reference("Parent", kPages);
    if (placing) {
      endForm();
      content = std::move(sheetContent);
      body.raw("Resources",
               PdfDictionary().raw("ProcSet", "[/PDF]").raw("XObject", sheetForms.str()).str());
      sheetContent.clear();
      sheetForms = {};
      placing = false;
    } else {
      body.reference("Resources", kResources);
    }
    const int contents = newObject();
    const size_t size = content.size();
    putStream(contents, std::move(content), kPageCompression);
    content.clear();
    text = {};
    content.reserve(size);
    const int page = newObject();
    body.reference("Contents", contents);
    const std::string annotations = nav.annotationsOf(int(pageObjects.size()), *this);
    if (!annotations.empty()) body.raw("Annots", annotations);
    putObject(page, body.str());
    pageObjects.push_back(page);
    content.clear();
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
      if (!font.program) block = font.codes.value(glyphs[i].glyph) / 256;
      // A slanted or emboldened run changes the text state for itself
      // alone: it has a text object of its own, and none follows in it.
      const bool plain = !synthetic.embolden && !synthetic.slant;
      const bool goesOn = plain && text.end == content.size();
      if (goesOn) {
        content.resize(content.size() - 3);  // its "ET\n"
      } else {
        content += synthetic.embolden ? "BT 2 Tr " : "BT ";
        text = {};
      }
      const size_t fontAt = content.size();
      content += "/F";
      AppendInt(content, font.number);
      if (!font.program) {
        content += '_';
        AppendInt(content, block);
      }
      content += ' ';
      appendNumber(lastSize, size);
      if (goesOn && std::string_view(content).substr(fontAt) == text.font) {
        content.resize(fontAt);
      } else {
        text.font.assign(content, fontAt);
        content += " Tf ";
      }
      if (synthetic.slant) {
        // Fontconfig's oblique: x grows by a fifth of the height.
        content += "1 0 0.2 1 ";
        point(glyphs[i].x, baseline);
        content += "Tm [(";
      } else {
        // In thousandths, as numbers are written: the moves add up to the
        // places exactly.
        const long long x = RoundHalfAway(X(glyphs[i].x) * 1000.0),
                        y = RoundHalfAway(Y(baseline) * 1000.0);
        AppendNumber(content, double(x - text.lineX) / 1000.0);
        content += ' ';
        appendNumber(lastMoveY, double(y - text.lineY) / 1000.0);  // mostly a row's height
        content += " Td [(";
        text.lineX = x;
        text.lineY = y;
      }
      double pen = X(glyphs[i].x);
      bool first = true;
      // The glyphs' codes gather here and go to the content in blocks.
      char codes[256];
      size_t used = 0;
      auto putCodes = [&] {
        content.append(codes, used);
        used = 0;
      };
      for (; i < count; ++i) {
        const RunGlyph &g = glyphs[i];
        int code = 0;
        double width = 0;
        if (font.program) {
          width = font.width(g.glyph);
        } else {
          code = font.codes.value(g.glyph);
          if (code / 256 != block) break;
          width = font.widthsByCode[size_t(code)];
        }
        if (!first) {
          // The pen after the previous glyph against where this one was
          // laid out, in the thousandths of an em the array counts in. Far
          // below the 0.05 that is written it is not rounded: most glyphs
          // of a listing sit where the pen is.
          const double raw = (pen - X(g.x)) * 1000.0 / size;
          const double shift =
              std::abs(raw) < 0.04 ? 0.0 : double(RoundHalfAway(raw * 1000.0)) / 1000.0;
          if (std::abs(shift) >= 0.05) {
            putCodes();
            content += ')';
            AppendNumber(content, shift);
            content += '(';
            pen -= shift * size / 1000.0;
          }
        }
        first = false;
        // The code's bytes as they are, in a literal string: half the
        // size of hexadecimal, so half the bytes to compress. A bracket,
        // a backslash and a carriage return (which a reader would take
        // for an end of line) are escaped.
        if (used + 4 > sizeof codes) putCodes();
        static constexpr auto kEscaped = [] {
          std::array<bool, 256> table{};
          for (const unsigned char c : {'(', ')', '\\', '\r'}) table[c] = true;
          return table;
        }();
        auto put = [&](unsigned char b) {
          if (kEscaped[b]) {
            codes[used++] = '\\';
            if (b == '\r') b = 'r';
          }
          codes[used++] = char(b);
        };
        if (font.program) put((unsigned char)(g.glyph >> 8));
        put((unsigned char)(font.program ? g.glyph : unsigned(code % 256)));
        pen += width * size / 1000.0;
      }
      putCodes();
      content += ")] TJ\nET\n";
      text.end = plain ? content.size() : std::string::npos;
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
    showGlyphs(*runTable->font, runSize, runBaseline, runGlyphs.data(), runGlyphs.size(),
               runSynthetic);
    if (runFont.underline())
      underline(runStartX, runEndX, runBaseline, runUnderlinePosition, runLineThickness);
    runGlyphs.clear();
  }

  // Text the 8-bit table cannot draw (a byte without a glyph in the font):
  // laid out by Qt, with its fallback fonts, then drawn glyph run by run.
  // Where the glyphs cannot give the text back by themselves (missing-glyph
  // boxes, joined or right-to-left scripts), the source text goes beside
  // them as the span's actual text, which is what copying takes.
  void drawShaped(int x, int y, const FontSpec &font, const QString &text) {
    const ShapedText shaped =
        ShapeText(text, measurer.cachedFont(font), measurer.glyphTable(font).rawFont);
    if (shaped.runs.empty() && shaped.boxes.empty()) return;
    const double baseline = y + measurer.ascent(font);
    setFill(font.color);
    if (shaped.needsSourceText) {
      content += "/Span << /ActualText <FEFF";
      AppendUtf16Hex(content, text);
      content += "> >> BDC\n";
    }
    double underlinePosition = 0, thickness = 1;
    for (const ShapedRun &run : shaped.runs) {
      PdfFont &pdfFont = *fonts.fontFor(run.font);
      underlinePosition = run.font.underlinePosition();
      thickness = std::max<qreal>(1.0, run.font.lineThickness());
      std::vector<RunGlyph> glyphs;
      double rowY = 0;
      auto show = [&] {
        showGlyphs(pdfFont, run.font.pixelSize() * scale, baseline + rowY, glyphs.data(),
                   glyphs.size(), SyntheticFor(run.font, pdfFont.face));
        glyphs.clear();
      };
      for (const ShapedGlyph &g : run.glyphs) {
        if (!glyphs.empty() && g.position.y() != rowY) show();
        rowY = g.position.y();
        fonts.use(pdfFont, g.glyph, g.stands.isEmpty() ? nullptr : &g.stands);
        glyphs.push_back({g.glyph, x + g.position.x()});
      }
      show();
    }
    if (!shaped.boxes.empty()) {
      setStroke(font.color, shaped.boxLineWidth * scale);
      for (const ShapedText::Box &box : shaped.boxes) {
        point(x + box.rect.left(), baseline + box.rect.bottom());
        AppendNumber(content, box.rect.width() * scale);
        content += ' ';
        AppendNumber(content, box.rect.height() * scale);
        content += " re S\n";
      }
      // Readers copy text only where glyphs are shown: an invisible letter
      // of the listing font under each box carries the box's character as
      // its actual text (or the whole text's, given above).
      const QtTextMeasurer::GlyphTable &table = measurer.glyphTable(font);
      const unsigned letter = table.glyph['x'];
      if (table.rawFont.isValid() && letter != 0) {
        PdfFont &anchor = *fonts.fontFor(table.rawFont);
        fonts.use(anchor, letter, &Characters1252()['x']);
        content += "q 3 Tr\n";
        for (const ShapedText::Box &box : shaped.boxes) {
          const bool ownText = !shaped.needsSourceText && !box.stands.isEmpty();
          if (ownText) {
            content += "/Span << /ActualText <FEFF";
            AppendUtf16Hex(content, box.stands);
            content += "> >> BDC ";
          }
          const RunGlyph glyph{letter, x + box.rect.left()};
          showGlyphs(anchor, table.rawFont.pixelSize() * scale, baseline, &glyph, 1);
          if (ownText) content += "EMC\n";
        }
        content += "Q\n";
      }
    }
    if (shaped.needsSourceText) content += "EMC\n";
    if (font.underline()) underline(x, x + shaped.width, baseline, underlinePosition, thickness);
  }

  // Joins the row's run of this font and baseline, or starts one.
  void joinRun(int x, int y, const FontSpec &font, const QtTextMeasurer::GlyphTable &table) {
    const int baseline = y + table.ascent;
    if (pending && (runBaseline != baseline || !(runFont == font))) flush();
    if (pending) return;
    pending = true;
    // The face is shared text: assigning it for every run counted its
    // references up and down across threads.
    AssignFont(runFont, font);
    runBaseline = baseline;
    TableFont &known = tableFonts[&table];
    if (!known.font) {
      known.font = fonts.fontFor(table.rawFont);
      known.pixelSize = table.rawFont.pixelSize();
      known.underlinePosition = table.rawFont.underlinePosition();
      known.lineThickness = std::max<qreal>(1.0, table.rawFont.lineThickness());
      known.synthetic = SyntheticFor(table.rawFont, known.font->face);
    }
    runTable = &known;
    runSize = known.pixelSize * scale;
    runUnderlinePosition = known.underlinePosition;
    runLineThickness = known.lineThickness;
    runBlank = table.glyph[0x20];
    runStartX = x;
    runSynthetic = known.synthetic;
  }

  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override {
    if (text.isEmpty() || !isOpen) return;
    const QtTextMeasurer::GlyphTable &table = tableFor(font);
    if (!table.Draws(text)) {
      flush();
      drawShaped(x, y, font, Decode1252(text.data(), text.size()));
      return;
    }
    joinRun(x, y, font, table);
    PdfFont &pdfFont = *runTable->font;
    // Room for every byte's glyph, written through a pointer; what the
    // invisible bytes left over is given back.
    RunGlyph *out = runGlyphs.extend(size_t(text.size()));
    long long advance64 = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (!Invisible(c)) {
        const unsigned glyph = table.glyph[c];
        if (!runTable->noted[c]) {
          runTable->noted[c] = true;
          fonts.use(pdfFont, glyph, &Characters1252()[c],
                    table.Advance64(c) * 1000.0 / 64.0 / table.rawFont.pixelSize());
        }
        *out++ = {glyph, x + advance64 / 64.0};
      }
      advance64 += table.Advance64(c);
    }
    runGlyphs.endAt(out);
    runEndX = x + advance64 / 64.0;
  }

  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                  TextEncoding encoding) override {
    if (encoding == TextEncoding::Windows1252 || IsAscii(text)) {
      drawText(x, y, font, text);
      return;
    }
    if (!isOpen) return;
    bool invalid = false;
    const std::vector<QtTextMeasurer::PlacedGlyph> *placed =
        measurer.layOutSimply(font, text, &invalid);
    if (invalid) {
      drawText(x, y, font, text);  // as the Windows-1252 text it is measured as
      return;
    }
    if (!placed) {
      flush();
      drawShaped(x, y, font, QString::fromUtf8(text));
      return;
    }
    // Letters the font has, placed as the measurer placed them: one run
    // with the row's other words.
    const QtTextMeasurer::GlyphTable &table = tableFor(font);
    joinRun(x, y, font, table);
    PdfFont &pdfFont = *runTable->font;
    long long advance64 = 0;
    for (const QtTextMeasurer::PlacedGlyph &g : *placed) {
      if (!g.invisible) {
        const bool known =
            pdfFont.program && g.glyph < pdfFont.used.size() && pdfFont.used[g.glyph];
        if (!known) {
          const QString character = QString::fromUcs4(&g.character, 1);
          fonts.use(pdfFont, g.glyph, &character,
                    g.advance64 * 1000.0 / 64.0 / table.rawFont.pixelSize());
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
      pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(row)),
                    size_t(rgb.width()) * 3);
    PdfDictionary dictionary = ImageDictionary(rgb.width(), rgb.height(), "DeviceRGB");
    if (image.hasAlphaChannel()) {
      const QImage alpha = image.convertToFormat(QImage::Format_Alpha8);
      std::string mask;
      for (int row = 0; row < alpha.height(); ++row)
        mask.append(reinterpret_cast<const char *>(alpha.constScanLine(row)),
                    size_t(alpha.width()));
      const int maskObject = newObject();
      putStream(maskObject, mask, kImageCompression,
                ImageDictionary(alpha.width(), alpha.height(), "DeviceGray").fields());
      dictionary.reference("SMask", maskObject);
    }
    const int object = newObject();
    putStream(object, pixels, kImageCompression, dictionary.fields());
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

  void finishDocument() {
    endPage();
    PdfDictionary xObjects;
    for (const auto &[number, object] : images)
      xObjects.reference("Im" + std::to_string(number), object);
    PdfDictionary resources;
    resources.raw("ProcSet", "[/PDF /Text /ImageB /ImageC]")
        .raw("Font", fonts.writeAll())
        .raw("XObject", xObjects.str());
    putObject(kResources, resources.str());

    std::string kids = "[";
    for (int page : pageObjects) kids += std::to_string(page) + " 0 R ";
    kids += ']';
    PdfDictionary pages;
    pages.name("Type", "Pages")
        .raw("MediaBox", "[0 0 " + PdfNumber(pageWidth) + ' ' + PdfNumber(pageHeight) + ']')
        .integer("Count", qint64(pageObjects.size()))
        .raw("Kids", kids);
    putObject(kPages, pages.str());

    const QDateTime now = nav.creationDate().toUTC();
    putObject(kInfo, nav.information(
                         title, QStringLiteral("Scrivane ") + QLatin1String(ScrivaneVersion())));
    PdfDictionary catalog;
    catalog.name("Type", "Catalog").reference("Pages", kPages);
    nav.finish(*this, pageObjects, catalog);
    putObject(kCatalog, catalog.str());

    drain();  // the offsets of every object so far
    const quint64 xref = written;
    std::string table = "xref\n0 ";
    AppendInt(table, qint64(offsets.size()));
    table += "\n0000000000 65535 f \n";
    // Digit by digit: a formatted print per object cost a thousand
    // instructions each, at the end, when nothing else is left to do. Put
    // piece by piece: whole, a 25,000-page table took 8 MiB at the peak.
    constexpr size_t kTablePiece = 64 * 1024;
    table.reserve(kTablePiece + 64);
    char entry[32];
    for (size_t i = 1; i < offsets.size(); ++i) {
      unsigned long long offset = offsets[i];
      if (offset >= 10000000000ULL) {
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", offset);
        table += entry;
      } else {
        std::memcpy(entry, "0000000000 00000 n \n", 20);
        for (int k = 9; offset != 0; --k, offset /= 10) entry[k] = char('0' + offset % 10);
        table.append(entry, 20);
      }
      if (table.size() >= kTablePiece) {
        put(table);
        table.clear();
      }
    }
    const QByteArray id =
        QCryptographicHash::hash(title.toUtf8() + now.toString(Qt::ISODateWithMs).toUtf8(),
                                 QCryptographicHash::Md5)
            .toHex()
            .toUpper();
    PdfDictionary trailer;
    trailer.integer("Size", qint64(offsets.size()))
        .reference("Root", kCatalog)
        .reference("Info", kInfo)
        .raw("ID", "[<" + id.toStdString() + "> <" + id.toStdString() + ">]");
    table += "trailer\n" + trailer.str() + "\nstartxref\n";
    AppendInt(table, qint64(xref));
    table += "\n%%EOF\n";
    put(table);
    drain();
  }
};

PdfWriter::PdfWriter(QtTextMeasurer &measurer, int compressors)
    : d(std::make_unique<Impl>(measurer, compressors)) {}

PdfWriter::~PdfWriter() = default;

bool PdfWriter::open(QIODevice *output, double widthPoints, double heightPoints, int dotsPerInch,
                     const QString &title) {
  if (!output || widthPoints <= 0 || heightPoints <= 0) return false;
  auto fresh = std::make_unique<Impl>(d->measurer, d->compressors);
  d = std::move(fresh);
  d->output = output;
  d->pageWidth = widthPoints;
  d->pageHeight = heightPoints;
  d->scale = 72.0 / double(dotsPerInch > 0 ? dotsPerInch : 600);
  d->title = title;
  d->nav.setGeometry(d->scale, heightPoints);
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
