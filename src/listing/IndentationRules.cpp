// The indentation rules: what each code word does to the layout of its
// line and the lines after it.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "format/FormatSettings.h"
#include "listing/LayoutRules.h"
#include "project/LineTextSet.h"
#include "project/RoutineHeaders.h"

namespace scrivane {

namespace {

// A word compared with literals inline, the length first: the rules
// compare every code word of a listing with dozens of words, and each
// comparison of equal lengths was a call into the library.
struct Word : QByteArrayView {
  Word(QByteArrayView view) : QByteArrayView(view) {}
  template <size_t N>
  bool operator==(const char (&literal)[N]) const {
    return size() == qsizetype(N - 1) && std::memcmp(data(), literal, N - 1) == 0;
  }
  template <size_t N>
  bool startsWith(const char (&literal)[N]) const {
    return size() >= qsizetype(N - 1) && std::memcmp(data(), literal, N - 1) == 0;
  }
  bool startsWith(char c) const { return !isEmpty() && front() == c; }
};

template <size_t... N>
bool IsOneOf(Word word, const char (&...choices)[N]) {
  return ((word == choices) || ...);
}

// Words at index and after it (the sentinel excluded) hold no ";": the
// declaration goes on over the following lines.
bool RestOfLineHasNoSemicolon(const std::vector<LineWord> &words, int index) {
  return !words[size_t(index)].SemicolonFollows;
}

// The lowered words OnCodeWord tests a word for, and every word that may
// start a directive or a routine header: any other word changes no rule
// (while no header awaits its body). Most code words are names, so they
// are told apart before the rules look at the words around them.
bool IsRuleWord(Word lw) {
  if (lw.isEmpty()) return true;
  switch (lw.front()) {
    case '{':
    case '(':
    case '$':
      return true;
    case 'a':
      return lw == "asm";
    case 'b':
      return lw == "begin";
    case 'c':
      return IsOneOf(lw, "case", "class", "const", "constructor", "cppclass");
    case 'd':
      return IsOneOf(lw, "destructor", "dispinterface");
    case 'e':
      return IsOneOf(lw, "else", "end", "end.", "end;", "except");
    case 'f':
      return IsOneOf(lw, "finally", "function", "finalization");
    case 'g':
      return lw == "generic";
    case 'h':
      return lw == "helper";
    case 'i':
      return IsOneOf(lw, "if", "implementation", "inline", "interface", "initialization");
    case 'l':
      return lw == "label" || lw == "library";
    case 'o':
      return lw.startsWith("operator") ||
             IsOneOf(lw, "objccategory", "objcclass", "objcprotocol", "object");
    case 'p':
      return IsOneOf(lw, "procedure", "program", "private", "protected", "public", "published");
    case 's':
      return lw == "strict";
    case 'r':
      return IsOneOf(lw, "record", "repeat", "resourcestring");
    case 't':
      return IsOneOf(lw, "threadvar", "try", "type");
    case 'u':
      return IsOneOf(lw, "unit", "until", "uses");
    case 'v':
      return lw == "var";
    default:
      return false;
  }
}

// What opened a block (LayoutState::Blocks).
enum : int {
  kStatementBlock = 1,
  kRepeatBlock = 2,
  kDeclarationBlock = 3,
  kVariantPart = 4,
  kCaseBlock = 5
};

// A word that leaves its statement open at the end of a line: the next
// line continues it.
bool LeavesStatementOpen(Word last) {
  if (last.isEmpty()) return false;
  switch (last.back()) {
    case ',':
    case '+':
    case '-':
    case '*':
    case '/':
    case '=':
    case '<':
    case '>':
    case '(':
    case '[':
      return true;
    default:
      return IsOneOf(last, "and", "or", "xor", "not", "div", "mod", "in", "is", "as", "shl", "shr");
  }
}

// Brackets a code word opens (less those it closes).
int BracketsOpened(QByteArrayView text) {
  int n = 0;
  for (const char c : text) n += c == '(' || c == '[' ? 1 : c == ')' || c == ']' ? -1 : 0;
  return n;
}

}  // namespace

namespace {

// No code word comes before words[index] on its line.
bool FirstCodeWord(const std::vector<LineWord> &words, int index) {
  for (int k = 0; k < index; ++k)
    if (words[size_t(k)].Lex == Lexeme::Code || words[size_t(k)].Lex == Lexeme::String)
      return false;
  return true;
}

// The code words from words[index] on, one blank between; filled only when
// that word (lowered: lw) can start a header, so that other lines cost
// nothing.
const QByteArray &CodeFrom(const std::vector<LineWord> &words, int index, Word lw,
                           QByteArray *code) {
  code->clear();
  const bool headerWord = lw == "procedure" || lw == "function" || lw == "constructor" ||
                          lw == "destructor" || lw == "class" || lw == "generic" ||
                          lw.startsWith("operator");
  if (!headerWord) return *code;
  for (size_t k = size_t(index); k < words.size(); ++k) {
    if (words[k].Lex != Lexeme::Code && words[k].Lex != Lexeme::String) continue;
    if (words[k].Text == kSentinelWord) break;
    *code += words[k].Text;
    *code += ' ';
  }
  return *code;
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

// Whether text, its ASCII letters lowered, holds lowerPattern at at.
bool FoldedAt(QByteArrayView text, qsizetype at, QByteArrayView lowerPattern) {
  if (at + lowerPattern.size() > text.size()) return false;
  for (qsizetype k = 0; k < lowerPattern.size(); ++k)
    if (FoldAscii(text[at + k]) != lowerPattern[k]) return false;
  return true;
}

bool ContainsFolded(QByteArrayView text, QByteArrayView lowerPattern) {
  for (qsizetype at = 0; at + lowerPattern.size() <= text.size(); ++at)
    if (FoldedAt(text, at, lowerPattern)) return true;
  return false;
}

// A header with no body after it: external, forward, or a library call.
// The line is read as if lowered with a blank before it, without making
// that text: this runs on every header line.
bool IsBodiless(QByteArrayView line) {
  for (const QByteArrayView word :
       {QByteArrayView(" external"), QByteArrayView(" forward;"), QByteArrayView(" syscall ")})
    if (FoldedAt(line, 0, word.sliced(1)) || ContainsFolded(line, word)) return true;
  return ContainsFolded(line, "[external");
}

}  // namespace

IndentationRules::IndentationRules(LayoutState &state, const LayoutContext &context)
    : s_(state), c_(context) {}

void IndentationRules::OpenStatementBlock(int kind) {
  s_.BlockOpened = kind != kVariantPart;
  int shift = s_.Shift.Get(s_.Depth);
  s_.Depth += 1;
  s_.Blocks.Set(s_.Depth, kind);
  // A block that is a governed line's body ("then" / "case ... of") opens
  // where that body stands, and its lines keep to the right of it.
  if (bodyLine_) shift = std::max(shift, bodyX_ - (s_.Depth * c_.IndentWidth + c_.LeftX));
  s_.Shift.Set(s_.Depth, shift);
  s_.BodyReturn.Set(s_.Depth, s_.BodyActive ? s_.BodyReturnX : 0);
  s_.BodyActive = false;
  s_.LineX = BlockColumn();
  s_.NextLineX = s_.LineX + c_.IndentWidth;
}

int IndentationRules::BlockColumn() const {
  return s_.Depth * c_.IndentWidth + c_.LeftX + s_.Shift.Get(s_.Depth);
}

// The innermost block has ended: what it was opened inside goes on.
void IndentationRules::LeaveDepth() {
  if (s_.Depth <= 0) return;
  const int returnX = s_.BodyReturn.Get(s_.Depth);
  s_.BodyActive = returnX > 0;
  if (returnX > 0) s_.BodyReturnX = returnX;
  s_.BodyReturn.Set(s_.Depth, 0);
  s_.Shift.Set(s_.Depth, 0);
  s_.Blocks.Set(s_.Depth, 0);
  s_.Depth -= 1;
}

bool IndentationRules::InStatements() const {
  const int innermost = s_.Depth > 0 ? s_.Blocks.Get(s_.Depth) : 0;
  return innermost == kStatementBlock || innermost == kRepeatBlock || innermost == kCaseBlock;
}

void IndentationRules::StartOfLine(const std::vector<LineWord> &words, int index,
                                   QByteArrayView lowerWord) {
  started_ = true;
  const Word lw = lowerWord;
  // An anonymous method's header that starts a line inside a statement
  // ("TThread.Queue(nil," / "procedure"): it and its block stand at the
  // statement's column.
  if (IsOneOf(lw, "procedure", "function") && s_.Continues && InStatements()) {
    s_.AnonymousX = s_.StatementX;
    s_.Continues = false;
    s_.Brackets = 0;
    s_.LineX = s_.StatementX;
  }
  // A word that only starts a statement or a section: whatever the line
  // before left open (a bracket the source never closes) ends there.
  // ("var" and "const" inside a parameter list are the parameters'.)
  if (IsOneOf(lw, "begin", "end", "end;", "end.", "until", "else", "except", "finally", "type",
              "var", "const", "implementation", "interface", "initialization", "finalization",
              "uses", "procedure", "function", "constructor", "destructor") &&
      !(s_.Brackets > 0 && IsOneOf(lw, "var", "const"))) {
    if (s_.Continues) s_.LineX = s_.StatementNextX;
    s_.Continues = false;
    s_.Brackets = 0;
  }
  // A line that starts with "then", "do", "of" or a logical operator goes
  // on with the statement of the line before ("if (a)" / "then begin"):
  // one step in where its author put it so, at the statement's column
  // where the author keeps "and" under "if".
  if (!s_.Continues && s_.CodeSeen && !s_.BodyPending && c_.AuthorIndented &&
      IsOneOf(lw, "then", "do", "of", "and", "or", "xor")) {
    s_.Continues = true;
    s_.StatementX = s_.StatementNextX = s_.LineX;
    s_.LineX += c_.IndentWidth;
  }
  bodyLine_ = s_.BodyPending;
  bodyX_ = s_.LineX;
  // "begin" stays on the column of the line that governs it, unless its
  // author put it one step in.
  if (bodyLine_ && lw == "begin" && !c_.AuthorIndented) s_.LineX = bodyX_ = s_.BodyBaseX;
  // So do those of a declaration's header (an interface's, or an external
  // routine's): one step in from it, and back after them.
  if (!s_.AwaitingBody && s_.AfterHeaderLine &&
      IsOneOf(lw, "cdecl;", "cdecl", "stdcall;", "stdcall", "register;", "pascal;", "safecall;",
              "external", "overload;", "inline;", "forward;", "assembler;", "export;", "varargs;",
              "mwpascal;", "far;", "deprecated;", "platform;", "nostackframe;", "virtual;",
              "override;", "public", "alias", "syscall")) {
    s_.NextLineX = s_.LineX;
    s_.LineX += c_.IndentWidth;
    directiveLine_ = true;
  }
  if (lw == "property") s_.InProperty = true;
  lineStartsHeader_ =
      IsOneOf(lw, "procedure", "function", "constructor", "destructor", "operator") ||
      (lw == "class" && s_.Brackets <= 0);
  // A header's directives on a line of their own continue it.
  if (s_.AwaitingBody && s_.HeaderX > 0 &&
      IsOneOf(lw, "cdecl;", "cdecl", "stdcall;", "stdcall", "register;", "pascal;", "safecall;",
              "external", "overload;", "inline;", "forward;", "assembler;", "export;", "varargs;",
              "mwpascal;", "far;", "deprecated;", "platform;", "nostackframe;", "virtual;",
              "override;", "public", "alias", "syscall")) {
    s_.LineX = s_.HeaderX + c_.IndentWidth;
    s_.NextLineX = s_.HeaderNextX;
  }
  (void)words;
  (void)index;
}

void IndentationRules::EndOfLine(const std::vector<LineWord> &words, int index) {
  int k = index - 1;
  while (k >= 0 &&
         ((words[size_t(k)].Lex != Lexeme::Code && words[size_t(k)].Lex != Lexeme::String) ||
          words[size_t(k)].Text.isEmpty()))
    --k;
  // A line of comments or directives alone changes nothing.
  if (k < 0 || !started_) return;
  const int I = c_.IndentWidth;
  const Word last =
      words[size_t(k)].Lex == Lexeme::String ? QByteArrayView("'") : LoweredAt(words, k);
  s_.AfterHeaderLine = (lineStartsHeader_ || directiveLine_) && last.endsWith(';');
  // A property's "read", "write" and "default" on lines of their own go on with it.
  const bool propertyGoesOn = s_.InProperty && !last.endsWith(';');
  if (last.endsWith(';')) s_.InProperty = false;
  const int lineX = s_.LineX > 0 ? s_.LineX : c_.LeftX;
  const int rulesNext = s_.NextLineX > 0 ? s_.NextLineX : lineX;
  s_.BodyPending = false;
  if (s_.Brackets < 0) s_.Brackets = 0;
  // The labels of one case branch over several lines stand one under another.
  if (last.endsWith(',') && s_.Brackets <= 0 && !s_.BodyActive && s_.Depth > 0 &&
      s_.Blocks.Get(s_.Depth) == kCaseBlock) {
    if (!s_.Continues) {
      s_.Continues = true;
      s_.StatementX = lineX;
      s_.StatementNextX = rulesNext;
    }
    s_.NextLineX = s_.StatementX;
    return;
  }
  if (s_.Brackets > 0 || LeavesStatementOpen(last) || propertyGoesOn) {
    if (!s_.Continues) {
      s_.Continues = true;
      s_.StatementX = lineX;
      s_.StatementNextX = rulesNext;
    }
    s_.NextLineX = s_.StatementX + I;
    // "TTask.Run(procedure": the body on the lines after it stands at the
    // statement's column.
    if (anonymousOnLine_) s_.AnonymousX = s_.StatementX;
    return;
  }
  int base = lineX;
  int next = rulesNext;
  if (s_.Continues) {
    s_.Continues = false;
    base = s_.StatementX;
    next = s_.StatementNextX;
  }
  const bool caseLabel = last == ":" && s_.Depth > 0 && s_.Blocks.Get(s_.Depth) == kCaseBlock;
  if (!caseElse_ && (IsOneOf(last, "then", "else", "do") || caseLabel)) {
    if (!s_.BodyActive) {
      s_.BodyActive = true;
      s_.BodyReturnX = base;
    }
    s_.BodyPending = true;
    s_.BodyBaseX = base;
    s_.NextLineX = base + I;
    return;
  }
  // The statements of a case's "else" stand as a label's body does.
  if (caseElse_ && last == "else") {
    s_.NextLineX = lineX + I;
    // A "begin" after it stands as after a label: under it, or one step
    // in where its author put it so.
    s_.BodyPending = true;
    s_.BodyBaseX = lineX;
    return;
  }
  if (last.endsWith(';')) {
    // No "else" follows a ";": the "if"s of this level are done.
    s_.IfX.Set(s_.Depth, 0);
    if (s_.BodyActive) {
      s_.BodyActive = false;
      s_.NextLineX = s_.BodyReturnX;
      return;
    }
  }
  s_.NextLineX = next;
}

void IndentationRules::OpenDeclarationBlock() {
  const int lineX = s_.LineX;
  OpenStatementBlock(kDeclarationBlock);
  // The type stands where its line does, its "end" under it: a type in a
  // class's "type" section, or under a "type" its author put one step in,
  // stood back on the section word's column.
  if (lineX > BlockColumn()) {
    s_.Shift.Set(s_.Depth, s_.Shift.Get(s_.Depth) + lineX - BlockColumn());
    s_.LineX = BlockColumn();
    s_.NextLineX = s_.LineX + c_.IndentWidth;
  }
  s_.InDeclaration = 1;
}

// An "end" closes the innermost block, and with a record the variant parts
// ("case" inside it) that have no "end" of their own.
void IndentationRules::CloseBlock() {
  while (s_.Depth > 0 && s_.Blocks.Get(s_.Depth) == kVariantPart) LeaveDepth();
}

void IndentationRules::Directive(QByteArrayView name) {
  auto is = [&](const char *word) { return name == QByteArrayView(word); };
  if (is("if") || is("ifdef") || is("ifndef") || is("ifopt")) {
    if (s_.Branches.size() < 64)
      s_.Branches.push_back({s_.Depth, s_.RoutineDepth, s_.InDeclaration, s_.BlockCount(), s_.LineX,
                             s_.AwaitingBody, s_.Blocks});
  } else if ((is("else") || is("elseif")) && !s_.Branches.empty()) {
    const LayoutState::Branch &b = s_.Branches.back();
    // A first branch that opened a block ("if a then begin"): the second
    // starts where the first did, not inside its block.
    if (s_.Depth > b.Depth && b.LineX > 0) s_.LineX = s_.NextLineX = b.LineX;
    s_.Depth = b.Depth;
    // Alternatives of a header's directives ("{$IFDEF A} external 'a';
    // {$ELSE} cdecl; external 'b'; {$ENDIF}"): when the first found the
    // header bodiless, so are the others.
    const bool foundBodiless =
        b.AwaitingBody && !s_.AwaitingBody && s_.RoutineDepth == b.RoutineDepth - 1;
    if (!foundBodiless) {
      s_.RoutineDepth = b.RoutineDepth;
      s_.AwaitingBody = b.AwaitingBody;
    }
    s_.InDeclaration = b.InDeclaration;
    s_.Blocks = b.Blocks;
    while (s_.BlockCount() > b.BlockCount) s_.PopMark();
  } else if ((is("endif") || is("ifend")) && !s_.Branches.empty()) {
    s_.Branches.pop_back();
  }
}

void IndentationRules::RoutineHeading(std::vector<LineWord> &words, int index, QByteArrayView lw,
                                      QByteArrayView header, const RoutineHeaderParts &parts,
                                      QByteArrayView trimmedLine) {
  const int L = c_.LeftX;
  const int I = c_.IndentWidth;
  // The name is the code word after the kind words ("class function Name").
  int nameWord = index;
  for (int kindWords = parts.valid ? int(parts.kind.count(' ')) + 1 : 1;
       nameWord < int(words.size()); ++nameWord)
    if (words[size_t(nameWord)].Lex == Lexeme::Code && kindWords-- == 0) break;
  if (c_.Settings && c_.Settings->Bold == 1 && int(words.size()) > nameWord + 1)
    words[size_t(nameWord)].Kind = TokenClass::ProcName;
  s_.LineX = L + I;
  // The reader's heading lines are the routines it listed; only without
  // them do the declarations decide (a nested function may share a
  // method's header).
  const bool declared = c_.RoutineHeadingLines
                            ? c_.RoutineHeadingLines->contains(trimmedLine)
                            : c_.DeclaredRoutines && c_.DeclaredRoutines->contains(
                                                         DeclarationKeyOfHeading(trimmedLine));
  if (declared) {
    if (s_.Depth != 0 || s_.RoutineDepth != 0) s_.HeadingsInsideBlocks += 1;
    s_.BlankBefore = true;
    s_.LineX = L;
    s_.NextLineX = L;
    s_.Depth = 0;
    s_.ClearMarks();
    s_.RoutineDepth = 0;
    s_.IfX.Clear();
    s_.TryX.Clear();
    s_.Blocks.Clear();
  }
  if (declared || s_.RoutineDepth == 0) {
    s_.Shift.Clear();
    s_.BodyReturn.Clear();
    s_.BodyActive = s_.BodyPending = s_.Continues = false;
    s_.Brackets = 0;
  }
  const bool outsideRoutine = s_.RoutineDepth == 0;
  // A forward or external declaration has no body to end it.
  const bool bodyFollows = !IsBodiless(trimmedLine);
  // The index and the bookmarks hold the routines at the outer level: a
  // nested routine or a forward header is none of its own.
  if (c_.OnRoutineHeading && (declared || outsideRoutine) && bodyFollows)
    c_.OnRoutineHeading(RoutineNameOfHeading(header), parts.valid ? parts.kind : lw.toByteArray());
  struct Remember {
    LayoutState &s;
    ~Remember() {
      s.HeaderX = s.LineX;
      s.HeaderNextX = s.NextLineX > 0 ? s.NextLineX : s.LineX;
    }
  } remember{s_};
  if (bodyFollows) s_.RoutineDepth += 1;
  s_.AwaitingBody = bodyFollows;
  s_.HeaderParens = 0;
  if (!declared && outsideRoutine) {
    s_.BlankBefore = true;
    s_.LineX = L;
    s_.NextLineX = L;
    s_.Depth = 0;
    s_.ClearMarks();
    s_.Blocks.Clear();
  }
}

QByteArrayView IndentationRules::LoweredAt(const std::vector<LineWord> &words, int index) {
  Lowered &slot = lowered_[size_t(index) & 3];
  if (slot.index != index) {
    static constexpr auto kLower = [] {
      std::array<char, 256> table{};
      for (int c = 0; c < 256; ++c)
        table[size_t(c)] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
      return table;
    }();
    auto lower = [](char c) { return kLower[static_cast<unsigned char>(c)]; };
    const QByteArray &text = words[size_t(index)].Text;
    const char *from = text.constData();
    if (text.size() <= qsizetype(sizeof slot.buffer)) {
      for (qsizetype i = 0; i < text.size(); ++i) slot.buffer[i] = lower(from[i]);
      slot.view = QByteArrayView(slot.buffer, text.size());
    } else {
      slot.longer = QByteArray(text.constData(), text.size());
      for (char &c : slot.longer) c = lower(c);
      slot.view = slot.longer;
    }
    slot.index = index;
  }
  return slot.view;
}

void IndentationRules::OnCodeWord(std::vector<LineWord> &words, int index,
                                  QByteArrayView trimmedLine) {
  // Words are classed in order; an index not past the last one means the
  // window of words was cut back, and the lowered words are of other words.
  if (index <= lastIndex_)
    for (Lowered &slot : lowered_) slot.index = -1;
  lastIndex_ = index;
  // Lowered without allocating: this runs on every code word of a unit.
  Word lw = LoweredAt(words, index);
  // An anonymous method's "end" that goes on with the call it is an
  // argument of ("end, 3);", "end);" as its author wrote it) ends its block.
  if (index == 0 && lw.size() > 3 && lw.startsWith("end") && lw[3] != '.')
    if (const QByteArrayView rest = lw.sliced(3); std::all_of(rest.begin(), rest.end(), [](char c) {
          return c == ',' || c == ')' || c == ']' || c == ';';
        }))
      lw = rest.back() == ';' ? Word("end;") : Word("end");
  const LineWord &word = words[size_t(index)];
  if (word.Lex == Lexeme::Code) {
    const QByteArray &text = word.Text;
    if (text.size() == 3 && text[0] == '`' &&
        std::memcmp(text.constData(), kSentinelWord, 3) == 0) {
      EndOfLine(words, index);
      s_.CodeSeen = s_.CodeSeen || started_;
      return;
    }
    // An empty line is one empty word: no code.
    if (!started_ && !text.isEmpty()) StartOfLine(words, index, lw);
    // Names, most code words, hold no bracket but a closing "]" ("b]").
    const char front = text.isEmpty() ? 'a' : text.front();
    if (!((front >= 'a' && front <= 'z') || (front >= 'A' && front <= 'Z') || front == '_') ||
        text.back() == ']')
      s_.Brackets += BracketsOpened(text);
  }
  if (!s_.AwaitingBody && !IsRuleWord(lw)) {
    // What the rules below do for such a word, and no more.
    if (s_.InImplementation) s_.InTypeSection = false;
    if (c_.SelectedOnly) {
      s_.InDeclaration = 0;
      s_.InImplementation = true;
    }
    return;
  }
  // The rules in the order they apply to a word: each may change what the
  // next one sees.
  WordAround w;
  w.lower = lw;
  w.prev = index >= 1 ? LoweredAt(words, index - 1) : QByteArrayView();
  w.prev2 = index >= 2 ? LoweredAt(words, index - 2) : QByteArrayView();
  w.next = index + 2 < int(words.size()) ? LoweredAt(words, index + 1) : QByteArrayView();
  w.first = index == 0;
  if (DirectiveWord(w)) return;
  if (!w.first && IsOneOf(lw, "procedure", "function") && InStatements() &&
      IsOneOf(w.prev, "(", ",", ":=", "["))
    anonymousOnLine_ = true;
  SectionWord(w);
  RoutineHeaderWord(words, index, w, trimmedLine);
  DeclarationColumn(w);
  BlockOpeningWord(words, index, w);
  if (w.first) BlockEndWord(w);
}

// A compiler directive: one word ("{$ELSE}") or "{" then "$ELSE". True
// when the word was one.
bool IndentationRules::DirectiveWord(const WordAround &w) {
  const Word lw = w.lower, prev = w.prev;
  QByteArrayView directive;
  if (lw.startsWith("{$"))
    directive = lw.sliced(2);
  else if (lw.startsWith("(*$"))
    directive = lw.sliced(3);
  else if (lw.startsWith('$') && (prev == "{" || prev == "(*"))
    directive = lw.sliced(1);
  if (directive.isEmpty()) return false;
  qsizetype end = 0;
  while (end < directive.size() && std::isalpha(static_cast<unsigned char>(directive[end]))) ++end;
  Directive(directive.first(end));
  return true;
}

// Section words, and what the section says of the words after them.
void IndentationRules::SectionWord(const WordAround &w) {
  const Word lw = w.lower;
  const bool first = w.first;
  const int L = c_.LeftX;
  const int I = c_.IndentWidth;
  // Inside a class or record, "type", "const" and "var" start sections of
  // its members ("private const X = 1; type T = ...;"): they stand where
  // its members stand, their declarations one step in, and the methods and
  // properties after them stand as members again.
  if (first && s_.Depth > 0 && s_.Blocks.Get(s_.Depth) == kDeclarationBlock) {
    if (IsOneOf(lw, "type", "const", "var")) {
      s_.LineX = BlockColumn() + I;
      s_.NextLineX = s_.LineX + I;
      return;
    }
    if (IsOneOf(lw, "procedure", "function", "constructor", "destructor", "property", "class",
                "operator") &&
        !s_.Continues)
      s_.LineX = s_.NextLineX = BlockColumn() + I;
  }
  if (first) {
    if (lw == "type") {
      s_.InTypeSection = true;
      s_.LineX = L;
      s_.NextLineX = L + I;
      s_.BlankBefore = true;
    }
    if (IsOneOf(lw, "unit", "uses", "end.")) {
      s_.LineX = L;
      s_.NextLineX = L + I;
      s_.BlankBefore = true;
    }
    // A unit's sections may stand one step in from "interface" and
    // "implementation", as their author put them.
    if (IsOneOf(lw, "interface", "implementation")) s_.SectionsIndented = false;
    const bool unitLevel = s_.RoutineDepth == 0 && s_.Depth == 0 && s_.Brackets <= 0;
    if (unitLevel && IsOneOf(lw, "uses", "type", "const", "var", "resourcestring", "threadvar") &&
        c_.AuthorIndented)
      s_.SectionsIndented = true;
    if (IsOneOf(lw, "uses", "type") && unitLevel && s_.SectionsIndented) {
      s_.LineX = L + I;
      s_.NextLineX = L + 2 * I;
    }
    if (IsOneOf(lw, "implementation", "interface")) {
      s_.LineX = L;
      s_.NextLineX = L;
      s_.BlankBefore = true;
    }
    if (IsOneOf(lw, "initialization", "finalization")) {
      s_.LineX = L;
      s_.NextLineX = L + I;
      s_.BlankBefore = true;
    }
    if (IsOneOf(lw, "const", "var") && !s_.InImplementation && s_.Brackets <= 0) {
      s_.LineX = L;
      s_.NextLineX = L;
      s_.BlankBefore = true;
    }
    // A program has no interface part: its routines are laid out as an
    // implementation part's are. It may start with its uses clause.
    if (IsOneOf(lw, "implementation", "program", "library") || (lw == "uses" && !s_.CodeSeen))
      s_.InImplementation = true;
    if (lw == "interface") s_.InImplementation = false;
  }
  if (s_.InImplementation) s_.InTypeSection = false;
  if (c_.SelectedOnly) {
    s_.InDeclaration = 0;
    s_.InImplementation = true;
  }
}

// A routine's header: where one starts, whether a body follows it, and
// the heading the index takes of it.
void IndentationRules::RoutineHeaderWord(std::vector<LineWord> &words, int index,
                                         const WordAround &w, QByteArrayView trimmedLine) {
  const Word lw = w.lower, next = w.next;
  const bool first = w.first;
  // The first code word of the line, after any comment or directive.
  const bool firstCode = first || FirstCodeWord(words, index);
  QByteArray codeLine;
  QByteArrayView header = trimmedLine;
  bool startsHeader = false;
  std::optional<RoutineHeaderParts> parts;
  if (firstCode && !s_.AfterUnitEnd &&
      RoutineKindLength(CodeFrom(words, index, lw, &codeLine)) > 0) {
    header = codeLine;
    // "procedure begin ... end" inside a statement is an anonymous method.
    // Split once for the line: the tests below and the heading take its parts.
    parts = SplitRoutineHeader(header);
    startsHeader = s_.Depth == 0 || parts->valid;
  }
  if (firstCode && lw == "end.") s_.AfterUnitEnd = true;  // the compiler reads no further

  if (firstCode && s_.AwaitingBody) {
    // The rest of a header over several lines, or its directives on lines
    // of their own, may end in "external" or "forward": then no body comes.
    // So does an old inline routine, its machine code in "inline ( ... );".
    if ((IsBodiless(trimmedLine) || (lw == "inline" && next == "(")) && s_.RoutineDepth > 0) {
      s_.RoutineDepth -= 1;
      s_.AwaitingBody = false;
    } else if (startsHeader) {
      s_.AwaitingBody = false;
    } else if (s_.HeaderParens == 0 && IsOneOf(lw, "begin", "var", "const", "type", "label", "asm",
                                               "threadvar", "resourcestring")) {
      s_.AwaitingBody = false;
    }
  }
  // A method cannot stand inside another routine: the headers before it
  // that look open had no body here (bodiless, or {$IFDEF} alternatives
  // of one header, one of them a method and one a nested routine).
  if (startsHeader && s_.Depth == 0 && s_.RoutineDepth > 0 && !parts->qualifier.isEmpty()) {
    s_.RoutineDepth = 0;
    s_.AwaitingBody = false;
  }
  if (s_.AwaitingBody)
    for (const char c : lw)
      s_.HeaderParens += c == '(' ? 1 : c == ')' && s_.HeaderParens > 0 ? -1 : 0;
  if (startsHeader && s_.InImplementation && s_.InDeclaration == 0)
    RoutineHeading(words, index, lw, header, *parts, trimmedLine);
}

// The column of a "var" or "const" section.
void IndentationRules::DeclarationColumn(const WordAround &w) {
  const Word lw = w.lower;
  const bool first = w.first;
  const int L = c_.LeftX;
  const int I = c_.IndentWidth;
  // Inside statements, "var X := 1;" and "const C = 2;" are statements
  // (Delphi's inline declarations), not a section at the routine's level.
  const int innermost = s_.Depth > 0 ? s_.Blocks.Get(s_.Depth) : 0;
  const bool inStatements =
      innermost == kStatementBlock || innermost == kRepeatBlock || innermost == kCaseBlock;
  // "var" alone on its line there starts an anonymous method's section:
  // its declarations stand one step in.
  if (first && inStatements && w.next.isEmpty() && IsOneOf(lw, "var", "const", "type"))
    s_.NextLineX = s_.LineX + I;
  if (first && s_.InDeclaration == 0 && s_.Brackets <= 0 && !inStatements &&
      IsOneOf(lw, "var", "const")) {
    // A nested routine's declarations stand at its own header's level.
    s_.LineX = s_.RoutineDepth > 1 ? L + I : L;
    // Its author may put a routine's declarations one step in from it.
    if (c_.AuthorIndented ? (s_.RoutineDepth > 0 || s_.Depth == 0)
                          : (s_.SectionsIndented && s_.RoutineDepth == 0))
      s_.LineX += I;
    s_.NextLineX = s_.LineX + I;
  }
}

// Words that open a block (a type's body, a statement block, "repeat",
// "try") or stand at the column of one ("else", "except", a visibility).
void IndentationRules::BlockOpeningWord(const std::vector<LineWord> &words, int index,
                                        const WordAround &w) {
  const Word lw = w.lower, prev = w.prev, prev2 = w.prev2, next = w.next;
  const bool first = w.first;
  const bool afterQuote = prev == "'";
  const int I = c_.IndentWidth;
  // Declaration blocks: every record, and a class, object or interface
  // type whose body follows ("= class;" and "= class of" have none).
  const bool typeBody = (IsOneOf(lw, "class", "object", "interface", "dispinterface", "objcclass",
                                 "objcprotocol", "objccategory", "cppclass") &&
                         (prev == "=" || (prev == "packed" && prev2 == "="))) ||
                        (lw == "helper" && prev == "type" && prev2 == "=");
  if ((typeBody && next != "of" && RestOfLineHasNoSemicolon(words, index)) || lw == "record")
    OpenDeclarationBlock();

  // A visibility section of a class stands at the class's own column, its
  // members one step in.
  if (first && s_.Depth > 0 && s_.Blocks.Get(s_.Depth) == kDeclarationBlock &&
      IsOneOf(lw, "private", "protected", "public", "published", "strict")) {
    s_.LineX = BlockColumn();
    s_.NextLineX = s_.LineX + I;
  }

  // Statement blocks; a "case" inside a record is its variant part.
  const int innermost = s_.Depth > 0 ? s_.Blocks.Get(s_.Depth) : 0;
  const bool inRecord = innermost == kDeclarationBlock || innermost == kVariantPart;
  if (first && lw == "case" && inRecord) {
    OpenStatementBlock(kVariantPart);
  } else {
    // A nested routine's "begin" may stand one step in from its header, as
    // its author put it (Free Pascal's own style).
    const bool nestedBodyIn = first && IsOneOf(lw, "begin", "asm") && s_.Depth == 0 &&
                              s_.RoutineDepth > 1 && c_.AuthorIndented;
    if (first && IsOneOf(lw, "begin", "case", "asm"))
      OpenStatementBlock(lw == "case" ? kCaseBlock : kStatementBlock);
    if (first && lw == "begin" && s_.AnonymousX > 0) {
      if (s_.AnonymousX > BlockColumn()) {
        s_.Shift.Set(s_.Depth, s_.Shift.Get(s_.Depth) + s_.AnonymousX - BlockColumn());
        s_.LineX = BlockColumn();
        s_.NextLineX = s_.LineX + I;
      }
      s_.AnonymousX = 0;
    }
    if (nestedBodyIn && s_.Depth == 1) {
      s_.Shift.Set(1, std::max(s_.Shift.Get(1), I));
      s_.LineX = BlockColumn();
      s_.NextLineX = s_.LineX + I;
    }
    if (IsOneOf(lw, "begin", "case") && (IsOneOf(prev, "do", "then", "else") || prev == ":")) {
      OpenStatementBlock(lw == "case" ? kCaseBlock : kStatementBlock);
      if (lw == "case" && !s_.CaseMode) s_.CaseMode = true;
      if (s_.CaseMode && prev == ":") s_.CaseX = s_.LineX;
    }
  }

  if (lw == "if" && !afterQuote) s_.IfX.Set(s_.Depth, s_.LineX);
  if (lw == "else" && !afterQuote) {
    // An "if" of this level takes it; with none, inside a case statement,
    // it is the case's own "else" and stands with its labels.
    if (const int x = s_.IfX.Get(s_.Depth); x > 0) {
      s_.LineX = x;
    } else if (s_.Depth > 0 && s_.Blocks.Get(s_.Depth) == kCaseBlock) {
      s_.LineX = BlockColumn() + I;
      caseElse_ = true;
    } else if (const int highest = s_.IfX.HighestSet(); highest > 0) {
      s_.LineX = highest;
    }
    s_.CaseMode = false;
  }
  if (lw == "repeat" && !afterQuote) {
    OpenStatementBlock(kRepeatBlock);
    s_.TryX.Set(s_.Depth, s_.LineX);
  }
  if (lw == "try" && !afterQuote) {
    OpenStatementBlock(kStatementBlock);
    s_.TryX.Set(s_.Depth, s_.LineX);
  }
  if (IsOneOf(lw, "except", "finally") && !afterQuote) {
    if (const int x = s_.TryX.HighestSet(); x > 0) {
      s_.LineX = x;
      s_.NextLineX = x + I;
    }
  }
}

// Block ends: a line's first word only.
void IndentationRules::BlockEndWord(const WordAround &w) {
  const Word lw = w.lower;
  const int L = c_.LeftX;
  const int I = c_.IndentWidth;
  // A type may end in "end deprecated;", "end {comment};" or, inside a
  // variant part, "end);": whatever follows its "end", the type ends there.
  if ((lw == "end;" || lw == "end") && s_.InTypeSection) {
    CloseBlock();
    s_.BlockClosed = true;
    s_.LineX = BlockColumn();
    LeaveDepth();
    if (s_.Depth == 0) {
      s_.InDeclaration = 0;
      // The declarations after a type go on at the level of those before it.
      s_.NextLineX = L + I;
    }
  }
  const bool statementEnd = IsOneOf(lw, "end", "end;") && !s_.InTypeSection;
  // "until" ends the innermost "repeat"; one that finds no "repeat" open
  // (a stray word) changes nothing.
  const bool repeatEnd = lw == "until" && s_.Depth > 0 && s_.Blocks.Get(s_.Depth) == kRepeatBlock;
  if (statementEnd || repeatEnd) {
    if (statementEnd) CloseBlock();
    // The end of a local type is not the end of its routine.
    const bool closesStatement = s_.Depth == 0 || s_.Blocks.Get(s_.Depth) != kDeclarationBlock;
    s_.BlockClosed = true;
    s_.LineX = BlockColumn();
    s_.TryX.Set(s_.Depth, 0);
    s_.IfX.Set(s_.Depth, 0);
    s_.NextLineX = s_.LineX;
    LeaveDepth();
    if (s_.Depth == 0) {
      if (statementEnd && closesStatement && s_.RoutineDepth > 0) s_.RoutineDepth -= 1;
      s_.InDeclaration = 0;
      // A local type's declarations go on at their level.
      s_.NextLineX = closesStatement ? L : L + I;
    }
  }
  // The final "end." closes the main block (and whatever the source left
  // open), its bracket ending on the "end." row.
  if (lw == "end." && s_.Depth > 0) {
    while (s_.Depth > 1) LeaveDepth();
    s_.BlockClosed = true;
    s_.BlankBefore = false;
    s_.LineX = BlockColumn();
    LeaveDepth();
    while (s_.BlockCount() > 1) s_.PopMark();
  }
}

}  // namespace scrivane
