#include <algorithm>
#include <vector>

#include "project/ProjectModel.h"

namespace scrivane {
namespace {

bool LessIgnoringCase(const QByteArray &a, const QByteArray &b) { return RoutineOrderLess(a, b); }

}  // namespace

bool RoutineOrderLess(QByteArrayView a, QByteArrayView b) {
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; };
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(fold(a[i])),
               y = static_cast<unsigned char>(fold(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a.compare(b) < 0;
}

bool RoutineList::AnyRoutineSelected() const {
  return std::any_of(Routines.begin(), Routines.end(),
                     [](const RoutineEntry &e) { return e.selected; });
}

void RoutineList::AddRoutine(const QByteArray &text, EntryKind kind, int line) {
  // Equal texts keep the order in which they were added (file order).
  const auto at = std::upper_bound(
      Routines.begin(), Routines.end(), text,
      [](const QByteArray &t, const RoutineEntry &e) { return LessIgnoringCase(t, e.text); });
  RoutineEntry entry{text, kind, false};
  entry.line = line;
  Routines.insert(at - Routines.begin(), entry);
}

void RoutineList::AddRoutines(const QList<RoutineEntry> &entries) {
  const qsizetype known = Routines.size();
  const qsizetype total = known + entries.size();
  auto entryAt = [&](qsizetype i) -> const RoutineEntry & {
    return i < known ? Routines[i] : entries[i - known];
  };
  std::vector<qsizetype> order(static_cast<size_t>(total));
  for (qsizetype i = 0; i < total; ++i) order[size_t(i)] = i;
  // Stable: equal texts stay in the order they were added, as one by one.
  std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
    return LessIgnoringCase(entryAt(a).text, entryAt(b).text);
  });
  QList<RoutineEntry> sorted;
  sorted.reserve(total);
  for (qsizetype i : order) sorted.append(entryAt(i));
  Routines = std::move(sorted);
}

void RoutineList::ClearRoutines() {
  Routines.clear();
  RoutineHeadingLines.clear();
  ImplementationHeadingLines.clear();
}

}  // namespace scrivane
