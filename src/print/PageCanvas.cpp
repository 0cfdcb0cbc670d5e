#include "print/PageCanvas.h"

#include <cmath>
#include <utility>

namespace scrivane {

namespace {
// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), as the
// original layout did; std::round would move every half-inch margin.
int RoundHalfEven(double value) {
  const double floorValue = std::floor(value);
  const double fraction = value - floorValue;
  long long result = static_cast<long long>(floorValue);
  if (fraction > 0.5 || (fraction == 0.5 && (result % 2 != 0))) ++result;
  return static_cast<int>(result);
}
}  // namespace

PageCanvas::PageCanvas(PageDevice &printer) : printer_(printer) { ReadDeviceMetrics(); }

void PageCanvas::ReadDeviceMetrics() {
  const DeviceMetrics m = printer_.metrics();
  measurer_ = &printer_.measurer();
  printerFontSet_ = false;  // the font's advances are the new measurer's
  previousSet_ = false;
  knownAdvances_.clear();
  PixelsPerInchX = m.PixelsPerInchX;
  PixelsPerInchY = m.PixelsPerInchY;
  OffsetX = m.OffsetX;
  OffsetY = m.OffsetY;
  PageWidth = m.PageWidth;
  PageHeight = m.PageHeight;
  PrintableRight = m.PrintableRight;
  PrintableBottom = m.PrintableBottom;
  SyncPrinterFont();
  SyncDisplayFont();
}

void PageCanvas::SetDisplayMode(DrawSurface *displayCanvas) {
  Mode = CanvasMode::Display;
  surface_ = displayCanvas;
  SyncDisplayFont();
}

void PageCanvas::SetPrinterMode(DrawSurface *printerCanvas) {
  Mode = CanvasMode::Printer;
  surface_ = printerCanvas;
}

void PageCanvas::SetMeasureMode() {
  Mode = CanvasMode::Measure;
  surface_ = nullptr;
}

int PageCanvas::ToDeviceX(float inches) const {
  return RoundHalfEven(double(PixelsPerInchX) * double(inches));
}

int PageCanvas::ToDeviceY(float inches) const {
  return RoundHalfEven(double(PixelsPerInchY) * double(inches));
}

// The measurer keeps its own per-font caches, so "handing the font to the
// printer" is only remembering which font it measures with; skipping equal
// fonts keeps the hot path free of font look-ups.
void PageCanvas::HandOverFont() {
  // The same font in another string of the same face needs no new tables;
  // sharing that string lets the next words pass the quick test.
  if (printerFontSet_ && FontsEqual(printerFont_, Font)) {
    printerFont_.face = Font.face;
    return;
  }
  // Most changes go back to the font before: a line's number and its
  // words, a reserved word among names. The two trade places, tables and
  // all, without a look through the fonts found lately.
  if (previousSet_ && previousFont_.color == Font.color &&
      SameGlyphsSharingFace(previousFont_, Font)) {
    // Member by member: swapping whole specs moved each face through a
    // temporary.
    printerFont_.face.swap(previousFont_.face);
    std::swap(printerFont_.pointSize, previousFont_.pointSize);
    std::swap(printerFont_.style, previousFont_.style);
    std::swap(printerFont_.color, previousFont_.color);
    std::swap(advances64_, previousAdvances64_);
    return;
  }
  if (printerFontSet_) {
    AssignFont(previousFont_, printerFont_);
    previousAdvances64_ = advances64_;
    previousSet_ = true;
  }
  AssignFont(printerFont_, Font);
  printerFontSet_ = true;
  advances64_ = printerFont_.pointSize > 0 ? AdvancesFor(printerFont_) : nullptr;
}

const std::array<int, 256> *PageCanvas::AdvancesFor(const FontSpec &font) {
  if (const std::array<int, 256> *known = knownAdvances_.find(font)) return known;
  const std::array<int, 256> *advances = measurer_->advances64(font);
  if (advances) knownAdvances_.add(font, advances);
  return advances;
}

void PageCanvas::SyncDisplayFont() const {
  if (Mode != CanvasMode::Display) return;
  if (Font.pointSize <= 0) throw PreviewException(kPrinterFontCorrupted);
}

void PageCanvas::FontCorrupted() { throw PreviewException(kPrinterFontCorruptedMeasure); }

void PageCanvas::SetFont(const FontSpec &font) {
  AssignFont(Font, font);
  SyncPrinterFont();
  SyncDisplayFont();
}

bool PageCanvas::TextWidth64(QByteArrayView text, long long *width64) {
  SyncPrinterFont();
  CheckFont();
  if (!advances64_) return false;
  // A UTF-8 text beyond ASCII is measured by the measurer, as it is drawn.
  const std::array<int, 256> &advances = *advances64_;
  // A byte whose advance is not known yet (negative) goes to the measurer
  // too, which learns it.
  // Each advance is read once and the bytes above ASCII are looked for
  // only where they matter: the sum runs over every byte of every word
  // measured, two or three times a word.
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
  const qsizetype size = text.size();
  long long sum = 0;
  int unknown = 0;
  for (qsizetype i = 0; i < size; ++i) {
    const int advance = advances[bytes[i]];
    sum += advance;
    unknown |= advance;
  }
  if (unknown < 0) return false;
  if (Encoding != TextEncoding::Windows1252 && !IsAscii(text)) return false;
  *width64 = sum;
  return true;
}

int PageCanvas::TextWidth(QByteArrayView text) {
  if (long long width64 = 0; TextWidth64(text, &width64)) return Round64(width64);
  return measurer_->textWidthIn(printerFont_, text, Encoding);
}

int PageCanvas::TextHeight(QByteArrayView text) {
  SyncPrinterFont();
  CheckFont();
  return measurer_->textHeight(printerFont_, text);
}

void PageCanvas::TextOut(int x, int y, QByteArrayView text) {
  switch (Mode) {
    case CanvasMode::Display: {
      SyncPrinterFont();
      if (!text.isEmpty()) CheckFont();
      // A UTF-8 text with characters beyond ASCII is shaped as a whole, as
      // the printer draws it.
      if (Encoding == TextEncoding::Utf8 && !IsAscii(text)) {
        if (surface_) surface_->drawTextIn(x, y, printerFont_, text, Encoding);
        if (Font.pointSize <= 0) throw PreviewException(kDisplayFontCorrupted);
        break;
      }
      // Each character goes where the printer puts it when it draws the
      // whole string, whatever the screen font's own advances are.
      TextMeasurer &measurer = *measurer_;
      long long advance64 = 0;
      for (qsizetype i = 0; i < text.size(); ++i) {
        const int charX = x + int((advance64 + 32) >> 6);
        if (surface_) surface_->drawText(charX, y, printerFont_, text.sliced(i, 1));
        advance64 += measurer.charAdvance64(printerFont_, static_cast<unsigned char>(text[i]));
      }
      if (Font.pointSize <= 0) throw PreviewException(kDisplayFontCorrupted);
      break;
    }
    case CanvasMode::Printer:
      SyncPrinterFont();
      if (text.isEmpty() || !surface_) return;
      CheckFont();
      surface_->drawTextIn(x, y, printerFont_, text, Encoding);
      break;
    case CanvasMode::Measure:
      break;
  }
}

void PageCanvas::MoveTo(int x, int y) {
  if (Mode == CanvasMode::Measure) return;
  penPosition_ = QPoint(x, y);
}

void PageCanvas::LineTo(int x, int y) {
  if (Mode == CanvasMode::Measure) return;
  if (surface_) surface_->drawLine(penPosition_.x(), penPosition_.y(), x, y, Pen);
  penPosition_ = QPoint(x, y);
}

// GDI's rectangle excludes its right and bottom edges: the QRect spans
// x1..x2-1 and y1..y2-1, normalised when the corners come swapped.
void PageCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (Mode == CanvasMode::Measure || !surface_) return;
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  surface_->drawRectangle(QRect(x1, y1, x2 - x1, y2 - y1), Pen, Brush);
}

void PageCanvas::StretchDraw(const QRect &rect, const QImage &graphic) {
  switch (Mode) {
    case CanvasMode::Display:
      if (surface_) surface_->drawImage(rect, graphic);
      break;
    case CanvasMode::Printer:
      if (graphic.isNull() || graphic.width() == 0 || graphic.height() == 0) return;
      if (surface_) surface_->drawImage(rect.normalized(), graphic);
      break;
    case CanvasMode::Measure:
      break;
  }
}

}  // namespace scrivane
