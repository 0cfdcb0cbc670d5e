#pragma once
// Words written along the rows of a page: a word that does not fit what is
// left of the row goes to the next row, and a word wider than a whole row is
// broken across rows, so that nothing is cut and nothing runs off the paper.
#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <string>

namespace scrivane {

class PageCursor;
class PageCanvas;

// TextWidth(text) when that is at most limit, else some width beyond limit.
// Measures about twice what fits in limit at most, so breaking a huge word
// row by row stays linear in its length.
int WidthUpTo(PageCanvas &canvas, QByteArrayView text, int limit);

class RowWriter {
 public:
  // Rows start at rowStartX (device units); onNewRow runs after the cursor
  // has moved to each new row (the unit listing numbers it there) and may
  // change the canvas font: the writer selects the word's font again.
  RowWriter(PageCursor &cursor, int rowStartX, std::function<void()> onNewRow = {});

  int X = 0;  // where the next word starts
  // Where the last word DrawWholeOrBroken drew stands when it was drawn
  // whole, on the cursor's row; -1 when it was broken across rows.
  int LastWholeX = -1;
  // When set, a new row that does not fit above the foot of the page is not
  // started: NewRow and DrawWholeOrBroken report it, and the caller carries
  // the rest to the next page.
  bool StopAtFoot = false;
  int RowStartX() const { return rowStartX_; }
  void SetRowStartX(int x) { rowStartX_ = x; }

  // Draws word followed by one blank (none with blankAfter false: the next
  // word is glued to it) at X in the canvas font, breaking it across rows
  // when it is wider than what is left of the row. Returns -1 when the word
  // is drawn whole, else (StopAtFoot) the bytes drawn before a row did not fit.
  qsizetype DrawWholeOrBroken(QByteArrayView word, bool blankAfter = true);
  // True when the next word (followed by a blank) would pass the right limit.
  bool NextWordOverflows(QByteArrayView nextWord);
  // The same for a next word already measured, in 1/64 pixel (blank included).
  bool Overflows64(long long width64) const;
  // False (and nothing moves) when StopAtFoot and the row does not fit.
  bool NewRow();

 private:
  // The word and its blank, written into one buffer kept from word to word
  // instead of a fresh copy of each; words shorter than kShortWord into a
  // fixed one.
  static constexpr qsizetype kShortWord = 127;
  QByteArrayView WithBlank(QByteArrayView word);

  PageCursor &cursor_;
  int rowStartX_;
  std::function<void()> onNewRow_;
  char shortWithBlank_[kShortWord + 1];
  std::string withBlank_;
};

}  // namespace scrivane
