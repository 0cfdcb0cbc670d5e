#include "listing/LayoutRules.h"

#include <algorithm>

#include "format/FormatSettings.h"
#include "print/PageCanvas.h"

namespace scrivane {

namespace {

int &GrowingAt(std::vector<int> &table, int index) {
  index = std::max(index, 0);
  if (index >= int(table.size())) table.resize(index + 1, 0);
  return table[index];
}

bool IsOneOf(QByteArrayView word, std::initializer_list<const char *> choices) {
  for (const char *choice : choices)
    if (word == QByteArrayView(choice)) return true;
  return false;
}

// Words at index and after it (the sentinel excluded) hold no ";": the
// declaration goes on over the following lines.
bool RestOfLineHasNoSemicolon(const std::vector<LineWord> &words, int index) {
  for (int k = index; k + 1 < int(words.size()); ++k)
    if (words[k].Text.contains(';')) return false;
  return true;
}

constexpr int kMaxHeadingChars = 100;

}  // namespace

int &LayoutState::IfAt(int depth) { return GrowingAt(IfX, depth); }
int &LayoutState::TryAt(int depth) { return GrowingAt(TryX, depth); }

BlockMark &LayoutState::MarkAt(int index) {
  index = std::max(index, 0);
  if (index >= int(BlockMarks.size())) BlockMarks.resize(index + 1);
  return BlockMarks[index];
}

int LayoutState::HighestSet(const std::vector<int> &table) {
  for (int k = int(table.size()) - 1; k >= 0; --k)
    if (table[k] > 0) return table[k];
  return 0;
}

QByteArray RoutineNameOfHeading(QByteArrayView trimmedLine) {
  const QByteArray line = trimmedLine.first(std::min<qsizetype>(trimmedLine.size(), kMaxHeadingChars)).toByteArray();
  const int blank = int(line.indexOf(' '));
  QByteArray name;
  for (int k = blank + 1; k < line.size(); ++k) {
    const char c = line[k];
    if (c == '(' || c == ':' || c == ';') break;
    name += c;
  }
  const int dot = int(name.indexOf('.'));
  if (dot >= 0) name = name.mid(dot + 1).trimmed() + " (" + name.left(dot).trimmed() + ")";
  return name.trimmed().left(kMaxHeadingChars);
}

QByteArray DeclarationKeyOfHeading(QByteArrayView trimmedLine) {
  QByteArray h = trimmedLine.toByteArray().trimmed().toLower().left(kMaxHeadingChars);
  const int dot = int(h.indexOf('.'));
  if (dot >= 0) h = h.left(h.indexOf(' ') + 1) + h.mid(dot + 1);
  return h;
}

IndentationRules::IndentationRules(LayoutState &state, const LayoutContext &context)
    : s_(state), c_(context) {}

void IndentationRules::OpenStatementBlock() {
  s_.BlockOpened = true;
  s_.Depth += 1;
  s_.LineX = s_.Depth * c_.IndentWidth + c_.LeftX;
  s_.NextLineX = s_.LineX + c_.IndentWidth;
}

void IndentationRules::OpenDeclarationBlock() {
  OpenStatementBlock();
  s_.InDeclaration = 1;
}

void IndentationRules::RoutineHeading(std::vector<LineWord> &words, QByteArrayView lw,
                                      QByteArrayView trimmedLine) {
  const int L = c_.LeftX;
  const int I = c_.IndentWidth;
  if (c_.Settings && c_.Settings->Bold == 1 && words.size() > 1) words[1].Kind = TokenClass::ProcName;
  if (c_.OnRoutineHeading) c_.OnRoutineHeading(RoutineNameOfHeading(trimmedLine), lw.toByteArray());

  s_.LineX = L + I;
  const bool declared =
      c_.DeclaredRoutines && c_.DeclaredRoutines->contains(DeclarationKeyOfHeading(trimmedLine));
  if (declared) {
    s_.BlankBefore = true;
    s_.LineX = L;
    s_.NextLineX = L;
    s_.Depth = 0;
    s_.BlockCount = 0;
    s_.RoutineDepth = 0;
    std::fill(s_.IfX.begin(), s_.IfX.end(), 0);
    std::fill(s_.TryX.begin(), s_.TryX.end(), 0);
  }
  const bool outsideRoutine = s_.RoutineDepth == 0;
  s_.RoutineDepth += 1;
  if (!declared && outsideRoutine) {
    s_.BlankBefore = true;
    s_.LineX = L;
    s_.NextLineX = L;
    s_.Depth = 0;
    s_.BlockCount = 0;
  }
}

void IndentationRules::OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine) {
  const int L = c_.LeftX;
  const int I = c_.IndentWidth;
  const QByteArray lw = words[index].Text.toLower();
  const QByteArray prev = index >= 1 ? words[index - 1].Text : QByteArray();
  const QByteArray prev2 = index >= 2 ? words[index - 2].Text : QByteArray();
  const bool first = index == 0;
  const bool afterQuote = prev == "'";

  // Section words.
  if (first) {
    if (lw == "type") {
      s_.InTypeSection = true;
      s_.LineX = L;
      s_.NextLineX = L + I;
      s_.BlankBefore = true;
    }
    if (IsOneOf(lw, {"unit", "uses", "end."})) {
      s_.LineX = L;
      s_.NextLineX = L + I;
      s_.BlankBefore = true;
    }
    if (IsOneOf(lw, {"implementation", "interface"})) {
      s_.LineX = L;
      s_.NextLineX = L;
      s_.BlankBefore = true;
    }
    if (IsOneOf(lw, {"const", "var"}) && !s_.InImplementation) {
      s_.LineX = L;
      s_.NextLineX = L;
      s_.BlankBefore = true;
    }
    if (lw == "implementation") s_.InImplementation = true;
    if (lw == "interface") s_.InImplementation = false;
  }
  if (s_.InImplementation) s_.InTypeSection = false;
  if (c_.SelectedOnly) {
    s_.InDeclaration = 0;
    s_.InImplementation = true;
  }

  if (first && s_.InImplementation && s_.InDeclaration == 0 &&
      IsOneOf(lw, {"procedure", "function", "constructor", "destructor"}))
    RoutineHeading(words, lw, trimmedLine);

  if (first && s_.InDeclaration == 0 && IsOneOf(lw, {"var", "const"})) {
    s_.LineX = L;
    s_.NextLineX = L + I;
  }

  // Declaration blocks: a class, record or object whose body follows.
  const bool declarationOpens = (lw == "class" && prev == "=") || (lw == "record" && prev == "=") ||
                                (lw == "record" && prev == "packed" && prev2 == "=") ||
                                (lw == "object" && prev == "=");
  if (declarationOpens && RestOfLineHasNoSemicolon(words, index)) OpenDeclarationBlock();

  // Statement blocks.
  if (first && IsOneOf(lw, {"begin", "case", "asm"})) OpenStatementBlock();
  if (IsOneOf(lw, {"begin", "case"}) &&
      (IsOneOf(prev.toLower(), {"do", "then", "else"}) || prev == ":")) {
    OpenStatementBlock();
    if (lw == "case" && !s_.CaseMode) s_.CaseMode = true;
    if (s_.CaseMode && prev == ":") s_.CaseX = s_.LineX;
  }

  if (lw == "if" && !afterQuote) s_.IfAt(s_.Depth) = s_.LineX;
  if (lw == "else" && !afterQuote) {
    if (const int x = LayoutState::HighestSet(s_.IfX); x > 0) s_.LineX = x;
    if (s_.CaseMode) {
      s_.LineX = s_.CaseX;
      s_.CaseMode = false;
    }
  }
  if (lw == "repeat" && !afterQuote) {
    s_.InRepeat = true;
    OpenStatementBlock();
    s_.TryAt(s_.Depth) = s_.LineX;
  }
  if (lw == "try" && !afterQuote) {
    OpenStatementBlock();
    s_.TryAt(s_.Depth) = s_.LineX;
  }
  if (IsOneOf(lw, {"except", "finally"}) && !afterQuote) {
    if (const int x = LayoutState::HighestSet(s_.TryX); x > 0) {
      s_.LineX = x;
      s_.NextLineX = x + I;
    }
  }
  if (lw == "record" && prev == "of") OpenStatementBlock();

  // Block ends.
  if (!first) return;
  if (lw == "end;" && s_.InTypeSection) {
    s_.BlockClosed = true;
    s_.LineX = s_.Depth * I + L;
    if (s_.Depth > 0) s_.Depth -= 1;
    if (s_.Depth == 0) {
      s_.InDeclaration = 0;
      s_.NextLineX = L;
    }
  }
  const bool statementEnd = IsOneOf(lw, {"end", "end;"}) && !s_.InTypeSection;
  const bool repeatEnd = lw == "until" && s_.InRepeat;
  if (statementEnd || repeatEnd) {
    s_.BlockClosed = true;
    if (repeatEnd) s_.InRepeat = false;
    s_.LineX = s_.Depth * I + L;
    s_.TryAt(s_.Depth) = 0;
    s_.IfAt(s_.Depth) = 0;
    s_.NextLineX = s_.LineX;
    if (s_.Depth > 0) s_.Depth -= 1;
    if (s_.Depth == 0) {
      if (statementEnd && s_.RoutineDepth > 0) s_.RoutineDepth -= 1;
      s_.InDeclaration = 0;
      s_.NextLineX = L;
    }
  }
}

void DrawBlockMarks(TSpecialCanvas &canvas, LayoutState &state, int currentY, int lineStep,
                    int indentWidth) {
  const int q = int(indentWidth * 0.25);
  const int ym = currentY + int(lineStep * 0.5);
  if (state.BlockOpened) {
    state.BlockCount += 1;
    const int x = state.LineX - 3 * q;
    canvas.Pen.color = 0;
    canvas.MoveTo(x, ym);
    canvas.LineTo(x + 2 * q, ym);
    state.MarkAt(state.BlockCount) = BlockMark{x, ym, false};
  }
  // An end without an open mark closes a block that was never drawn: no bracket.
  if (state.BlockClosed && state.BlockCount > 0) {
    const BlockMark mark = state.MarkAt(state.BlockCount);
    const int x = state.LineX - 3 * q;
    const int xs = mark.continued ? x : mark.x;
    canvas.MoveTo(xs, mark.y);
    canvas.LineTo(x, ym);
    canvas.LineTo(x + 2 * q, ym);
    state.MarkAt(state.BlockCount) = BlockMark{};
    state.BlockCount -= 1;
  }
}

void DrawOpenBlocksAtPageEnd(TSpecialCanvas &canvas, LayoutState &state, int currentY, int leftX,
                             int indentWidth) {
  if (state.BlockCount <= 0 || state.Depth <= 0) return;
  const int q = int(indentWidth * 0.25);
  for (int k = 1; k <= state.BlockCount; ++k) {
    BlockMark &mark = state.MarkAt(k);
    if (mark.continued) {
      const int x = k * indentWidth + leftX - 3 * q;
      canvas.MoveTo(x, mark.y);
      canvas.LineTo(x, currentY);
    } else if (mark.x > 0) {
      canvas.MoveTo(mark.x, mark.y);
      canvas.LineTo(mark.x, currentY);
      mark = BlockMark{};
    }
  }
}

}  // namespace scrivane
