#pragma once
// Opening project, unit and form files into the model.
#include <QFileInfo>
#include <QString>
#include <functional>

#include "project/ProjectModel.h"

namespace scrivane {

struct FormatSettings;
class UserMessages;

struct ReaderContext {
  ProjectModel &model;
  const FormatSettings &settings;
  UserMessages &messages;
  bool includeUses = false;  // "Include unit files listed in the uses clause"
  // The form reader, supplied by whoever links it; OpenPath skips ".dfm"
  // files while it is empty.
  std::function<void(ReaderContext &, const QString &)> parseDfm;
};

// Clears the model for a new Open (step 1 of the open command).
void ClearForOpen(ProjectModel &model);
// Extensions of unit files, in the order a unit named in a uses clause is
// looked for: the design's first.
inline const QString kUnitExtensions[] = {QStringLiteral(".pas"), QStringLiteral(".pp"),
                                          QStringLiteral(".p")};

// Dispatches on the file name: ".dpr" -> ParseDpr, ".pas" -> ParsePas,
// ".dfm" -> ParseDfm (each test separately, in that order); when none of
// those matches, a name ending in ".lpr" -> ParseDpr, in ".pp" or ".p" ->
// ParsePas.
void OpenPath(ReaderContext &ctx, const QString &path);
// True when the file name ends in one of kUnitExtensions (any case).
bool HasUnitExtension(const QString &fileName);
// A unit path in the form two listings of the same file share: absolute,
// cleaned, lower case.
QString ComparablePath(const QString &path);
// The unit-list entry whose display name is `name`, with or without a unit
// extension ("stock" finds "stock.pas" and "stock.pp"); -1 when none is.
int FindUnitByName(const ProjectModel &model, const QString &name);
void ParseDpr(ReaderContext &ctx, const QString &path);
void ScanUsesClauses(ReaderContext &ctx);
void ParsePas(ReaderContext &ctx, const QString &path);
// Loads the highlighted unit (model.SelectedUnit) into SourceLines.
void LoadUnit(ReaderContext &ctx);
void ScanRoutines(ProjectModel &model);
// Fills ListingLines from the selected routine-list entries.
void CollectSelectedText(ProjectModel &model);

// The file of unit-list entry `index` as found on disk at the entry's full
// path (whatever its case there); exists() is false when there is none. The
// window draws date and size, or "File not found", from it.
QFileInfo UnitEntryFileInfo(const ProjectModel &model, int index);

// A routine header without its class qualifiers ("procedure tform1.click;"
// gives "procedure click;"): how an implementation is matched with its
// declaration.
QByteArray RoutineKey(const QByteArray &lowerHeader);

}  // namespace scrivane
