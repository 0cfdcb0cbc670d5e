#include "listing/RowWriter.h"

#include <cstring>

#include "listing/ListingJob.h"
#include "print/PageCanvas.h"

namespace scrivane {

namespace {
// Words up to this long are summed whole; WidthUpTo's first prefix.
constexpr qsizetype kSummedWord = 64;
}  // namespace

int WidthUpTo(PageCanvas &canvas, QByteArrayView text, int limit) {
  // Widths of prefixes only grow, so a prefix past the limit settles it.
  for (qsizetype k = kSummedWord;; k *= 2) {
    if (k >= text.size()) return canvas.TextWidth(text);
    const int width = canvas.TextWidth(text.first(k));
    if (width > limit) return width;
  }
}

RowWriter::RowWriter(PageCursor &cursor, int rowStartX, std::function<void()> onNewRow)
    : X(rowStartX), cursor_(cursor), rowStartX_(rowStartX), onNewRow_(std::move(onNewRow)) {}

bool RowWriter::NewRow() {
  if (StopAtFoot && !cursor_.NextRowFits()) return false;
  X = rowStartX_;
  cursor_.NextRow();
  if (onNewRow_) onNewRow_();
  return true;
}

QByteArrayView RowWriter::WithBlank(QByteArrayView word) {
  // Most words fit the fixed buffer: a string assigned and grown by its
  // blank checked its room twice for every word drawn.
  if (word.size() < qsizetype(sizeof shortWithBlank_)) {
    std::memcpy(shortWithBlank_, word.data(), size_t(word.size()));
    shortWithBlank_[word.size()] = ' ';
    return QByteArrayView(shortWithBlank_, word.size() + 1);
  }
  withBlank_.assign(word.data(), size_t(word.size()));
  withBlank_ += ' ';
  return QByteArrayView(withBlank_.data(), qsizetype(withBlank_.size()));
}

bool RowWriter::NextWordOverflows(QByteArrayView nextWord) {
  PageCanvas &canvas = cursor_.Canvas;
  const int room = cursor_.Geometry.RightX - X;
  return WidthUpTo(canvas, WithBlank(nextWord), room) > room;
}

bool RowWriter::Overflows64(long long width64) const {
  return PageCanvas::Round64(width64) > cursor_.Geometry.RightX - X;
}

qsizetype RowWriter::DrawWholeOrBroken(QByteArrayView word, bool blankAfter) {
  PageCanvas &canvas = cursor_.Canvas;
  // A new row draws its line number in another font: the word's comes back
  // after it. Copied only then: most words fit their row.
  auto newRow = [&] {
    const FontSpec font = canvas.Font;
    if (!NewRow()) return false;
    canvas.SetFont(font);
    return true;
  };
  const int rightX = cursor_.Geometry.RightX;
  QByteArrayView rest = word;
  LastWholeX = -1;
  for (;;) {
    const int available = rightX - X;
    const int freshRow = rightX - rowStartX_;
    // Most words are short and summed once, for the row and for X; a long
    // one is measured by prefixes, as far as the row needs.
    long long rest64 = 0, blank64 = 0;
    const bool summed = rest.size() <= kSummedWord && canvas.TextWidth64(rest, &rest64);
    const int restWidth = summed ? PageCanvas::Round64(rest64)
                                 : WidthUpTo(canvas, rest, std::max(available, freshRow));
    if (restWidth <= available || rest.isEmpty()) {
      const QByteArrayView text = blankAfter ? WithBlank(rest) : rest;
      if (rest.size() == word.size()) LastWholeX = X;
      canvas.TextOut(X, cursor_.Y, text);
      if (summed && (!blankAfter || canvas.BlankWidth64(&blank64))) {
        X += PageCanvas::Round64(rest64 + blank64);
      } else {
        const int drawnX = X;
        X += canvas.TextWidth(text);
        // Measured by the measurer (shaped beyond ASCII): a page of text is
        // told the width rather than measure it again. A summed width is
        // as quickly summed again where it is kept.
        if (StructureSink *sink = canvas.Structure()) sink->drawnWidth(X - drawnX);
      }
      return -1;
    }
    if (X > rowStartX_ && restWidth <= freshRow) {
      if (!newRow()) return word.size() - rest.size();
      continue;
    }
    qsizetype take = 0;
    int width = 0;
    while (take < rest.size()) {
      const qsizetype step = CharacterLength(rest, take, canvas.Encoding);
      const int next = width + canvas.TextWidth(rest.sliced(take, step));
      if (next > available) break;
      width = next;
      take += step;
    }
    if (take == 0) {
      if (X > rowStartX_) {
        if (!newRow()) return word.size() - rest.size();
        continue;
      }
      take = CharacterLength(
          rest, 0, canvas.Encoding);  // a row narrower than one character still makes progress
    }
    canvas.TextOut(X, cursor_.Y, rest.first(take));
    rest = rest.sliced(take);
    if (!newRow()) return word.size() - rest.size();
  }
}

}  // namespace scrivane
