#include "listing/Lexer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "format/FormatSettings.h"

namespace scrivane {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

QByteArray LowerAscii(QByteArrayView text) {
  QByteArray result(text.data(), text.size());
  for (char &c : result) c = LowerAscii(c);
  return result;
}

// The words that can print as reserved words; the Reserved Words tab picks
// which of them do.
constexpr std::array<const char *, 58> kReservedCandidates{
    "and",      "array",     "as",      "asm",         "begin",
    "case",     "class",     "const",   "constructor", "destructor",
    "div",      "do",        "downto",  "else",        "end",
    "end.",     "end;",      "except",  "export",      "finally",
    "for",      "function",  "goto",    "if",          "implementation",
    "in",       "inherited", "inline",  "interface",   "is",
    "library",  "mod",       "not",     "object",      "of",
    "or",       "packed",    "private", "procedure",   "program",
    "property", "protected", "public",  "raise",       "record",
    "repeat",   "set",       "then",    "to",          "try",
    "type",     "unit",      "until",   "uses",        "var",
    "while",    "with",      "xor"};
// Today's Free Pascal and Delphi words, and the directives that the initial
// list has always held. Written as directives are, with a ";" after them
// ("override;"), they print reserved too; the ";" stays plain, as after "end".
constexpr std::array<const char *, 37> kAddedCandidates{"initialization",
                                                        "finalization",
                                                        "resourcestring",
                                                        "threadvar",
                                                        "label",
                                                        "exports",
                                                        "out",
                                                        "nil",
                                                        "shl",
                                                        "shr",
                                                        "strict",
                                                        "sealed",
                                                        "helper",
                                                        "generic",
                                                        "specialize",
                                                        "operator",
                                                        "reference",
                                                        "dispinterface",
                                                        "published",
                                                        "absolute",
                                                        "abstract",
                                                        "assembler",
                                                        "at",
                                                        "cdecl",
                                                        "default",
                                                        "dynamic",
                                                        "external",
                                                        "far",
                                                        "near",
                                                        "nodefault",
                                                        "on",
                                                        "override",
                                                        "read",
                                                        "resident",
                                                        "stored",
                                                        "virtual",
                                                        "write"};

// A set of short words looked up by length and first and last letters:
// the reserved-word test runs on every code word of a listing, and a
// binary search compared each with seven words on average.
class WordSet {
 public:
  template <size_t N>
  explicit WordSet(const std::array<const char *, N> &words) {
    for (const char *w : words) add(w);
  }
  void add(QByteArrayView word) { buckets_[Bucket(word)].push_back(word); }
  bool contains(QByteArrayView word) const {
    if (word.isEmpty() || word.size() > kLongest) return false;
    for (const QByteArrayView candidate : buckets_[Bucket(word)])
      if (candidate.size() == word.size() &&
          std::memcmp(candidate.data(), word.data(), size_t(word.size())) == 0)
        return true;
    return false;
  }

 private:
  static constexpr qsizetype kLongest = 16;
  static size_t Bucket(QByteArrayView word) {
    const auto first = static_cast<unsigned char>(word.front()),
               last = static_cast<unsigned char>(word.back());
    return (size_t(word.size()) * 131 + first * 31 + last) % kBuckets;
  }
  static constexpr size_t kBuckets = 509;
  std::array<std::vector<QByteArrayView>, kBuckets> buckets_;
};

const WordSet &Candidates() {
  static const WordSet set = [] {
    WordSet words(kReservedCandidates);
    for (const char *w : kAddedCandidates) words.add(w);
    return words;
  }();
  return set;
}

// The word that the reserved-word test looks up: lw itself, or for an added
// word followed by ";" the word without it.
QByteArrayView ReservedKey(QByteArrayView lw) {
  static const WordSet added(kAddedCandidates);
  if (lw.size() > 1 && lw.endsWith(';') && added.contains(lw.chopped(1))) return lw.chopped(1);
  // An anonymous method's "end" that goes on with the call it is passed to
  // ("end, 3);", "end);").
  if (lw.size() > 3 && lw.startsWith("end") && lw != "end." &&
      std::all_of(lw.begin() + 3, lw.end(),
                  [](char c) { return c == ',' || c == ')' || c == ';'; }))
    return "end";
  return lw;
}

// Whether the user's list of reserved words holds word, by length and
// first letter before the bytes: every reserved word of a unit is looked up
// in it, and the list (which the Reserved Words tab edits in place) has a
// hundred entries.
bool InWordList(const QList<QByteArray> &list, QByteArrayView word) {
  if (word.isEmpty()) return list.contains(word);
  const qsizetype size = word.size();
  const char first = word.front();
  for (const QByteArray &entry : list)
    if (entry.size() == size && entry.constData()[0] == first &&
        std::memcmp(entry.constData(), word.data(), size_t(size)) == 0)
      return true;
  return false;
}

template <size_t N>
bool EqualsLiteral(QByteArrayView word, const char (&literal)[N]) {
  return word.size() == qsizetype(N - 1) && std::memcmp(word.data(), literal, N - 1) == 0;
}

}  // namespace

LoweredWord::LoweredWord(QByteArrayView word) {
  if (word.size() <= qsizetype(sizeof short_)) {
    for (qsizetype i = 0; i < word.size(); ++i) short_[i] = LowerAscii(word[i]);
    view_ = QByteArrayView(short_, word.size());
  } else {
    long_ = LowerAscii(word);
    view_ = long_;
  }
}

bool IsReservedCandidate(QByteArrayView lowerWord) { return Candidates().contains(lowerWord); }

bool IsSectionWord(QByteArrayView lowerWord) {
  return EqualsLiteral(lowerWord, "interface") || EqualsLiteral(lowerWord, "implementation") ||
         EqualsLiteral(lowerWord, "private") || EqualsLiteral(lowerWord, "public") ||
         EqualsLiteral(lowerWord, "protected");
}

void ClassifyWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine,
                  const FormatSettings &settings, CodeWordRules *rules) {
  LineWord &word = words[size_t(index)];
  switch (word.Lex) {
    case Lexeme::Code:
      break;
    case Lexeme::String:
      word.Kind = TokenClass::Message;
      return;
    case Lexeme::Comment:
      word.Kind = TokenClass::Comment;
      return;
    case Lexeme::Directive:
      // The rules follow {$IF...}/{$ELSE} branches; a directive takes no other rule.
      word.Kind = TokenClass::Plain;
      if (rules) rules->OnCodeWord(words, index, trimmedLine);
      return;
  }
  if (word.Kind != TokenClass::ProcName) word.Kind = TokenClass::Plain;
  // The rules lower every code word for their own tests: that copy is
  // read here rather than lowering the word a second time.
  std::optional<LoweredWord> lowered;
  QByteArrayView lw;
  if (rules) {
    rules->OnCodeWord(words, index, trimmedLine);
    if (!rules->LoweredCodeWord(index, &lw)) lw = lowered.emplace(words[size_t(index)].Text).view();
  } else {
    lw = lowered.emplace(word.Text).view();
  }
  // The rules may have grown the table; take the entry afresh.
  LineWord &entry = words[size_t(index)];
  const QByteArrayView key = ReservedKey(lw);
  if (IsReservedCandidate(key) && InWordList(settings.ReserveWords, key)) {
    entry.Kind = TokenClass::Reserved;
    if (settings.Reserve == 1)
      entry.Text = entry.Text.toUpper();
    else if (settings.Reserve == 2)
      entry.Text = LowerAscii(entry.Text);
  }
  if (index == 0 && IsSectionWord(lw)) entry.Kind = TokenClass::Section;
}

void ClassifyLine(std::vector<LineWord> &words, QByteArrayView trimmedLine,
                  const FormatSettings &settings, CodeWordRules *rules) {
  for (size_t i = 0; i < words.size(); ++i)
    ClassifyWord(words, int(i), trimmedLine, settings, rules);
}

std::vector<LineWord> SplitWords(QByteArrayView line, ScanState &state) {
  const QByteArrayView trimmed = WordsPart(line);
  std::vector<LineWord> words;
  words.reserve(16);
  CommentCarry carry = state.Carry();
  LineLexer lexer(trimmed, carry);
  const qsizetype lastSemicolon = trimmed.lastIndexOf(';');
  for (LexedWord w; lexer.Next(w);)
    words.push_back(MakeLineWord(w, QByteArray(trimmed.data() + w.Offset, w.Size), lastSemicolon));
  words.push_back({QByteArray(kSentinelWord), TokenClass::Plain});
  state = ScanState::Of(carry);
  return words;
}

std::vector<LineWord> SplitWords(QByteArrayView line) {
  ScanState state;
  return SplitWords(line, state);
}

}  // namespace scrivane
