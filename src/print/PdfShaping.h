#pragma once
// Text the 8-bit glyph table cannot draw, laid out by Qt (fallback fonts,
// joined and reordered scripts, marks, right-to-left runs) and turned into
// what a PDF can draw: runs of glyphs from faces with outlines, in visual
// order, each glyph with the source text it stands for when the face's
// character map says so.
//
// A character no installed face can draw, or one only a face without
// outlines has (a colour-emoji face of bitmaps) and no face with outlines
// can replace, comes out as a missing-glyph box where Qt's layout put it,
// as the preview shows it; never as nothing, never as a glyph of an invalid
// face, and never as a font's glyph 0 (some fonts leave theirs empty).
#include <QFont>
#include <QPointF>
#include <QRawFont>
#include <QRectF>
#include <QString>
#include <vector>

namespace scrivane {

struct ShapedGlyph {
  quint32 glyph = 0;
  QPointF position;  // device pixels from the text's left end and baseline
  QString stands;    // the characters the glyph stands for; empty: unknown
};

struct ShapedRun {
  QRawFont font;  // valid, with outlines
  std::vector<ShapedGlyph> glyphs;
};

struct ShapedText {
  std::vector<ShapedRun> runs;
  // Missing-glyph boxes to stroke, device pixels from the text's left end
  // and baseline (y grows downwards), with the character each stands for
  // (empty: unknown), and the width of their outline.
  struct Box {
    QRectF rect;
    QString stands;
  };
  std::vector<Box> boxes;
  double boxLineWidth = 1;
  double width = 0;  // device pixels
  // Some glyph or box cannot give its text back by itself (a conjunct, a
  // box of unknown character): the PDF must carry the source text beside
  // the whole text.
  bool needsSourceText = false;
};

// The font to lay `text` out in: `font`, or the same font upright when it is
// slanted and some character of text has a face only upright. No oblique
// face here has Arabic, say, while DejaVu Sans has: comments (italic by
// default) then print Arabic shaped and upright instead of as boxes.
// Measuring, printing and the preview all take the font from here.
QFont FontForText(const QFont &font, const QString &text);

// font: the listing font at the device's pixel size; primary: the same as a
// raw font (its missing-glyph box is the one drawn). The text is laid out in
// FontForText(font, text).
ShapedText ShapeText(const QString &text, const QFont &font, const QRawFont &primary);

// True when the face draws its glyphs from outlines (TrueType or CFF), the
// only kind a PDF can embed as a font; false for bitmap-only faces.
bool HasOutlines(const QRawFont &face);

}  // namespace scrivane
