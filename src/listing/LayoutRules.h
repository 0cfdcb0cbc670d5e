#pragma once
// Indentation and block diagram of the unit listing. The source's own
// indentation is thrown away by the reader; these keyword rules decide, word
// by word, where a line and the lines after it start, how deep blocks nest,
// where routines begin, and where the gutter bracket of a block opens and
// closes. All x values are device units of the page canvas.
#include <QByteArray>
#include <QList>
#include <functional>
#include <vector>

#include "listing/Lexer.h"

namespace scrivane {

struct FormatSettings;
class TSpecialCanvas;

// One open block of the diagram. A block opened on an earlier page is marked
// by the flag rather than by a magic x value, so no real x can be taken for it.
struct BlockMark {
  int x = 0;
  int y = 0;
  bool continued = false;
  friend bool operator==(const BlockMark &, const BlockMark &) = default;
};

// Everything the rules carry from word to word, line to line and page to
// page. The per-depth tables grow with the nesting, so no depth overruns them.
struct LayoutState {
  int LineX = 0;      // 0: not set yet
  int NextLineX = 0;  // 0: same as LineX
  int Depth = 0;
  bool InTypeSection = false;
  bool InImplementation = false;
  int InDeclaration = 0;
  bool InRepeat = false;
  int RoutineDepth = 0;
  bool BlankBefore = false;
  bool BlockOpened = false;
  bool BlockClosed = false;
  bool CaseMode = false;
  int CaseX = 0;
  std::vector<int> IfX;              // by depth
  std::vector<int> TryX;             // by depth
  std::vector<BlockMark> BlockMarks;  // entries 1..BlockCount are open blocks
  int BlockCount = 0;

  int &IfAt(int depth);
  int &TryAt(int depth);
  BlockMark &MarkAt(int index);
  // x of the entry of the highest depth that is set; 0 when none is.
  static int HighestSet(const std::vector<int> &table);
  friend bool operator==(const LayoutState &, const LayoutState &) = default;
};

// What the rules need to know about the listing and the page.
struct LayoutContext {
  int LeftX = 0;        // L
  int IndentWidth = 0;  // I
  bool SelectedOnly = false;
  const FormatSettings *Settings = nullptr;
  const QList<QByteArray> *DeclaredRoutines = nullptr;
  // Called for each routine heading with its name and lower-case keyword.
  std::function<void(const QByteArray &name, const QByteArray &kind)> OnRoutineHeading;
};

// The fourteen keyword rules, run by the lexer on every code word.
class IndentationRules : public CodeWordRules {
 public:
  IndentationRules(LayoutState &state, const LayoutContext &context);
  void OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView trimmedLine) override;

 private:
  void OpenStatementBlock();
  void OpenDeclarationBlock();
  void RoutineHeading(std::vector<LineWord> &words, QByteArrayView lowerWord, QByteArrayView trimmedLine);
  LayoutState &s_;
  const LayoutContext &c_;
};

// The routine name as the index shows it: "Method (TClass)" for a method.
QByteArray RoutineNameOfHeading(QByteArrayView trimmedLine);
// The heading as the interface part declares it: lower case, class qualifier dropped.
QByteArray DeclarationKeyOfHeading(QByteArrayView trimmedLine);

// The diagram for one line, after its words are scanned; currentY is the top
// of the line's row.
void DrawBlockMarks(TSpecialCanvas &canvas, LayoutState &state, int currentY, int lineStep,
                    int indentWidth);
// At the foot of a page: the lines of blocks still open run down to currentY.
void DrawOpenBlocksAtPageEnd(TSpecialCanvas &canvas, LayoutState &state, int currentY, int leftX,
                             int indentWidth);

}  // namespace scrivane
