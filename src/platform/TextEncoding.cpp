#include "platform/TextEncoding.h"

#include <algorithm>
#include <cstring>

#include "platform/Text1252.h"

namespace scrivane {

bool HasUtf8Bom(QByteArrayView bytes) { return bytes.startsWith("\xEF\xBB\xBF"); }

bool IsAscii(QByteArrayView bytes) {
  // Eight bytes at a time: every text drawn or measured is tested.
  const char *p = bytes.data();
  qsizetype n = bytes.size();
  for (; n >= 8; p += 8, n -= 8) {
    quint64 word;
    std::memcpy(&word, p, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; n > 0; ++p, --n)
    if (static_cast<unsigned char>(*p) >= 0x80) return false;
  return true;
}

qsizetype Utf8SequenceLength(QByteArrayView bytes, qsizetype at) {
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data()) + at;
  const qsizetype left = bytes.size() - at;
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  qsizetype length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0)
      low = 0xA0;  // overlong
    else if (c == 0xED)
      high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0)
      low = 0x90;  // overlong
    else if (c == 0xF4)
      high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (length > left || p[1] < low || p[1] > high) return 0;
  for (qsizetype k = 2; k < length; ++k)
    if ((p[k] & 0xC0) != 0x80) return 0;
  return length;
}

bool IsValidUtf8(QByteArrayView bytes, bool *multiByte) {
  // Qt's check is as strict as ours (no overlong forms, no surrogates,
  // nothing past U+10FFFF); in valid UTF-8 a byte with its high bit set
  // belongs to a sequence of several.
  if (!bytes.isValidUtf8()) return false;
  if (multiByte)
    *multiByte = std::any_of(bytes.begin(), bytes.end(),
                             [](char c) { return (static_cast<unsigned char>(c) & 0x80) != 0; });
  return true;
}

TextEncoding DetectEncoding(QByteArrayView bytes) {
  if (HasUtf8Bom(bytes)) return TextEncoding::Utf8;
  bool multiByte = false;
  return IsValidUtf8(bytes, &multiByte) && multiByte ? TextEncoding::Utf8
                                                     : TextEncoding::Windows1252;
}

qsizetype CharacterLength(QByteArrayView text, qsizetype at, TextEncoding encoding) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (encoding != TextEncoding::Utf8 || lead < 0xC0) return 1;
  const qsizetype most = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  qsizetype length = 1;
  while (length < most && at + length < text.size() &&
         (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
    ++length;
  return length;
}

QString DecodeText(QByteArrayView bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8 && !IsAscii(bytes) && IsValidUtf8(bytes))
    return QString::fromUtf8(bytes);
  return Decode1252(bytes.data(), bytes.size());
}

}  // namespace scrivane
