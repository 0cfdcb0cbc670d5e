#pragma once
// Small text helpers shared by the readers. Lower case is ASCII lower case:
// the files are 8-bit and keywords are ASCII.
#include <QByteArray>
#include <QByteArrayView>

namespace scrivane::readertext {

constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

inline QByteArray Lower(QByteArrayView text) {
  QByteArray result(text.data(), text.size());
  for (char &c : result) c = LowerAscii(c);
  return result;
}

// Blanks as the source files know them: every control character counts.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

inline QByteArrayView Trimmed(QByteArrayView text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.sliced(begin, end - begin);
}

inline bool EqualsIgnoringCase(QByteArrayView word, QByteArrayView lowerLiteral) {
  if (word.size() != lowerLiteral.size()) return false;
  for (qsizetype i = 0; i < word.size(); ++i)
    if (LowerAscii(word[i]) != lowerLiteral[i]) return false;
  return true;
}

// True when (text + " ") in lower case starts with lowerPrefix: a prefix
// such as "procedure " also matches a line holding only "procedure".
inline bool StartsWithIgnoringCase(QByteArrayView text, QByteArrayView lowerPrefix) {
  for (qsizetype i = 0; i < lowerPrefix.size(); ++i) {
    const char c = i < text.size() ? LowerAscii(text[i]) : (i == text.size() ? ' ' : '\0');
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

// True for a line that LoadUnit started before a block word ("begin",
// "end" and their kin): joining it onto a header would take that word off
// the start of its line.
bool StartsWithBlockWord(QByteArrayView trimmedLine);

}  // namespace scrivane::readertext
