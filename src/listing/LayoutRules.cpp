#include "listing/LayoutRules.h"

#include <algorithm>

#include "print/PageCanvas.h"
#include "project/RoutineHeaders.h"

namespace scrivane {

int DepthTable::Get(int depth) const {
  depth = std::max(depth, 0);
  if (levels_ * kBits < 31 && depth >= (1 << (levels_ * kBits))) return 0;
  const Node *node = root_.get();
  for (int level = levels_ - 1; node && level > 0; --level) {
    const size_t index = size_t(depth >> (level * kBits)) & (kWidth - 1);
    node = index < node->children.size() ? node->children[index].get() : nullptr;
  }
  return node ? node->values[size_t(depth & (kWidth - 1))] : 0;
}

void DepthTable::Set(int depth, int x) {
  depth = std::max(depth, 0);
  // Writing what is there already must not copy a shared node.
  if (Get(depth) == x) return;
  while (levels_ * kBits < 31 && depth >= (1 << (levels_ * kBits))) {
    auto top = std::make_shared<Node>();
    top->children.push_back(std::move(root_));
    root_ = std::move(top);
    ++levels_;
  }
  std::shared_ptr<Node> *slot = &root_;
  for (int level = levels_ - 1;; --level) {
    if (!*slot)
      *slot = std::make_shared<Node>();
    else if (slot->use_count() > 1)
      *slot = std::make_shared<Node>(**slot);
    if (level == 0) break;
    const size_t index = size_t(depth >> (level * kBits)) & (kWidth - 1);
    if ((*slot)->children.size() <= index) (*slot)->children.resize(index + 1);
    slot = &(*slot)->children[index];
  }
  (*slot)->values[size_t(depth & (kWidth - 1))] = x;
  if (x > 0 && depth > highest_) highest_ = depth;
  if (depth == highest_ && x <= 0)
    while (highest_ >= 0 && Get(highest_) <= 0) --highest_;
}

bool DepthTable::SameValues(const Node *a, const Node *b, int level) {
  if (a == b) return true;
  static const Node empty;
  if (!a) a = &empty;
  if (!b) b = &empty;
  if (level == 0) return a->values == b->values;
  const size_t count = std::max(a->children.size(), b->children.size());
  for (size_t i = 0; i < count; ++i) {
    const Node *ca = i < a->children.size() ? a->children[i].get() : nullptr;
    const Node *cb = i < b->children.size() ? b->children[i].get() : nullptr;
    if (!SameValues(ca, cb, level - 1)) return false;
  }
  return true;
}

bool operator==(const DepthTable &a, const DepthTable &b) {
  if (a.highest_ != b.highest_) return false;
  // Trees of different heights: compare depth by depth up to the highest.
  if (a.levels_ != b.levels_) {
    for (int depth = 0; depth <= a.highest_; ++depth)
      if (a.Get(depth) != b.Get(depth)) return false;
    return true;
  }
  return DepthTable::SameValues(a.root_.get(), b.root_.get(), a.levels_ - 1);
}

BlockMark LayoutState::MarkAt(int index) const {
  if (index < 1 || index > BlockCount()) return BlockMark{};
  if (index <= ContinuedCount)
    return BlockMark{size_t(index - 1) < ContinuedX.size() ? ContinuedX[size_t(index - 1)] : 0,
                     ContinuedY, true};
  return PageMarks[size_t(index - ContinuedCount - 1)];
}

void LayoutState::PopMark() {
  if (!PageMarks.empty())
    PageMarks.pop_back();
  else if (ContinuedCount > 0) {
    if (size_t(ContinuedCount) == ContinuedX.size()) ContinuedX.pop_back();
    --ContinuedCount;
  }
}

void LayoutState::ClearMarks() {
  ContinuedCount = 0;
  PageMarks.clear();
  ContinuedX.clear();
}

void LayoutState::ContinueMarks(int y) {
  if (KeepContinuedX) {
    ContinuedX.resize(size_t(ContinuedCount));
    for (const BlockMark &mark : PageMarks) ContinuedX.push_back(mark.x);
  }
  ContinuedCount = BlockCount();
  ContinuedY = y;
  PageMarks.clear();
}

namespace {
constexpr int kMaxHeadingChars = 100;
}  // namespace

QByteArray RoutineNameOfHeading(QByteArrayView trimmedLine) {
  return IndexNameOfHeading(
             trimmedLine.first(std::min<qsizetype>(trimmedLine.size(), kMaxHeadingChars)))
      .trimmed()
      .left(kMaxHeadingChars);
}

// The reader's key: a line keeps what follows its header (directives,
// comments), and a long header is compared whole.
QByteArray DeclarationKeyOfHeading(QByteArrayView trimmedLine) {
  return RoutineKey(RoutineHeaderOfLine(trimmedLine));
}

void DrawBlockMarks(PageCanvas &canvas, LayoutState &state, int currentY, int lineStep,
                    int indentWidth) {
  const int q = int(indentWidth * 0.25);
  const int ym = currentY + int(lineStep * 0.5);
  if (state.BlockOpened) {
    const int x = state.LineX - 3 * q;
    canvas.Pen.color = 0;
    canvas.MoveTo(x, ym);
    canvas.LineTo(x + 2 * q, ym);
    state.PushMark(BlockMark{x, ym, false});
  }
  // An end without an open mark closes a block that was never drawn: no bracket.
  if (state.BlockClosed && state.BlockCount() > 0) {
    const BlockMark mark = state.MarkAt(state.BlockCount());
    const int x = state.LineX - 3 * q;
    const int xs = mark.continued && mark.x <= 0 ? x : mark.x;
    canvas.MoveTo(xs, mark.y);
    canvas.LineTo(x, ym);
    canvas.LineTo(x + 2 * q, ym);
    state.PopMark();
  }
}

void DrawOpenBlocksAtPageEnd(PageCanvas &canvas, LayoutState &state, int currentY, int leftX,
                             int indentWidth) {
  if (state.BlockCount() <= 0 || state.Depth <= 0) return;
  const int q = int(indentWidth * 0.25);
  // Blocks continued from earlier pages sit one indent apart; those past the
  // edge of the sheet would draw nothing visible, however many there are.
  int continued = state.ContinuedCount;
  if (indentWidth <= 0)
    continued = std::min(continued, 1);
  else
    continued = std::min<long long>(
        continued, (static_cast<long long>(canvas.PageWidth) - leftX + 3 * q) / indentWidth + 1);
  const bool keptX = size_t(state.ContinuedCount) == state.ContinuedX.size();
  if (keptX) continued = state.ContinuedCount;
  for (int k = 1; k <= continued; ++k) {
    const int x = keptX ? state.ContinuedX[size_t(k - 1)] : k * indentWidth + leftX - 3 * q;
    if (x <= 0) continue;
    canvas.MoveTo(x, state.ContinuedY);
    canvas.LineTo(x, currentY);
  }
  for (const BlockMark &mark : state.PageMarks) {
    if (mark.x <= 0) continue;
    canvas.MoveTo(mark.x, mark.y);
    canvas.LineTo(mark.x, currentY);
  }
}

}  // namespace scrivane
