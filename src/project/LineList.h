#pragma once
// The lines of a unit or form as the reader leaves them. A unit of a
// million lines held as a list of separate byte arrays cost about 90 bytes
// a line before its text; here the bytes of all lines sit in large blocks
// that never move, and a line is a pointer and a length into them, packed
// in 8 bytes (a 16-byte view a line cost 8 MiB more for a million lines).
// Copies of a list share its blocks, so the listing's lines taken
// from the source lines cost only their spans, and a line appended to one
// copy never moves the bytes another copy points at: a line's view stays
// valid as long as any list holding its blocks lives.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

namespace scrivane {

class LineList {
 public:
  LineList() = default;
  // For building lists from literal lines.
  LineList(const QList<QByteArray> &lines);  // NOLINT(google-explicit-constructor)
  LineList(std::initializer_list<QByteArrayView> lines);

  qsizetype size() const { return spans_.size(); }
  bool isEmpty() const { return spans_.isEmpty(); }
  QByteArrayView operator[](qsizetype i) const { return Unpack(spans_[i]); }
  QByteArrayView first() const { return Unpack(spans_.first()); }
  QByteArrayView last() const { return Unpack(spans_.last()); }
  // The line of the file that line i comes from, from 1; 0 for a line
  // appended without a number.
  int fileLine(qsizetype i) const { return std::abs(rawFileLine(i)); }
  // False for a piece the reader split off a file line (a block word moved
  // to a line of its own) and for a line without a number: it starts no
  // line of the file, so it is printed without one.
  bool startsFileLine(qsizetype i) const { return rawFileLine(i) > 0; }
  // Which file line i comes from: 0 for the file read, n for the file its
  // reader numbered n (an include file). A list of one file keeps no table.
  int fileIndex(qsizetype i) const { return files_.isEmpty() ? 0 : files_[i]; }
  bool hasOtherFiles() const { return !files_.isEmpty(); }
  // Lines from `from` on that come from file 0 are said to come from `index`.
  void markFile(qsizetype from, int index);

  // fileLine: the line of the file, negative for a piece split off it.
  void append(QByteArrayView line, int fileLine = 0, int file = 0);
  // Appends text followed by `blanks` blanks as one line.
  void appendWithBlanks(QByteArrayView text, qsizetype blanks, int fileLine);
  LineList &operator<<(QByteArrayView line) {
    append(line);
    return *this;
  }
  // Line i of other: when both lists hold the same blocks only the span is
  // copied.
  void appendLineOf(const LineList &other, qsizetype i);
  // Line i of other as this list's next line in order, numbered as if it
  // were: for a list never asked for file lines (LineTextSet), which then
  // keeps no table of them.
  void appendTextOf(const LineList &other, qsizetype i);
  // Appends every line of other, its bytes taken over without a copy, its
  // file line numbers moved on by fileLineOffset. other must share its
  // blocks with no other list; it is left empty.
  void adopt(LineList &&other, int fileLineOffset);
  void clear();
  void reserve(qsizetype lines) {
    spans_.reserve(lines);
    if (!numberedInOrder_) fileLines_.reserve(lines);
  }
  void removeLast() {
    spans_.removeLast();
    if (!numberedInOrder_) fileLines_.removeLast();
    if (!files_.isEmpty()) files_.removeLast();
  }
  // Keeps the first n lines (n no more than size()).
  void truncate(qsizetype n) {
    spans_.resize(std::min(n, spans_.size()));
    if (!numberedInOrder_) fileLines_.resize(spans_.size());
    if (!files_.isEmpty()) files_.resize(spans_.size());
  }
  // Rewriting a list in place, front to back, into as many lines or fewer:
  // line `to` becomes line `from` (to <= from), or a text of its own. A
  // million-line unit's lines rebuilt into a second list held a second
  // set of spans, 20 MiB, while both lived.
  void moveLine(qsizetype from, qsizetype to) {
    spans_[to] = spans_[from];
    if (from != to) {
      numberLines();
      fileLines_[to] = fileLines_[from];
    }
    if (!files_.isEmpty()) files_[to] = files_[from];
  }
  void setLine(qsizetype at, QByteArrayView text, int fileLine, int file = 0);
  // An empty list that writes into the same blocks as this one, so that
  // lines taken over from this list cost no bytes.
  LineList emptySharingBlocks() const;

  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = QByteArrayView;
    using difference_type = qsizetype;
    using pointer = void;
    using reference = QByteArrayView;
    const_iterator() = default;
    explicit const_iterator(const quint64 *at) : at_(at) {}
    QByteArrayView operator*() const { return Unpack(*at_); }
    QByteArrayView operator[](qsizetype n) const { return Unpack(at_[n]); }
    const_iterator &operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) { return const_iterator(at_++); }
    const_iterator &operator--() {
      --at_;
      return *this;
    }
    const_iterator operator--(int) { return const_iterator(at_--); }
    const_iterator &operator+=(qsizetype n) {
      at_ += n;
      return *this;
    }
    const_iterator &operator-=(qsizetype n) {
      at_ -= n;
      return *this;
    }
    friend const_iterator operator+(const_iterator i, qsizetype n) { return i += n; }
    friend const_iterator operator+(qsizetype n, const_iterator i) { return i += n; }
    friend const_iterator operator-(const_iterator i, qsizetype n) { return i -= n; }
    friend qsizetype operator-(const_iterator a, const_iterator b) { return a.at_ - b.at_; }
    friend auto operator<=>(const_iterator a, const_iterator b) = default;

   private:
    const quint64 *at_ = nullptr;
  };
  const_iterator begin() const { return const_iterator(spans_.constData()); }
  const_iterator end() const { return const_iterator(spans_.constData() + spans_.size()); }

  QList<QByteArray> toList() const;
  // The lines joined with separator, as QList<QByteArray>::join does.
  QByteArray join(QByteArrayView separator = {}) const;
  friend bool operator==(const LineList &a, const LineList &b);

 private:
  struct Blocks {
    std::vector<std::unique_ptr<char[]>> blocks;
    char *cursor = nullptr;  // the unused end of the last block
    qsizetype free = 0;
    qsizetype nextSize = 4096;
    char *take(qsizetype size);
  };
  // A line as 8 bytes: its address shifted up past a 16-bit length. Lines
  // of 65,535 bytes and more are stored after an 8-byte length of their
  // own, and their span holds the mark 0xFFFF. User space addresses have
  // no more than 48 bits on the 64-bit systems we build for.
  static constexpr quint64 kLongLine = 0xFFFF;
  static QByteArrayView Unpack(quint64 span) {
    const auto *at = reinterpret_cast<const char *>(std::uintptr_t(span >> 16));
    qsizetype size = qsizetype(span & kLongLine);
    if (size == qsizetype(kLongLine)) std::memcpy(&size, at - sizeof size, sizeof size);
    return QByteArrayView(at, size);
  }
  static quint64 PackShort(const char *at, qsizetype size) {
    return (quint64(std::uintptr_t(at)) << 16) | quint64(size);
  }
  // Copies text and `blanks` blanks into the blocks: the packed line.
  quint64 store(QByteArrayView text, qsizetype blanks = 0);
  std::shared_ptr<Blocks> blocks_;
  QList<quint64> spans_;
  // Parallel to spans_ (see append), unless numberedInOrder_: then line i
  // is line i + 1 of its file, as every line of a file read without a
  // split is, and no table is kept (4 MB for a million lines).
  QList<int> fileLines_;
  bool numberedInOrder_ = true;
  int rawFileLine(qsizetype i) const { return numberedInOrder_ ? int(i + 1) : fileLines_[i]; }
  // Appends a line's number to the table, or finds it is the next in order.
  void appendFileLine(int fileLine) {
    if (numberedInOrder_ && fileLine == spans_.size() + 1) return;
    numberLines();
    fileLines_.append(fileLine);
  }
  void numberLines();       // makes the table, if there is none
  QList<quint16> files_;    // parallel to spans_ once a line of another file is in; see fileIndex
  void noteFile(int file);  // before a line of `file` is appended
};

}  // namespace scrivane
