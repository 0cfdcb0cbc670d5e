#include "listing/Lexer.h"

#include <array>
#include <cstring>

#include "format/FormatSettings.h"

namespace scrivane {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

QByteArray LowerAscii(QByteArrayView text) {
  QByteArray result(text.data(), text.size());
  for (char &c : result) c = LowerAscii(c);
  return result;
}

// Blanks in the sense of the source files: every control character counts.
bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= ' '; }

QByteArrayView Trimmed(QByteArrayView text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlankByte(text[begin])) ++begin;
  while (end > begin && IsBlankByte(text[end - 1])) --end;
  return text.sliced(begin, end - begin);
}

struct ReplacementStep {
  const char *find;
  const char *replacement;
};

// The normalisation table; its order matters, every step works on the
// result of the step before.
constexpr std::array<ReplacementStep, 30> kNormaliseSteps{{
    {"\t", " "},           {"'", " ' "},          {"{", " { "},
    {"}", " } "},          {"(", " ( "},          {")", " ) "},
    {"[", " ["},           {"]", "] "},           {"+", " + "},
    {"-", " - "},          {",", ", "},           {";", "; "},
    {"*", " * "},          {"=", " = "},          {":", " : "},
    {":  =", ":="},        {"(  *", "(*"},        {"*  )", "*)"},
    {"    ", " "},         {"   ", " "},           {"  ", " "},
    {") ;", ");"},         {"' (* '", "'(*'"},    {"' *) '", "'*)'"},
    {"' { '", "'{'"},      {"' } '", "'}'"},      {"{ @newpage }", "@@@@@"},
    {"(* . *)", "(*.*)"},  {"(* .", "(*."},       {"//", "// "},
}};

// Steps 1 to 15 replace single characters by texts that hold no character
// of a later step among them, so one pass over the line does all fifteen.
struct CharExpansion {
  std::array<const char *, 256> text{};
  std::array<unsigned char, 256> length{};
  constexpr CharExpansion() {
    for (int i = 0; i < 15; ++i) {
      const auto c = static_cast<unsigned char>(kNormaliseSteps[i].find[0]);
      text[c] = kNormaliseSteps[i].replacement;
      length[c] = static_cast<unsigned char>(std::char_traits<char>::length(kNormaliseSteps[i].replacement));
    }
  }
};
constexpr CharExpansion kExpansion;

// A run of n blanks after the three shortening steps (four, three, two
// blanks to one, each scanning left to right without overlap).
int ShortenedRun(int n) {
  n = n / 4 + n % 4;
  n = n / 3 + n % 3;
  return n / 2 + n % 2;
}

// First occurrence of find in text at or after from, or -1. Lines are short
// and patterns are a few bytes: a memchr for the first byte beats the
// general search.
qsizetype FindFrom(QByteArrayView text, QByteArrayView find, qsizetype from) {
  const char *data = text.data();
  const qsizetype last = text.size() - find.size();
  while (from <= last) {
    const void *hit = std::memchr(data + from, find[0], size_t(last - from + 1));
    if (!hit) return -1;
    const qsizetype at = static_cast<const char *>(hit) - data;
    if (std::memcmp(data + at, find.data(), size_t(find.size())) == 0) return at;
    from = at + 1;
  }
  return -1;
}

// ReplaceAll's result written over the text itself when the replacement is
// no longer than what it replaces (all steps but one).
void ReplaceInPlace(QByteArray &text, const ReplacementStep &step) {
  const QByteArrayView find(step.find), replacement(step.replacement);
  qsizetype at = FindFrom(text, find, 0);
  if (at < 0) return;
  if (replacement.size() > find.size()) {
    text = ReplaceAll(text, find, replacement);
    return;
  }
  char *data = text.data();
  const qsizetype size = text.size();
  qsizetype read = 0, write = 0;
  while (at >= 0) {
    std::memmove(data + write, data + read, size_t(at - read));
    write += at - read;
    std::memcpy(data + write, replacement.data(), size_t(replacement.size()));
    write += replacement.size();
    read = at + find.size();
    at = FindFrom(text, find, read);  // bytes from `read` on are still the original ones
  }
  std::memmove(data + write, data + read, size_t(size - read));
  text.truncate(write + size - read);
}

constexpr std::array<const char *, 58> kReservedCandidates{
    "and",     "array",     "as",         "asm",       "begin",  "case",     "class",
    "const",   "constructor", "destructor", "div",     "do",     "downto",   "else",
    "end",     "end.",      "end;",       "except",    "export", "finally",  "for",
    "function", "goto",     "if",         "implementation", "in", "inherited", "inline",
    "interface", "is",      "library",    "mod",       "not",    "object",   "of",
    "or",      "packed",    "private",    "procedure", "program", "property", "protected",
    "public",  "raise",     "record",     "repeat",    "set",    "then",     "to",
    "try",     "type",      "unit",       "until",     "uses",   "var",      "while",
    "with",    "xor"};

bool EqualsLiteral(QByteArrayView word, const char *literal) { return word == QByteArrayView(literal); }

}  // namespace

QByteArray ReplaceAll(const QByteArray &text, QByteArrayView find, QByteArrayView replacement) {
  if (find.isEmpty()) return text;
  qsizetype at = text.indexOf(find);
  if (at < 0) return text;
  QByteArray result;
  result.reserve(text.size() + replacement.size() * 4);
  qsizetype from = 0;
  while (at >= 0) {
    result.append(text.constData() + from, at - from);
    result.append(replacement);
    from = at + find.size();
    at = text.indexOf(find, from);
  }
  result.append(text.constData() + from, text.size() - from);
  return result;
}

QByteArray NormaliseLineReference(const QByteArray &line) {
  QByteArray text = line + ' ';
  for (const ReplacementStep &step : kNormaliseSteps) text = ReplaceAll(text, step.find, step.replacement);
  return text;
}

QByteArray NormaliseLine(const QByteArray &line) { return NormaliseLineView(line); }

QByteArray NormaliseLineView(QByteArrayView line) {
  // Steps 1 to 15, with the appended blank, written straight into a buffer
  // large enough for the worst case (every character tripled).
  QByteArray expanded(line.size() * 3 + 1, Qt::Uninitialized);
  char *out = expanded.data();
  std::array<bool, 256> present{};
  for (char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    present[byte] = true;
    const unsigned length = kExpansion.length[byte];
    if (length) {
      std::memcpy(out, kExpansion.text[byte], length);
      out += length;
    } else {
      *out++ = c;
    }
  }
  *out++ = ' ';
  expanded.truncate(out - expanded.constData());

  // Steps 16 to 18 only where their characters occur at all.
  if (present[':'] && present['=']) ReplaceInPlace(expanded, kNormaliseSteps[15]);
  if (present['('] && present['*']) ReplaceInPlace(expanded, kNormaliseSteps[16]);
  if (present['*'] && present[')']) ReplaceInPlace(expanded, kNormaliseSteps[17]);

  // Steps 19 to 21 act on each run of blanks alone; the text only shrinks,
  // so it is rewritten in place.
  QByteArray text = std::move(expanded);
  {
    char *write = text.data();
    const char *read = write;
    const char *end = read + text.size();
    while (read < end) {
      if (*read != ' ') {
        *write++ = *read++;
        continue;
      }
      const char *runStart = read;
      while (read < end && *read == ' ') ++read;
      for (int n = ShortenedRun(int(read - runStart)); n > 0; --n) *write++ = ' ';
    }
    text.truncate(write - text.constData());
  }

  // Steps 22 to 30, skipped where their leading character never occurs.
  if (present[')']) ReplaceInPlace(text, kNormaliseSteps[21]);
  if (present['\'']) {
    for (int i = 22; i <= 25; ++i) ReplaceInPlace(text, kNormaliseSteps[i]);
  }
  if (present['{']) ReplaceInPlace(text, kNormaliseSteps[26]);
  if (present['(']) {
    ReplaceInPlace(text, kNormaliseSteps[27]);
    ReplaceInPlace(text, kNormaliseSteps[28]);
  }
  if (present['/']) ReplaceInPlace(text, kNormaliseSteps[29]);
  return text;
}

std::vector<LineWord> SplitWords(QByteArrayView line) {
  const QByteArrayView trimmed = Trimmed(line);
  std::vector<LineWord> words;
  words.reserve(16);
  qsizetype from = 0;
  for (;;) {
    const qsizetype blank = trimmed.indexOf(' ', from);
    if (blank < 0) {
      words.push_back({QByteArray(trimmed.data() + from, trimmed.size() - from), TokenClass::Plain});
      break;
    }
    words.push_back({QByteArray(trimmed.data() + from, blank - from), TokenClass::Plain});
    from = blank + 1;
  }
  words.push_back({QByteArray(kSentinelWord), TokenClass::Plain});
  return words;
}

bool IsReservedCandidate(QByteArrayView lowerWord) {
  for (const char *candidate : kReservedCandidates)
    if (EqualsLiteral(lowerWord, candidate)) return true;
  return false;
}

bool IsSectionWord(QByteArrayView lowerWord) {
  return EqualsLiteral(lowerWord, "interface") || EqualsLiteral(lowerWord, "implementation") ||
         EqualsLiteral(lowerWord, "private") || EqualsLiteral(lowerWord, "public") ||
         EqualsLiteral(lowerWord, "protected");
}

void ClassifyWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine,
                  ScanState &state, const FormatSettings &settings, CodeWordRules *rules) {
  LineWord &word = words[size_t(index)];
  const QByteArray &w = word.Text;
  const QByteArray lw = LowerAscii(w);
  if (word.Kind != TokenClass::ProcName) word.Kind = TokenClass::Plain;

  if (!state.InBraceComment && !state.InParenComment && w == "'") state.InString = !state.InString;
  if (lw == "}") state.InBraceComment = false;
  if (lw == "*)") state.InParenComment = false;
  if (w == "(*") state.InParenComment = true;
  if (w == "//") state.InLineComment = true;
  if (w == "{") {
    // "{ $" is a compiler directive, and a directive is code.
    const QByteArrayView first100 = trimmedLine.first(std::min<qsizetype>(trimmedLine.size(), 100));
    const qsizetype dollar = first100.indexOf('$');
    const qsizetype brace = first100.indexOf('{');
    state.InBraceComment = !(dollar >= 0 && brace >= 0 && dollar == brace + 2);
  }
  if (state.InParenComment || state.InLineComment) {
    state.InBraceComment = false;
    state.InString = false;
  }
  if (state.InParenComment && w != "(*") word.Kind = TokenClass::Comment;
  if (state.InLineComment && w != "//") word.Kind = TokenClass::Comment;
  if (state.InBraceComment && w != "{") word.Kind = TokenClass::Comment;
  if (state.InString && w != "'") word.Kind = TokenClass::Message;

  const bool code =
      !state.InBraceComment && !state.InParenComment && !state.InString && !state.InLineComment;
  if (!code) return;
  if (rules) rules->OnCodeWord(words, index, trimmedLine);
  // The rules may have grown the table; take the entry afresh.
  LineWord &entry = words[size_t(index)];
  if (IsReservedCandidate(lw) && settings.ReserveWords.contains(lw)) {
    entry.Kind = TokenClass::Reserved;
    if (settings.Reserve == 1)
      entry.Text = entry.Text.toUpper();
    else if (settings.Reserve == 2)
      entry.Text = LowerAscii(entry.Text);
  }
  if (index == 0 && IsSectionWord(lw)) entry.Kind = TokenClass::Section;
}

void ClassifyLine(std::vector<LineWord> &words, QByteArrayView trimmedLine, ScanState &state,
                  const FormatSettings &settings, CodeWordRules *rules) {
  state.InLineComment = false;
  for (size_t i = 0; i < words.size(); ++i) ClassifyWord(words, int(i), trimmedLine, state, settings, rules);
  state.InString = false;
}

}  // namespace scrivane
