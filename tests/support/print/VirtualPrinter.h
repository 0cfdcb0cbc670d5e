#pragma once
// A printer for tests: fixed resolution and paper, font metrics that do not
// depend on installed fonts, and a record of every drawing call as one line
// of text, so that whole documents can be compared with reference records.
//
// Record lines (coordinates in device pixels, colours as 0x00BBGGRR in hex):
//   text X Y "FACE" POINTS bSTYLE cCOLOR 'TEXT'
//   line X1 Y1 X2 Y2 wWIDTH cCOLOR [black|not]
//   rect X1 Y1 X2 Y2 wWIDTH cCOLOR [black|not] solid cCOLOR | clear
//   image X Y WIDTH HEIGHT WxH
//   place SCALE X Y  (the page drawn next goes there on the sheet)
// The print target adds: begin 'TITLE', sheet, end, abort.
#include <QString>
#include <QStringList>

#include "print/PageDevice.h"
#include "print/PrintRunner.h"

namespace scrivane {

// Advance = round(pixel size x per-character factor); height =
// round(pixel size x 1.15); pixel size = round(points x dpi / 72). Bold adds
// a tenth to every advance.
// A fixed-pitch face of the virtual printer (any other face is proportional).
inline constexpr char kVirtualMonoFace[] = "Virtual Mono";

class FixedMetricsMeasurer : public TextMeasurer {
 public:
  explicit FixedMetricsMeasurer(int dotsPerInch = 600) : dotsPerInch_(dotsPerInch) {}
  int textWidth(const FontSpec &font, QByteArrayView text) override;
  int textHeight(const FontSpec &font, QByteArrayView text) override;
  int charWidth(const FontSpec &font, unsigned char c) override;
  int pixelSize(const FontSpec &font) const;
  // Calls of textWidth/textHeight/charWidth, for tests of what is measured.
  long long calls = 0;

 private:
  int dotsPerInch_;
};

class RecordingSurface : public DrawSurface {
 public:
  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override;
  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                  TextEncoding encoding) override;
  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override;
  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override;
  void drawImage(const QRect &target, const QImage &image) override;
  void placePage(const PagePlacement &placement) override;
  QStringList lines;
};

// 600 dpi Letter, 5100 x 6600 pixels, 100-pixel unprintable strips all round.
class VirtualPrinter : public PageDevice {
 public:
  static DeviceMetrics LetterMetrics();
  explicit VirtualPrinter(DeviceMetrics metrics = LetterMetrics()) : metrics_(metrics) {}
  DeviceMetrics metrics() const override { return metrics_; }
  TextMeasurer &measurer() override { return measurer_; }
  FixedMetricsMeasurer &fixedMeasurer() { return measurer_; }

 private:
  DeviceMetrics metrics_;
  FixedMetricsMeasurer measurer_{600};
};

// A print target that records the document into one list of lines.
class VirtualPrintTarget : public PrintTarget {
 public:
  explicit VirtualPrintTarget(VirtualPrinter &printer) : printer_(printer) {}
  PageDevice &device() override { return printer_; }
  bool beginDocument(const QString &title) override;
  DrawSurface &surface() override { return surface_; }
  void newSheet() override {
    surface_.lines << QStringLiteral("sheet");
    ++sheets;
  }
  bool endDocument() override {
    surface_.lines << QStringLiteral("end");
    return endFailText.isEmpty();
  }
  void abortDocument() override { surface_.lines << QStringLiteral("abort"); }
  QString errorText() const override { return failText.isEmpty() ? endFailText : failText; }

  const QStringList &lines() const { return surface_.lines; }
  int sheets = 0;       // sheets started after the first
  QString failText;     // when set, beginDocument fails with it
  QString endFailText;  // when set, endDocument fails with it

 private:
  VirtualPrinter &printer_;
  RecordingSurface surface_;
};

}  // namespace scrivane
