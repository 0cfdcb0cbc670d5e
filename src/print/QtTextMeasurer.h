#pragma once
// Measures text as the printer draws it, without a printer object: Qt's font
// metrics on an image whose resolution equals the printer's give exactly the
// printer's values (screen metrics scaled up are about 2 % off).
#include <QFont>
#include <QHash>
#include <QImage>
#include <array>
#include <memory>

#include "print/PageDevice.h"

namespace scrivane {

class QtTextMeasurer : public TextMeasurer {
 public:
  explicit QtTextMeasurer(int dotsPerInch = 600);
  ~QtTextMeasurer() override;

  int textWidth(const FontSpec &font, QByteArrayView text) override;
  int textHeight(const FontSpec &font, QByteArrayView text) override;
  int charWidth(const FontSpec &font, unsigned char c) override;
  int charAdvance64(const FontSpec &font, unsigned char c) override;
  int ascent(const FontSpec &font);

  int dotsPerInch() const { return dotsPerInch_; }
  // The font as drawn on a device of this resolution (pixel size =
  // round(points x dpi / 72)); surfaces draw with this same font.
  QFont qfont(const FontSpec &font) const;
  // The same, built once per font.
  const QFont &cachedFont(const FontSpec &font);

 private:
  struct Entry;
  Entry &entryFor(const FontSpec &font);

  int dotsPerInch_;
  QImage device_;
  QHash<QString, std::shared_ptr<Entry>> entries_;
  FontSpec lastFont_;
  Entry *lastEntry_ = nullptr;
};

// Windows-1252 byte -> Unicode character (undefined bytes map to themselves).
QChar Cp1252ToUnicode(unsigned char byte);
QString DecodeCp1252(QByteArrayView text);

}  // namespace scrivane
