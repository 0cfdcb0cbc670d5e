#pragma once
// Which 8-bit text a source file holds. Units written today are mostly
// UTF-8 (Lazarus saves it, Delphi adds a byte-order mark), older ones are
// Windows-1252. Readers, lexer and layout rules work on the bytes either way
// (every keyword and delimiter is ASCII); only what shows or measures text
// decodes it.
#include <QByteArrayView>
#include <QString>

namespace scrivane {

enum class TextEncoding { Windows1252, Utf8 };

// True when bytes start with the UTF-8 byte-order mark EF BB BF.
bool HasUtf8Bom(QByteArrayView bytes);
// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF); multiByte tells whether any character took more than a byte.
bool IsValidUtf8(QByteArrayView bytes, bool *multiByte = nullptr);
// The bytes of the well-formed UTF-8 character at `at` (1 for ASCII), or 0
// where none starts there.
qsizetype Utf8SequenceLength(QByteArrayView bytes, qsizetype at);
bool IsAscii(QByteArrayView bytes);
// A byte-order mark, or valid UTF-8 with at least one multi-byte character,
// is UTF-8; anything else (plain ASCII included) is Windows-1252, which
// reads ASCII the same.
TextEncoding DetectEncoding(QByteArrayView bytes);
// Decodes a text of a file in that encoding. In a UTF-8 file a piece that
// is not valid UTF-8 on its own (a title typed in the settings, a word cut
// across rows) is read as Windows-1252 rather than shown as replacement
// marks.
QString DecodeText(QByteArrayView bytes, TextEncoding encoding);
// The bytes of the character that starts at `at`: where a word is broken
// across rows, a UTF-8 character stays whole (its pieces alone are not
// UTF-8, and would print as Windows-1252 letters). One byte in a
// Windows-1252 text, and for a byte that starts no UTF-8 character.
qsizetype CharacterLength(QByteArrayView text, qsizetype at, TextEncoding encoding);

}  // namespace scrivane
