#include "app/CommandState.h"

#include <algorithm>

#include "project/FormImage.h"

namespace scrivane {

QString ImageStem(const QString &unitPath) { return FormImageStem(unitPath); }

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
  const bool formFile = !stem.isEmpty() && (fileExists(stem + QStringLiteral("dfm")) ||
                                            fileExists(stem + QStringLiteral("lfm")));
  if (formImageTab && hasUnits && formFile) state.captureBtn = true;
  // Only a unit with a form shows its image, and only a shown image can be
  // copied or deleted: a bitmap that merely shares the unit's name is not it.
  if (formImageTab && formFile && fileExists(stem + QStringLiteral("bmp")))
    state.clearBtn = state.copyBtn = true;
  return state;
}

}  // namespace scrivane
