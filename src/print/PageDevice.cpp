#include "print/PageDevice.h"

#include "platform/Text1252.h"

namespace scrivane {

namespace {
bool NeedsDecoding(QByteArrayView text, TextEncoding encoding) {
  return encoding == TextEncoding::Utf8 && !IsAscii(text) && IsValidUtf8(text);
}
}  // namespace

int TextMeasurer::textWidthIn(const FontSpec &font, QByteArrayView text, TextEncoding encoding) {
  if (!NeedsDecoding(text, encoding)) return textWidth(font, text);
  return textWidth(font, Encode1252(QString::fromUtf8(text)));
}

void DrawSurface::drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                             TextEncoding encoding) {
  if (!NeedsDecoding(text, encoding)) {
    drawText(x, y, font, text);
    return;
  }
  drawText(x, y, font, Encode1252(QString::fromUtf8(text)));
}

}  // namespace scrivane
