// Every line through the form-text normaliser, checked against the literal
// 30-step reference; and through the code normaliser, then split and classed
// with the comment state carried from line to line as the listing does,
// checking that every string literal prints as written.
#include <cstdlib>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"
#include "project/SourceFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  static const FormatSettings settings;
  FormTextNormaliser formText;
  LineNormaliser normaliser;
  CommentCarry carry;
  ScanState state;
  ForEachLine(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)),
              [&](QByteArrayView raw) {
                const QByteArray line = raw.toByteArray();
                if (formText.Normalise(line) != NormaliseLineReference(line)) std::abort();
                const CommentCarry before = carry;
                const QByteArray normalised =
                    normaliser.Normalise(line, false, carry).toByteArray();
                std::vector<LineWord> words = SplitWords(normalised, state);
                ClassifyLine(words, normalised.trimmed(), settings, nullptr);
                // A closed literal in code is one word of its own bytes (an unclosed one
                // runs to the line's end, whose blanks the listing trims).
                if (before.InCode() && StartsStringLiteral(line, 0)) {
                  const QByteArray literal = line.left(StringLiteralEnd(line, 0));
                  if (literal.endsWith('\'') && words[0].Text != literal) std::abort();
                }
              });
  return 0;
}
