// Opening files: the project file and the uses clauses of its units.
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "format/FormatSettings.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "project/ProgramUses.h"
#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

namespace scrivane {
using namespace readertext;

QString ComparablePath(const QString &path) {
  const QString normalised = NormalizeSeparators(path.trimmed());
  const QString absolute =
      IsAbsolutePath(normalised) ? normalised : QDir::current().absoluteFilePath(normalised);
  return DisplayPath(QDir::cleanPath(absolute));
}

namespace {

// The unit file named on a project line, or an empty text when the line
// names none. The name runs from just after the quote that opens it (or from
// the start of the line) through ".pas". The positions are found in the
// line lowered (ASCII lowering keeps them); the name is taken as written,
// so that of two files differing in case the one named is read.
QString UnitNameOnProjectLine(QByteArrayView line) {
  const QByteArray lowerLine = Lower(line);
  const qsizetype extension = lowerLine.indexOf(".pas");
  if (extension < 0) return QString();
  // The quote before the name: a quote further on (in a trailing comment)
  // would leave nothing between it and ".pas". A doubled quote inside the
  // name ('it''s.pas') is a quote of the name, not the one that opens it.
  qsizetype quote = lowerLine.lastIndexOf('\'', extension);
  while (quote > 0 && lowerLine[quote - 1] == '\'')
    quote = quote >= 2 ? lowerLine.lastIndexOf('\'', quote - 2) : -1;
  const qsizetype start = quote + 1;
  QByteArray name = Trimmed(line.sliced(start, extension + 4 - start)).toByteArray();
  if (quote >= 0) name.replace("''", "'");
  return Decode1252(name);
}

// A file that no reader takes used to leave the lists empty without a word.
void ReportUnknownFile(ReaderContext &ctx, const QString &path) {
  const SourceFile file = ReadSourceFile(path);
  if (file.status == SourceStatus::Missing)
    ctx.messages.Warning(SourceFileMessage(file, path));
  else if (file.status == SourceStatus::Unreadable)
    ctx.messages.Information(SourceFileMessage(file, path));
  else
    ctx.messages.Information(QStringLiteral("Cannot read ") + path +
                             QStringLiteral(": it is not a project (.dpr, .lpr), unit (.pas, .pp, .p) or form (.dfm, .lfm) file."));
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
  const bool project = lower.contains(QStringLiteral(".dpr"));
  const bool unit = lower.contains(QStringLiteral(".pas"));
  const bool form = lower.contains(QStringLiteral(".dfm")) || lower.endsWith(QStringLiteral(".lfm"));
  if (project) ParseDpr(ctx, path);
  if (unit) ParsePas(ctx, path);
  if (form) ParseDfm(ctx, path);
  if (project || unit || form) return;
  // Free Pascal and Lazarus names count only as the whole extension: ".p"
  // is inside every ".pas", and "x.pp.bak" is a backup, not a unit.
  if (lower.endsWith(QStringLiteral(".lpr")))
    ParseDpr(ctx, path);
  else if (HasUnitExtension(lower))
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
    const QString &entry = model.Units[i].name;
    if (entry == wanted) return i;
    for (const QString &extension : kUnitExtensions)
      if (entry == wanted + extension) return i;
  }
  return -1;
}

void ParseDpr(ReaderContext &ctx, const QString &path) {
  ProjectModel &model = ctx.model;
  model.FormMode = false;
  model.FormFileOpened = false;
  model.ProjectLoaded = true;
  model.GroupCaption = QStringLiteral("Unit");
  model.RoutineCaption = QStringLiteral("Functions and Procedures");
  model.ClearUnits();
  model.IndexEntries.clear();
  model.ProjectLines.clear();

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

  FileFinder finder;
  ForEachLine(file.bytes, [&](QByteArrayView line) {
    model.ProjectLines.append(line.toByteArray());
    const QString name = UnitNameOnProjectLine(line);
    if (name.isEmpty()) return;
    // A relative name is relative to the project file, as the compiler reads
    // it, never to wherever this program was started. The project file
    // names it in lower case; the entry keeps the file's own name.
    const QString named = JoinPath(model.ProjectDir, name);
    const QString onDisk = finder.Find(named);
    model.SetPickList(onDisk.isEmpty() ? named : onDisk, EntryKind::UnitInProject);
  });
  // A Lazarus project names most of its units without a file.
  if (FileNamePart(path).endsWith(QStringLiteral(".lpr"), Qt::CaseInsensitive)) AddProgramUsesUnits(ctx, file.bytes);
  if (ctx.includeUses) ScanUsesClauses(ctx);
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
