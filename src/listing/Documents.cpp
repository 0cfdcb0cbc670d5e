#include "listing/Documents.h"

#include "format/FormatSettings.h"
#include "listing/CrossLinks.h"
#include "print/PageCanvas.h"
#include "project/ProjectModel.h"
#include "project/Readers.h"

namespace scrivane {

ReadChoices ReadChoicesOf(const FormatSettings &settings) {
  ReadChoices choices;
  choices.lowerCase = settings.Lower == 1;
  choices.followIncludes = settings.FollowIncludes == 1;
  choices.keepOwnLines = settings.Layout == 1;
  choices.implementationRoutines = settings.ImplementationRoutines == 1;
  choices.formLinesAsInFile = settings.LineNo == 1 && settings.LineNumbersFrom == 1;
  return choices;
}

Documents::Documents(ProjectModel &model, const FormatSettings &settings)
    : Unit(model, settings),
      Procedures(model, settings),
      Project(model, settings),
      Index(model, settings),
      CrossReference(model, settings),
      Form(model, settings),
      FormEvents(Form.Job().Events()),
      model_(model),
      settings_(settings) {
  CrossReference.IsCrossReference = true;
}

bool Documents::PrepareCrossLinks(const QStringList &modules, bool entriesPrinted) {
  ClearCrossLinks();
  if (settings_.CrossLinks != 1 || modules.isEmpty()) return false;
  // The folders the listing looks for include files in, in its order: an
  // include file found only through --include-path was printed, yet
  // nothing in it or declared by it was linked.
  const QStringList folders = model_.IncludeSearchPaths + model_.UserIncludePaths;
  const QString project = model_.ProjectLoaded ? model_.OpenedPath : QString();
  CrossReferences refs;
  if (std::unique_ptr<Ahead> ahead = std::move(ahead_);
      ahead && ahead->modules == modules && ahead->includeFolders == folders && project.isEmpty())
    refs = ahead->refs.get();
  else
    refs = ResolveCrossReferences(modules, folders, project);
  crossLinksNotFollowed_ = refs.notFollowed;
  links_ = std::make_shared<CrossLinks>(std::move(refs));
  links_->EntriesPrinted = entriesPrinted;
  Unit.CrossLinks = links_.get();
  Project.CrossLinks = links_.get();
  CrossReference.CrossReference = links_.get();
  return true;
}

QStringList Documents::BookModules() const {
  QStringList modules;
  // The program's code calls the units'; a package's file has no code.
  if (model_.ProjectLoaded) {
    const QString program = model_.OpenedPath;
    if (program.endsWith(QStringLiteral(".dpr"), Qt::CaseInsensitive) ||
        program.endsWith(QStringLiteral(".lpr"), Qt::CaseInsensitive))
      modules << program;
  }
  for (const UnitEntry &entry : std::as_const(model_.Units))
    if (entry.leftOut.isEmpty() && entry.kind != EntryKind::FormFile &&
        !modules.contains(entry.PathToRead()))
      modules << entry.PathToRead();
  return modules;
}

bool Documents::PrepareUnitCrossLinks() {
  const int unit = model_.SelectedUnit;
  if (model_.FormMode || unit < 0 || unit >= model_.Units.size() ||
      model_.Units.at(unit).kind == EntryKind::FormFile) {
    ClearCrossLinks();
    return false;
  }
  // Resolved alone, the unit knows no other unit's declarations: a name
  // they declare stays unresolved, so no use leads out of the print.
  return PrepareCrossLinks({model_.Units.at(unit).PathToRead()}, false);
}

void Documents::ResolveAhead(const QStringList &modules, const QStringList &includeFolders) {
  auto ahead = std::make_unique<Ahead>();
  ahead->modules = modules;
  ahead->includeFolders = includeFolders;
  try {
    ahead->refs = std::async(std::launch::async, [modules, includeFolders] {
      return ResolveCrossReferences(modules, includeFolders);
    });
  } catch (const std::system_error &) {
    return;  // no thread to be had: resolved when asked, as before
  }
  ahead_ = std::move(ahead);
}

void Documents::ClearCrossLinks() {
  CrossReference.DropRowsMadeAhead();
  Unit.CrossLinks = nullptr;
  Project.CrossLinks = nullptr;
  CrossReference.CrossReference = nullptr;
  links_.reset();
}

void Documents::PrepareCrossReference() {
  CrossReference.Job().Names.ProjectNameText =
      HeaderNameText(model_.OpenedPath, settings_.Path2 != 0);
}

void Documents::SetClock(const QDateTime &now) {
  Unit.SetClock(now);
  Procedures.Job().SetClock(now);
  Project.Job().SetClock(now);
  Index.Job().SetClock(now);
  CrossReference.Job().SetClock(now);
  Form.Job().SetClock(now);
}

PrintEvents Documents::EventsOf(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::Unit:
      return Unit.Events();
    case DocumentKind::Form:
      return FormEvents;
    case DocumentKind::Procedures:
      return Procedures.Job().Events();
    case DocumentKind::Project:
      return Project.Job().Events();
    case DocumentKind::Index:
      return Index.Job().Events();
    case DocumentKind::CrossReference:
      return CrossReference.Job().Events();
  }
  return {};
}

bool Documents::PrepareUnit(bool markSelectedOnly) {
  Unit.ResetListingState();
  Form.ResetListingState();
  const bool whole = !model_.AnyRoutineSelected();
  if (whole)
    model_.ListingLines = model_.SourceLines;
  else
    CollectSelectedText(model_);
  if (!whole && markSelectedOnly) Unit.SelectedOnly = true;
  return whole;
}

void Documents::PrepareWholeUnit() {
  Unit.ResetListingState();
  Form.ResetListingState();
  model_.ListingLines = model_.SourceLines;
}

void Documents::PrepareProcedures() {
  QString name;
  if (model_.SelectedUnit >= 0 && model_.SelectedUnit < model_.Units.size()) {
    const UnitEntry &entry = model_.Units.at(model_.SelectedUnit);
    // The display name has no folder; with full paths on, the entry's path.
    name =
        settings_.Path1 != 0 && !entry.fullPath.isEmpty() ? entry.fullPath : entry.name.trimmed();
  }
  Procedures.Job().Names = {HeaderNameText(name, settings_.Path1 != 0),
                            HeaderNameText(model_.OpenedPath, settings_.Path2 != 0)};
}

void Documents::PrepareProject() {
  Project.Job().Names.ProjectNameText = HeaderNameText(model_.OpenedPath, settings_.Path2 != 0);
}

void Documents::PrepareIndex() {
  Index.Job().Names.ProjectNameText = HeaderNameText(model_.OpenedPath, settings_.Path2 != 0);
}

int PaginateDocument(const PrintEvents &events, PageDevice &device) {
  if (!events.OnBeginPrint || !events.OnPrintPage || !events.OnEndPrint) return 0;
  PageInfoPtr info;
  events.OnBeginPrint(info);
  PageCanvas canvas(device);
  canvas.SetMeasureMode();
  int page = 1;
  for (;; ++page) {
    info->PageNumber = page;
    info->LastPage = false;
    events.OnPrintPage(*info, canvas);
    if (info->LastPage) break;
  }
  events.OnEndPrint(info);
  return page;
}

}  // namespace scrivane
