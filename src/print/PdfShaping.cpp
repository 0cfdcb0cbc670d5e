#include "print/PdfShaping.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>

namespace scrivane {

namespace {

// Characters that steer shaping and draw nothing of their own: variation
// selectors (the emoji presentation selector among them), joiners, marks
// of direction.
bool DrawsNothing(char32_t c) {
  if ((c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF)) return true;
  return QChar::category(c) == QChar::Other_Format;
}

bool RightToLeft(const QString &text) {
  for (QChar c : text) {
    const QChar::Direction d = c.direction();
    if (d == QChar::DirR || d == QChar::DirAL || d == QChar::DirRLE || d == QChar::DirRLO ||
        d == QChar::DirRLI)
      return true;
  }
  return false;
}

// What each glyph of a face stands for, from its character map: the
// characters of text that map to a glyph on their own.
QHash<quint32, QString> CharacterMap(const QRawFont &face, const QString &text) {
  QHash<quint32, QString> map;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString character = text.mid(i, length);
    const QList<quint32> glyph = face.glyphIndexesForString(character);
    if (glyph.size() == 1 && glyph.first() != 0 && !map.contains(glyph.first()))
      map.insert(glyph.first(), character);
    i += length - 1;
  }
  return map;
}

// What the glyphs of `face` stand for, cluster by cluster: a contextual
// form (an Arabic letter joined on either side) is in no character map, but
// it is the glyph of its cluster's letter; a ligature stands for the
// clusters it joins, in reading order.
QHash<quint32, QString> ClusterTexts(const QTextLine &line, const QString &text,
                                     const QRawFont &face) {
  QHash<quint32, QString> texts;
  QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
  quint32 lastGlyph = 0;
  QPointF lastPosition;
  for (qsizetype from = 0; from < text.size();) {
    qsizetype to = clusters.toNextBoundary();
    if (to <= from) to = text.size();
    for (const QGlyphRun &piece : line.glyphRuns(int(from), int(to - from))) {
      if (!(piece.rawFont() == face) || piece.glyphIndexes().isEmpty()) continue;
      const quint32 glyph = piece.glyphIndexes().first();
      const QPointF position = piece.positions().value(0);
      if (glyph == lastGlyph && position == lastPosition)
        texts[glyph] += text.mid(from, to - from);
      else if (!texts.contains(glyph))
        texts.insert(glyph, text.mid(from, to - from));
      lastGlyph = glyph;
      lastPosition = position;
    }
    from = to;
  }
  return texts;
}

bool Blank(const QString &stands) { return !stands.isEmpty() && stands.trimmed().isEmpty(); }

class Collector {
 public:
  explicit Collector(ShapedText &out) : out_(out) {}

  void add(const QRawFont &face, quint32 glyph, QPointF position, const QString &stands) {
    if (out_.runs.empty() || !(out_.runs.back().font == face)) out_.runs.push_back({face, {}});
    std::vector<ShapedGlyph> &glyphs = out_.runs.back().glyphs;
    // A ligature over two clusters is met once for each.
    for (size_t i = glyphs.size(), seen = 0; i > 0 && seen < 8; --i, ++seen)
      if (glyphs[i - 1].glyph == glyph && glyphs[i - 1].position == position) return;
    glyphs.push_back({glyph, position, stands});
  }

 private:
  ShapedText &out_;
};

}  // namespace

namespace {

// Characters of text that Qt finds no glyph for, in `font`.
int CharactersWithoutFace(const QString &text, const QFont &font) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return 0;
  }
  line.setLineWidth(1e9);
  layout.endLayout();
  int missing = 0;
  for (const QGlyphRun &run : line.glyphRuns()) {
    const bool noFace = !run.rawFont().isValid() || run.rawFont().fontTable("cmap").isEmpty();
    // Glyph 0 is a face's missing-glyph box.
    for (const quint32 glyph : run.glyphIndexes()) missing += noFace || glyph == 0;
  }
  return missing;
}

}  // namespace

QFont FontForText(const QFont &font, const QString &text) {
  if (font.style() == QFont::StyleNormal) return font;
  const int slanted = CharactersWithoutFace(text, font);
  if (slanted == 0) return font;
  QFont upright = font;
  upright.setStyle(QFont::StyleNormal);
  return CharactersWithoutFace(text, upright) < slanted ? upright : font;
}

bool HasOutlines(const QRawFont &face) {
  if (!face.isValid()) return false;
  return !face.fontTable("glyf").isEmpty() || !face.fontTable("CFF ").isEmpty() ||
         !face.fontTable("CFF2").isEmpty();
}

ShapedText ShapeText(const QString &wholeText, const QFont &listingFont, const QRawFont &primary) {
  ShapedText out;
  const QFont font = FontForText(listingFont, wholeText);
  // The blanks after a word are laid out apart: in a right-to-left word
  // they would go to its left, and the word would touch the next one.
  qsizetype end = wholeText.size();
  while (end > 0 && wholeText[end - 1] == u' ') --end;
  const QString text = wholeText.first(end);
  const double trailingBlanks =
      end < wholeText.size() ? QFontMetricsF(font).horizontalAdvance(wholeText.sliced(end)) : 0;
  QTextLayout layout(text, font);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return out;
  }
  line.setLineWidth(1e9);
  layout.endLayout();
  out.width = line.naturalTextWidth() + trailingBlanks;
  // Readers put right-to-left glyphs back in reading order themselves, from
  // what each glyph stands for; a text given beside them would be turned
  // round a second time.
  const bool rightToLeft = RightToLeft(text);
  const double ascent = line.ascent();
  const double em = font.pixelSize() > 0 ? font.pixelSize() : 12;
  out.boxLineWidth = std::max(1.0, em / 16);
  Collector collect(out);
  // A box as Qt draws one for a character without a face: most of an em
  // high on the baseline, inside the advance the layout gave it.
  auto box = [&](QPointF origin, const QString &stands) {
    if (stands.isEmpty()) out.needsSourceText = true;
    const double side = em * 0.7;
    out.boxes.push_back(
        {QRectF(origin.x() + em * 0.1, origin.y() - side, side * 0.8, side), stands});
  };
  // A face with outlines for a character of a bitmap-only face (a colour
  // emoji): the listing font, else DejaVu Sans, which has many symbols.
  QFont symbols(QStringLiteral("DejaVu Sans"));
  symbols.setPixelSize(int(em));
  const QRawFont replacements[] = {primary, QRawFont::fromFont(symbols)};

  for (const QGlyphRun &run : line.glyphRuns()) {
    const QRawFont face = run.rawFont();
    const QList<quint32> indexes = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    // Qt's stand-in for characters no font has is a valid face with no
    // tables (and no family: asking for it crashed).
    if (!face.isValid() || face.fontTable("cmap").isEmpty()) {
      // One box a character, in visual order: found by where each
      // character's box stands. Its blanks are boxes too: left out, as a
      // blank draws nothing.
      // A mark may stand where its letter stands: each place keeps its
      // characters in order, and each box takes the next one.
      QHash<double, QStringList> charactersAt;
      for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        for (const QGlyphRun &piece : line.glyphRuns(int(i), int(length)))
          if (!piece.rawFont().isValid() || piece.rawFont().fontTable("cmap").isEmpty())
            for (const QPointF &position : piece.positions())
              charactersAt[position.x()] << text.mid(i, length);
        i += length - 1;
      }
      for (const QPointF &position : positions) {
        QStringList &waiting = charactersAt[position.x()];
        const QString character = waiting.isEmpty() ? QString() : waiting.takeFirst();
        // Left to right, the text goes beside the whole text: marks and
        // reordered vowels make the boxes' order no guide. Right to left,
        // readers turn each box's character round into reading order.
        if (!Blank(character))
          box(position - QPointF(0, ascent), rightToLeft ? character : QString());
      }
      continue;
    }
    if (HasOutlines(face)) {
      const QHash<quint32, QString> stands = CharacterMap(face, text);
      QHash<quint32, QString> clusterTexts;
      bool clustersRead = false;
      for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i) {
        const QPointF at = positions[i] - QPointF(0, ascent);
        if (indexes[i] == 0) {
          box(at, QString());
          continue;
        }
        QString character = stands.value(indexes[i]);
        if (character.isEmpty() && rightToLeft) {
          if (!clustersRead) clusterTexts = ClusterTexts(line, text, face);
          clustersRead = true;
          character = clusterTexts.value(indexes[i]);
        }
        if (character.isEmpty()) out.needsSourceText = true;
        // A blank draws nothing; a font of blanks alone is one some
        // readers refuse to load.
        if (!Blank(character) && !face.pathForGlyph(indexes[i]).isEmpty())
          collect.add(face, indexes[i], at, character);
      }
      continue;
    }
    // Bitmaps only: cluster by cluster, the characters of each glyph of
    // this face drawn from a face with outlines, or a box.
    out.needsSourceText = true;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype from = 0; from < text.size();) {
      qsizetype to = clusters.toNextBoundary();
      if (to <= from) to = text.size();
      const QString cluster = text.mid(from, to - from);
      for (const QGlyphRun &piece : line.glyphRuns(int(from), int(to - from))) {
        if (!(piece.rawFont() == face) || piece.positions().isEmpty()) continue;
        QString visible;
        for (qsizetype i = 0; i < cluster.size(); ++i) {
          const bool pair = cluster[i].isHighSurrogate() && i + 1 < cluster.size();
          const char32_t c = pair ? QChar::surrogateToUcs4(cluster[i], cluster[i + 1])
                                  : char32_t(cluster[i].unicode());
          if (!DrawsNothing(c)) visible += cluster.mid(i, pair ? 2 : 1);
          if (pair) ++i;
        }
        QPointF pen = piece.positions().first() - QPointF(0, ascent);
        bool drawn = false;
        for (const QRawFont &replacement : replacements) {
          if (visible.trimmed().isEmpty() || !HasOutlines(replacement)) continue;
          const QList<quint32> glyphs = replacement.glyphIndexesForString(visible);
          if (glyphs.isEmpty() || glyphs.contains(0)) continue;
          const QList<QPointF> advances = replacement.advancesForGlyphIndexes(glyphs);
          const QHash<quint32, QString> stands = CharacterMap(replacement, visible);
          for (qsizetype i = 0; i < glyphs.size(); ++i) {
            collect.add(replacement, glyphs[i], pen, stands.value(glyphs[i]));
            if (i < advances.size()) pen += advances[i];
          }
          drawn = true;
          break;
        }
        if (!drawn && !visible.trimmed().isEmpty()) box(pen, visible);
        break;
      }
      from = to;
    }
  }
  return out;
}

}  // namespace scrivane
