#include "print/CairoPdfWriter.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <QGlyphRun>
#include <QHash>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <cmath>
#include <vector>

#include "platform/Text1252.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

namespace {

// A font Qt picked (the requested face or a fallback for characters it
// lacks), as cairo draws it: the same font file found through fontconfig,
// or, when no file with the same glyphs can be found, nothing, and its
// glyphs are filled as outlines instead.
struct CairoFont {
  QRawFont raw;
  cairo_scaled_font_t *scaled = nullptr;
  double underlinePosition = 0;
  double lineThickness = 0;
};

void DoneFace(void *face) { FT_Done_Face(static_cast<FT_Face>(face)); }

cairo_user_data_key_t kFaceKey;

// Fonts outlive documents: cairo keeps its own caches of faces and scaled
// fonts across surfaces (keyed by the FreeType face), so a face must stay
// alive as long as cairo may hand it out again, and loading the fonts once
// serves every document of an entire-project run. Only the GUI thread
// prints, so no lock.
struct FontCache {
  FT_Library library = nullptr;
  QHash<QString, CairoFont *> fonts;
};
FontCache &Fonts() {
  static FontCache *cache = new FontCache;  // never freed: cairo may hold its faces until exit
  return *cache;
}

void SetSource(cairo_t *cr, ColorRef color) {
  cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

bool Invisible(unsigned char c) { return QtTextMeasurer::GlyphTable::Invisible(c); }

}  // namespace

struct CairoPdfWriter::Impl : DrawSurface {
  explicit Impl(QtTextMeasurer &m) : measurer(m) {}
  ~Impl() override { release(); }

  QtTextMeasurer &measurer;
  QIODevice *output = nullptr;
  bool writeFailed = false;
  cairo_surface_t *pdf = nullptr;
  cairo_t *cr = nullptr;
  double scale = 72.0 / 600.0;
  // The cairo font of each 8-bit table of this document's measurer, so that
  // a run finds its font without building a key.
  QHash<const QtTextMeasurer::GlyphTable *, CairoFont *> tableFonts;

  // The row of text being gathered: one font, one baseline.
  bool pending = false;
  FontSpec runFont;
  int runBaseline = 0;
  CairoFont *runCairoFont = nullptr;
  const QtTextMeasurer::GlyphTable *runTable = nullptr;
  quint32 runBlank = 0;
  double runStartX = 0;
  double runEndX = 0;
  std::vector<cairo_glyph_t> runGlyphs;
  bool raised = false;  // the last word started on the raised baseline

  static cairo_status_t Write(void *closure, const unsigned char *data, unsigned int length) {
    auto *self = static_cast<Impl *>(closure);
    if (self->writeFailed || !self->output) return CAIRO_STATUS_WRITE_ERROR;
    qint64 done = 0;
    while (done < qint64(length)) {
      const qint64 written = self->output->write(reinterpret_cast<const char *>(data) + done, qint64(length) - done);
      if (written <= 0) {
        self->writeFailed = true;
        return CAIRO_STATUS_WRITE_ERROR;
      }
      done += written;
    }
    return CAIRO_STATUS_SUCCESS;
  }

  void release() {
    if (cr) cairo_destroy(cr);
    cr = nullptr;
    if (pdf) cairo_surface_destroy(pdf);
    pdf = nullptr;
    tableFonts.clear();
    output = nullptr;
  }

  CairoFont *fontFor(const QRawFont &raw) {
    const QString key = raw.familyName() + QLatin1Char('/') + raw.styleName() + QLatin1Char('/') +
                        QString::number(raw.pixelSize()) + QLatin1Char('/') + QString::number(raw.weight()) +
                        QLatin1Char('/') + QString::number(int(raw.style()));
    FontCache &cache = Fonts();
    if (CairoFont *known = cache.fonts.value(key)) return known;
    auto *font = new CairoFont;
    font->raw = raw;
    font->underlinePosition = raw.underlinePosition();
    font->lineThickness = std::max<qreal>(1.0, raw.lineThickness());
    font->scaled = loadScaledFont(raw);
    cache.fonts.insert(key, font);
    return font;
  }

  // The font file Qt drew from, by fontconfig's match for its family and
  // style, accepted only when its glyph numbers agree with Qt's.
  cairo_scaled_font_t *loadScaledFont(const QRawFont &raw) {
    FT_Library &library = Fonts().library;
    if (!library && FT_Init_FreeType(&library) != 0) return nullptr;
    FcPattern *pattern = FcPatternCreate();
    const QByteArray family = raw.familyName().toUtf8();
    const QByteArray style = raw.styleName().toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.constData()));
    if (!style.isEmpty()) FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8 *>(style.constData()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return nullptr;
    FcChar8 *path = nullptr;
    int index = 0;
    FT_Face face = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      if (FT_New_Face(library, reinterpret_cast<const char *>(path), index, &face) != 0) face = nullptr;
    }
    FcPatternDestroy(match);
    if (!face) return nullptr;
    if (!SameGlyphs(face, raw)) {
      FT_Done_Face(face);
      return nullptr;
    }
    cairo_font_face_t *fontFace = cairo_ft_font_face_create_for_ft_face(face, 0);
    if (cairo_font_face_set_user_data(fontFace, &kFaceKey, face, DoneFace) != CAIRO_STATUS_SUCCESS) {
      cairo_font_face_destroy(fontFace);
      FT_Done_Face(face);
      return nullptr;
    }
    cairo_matrix_t fontMatrix, ctm;
    cairo_matrix_init_scale(&fontMatrix, raw.pixelSize(), raw.pixelSize());
    cairo_matrix_init_scale(&ctm, scale, scale);
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_scaled_font_t *scaled = cairo_scaled_font_create(fontFace, &fontMatrix, &ctm, options);
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(fontFace);
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
      cairo_scaled_font_destroy(scaled);
      return nullptr;
    }
    return scaled;
  }

  static bool SameGlyphs(FT_Face face, const QRawFont &raw) {
    if (QString::fromUtf8(face->family_name) != raw.familyName()) return false;
    static const QString probe = QStringLiteral("AMWaegmw019{}();:=@_|\u00e9\u00fc\u20ac");
    const QList<quint32> expected = raw.glyphIndexesForString(probe);
    if (expected.size() != probe.size()) return false;
    for (qsizetype i = 0; i < probe.size(); ++i)
      if (FT_Get_Char_Index(face, probe[i].unicode()) != expected[i]) return false;
    return true;
  }

  void useScaledFont(CairoFont &font) { cairo_set_scaled_font(cr, font.scaled); }

  void drawGlyphs(CairoFont &font, const FontSpec &look, const cairo_glyph_t *glyphs, int count, double startX,
                  double endX, double baseline) {
    SetSource(cr, look.color);
    if (count > 0) {
      if (font.scaled) {
        useScaledFont(font);
        cairo_show_glyphs(cr, glyphs, count);
      } else {
        cairo_new_path(cr);
        for (int i = 0; i < count; ++i) AppendPath(font.raw.pathForGlyph(quint32(glyphs[i].index)), glyphs[i].x, glyphs[i].y);
        cairo_fill(cr);
      }
    }
    if (look.underline() && endX > startX) {
      const double y = baseline + font.underlinePosition;
      cairo_set_line_width(cr, font.lineThickness);
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
      cairo_move_to(cr, std::floor(startX), y);
      cairo_line_to(cr, std::floor(endX), y);
      cairo_stroke(cr);
    }
  }

  void AppendPath(const QPainterPath &path, double dx, double dy) {
    for (int i = 0; i < path.elementCount(); ++i) {
      const QPainterPath::Element e = path.elementAt(i);
      switch (e.type) {
        case QPainterPath::MoveToElement:
          cairo_move_to(cr, e.x + dx, e.y + dy);
          break;
        case QPainterPath::LineToElement:
          cairo_line_to(cr, e.x + dx, e.y + dy);
          break;
        case QPainterPath::CurveToElement:
          if (i + 2 < path.elementCount()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            cairo_curve_to(cr, e.x + dx, e.y + dy, c2.x + dx, c2.y + dy, end.x + dx, end.y + dy);
            i += 2;
          }
          break;
        case QPainterPath::CurveToDataElement:
          break;
      }
    }
  }

  void flush() {
    if (!pending) return;
    pending = false;
    while (!runGlyphs.empty() && runGlyphs.back().index == runBlank) runGlyphs.pop_back();
    drawGlyphs(*runCairoFont, runFont, runGlyphs.data(), int(runGlyphs.size()), runStartX, runEndX, runBaseline);
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
    for (const QGlyphRun &run : layout.glyphRuns()) {
      CairoFont *cairoFont = fontFor(run.rawFont());
      const QList<quint32> indexes = run.glyphIndexes();
      const QList<QPointF> positions = run.positions();
      std::vector<cairo_glyph_t> glyphs;
      glyphs.reserve(indexes.size());
      for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i)
        glyphs.push_back({indexes[i], x + positions[i].x(), baseline + positions[i].y() - lineAscent});
      const double endX = x + line.naturalTextWidth();
      drawGlyphs(*cairoFont, font, glyphs.data(), int(glyphs.size()), x, endX, baseline);
    }
  }

  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override {
    if (text.isEmpty() || !cr) return;
    const QtTextMeasurer::GlyphTable &table = measurer.glyphTable(font);
    if (!table.Draws(text)) {
      flush();
      drawShaped(x, y, font, Decode1252(text.data(), text.size()));
      return;
    }
    const int baseline = y + table.ascent;
    if (pending && (runBaseline != baseline || !(runFont == font))) flush();
    if (!pending) {
      pending = true;
      runFont = font;
      runBaseline = baseline;
      CairoFont *&known = tableFonts[&table];
      if (!known) known = fontFor(table.rawFont);
      runCairoFont = known;
      runBlank = table.glyph[0x20];
      runStartX = x;
      runTable = &table;
    }
    // cairo writes a run as one text array and advances each glyph by the
    // width it lists for the font, truncated to 1/1000 em; along a long row
    // that lags up to a point behind where the glyphs belong. It places a
    // glyph afresh whenever the baseline moves, so every other word sits
    // 2.5 thousandths of an em lower (0.025 pt at 10 points, far below what
    // a printer or screen shows): each word then starts where it was laid
    // out.
    const double lowered = baseline + runTable->rawFont.pixelSize() * 0.0025;
    long long advance64 = 0;
    bool wordStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (!Invisible(c)) {
        if (wordStart && c != ' ') {
          raised = !raised;
          wordStart = false;
        }
        runGlyphs.push_back({table.glyph[c], x + advance64 / 64.0, raised ? double(baseline) : lowered});
      }
      if (c == ' ') wordStart = true;
      advance64 += table.advance64[c];
    }
    runEndX = x + advance64 / 64.0;
  }

  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text, TextEncoding encoding) override {
    if (encoding == TextEncoding::Windows1252 || IsAscii(text) || !IsValidUtf8(text)) {
      drawText(x, y, font, text);
      return;
    }
    if (!cr) return;
    flush();
    drawShaped(x, y, font, QString::fromUtf8(text));
  }

  void stroke(const PenSpec &pen) {
    const ColorRef color = pen.mode == PenMode::Black ? 0 : pen.color;
    SetSource(cr, color);
    cairo_set_line_width(cr, std::max(1, pen.width));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
  }

  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override {
    if (!cr) return;
    flush();
    cairo_new_path(cr);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    stroke(pen);
  }

  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override {
    if (!cr) return;
    flush();
    // The outline lies inside the rectangle, as GDI draws it.
    const int half = std::max(1, pen.width) / 2;
    const QRect inner = rect.adjusted(half, half, -half - 1, -half - 1);
    cairo_new_path(cr);
    cairo_rectangle(cr, inner.x(), inner.y(), inner.width(), inner.height());
    if (brush.style == BrushStyle::Solid) {
      SetSource(cr, brush.color);
      cairo_fill_preserve(cr);
    }
    stroke(pen);
  }

  void drawImage(const QRect &target, const QImage &image) override {
    if (!cr) return;
    flush();
    if (image.isNull() || image.width() == 0 || image.height() == 0 || target.isEmpty()) return;
    QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, argb.width());
    if (stride != argb.bytesPerLine()) return;
    cairo_surface_t *source = cairo_image_surface_create_for_data(argb.bits(), CAIRO_FORMAT_ARGB32, argb.width(),
                                                                  argb.height(), stride);
    cairo_save(cr);
    cairo_translate(cr, target.x(), target.y());
    cairo_scale(cr, double(target.width()) / argb.width(), double(target.height()) / argb.height());
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    // Finishing the source makes the PDF surface take its own copy of the
    // pixels, which it writes with the page, before argb goes away.
    cairo_surface_finish(source);
    cairo_surface_destroy(source);
  }
};

CairoPdfWriter::CairoPdfWriter(QtTextMeasurer &measurer) : d(std::make_unique<Impl>(measurer)) {}

CairoPdfWriter::~CairoPdfWriter() = default;

bool CairoPdfWriter::open(QIODevice *output, double widthPoints, double heightPoints, int dotsPerInch,
                          const QString &title) {
  d->release();
  d->writeFailed = false;
  d->output = output;
  d->pdf = cairo_pdf_surface_create_for_stream(&Impl::Write, d.get(), widthPoints, heightPoints);
  cairo_pdf_surface_set_metadata(d->pdf, CAIRO_PDF_METADATA_TITLE, title.toUtf8().constData());
  cairo_pdf_surface_set_metadata(d->pdf, CAIRO_PDF_METADATA_CREATOR, "Scrivane");
  d->cr = cairo_create(d->pdf);
  d->scale = 72.0 / double(dotsPerInch > 0 ? dotsPerInch : 600);
  cairo_scale(d->cr, d->scale, d->scale);
  if (cairo_status(d->cr) != CAIRO_STATUS_SUCCESS) {
    d->release();
    return false;
  }
  return true;
}

DrawSurface &CairoPdfWriter::surface() { return *d; }

void CairoPdfWriter::newPage() {
  if (!d->cr) return;
  d->flush();
  cairo_show_page(d->cr);
}

bool CairoPdfWriter::close(QString *error) {
  if (!d->cr) return false;
  d->flush();
  cairo_destroy(d->cr);
  d->cr = nullptr;
  cairo_surface_finish(d->pdf);
  const cairo_status_t status = cairo_surface_status(d->pdf);
  cairo_surface_destroy(d->pdf);
  d->pdf = nullptr;
  const bool ok = status == CAIRO_STATUS_SUCCESS && !d->writeFailed;
  if (!ok && error) {
    const QString deviceError = d->output ? d->output->errorString() : QString();
    *error = d->writeFailed && !deviceError.isEmpty() ? deviceError : QString::fromUtf8(cairo_status_to_string(status));
  }
  d->release();
  return ok;
}

}  // namespace scrivane
