#include "project/ProjectModel.h"

#include <QDir>
#include <algorithm>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "project/FormImage.h"

namespace scrivane {
namespace {

bool LessIgnoringCase(const QByteArray &a, const QByteArray &b) { return RoutineOrderLess(a, b); }

QString AbsoluteForm(const QString &path) {
  const QString normalised = NormalizeSeparators(path);
  if (IsAbsolutePath(normalised)) return QDir::cleanPath(normalised);
  return QDir::cleanPath(QDir::current().absoluteFilePath(normalised));
}

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

QString ProjectModel::PartNameOf(const LineList &lines, qsizetype i) const {
  const int file = i >= 0 && i < lines.size() ? lines.fileIndex(i) : 0;
  return file > 0 && file < SourceParts.size() ? SourceParts[file].shown : QString();
}

bool ProjectModel::AnyRoutineSelected() const {
  return std::any_of(Routines.begin(), Routines.end(),
                     [](const RoutineEntry &e) { return e.selected; });
}

QStringList ProjectModel::ProjectFiles() const {
  QStringList files;
  if (!OpenedPath.isEmpty()) files << OpenedPath;
  if (!CurrentUnitPath.isEmpty()) files << CurrentUnitPath;
  for (const UnitEntry &entry : Units) {
    files << entry.PathToRead();
    const FormImageFiles beside = FindFormImageFiles(entry.PathToRead());
    if (!beside.formFile.isEmpty()) files << beside.formFile;
    if (!beside.imageFile.isEmpty()) files << beside.imageFile;
  }
  if (!CurrentUnitPath.isEmpty()) {
    const FormImageFiles beside = FindFormImageFiles(CurrentUnitPath);
    if (!beside.formFile.isEmpty()) files << beside.formFile;
    if (!beside.imageFile.isEmpty()) files << beside.imageFile;
  }
  files += DescriptionFiles;
  for (qsizetype i = 1; i < SourceParts.size(); ++i)
    if (SourceParts[i].state == SourcePart::State::Read) files << SourceParts[i].path;
  return files;
}

// Paths are kept whole: a path cut to a fixed length names another file.
void ProjectModel::SetPickList(const QString &path, EntryKind kind) {
  AddEntry(AbsoluteForm(path), FileNamePart(path), kind);
}

void ProjectModel::AddEntry(const QString &diskPath, const QString &name, EntryKind kind) {
  UnitEntry entry;
  entry.diskPath = diskPath;
  entry.fullPath = DisplayPath(entry.diskPath);
  entry.name = DisplayPath(name);
  entry.kind = kind;
  WidestName = std::max(WidestName, NameWidth ? NameWidth(entry.name) : 0);
  Units.append(entry);
}

void ProjectModel::AddRoutine(const QByteArray &text, EntryKind kind, const QByteArray &ref) {
  // Equal texts keep the order in which they were added (file order), and the
  // reference moves with its entry, so entry i and RoutineRefs[i] always match.
  const auto at = std::upper_bound(
      Routines.begin(), Routines.end(), text,
      [](const QByteArray &t, const RoutineEntry &e) { return LessIgnoringCase(t, e.text); });
  const qsizetype index = at - Routines.begin();
  Routines.insert(index, RoutineEntry{text, kind, false});
  RoutineRefs.insert(index, ref);
}

void ProjectModel::AddRoutines(const QList<RoutineEntry> &entries, const QList<QByteArray> &refs) {
  const qsizetype known = Routines.size();
  const qsizetype total = known + std::min(entries.size(), refs.size());
  auto entryAt = [&](qsizetype i) -> const RoutineEntry & {
    return i < known ? Routines[i] : entries[i - known];
  };
  auto refAt = [&](qsizetype i) -> const QByteArray & {
    return i < known ? RoutineRefs[i] : refs[i - known];
  };
  std::vector<qsizetype> order(static_cast<size_t>(total));
  for (qsizetype i = 0; i < total; ++i) order[size_t(i)] = i;
  // Stable: equal texts stay in the order they were added, as one by one.
  std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
    return LessIgnoringCase(entryAt(a).text, entryAt(b).text);
  });
  QList<RoutineEntry> sorted;
  QList<QByteArray> sortedRefs;
  sorted.reserve(total);
  sortedRefs.reserve(total);
  for (qsizetype i : order) {
    sorted.append(entryAt(i));
    sortedRefs.append(refAt(i));
  }
  Routines = std::move(sorted);
  RoutineRefs = std::move(sortedRefs);
}

// The user named the file: literally (see UserFileName).
void ProjectModel::OpenAlone(const QString &path, EntryKind kind) {
  const bool form = kind == EntryKind::FormFile;
  GroupCaption = form ? QStringLiteral("Form") : QStringLiteral("Unit");
  RoutineCaption = form ? QStringLiteral("Objects") : QStringLiteral("Functions and Procedures");
  FormFileOpened = form;
  ClearUnits();
  ProjectLines.clear();
  WindowCaption = (form ? QStringLiteral("  Form Name: ") : QStringLiteral("  Unit Name: ")) +
                  DisplayPath(path);
  OpenedPath = DisplayPath(path);
  ProjectDir = UserDirectory(path);
  // The file itself the user named, and what its text brings in from any
  // folder, as long as it is Pascal (a link to a private file is not).
  Scope.Clear();
  Scope.AllowAnyFolder();
  AddEntry(AbsoluteUserPath(path), UserFileName(path), kind);
  ProjectLines.append(Encode1252(DisplayPath(UserFileName(path))));
  SelectedUnit = 0;
}

void ProjectModel::ClearRoutines() {
  Routines.clear();
  RoutineRefs.clear();
  RoutineHeadingLines.clear();
  ImplementationHeadingLines.clear();
}

void ProjectModel::TakeLoadedUnit(ProjectModel &&other) {
  SelectedUnit = other.SelectedUnit;
  Routines = std::move(other.Routines);
  RoutineRefs = std::move(other.RoutineRefs);
  SourceLines = std::move(other.SourceLines);
  SourceParts = std::move(other.SourceParts);
  SourceEncoding = other.SourceEncoding;
  CommentsNest = other.CommentsNest;
  IndentedDeeper = std::move(other.IndentedDeeper);
  DeclaredRoutines = std::move(other.DeclaredRoutines);
  ListImplementationRoutines = other.ListImplementationRoutines;
  RoutineHeadingLines = std::move(other.RoutineHeadingLines);
  ImplementationHeadingLines = std::move(other.ImplementationHeadingLines);
  OwnLines = std::move(other.OwnLines);
  JoinedLines = std::move(other.JoinedLines);
  CurrentUnitPath = std::move(other.CurrentUnitPath);
  FormMode = other.FormMode;
}

void ProjectModel::ClearUnits() {
  Units.clear();
  SelectedUnit = -1;
}

}  // namespace scrivane
