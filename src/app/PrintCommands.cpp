#include "app/PrintCommands.h"

#include "format/FormatSettings.h"
#include "listing/ProjectBook.h"
#include "platform/Paths.h"
#include "platform/UserMessages.h"
#include "print/PdfPrintTarget.h"
#include "print/gui/PrintStatusForm.h"
#include "printer/PrinterHost.h"
#include "project/ProjectModel.h"
#include "project/Readers.h"
#include "web/WebBook.h"

namespace scrivane {

namespace {

// The book's index cites pages: its pages carry their numbers, as the
// command line prints the book (the Format settings come back after).
class EveryPageNumbered {
 public:
  explicit EveryPageNumbered(FormatSettings &settings) : settings_(settings), kept_(settings) {
    NumberEveryPage(settings_);
  }
  ~EveryPageNumbered() { settings_ = kept_; }

 private:
  FormatSettings &settings_;
  const FormatSettings kept_;
};

// The hourglass from a command's start to its end, also when it fails.
class BusyScope {
 public:
  explicit BusyScope(UserMessages &messages) : messages_(messages) { messages_.SetBusy(true); }
  ~BusyScope() { messages_.SetBusy(false); }

 private:
  UserMessages &messages_;
};

void SetUpJob(PrintJob &job, PrintFlags &flags) {
  job.ZoomOptions.SetMinZoom(100);
  job.ZoomOptions.SetMaxZoom(400);
  job.Title = QStringLiteral("Print Preview");
  job.DirectPrint = &flags.DirectPrint;
  job.PrintCancelled = &flags.PrintCancelled;
}

}  // namespace

PrintCommands::PrintCommands(ProjectModel &model, FormatSettings &settings, UserMessages &messages,
                             PrinterHost &printer, QWidget *parent)
    : Docs(model, settings),
      model_(model),
      settings_(settings),
      messages_(messages),
      printer_(printer),
      parent_(parent),
      jobs_{PrintJob(printer, parent), PrintJob(printer, parent), PrintJob(printer, parent),
            PrintJob(printer, parent), PrintJob(printer, parent), PrintJob(printer, parent)} {
  for (DocumentKind kind :
       {DocumentKind::Unit, DocumentKind::Form, DocumentKind::Procedures, DocumentKind::Project,
        DocumentKind::Index, DocumentKind::CrossReference}) {
    PrintJob &job = Job(kind);
    job.PagesPerSheet = &settings_.PagesPerSheet;
    SetUpJob(job, Flags);
    job.OnBeginPrint = [this](PageInfoPtr &info) { PlainJobBeginPrint(info); };
    job.OnEndPrint = [this](PageInfoPtr &info) { PlainJobEndPrint(info); };
    const PrintEvents events = Docs.EventsOf(kind);
    if (!events.OnPrintPage) continue;
    job.OnBeginPrint = events.OnBeginPrint;
    job.OnPrintPage = events.OnPrintPage;
    job.OnEndPrint = events.OnEndPrint;
  }
}

PrintCommands::~PrintCommands() = default;

void PrintCommands::PlainJobBeginPrint(PageInfoPtr &Info) {
  auto info = std::make_unique<ListingPageInfo>();
  info->Title = model_.OpenedPath;
  info->KnownPages = 1;
  info->Drawing = true;
  Info = std::move(info);
}

void PrintCommands::PlainJobEndPrint(PageInfoPtr &Info) { Info.reset(); }

void PrintCommands::Report(const std::exception &error) {
  const QString file =
      model_.CurrentUnitPath.isEmpty() ? model_.OpenedPath : model_.CurrentUnitPath;
  messages_.Warning(FailureText(error, file, true));
}

void PrintCommands::FileOpened() {
  Flags.IndexRequested = false;
  SetIndexItems(false);
}

void PrintCommands::SetIndexItems(bool enabled) {
  indexItemsEnabled_ = enabled;
  if (Hooks.EnableIndexItems)
    Hooks.EnableIndexItems(enabled && HasRenderer(Job(DocumentKind::Index)));
}

void PrintCommands::ShowPreviewOf(PrintJob &job) {
  if (!HasRenderer(job)) {
    messages_.Information(QStringLiteral("This document cannot be shown yet."));
    return;
  }
  const PreviewResult result = job.ShowPreview(settings_.Measure, Flags.IndexAvailable);
  if (result.IndexRequested) Flags.IndexRequested = true;
}

void PrintCommands::PrintNow(PrintJob &job, bool directPrint) {
  if (!HasRenderer(job)) {
    messages_.Information(QStringLiteral("This document cannot be printed yet."));
    return;
  }
  const PrintOutcome outcome = job.Print(directPrint);
  ReportOutcome(outcome.PagesPrinted, outcome.Cancelled);
}

// The status line says where a print went: a print to PDF leaves no other
// trace on screen, and a cancel should not pass for a print.
void PrintCommands::ReportOutcome(int pages, bool cancelled) {
  if (!Hooks.SetStatusLine) return;
  if (cancelled) {
    Hooks.SetStatusLine(QStringLiteral(" Print cancelled."));
    return;
  }
  if (pages <= 0) return;
  const QPrinter &printer = printer_.printer();
  const QString count =
      pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pages);
  // A book printed whole but without its links says why.
  const QString notLinked =
      Docs.TakeCrossLinksNotFollowed().isEmpty()
          ? QString()
          : QStringLiteral(" Without cross references: the code nests too deeply.");
  if (printer.outputFormat() == QPrinter::PdfFormat && !printer_.LastPdfFile.isEmpty())
    Hooks.SetStatusLine(QStringLiteral(" Wrote %1 (%2).").arg(printer_.LastPdfFile, count) +
                        notLinked);
  else
    Hooks.SetStatusLine(QStringLiteral(" Sent %1 to %2.").arg(count, printer.printerName()) +
                        notLinked);
}

void PrintCommands::RunUnitCommand(UnitCommand command) {
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  try {
    Flags.IndexRequested = false;
    const bool printing = command == UnitCommand::PrintMenu || command == UnitCommand::PrintDialog;
    Flags.DirectPrint = command == UnitCommand::PrintMenu;
    if (command == UnitCommand::RoutineListDoubleClick) Flags.IndexAvailable = false;

    const bool marksSelectedOnly = command == UnitCommand::PreviewMenu || printing;
    const bool whole = Docs.PrepareUnit(marksSelectedOnly);
    if (command == UnitCommand::PreviewMenu || command == UnitCommand::UnitListDoubleClick)
      Flags.IndexAvailable = whole;

    if (model_.FormMode && command != UnitCommand::UnitListDoubleClick)
      Flags.IndexAvailable = false;
    PrintJob &job = model_.FormMode ? Job(DocumentKind::Form) : Job(DocumentKind::Unit);
    if (printing) {
      // A printed unit's names lead to its own declarations; the preview
      // has nothing to follow them with.
      Docs.PrepareUnitCrossLinks();
      struct ClearLinks {
        Documents &docs;
        ~ClearLinks() { docs.ClearCrossLinks(); }
      } clearLinks{Docs};
      PrintNow(job, Flags.DirectPrint);
    } else {
      ShowPreviewOf(job);
    }

    switch (command) {
      case UnitCommand::PreviewMenu:
      case UnitCommand::UnitListDoubleClick:
        SetIndexItems(Flags.IndexRequested);
        break;
      case UnitCommand::PrintMenu:
      case UnitCommand::PrintDialog:
        Flags.IndexRequested = true;
        SetIndexItems(true);
        break;
      case UnitCommand::RoutineListDoubleClick:
        break;
    }
  } catch (const std::exception &error) {
    Report(error);
  }
}

void PrintCommands::PrevUnitMenuClick() { RunUnitCommand(UnitCommand::PreviewMenu); }
void PrintCommands::UnitListDoubleClick() { RunUnitCommand(UnitCommand::UnitListDoubleClick); }
void PrintCommands::RoutineListDoubleClick() {
  RunUnitCommand(UnitCommand::RoutineListDoubleClick);
}
void PrintCommands::PrintUnitMenuClick() { RunUnitCommand(UnitCommand::PrintMenu); }
void PrintCommands::PrintUnitWithDialog() { RunUnitCommand(UnitCommand::PrintDialog); }

void PrintCommands::LoadUnitEntry(int index) {
  model_.SelectedUnit = index;
  if (Hooks.SelectUnit) Hooks.SelectUnit(index);
  model_.CurrentUnitPath.clear();
  // A form file's entry loads its form text (LoadUnit sees FormFileOpened).
  ReaderContext context{model_, ReadChoicesOf(settings_), messages_, IncludeUses,
                        {},     Hooks.SetStatusLine};
  LoadUnit(context);
  if (Hooks.SetStatusLine) Hooks.SetStatusLine(QStringLiteral(" Unit: ") + model_.CurrentUnitPath);
  if (Hooks.UpdateCommands) Hooks.UpdateCommands();
}

// The project is one book, as scrivane-print --all prints it, on a printer
// as in a PDF file: one job with the project file, every unit, its form
// listing and the index, so that the index's pages are the printed ones.
void PrintCommands::EntireProjMenuClick() {
  if (model_.Units.isEmpty()) return;
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  Flags.IndexRequested = false;
  // A Cancel of an earlier run must not end this one before it starts.
  Flags.PrintCancelled = false;
  BookOutcome outcome;
  {
    EveryPageNumbered numbered(settings_);
    try {
      outcome = PrintBook();
    } catch (const std::exception &error) {
      Report(error);
    }
  }
  EndBook();
  ReportOutcome(outcome.PagesPrinted, outcome.Cancelled);
}

void PrintCommands::EndBook() {
  SetIndexItems(true);
  // Back to the first entry, also after a cancel or a failure.
  try {
    LoadUnitEntry(0);
  } catch (const std::exception &error) {
    Report(error);
  }
}

BookReaders PrintCommands::WindowReaders() {
  BookReaders readers;
  // A unit whose file is missing has said so and prints with no lines, as
  // in a run unit by unit.
  readers.LoadUnit = [this](int index) {
    LoadUnitEntry(index);
    return true;
  };
  readers.LoadForm = [this](const QString &form) {
    ReaderContext context{model_, ReadChoicesOf(settings_), messages_, IncludeUses,
                          {},     Hooks.SetStatusLine};
    return LoadFormOfUnit(context, form);
  };
  return readers;
}

void PrintCommands::SaveWebBook(const QString &folder, bool force, PaperSize paper) {
  if (model_.Units.isEmpty()) return;
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  Flags.IndexRequested = false;
  Flags.PrintCancelled = false;
  WebBookOptions options;
  options.folder = folder;
  options.bookTitle = FileNamePart(model_.OpenedPath);
  options.force = force;
  WebBookOutcome outcome;
  QString error;
  bool written = false;
  {
    EveryPageNumbered numbered(settings_);
    PrintStatusWindow status(parent_, &Flags.PrintCancelled);
    status.show();
    PdfDevice device(paper);
    try {
      written = WriteProjectWebBook(model_, Docs, WindowReaders(), device, settings_, options,
                                    &status, &outcome, &error);
      if (!written) messages_.Warning(error);
    } catch (const std::exception &failure) {
      Report(failure);
    }
  }
  EndBook();
  if (!Hooks.SetStatusLine) return;
  if (outcome.cancelled)
    Hooks.SetStatusLine(QStringLiteral(" Web pages cancelled: nothing was written."));
  else if (written)
    Hooks.SetStatusLine(
        QStringLiteral(" Wrote %1 web pages to %2.").arg(outcome.pages).arg(folder));
}

BookOutcome PrintCommands::PrintBook() {
  const BookReaders readers = WindowReaders();
  Flags.DirectPrint = true;
  BookOutcome outcome;
  PrintWithStatusWindow(
      printer_, parent_, &Flags.PrintCancelled,
      [&](PrintTarget &target, PrintProgress &progress) {
        outcome = PrintProjectBook(model_, Docs, readers, target, &progress);
      },
      settings_.PagesPerSheet);
  return outcome;
}

void PrintCommands::PrintProcMenuClick() {
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  try {
    Flags.DirectPrint = true;
    Docs.PrepareProcedures();
    PrintNow(Job(DocumentKind::Procedures), Flags.DirectPrint);
  } catch (const std::exception &error) {
    Report(error);
  }
  Flags.IndexRequested = false;
  SetIndexItems(false);
}

void PrintCommands::PrevProcMenuClick() {
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  try {
    Flags.IndexRequested = false;
    Flags.IndexAvailable = false;
    Docs.PrepareProcedures();
    ShowPreviewOf(Job(DocumentKind::Procedures));
  } catch (const std::exception &error) {
    Report(error);
  }
  Flags.IndexRequested = false;
  SetIndexItems(false);
}

void PrintCommands::PrintProjMenuClick() {
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  try {
    Flags.DirectPrint = true;
    Docs.PrepareProject();
    PrintNow(Job(DocumentKind::Project), Flags.DirectPrint);
  } catch (const std::exception &error) {
    Report(error);
  }
  Flags.IndexRequested = false;
  SetIndexItems(false);
}

void PrintCommands::PrevProjMenuClick() {
  BusyScope busy(messages_);
  model_.IndexEntries.clear();
  try {
    Flags.IndexAvailable = false;
    Docs.PrepareProject();
    ShowPreviewOf(Job(DocumentKind::Project));
  } catch (const std::exception &error) {
    Report(error);
  }
  Flags.IndexRequested = false;
  SetIndexItems(false);
}

void PrintCommands::PrintIndexCreatedClick() {
  BusyScope busy(messages_);
  try {
    Docs.PrepareIndex();
    PrintNow(Job(DocumentKind::Index), Flags.DirectPrint);
  } catch (const std::exception &error) {
    Report(error);
  }
}

void PrintCommands::PrevIndexCreatedClick() {
  BusyScope busy(messages_);
  try {
    Flags.IndexAvailable = false;
    Docs.PrepareIndex();
    ShowPreviewOf(Job(DocumentKind::Index));
  } catch (const std::exception &error) {
    Report(error);
  }
}

QString PrintCommands::CrossReferenceOffReason(const ProjectModel &model,
                                               const FormatSettings &settings) {
  if (!model.ProjectLoaded || model.Units.isEmpty())
    return QStringLiteral("Open a project to cross-reference its units.");
  if (settings.CrossLinks != 1)
    return QStringLiteral(
        "Cross links are off: turn on \"Link names in the code to their declarations\" in "
        "the Format dialog.");
  return {};
}

void PrintCommands::PrintCrossReference() { RunCrossReference(false); }
void PrintCommands::PreviewCrossReference() { RunCrossReference(true); }

void PrintCommands::RunCrossReference(bool preview) {
  if (const QString reason = CrossReferenceOffReason(model_, settings_); !reason.isEmpty()) {
    messages_.Information(reason);
    return;
  }
  BusyScope busy(messages_);
  const int highlighted = model_.SelectedUnit;
  model_.IndexEntries.clear();
  Flags.IndexRequested = false;
  Flags.IndexAvailable = false;
  Flags.PrintCancelled = false;
  CrossReferenceOutcome made;
  {
    // Its rows cite the units' pages by number, as the book does.
    EveryPageNumbered numbered(settings_);
    try {
      {
        PrintStatusWindow status(parent_, &Flags.PrintCancelled);
        status.show();
        made = PrepareCrossReferenceDocument(model_, Docs, WindowReaders(), printer_, -1, &status);
        status.Finish();
      }
      if (made.Ready) {
        struct ClearLinks {
          Documents &docs;
          ~ClearLinks() { docs.ClearCrossLinks(); }
        } clearLinks{Docs};
        if (preview) {
          ShowPreviewOf(Job(DocumentKind::CrossReference));
        } else {
          Flags.DirectPrint = true;
          PrintNow(Job(DocumentKind::CrossReference), true);
        }
      } else if (made.NothingToResolve) {
        messages_.Information(QStringLiteral("The project has no unit to cross-reference."));
      }
    } catch (const std::exception &error) {
      Report(error);
    }
  }
  // Back at the unit highlighted before; the index of every unit laid out
  // is there to print.
  SetIndexItems(true);
  try {
    LoadUnitEntry(highlighted >= 0 && highlighted < model_.Units.size() ? highlighted : 0);
  } catch (const std::exception &error) {
    Report(error);
  }
  if (made.Cancelled) ReportOutcome(0, true);
}

}  // namespace scrivane
