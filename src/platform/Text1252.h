#pragma once
// Windows-1252 (the Western ANSI code page) by table, without a codec
// lookup per call: texts are decoded line by line while pages are drawn.
#include <QByteArray>
#include <QString>
#include <QStringView>

namespace scrivane {

// The character a byte stands for. The five bytes 1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same
// number, as Windows does, so that they survive a round trip.
QChar Char1252(unsigned char byte);
QString Decode1252(const QByteArray &bytes);
QString Decode1252(const char *bytes, qsizetype length);

// The byte for a character, or '?' when 1252 cannot encode it.
char Byte1252(QChar character);
QByteArray Encode1252(QStringView text);

}  // namespace scrivane
