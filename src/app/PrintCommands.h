#pragma once
// The print and preview commands of the main window: each prepares the model
// (which lines, which names, which flags) for one of the five print jobs and
// then prints the job at once or shows it in the preview window.
#include <QByteArray>
#include <QString>
#include <array>
#include <functional>

#include "listing/Documents.h"
#include "listing/ProjectBook.h"
#include "print/PageInfo.h"
#include "print/PaperChoice.h"
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

  // The documents and the commands that prepare them, shared with
  // scrivane-print.
  Documents Docs;

  // The print job of each document. The form object listing's job gets its
  // renderer by assigning its OnPrintPage.
  PrintJob &Job(DocumentKind kind) { return jobs_[static_cast<std::size_t>(kind)]; }
  const PrintJob &Job(DocumentKind kind) const { return jobs_[static_cast<std::size_t>(kind)]; }

  // True when the job's document can be produced (its page event exists).
  static bool HasRenderer(const PrintJob &job) { return bool(job.OnPrintPage); }
  // Whether the Index Listing items are on, as the commands decided it.
  bool IndexItemsEnabled() const { return indexItemsEnabled_; }

  // A project or unit was opened: the index built for the one before is
  // gone, so the Index Listing items go off until a new one is built.
  void FileOpened();

  // The commands, named after the menu items and lists they serve.
  void PrevUnitMenuClick();
  void UnitListDoubleClick();
  void RoutineListDoubleClick();
  void PrintUnitMenuClick();
  // File > Print... (Ctrl+P): the highlighted unit through the system print
  // dialog (printer, copies, pages, sides).
  void PrintUnitWithDialog();
  void EntireProjMenuClick();
  void PrintProcMenuClick();
  void PrevProcMenuClick();
  void PrintProjMenuClick();
  void PrevProjMenuClick();
  void PrintIndexCreatedClick();
  void PrevIndexCreatedClick();
  // Print > Cross-reference and Preview > Cross-reference: where each
  // routine, method and type of the open project is used, made as
  // scrivane-print --document xref makes it; every unit is laid out first
  // (the status window's Cancel stops that), then the document prints or
  // shows. The unit highlighted before comes back after.
  void PrintCrossReference();
  void PreviewCrossReference();
  // Why those two are off, empty when they are on: they need a project open
  // and [Switch] CrossLinks on.
  static QString CrossReferenceOffReason(const ProjectModel &model, const FormatSettings &settings);
  // Print > Save as web page...: the book of the entire-project command
  // as web pages in `folder`, laid out on `paper`, as scrivane-print --all
  // --format html writes it (force: into a folder of other files). The
  // status window's Cancel leaves the folder as it was.
  void SaveWebBook(const QString &folder, bool force, PaperSize paper);

  // Begin and end events of a job whose renderer brings none (the form
  // object listing until it has its own).
  void PlainJobBeginPrint(PageInfoPtr &Info);
  void PlainJobEndPrint(PageInfoPtr &Info);

 private:
  enum class UnitCommand {
    PreviewMenu,
    UnitListDoubleClick,
    RoutineListDoubleClick,
    PrintMenu,
    PrintDialog
  };
  void RunUnitCommand(UnitCommand command);
  void RunCrossReference(bool preview);
  BookOutcome PrintBook();
  BookReaders WindowReaders();
  // Back at the first unit after a book, with the Index items on.
  void EndBook();
  void ReportOutcome(int pages, bool cancelled);
  void LoadUnitEntry(int index);
  void SetIndexItems(bool enabled);
  void Report(const std::exception &error);
  void ShowPreviewOf(PrintJob &job);
  void PrintNow(PrintJob &job, bool directPrint);

  ProjectModel &model_;
  FormatSettings &settings_;
  UserMessages &messages_;
  PrinterHost &printer_;
  QWidget *parent_;
  bool indexItemsEnabled_ = false;
  // By DocumentKind: Unit, Form, Procedures, Project, Index, CrossReference.
  std::array<PrintJob, static_cast<std::size_t>(DocumentKind::CrossReference) + 1> jobs_;
};

}  // namespace scrivane
