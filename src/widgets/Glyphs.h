#pragma once
// Small pictures drawn by the program itself: one 16 x 16 glyph per pick-list
// entry kind, and the toolbar's button pictures. Painted with QPainter so no
// image files have to be shipped.
#include <QIcon>
#include <QPixmap>

#include "project/EntryKind.h"

namespace scrivane {

constexpr int GlyphSizePx = 16;

// The glyph of an entry kind; EntryKind::None gives a transparent pixmap.
// Pixmaps are cached, so calling this per drawn item is cheap.
QPixmap EntryGlyph(EntryKind kind);

// The eight kinds in the order the Legend window shows them, with captions.
struct LegendRow {
  EntryKind kind;
  const char *caption;
};
extern const LegendRow LegendRows[8];

enum class ToolGlyph { Open, Format, Print, View, Clear, Copy, Paste, Help };
// A toolbar picture, drawn for the given edge length in pixels.
QIcon ToolIcon(ToolGlyph glyph, int sizePx = 32);

}  // namespace scrivane
