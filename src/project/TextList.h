#pragma once
// A list of short byte strings kept for a whole print (the index entries
// of a unit of 50,000 routines): the bytes sit one after another in
// blocks that never move, and a text is eight bytes of record. A
// QList<QByteArray> cost 24 bytes of list and about 40 of header and
// allocation a text, 5.9 MB for such a unit; its list doubled as it grew.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

namespace scrivane {

class TextList {
 public:
  TextList() = default;
  // For building lists from literal texts.
  TextList(const QList<QByteArray> &texts);  // NOLINT(google-explicit-constructor)
  TextList(std::initializer_list<QByteArrayView> texts);
  TextList(const TextList &other) { *this = other; }
  TextList &operator=(const TextList &other);
  TextList(TextList &&) noexcept = default;
  TextList &operator=(TextList &&) noexcept = default;

  qsizetype size() const { return qsizetype(texts_.size()); }
  bool isEmpty() const { return texts_.empty(); }
  QByteArrayView operator[](qsizetype i) const {
    const Text &t = texts_[size_t(i)];
    return QByteArrayView(blocks_[t.block].get() + t.offset, qsizetype(t.size));
  }
  void append(QByteArrayView text);
  TextList &operator<<(QByteArrayView text) {
    append(text);
    return *this;
  }
  // Keeps the first n texts; the bytes of the others are written over by
  // the texts appended next.
  void truncate(qsizetype n);
  void clear() { *this = TextList(); }
  QList<QByteArray> toList() const;
  friend bool operator==(const TextList &a, const TextList &b);

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = QByteArrayView;
    using difference_type = qsizetype;
    using pointer = void;
    using reference = QByteArrayView;
    const_iterator() = default;
    const_iterator(const TextList *list, qsizetype at) : list_(list), at_(at) {}
    QByteArrayView operator*() const { return (*list_)[at_]; }
    const_iterator &operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) { return const_iterator(list_, at_++); }
    friend bool operator==(const_iterator a, const_iterator b) { return a.at_ == b.at_; }

   private:
    const TextList *list_ = nullptr;
    qsizetype at_ = 0;
  };
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }

 private:
  // Blocks grow from 4 KiB (a small unit's index stays small) to 256 KiB;
  // a text larger than that has a block of its own.
  struct Text {
    quint32 block : 14;
    quint32 offset : 18;
    quint32 size;
  };
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<quint32> blockSizes_;
  quint32 used_ = 0;  // of the last block
  std::vector<Text> texts_;
};

}  // namespace scrivane
