// Source lines as the readers normalise them, and the words a line is cut
// into. Code is normalised (tokens set apart by single blanks);
// string literals, directives and comment text are what the source says, so
// they pass through byte for byte.
#include "project/SourceLexer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace scrivane {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= ' '; }

QByteArrayView Trimmed(QByteArrayView text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlankByte(text[begin])) ++begin;
  while (end > begin && IsBlankByte(text[end - 1])) --end;
  return text.sliced(begin, end - begin);
}

// A run of n blanks after shortening runs of four, three and two blanks to
// one, each left to right without overlap: how code has always been spaced.
int ShortenedRun(int n) {
  n = n / 4 + n % 4;
  n = n / 3 + n % 3;
  return n / 2 + n % 2;
}

// The blanks code puts before and after a character it sets apart.
struct Spacing {
  int before = 0, after = 0;
};
Spacing SpacingOf(char c) {
  switch (c) {
    case '(':
    case ')':
    case '+':
    case '-':
    case '*':
    case '=':
    case ':':
    case '}':
      return {1, 1};
    case '[':
      return {1, 0};
    case ']':
    case ',':
    case ';':
      return {0, 1};
    default:
      return {};
  }
}

// Two characters that Pascal reads as one operator; set apart whole.
bool IsOperatorPair(char a, char b) {
  if (b == '=')
    return a == ':' || a == '+' || a == '-' || a == '*' || a == '/' || a == '<' || a == '>';
  return a == '*' && (b == '*' || b == ')');
}

// The inside of a brace comment that asks for a new page; with the lower
// option "{ @NEWPAGE }" asks too, as the line is read lowered.
bool IsNewPageComment(QByteArrayView inside, bool lowerCase) {
  qsizetype begin = 0, end = inside.size();
  while (begin < end && (inside[begin] == ' ' || inside[begin] == '\t')) ++begin;
  while (end > begin && (inside[end - 1] == ' ' || inside[end - 1] == '\t')) --end;
  const QByteArrayView word = inside.sliced(begin, end - begin);
  constexpr QByteArrayView kDirective("@newpage");
  if (word.size() != kDirective.size()) return false;
  for (qsizetype k = 0; k < word.size(); ++k)
    if ((lowerCase ? LowerAscii(word[k]) : word[k]) != kDirective[k]) return false;
  return true;
}

// Letters, digits and "_": bytes that go on an identifier and take part in
// no operator, comment or string.
constexpr auto kIdentifierByte = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  return table;
}();
bool IsIdentifierByte(char c) { return kIdentifierByte[static_cast<unsigned char>(c)]; }

// An operand ends just before `at` (blanks skipped): a name, a number, ")"
// or "]", or a "^" that dereferences.
bool AfterOperand(QByteArrayView line, qsizetype at) {
  while (at > 0 && (line[at - 1] == ' ' || line[at - 1] == '\t')) --at;
  if (at == 0) return false;
  const char c = line[at - 1];
  return IsIdentifierByte(c) || c == ')' || c == ']' || c == '^';
}

bool EqualsIgnoringCase(QByteArrayView word, const char (&lower)[4]) {
  for (qsizetype k = 0; k < 3; ++k)
    if (LowerAscii(word[k]) != lower[k]) return false;
  return true;
}

// Writes a normalised line. Blanks owed to code are counted and written,
// shortened, only when the next character comes.
class LineWriter {
 public:
  explicit LineWriter(std::vector<char> &out) : out_(out) {}

  int pending = 0;  // blanks owed before the next character

  // semicolon: the character to come is a code ";", which joins a code ")"
  // before it across one blank, as ");" has always printed.
  // Called before nearly every character, and nearly always with nothing
  // owed: that test stays inline.
  void Flush(bool semicolon = false) {
    if (pending != 0) FlushPending(semicolon);
  }
  void FlushPending(bool semicolon) {
    int n = pending == 1 ? 1 : ShortenedRun(pending);
    if (semicolon && afterCloseParen_ && n == 1) n = 0;
    // Nearly always one blank: a fill insert costs more than that.
    if (n == 1)
      out_.push_back(' ');
    else
      out_.insert(out_.end(), size_t(n), ' ');
    pending = 0;
  }
  void Code(char c) {
    out_.push_back(c);
    afterCloseParen_ = c == ')';
  }
  // The rest of an identifier or number, all at once.
  void CodeRun(QByteArrayView run, bool lowerCase) {
    const size_t at = out_.size();
    out_.insert(out_.end(), run.begin(), run.end());
    if (lowerCase)
      for (size_t k = at; k < out_.size(); ++k) out_[k] = LowerAscii(out_[k]);
    afterCloseParen_ = false;
  }
  void Raw(QByteArrayView text) {
    out_.insert(out_.end(), text.begin(), text.end());
    afterCloseParen_ = false;
  }
  // Comment text, lowered with the option; a tab moves to the next multiple
  // of eight columns, counted from `column` (where the text starts in the line).
  void Comment(QByteArrayView text, bool lowerCase, qsizetype column) {
    for (const char c : text) {
      if (c == '\t') {
        const qsizetype blanks = 8 - column % 8;
        out_.insert(out_.end(), size_t(blanks), ' ');
        column += blanks;
        continue;
      }
      out_.push_back(lowerCase ? LowerAscii(c) : c);
      ++column;
    }
    afterCloseParen_ = false;
  }
  // Sets a comment or directive apart from the code before it.
  void BlankBefore() {
    pending = std::max(pending, 1);
    Flush();
  }

 private:
  std::vector<char> &out_;
  bool afterCloseParen_ = false;
};

// Where a number written so far stands: only a digit run with an "e" after it
// lets a sign through ("1.5e-3"); "$1E-3" and "x1e-3" are subtractions.
class NumberState {
 public:
  void Reset() { state_ = Start; }
  void Spoil() { state_ = Other; }
  bool BeforeExponentSign() const { return state_ == Exponent; }
  // Past the start of a word that is no number: letters, digits and "_"
  // leave it so.
  bool InOtherWord() const { return state_ == Other; }
  void Advance(char c) {
    // Any other character ends a word, and the next one starts afresh
    // ("%101/1.5E+10").
    const bool wordChar = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                          (c >= 'A' && c <= 'Z') || c == '_' || c == '.' || c == '$' || c == '&' ||
                          c == '%';
    if (!wordChar) {
      state_ = Start;
      return;
    }
    const bool e = c == 'e' || c == 'E';
    switch (state_) {
      case Start:
        state_ = IsDigit(c) ? Digits : Other;
        break;
      case Digits:
        state_ = IsDigit(c) ? Digits : c == '.' ? Dot : e ? Exponent : Other;
        break;
      case Dot:
        state_ = IsDigit(c) ? Fraction : Other;
        break;
      case Fraction:
        state_ = IsDigit(c) ? Fraction : e ? Exponent : Other;
        break;
      default:
        state_ = Other;
        break;
    }
  }

 private:
  enum { Start, Digits, Dot, Fraction, Exponent, Other } state_ = Start;
};

}  // namespace

bool StartsStringLiteral(QByteArrayView text, qsizetype at) {
  if (at >= text.size()) return false;
  if (text[at] == '\'') return true;
  return text[at] == '#' && at + 1 < text.size() && (IsDigit(text[at + 1]) || text[at + 1] == '$');
}

qsizetype StringLiteralEnd(QByteArrayView text, qsizetype at) {
  const qsizetype n = text.size();
  while (at < n) {
    if (text[at] == '\'') {
      for (++at;; ++at) {
        if (at >= n) return n;
        if (text[at] != '\'') continue;
        if (at + 1 < n && text[at + 1] == '\'') {
          ++at;  // a doubled quote stands for one quote
          continue;
        }
        ++at;
        break;
      }
    } else if (StartsStringLiteral(text, at)) {
      ++at;
      if (text[at] == '$') {
        for (++at; at < n && IsHexDigit(text[at]);) ++at;
      } else {
        while (at < n && IsDigit(text[at])) ++at;
      }
    } else {
      break;
    }
  }
  return at;
}

int TextBlockQuotes(QByteArrayView line, qsizetype at) {
  qsizetype run = at;
  while (run < line.size() && line[run] == '\'') ++run;
  const qsizetype quotes = run - at;
  if (quotes < 3 || quotes % 2 == 0 || quotes > 255) return 0;
  for (qsizetype k = run; k < line.size(); ++k)
    if (line[k] != ' ' && line[k] != '\t') return 0;
  return int(quotes);
}

qsizetype TextBlockClosing(QByteArrayView line, int quotes) {
  qsizetype at = 0;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  for (int q = 0; q < quotes; ++q, ++at)
    if (at >= line.size() || line[at] != '\'') return -1;
  return at;
}

QByteArrayView LineNormaliser::Normalise(QByteArrayView line, bool lowerCase, CommentCarry &carry) {
  out_.clear();
  out_.reserve(size_t(line.size()) * 3 + 8);
  LineWriter w(out_);
  NumberState number;
  const qsizetype size = line.size();
  qsizetype i = 0;
  auto charAt = [&](qsizetype k) { return k < size ? line[k] : '\0'; };

  // A text block's lines are its text, to the quotes that close it.
  if (carry.TextBlock > 0) {
    const qsizetype closed = TextBlockClosing(line, carry.TextBlock);
    w.Raw(closed < 0 ? line : line.first(closed));
    if (closed < 0) {
      ++w.pending;
      w.Flush();
      return QByteArrayView(out_.data(), qsizetype(out_.size()));
    }
    carry.TextBlock = 0;
    i = closed;
  }
  // A comment from an earlier line goes on to its closer.
  if (carry.InBrace || carry.InParenStar) {
    qsizetype end = -1;
    if (carry.InBrace) {
      end = BraceCommentEnd(line, 0, carry);
    } else if (const qsizetype closer = line.indexOf("*)"); closer >= 0) {
      end = closer + 2;
    }
    if (end >= 0) {
      carry.EndComment();
      w.Comment(line.first(end), lowerCase, 0);
      w.pending = 1;
    } else {
      end = size;
      w.Comment(line, lowerCase, 0);
    }
    i = end;
  }

  while (i < size) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      ++w.pending;
      number.Reset();
      ++i;
      continue;
    }
    if (StartsStringLiteral(line, i)) {
      if (const int quotes = TextBlockQuotes(line, i)) {
        w.Flush();
        w.Raw(line.sliced(i));
        carry.TextBlock = quotes;
        i = size;
        break;
      }
      const qsizetype end = StringLiteralEnd(line, i);
      w.Flush();
      w.Raw(line.sliced(i, end - i));
      number.Spoil();
      i = end;
      continue;
    }
    if (c == '/' && charAt(i + 1) == '/') {
      w.BlankBefore();
      w.Comment(line.sliced(i), lowerCase, i);
      i = size;
      break;
    }
    const bool brace = c == '{';
    if (brace || (c == '(' && charAt(i + 1) == '*')) {
      const qsizetype openerSize = brace ? 1 : 2;
      const bool directive = charAt(i + openerSize) == '$';
      qsizetype closer = -1;
      if (!brace) {
        closer = line.indexOf("*)", i + 2);
      } else if (directive || !carry.NestComments) {
        closer = line.indexOf('}', i + 1);
      } else {
        CommentCarry inside = carry;
        inside.BraceDepth = 0;
        const qsizetype after = BraceCommentEnd(line, i + 1, inside);
        closer = after < 0 ? -1 : after - 1;
        carry.BraceDepth = after < 0 ? inside.BraceDepth : 0;
      }
      const qsizetype end = closer < 0 ? size : closer + (brace ? 1 : 2);
      w.BlankBefore();
      if (closer >= 0 && directive) {
        w.Raw(line.sliced(i, end - i));  // a directive, as written
        carry.NestComments = NestingAfterDirective(line.sliced(i, end - i), carry.NestComments);
      } else if (closer >= 0 && brace &&
                 IsNewPageComment(line.sliced(i + 1, closer - i - 1), lowerCase))
        w.Raw(kNewPageMarker);
      else
        w.Comment(line.sliced(i, end - i), lowerCase, i);
      if (closer < 0) (brace ? carry.InBrace : carry.InParenStar) = true;
      w.pending = closer < 0 ? 0 : 1;
      number.Reset();
      i = end;
      continue;
    }
    if (IsOperatorPair(c, charAt(i + 1))) {
      ++w.pending;
      w.Flush();
      w.Code(c);
      w.Code(line[i + 1]);
      w.pending = 1;
      number.Reset();
      i += 2;
      continue;
    }
    // A control-character literal ("^[" for Escape) is one token; after a
    // name, ")" or "]" the "^" dereferences ("p^[i]", "a[p^]").
    if (c == '^' && (charAt(i + 1) == '[' || charAt(i + 1) == ']') && !AfterOperand(line, i)) {
      w.Flush();
      w.Code(c);
      w.Code(line[i + 1]);
      number.Spoil();
      i += 2;
      continue;
    }
    // In assembler a sign written before a number is the number's
    // ("imul edx, edx, -2048144777", "push -1"), where no operand stands
    // before it.
    if ((c == '+' || c == '-') && IsDigit(charAt(i + 1)) &&
        (number.BeforeExponentSign() ||
         (carry.InAsm &&
          (!AfterOperand(line, i) || (i > 0 && (line[i - 1] == ' ' || line[i - 1] == '\t')))))) {
      w.Flush();
      w.Code(c);
      number.Spoil();
      ++i;
      continue;
    }
    const Spacing spacing = SpacingOf(c);
    if (spacing.before || spacing.after) {
      w.pending += spacing.before;
      w.Flush(c == ';');
      w.Code(c);
      w.pending += spacing.after;
      number.Reset();
      ++i;
      continue;
    }
    w.Flush();
    w.Code(lowerCase ? LowerAscii(c) : c);
    number.Advance(c);
    ++i;
    // Most of a unit's code is the rest of an identifier: each such byte
    // would come back here and change nothing else, so the run is copied
    // in one go.
    if (number.InOtherWord()) {
      const qsizetype start = i - 1;
      qsizetype end = i;
      while (end < size && kIdentifierByte[static_cast<unsigned char>(line[end])]) ++end;
      if (end > i) {
        w.CodeRun(line.sliced(i, end - i), lowerCase);
        i = end;
      }
      // "asm" and "end" of three letters: the test is a length first.
      if (end - start == 3 &&
          (start == 0 || !kIdentifierByte[static_cast<unsigned char>(line[start - 1])])) {
        const QByteArrayView word = line.sliced(start, 3);
        if (EqualsIgnoringCase(word, "asm"))
          carry.InAsm = true;
        else if (EqualsIgnoringCase(word, "end"))
          carry.InAsm = false;
      }
    }
  }
  // Every normalised line ends with a blank.
  ++w.pending;
  w.Flush();
  return QByteArrayView(out_.data(), qsizetype(out_.size()));
}

QByteArray NormaliseLine(const QByteArray &line) {
  LineNormaliser normaliser;
  CommentCarry carry;
  return normaliser.Normalise(line, false, carry).toByteArray();
}

qsizetype LineLexer::CodeWordEnd(qsizetype from) const {
  // The bytes that can end a code word; every other byte goes on with it.
  static constexpr auto kMayEnd = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {' ', '{', '\'', '#', '(', '/'}) table[c] = true;
    return table;
  }();
  const qsizetype size = line_.size();
  qsizetype k = from;
  for (; k < size; ++k) {
    const char c = line_[k];
    if (!kMayEnd[static_cast<unsigned char>(c)]) continue;
    if (c == ' ') break;
    if (k == from) continue;
    if (c == '{' || StartsStringLiteral(line_, k)) break;
    const char next = k + 1 < size ? line_[k + 1] : '\0';
    if ((c == '(' && next == '*') || (c == '/' && next == '/')) break;
  }
  return k;
}

qsizetype LineLexer::CommentWordEnd(qsizetype from, QByteArrayView closer, bool &closed) const {
  const qsizetype size = line_.size();
  closed = false;
  for (qsizetype k = from; k < size; ++k) {
    if (line_[k] == ' ') return k;
    if (line_[k] == closer.front() && line_.sliced(k).startsWith(closer)) {
      closed = true;
      return k + closer.size();
    }
  }
  return size;
}

qsizetype LineLexer::NestedCommentWordEnd(qsizetype from, bool &closed) const {
  const qsizetype size = line_.size();
  closed = false;
  for (qsizetype k = from; k < size; ++k) {
    const char c = line_[k];
    if (c == ' ') return k;
    if (c == '{') {
      ++carry_.BraceDepth;
    } else if (c == '}') {
      if (carry_.BraceDepth == 0) {
        closed = true;
        return k + 1;
      }
      --carry_.BraceDepth;
    }
  }
  return size;
}

bool LineLexer::Next(LexedWord &word) {
  if (done_) return false;
  const qsizetype start = pos_, size = line_.size();
  // One or two characters: this runs on every word of a unit.
  auto startsWith = [&](char first, char second = '\0') {
    return start < size && line_[start] == first &&
           (second == '\0' || (start + 1 < size && line_[start + 1] == second));
  };
  qsizetype end = start;
  Lexeme lex = Lexeme::Comment;
  bool closed = false;
  if (inLineComment_) {
    end = line_.indexOf(' ', start);
    if (end < 0) end = size;
  } else if (carry_.TextBlock > 0) {
    // A text block's line is one word, blanks and all.
    const qsizetype closed = TextBlockClosing(line_.sliced(start), carry_.TextBlock);
    end = closed < 0 ? size : start + closed;
    if (closed >= 0) carry_.TextBlock = 0;
    lex = Lexeme::String;
  } else if (carry_.InBrace) {
    end = carry_.NestComments ? NestedCommentWordEnd(start, closed)
                              : CommentWordEnd(start, "}", closed);
    carry_.InBrace = !closed;
  } else if (carry_.InParenStar) {
    end = CommentWordEnd(start, "*)", closed);
    carry_.InParenStar = !closed;
  } else if (startsWith('/', '/')) {
    inLineComment_ = true;
    end = line_.indexOf(' ', start);
    if (end < 0) end = size;
  } else if (startsWith('{') || startsWith('(', '*')) {
    const bool brace = line_[start] == '{';
    const qsizetype opener = brace ? 1 : 2;
    const qsizetype closer =
        start + opener < size && line_[start + opener] == '$'
            ? line_.indexOf(brace ? QByteArrayView("}") : QByteArrayView("*)"), start + opener)
            : -1;
    if (closer >= 0) {
      end = closer + (brace ? 1 : 2);
      lex = Lexeme::Directive;
      carry_.NestComments =
          NestingAfterDirective(line_.sliced(start, end - start), carry_.NestComments);
    } else if (brace && carry_.NestComments) {
      carry_.BraceDepth = 0;
      end = NestedCommentWordEnd(start + opener, closed);
      carry_.InBrace = !closed;
    } else {
      end = CommentWordEnd(start + opener, brace ? QByteArrayView("}") : QByteArrayView("*)"),
                           closed);
      (brace ? carry_.InBrace : carry_.InParenStar) = !closed;
    }
  } else if (StartsStringLiteral(line_, start)) {
    if (const int quotes = TextBlockQuotes(line_, start)) {
      end = size;
      carry_.TextBlock = quotes;
    } else {
      end = StringLiteralEnd(line_, start);
    }
    lex = Lexeme::String;
  } else {
    end = CodeWordEnd(start);
    lex = Lexeme::Code;
  }
  word = LexedWord{start, end - start, lex, true};
  if (end >= size) {
    done_ = true;
  } else if (line_[end] == ' ') {
    pos_ = end + 1;
  } else {
    pos_ = end;
    word.BlankAfter = false;
  }
  return true;
}

QByteArrayView WordsPart(QByteArrayView line) { return Trimmed(line); }

bool NestingAfterDirective(QByteArrayView directive, bool nest) {
  // "{$mode delphi}", "(*$MODE TP*)", "{$modeswitch nestedcomments-}"
  qsizetype at = directive.startsWith('{') ? 2 : 3;
  auto word = [&] {
    while (at < directive.size() && (directive[at] == ' ' || directive[at] == '\t')) ++at;
    const qsizetype start = at;
    while (at < directive.size() &&
           (IsIdentifierByte(directive[at]) || directive[at] == '+' || directive[at] == '-'))
      ++at;
    QByteArray lowered = directive.sliced(start, at - start).toByteArray();
    for (char &c : lowered) c = LowerAscii(c);
    return lowered;
  };
  const QByteArray name = word();
  if (name == "mode") {
    const QByteArray mode = word();
    if (mode == "fpc" || mode == "objfpc") return true;
    if (mode == "delphi" || mode == "delphiunicode" || mode == "tp" || mode == "macpas" ||
        mode == "iso" || mode == "extendedpascal")
      return false;
  } else if (name == "modeswitch") {
    const QByteArray which = word();
    if (which == "nestedcomments" || which == "nestedcomments+") return true;
    if (which == "nestedcomments-") return false;
  }
  return nest;
}

qsizetype BraceCommentEnd(QByteArrayView text, qsizetype from, CommentCarry &carry) {
  if (!carry.NestComments) {
    const qsizetype closer = text.indexOf('}', from);
    return closer < 0 ? -1 : closer + 1;
  }
  for (qsizetype k = from; k < text.size(); ++k) {
    if (text[k] == '{') {
      ++carry.BraceDepth;
    } else if (text[k] == '}') {
      if (carry.BraceDepth == 0) return k + 1;
      --carry.BraceDepth;
    }
  }
  return -1;
}

bool FollowComments(QByteArrayView line, CommentCarry &carry, QByteArray *code) {
  const QByteArrayView text = Trimmed(line);
  if (!code) {
    // Most lines hold nothing that could change the state; memchr tells
    // that quicker than a search for a two-byte text.
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    auto holdsPair = [&](char first, char second) {
      for (const char *p = begin; p < end; ++p) {
        p = static_cast<const char *>(std::memchr(p, second, size_t(end - p)));
        if (!p) return false;
        if (p > begin && p[-1] == first) return true;
      }
      return false;
    };
    auto holds = [&](char c) {
      return begin != end && std::memchr(begin, c, size_t(end - begin)) != nullptr;
    };
    const bool changes = carry.TextBlock > 0 ? true
                         : carry.InBrace     ? holds('}') || (carry.NestComments && holds('{'))
                         : carry.InParenStar
                             ? holdsPair('*', ')')
                             : holds('{') || holdsPair('(', '*') || holdsPair('\'', '\'');
    if (!changes) return false;
  }
  LineLexer lexer(text, carry);
  if (!code) {
    for (LexedWord w; lexer.Next(w);) {
    }
    return lexer.InLineComment();
  }
  // Written through a pointer: each word takes at most its bytes and a
  // blank, so twice the text is always room enough.
  const qsizetype before = code->size();
  code->resize(before + 2 * text.size() + 1);
  char *to = code->data() + before;
  for (LexedWord w; lexer.Next(w);) {
    if (w.Lex != Lexeme::Code && w.Lex != Lexeme::String) continue;
    // A text block's line ("procedure Fake;" in the text) is no code: an
    // empty string stands for it.
    if (w.Lex == Lexeme::String && w.Size > 0 && text[w.Offset] != '\'' && text[w.Offset] != '#') {
      *to++ = '\'';
      *to++ = '\'';
      *to++ = ' ';
      continue;
    }
    std::memcpy(to, text.data() + w.Offset, size_t(w.Size));
    to += w.Size;
    *to++ = ' ';
  }
  code->truncate(to - code->data());
  return lexer.InLineComment();
}

}  // namespace scrivane
