#include "cli/ListCommands.h"

#include "cli/StreamMessages.h"
#include "format/FormatSettings.h"
#include "platform/Text1252.h"
#include "project/Readers.h"

namespace scrivane::cli {
namespace {

struct OpenedFile {
  ProjectModel model;
  FormatSettings settings;
};

void Open(OpenedFile &opened, const Options &options, StreamMessages &messages) {
  ClearForOpen(opened.model);
  ReaderContext ctx{opened.model, opened.settings, messages, options.includeUses, {}};
  OpenPath(ctx, options.file);
}

}  // namespace

int RunUnitsCommand(const Options &options, QTextStream &out, QTextStream &err) {
  OpenedFile opened;
  StreamMessages messages(err);
  Open(opened, options, messages);
  for (const UnitEntry &entry : opened.model.Units) out << entry.name << '\t' << entry.fullPath << '\n';
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
    err << options.file.toLower() << " lists no units." << Qt::endl;
    return kExitMessage;
  }
  int wanted = 0;
  if (!options.unitName.isEmpty()) {
    wanted = FindUnitByName(model, options.unitName);
    if (wanted < 0) {
      err << options.unitName.toLower() << " not found." << Qt::endl;
      return kExitMessage;
    }
  }
  // A unit opened alone is loaded already; a project's unit is loaded the
  // way a click on its entry loads it.
  if (model.CurrentUnitPath.isEmpty() || model.SelectedUnit != wanted) {
    model.SelectedUnit = wanted;
    ReaderContext ctx{model, opened.settings, messages, options.includeUses, {}};
    LoadUnit(ctx);
    if (messages.reported) return kExitMessage;
  }
  for (const RoutineEntry &routine : model.Routines) out << Decode1252(routine.text) << '\n';
  out.flush();
  return kExitOk;
}

}  // namespace scrivane::cli
