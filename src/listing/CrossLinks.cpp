#include "listing/CrossLinks.h"

#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <tuple>

namespace scrivane {

namespace {

// The first of n sorted items that before(i) is false for, looked for from
// `near` on: listings ask for file lines in order, so the answer is mostly
// at or just after the last one.
template <class Before>
size_t FirstFrom(size_t n, size_t near, Before before) {
  near = std::min(near, n);
  size_t low = 0, high = near;
  if (near == 0 || before(near - 1)) {
    // Forward in steps that double, then halve the last step.
    low = near;
    size_t step = 1;
    high = low;
    while (high < n && before(high)) {
      low = high + 1;
      high = std::min(n, high + step);
      step *= 2;
    }
  }
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (before(middle))
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

}  // namespace

CrossLinks::CrossLinks(CrossReferences refs) : refs_(std::move(refs)) {
  for (int i = 0; i < refs_.files.size(); ++i) {
    files_.insert(refs_.files[i], i);
    const QString real = QFileInfo(refs_.files[i]).canonicalFilePath();
    if (!real.isEmpty() && !files_.contains(real)) files_.insert(real, i);
  }
  targets_.reserve(refs_.declarations.size());
  for (int d = 0; d < int(refs_.declarations.size()); ++d) {
    const XrefPlace &p = refs_.declarations[size_t(TargetOf(d))].place;
    targets_.push_back(quint64(quint32(p.file)) << 32 | quint32(p.line));
  }
  std::sort(targets_.begin(), targets_.end());
  targets_.erase(std::unique(targets_.begin(), targets_.end()), targets_.end());
  declarationsByPlace_.resize(refs_.declarations.size());
  for (int d = 0; d < int(declarationsByPlace_.size()); ++d) declarationsByPlace_[size_t(d)] = d;
  auto place = [this](int d) {
    const XrefPlace &p = refs_.declarations[size_t(d)].place;
    return std::tuple(p.file, p.line, p.column);
  };
  std::sort(declarationsByPlace_.begin(), declarationsByPlace_.end(),
            [&](int a, int b) { return place(a) < place(b); });
}

bool CrossLinks::Listed(const XrefDeclaration &d) {
  if (d.declaredAt >= 0) return false;
  switch (d.kind) {
    case XrefKind::Unit:
    case XrefKind::Constant:
    case XrefKind::Variable:
      return false;
    default:
      return true;
  }
}

CrossLinks::LineUses CrossLinks::DeclarationsOn(int file, int line) const {
  return DeclarationsOn(file, line, LineUses{});
}

CrossLinks::LineUses CrossLinks::DeclarationsOn(int file, int line, LineUses near) const {
  const auto at = [this](size_t i) {
    const XrefPlace &p = refs_.declarations[size_t(declarationsByPlace_[i])].place;
    return std::pair(p.file, p.line);
  };
  const size_t n = declarationsByPlace_.size();
  const size_t first = FirstFrom(n, size_t(std::max(0, near.last)),
                                 [&](size_t i) { return at(i) < std::pair(file, line); });
  size_t last = first;
  while (last < n && at(last) == std::pair(file, line)) ++last;
  return {int(first), int(last)};
}

int CrossLinks::DeclarationAtColumn(LineUses on, int column, int length) const {
  for (int i = on.first; i < on.last; ++i) {
    const int d = declarationsByPlace_[size_t(i)];
    const XrefDeclaration &decl = refs_.declarations[size_t(d)];
    if (decl.place.column == column && decl.name.size() == length) return d;
  }
  return -1;
}

int CrossLinks::DeclarationByOrdinal(LineUses on, QByteArrayView name, int ordinal,
                                     int *from) const {
  // As UseByOrdinal: "var A0, A1, ..., A199999: Integer;" is one line.
  const int start = from && *from > on.first && *from < on.last ? *from : on.first;
  for (int k = 0; k < on.last - on.first; ++k) {
    const int i = start + k < on.last ? start + k : on.first + (start + k - on.last);
    const int d = declarationsByPlace_[size_t(i)];
    const XrefDeclaration &decl = refs_.declarations[size_t(d)];
    if (decl.place.ordinal == ordinal &&
        QByteArrayView(decl.name).compare(name, Qt::CaseInsensitive) == 0) {
      if (from) *from = i + 1;
      return d;
    }
  }
  return -1;
}

size_t CrossLinks::PrintedSlot(quint64 place) const {
  const size_t mask = printedPlaces_.size() - 1;
  size_t i = size_t((place * 0x9E3779B97F4A7C15ull) >> 32) & mask;
  while (printedPlaces_[i] != 0 && printedPlaces_[i] != place) i = (i + 1) & mask;
  return i;
}

void CrossLinks::NoteRow(int file, int line, int page, const QByteArray &document) {
  // Rows are noted page after page: most share the page noted last.
  if (printedPages_.empty() || printedPages_.back().page != page ||
      printedPages_.back().document != document)
    printedPages_.push_back({page, document});
  const quint32 row = quint32(printedPages_.size() - 1);
  if (4 * (printedCount_ + 1) > 3 * printedPlaces_.size()) {
    std::vector<quint64> places(std::max<size_t>(64, printedPlaces_.size() * 2), 0);
    std::vector<quint32> rows(places.size(), 0);
    std::swap(places, printedPlaces_);
    std::swap(rows, printedRows_);
    for (size_t i = 0; i < places.size(); ++i)
      if (places[i] != 0) {
        const size_t slot = PrintedSlot(places[i]);
        printedPlaces_[slot] = places[i];
        printedRows_[slot] = rows[i];
      }
  }
  const quint64 place = (quint64(quint32(file)) << 32 | quint32(line)) + 1;
  const size_t slot = PrintedSlot(place);
  if (printedPlaces_[slot] == 0) ++printedCount_;
  // A page laid out again (a print after its pagination) says the same.
  printedPlaces_[slot] = place;
  printedRows_[slot] = row;
}

const CrossLinks::PrintedRow *CrossLinks::RowOf(int file, int line) const {
  if (printedPlaces_.empty()) return nullptr;
  const size_t slot = PrintedSlot((quint64(quint32(file)) << 32 | quint32(line)) + 1);
  return printedPlaces_[slot] == 0 ? nullptr : &printedPages_[printedRows_[slot]];
}

int CrossLinks::FileOf(const QString &path) const {
  if (const auto it = files_.constFind(path); it != files_.constEnd()) return *it;
  const QString real = QFileInfo(path).canonicalFilePath();
  if (real.isEmpty()) return -1;
  return files_.value(real, -1);
}

int CrossLinks::TargetOf(int declaration) const {
  const XrefDeclaration &d = refs_.declarations[size_t(declaration)];
  return d.body >= 0 ? d.body : declaration;
}

QByteArray CrossLinks::PlaceKey(int file, int line) {
  QByteArray key;
  PlaceKeyInto(file, line, key);
  return key;
}

void CrossLinks::PlaceKeyInto(int file, int line, QByteArray &key) {
  // Written in place, once: a key made of QByteArray::number's texts took
  // 2,600 instructions, and a book asks for one for every use it links.
  char text[24];
  char *end = text;
  *end++ = 'x';
  end = std::to_chars(end, text + sizeof text, file).ptr;
  *end++ = ':';
  end = std::to_chars(end, text + sizeof text, line).ptr;
  key.resize(end - text);
  std::memcpy(key.data(), text, size_t(end - text));
}

QByteArray CrossLinks::EntryKey(int declaration) {
  char buffer[16] = {'x', 'r', 'e', 'f', ':'};
  const char *end = std::to_chars(buffer + 5, buffer + sizeof buffer, declaration).ptr;
  return QByteArray(buffer, end - buffer);
}

QByteArray CrossLinks::TargetKey(int declaration) const {
  QByteArray key;
  TargetKeyInto(declaration, key);
  return key;
}

void CrossLinks::TargetKeyInto(int declaration, QByteArray &key) const {
  const XrefPlace &p = refs_.declarations[size_t(TargetOf(declaration))].place;
  PlaceKeyInto(p.file, p.line, key);
}

bool CrossLinks::IsTarget(int file, int line) const {
  return std::binary_search(targets_.begin(), targets_.end(),
                            quint64(quint32(file)) << 32 | quint32(line));
}

CrossLinks::LineUses CrossLinks::UsesOn(int file, int line) const {
  return UsesOn(file, line, LineUses{});
}

CrossLinks::LineUses CrossLinks::UsesOn(int file, int line, LineUses near) const {
  const std::pair at(file, line);
  const auto &uses = refs_.uses;
  auto before = [&](size_t i) { return std::pair(uses[i].place.file, uses[i].place.line) < at; };
  const size_t first = FirstFrom(uses.size(), size_t(std::max(0, near.last)), before);
  size_t last = first;
  while (last < uses.size() && std::pair(uses[last].place.file, uses[last].place.line) == at)
    ++last;
  return {int(first), int(last)};
}

int CrossLinks::UseAtColumn(LineUses on, int column, int length) const {
  // A line's uses are in column order.
  const auto first = refs_.uses.begin() + on.first, last = refs_.uses.begin() + on.last;
  const auto at = std::lower_bound(first, last, column,
                                   [](const XrefUse &u, int c) { return u.place.column < c; });
  if (at == last || at->place.column != column) return -1;
  return at->length == length ? int(at - refs_.uses.begin()) : -1;
}

int CrossLinks::UseByOrdinal(LineUses on, QByteArrayView name, int ordinal, int *from) const {
  // The uses are asked for in the order of the line: the next one is
  // looked for where the last was found first, so that a line of 200,000
  // names is not read through for each of them.
  const int start = from && *from > on.first && *from < on.last ? *from : on.first;
  auto matches = [&](int i) {
    const XrefUse &u = refs_.uses[size_t(i)];
    if (u.place.ordinal != ordinal || u.length != name.size()) return false;
    // The use names what it is spelt as: its declaration's name.
    return QByteArrayView(refs_.declarations[size_t(u.declaration)].name)
               .compare(name, Qt::CaseInsensitive) == 0;
  };
  for (int k = 0; k < on.last - on.first; ++k) {
    const int i = start + k < on.last ? start + k : on.first + (start + k - on.last);
    if (matches(i)) {
      if (from) *from = i + 1;
      return i;
    }
  }
  return -1;
}

}  // namespace scrivane
