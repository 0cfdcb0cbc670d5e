#pragma once
// The source line lexer: NormaliseLine when a file is read, and the word
// scanner that classes each word of a listing line while it is laid out.
// Text is 8-bit (Windows-1252) and kept as bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

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
};

// Every line ends with this sentinel word; it is never printed.
inline constexpr char kSentinelWord[] = "```";
// The page-break directive after normalisation.
inline constexpr char kNewPageMarker[] = "@@@@@";

// Comment and string state, carried from word to word; the brace and
// parenthesis-star flags also from line to line and page to page.
struct ScanState {
  bool InBraceComment = false;
  bool InParenComment = false;
  bool InString = false;
  bool InLineComment = false;
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
};

QByteArray ReplaceAll(const QByteArray &text, QByteArrayView find, QByteArrayView replacement);
// The 30 replacement steps, in order, each on the previous one's result:
// the listing's words depend on that order byte for byte.
QByteArray NormaliseLine(const QByteArray &line);
// The same for a line that is not held in a QByteArray of its own.
QByteArray NormaliseLineView(QByteArrayView line);
// NormaliseLine for a reader that goes through many lines: the buffers are
// kept from line to line, so a file's lines cost no allocation here.
class LineNormaliser {
 public:
  // The normalised line, valid until the next call. With lowerCase set the
  // line is lowered (ASCII) before the steps, as the "lower" option reads.
  QByteArrayView Normalise(QByteArrayView line, bool lowerCase = false);

 private:
  std::vector<char> text_;
  std::vector<char> spare_;
};
// The same 30 steps done literally, one ReplaceAll each (the last one also
// parts a "//" from the word before it): the yardstick that the one-pass
// NormaliseLine is checked against.
QByteArray NormaliseLineReference(const QByteArray &line);
// Cuts a listing line into words (empty words included) and appends the sentinel.
std::vector<LineWord> SplitWords(QByteArrayView line);
// Classes words[index]; rules may be null.
void ClassifyWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine,
                  ScanState &state, const FormatSettings &settings, CodeWordRules *rules);
// Convenience for a whole line: InLineComment cleared first, InString after.
void ClassifyLine(std::vector<LineWord> &words, QByteArrayView trimmedLine, ScanState &state,
                  const FormatSettings &settings, CodeWordRules *rules);

// The reader's comment state, carried from line to line (a string or a "//"
// comment ends with its line).
struct CommentCarry {
  bool InBrace = false;
  bool InParenStar = false;
  bool InCode() const { return !InBrace && !InParenStar; }
  friend bool operator==(const CommentCarry &, const CommentCarry &) = default;
};
// Follows the comments of a normalised line from `carry` on. When `code` is
// given, the line's code words (strings included; comments, directives and
// their delimiters left out) are appended to it, each followed by one blank.
// Returns true when the line ends inside a "//" comment.
bool FollowComments(QByteArrayView line, CommentCarry &carry, QByteArray *code = nullptr);
// A routine header as the routine keys see it: lowerCode (code words only,
// lower case) cut after the header's end, which is the first ";" after the
// last ") :" of a function, the first ");" of a procedure-like header with a
// parameter list, or else the first ";". Without an end it stays whole.
QByteArray CutRoutineHeader(QByteArrayView lowerCode, bool isFunction);
// The same for one listing line: comments dropped, lower case, cut.
QByteArray RoutineHeaderOfLine(QByteArrayView line);
// A routine header without its class qualifiers ("procedure tform1.click;"
// gives "procedure click;"): how an implementation is matched with its
// declaration.
QByteArray RoutineKey(const QByteArray &lowerHeader);

bool IsReservedCandidate(QByteArrayView lowerWord);
bool IsSectionWord(QByteArrayView lowerWord);

}  // namespace scrivane
