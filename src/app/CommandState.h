#pragma once
// Which commands are available, worked out from the model alone so that the
// rules can be checked without a window.
#include <QString>
#include <functional>

#include "project/ProjectModel.h"

namespace scrivane {

inline const QString HighlightedUnitCaption = QStringLiteral("&Highlighted unit");
inline const QString HighlightedRoutinesCaption =
    QStringLiteral("&Highlighted procedures and functions");

struct CommandState {
  // Print and preview menu items.
  bool prevUnit = false, prevProc = false, prevProj = false;
  bool printUnit = false, printProc = false, printProj = false, entireProj = false;
  // Toolbar buttons.
  bool clearBtn = false, printBtn = false, previewBtn = false, copyBtn = false, captureBtn = false;
  // The model's UnitHighlighted flag as it must be afterwards.
  bool unitHighlighted = false;
  // New caption of the two "highlighted" items; empty leaves them as they are.
  QString unitItemCaption;
  friend bool operator==(const CommandState &, const CommandState &) = default;
};

// The form image's file stem: the path up to and including its first ".",
// empty when the path has none.
QString ImageStem(const QString &unitPath);

// fileExists answers for a full path; the window passes the file system.
CommandState ComputeCommandState(const ProjectModel &model, bool projectFilesTabActive,
                                 const std::function<bool(const QString &)> &fileExists);

}  // namespace scrivane
