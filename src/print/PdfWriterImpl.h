#pragma once
// The PDF writer's state while a document is open, shared by the files
// that write its pages (PdfWriter.cpp) and its text (PdfWriterText.cpp).
// Only those include it.
#include <QRawFont>
#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "print/PdfFonts.h"
#include "print/PdfNavigation.h"
#include "print/PdfObjectWriter.h"
#include "print/PdfWriter.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

namespace pdfwriting {

// Bold or italic Qt makes up for a face that has no such style (fontconfig
// asks for it): the PDF slants or thickens the regular face the same way.
struct Synthetic {
  bool slant = false;
  bool embolden = false;
};

inline Synthetic SyntheticFor(const QRawFont &raw, const FaceStyle &face) {
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

}  // namespace pdfwriting

struct PdfWriter::Impl : DrawSurface, PdfObjectWriter {
  using Synthetic = pdfwriting::Synthetic;
  using RunGlyph = pdfwriting::RunGlyph;
  using RunGlyphs = pdfwriting::RunGlyphs;
  static void AppendColor(std::string &out, ColorRef color, const char *op) {
    AppendNumber(out, (color & 0xFF) / 255.0);
    out += ' ';
    AppendNumber(out, ((color >> 8) & 0xFF) / 255.0);
    out += ' ';
    AppendNumber(out, ((color >> 16) & 0xFF) / 255.0);
    out += ' ';
    out += op;
    out += '\n';
  }

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

  void startPage();

  void placePage(const PagePlacement &where) override;

  // Writes the placed page as a form and places it on the sheet.
  void endForm();

  void endPage();

  // One text array, or for an outline font one per block of 256 codes.
  void showGlyphs(PdfFont &font, double size, double baseline, const RunGlyph *glyphs, size_t count,
                  Synthetic synthetic = {});

  void underline(double startX, double endX, double baseline, double position, double thickness);

  void flush();

  // Text the 8-bit table cannot draw (a byte without a glyph in the font):
  // laid out by Qt, with its fallback fonts, then drawn glyph run by run.
  // Where the glyphs cannot give the text back by themselves (missing-glyph
  // boxes, joined or right-to-left scripts), the source text goes beside
  // them as the span's actual text, which is what copying takes.
  void drawShaped(int x, int y, const FontSpec &font, const QString &text);

  // Joins the row's run of this font and baseline, or starts one.
  void joinRun(int x, int y, const FontSpec &font, const QtTextMeasurer::GlyphTable &table);

  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override;

  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                  TextEncoding encoding) override;

  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override;

  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override;

  void drawImage(const QRect &target, const QImage &image) override;

  // --- the end of the document ---------------------------------------------

  void finishDocument();
};

}  // namespace scrivane
