#pragma once
// The page handlers' only drawing surface. One handler draws a page on the
// printer, into the preview, or only measures it (pagination), depending on
// the mode alone; text is measured on the printer in every mode.
#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <stdexcept>
#include <string>

#include "print/PageDevice.h"

namespace scrivane {

class PreviewException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The three font checks' messages; a font "height" of the original printer
// font maps to a point size <= 0 here.
inline constexpr const char *kPrinterFontCorrupted = "Printer Font corrupted (Font.Height > 0)";
inline constexpr const char *kPrinterFontCorruptedMeasure =
    "Printer Font corrupted (Font.Height is > 0)";
inline constexpr const char *kDisplayFontCorrupted =
    "Display Canvas Font has been corrupted.\r\nFont Height is < 0";

enum class CanvasMode : int { Display = 0, Printer = 1, Measure = 2 };

class PageCanvas {
 public:
  // A new canvas is in printer mode with no surface until a Set...Mode call.
  explicit PageCanvas(PageDevice &printer);

  void ReadDeviceMetrics();
  void SetDisplayMode(DrawSurface *displayCanvas);
  void SetPrinterMode(DrawSurface *printerCanvas);
  void SetMeasureMode();

  // Page metrics (device pixels).
  int PageWidth = 0;
  int PageHeight = 0;
  int PixelsPerInchX = 0;
  int PixelsPerInchY = 0;
  int OffsetX = 0;
  int OffsetY = 0;
  int PrintableRight = 0;
  int PrintableBottom = 0;
  CanvasMode Mode = CanvasMode::Printer;
  // How the texts handed to TextWidth and TextOut are to be read: the
  // encoding of the file being listed.
  TextEncoding Encoding = TextEncoding::Windows1252;

  // A handler may change Font, Pen and Brush directly: every drawing call
  // uses their values as they stand at that moment.
  FontSpec Font;
  PenSpec Pen;
  BrushSpec Brush;

  // Rounds halves to the even neighbour.
  int ToDeviceX(float inches) const;
  int ToDeviceY(float inches) const;

  void SetFont(const FontSpec &font);
  int TextWidth(QByteArrayView text);
  // The width TextWidth rounds, in 1/64 pixel, summed from the font's
  // advances: false when the text must be measured whole instead (an
  // advance not yet known, or UTF-8 beyond ASCII, which is shaped). Widths
  // summed this way add up exactly: a word and its blank are measured once.
  bool TextWidth64(QByteArrayView text, long long *width64);
  // TextWidth64(" "), without the loop: every word but a line's last
  // measures its blank.
  bool BlankWidth64(long long *width64) {
    SyncPrinterFont();
    CheckFont();
    if (!advances64_ || (*advances64_)[' '] < 0) return false;
    *width64 = (*advances64_)[' '];
    return true;
  }
  static int Round64(long long width64) { return int((width64 + 32) >> 6); }
  int TextHeight(QByteArrayView text);
  void TextOut(int x, int y, QByteArrayView text);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int x1, int y1, int x2, int y2);
  void StretchDraw(const QRect &rect, const QImage &graphic);

  // Where bookmarks, links and page labels go: only while printing, to a
  // surface that takes them (a PDF); null otherwise.
  NavigationSink *Navigation() const {
    return Mode == CanvasMode::Printer && surface_ ? surface_->navigation() : nullptr;
  }

  // Where a listing tells what its words are: only while printing, to a
  // surface that keeps them (a web page); null otherwise.
  StructureSink *Structure() const {
    return Mode == CanvasMode::Printer && surface_ ? surface_->structure() : nullptr;
  }

  DrawSurface *Surface() const { return surface_; }
  PageDevice &Printer() const { return printer_; }

 private:
  void CheckFont() const {
    if (printerFont_.pointSize <= 0) FontCorrupted();
  }
  [[noreturn]] static void FontCorrupted();
  // Inline, as most calls find the font handed over already: every word
  // is measured and drawn through it.
  void SyncPrinterFont() {
    if (!printerFontSet_ || !SameGlyphsSharingFace(printerFont_, Font) ||
        printerFont_.color != Font.color)
      HandOverFont();
  }
  void HandOverFont();
  void SyncDisplayFont() const;
  FontSpec printerFont_;  // font last handed to the printer's measurer
  bool printerFontSet_ = false;
  // The font handed over before it, with its advances.
  FontSpec previousFont_;
  bool previousSet_ = false;
  const std::array<int, 256> *previousAdvances64_ = nullptr;
  // The measurer's advances for printerFont_, where it has them: a word is
  // then measured here, without a call through the measurer and its font
  // look-up. A listing measures each word two or three times.
  const std::array<int, 256> *advances64_ = nullptr;
  RecentFonts<std::array<int, 256>> knownAdvances_;
  const std::array<int, 256> *AdvancesFor(const FontSpec &font);
  PageDevice &printer_;
  // The device's measurer as its metrics were read: asking the device for
  // it on every word asked a printer for its resolution each time.
  TextMeasurer *measurer_ = nullptr;
  DrawSurface *surface_ = nullptr;  // borrowed; null in measure mode
  QPoint penPosition_;
};

// Puts the canvas back in the mode it had when the guard was made, whatever
// was laid out in between (replayed pages, an item measured before it is
// drawn).
class CanvasModeGuard {
 public:
  explicit CanvasModeGuard(PageCanvas &canvas)
      : canvas_(canvas), mode_(canvas.Mode), surface_(canvas.Surface()) {}
  ~CanvasModeGuard() {
    switch (mode_) {
      case CanvasMode::Display:
        canvas_.SetDisplayMode(surface_);
        break;
      case CanvasMode::Printer:
        canvas_.SetPrinterMode(surface_);
        break;
      case CanvasMode::Measure:
        canvas_.SetMeasureMode();
        break;
    }
  }
  CanvasModeGuard(const CanvasModeGuard &) = delete;
  CanvasModeGuard &operator=(const CanvasModeGuard &) = delete;

 private:
  PageCanvas &canvas_;
  CanvasMode mode_;
  DrawSurface *surface_;
};

}  // namespace scrivane
