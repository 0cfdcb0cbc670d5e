#include "app/CommandState.h"

#include <algorithm>

namespace scrivane {

QString ImageStem(const QString &unitPath) {
  // The dot is looked for in the file name only: a dotted folder name must
  // not cut the stem short (the image would never be found beside the unit).
  const int nameStart = int(std::max(unitPath.lastIndexOf(QLatin1Char('/')),
                                     unitPath.lastIndexOf(QLatin1Char('\\')))) + 1;
  const int dot = int(unitPath.indexOf(QLatin1Char('.'), nameStart));
  return dot < 0 ? QString() : unitPath.left(dot + 1);
}

CommandState ComputeCommandState(const ProjectModel &model, bool projectFilesTabActive,
                                 const std::function<bool(const QString &)> &fileExists) {
  CommandState state;
  const bool hasUnits = !model.Units.isEmpty();
  const bool unitSelected =
      hasUnits && model.SelectedUnit >= 0 && model.SelectedUnit < model.Units.size();
  if (hasUnits) {
    state.printBtn = true;
    state.previewBtn = true;
  }
  const auto enableUnitItems = [&state] {
    state.prevProc = state.prevUnit = state.printProc = state.printUnit = true;
  };
  if (hasUnits && !model.CurrentUnitPath.isEmpty() && unitSelected) {
    state.unitHighlighted = true;
    state.unitItemCaption = HighlightedUnitCaption;
    enableUnitItems();
    if (model.ProjectLoaded) state.entireProj = state.printProj = state.prevProj = true;
  }
  if (model.AnyRoutineSelected()) {
    state.unitHighlighted = false;
    state.unitItemCaption = HighlightedRoutinesCaption;
    enableUnitItems();
    if (projectFilesTabActive) state.copyBtn = state.clearBtn = true;
    if (model.ProjectLoaded) state.printProj = state.prevProj = true;
  }
  const QString stem = ImageStem(model.CurrentUnitPath);
  const bool formImageTab = !projectFilesTabActive;
  if (formImageTab && hasUnits && !stem.isEmpty() && fileExists(stem + QStringLiteral("dfm")))
    state.captureBtn = true;
  if (!stem.isEmpty() && formImageTab && fileExists(stem + QStringLiteral("bmp")))
    state.clearBtn = state.copyBtn = true;
  return state;
}

}  // namespace scrivane
