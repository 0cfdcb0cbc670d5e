// Opening files: the project file and the uses clauses of its units.
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "project/ProgramUses.h"
#include "project/ProjectFiles.h"
#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

namespace scrivane {
using namespace readertext;

QString ComparablePath(const QString &path) {
  const QString normalised = NormalizeSeparators(path.trimmed());
  const QString absolute =
      IsAbsolutePath(normalised) ? normalised : QDir::current().absoluteFilePath(normalised);
  return QDir::cleanPath(absolute).toLower();
}

namespace {

// A file that no reader takes used to leave the lists empty without a word.
void ReportUnknownFile(ReaderContext &ctx, const QString &path) {
  const SourceFile file = ReadSourceFile(path);
  if (file.status == SourceStatus::Missing)
    ctx.messages.Warning(SourceFileMessage(file, path));
  else if (file.status == SourceStatus::Unreadable)
    ctx.messages.Information(SourceFileMessage(file, path));
  else
    ctx.messages.Information(QStringLiteral("Cannot read ") + path +
                             QStringLiteral(": it is not a project (.dpr, .lpr, .dpk, .lpi, .lpk, "
                                            ".dproj), unit (.pas, .pp, .p, .inc) or "
                                            "form (.dfm, .lfm) file."));
}

}  // namespace

void ClearForOpen(ProjectModel &model) {
  model.WidestName = 0;
  model.FormFileOpened = false;
  model.ClearUnits();
  model.ClearRoutines();
  model.IndexEntries.clear();
  model.ProjectLoaded = false;
  model.CurrentUnitPath.clear();
  model.FormMode = false;
  model.UnitSearchPaths.clear();
  model.IncludeSearchPaths.clear();
  model.UnitsNotFound.clear();
  model.DescriptionFiles.clear();
  model.Scope.Clear();
}

void LeaveOutOfScope(ReaderContext &ctx, UnitEntry &entry) {
  const QString path = entry.PathToRead();
  entry.leftOut = ctx.model.Scope.Problem(path);
  if (entry.leftOut.isEmpty()) return;
  const QString text = QStringLiteral("%1: left out: %2.").arg(path, entry.leftOut);
  ctx.messages.Note(text);
  if (ctx.showStatus) ctx.showStatus(text);
}

QStringList FoldersLeftOutside(const ProjectModel &model) {
  QStringList folders;
  for (const UnitEntry &entry : model.Units)
    if (ProjectScope::LiesOutside(entry.leftOut)) {
      const QString folder = QFileInfo(entry.PathToRead()).absolutePath();
      if (!folders.contains(folder)) folders << folder;
    }
  return folders;
}

qsizetype UnitsLeftOutside(const ProjectModel &model) {
  return std::count_if(model.Units.begin(), model.Units.end(), [](const UnitEntry &entry) {
    return ProjectScope::LiesOutside(entry.leftOut);
  });
}

QString UnitsNotFoundText(const ProjectModel &model) {
  const QStringList &named = model.UnitsNotFound;
  if (!model.ProjectLoaded || !model.Units.isEmpty() || named.isEmpty()) return {};
  QString names = named.mid(0, 3).join(QStringLiteral(", "));
  if (named.size() > 3) names += QStringLiteral(" and %1 more").arg(named.size() - 3);
  return QStringLiteral(
             "none of those its uses clause names (%1) is in its folder or on a search path it "
             "declares")
      .arg(names);
}

void OpenPath(ReaderContext &ctx, const QString &path) {
  // The user's path names its file literally: "\\" is part of a name here,
  // and is read as a separator only in paths that project files hold.
  if (path.contains(u'\\') && !QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
    SourceFile missing;
    missing.status = SourceStatus::Missing;
    const QString named = AbsoluteUserPath(path);
    ctx.messages.FileWarning(named, SourceFileMessage(missing, named));
    return;
  }
  // Only the file's own name says what it is: a folder such as "src.pascal"
  // must not send a project file to the unit reader as well.
  const QString lower = UserFileName(path).toLower();
  // ".dproj" holds ".dpr": the project file's own reader takes it first.
  if (IsProjectDescriptionFile(lower)) return OpenProjectDescription(ctx, path);
  const bool project = lower.contains(QStringLiteral(".dpr"));
  const bool unit = lower.contains(QStringLiteral(".pas"));
  const bool form =
      lower.contains(QStringLiteral(".dfm")) || lower.endsWith(QStringLiteral(".lfm"));
  if (project) ParseDpr(ctx, path);
  if (unit) ParsePas(ctx, path);
  if (form) ParseDfm(ctx, path);
  if (project || unit || form) return;
  // Free Pascal and Lazarus names count only as the whole extension: ".p"
  // is inside every ".pas", and "x.pp.bak" is a backup, not a unit.
  if (lower.endsWith(QStringLiteral(".lpr")) || lower.endsWith(QStringLiteral(".dpk")))
    ParseDpr(ctx, path);
  else if (HasUnitExtension(lower) || lower.endsWith(QStringLiteral(".inc")))
    ParsePas(ctx, path);
  else
    ReportUnknownFile(ctx, path);
}

bool HasUnitExtension(const QString &fileName) {
  for (const QString &extension : kUnitExtensions)
    if (fileName.endsWith(extension, Qt::CaseInsensitive)) return true;
  return false;
}

int FindUnitByName(const ProjectModel &model, const QString &name) {
  const QString wanted = name.toLower();
  for (int i = 0; i < model.Units.size(); ++i) {
    const QString entry = model.Units[i].name.toLower();
    if (entry == wanted) return i;
    for (const QString &extension : kUnitExtensions)
      if (entry == wanted + extension) return i;
  }
  return -1;
}

namespace {

// A project file (program or package) becomes the opened document: its
// units and lines are read next.
void StartProject(ProjectModel &model) {
  model.FormMode = false;
  model.FormFileOpened = false;
  model.ProjectLoaded = true;
  model.GroupCaption = QStringLiteral("Unit");
  model.RoutineCaption = QStringLiteral("Functions and Procedures");
  model.ClearUnits();
  model.IndexEntries.clear();
  model.ProjectLines.clear();
}

}  // namespace

void ParseDpr(ReaderContext &ctx, const QString &path) {
  ProjectModel &model = ctx.model;
  StartProject(model);

  const SourceFile file = ReadSourceFile(path);
  if (file.status != SourceStatus::Ok) {
    model.ProjectLoaded = false;
    // Messages name the file as it was given: a lower-cased path names no
    // file on this system.
    if (file.status == SourceStatus::Unreadable)
      ctx.messages.Information(SourceFileMessage(file, path));
    else
      ctx.messages.FileWarning(path, SourceFileMessage(file, path));
    return;
  }
  model.WindowCaption = QStringLiteral("  Project: ") + DisplayPath(path);
  model.OpenedPath = DisplayPath(path);
  model.ProjectDir = UserDirectory(path);
  // A program opened by itself takes the search paths of the project file
  // beside it (Project1.lpi or Project1.dproj), as its IDE builds it.
  if (model.UnitSearchPaths.isEmpty() && model.IncludeSearchPaths.isEmpty()) {
    QString stem = file.diskPath;
    stem.truncate(stem.lastIndexOf(u'.'));
    for (const char *extension : {".lpi", ".dproj", ".dof", ".cfg"}) {
      const QString beside = FindFileAnyCase(stem + QLatin1String(extension));
      if (beside.isEmpty()) continue;
      const bool options = beside.endsWith(QLatin1String(".dof"), Qt::CaseInsensitive) ||
                           beside.endsWith(QLatin1String(".cfg"), Qt::CaseInsensitive);
      const ProjectFileContents contents =
          options ? ReadDelphiOptions(beside) : ReadProjectDescription(beside);
      if (!contents.ok) continue;
      UseSearchPaths(ctx, beside, contents);
      break;
    }
  }

  SetProjectScope(model);

  ForEachLine(file.bytes,
              [&](QByteArrayView line) { model.ProjectLines.append(line.toByteArray()); });
  // The units are the entries of the uses clause (a package's contains
  // clause) as the compiler reads it: a name in a comment, a string or
  // a WriteLn is no unit, and every {$IFDEF} branch counts.
  const bool package = FileNamePart(path).endsWith(QStringLiteral(".dpk"), Qt::CaseInsensitive);
  AddProgramUsesUnits(ctx, file.bytes, package ? "contains" : "uses");
  if (ctx.includeUses) ScanUsesClauses(ctx);
}

void SetProjectScope(ProjectModel &model) {
  model.Scope.Clear();
  model.Scope.AddRoot(model.ProjectDir);
  for (const QString &description : model.DescriptionFiles)
    model.Scope.AddRoot(DirectoryPart(description));
  for (const QString &folder : model.UnitSearchPaths) model.Scope.AddRoot(folder);
  for (const QString &folder : model.IncludeSearchPaths) model.Scope.AddRoot(folder);
  // Folders the user named on the command line.
  for (const QString &folder : model.UserIncludePaths) model.Scope.AddRoot(folder);
  // A unit or include file opened alone brings in from any folder.
  if (!model.ProjectLoaded) model.Scope.AllowAnyFolder();
}

void UseSearchPaths(ReaderContext &ctx, const QString &descriptionPath,
                    const ProjectFileContents &contents) {
  ProjectModel &model = ctx.model;
  model.UnitSearchPaths = contents.unitFolders;
  model.IncludeSearchPaths = contents.includeFolders;
  if (!model.DescriptionFiles.contains(descriptionPath)) model.DescriptionFiles << descriptionPath;
  SetProjectScope(model);
  if (!contents.unresolved.isEmpty())
    ctx.messages.Note(descriptionPath +
                      QStringLiteral(": search path left out (its macros cannot be told here): ") +
                      contents.unresolved.join(QStringLiteral("; ")));
}

void OpenProjectDescription(ReaderContext &ctx, const QString &path) {
  ProjectModel &model = ctx.model;
  ProjectFileContents contents = ReadProjectDescription(path);
  if (!contents.ok) {
    model.ProjectLoaded = false;
    if (contents.error.endsWith(QStringLiteral(" not found.")))
      ctx.messages.FileWarning(path, contents.error);
    else
      ctx.messages.Information(contents.error);
    return;
  }
  model.DescriptionFiles.clear();
  UseSearchPaths(ctx, FindFileAnyCase(path), contents);
  bool programRead = false;
  if (!contents.mainSource.isEmpty() && FileExistsAnyCase(contents.mainSource)) {
    // The book of a project is the book of its program.
    ParseDpr(ctx, FindFileAnyCase(contents.mainSource));
    programRead = true;
    // A program kept in a ".pp" or ".pas" file that brings in no unit of
    // the project, in its uses clause or in the .lpi's list, stays the
    // book's one unit, as it always was: as a project it would list no
    // units, and a book of no units is refused.
    const QString program = ComparablePath(contents.mainSource);
    const bool othersListed =
        std::any_of(contents.units.begin(), contents.units.end(),
                    [&](const QString &unit) { return ComparablePath(unit) != program; });
    if (model.ProjectLoaded && model.Units.isEmpty() && !othersListed &&
        HasUnitExtension(contents.mainSource)) {
      contents.mainSource.clear();
      programRead = false;
    }
  }
  if (!programRead) {
    // A package: its file is the project text, its units the list.
    const SourceFile file = ReadSourceFile(path);
    StartProject(model);
    model.WindowCaption = QStringLiteral("  Project: ") + path;
    model.OpenedPath = path;
    model.ProjectDir = UserDirectory(path);
    SetProjectScope(model);
    ForEachLine(file.bytes,
                [&](QByteArrayView line) { model.ProjectLines.append(line.toByteArray()); });
  }
  if (!model.ProjectLoaded) return;
  // The units the file lists that the program's uses clause does not name.
  QSet<QString> listed;
  for (const UnitEntry &entry : model.Units) listed.insert(ComparablePath(entry.fullPath));
  FileFinder finder;
  for (const QString &unit : contents.units) {
    const QString key = ComparablePath(unit);
    if (listed.contains(key) ||
        (!contents.mainSource.isEmpty() && key == ComparablePath(contents.mainSource)))
      continue;
    listed.insert(key);
    const QString onDisk = finder.Find(unit);
    model.SetPickList(onDisk.isEmpty() ? unit : onDisk, EntryKind::UnitInProject);
    LeaveOutOfScope(ctx, model.Units.last());
  }
  if (ctx.includeUses && contents.mainSource.isEmpty()) ScanUsesClauses(ctx);
}

void ScanUsesClauses(ReaderContext &ctx) {
  ProjectModel &model = ctx.model;
  const qsizetype scanned = model.Units.size();
  QStringList found;  // unit paths on disk, in the order first met
  QSet<QString> foundSet;
  QSet<QString> listed;
  for (const UnitEntry &entry : model.Units) listed.insert(ComparablePath(entry.fullPath));
  // A name in a uses clause is looked up in the project folder, which is
  // listed once; most names (the run-time library's) are not there.
  FileFinder finder;
  qsizetype added = 0;  // entries of `found` already offered to the list

  for (qsizetype i = 0; i < scanned; ++i) {
    // A missing unit is shown as such in the list; the others still count.
    if (!model.Units[i].leftOut.isEmpty()) continue;
    const SourceFile file = ReadSourceFile(model.Units[i].PathToRead().trimmed());
    if (file.status != SourceStatus::Ok) continue;
    bool inImplementation = false, inUses = false;
    bool done = false;
    ForEachLine(file.bytes, [&](QByteArrayView raw) {
      if (done) return;
      const QByteArray l = Lower(Trimmed(raw));
      if (l.startsWith("implementation")) inImplementation = true;
      if (inImplementation && (l.startsWith("procedure ") || l.contains("end."))) {
        done = true;
        return;
      }
      if (l.startsWith("uses")) inUses = true;
      if (inUses) {
        QByteArray words = l;
        words.replace(',', ' ');
        for (QByteArray word : words.split(' ')) {
          word = Trimmed(word).toByteArray();
          word.replace(";", "");
          if (word.isEmpty()) continue;
          // ".pas" first, as Delphi projects expect, so they find the units
          // they always found; a Free Pascal unit is often named ".pp".
          QString onDisk;
          for (const QString &extension : kUnitExtensions) {
            const QString candidate = JoinPath(model.ProjectDir, Decode1252(word) + extension);
            if (finder.FileExists(candidate)) {
              onDisk = finder.Find(candidate);
              break;
            }
          }
          if (onDisk.isEmpty() || foundSet.contains(onDisk)) continue;
          foundSet.insert(onDisk);
          found.append(onDisk);
        }
      }
      if (l.contains(';')) inUses = false;
    });
    // Entries found earlier were offered after their own file already.
    for (; added < found.size(); ++added) {
      const QString key = ComparablePath(found[added]);
      if (listed.contains(key)) continue;
      listed.insert(key);
      model.SetPickList(found[added].trimmed(), EntryKind::UnitInUses);
      LeaveOutOfScope(ctx, model.Units.last());
    }
  }
}

QFileInfo UnitEntryFileInfo(const ProjectModel &model, int index) {
  if (index < 0 || index >= model.Units.size()) return QFileInfo();
  const QString found = FindFileAnyCase(model.Units[index].PathToRead());
  if (found.isEmpty()) return QFileInfo();
  QFileInfo info(found);
  return info.isFile() ? info : QFileInfo();
}

}  // namespace scrivane
