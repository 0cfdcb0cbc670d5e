#pragma once
// The listing side of the lexer: the words of a listing line as they are
// laid out, and the classes (reserved word, comment, string...) they print
// in. The readers' side, which normalises lines when a file is read and cuts
// them into words, is project/SourceLexer.h.
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

#include "project/RoutineHeaders.h"
#include "project/SourceLexer.h"

namespace scrivane {

struct FormatSettings;

enum class TokenClass : int {
  Plain = 0,
  Reserved = 1,
  Comment = 2,
  Message = 3,
  Section = 4,
  ProcName = 5,
};

// One word of the line being laid out. The whole word is kept: the listing
// prints long identifiers and strings in full.
struct LineWord {
  QByteArray Text;
  TokenClass Kind = TokenClass::Plain;
  Lexeme Lex = Lexeme::Code;
  // False when the next word follows with no blank between ("'x'" and ";"
  // of "'x';"): no blank is drawn after it, and the two share a row.
  bool BlankAfter = true;
  // True when this word or a later one of its line holds a ";": a type's
  // body does not follow a declaration ended on its line.
  bool SemicolonFollows = false;
  // Where the word starts in the line's words part: a header joined from
  // several file lines tells by it which of them a name was written on.
  qsizetype Offset = 0;
};

// Every line ends with this sentinel word; it is never printed.
inline constexpr char kSentinelWord[] = "```";

// The comment state a listing line starts from, carried from line to line
// and page to page. A string or a "//" comment ends with its line.
struct ScanState {
  bool InBraceComment = false;
  bool InParenComment = false;
  int BraceDepth = 0;         // braces opened inside a brace comment
  bool NestComments = false;  // brace comments nest (the source's mode)
  int TextBlock = 0;          // inside a text block opened by this many quotes
  CommentCarry Carry() const {
    return CommentCarry{InBraceComment, InParenComment, false, BraceDepth, NestComments, TextBlock};
  }
  static ScanState Of(const CommentCarry &c) {
    return ScanState{c.InBrace, c.InParenStar, c.BraceDepth, c.NestComments, c.TextBlock};
  }
  friend bool operator==(const ScanState &, const ScanState &) = default;
};

// The layout rules that run on code words (indentation and block diagram);
// the lexer calls them between the comment tests and the reserved-word test.
class CodeWordRules {
 public:
  virtual ~CodeWordRules() = default;
  // words: the whole line; index: the code word; trimmedLine: the listing
  // line without surrounding blanks.
  virtual void OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine) = 0;
  // The word at index lowered, as OnCodeWord has just lowered it for its
  // own tests, when it still holds that; false: the caller lowers it.
  virtual bool LoweredCodeWord(int index, QByteArrayView *lowered) const {
    (void)index;
    (void)lowered;
    return false;
  }
};

// A lexed word of `WordsPart(line)` with `text` as its text, classed by
// what it is; lastSemicolon: where the last ";" of that part stands (-1 for none).
// Inline: it runs for every word of every line classed.
inline LineWord MakeLineWord(const LexedWord &word, QByteArray text, qsizetype lastSemicolon) {
  const TokenClass kind = word.Lex == Lexeme::String    ? TokenClass::Message
                          : word.Lex == Lexeme::Comment ? TokenClass::Comment
                                                        : TokenClass::Plain;
  return LineWord{std::move(text), kind, word.Lex, word.BlankAfter, lastSemicolon >= word.Offset,
                  word.Offset};
}
// Cuts a listing line into words (LineLexer; comments followed from `state`
// on, which is left at the line's end), each classed Plain, Comment or
// Message by what it is, and appends the sentinel.
std::vector<LineWord> SplitWords(QByteArrayView line, ScanState &state);
// The same for a line that starts in code.
std::vector<LineWord> SplitWords(QByteArrayView line);
// Classes words[index]: a code word goes through the rules (which may be
// null), the reserved-word and the section test; any other keeps the class
// of what it is.
void ClassifyWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine,
                  const FormatSettings &settings, CodeWordRules *rules);
void ClassifyLine(std::vector<LineWord> &words, QByteArrayView trimmedLine,
                  const FormatSettings &settings, CodeWordRules *rules);

// A word lowered (ASCII) for the tests that classify it; short words, most
// of a line's, without allocating. Read it through view().
class LoweredWord {
 public:
  explicit LoweredWord(QByteArrayView word);
  LoweredWord(const LoweredWord &) = delete;
  LoweredWord &operator=(const LoweredWord &) = delete;
  QByteArrayView view() const { return view_; }

 private:
  char short_[32];
  QByteArray long_;
  QByteArrayView view_;
};

bool IsReservedCandidate(QByteArrayView lowerWord);
bool IsSectionWord(QByteArrayView lowerWord);

}  // namespace scrivane
