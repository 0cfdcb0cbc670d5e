#include "cli/PrintCommand.h"

#include <QFileInfo>

#include "cli/StreamMessages.h"
#include "format/FormatSettings.h"
#include "listing/UnitListing.h"
#include "platform/OutputGuard.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "print/PdfPrintTarget.h"
#include "print/PrintRunner.h"
#include "project/Readers.h"

namespace scrivane::cli {
namespace {

// Marks the routine-list entry shown as text; false when there is none.
bool SelectRoutine(ProjectModel &model, const QString &text) {
  const QByteArray wanted = Encode1252(text.trimmed().toLower());
  for (RoutineEntry &routine : model.Routines)
    if (routine.text.trimmed() == wanted) return routine.selected = true;
  return false;
}

}  // namespace

int RunPrintCommand(const Options &options, QTextStream &out, QTextStream &err) {
  const QString iniPath = options.iniPath.isEmpty() ? SettingsFilePath() : options.iniPath;
  if (!options.iniPath.isEmpty() && !QFileInfo(iniPath).isFile()) {
    err << iniPath << " not found." << Qt::endl;
    return kExitMessage;
  }
  const FormatSettings settings = LoadFormatSettings(iniPath);

  ProjectModel model;
  StreamMessages messages(err);
  ClearForOpen(model);
  ReaderContext ctx{model, settings, messages, options.includeUses, {}};
  OpenPath(ctx, options.file);
  if (messages.reported) return kExitMessage;
  if (model.Units.isEmpty()) {
    err << options.file.toLower() << " lists no units." << Qt::endl;
    return kExitMessage;
  }
  const int unit = options.unitName.isEmpty() ? 0 : FindUnitByName(model, options.unitName);
  if (unit < 0) {
    err << options.unitName.toLower() << " not found." << Qt::endl;
    return kExitMessage;
  }
  if (model.CurrentUnitPath.isEmpty() || model.SelectedUnit != unit) {
    model.SelectedUnit = unit;
    LoadUnit(ctx);
    if (messages.reported) return kExitMessage;
  }
  if (model.FormMode) {
    err << model.CurrentUnitPath << " is a form file: scrivane-print prints unit listings only." << Qt::endl;
    return kExitMessage;
  }
  for (const QString &text : options.selects) {
    if (!SelectRoutine(model, text)) {
      err << text.trimmed().toLower() << " not found in the routines of " << model.Units[unit].name << "."
          << Qt::endl;
      return kExitMessage;
    }
  }

  // The window's print command for the highlighted unit, step by step.
  UnitListing listing(model, settings);
  model.IndexEntries.clear();
  listing.ResetListingState();
  if (model.AnyRoutineSelected()) {
    CollectSelectedText(model);
    listing.SelectedOnly = true;
    model.UnitHighlighted = false;
  } else {
    model.ListingLines = model.SourceLines;
    model.UnitHighlighted = true;
  }

  QStringList inputs = model.ProjectFiles();
  inputs << iniPath;
  if (const QString refusal = RefuseOutputOverInput(options.outputPath, inputs); !refusal.isEmpty()) {
    err << refusal << Qt::endl;
    return kExitMessage;
  }
  PdfPrintTarget target(options.outputPath);
  try {
    const PrintOutcome outcome = RunPrint(listing.Events(), target, PageRange{});
    out << options.outputPath << ": " << outcome.PagesPrinted << (outcome.PagesPrinted == 1 ? " page" : " pages")
        << " of " << model.Units[unit].name << Qt::endl;
  } catch (const std::exception &failure) {
    err << failure.what() << Qt::endl;
    return kExitMessage;
  }
  return kExitOk;
}

}  // namespace scrivane::cli
