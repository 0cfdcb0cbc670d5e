#include "project/ProjectModel.h"

#include <QDir>
#include <algorithm>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "project/FormImage.h"

namespace scrivane {
namespace {

QString AbsoluteForm(const QString &path) {
  const QString normalised = NormalizeSeparators(path);
  if (IsAbsolutePath(normalised)) return QDir::cleanPath(normalised);
  return QDir::cleanPath(QDir::current().absoluteFilePath(normalised));
}

}  // namespace

QString LoadedUnit::PartNameOf(const LineList &lines, qsizetype i) const {
  const int file = i >= 0 && i < lines.size() ? lines.fileIndex(i) : 0;
  return file > 0 && file < SourceParts.size() ? SourceParts[file].shown : QString();
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
void OpenedProject::SetPickList(const QString &path, EntryKind kind) {
  AddEntry(AbsoluteForm(path), FileNamePart(path), kind);
}

void OpenedProject::AddEntry(const QString &diskPath, const QString &name, EntryKind kind) {
  UnitEntry entry;
  entry.diskPath = diskPath;
  entry.fullPath = DisplayPath(entry.diskPath);
  entry.name = DisplayPath(name);
  entry.kind = kind;
  WidestName = std::max(WidestName, NameWidth ? NameWidth(entry.name) : 0);
  Units.append(entry);
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

void ProjectModel::TakeLoadedUnit(ProjectModel &&other) {
  static_cast<LoadedUnit &>(*this) = std::move(static_cast<LoadedUnit &>(other));
  SelectedUnit = other.SelectedUnit;
}

void ProjectModel::ClearUnits() {
  Units.clear();
  SelectedUnit = -1;
}

}  // namespace scrivane
