// How the PDF writer draws text: a row's words in one font gathered into
// one run of glyphs, written as text arrays; what the 8-bit glyph tables
// cannot draw shaped by Qt.
#include <QString>
#include <cmath>

#include "platform/Text1252.h"
#include "print/PdfShaping.h"
#include "print/PdfWriterImpl.h"

namespace scrivane {

using pdfwriting::SyntheticFor;

namespace {

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

}  // namespace

void PdfWriter::Impl::showGlyphs(PdfFont &font, double size, double baseline,
                                 const RunGlyph *glyphs, size_t count, Synthetic synthetic) {
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
    const size_t first = i;
    // The glyphs' codes, and the moves between them, gather here and go
    // to the content in blocks: appending to the content piece by piece
    // checked its room for every byte of every glyph.
    char codes[512];
    char *out = codes;
    // A glyph adds at most four bytes of codes and a move: room for them.
    char *const full = codes + sizeof codes - (8 + kNumberRoom);
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
      if (i != first) {
        // The pen after the previous glyph against where this one was
        // laid out, in the thousandths of an em the array counts in. Far
        // below the 0.05 that is written it is not rounded: most glyphs
        // of a listing sit where the pen is.
        const double raw = (pen - X(g.x)) * 1000.0 / size;
        const double shift =
            std::abs(raw) < 0.04 ? 0.0 : double(RoundHalfAway(raw * 1000.0)) / 1000.0;
        if (std::abs(shift) >= 0.05) {
          *out++ = ')';
          out = PutNumber(out, shift);
          *out++ = '(';
          pen -= shift * size / 1000.0;
        }
      }
      // The code's bytes as they are, in a literal string: half the
      // size of hexadecimal, so half the bytes to compress. A bracket,
      // a backslash and a carriage return (which a reader would take
      // for an end of line) are escaped.
      static constexpr auto kEscaped = [] {
        std::array<bool, 256> table{};
        for (const unsigned char c : {'(', ')', '\\', '\r'}) table[c] = true;
        return table;
      }();
      auto put = [&](unsigned char b) {
        if (kEscaped[b]) {
          *out++ = '\\';
          if (b == '\r') b = 'r';
        }
        *out++ = char(b);
      };
      if (!font.program) {
        put((unsigned char)(code % 256));
      } else if (g.glyph < 256 && !kEscaped[g.glyph]) {
        // A listing's letters: a zero, then a byte that needs no escape.
        *out++ = '\0';
        *out++ = char(g.glyph);
      } else {
        put((unsigned char)(g.glyph >> 8));
        put((unsigned char)g.glyph);
      }
      pen += width * size / 1000.0;
      if (out >= full) {
        content.append(codes, size_t(out - codes));
        out = codes;
      }
    }
    content.append(codes, size_t(out - codes));
    content += ")] TJ\nET\n";
    text.end = plain ? content.size() : std::string::npos;
  }
  if (synthetic.embolden) content += "Q\n";
}

void PdfWriter::Impl::underline(double startX, double endX, double baseline, double position,
                                double thickness) {
  if (endX <= startX) return;
  setStroke(fill, thickness * scale);
  const double y = baseline + position;
  point(std::floor(startX), y);
  content += "m ";
  point(std::floor(endX), y);
  content += "l S\n";
}

void PdfWriter::Impl::flush() {
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

void PdfWriter::Impl::drawShaped(int x, int y, const FontSpec &font, const QString &text) {
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

void PdfWriter::Impl::joinRun(int x, int y, const FontSpec &font,
                              const QtTextMeasurer::GlyphTable &table) {
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

void PdfWriter::Impl::drawText(int x, int y, const FontSpec &font, QByteArrayView text) {
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

void PdfWriter::Impl::drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                                 TextEncoding encoding) {
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
      const bool known = pdfFont.program && g.glyph < pdfFont.used.size() && pdfFont.used[g.glyph];
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

}  // namespace scrivane
