#include "print/PageGeometry.h"

#include "format/FormatSettings.h"
#include "print/PageCanvas.h"

namespace scrivane {

PageGeometry ComputePageGeometry(PageCanvas &canvas, const FormatSettings &settings) {
  const PageLengths lengths = settings.ResolveLengths();
  PageGeometry g;
  // Lengths go over as single-precision inches, as the canvas rounds them.
  g.TopY = canvas.ToDeviceY(float(lengths.Top));
  g.BottomMargin = canvas.ToDeviceY(float(lengths.Bottom));
  g.LeftX = canvas.ToDeviceX(float(lengths.Left));
  g.RightMargin = canvas.ToDeviceX(float(lengths.Right));
  g.IndentWidth = canvas.ToDeviceX(float(lengths.Indent));
  g.RightX = canvas.PageWidth - g.RightMargin;
  canvas.SetFont(settings.BaseFont());
  const int h = canvas.TextHeight("X");
  switch (settings.Space) {
    case 1:
      g.LineStep = int(h * 1.5);
      break;
    case 2:
      g.LineStep = 2 * h;
      break;
    default:
      g.LineStep = h;
      break;
  }
  return g;
}

}  // namespace scrivane
