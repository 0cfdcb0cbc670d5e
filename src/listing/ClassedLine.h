#pragma once
// A listing line cut into words and classed once, then read word by word as
// it is drawn. The line keeps one byte per word (its class), not the words:
// a unit written on one line of 50 MB has millions of words, and a copy of
// each took about fifteen bytes for every byte of the line.
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

#include "listing/Lexer.h"

namespace scrivane {

struct FormatSettings;

class ClassedLine {
 public:
  // Cuts `line` into words and runs ClassifyWord on each in order, as
  // SplitWords and ClassifyLine do, holding only a window of words at a time
  // (the rules look two words back and one ahead). Comments are followed
  // from `state`, which is left at the line's end; the rules get
  // `trimmedLine`. The bytes of `line` must outlive this object and every
  // reader of it (the listing's lines outlive its jobs).
  ClassedLine(QByteArrayView line, QByteArrayView trimmedLine, ScanState &state,
              const FormatSettings &settings, CodeWordRules *rules);
  // The same for another line, keeping the room this one took: a listing
  // classes every line, and allocating afresh for each was a cost of its own.
  void Reclass(QByteArrayView line, QByteArrayView trimmedLine, ScanState &state,
               const FormatSettings &settings, CodeWordRules *rules);

  // The number of words, the sentinel left out.
  qsizetype Size() const { return qsizetype(classes_.size()) - 1; }
  // The first word as it is drawn; empty when it is longer than any word
  // the listing compares it with.
  QByteArrayView FirstWord() const { return QByteArrayView(firstWord_, firstWordSize_); }
  // Where the lexer stands before the first word.
  LineLexer::Place Start() const { return start_; }

 private:
  friend class ClassedWordReader;
  QByteArrayView words_;  // the part of the line the lexer cuts
  qsizetype lastSemicolon_ = -1;
  LineLexer::Place start_;
  // Per word: its TokenClass, and kRecased when the reserved-word case
  // option changed its text.
  std::vector<unsigned char> classes_;
  int reserveCase_ = 0;
  // Longer than "implementation", "@@@@@" and "end;", the words the listing
  // compares a line's first word with.
  static constexpr qsizetype kFirstWordKept = 64;
  char firstWord_[kFirstWordKept] = {};
  qsizetype firstWordSize_ = 0;
  // The words as they were cut, each with the lexer's place before it, and
  // the place after the last: kept for a line of a few thousand words, so
  // that drawing reads them instead of cutting the line a second time.
  struct Cut {
    LexedWord word;
    LineLexer::Place place;
  };
  std::vector<Cut> cut_;
  LineLexer::Place endPlace_;
  bool cutKept_ = true;
};

// The words of a ClassedLine in order from one of them on, as ClassifyLine
// left them, the sentinel last. Words are cut afresh; their texts point into
// the line unless the case option changed them.
class ClassedWordReader {
 public:
  // From word `index`, whose lexer place is `place` (Start() for word 0).
  ClassedWordReader(const ClassedLine &line, qsizetype index, const LineLexer::Place &place);
  ClassedWordReader(const ClassedWordReader &) = delete;
  ClassedWordReader &operator=(const ClassedWordReader &) = delete;
  ~ClassedWordReader();

  // The word `ahead` words after the current one; the sentinel at and past
  // the end of the line. The reference holds until the reader is next used.
  const LineWord &Peek(size_t ahead = 0);
  // The index and the lexer place of that word, to read on from it later.
  qsizetype IndexAhead(size_t ahead = 0) const { return index_ + qsizetype(ahead); }
  LineLexer::Place PlaceAhead(size_t ahead = 0);
  bool AtEnd() const { return index_ >= line_.Size(); }
  qsizetype LineSize() const { return line_.Size(); }
  void Advance();

 private:
  struct Entry {
    LineWord word;
    LineLexer::Place place;
  };
  void Fill(size_t count);
  // Readers come and go with every line drawn: their buffers are kept for
  // the next one on the same thread.
  static std::vector<Entry> TakeBuffer();
  const ClassedLine &line_;
  CommentCarry carry_;
  LineLexer lexer_;
  qsizetype index_;
  // The current word (at head_) and those peeked after it. A vector read
  // from head_, not a deque: a deque allocates on construction, and a
  // reader is made for every line drawn.
  std::vector<Entry> ahead_;
  size_t head_ = 0;
};

}  // namespace scrivane
