#pragma once
// The platform side of the page canvas: what the printer is (its metrics and
// how it measures text) and where drawing lands (printer, screen, recorder).
// All coordinates are printer device pixels from the physical corner of the
// sheet; y of a text call is the top of the text cell, as on the printer.
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QImage>
#include <QRect>
#include <array>

#include "format/Fonts.h"
#include "platform/TextEncoding.h"

namespace scrivane {

struct DeviceMetrics {
  int PageWidth = 0;   // physical sheet width, device pixels
  int PageHeight = 0;  // physical sheet height, device pixels
  int PixelsPerInchX = 600;
  int PixelsPerInchY = 600;
  int OffsetX = 0;          // unprintable strip at the left edge
  int OffsetY = 0;          // unprintable strip at the top edge
  int PrintableRight = 0;   // OffsetX + printable width
  int PrintableBottom = 0;  // OffsetY + printable height
  friend bool operator==(const DeviceMetrics &, const DeviceMetrics &) = default;
};

enum class PenMode { Copy, Black, Not };

struct PenSpec {
  int width = 1;       // device pixels
  ColorRef color = 0;  // 0x00BBGGRR
  PenMode mode = PenMode::Copy;
  friend bool operator==(const PenSpec &, const PenSpec &) = default;
};

enum class BrushStyle { Solid, Clear };

struct BrushSpec {
  BrushStyle style = BrushStyle::Solid;
  ColorRef color = 0xFFFFFF;
  friend bool operator==(const BrushSpec &, const BrushSpec &) = default;
};

// Measures 8-bit (Windows-1252) text as the printer would. Implementations
// cache per-character advances per font: the fonts we use have no kerning,
// so a string's advance is the sum of its characters' advances. Advances
// may be fractional (Qt lays out unhinted text in 1/64 pixel), so the width
// of a string is its summed advance rounded once, not a sum of rounded
// character widths, which drifts from where the glyphs land.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  virtual int textWidth(const FontSpec &font, QByteArrayView text) = 0;
  // Cell height (ascent + descent) of the font; GDI's text height does not
  // depend on the characters.
  virtual int textHeight(const FontSpec &font, QByteArrayView text) = 0;
  // Advance of every character of text, for display mode, which places each
  // character where the printer puts it.
  virtual int charWidth(const FontSpec &font, unsigned char c) = 0;
  // Advance of one character in 1/64 pixel, for placing the characters of a
  // string one by one where the printer's layout of the whole string puts
  // them: character i starts at round(sum of the advances before it / 64).
  virtual int charAdvance64(const FontSpec &font, unsigned char c) {
    return charWidth(font, c) * 64;
  }
  // Width of a text of a file in the given encoding. A Windows-1252 or ASCII
  // text is measured as above; by default a UTF-8 text counts each of its
  // characters as the Windows-1252 character it stands for ("?" when there
  // is none), and measurers that know the font measure the characters
  // themselves.
  virtual int textWidthIn(const FontSpec &font, QByteArrayView text, TextEncoding encoding);
  // Every byte's advance in 1/64 pixel, the ones charAdvance64 gives, where
  // the measurer keeps them for the font; a negative one is not known yet
  // (charAdvance64 finds it). textWidth of a Windows-1252 or ASCII text
  // is round(sum / 64). Valid as long as the measurer; null where it has no
  // such table.
  virtual const std::array<int, 256> *advances64(const FontSpec &) { return nullptr; }
};

// The printer as the canvas sees it.
class PageDevice {
 public:
  virtual ~PageDevice() = default;
  virtual DeviceMetrics metrics() const = 0;
  virtual TextMeasurer &measurer() = 0;
};

// What makes a printed document easy to find one's way in on screen: the
// documents it is made of, the number each sheet's footer gives it, places a
// link can land on, bookmarks and links. Listings report these as plain
// values while they print; a PDF makes an outline, page labels and link
// annotations of them. y is in device pixels on the current sheet.
class NavigationSink {
 public:
  virtual ~NavigationSink() = default;
  // A document (a unit's listing, the index, ...) starts on this sheet. title
  // names it in the outline; labelName is the name its pages are known by
  // when several documents share one file ("stock.pas" in "stock.pas 3");
  // clock is the date and time its furniture prints.
  virtual void documentStart(const QString &title, const QString &labelName,
                             const QDateTime &clock) = 0;
  // The page number the current sheet has within its document.
  virtual void pageNumber(int page) = 0;
  // A place links to key land on; the first place reported for a key counts.
  virtual void anchor(const QByteArray &key, int y) = 0;
  // A bookmark under the current document, in the order reported.
  virtual void outlineEntry(const QString &title, int y) = 0;
  // An area of the current sheet that leads to the place of key.
  virtual void link(const QRect &area, const QByteArray &key) = 0;
};

// What a listing draws, told to an output that keeps text rather than
// pixels (a web page): the kind of each word, where a listing line starts
// and which file line it is, its block bracket, the rules between routines.
// The texts themselves still come through DrawSurface::drawText, the same
// bytes in the same order as on paper, so such an output cannot tell a
// different story from the PDF. Paper, screen and PDF surfaces have none.
enum class WordClass : unsigned char {
  None,  // nothing of the listing's text: furniture, drawn numbers
  Identifier,
  Reserved,
  Section,      // interface, implementation, private ...
  RoutineName,  // the name in a routine's heading
  Comment,
  String,
  Directive,
  Number,
  Symbol,       // ";" after a reserved word, glued code the file spaces
  PartHeading,  // the name of the include file the next rows come from
  LineNumber,
};

struct ListingRow {
  int fileLine = 0;    // the row's line in its file; 0 for a row of no line
  int file = 0;        // which file: 0 the listed one, else an include file
  int x = 0;           // where the row's text starts, device pixels from the left margin
  int blankWidth = 0;  // the base font's blank, device pixels: x in blanks
  int bracketX =
      0;      // where a bracket opened at this row stands, device pixels from the left margin
  int y = 0;  // the row's top on its page, device pixels: where its number is drawn
};

class StructureSink {
 public:
  virtual ~StructureSink() = default;
  // Header, footer and title block are drawn until furniture(false).
  virtual void furniture(bool drawing) = 0;
  // A listing line starts a row: what it draws until the next row is its.
  virtual void row(const ListingRow &row) = 0;
  // What drawText brings from now on is a new word of this kind; with
  // continues, the same word goes on in another kind ("end" then ";").
  virtual void word(WordClass kind, bool continues = false) = 0;
  // The current row opens a block bracket (before it, the bracket starts at
  // its middle) and closes the innermost one (after it), as the block
  // diagram draws them: opened first, then closed.
  virtual void bracket(bool opens, bool closes) = 0;
  // A rule between routines follows the current row.
  virtual void rule() = 0;
  // The file's blanks before the text drawn next (a tab in a string), as
  // they stand (the source layout): a page of text keeps them where paper
  // can only leave room.
  virtual void blanks(QByteArrayView) {}
  // The text drawn last is this wide (device pixels, with the blanks drawn
  // after it), as the layout measured it to place what follows: a page of
  // text needs its words' widths too, and measuring a word beyond ASCII
  // again (shaped) cost as much as the layout's own measuring.
  virtual void drawnWidth(int) {}
  // The texts drawn from now on stand in a table whose columns start at
  // these x (device pixels, left to right, at most five): a text belongs to
  // the column its middle stands in (the last that starts at or left of
  // it), which holds for columns of numbers set right too. A page of text puts a
  // text that continues a column's on a row of its own (a unit's name
  // wrapped under the names' places) in that column's cell, not the next
  // free one. A link over a whole row is a link from the texts of column
  // `linked` there (its name), not from the kind before it or a unit's
  // name wrapped under it. The columns from `setRight` on hold numbers set
  // right.
  virtual void columns(const std::vector<int> & /*starts*/, int /*linked*/, int /*setRight*/) {}
  // The text drawn next goes on, on a row of its own, with the text above
  // it in its column (a name too wide for its column, wrapped): a page of
  // text puts it back there, after a blank where the wrap dropped one, so
  // that the name stands whole in its cell and a reader's search finds it.
  virtual void joinsAbove(bool /*afterBlank*/) {}
};

// Where a page goes on a sheet that holds several (2 or 4 pages a sheet):
// the page, pageWidth x pageHeight device pixels as it was laid out, is
// drawn scaled by `scale` with its top-left corner at (x, y) of the sheet.
struct PagePlacement {
  double scale = 1.0;
  double x = 0, y = 0;  // device pixels of the sheet
  int pageWidth = 0, pageHeight = 0;
  friend bool operator==(const PagePlacement &, const PagePlacement &) = default;
};

// Where a canvas in display or printer mode draws.
class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  virtual void drawText(int x, int y, const FontSpec &font, QByteArrayView text) = 0;
  virtual void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) = 0;
  virtual void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) = 0;
  virtual void drawImage(const QRect &target, const QImage &image) = 0;
  // Text of a file in the given encoding; by default a UTF-8 text is drawn
  // as its Windows-1252 counterpart, as textWidthIn measures it.
  virtual void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                          TextEncoding encoding);
  // Where this surface takes bookmarks, links and page labels; none for
  // paper and the screen.
  virtual NavigationSink *navigation() { return nullptr; }
  // Where this surface takes what the listing's words and rows are; none
  // for paper, the screen and PDF.
  virtual StructureSink *structure() { return nullptr; }
  // What is drawn from now on, up to the next placement or the end of the
  // sheet, is one page placed on the current sheet (SheetTarget calls this
  // before a page's first drawing). Surfaces without sheets ignore it.
  virtual void placePage(const PagePlacement &) {}
};

}  // namespace scrivane
