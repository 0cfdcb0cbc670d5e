#include "project/LineList.h"

#include <algorithm>
#include <cstring>

namespace scrivane {

namespace {
// Blocks grow with the list up to this size; small files stay small.
constexpr qsizetype kLargestBlock = qsizetype(4) << 20;
}  // namespace

char *LineList::Blocks::take(qsizetype size) {
  if (size > free) {
    const qsizetype blockSize = std::max(size, nextSize);
    nextSize = std::min(nextSize * 2, kLargestBlock);
    // Not zeroed: every byte is written before a line shows it, and zeroing
    // touched the whole of a large block at once.
    blocks.push_back(std::make_unique_for_overwrite<char[]>(size_t(blockSize)));
    cursor = blocks.back().get();
    free = blockSize;
  }
  char *at = cursor;
  cursor += size;
  free -= size;
  return at;
}

LineList::LineList(const QList<QByteArray> &lines) {
  for (const QByteArray &line : lines) append(line);
}

LineList::LineList(std::initializer_list<QByteArrayView> lines) {
  for (QByteArrayView line : lines) append(line);
}

void LineList::noteFile(int file) {
  if (files_.isEmpty() && file == 0) return;
  if (files_.isEmpty()) files_.fill(0, spans_.size());
  files_.append(quint16(file));
}

void LineList::markFile(qsizetype from, int index) {
  if (index == 0 || from >= spans_.size()) return;
  if (files_.isEmpty()) files_.fill(0, spans_.size());
  for (qsizetype i = from; i < files_.size(); ++i)
    if (files_[i] == 0) files_[i] = quint16(index);
}

quint64 LineList::store(QByteArrayView text, qsizetype blanks) {
  static const char kEmpty[1] = "";
  const qsizetype size = text.size() + blanks;
  if (size == 0) return PackShort(kEmpty, 0);
  if (!blocks_) blocks_ = std::make_shared<Blocks>();
  const bool isLong = size >= qsizetype(kLongLine);
  char *at = blocks_->take(size + (isLong ? qsizetype(sizeof size) : 0));
  if (isLong) {
    std::memcpy(at, &size, sizeof size);
    at += sizeof size;
  }
  if (!text.isEmpty()) std::memcpy(at, text.data(), size_t(text.size()));
  if (blanks > 0) std::memset(at + text.size(), ' ', size_t(blanks));
  return isLong ? PackShort(at, 0) | kLongLine : PackShort(at, size);
}

void LineList::numberLines() {
  if (!numberedInOrder_) return;
  numberedInOrder_ = false;
  fileLines_.resize(spans_.size());
  for (qsizetype i = 0; i < fileLines_.size(); ++i) fileLines_[i] = int(i + 1);
}

void LineList::append(QByteArrayView line, int fileLine, int file) {
  noteFile(file);
  appendFileLine(fileLine);
  spans_.append(store(line));
}

void LineList::appendWithBlanks(QByteArrayView text, qsizetype blanks, int fileLine) {
  if (text.isEmpty() && blanks == 0) return append(text, fileLine);
  noteFile(0);
  appendFileLine(fileLine);
  spans_.append(store(text, blanks));
}

void LineList::setLine(qsizetype at, QByteArrayView text, int fileLine, int file) {
  if (!numberedInOrder_ || fileLine != at + 1) {
    numberLines();
    fileLines_[at] = fileLine;
  }
  if (files_.isEmpty() && file != 0) files_.fill(0, spans_.size());
  if (!files_.isEmpty()) files_[at] = quint16(file);
  spans_[at] = store(text);
}

void LineList::appendLineOf(const LineList &other, qsizetype i) {
  if (!blocks_ && spans_.isEmpty()) blocks_ = other.blocks_;
  if (other.blocks_ == blocks_ || other[i].isEmpty()) {
    noteFile(other.fileIndex(i));
    appendFileLine(other.rawFileLine(i));
    spans_.append(other.spans_[i]);
  } else {
    append(other[i], other.rawFileLine(i), other.fileIndex(i));
  }
}

void LineList::appendTextOf(const LineList &other, qsizetype i) {
  if (!blocks_ && spans_.isEmpty()) blocks_ = other.blocks_;
  const int next = int(spans_.size() + 1);
  if (other.blocks_ == blocks_ || other[i].isEmpty()) {
    noteFile(0);
    appendFileLine(next);
    spans_.append(other.spans_[i]);
  } else {
    append(other[i], next);
  }
}

void LineList::clear() {
  spans_.clear();
  fileLines_.clear();
  numberedInOrder_ = true;
  files_.clear();
  blocks_.reset();
}

void LineList::adopt(LineList &&other, int fileLineOffset) {
  if (other.blocks_) {
    if (!blocks_) blocks_ = std::make_shared<Blocks>();
    // The other list's bytes stay where they are: its blocks become ours,
    // behind the one we write into.
    if (other.blocks_ != blocks_) {
      std::vector<std::unique_ptr<char[]>> &mine = blocks_->blocks;
      std::vector<std::unique_ptr<char[]>> &theirs = other.blocks_->blocks;
      mine.insert(mine.begin(), std::make_move_iterator(theirs.begin()),
                  std::make_move_iterator(theirs.end()));
      theirs.clear();
    }
  }
  if (spans_.isEmpty()) {
    // The first part read: its lists become ours. Appended, they were
    // copied while the originals lived, 20 MiB for a million lines.
    if (other.numberedInOrder_ && fileLineOffset != 0) other.numberLines();
    spans_ = std::move(other.spans_);
    fileLines_ = std::move(other.fileLines_);
    numberedInOrder_ = other.numberedInOrder_;
    files_ = std::move(other.files_);
    if (fileLineOffset != 0)
      for (int &line : fileLines_)
        line = line > 0 ? line + fileLineOffset : line < 0 ? line - fileLineOffset : 0;
    other = LineList();
    return;
  }
  if (!files_.isEmpty() || !other.files_.isEmpty()) {
    if (files_.isEmpty()) files_.fill(0, spans_.size());
    if (other.files_.isEmpty())
      files_.resize(files_.size() + other.spans_.size(), 0);
    else
      files_.append(other.files_);
  }
  // The second half of a file read in two, each numbered in order, goes on
  // in order.
  if (!numberedInOrder_ || !other.numberedInOrder_ || fileLineOffset != spans_.size()) {
    numberLines();
    other.numberLines();
    fileLines_.reserve(fileLines_.size() + other.fileLines_.size());
    for (const int line : other.fileLines_)
      fileLines_.append(line > 0 ? line + fileLineOffset : line < 0 ? line - fileLineOffset : 0);
  }
  spans_.append(other.spans_);
  other = LineList();
}

LineList LineList::emptySharingBlocks() const {
  LineList list;
  list.blocks_ = blocks_ ? blocks_ : std::make_shared<Blocks>();
  return list;
}

QList<QByteArray> LineList::toList() const {
  QList<QByteArray> lines;
  lines.reserve(spans_.size());
  for (QByteArrayView line : *this) lines.append(line.toByteArray());
  return lines;
}

QByteArray LineList::join(QByteArrayView separator) const {
  QByteArray joined;
  for (qsizetype i = 0; i < spans_.size(); ++i) {
    if (i > 0) joined += separator;
    joined += (*this)[i];
  }
  return joined;
}

bool operator==(const LineList &a, const LineList &b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace scrivane
