#include "print/PdfFonts.h"

#include <QCryptographicHash>
#include <QFontDatabase>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "print/PdfObjectWriter.h"

namespace scrivane {

namespace {

std::string SubsetTag(const PdfFont &font) {
  QCryptographicHash hash(QCryptographicHash::Md5);
  hash.addData(font.raw.familyName().toUtf8());
  for (unsigned g : font.usedList)
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(&g), sizeof g));
  const QByteArray digest = hash.result();
  std::string tag;
  for (int i = 0; i < 6; ++i) tag += char('A' + quint8(digest[i]) % 26);
  return tag;
}

std::string BaseName(const PdfFont &font) {
  QByteArray name = font.program ? font.program->postScriptName() : QByteArray();
  if (name.isEmpty()) {
    for (QChar c : font.raw.familyName() + QLatin1Char('-') + font.raw.styleName())
      if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
          (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-'))
        name.append(char(c.unicode()));
  }
  if (name.isEmpty()) name = "Font";
  return name.toStdString();
}

}  // namespace

PdfFont *PdfFonts::fontFor(const QRawFont &raw) {
  // Keyed by the face, not by the style asked for: a made-up italic draws
  // the upright face's glyphs. Faces of one family and style from two
  // files differ in their 'head' table (dates, checksum).
  QByteArray key = raw.familyName().toUtf8() + '/' + raw.styleName().toUtf8() + '/' +
                   raw.fontTable("head").left(36);
  if (PdfFont *known = fontsByFace_.value(key)) return known;
  auto font = std::make_unique<PdfFont>();
  font->raw = raw;
  font->number = int(fonts_.size()) + 1;
  font->program = FontProgram::Read([&raw](const char *tag) { return raw.fontTable(tag); });
  if (font->program) {
    font->face = {font->program->italic(), font->program->bold()};
    font->object = objects_.newObject();
    font->used.assign(size_t(font->program->glyphCount()), false);
    font->widths.assign(size_t(font->program->glyphCount()), -1.0);
  }
  PdfFont *result = font.get();
  fonts_.push_back(std::move(font));
  fontsByFace_.insert(key, result);
  return result;
}

int PdfFonts::use(PdfFont &font, unsigned glyph, const QString *stands, double layoutWidth) {
  if (font.program) {
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
  if (code % 256 == 0) font.outlineObjects.push_back(objects_.newObject());
  if (stands) font.text.insert(glyph, *stands);
  return code;
}

// Maps codes (glyph numbers, or outline-font codes) to the text they
// stand for, so that text copied out of the PDF is the listing's text.
void PdfFonts::putToUnicode(int object, const std::vector<std::pair<unsigned, QString>> &map,
                            bool twoBytes) {
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
      if (twoBytes)
        AppendHex4(cmap, map[k].first);
      else
        AppendHex2(cmap, map[k].first);
      cmap += "> <";
      AppendUtf16Hex(cmap, map[k].second);
      cmap += ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  objects_.putStream(object, cmap, kFontCompression);
}

void PdfFonts::putCidFont(PdfFont &font) {
  const FontProgram &program = *font.program;
  const bool trueType = program.outlines() == FontProgram::Outlines::TrueType;
  std::sort(font.usedList.begin(), font.usedList.end());
  const std::string name = SubsetTag(font) + '+' + BaseName(font);
  const double em = 1000.0 / program.unitsPerEm();
  const int cidFont = objects_.newObject(), descriptor = objects_.newObject();
  const int toUnicode = objects_.newObject();

  // Without a subset (HarfBuzz failed on the glyphs drawn) the font is
  // described but not embedded: readers draw it with a font of their own.
  const QByteArray file = program.Subset(font.usedList);
  int fileObject = 0;
  if (!file.isEmpty()) {
    fileObject = objects_.newObject();
    PdfDictionary extra;
    if (trueType)
      extra.integer("Length1", file.size());
    else
      extra.name("Subtype", "CIDFontType0C");
    objects_.putStream(fileObject, std::string_view(file.constData(), size_t(file.size())),
                       kFontCompression, extra.fields());
  }

  int flags = 32;  // not symbolic: the glyphs are letters
  if (QFontDatabase::isFixedPitch(font.raw.familyName(), font.raw.styleName())) flags |= 1;
  if (program.italic()) flags |= 64;
  std::string box = "[";
  for (int v : program.box(font.usedList)) {
    AppendInt(box, std::lround(v * em));
    box += ' ';
  }
  box += ']';
  // The line's metrics as Qt laid it out (its own choice among the font's
  // tables), so that readers box the words where the layout put them.
  const double pixelEm = 1000.0 / font.raw.pixelSize();
  PdfDictionary d;
  d.name("Type", "FontDescriptor")
      .name("FontName", name)
      .integer("Flags", flags)
      .raw("FontBBox", box)
      .number("ItalicAngle", program.italicAngle())
      .integer("Ascent", std::lround(font.raw.ascent() * pixelEm))
      .integer("Descent", -std::lround(font.raw.descent() * pixelEm))
      .integer("CapHeight", std::lround(font.raw.capHeight() * pixelEm))
      .integer("StemV", program.bold() ? 120 : 80);
  if (fileObject) d.reference(trueType ? "FontFile2" : "FontFile3", fileObject);
  objects_.putObject(descriptor, d.str());

  // Glyph numbers are the CIDs: a TrueType font maps them through an
  // identity map, a 'CFF ' table keyed by glyph names takes them as they are.
  std::string widths = "[";
  for (size_t i = 0; i < font.usedList.size();) {
    AppendInt(widths, font.usedList[i]);
    widths += " [";
    size_t k = i;
    do {
      AppendNumber(widths, font.width(font.usedList[k]));
      widths += ' ';
      ++k;
    } while (k < font.usedList.size() && font.usedList[k] == font.usedList[k - 1] + 1);
    widths += "] ";
    i = k;
  }
  widths += ']';
  PdfDictionary c;
  c.name("Type", "Font")
      .name("Subtype", trueType ? "CIDFontType2" : "CIDFontType0")
      .name("BaseFont", name)
      .raw("CIDSystemInfo", "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>")
      .reference("FontDescriptor", descriptor);
  if (trueType) c.name("CIDToGIDMap", "Identity");
  c.raw("W", widths);
  objects_.putObject(cidFont, c.str());

  PdfDictionary t;
  t.name("Type", "Font")
      .name("Subtype", "Type0")
      .name("BaseFont", name)
      .name("Encoding", "Identity-H")
      .raw("DescendantFonts", "[" + std::to_string(cidFont) + " 0 R]")
      .reference("ToUnicode", toUnicode);
  objects_.putObject(font.object, t.str());

  std::vector<std::pair<unsigned, QString>> map;
  for (unsigned g : font.usedList) {
    const auto found = font.text.constFind(g);
    if (found != font.text.constEnd()) map.emplace_back(g, *found);
  }
  putToUnicode(toUnicode, map, true);
}

// A font whose outlines cannot be embedded as they are: each glyph is
// written as its outline, in blocks of 256 codes.
void PdfFonts::putOutlineFont(PdfFont &font) {
  QRawFont em = font.raw;
  em.setPixelSize(1000);
  for (size_t block = 0; block < font.outlineObjects.size(); ++block) {
    const size_t first = block * 256, end = std::min(font.glyphsByCode.size(), first + 256);
    PdfDictionary procs;
    std::string differences, widths;
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
      const int procObject = objects_.newObject();
      objects_.putStream(procObject, proc, kFontCompression);
      procs.reference("g" + std::to_string(code - first), procObject);
      differences += " /g";
      AppendInt(differences, qint64(code - first));
      AppendNumber(widths, font.widthsByCode[code]);
      widths += ' ';
      const auto found = font.text.constFind(glyph);
      if (found != font.text.constEnd()) map.emplace_back(unsigned(code - first), *found);
    }
    const int toUnicode = objects_.newObject();
    putToUnicode(toUnicode, map, false);
    std::string bbox = "[";
    for (double v : {box.left(), -box.bottom(), box.right(), -box.top()}) {
      AppendInt(bbox, std::lround(v));
      bbox += ' ';
    }
    bbox += ']';
    PdfDictionary f;
    f.name("Type", "Font")
        .name("Subtype", "Type3")
        .raw("FontBBox", bbox)
        .raw("FontMatrix", "[0.001 0 0 0.001 0 0]")
        .raw("CharProcs", procs.str())
        .raw("Encoding", PdfDictionary()
                             .name("Type", "Encoding")
                             .raw("Differences", "[0" + differences + "]")
                             .str())
        .integer("FirstChar", 0)
        .integer("LastChar", qint64(end - first) - 1)
        .raw("Widths", "[" + widths + "]")
        .raw("Resources", PdfDictionary().str())
        .reference("ToUnicode", toUnicode);
    objects_.putObject(font.outlineObjects[block], f.str());
  }
}

std::string PdfFonts::writeAll() {
  PdfDictionary resources;
  for (const auto &font : fonts_) {
    const std::string key = "F" + std::to_string(font->number);
    if (font->program) {
      if (font->usedList.empty()) continue;
      putCidFont(*font);
      resources.reference(key, font->object);
    } else {
      putOutlineFont(*font);
      for (size_t block = 0; block < font->outlineObjects.size(); ++block)
        resources.reference(key + '_' + std::to_string(block), font->outlineObjects[block]);
    }
  }
  return resources.str();
}

}  // namespace scrivane
