// libFuzzer target: any bytes read as a font file (the table directory of
// an OpenType file, each table where its record says) give a font the PDF
// can embed, or a refusal; never a read outside a table.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "print/TrueTypeFont.h"

namespace {
quint32 Big32(const std::uint8_t *p) { return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 12) return 0;
  const int tables = data[4] << 8 | data[5];
  auto table = [&](const char *tag) {
    for (int i = 0; i < tables && 12 + 16 * std::size_t(i) + 16 <= size; ++i) {
      const std::uint8_t *record = data + 12 + 16 * i;
      if (std::memcmp(record, tag, 4) != 0) continue;
      const quint64 offset = Big32(record + 8), length = Big32(record + 12);
      if (offset > size || length > size - offset) return QByteArray();
      return QByteArray(reinterpret_cast<const char *>(data + offset), qsizetype(length));
    }
    return QByteArray();
  };
  const auto font = scrivane::TrueTypeFont::read(table);
  if (!font) return 0;
  std::vector<unsigned> glyphs;
  for (unsigned g = 0; g < unsigned(font->glyphCount()) && g < 64; g += 3) {
    glyphs.push_back(g);
    (void)font->advance(g);
  }
  (void)font->advance(unsigned(font->glyphCount()) + 5);
  const QByteArray subset = font->subset(glyphs);
  if (subset.isEmpty()) std::abort();
  return 0;
}
