#pragma once
// The source line lexer as the readers use it: NormaliseLine when a file is
// read, and the cutting of a normalised line into its words, following
// comments from line to line. Text is 8-bit (Windows-1252) and kept as
// bytes. The listing classes the words it cuts (listing/Lexer.h).
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

namespace scrivane {

// What a word of a listing line is, as the lexer cuts the line. Only code
// words take part in the layout rules and the reserved-word test; the others
// print as the source wrote them.
enum class Lexeme : unsigned char {
  Code,
  String,     // a string literal, quotes and "#13"-style codes included
  Directive,  // "{$...}" or "(*$...*)" closed on its line
  Comment,    // comment text, its delimiters included
};

// The page-break directive after normalisation.
inline constexpr char kNewPageMarker[] = "@@@@@";

QByteArray ReplaceAll(const QByteArray &text, QByteArrayView find, QByteArrayView replacement);

// The reader's comment state, carried from line to line (a string or a "//"
// comment ends with its line).
struct CommentCarry {
  bool InBrace = false;
  bool InParenStar = false;
  // Inside an "asm" block, where a sign before a number belongs to it
  // ("imul edx, -2048144777"); followed by the normaliser only.
  bool InAsm = false;
  // Braces opened inside a brace comment, where comments nest ("{ a { b }
  // c }" is one comment in Free Pascal's own modes, not in Delphi's).
  int BraceDepth = 0;
  bool NestComments = false;
  // Inside a Delphi text block (a string over lines, opened by this many
  // quotes at the end of a line); 0: none.
  int TextBlock = 0;
  // A comment ends; the mode and the place in the code stay.
  void EndComment() {
    InBrace = InParenStar = false;
    BraceDepth = 0;
  }
  bool InCode() const { return !InBrace && !InParenStar && TextBlock == 0; }
  friend bool operator==(const CommentCarry &, const CommentCarry &) = default;
};

// A source line as the listing prints it: code tokens set apart by blanks
// as they always were (one blank, but a run of more than ten blanks may keep
// two or three; ":=", "<=", "+=", "**" and "1.5e-3" are kept whole),
// while string literals, compiler directives and comment text keep every
// byte as written. A comment or directive stands apart from the code by a
// blank; a string literal is glued to its neighbours as the code rules
// leave them ("s := '';"). A brace comment holding only "@newpage" becomes
// the page-break marker. Starts in code.
QByteArray NormaliseLine(const QByteArray &line);
// NormaliseLine for a reader that goes through many lines: comments are
// followed from line to line through `carry`, and the buffer is kept, so a
// file's lines cost no allocation here.
class LineNormaliser {
 public:
  // The normalised line, valid until the next call. With lowerCase set, code
  // and comments are lowered (ASCII) as the "lower" option reads; string
  // literals and directives keep their case.
  QByteArrayView Normalise(QByteArrayView line, bool lowerCase, CommentCarry &carry);

 private:
  std::vector<char> out_;
};

// The thirty replacement steps over the whole line, as a form's text is
// read: its listing follows quotes and braces word by word, and a form's
// text has no comments. Done in one pass.
class FormTextNormaliser {
 public:
  // The normalised line, valid until the next call; lowerCase lowers (ASCII)
  // before the steps.
  QByteArrayView Normalise(QByteArrayView line, bool lowerCase = false);
  // The same for the text outside string literals; a literal, quotes,
  // doubled quotes and "#13" codes and all, is kept byte for byte as the
  // form holds it, set apart by a blank. The result ends with a blank.
  QByteArray NormaliseKeepingStrings(QByteArrayView line, bool lowerCase = false);

 private:
  std::vector<char> text_;
  std::vector<char> spare_;
};
// The same 30 steps done literally, one ReplaceAll each (the last one also
// parts a "//" from the word before it): the yardstick that the one-pass
// FormTextNormaliser is checked against.
QByteArray NormaliseLineReference(const QByteArray &line);

// The end of the string literal that starts at `at` (a quote, or "#"
// followed by a digit or "$"): quoted parts with their doubled quotes and
// control codes such as "#13" or "#$0A", as long as they follow one another
// without a blank. An unclosed quote runs to the end of the text.
qsizetype StringLiteralEnd(QByteArrayView text, qsizetype at);
bool StartsStringLiteral(QByteArrayView text, qsizetype at);
// Delphi's text blocks: an odd run of three or more quotes that ends its
// line opens one (the number of quotes is returned; 0: none opens at
// `at`), and the first line that starts, after blanks, with as many quotes
// closes it (the index after them is returned; -1: the block goes on).
int TextBlockQuotes(QByteArrayView line, qsizetype at);
qsizetype TextBlockClosing(QByteArrayView line, int quotes);

// One word of a normalised line: where it stands in the line and what it is.
struct LexedWord {
  qsizetype Offset = 0;
  qsizetype Size = 0;
  Lexeme Lex = Lexeme::Code;
  bool BlankAfter = true;
};
// Cuts a normalised line into the words the listing prints: at every blank
// (two blanks give an empty word between them), except inside a string
// literal or a directive, and after a comment's closer or around a string
// literal where no blank stands. Comments are followed from `carry` on, and
// `carry` is left at the line's end.
class LineLexer {
 public:
  // Where the lexer stands between two words: enough to go on cutting the
  // same line later from that word.
  struct Place {
    qsizetype At = 0;
    CommentCarry Carry;
    bool InLineComment = false;
    bool Done = false;
  };
  LineLexer(QByteArrayView line, CommentCarry &carry) : line_(line), carry_(carry) {}
  // Goes on from `place` (taken from a lexer on the same line); `carry` is
  // set to the place's comment state.
  LineLexer(QByteArrayView line, CommentCarry &carry, const Place &place)
      : line_(line),
        carry_(carry),
        pos_(place.At),
        done_(place.Done),
        inLineComment_(place.InLineComment) {
    carry_ = place.Carry;
  }
  bool Next(LexedWord &word);
  bool InLineComment() const { return inLineComment_; }
  Place Here() const { return Place{pos_, carry_, inLineComment_, done_}; }

 private:
  qsizetype CodeWordEnd(qsizetype from) const;
  qsizetype CommentWordEnd(qsizetype from, QByteArrayView closer, bool &closed) const;
  // A word of a brace comment where comments nest: carry_'s depth follows
  // the braces it holds.
  qsizetype NestedCommentWordEnd(qsizetype from, bool &closed) const;
  QByteArrayView line_;
  CommentCarry &carry_;
  qsizetype pos_ = 0;
  bool done_ = false;
  bool inLineComment_ = false;
};

// What of a listing line the lexer cuts: the line without the blanks and
// control characters around it.
QByteArrayView WordsPart(QByteArrayView line);
// Whether brace comments nest after the directive `directive` ("{$mode
// delphi}", "{$modeswitch nestedcomments-}"); `nest` as it was for any other.
bool NestingAfterDirective(QByteArrayView directive, bool nest);
// Where a brace comment open in `carry` ends in `text`, looked for from
// `from`: the index after its "}", or -1 when it runs on (carry's depth
// then counts the braces opened inside it).
qsizetype BraceCommentEnd(QByteArrayView text, qsizetype from, CommentCarry &carry);
// Follows the comments of a normalised line from `carry` on. When `code` is
// given, the line's code words (strings included; comments, directives and
// their delimiters left out) are appended to it, each followed by one blank.
// Returns true when the line ends inside a "//" comment.
bool FollowComments(QByteArrayView line, CommentCarry &carry, QByteArray *code = nullptr);

}  // namespace scrivane
