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
  std::uint8_t flags;  // kIndexed, kDefaultProperty
};
constexpr std::uint8_t kIndexed = 1;          // "Items[I]": `type` is an item's
constexpr std::uint8_t kDefaultProperty = 3;  // ... and "List[I]" means it
struct OutsideSetRow {
  std::uint32_t text;
  std::uint16_t size;
};
// A property raised to a new visibility ("property Font;"): its type is
// its ancestor's.
constexpr std::uint16_t kAncestorsType = 0xFFFE;
// A type that is no class: kSimpleTypes[type - kFirstSimpleType].
constexpr std::uint16_t kFirstSimpleType = 0xFF00;

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

namespace {
template <size_t N>
bool Holds(const OutsideSetRow (&rows)[N], Name name) {
  const auto *end = std::end(rows);
  const auto *at = std::lower_bound(std::begin(rows), end, name, [](const auto &row, Name n) {
    return Compare(TextOf(row.text, row.size), n) < 0;
  });
  return at != end && Compare(TextOf(at->text, at->size), name) == 0;
}
}  // namespace

bool IsOutsideSetType(Name name) { return Holds(kSets, name); }

bool IsOutsideArrayType(Name name) { return Holds(kArrays, name); }

OutsideClass FindOutsideClass(Name name) {
  // Asked for every name the book does not declare that a call or a dot
  // follows (IntToStr(...), Inc(...)): hashed once, not searched each time.
  static const NameMap<OutsideClass> classes = [] {
    NameMap<OutsideClass> made;
    made.reserve(std::size(kClasses));
    for (size_t c = 0; c < std::size(kClasses); ++c)
      made.emplace(Name(TextOf(kClasses[c].text, kClasses[c].size)), OutsideClass(c));
    return made;
  }();
  const auto found = classes.find(name);
  return found == classes.end() ? kNoOutsideClass : found->second;
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

const MemberIndex &Members() {
  static const MemberIndex index;
  return index;
}

}  // namespace

bool IsOutsideMember(OutsideClass cls, Name name) {
  if (cls >= std::size(kClasses)) return false;
  const MemberIndex &index = Members();
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

namespace {
// The row of the member so named of the nearest class that declares it
// (past those that only raise an ancestor's property), or the end.
size_t MemberRow(OutsideClass cls, Name name) {
  if (cls >= std::size(kClasses)) return std::size(kMembers);
  const size_t first = Members().Find(name);
  int guard = 0;
  // The nearest class that declares it says what it is.
  for (OutsideClass c = cls; c < std::size(kClasses) && guard < 64;
       c = kClasses[c].ancestor, ++guard) {
    for (size_t row = first;
         row < std::size(kMembers) && Compare(MemberIndex::NameOf(row), name) == 0; ++row) {
      if (kMembers[row].cls != c) continue;
      if (kMembers[row].type != kAncestorsType) return row;
      break;
    }
  }
  return std::size(kMembers);
}

OutsideType TypeOfRow(size_t row, bool indexed) {
  OutsideType t;
  if (row >= std::size(kMembers) || (kMembers[row].flags != 0) != indexed) return t;
  const std::uint16_t type = kMembers[row].type;
  if (type < std::size(kClasses)) {
    t.cls = type;
  } else if (type >= kFirstSimpleType &&
             size_t(type - kFirstSimpleType) < std::size(kSimpleTypes)) {
    t.simple = kSimpleTypes[type - kFirstSimpleType];
  }
  return t;
}
}  // namespace

OutsideClass OutsideMemberType(OutsideClass cls, Name name) {
  return TypeOfRow(MemberRow(cls, name), false).cls;
}

std::string_view OutsideMemberSimpleType(OutsideClass cls, Name name) {
  return TypeOfRow(MemberRow(cls, name), false).simple;
}

OutsideType OutsideItemType(OutsideClass cls, Name name) {
  return TypeOfRow(MemberRow(cls, name), true);
}

OutsideType OutsideDefaultItemType(OutsideClass cls) {
  // Few classes have one: a walk over the rows once, then a lookup.
  static const std::vector<std::uint32_t> defaults = [] {
    std::vector<std::uint32_t> rows(std::size(kClasses), std::uint32_t(std::size(kMembers)));
    for (size_t r = 0; r < std::size(kMembers); ++r)
      if (kMembers[r].flags == kDefaultProperty) rows[kMembers[r].cls] = std::uint32_t(r);
    return rows;
  }();
  int guard = 0;
  for (OutsideClass c = cls; c < std::size(kClasses) && guard < 64;
       c = kClasses[c].ancestor, ++guard)
    if (defaults[c] < std::size(kMembers)) return TypeOfRow(defaults[c], true);
  return {};
}

}  // namespace scrivane::xref
