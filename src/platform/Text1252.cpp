#include "platform/Text1252.h"

namespace scrivane {
namespace {

// Bytes 0x80..0x9F; every other byte is the Unicode code point of its value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

QChar Char1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return QChar(kHighControls[byte - 0x80]);
  return QChar(char16_t(byte));
}

QString Decode1252(const char *bytes, qsizetype length) {
  QString text(length, Qt::Uninitialized);
  QChar *out = text.data();
  for (qsizetype i = 0; i < length; ++i) out[i] = Char1252(static_cast<unsigned char>(bytes[i]));
  return text;
}

QString Decode1252(const QByteArray &bytes) { return Decode1252(bytes.constData(), bytes.size()); }

char Byte1252(QChar character) {
  const char16_t code = character.unicode();
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == code) return static_cast<char>(0x80 + i);
  return '?';
}

QByteArray Encode1252(QStringView text) {
  QByteArray bytes(text.size(), Qt::Uninitialized);
  char *out = bytes.data();
  qsizetype written = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    // A character outside the basic plane is one "?", not one per half.
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
    out[written++] = Byte1252(text[i]);
  }
  bytes.truncate(written);
  return bytes;
}

}  // namespace scrivane
