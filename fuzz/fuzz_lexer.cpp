// Every line through the one-pass normaliser, checked against the literal
// 30-step reference, then split and classed with the state carried from line
// to line as the listing does.
#include <cstdlib>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"
#include "project/SourceFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  static const FormatSettings settings;
  LineNormaliser normaliser;
  ScanState state;
  ForEachLine(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), [&](QByteArrayView raw) {
    const QByteArray line = raw.toByteArray();
    const QByteArray normalised = NormaliseLine(line);
    if (normalised != NormaliseLineReference(line)) std::abort();
    if (normaliser.Normalise(line) != normalised) std::abort();
    std::vector<LineWord> words = SplitWords(normalised);
    ClassifyLine(words, normalised.trimmed(), state, settings, nullptr);
  });
  return 0;
}
