#include "project/XrefOutsideClasses.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

namespace scrivane::xref {

namespace {

struct OutsideClassRow {
  std::uint32_t text;
  std::uint16_t size;
  std::uint16_t ancestor;
};
struct OutsideMemberRow {
  std::uint32_t text;
  std::uint16_t size;
  std::uint16_t cls;
  std::uint16_t type;  // a class row; kNoOutsideClass; kAncestorsType
};
// A property raised to a new visibility ("property Font;"): its type is
// its ancestor's.
constexpr std::uint16_t kAncestorsType = 0xFFFE;

#include "project/XrefOutsideClasses.inc"

std::string_view TextOf(std::uint32_t at, std::uint16_t size) { return {kText + at, size}; }

// The table's names are lower case; a book's are as spelt.
int Compare(std::string_view lower, Name name) {
  const size_t n = std::min(lower.size(), name.size());
  for (size_t i = 0; i < n; ++i) {
    const char a = lower[i], b = Name::Fold(name[i]);
    if (a != b) return static_cast<unsigned char>(a) < static_cast<unsigned char>(b) ? -1 : 1;
  }
  return lower.size() < name.size() ? -1 : lower.size() > name.size() ? 1 : 0;
}

}  // namespace

OutsideClass FindOutsideClass(Name name) {
  const auto *end = std::end(kClasses);
  const auto *at = std::lower_bound(std::begin(kClasses), end, name, [](const auto &row, Name n) {
    return Compare(TextOf(row.text, row.size), n) < 0;
  });
  if (at == end || Compare(TextOf(at->text, at->size), name) != 0) return kNoOutsideClass;
  return OutsideClass(at - std::begin(kClasses));
}

bool OutsideClassDerives(OutsideClass cls, OutsideClass ancestor) {
  int guard = 0;
  for (OutsideClass c = cls; c < std::size(kClasses) && guard < 64;
       c = kClasses[c].ancestor, ++guard)
    if (c == ancestor) return true;
  return false;
}

OutsideClass OutsideObjectClass() {
  static const OutsideClass object = FindOutsideClass("tobject");
  return object;
}

namespace {

// The members' names hashed once, on first use: a book asks for every
// name a method of a class derived from the LCL's looks up, and a search
// of the sorted rows cost lclbase.lpk 4 % of its resolving. Each slot
// holds the first row of a name + 1, 0 for a free slot.
class MemberIndex {
 public:
  MemberIndex() {
    size_t names = 0;
    for (size_t r = 0; r < std::size(kMembers); ++r)
      if (r == 0 || !SameName(r - 1, r)) ++names;
    size_t size = 16;
    while (size < 2 * names) size *= 2;
    slots_.assign(size, 0);
    mask_ = size - 1;
    for (size_t r = 0; r < std::size(kMembers); ++r) {
      if (r > 0 && SameName(r - 1, r)) continue;
      size_t i = NameHash{}(Name(NameOf(r))) & mask_;
      while (slots_[i] != 0) i = (i + 1) & mask_;
      slots_[i] = std::uint32_t(r + 1);
    }
  }
  // The first row of the name, or the end.
  size_t Find(Name name) const {
    for (size_t i = NameHash{}(name)&mask_;; i = (i + 1) & mask_) {
      const std::uint32_t slot = slots_[i];
      if (slot == 0) return std::size(kMembers);
      if (Compare(NameOf(slot - 1), name) == 0) return slot - 1;
    }
  }
  static std::string_view NameOf(size_t row) {
    return TextOf(kMembers[row].text, kMembers[row].size);
  }

 private:
  static bool SameName(size_t a, size_t b) { return NameOf(a) == NameOf(b); }
  std::vector<std::uint32_t> slots_;
  size_t mask_ = 0;
};

}  // namespace

bool IsOutsideMember(OutsideClass cls, Name name) {
  if (cls >= std::size(kClasses)) return false;
  static const MemberIndex index;
  for (size_t row = index.Find(name);
       row < std::size(kMembers) && Compare(MemberIndex::NameOf(row), name) == 0; ++row) {
    // A few classes declare the name; is one of them cls or its ancestor?
    int guard = 0;
    for (OutsideClass c = cls; c < std::size(kClasses) && guard < 64;
         c = kClasses[c].ancestor, ++guard)
      if (c == kMembers[row].cls) return true;
  }
  return false;
}

OutsideClass OutsideMemberType(OutsideClass cls, Name name) {
  if (cls >= std::size(kClasses)) return kNoOutsideClass;
  static const MemberIndex index;
  const size_t first = index.Find(name);
  int guard = 0;
  // The nearest class that declares it says what it is.
  for (OutsideClass c = cls; c < std::size(kClasses) && guard < 64;
       c = kClasses[c].ancestor, ++guard) {
    for (size_t row = first;
         row < std::size(kMembers) && Compare(MemberIndex::NameOf(row), name) == 0; ++row) {
      if (kMembers[row].cls != c) continue;
      if (kMembers[row].type != kAncestorsType) return kMembers[row].type;
      break;
    }
  }
  return kNoOutsideClass;
}

}  // namespace scrivane::xref
