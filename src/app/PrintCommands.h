#pragma once
// The print and preview commands of the main window: each prepares the model
// (which lines, which names, which flags) for one of the five print jobs and
// then prints the job at once or shows it in the preview window.
#include <QByteArray>
#include <QString>
#include <functional>

#include "listing/UnitListing.h"
#include "print/PageInfo.h"
#include "print/gui/PrintPreview.h"

class QWidget;

namespace scrivane {

struct FormatSettings;
struct ProjectModel;
class PrinterHost;
class UserMessages;

// The main window's flags the commands and the jobs share (all false at
// start). SelectedOnly belongs to the unit listing's state.
struct PrintFlags {
  bool DirectPrint = false;     // the next Print skips the print dialog
  bool PrintCancelled = false;  // the status window's Cancel; ends a project run
  bool IndexAvailable = false;  // the preview offers its Index button
  bool IndexRequested = false;  // the routines of a whole unit were run for the index
};

// What the commands need of the window. Every member may be left empty.
struct PrintCommandHooks {
  std::function<void()> UpdateCommands;
  // Highlights entry `index` of the unit list (the model's SelectedUnit is
  // already set).
  std::function<void(int index)> SelectUnit;
  std::function<void(const QString &text)> SetStatusLine;
  // Both "&Index Listing" items, in the print and in the preview menu.
  std::function<void(bool enabled)> EnableIndexItems;
  // Loads the form text of the highlighted entry when a form file is open.
  std::function<void()> LoadFormText;
  // Runs before each unit of an entire-project run is printed: printing to
  // PDF files, the window chooses one file per unit here.
  std::function<void(int index)> BeforeUnitJob;
};

class PrintCommands {
 public:
  PrintCommands(ProjectModel &model, FormatSettings &settings, UserMessages &messages,
                PrinterHost &printer, QWidget *parent = nullptr);
  ~PrintCommands();
  PrintCommands(const PrintCommands &) = delete;
  PrintCommands &operator=(const PrintCommands &) = delete;

  PrintCommandHooks Hooks;
  PrintFlags Flags;
  bool IncludeUses = false;  // handed to the readers when a unit is loaded

  // The renderer of the unit listing (PrintPreview2).
  UnitListing Listing;
  // The names the other documents print in their headers and footers.
  QByteArray UnitNameText;
  QByteArray ProjectNameText;

  // Project listing, unit listing, form object listing, procedures list,
  // index listing. Only the unit listing has its page event yet; a document
  // gets its renderer by assigning its job's OnPrintPage.
  TPrintPreview PrintPreview1;
  TPrintPreview PrintPreview2;
  TPrintPreview PrintPreview3;
  TPrintPreview PrintPreview4;
  TPrintPreview PrintPreview5;

  // True when the job's document can be produced (its page event exists):
  // the window keeps the other menu items disabled until then.
  static bool HasRenderer(const TPrintPreview &job) { return bool(job.OnPrintPage); }
  // Whether the Index Listing items are on, as the commands decided it; the
  // window's items follow it only while the index listing has its renderer.
  bool IndexItemsEnabled() const { return indexItemsEnabled_; }

  // The commands, named after the menu items and lists they serve.
  void PrevUnitMenuClick();
  void PickList1DblClick();
  void PickList2DblClick();
  void PrintUnitMenuClick();
  void EntireProjMenuClick();
  void PrintProcMenuClick();
  void PrevProcMenuClick();
  void PrintProjMenuClick();
  void PrevProjMenuClick();
  void PrintIndexCreatedClick();
  void PrevIndexCreatedClick();

  // Shared begin and end events of the project, form, procedure and index
  // jobs.
  void PrintPreview1BeginPrint(PageInfoPtr &Info);
  void PrintPreview1EndPrint(PageInfoPtr &Info);

  // Called by the index commands once their job has run; the index
  // listing's renderer clears its field list here.
  std::function<void()> ClearIndexFields;

 private:
  enum class UnitCommand { PreviewMenu, UnitListDoubleClick, RoutineListDoubleClick, PrintMenu };
  void RunUnitCommand(UnitCommand command);
  void SetWholeOrSelectedText(bool markSelectedOnly, bool *wasWhole);
  void LoadUnitEntry(int index);
  void SetProjectTitle();
  void SetProcedureListTitles();
  void SetIndexItems(bool enabled);
  void Report(const std::exception &error);
  void ShowPreviewOf(TPrintPreview &job);
  void PrintJob(TPrintPreview &job, bool directPrint);

  ProjectModel &model_;
  FormatSettings &settings_;
  UserMessages &messages_;
  PrinterHost &printer_;
  QWidget *parent_;
  bool indexItemsEnabled_ = false;
};

}  // namespace scrivane
