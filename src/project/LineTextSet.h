#pragma once
// A set of texts that are lines of a LineList, without their surrounding
// blanks: the lines where routines start. Held as QSet<QByteArray>, a unit
// of 200,000 routines kept a byte array and a hash node per heading, 16 MB
// at the peak of its print; here a text is the line's span, sharing the
// source lines' blocks, and a slot of an open-addressed table, about 20
// bytes. The bytes of those blocks never change, so a text stays what it
// was when inserted even after the source list drops or rewrites the line.
#include <QByteArrayView>
#include <cstdint>
#include <vector>

#include "project/LineList.h"

namespace scrivane {

class LineTextSet {
 public:
  // Adds line i of lines, trimmed of blanks, unless an equal text is in.
  void insertLineOf(const LineList &lines, qsizetype i);
  bool contains(QByteArrayView text) const;
  qsizetype size() const { return texts_.size(); }
  bool isEmpty() const { return texts_.isEmpty(); }
  // Text number i, in the order inserted.
  QByteArrayView at(qsizetype i) const;
  void clear();

 private:
  // The slot holding text (its number + 1), or the empty slot where it would go.
  std::uint32_t *slotOf(QByteArrayView text, std::size_t hash);
  LineList texts_;
  std::vector<std::uint32_t> slots_;  // 0: empty; a power of two long
};

}  // namespace scrivane
