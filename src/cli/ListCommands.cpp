#include "cli/ListCommands.h"

#include <QFileInfo>
#include <cstdio>

#include "cli/StreamMessages.h"
#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "project/CrossReferences.h"
#include "project/Readers.h"

namespace scrivane::cli {
namespace {

struct OpenedFile {
  ProjectModel model;
  FormatSettings settings;
};

void Open(OpenedFile &opened, const Options &options, StreamMessages &messages) {
  ClearForOpen(opened.model);
  opened.settings.FollowIncludes = options.noIncludes ? 0 : 1;
  opened.model.UserIncludePaths = UserIncludeFolders(options);
  ReaderContext ctx{opened.model, ReadChoicesOf(opened.settings), messages, options.includeUses,
                    true};
  OpenGivenFile(ctx, options, options.file);
}

}  // namespace

void OpenGivenFile(ReaderContext &ctx, const Options &options, const QString &path) {
  if (!options.stdinPath.isEmpty() && path == options.stdinPath)
    ParsePas(ctx, path);
  else
    OpenPath(ctx, path);
  // Each unit left out was named on its own line; the way to let them in
  // once, after them.
  const QStringList outside = FoldersLeftOutside(ctx.model);
  if (outside.isEmpty()) return;
  QString common = outside.first();
  for (const QString &folder : outside)
    while (common != folder && !folder.startsWith(common + u'/')) {
      const QString up = QFileInfo(common).path();
      if (up == common) break;
      common = up;
    }
  QStringList give;
  if (common != u"/" && QFileInfo(common).path() != u"/")
    give << common;
  else
    give = outside;
  for (QString &folder : give) folder = QStringLiteral("--include-path ") + folder;
  const qsizetype count = UnitsLeftOutside(ctx.model);
  const QString said =
      count == 1
          ? QStringLiteral("1 unit the project names lies outside its folder; %1 lets it in.")
          : QString::number(count) +
                QStringLiteral(" units the project names lie outside its folder; %1 lets them in.");
  ctx.messages.Note(said.arg(give.join(u' ')));
}

int RunUnitsCommand(const Options &options, QTextStream &out, QTextStream &err) {
  OpenedFile opened;
  StreamMessages messages(err);
  Open(opened, options, messages);
  // One line per unit, tab-separated; names are escaped (see --help), and
  // a unit the project may not bring in says so in a third field.
  for (const UnitEntry &entry : opened.model.Units) {
    out << EscapeControlCharacters(entry.name, true) << '\t'
        << EscapeControlCharacters(entry.PathToRead(), true);
    if (!entry.leftOut.isEmpty())
      out << "\tleft out: " << EscapeControlCharacters(entry.leftOut, true);
    out << '\n';
  }
  out.flush();
  return messages.reported ? kExitMessage : kExitOk;
}

int RunRoutinesCommand(const Options &options, QTextStream &out, QTextStream &err) {
  OpenedFile opened;
  StreamMessages messages(err);
  Open(opened, options, messages);
  if (messages.reported) return kExitMessage;
  ProjectModel &model = opened.model;
  if (model.Units.isEmpty()) {
    Report(err, options.file + QStringLiteral(" lists no units."));
    return kExitMessage;
  }
  int wanted = 0;
  if (!options.unitName.isEmpty()) {
    wanted = FindUnitByName(model, options.unitName);
    if (wanted < 0) {
      Report(err, options.unitName + QStringLiteral(" not found."));
      return kExitMessage;
    }
  }
  // A unit opened alone is loaded already; a project's unit is loaded the
  // way a click on its entry loads it.
  if (model.CurrentUnitPath.isEmpty() || model.SelectedUnit != wanted) {
    model.SelectedUnit = wanted;
    ReaderContext ctx{model, ReadChoicesOf(opened.settings), messages, options.includeUses, true};
    LoadUnit(ctx);
    if (messages.reported) return kExitMessage;
  }
  // A routine implemented in an include file is marked with that file; one
  // the interface does not declare, in a further column.
  for (const RoutineEntry &routine : model.Routines) {
    out << DecodeText(routine.text, model.SourceEncoding);
    const bool included = routine.file > 0 && routine.file < model.SourceParts.size();
    if (included || routine.implementationOnly) out << '\t';
    if (included) out << model.SourceParts[routine.file].shown;
    if (routine.implementationOnly) out << "\timplementation";
    out << '\n';
  }
  out.flush();
  return kExitOk;
}

int RunCrossReferencesCommand(const Options &options, QTextStream &out, QTextStream &err) {
  StreamMessages messages(err);
  QStringList modules;
  QStringList includeFolders;
  QString projectPath;
  for (const QString &file : options.files) {
    // A unit is its own book: nothing of it needs reading beforehand.
    if (HasUnitExtension(file) && QFileInfo(file).isFile()) {
      const QString path = QFileInfo(file).absoluteFilePath();
      if (!modules.contains(path)) modules << path;
      continue;
    }
    OpenedFile opened;
    Options one = options;
    one.file = file;
    Open(opened, one, messages);
    const ProjectModel &model = opened.model;
    // A project's program is part of its book: its code calls the units'.
    if (model.ProjectLoaded) {
      projectPath = model.OpenedPath;
      const QString lower = projectPath.toLower();
      if ((lower.endsWith(QStringLiteral(".lpr")) || lower.endsWith(QStringLiteral(".dpr"))) &&
          !modules.contains(projectPath))
        modules << projectPath;
    }
    for (const QString &folder : model.IncludeSearchPaths)
      if (!includeFolders.contains(folder)) includeFolders << folder;
    for (const UnitEntry &entry : model.Units) {
      if (!entry.leftOut.isEmpty() || entry.kind == EntryKind::FormFile) continue;
      const QString path = entry.PathToRead();
      if (!modules.contains(path)) modules << path;
    }
  }
  if (messages.reported && modules.isEmpty()) return kExitMessage;
  // After the projects' own folders, as the print looks in them.
  for (const QString &folder : UserIncludeFolders(options))
    if (!includeFolders.contains(folder)) includeFolders << folder;
  const CrossReferences refs = ResolveCrossReferences(modules, includeFolders, projectPath);
  for (const QString &problem : refs.problems) Report(err, problem);
  if (!refs.notFollowed.isEmpty()) Report(err, refs.notFollowed);
  auto place = [&](const XrefPlace &p) {
    return EscapeControlCharacters(refs.files[p.file], true) + u':' + QString::number(p.line) +
           u':' + QString::number(p.column);
  };
  for (size_t i = 0; i < refs.declarations.size(); ++i) {
    const XrefDeclaration &d = refs.declarations[i];
    out << "D\t" << i << '\t' << XrefKindName(d.kind) << '\t' << place(d.place) << '\t'
        << (d.owner.isEmpty() ? QString() : QString::fromLatin1(d.owner) + u'.')
        << QString::fromLatin1(d.name) << '\t' << d.parameters;
    if (d.declaredAt >= 0) out << "\tbody of " << d.declaredAt;
    out << '\n';
  }
  for (const XrefUse &u : refs.uses)
    out << "U\t" << place(u.place) << '\t' << u.length << '\t' << u.declaration << '\n';
  out.flush();
  return refs.problems.isEmpty() && refs.notFollowed.isEmpty() && !messages.reported ? kExitOk
                                                                                     : kExitMessage;
}

int RunFormTextCommand(const Options &options, QTextStream &err) {
  const FormConversion conversion = ReadFormFile(options.file);
  if (conversion.status != FormStatus::Ok) {
    Report(err, FormFailureText(DisplayPath(options.file), conversion));
    return kExitMessage;
  }
  // The bytes as the .DDT holds them: no text codec between.
  const size_t size = size_t(conversion.text.size());
  if (std::fwrite(conversion.text.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0)
    return kExitMessage;
  return kExitOk;
}

}  // namespace scrivane::cli
