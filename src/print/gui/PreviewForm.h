#pragma once
// The preview window: shows the pages of a job as they will print.
#include <QString>

#include "format/FontSpec.h"
#include "print/PageInfo.h"

class QWidget;

namespace scrivane {

class PageDevice;

struct PreviewOptions {
  float MinZoom = 1.0f;     // factors (percent / 100)
  float MaxZoom = 4.0f;
  float ZoomFactor = 1.5f;  // ZoomStep / 100 + 1
  int CurrentPage = 1;
  ColorRef GridColor = 0xC0C0C0;
  int GridWidth = 1;
  QString Caption = QStringLiteral("Print Preview");
  int Measure = 0;              // 0 inches, 1 centimetres (grid)
  bool IndexAvailable = false;  // enables the Index button
};

struct PreviewResult {
  bool PrintRequested = false;
  bool IndexRequested = false;
};

// Runs the begin event, shows the window modally, runs the end event.
PreviewResult RunPreview(QWidget *parent, PageDevice &printer, const PrintEvents &events,
                         const PreviewOptions &options);

}  // namespace scrivane
