#pragma once
// Margins, indent step and line step of a page in the device units of the
// page canvas, computed by every renderer at the start of every page. The
// canvas measures on the printer in every mode, so printing, preview and
// pagination get the same geometry.
namespace scrivane {

class PageCanvas;
struct FormatSettings;

struct PageGeometry {
  int TopY = 0;          // y of the first text line
  int BottomMargin = 0;  // free height at the foot (a footer adds one LineStep)
  int LeftX = 0;         // x of the left margin
  int RightMargin = 0;
  int RightX = 0;       // right text limit: PageWidth - RightMargin
  int IndentWidth = 0;  // one indent step
  int LineStep = 0;     // from one text line to the next
  friend bool operator==(const PageGeometry &, const PageGeometry &) = default;
};

// Leaves the base font selected on the canvas. A Space option outside 0..2
// (only possible by editing the settings file) gives single spacing.
PageGeometry ComputePageGeometry(PageCanvas &canvas, const FormatSettings &settings);

}  // namespace scrivane
