#include "project/LineTextSet.h"

#include <QHash>

#include "project/ReaderText.h"

namespace scrivane {

namespace {
std::size_t HashOf(QByteArrayView text) { return qHash(text, 0); }
}  // namespace

QByteArrayView LineTextSet::at(qsizetype i) const { return readertext::Trimmed(texts_[i]); }

std::uint32_t *LineTextSet::slotOf(QByteArrayView text, std::size_t hash) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
    std::uint32_t &slot = slots_[s];
    if (slot == 0 || at(slot - 1) == text) return &slot;
  }
}

bool LineTextSet::contains(QByteArrayView text) const {
  if (slots_.empty()) return false;
  return *const_cast<LineTextSet *>(this)->slotOf(text, HashOf(text)) != 0;
}

void LineTextSet::insertLineOf(const LineList &lines, qsizetype i) {
  const QByteArrayView text = readertext::Trimmed(lines[i]);
  // Kept at most half full, so that a miss ends soon.
  if (std::size_t(texts_.size() + 1) * 2 > slots_.size()) {
    std::vector<std::uint32_t> old(std::max<std::size_t>(16, slots_.size() * 2), 0);
    old.swap(slots_);
    for (std::uint32_t number : old)
      if (number != 0) *slotOf(at(number - 1), HashOf(at(number - 1))) = number;
  }
  std::uint32_t *slot = slotOf(text, HashOf(text));
  if (*slot != 0) return;
  texts_.appendTextOf(lines, i);
  *slot = std::uint32_t(texts_.size());
}

void LineTextSet::clear() {
  texts_.clear();
  slots_ = {};
}

}  // namespace scrivane
