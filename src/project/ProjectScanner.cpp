// Opening files: the project file and the uses clauses of its units.
#include <QDir>
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
// the start of the line) through ".pas".
QString UnitNameOnProjectLine(const QByteArray &lowerLine) {
  const qsizetype extension = lowerLine.indexOf(".pas");
  if (extension < 0) return QString();
  // The quote before the name: a quote further on (in a trailing comment)
  // would leave nothing between it and ".pas". A doubled quote inside the
  // name ('it''s.pas') is a quote of the name, not the one that opens it.
  qsizetype quote = lowerLine.lastIndexOf('\'', extension);
  while (quote > 0 && lowerLine[quote - 1] == '\'')
    quote = quote >= 2 ? lowerLine.lastIndexOf('\'', quote - 2) : -1;
  const qsizetype start = quote + 1;
  QByteArray name = Trimmed(QByteArrayView(lowerLine).sliced(start, extension + 4 - start)).toByteArray();
  if (quote >= 0) name.replace("''", "'");
  return Decode1252(name);
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
  // Only the file's own name says what it is: a folder such as "src.pascal"
  // must not send a project file to the unit reader as well.
  const QString lower = FileNamePart(path).toLower();
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
    if (file.status == SourceStatus::Missing)
      ctx.messages.Warning(DisplayPath(path) + QStringLiteral(" not found."));
    else if (file.status == SourceStatus::Binary)
      ctx.messages.Warning(QStringLiteral("File is binary. Please save it as text file."));
    else
      ctx.messages.Information(QStringLiteral("Cannot read ") + DisplayPath(path));
    return;
  }
  model.WindowCaption = QStringLiteral("  Project: ") + DisplayPath(path);
  model.OpenedPath = DisplayPath(path);
  model.ProjectDir = DirectoryPart(path);

  ForEachLine(file.bytes, [&](QByteArrayView line) {
    model.ProjectLines.append(line.toByteArray());
    const QString name = UnitNameOnProjectLine(Lower(line));
    if (name.isEmpty()) return;
    // A relative name is relative to the project file, as the compiler reads
    // it, never to wherever this program was started.
    model.SetPickList(JoinPath(model.ProjectDir, name), EntryKind::UnitInProject);
  });
  // A Lazarus project names most of its units without a file.
  if (FileNamePart(path).endsWith(QStringLiteral(".lpr"), Qt::CaseInsensitive)) AddProgramUsesUnits(ctx, file.bytes);
  if (ctx.includeUses) ScanUsesClauses(ctx);
}

void ScanUsesClauses(ReaderContext &ctx) {
  ProjectModel &model = ctx.model;
  const qsizetype scanned = model.Units.size();
  QStringList found;  // unit paths in the order first met
  QSet<QString> foundSet;
  QSet<QString> listed;
  for (const UnitEntry &entry : model.Units) listed.insert(ComparablePath(entry.fullPath));

  for (qsizetype i = 0; i < scanned; ++i) {
    // A missing unit is shown as such in the list; the others still count.
    const SourceFile file = ReadSourceFile(model.Units[i].fullPath.trimmed());
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
          // The design's ".pas" first, so its projects find what they found
          // before; a Free Pascal unit is often named ".pp".
          QString candidate;
          for (const QString &extension : kUnitExtensions) {
            candidate = JoinPath(model.ProjectDir, Decode1252(word) + extension);
            if (FileExistsAnyCase(candidate)) break;
          }
          if (foundSet.contains(candidate) || !FileExistsAnyCase(candidate)) continue;
          foundSet.insert(candidate);
          found.append(candidate);
        }
      }
      if (l.contains(';')) inUses = false;
    });
    for (const QString &f : found) {
      const QString key = ComparablePath(f);
      if (listed.contains(key)) continue;
      listed.insert(key);
      model.SetPickList(DisplayPath(f.trimmed()), EntryKind::UnitInUses);
    }
  }
}

QFileInfo UnitEntryFileInfo(const ProjectModel &model, int index) {
  if (index < 0 || index >= model.Units.size()) return QFileInfo();
  const QString found = FindFileAnyCase(model.Units[index].fullPath);
  if (found.isEmpty()) return QFileInfo();
  QFileInfo info(found);
  return info.isFile() ? info : QFileInfo();
}

}  // namespace scrivane
