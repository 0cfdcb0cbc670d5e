#pragma once
// Opening project, unit and form files into the model.
#include <QString>

#include "project/ProjectModel.h"

namespace scrivane {

struct FormatSettings;
class UserMessages;

struct ReaderContext {
  ProjectModel &model;
  const FormatSettings &settings;
  UserMessages &messages;
  bool includeUses = false;  // "Include unit files listed in the uses clause"
};

// Clears the model for a new Open (step 1 of the open command).
void ClearForOpen(ProjectModel &model);
// Dispatches on the file name: ".dpr" -> ParseDpr, ".pas" -> ParsePas,
// ".dfm" -> ParseDfm (each test separately, in that order).
void OpenPath(ReaderContext &ctx, const QString &path);
void ParseDpr(ReaderContext &ctx, const QString &path);
void ScanUsesClauses(ReaderContext &ctx);
void ParsePas(ReaderContext &ctx, const QString &path);
// Loads the highlighted unit (model.SelectedUnit) into SourceLines.
void LoadUnit(ReaderContext &ctx);
void ScanRoutines(ProjectModel &model);
// Fills ListingLines from the selected routine-list entries.
void CollectSelectedText(ProjectModel &model);

}  // namespace scrivane
