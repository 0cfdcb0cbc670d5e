#pragma once
// Indentation and block diagram of the unit listing. The source's own
// indentation is thrown away by the reader; these keyword rules decide, word
// by word, where a line and the lines after it start, how deep blocks nest,
// where routines begin, and where the gutter bracket of a block opens and
// closes. All x values are device units of the page canvas.
#include <QByteArray>
#include <QList>
#include <QSet>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "listing/Lexer.h"

namespace scrivane {

struct FormatSettings;
struct RoutineHeaderParts;
class PageCanvas;
class LineTextSet;

// One open block of the diagram. A block opened on an earlier page is marked
// by the flag rather than by a magic x value, so no real x can be taken for it.
struct BlockMark {
  int x = 0;
  int y = 0;
  bool continued = false;
  friend bool operator==(const BlockMark &, const BlockMark &) = default;
};

// x values by nesting depth (0 for a depth not set). A tree of 32-way
// nodes shared between copies: every page saves a copy for the next, and
// a write after that copies only the nodes on its own path (one node of 32
// values at the usual depths), so the saved states of a long listing cost
// little and a page starts in constant time however deep the nesting is.
class DepthTable {
 public:
  int Get(int depth) const;
  void Set(int depth, int x);
  void Clear() { *this = DepthTable{}; }
  // x of the highest depth that is set; 0 when none is.
  int HighestSet() const { return highest_ < 0 ? 0 : Get(highest_); }
  friend bool operator==(const DepthTable &a, const DepthTable &b);

 private:
  static constexpr int kBits = 5;
  static constexpr int kWidth = 1 << kBits;
  struct Node {
    std::array<int, kWidth> values{};             // a leaf's x values
    std::vector<std::shared_ptr<Node>> children;  // an inner node's, by index
  };
  static bool SameValues(const Node *a, const Node *b, int level);
  std::shared_ptr<Node> root_;
  int levels_ = 1;    // a tree of levels_ levels holds depths below 32^levels_
  int highest_ = -1;  // highest depth with a non-zero x, -1 when none
};

// Everything the rules carry from word to word, line to line and page to
// page.
struct LayoutState {
  int LineX = 0;      // 0: not set yet
  int NextLineX = 0;  // 0: same as LineX
  int Depth = 0;
  bool InTypeSection = false;
  bool InImplementation = false;
  int InDeclaration = 0;
  int RoutineDepth = 0;
  bool BlankBefore = false;
  bool BlockOpened = false;
  bool BlockClosed = false;
  bool CaseMode = false;
  int CaseX = 0;
  DepthTable IfX;
  DepthTable TryX;
  // What opened the block at each depth (BlockKind), so that "until"
  // closes its own "repeat" and a record's "end" its variant part too.
  DepthTable Blocks;
  // Routine headings met while a block was still open: the blocks before
  // them did not pair up (the listing then closes them at the heading).
  int HeadingsInsideBlocks = 0;
  // The block structure where each open {$IF...} began: its {$ELSE}
  // branch starts from there again, so that alternatives which each open
  // a block ("{$IFDEF A} if a then begin {$ELSE} begin {$ENDIF}") count once.
  struct Branch {
    int Depth = 0, RoutineDepth = 0, InDeclaration = 0, BlockCount = 0;
    int LineX = 0;  // where the {$IF...} stood: an {$ELSE} branch starts there again
    bool AwaitingBody = false;
    DepthTable Blocks;
    friend bool operator==(const Branch &, const Branch &) = default;
  };
  std::vector<Branch> Branches;
  // The last routine heading is not yet followed by its body: an
  // "external" or "forward" on the next line means it has none.
  bool AwaitingBody = false;
  // Parentheses of that heading still open: a "var" or "const" inside its
  // parameter list starts no body.
  int HeaderParens = 0;
  // After the unit's final "end.": no more headings.
  bool AfterUnitEnd = false;
  // A line of code came before this one.
  bool CodeSeen = false;
  // The line before was a routine's header, or its directives, ended by ";".
  bool AfterHeaderLine = false;
  // A property's declaration has not ended yet.
  bool InProperty = false;
  // The unit's sections (uses, type, const, var) stand one step in from
  // "interface" and "implementation", as their author put them.
  bool SectionsIndented = false;

  // Where the source governs a line by what came before it: a statement
  // over several lines, and a single statement after "then", "else", "do"
  // or a case label.
  int Brackets = 0;                  // brackets open in the statement at the line's end
  bool Continues = false;            // the statement goes on to the next line
  int StatementX = 0;                // x of its first line
  int StatementNextX = 0;            // x of the line after it, as its first line left it
  int HeaderX = 0, HeaderNextX = 0;  // the last routine heading's x and the x after it
  bool BodyPending = false;          // the next line is the body of the line before
  int BodyBaseX = 0;                 // x of the line that governs it
  // An anonymous method's header was read inside a statement: its "begin"
  // stands at this x, the statement's own; 0 when none waits for its body.
  int AnonymousX = 0;
  bool BodyActive = false;  // a body without "begin" is being laid out
  int BodyReturnX = 0;      // x for the line after its statement ends
  // Per depth: how far right of its usual column a block opened (a block
  // that is the body of a governed line); and the body the block opened
  // inside, to go on with once it ends.
  DepthTable Shift;
  DepthTable BodyReturn;

  // The open blocks of the diagram, 1..BlockCount(), a stack. The lowest
  // ContinuedCount were opened on earlier pages and run on from ContinuedY;
  // only the blocks opened on this page are kept one by one, so a page
  // starts in constant time under any nesting.
  int BlockCount() const { return ContinuedCount + int(PageMarks.size()); }
  BlockMark MarkAt(int index) const;
  void PushMark(const BlockMark &mark) { PageMarks.push_back(mark); }
  void PopMark();
  void ClearMarks();
  // Every open block continues from y (the top of a new page).
  void ContinueMarks(int y);
  int ContinuedCount = 0;
  int ContinuedY = 0;
  std::vector<BlockMark> PageMarks;
  // Where lines stand at the source's own indentation, a block's bracket
  // is where its opening line was, not where its depth puts it: the x of
  // each continued block is then kept (ContinuedX, one per continued block).
  bool KeepContinuedX = false;
  std::vector<int> ContinuedX;

  friend bool operator==(const LayoutState &, const LayoutState &) = default;
};

// What the rules need to know about the listing and the page.
struct LayoutContext {
  int LeftX = 0;        // L
  int IndentWidth = 0;  // I
  bool SelectedOnly = false;
  const FormatSettings *Settings = nullptr;
  const QList<QByteArray> *DeclaredRoutines = nullptr;
  // Lines that start a listed routine (the reader's RoutineHeadingLines).
  const LineTextSet *RoutineHeadingLines = nullptr;
  // The line starts a line of the file that its author indented deeper than
  // the line before.
  bool AuthorIndented = false;
  // Called for each routine heading with its name and lower-case keyword.
  std::function<void(const QByteArray &name, const QByteArray &kind)> OnRoutineHeading;
};

// The fourteen keyword rules, run by the lexer on every code word.
class IndentationRules : public CodeWordRules {
 public:
  IndentationRules(LayoutState &state, const LayoutContext &context);
  void OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine) override;

 private:
  void OpenStatementBlock(int kind);
  // The innermost block holds statements (not a type's declarations).
  bool InStatements() const;
  int BlockColumn() const;
  void LeaveDepth();
  void StartOfLine(const std::vector<LineWord> &words, int index, QByteArrayView lowerWord);
  void EndOfLine(const std::vector<LineWord> &words, int index);
  void OpenDeclarationBlock();
  void CloseBlock();
  void Directive(QByteArrayView name);
  // header: the line from its first code word on; trimmedLine: the whole line.
  void RoutineHeading(std::vector<LineWord> &words, int index, QByteArrayView lowerWord,
                      QByteArrayView header, const RoutineHeaderParts &parts,
                      QByteArrayView trimmedLine);
  // The word at index, lowered; the rules look at each word four times
  // (as itself, as the word after, and as the one and two before), and
  // each is lowered once. The view holds until the word three on is asked.
  QByteArrayView LoweredAt(const std::vector<LineWord> &words, int index);
  bool LoweredCodeWord(int index, QByteArrayView *lowered) const override {
    const Lowered &slot = lowered_[size_t(index) & 3];
    if (slot.index != index) return false;
    *lowered = slot.view;
    return true;
  }
  // A code word, lowered, with the words around it (lowered; empty where
  // there is none), as the rules test it.
  struct WordAround {
    QByteArrayView lower, prev, prev2, next;
    bool first = false;  // the line's first word
  };
  bool DirectiveWord(const WordAround &w);
  void SectionWord(const WordAround &w);
  void RoutineHeaderWord(std::vector<LineWord> &words, int index, const WordAround &w,
                         QByteArrayView trimmedLine);
  void DeclarationColumn(const WordAround &w);
  void BlockOpeningWord(const std::vector<LineWord> &words, int index, const WordAround &w);
  void BlockEndWord(const WordAround &w);
  LayoutState &s_;
  const LayoutContext &c_;
  struct Lowered {
    int index = -1;
    char buffer[32];
    QByteArray longer;
    QByteArrayView view;
  };
  std::array<Lowered, 4> lowered_;
  int lastIndex_ = -1;
  // One rules object lays out one line.
  bool started_ = false;
  bool bodyLine_ = false;  // this line is the first of a governed body
  int bodyX_ = 0;
  bool caseElse_ = false;          // this line holds a case statement's "else"
  bool lineStartsHeader_ = false;  // this line starts a routine's header
  bool directiveLine_ = false;     // this line holds a declaration's directives
  bool anonymousOnLine_ = false;   // an anonymous method's header stands after its start
};

// The routine name as the index shows it: "Method (TOuter.TInner)" for a method.
QByteArray RoutineNameOfHeading(QByteArrayView trimmedLine);
// The heading as the interface part declares it: lower case, class qualifier dropped.
QByteArray DeclarationKeyOfHeading(QByteArrayView trimmedLine);

// The diagram for one line, after its words are scanned; currentY is the top
// of the line's row.
void DrawBlockMarks(PageCanvas &canvas, LayoutState &state, int currentY, int lineStep,
                    int indentWidth);
// At the foot of a page: the lines of blocks still open run down to currentY.
void DrawOpenBlocksAtPageEnd(PageCanvas &canvas, LayoutState &state, int currentY, int leftX,
                             int indentWidth);

}  // namespace scrivane
