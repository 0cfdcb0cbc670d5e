#include "project/TextList.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace scrivane {

namespace {
constexpr quint32 kFirstBlock = 4096;
constexpr quint32 kLargestBlock = quint32(1) << 18;  // what the offset's 18 bits reach
constexpr size_t kMostBlocks = size_t(1) << 14;
}  // namespace

TextList::TextList(const QList<QByteArray> &texts) {
  for (const QByteArray &text : texts) append(text);
}

TextList::TextList(std::initializer_list<QByteArrayView> texts) {
  for (QByteArrayView text : texts) append(text);
}

TextList &TextList::operator=(const TextList &other) {
  if (this == &other) return *this;
  clear();
  texts_.reserve(other.texts_.size());
  for (QByteArrayView text : other) append(text);
  return *this;
}

void TextList::append(QByteArrayView text) {
  const size_t size = size_t(text.size());
  // An offset reaches no further than a block of the largest size: past
  // the end of a text's block of its own, a new block starts.
  if (blocks_.empty() || size > blockSizes_.back() - used_ || used_ >= kLargestBlock) {
    if (blocks_.size() >= kMostBlocks || size > std::numeric_limits<quint32>::max())
      throw std::bad_alloc();
    const quint32 grown =
        std::min(kFirstBlock << std::min<size_t>(blocks_.size(), 6), kLargestBlock);
    const quint32 blockSize = std::max(grown, quint32(size));
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
    blockSizes_.push_back(blockSize);
    used_ = 0;
  }
  if (size) std::memcpy(blocks_.back().get() + used_, text.data(), size);
  texts_.push_back({quint32(blocks_.size() - 1), used_, quint32(size)});
  used_ += quint32(size);
}

void TextList::truncate(qsizetype n) {
  if (n < 0 || n >= size()) return;
  const Text first = texts_[size_t(n)];
  blocks_.resize(first.block + 1);
  blockSizes_.resize(first.block + 1);
  used_ = first.offset;
  texts_.resize(size_t(n));
}

QList<QByteArray> TextList::toList() const {
  QList<QByteArray> texts;
  texts.reserve(size());
  for (QByteArrayView text : *this) texts.append(text.toByteArray());
  return texts;
}

bool operator==(const TextList &a, const TextList &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace scrivane
