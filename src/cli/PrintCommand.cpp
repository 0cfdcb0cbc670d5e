#include "cli/PrintCommand.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <climits>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "cli/ListCommands.h"
#include "cli/StreamMessages.h"
#include "cli/SystemPrinter.h"
#include "format/FormatChoices.h"
#include "format/FormatSettings.h"
#include "format/IniFile.h"
#include "format/SettingOverrides.h"
#include "listing/Documents.h"
#include "listing/ProjectBook.h"
#include "platform/OutputGuard.h"
#include "platform/Paths.h"
#include "platform/ReplacingFile.h"
#include "platform/ShortRunHeap.h"
#include "platform/TemporaryFiles.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "print/PageSelection.h"
#include "print/PageSheets.h"
#include "print/PdfPrintTarget.h"
#include "print/PrintRunner.h"
#include "project/FormImage.h"
#include "project/Readers.h"
#include "web/WebBook.h"

namespace scrivane::cli {
namespace {

// Marks the routine-list entry shown as text; false when there is none.
bool SelectRoutine(ProjectModel &model, const QString &text) {
  // Routine texts are lowered in ASCII only, whatever the file's encoding.
  QString lowered = text.trimmed();
  for (QChar &c : lowered)
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + 32);
  const QByteArray wanted =
      model.SourceEncoding == TextEncoding::Utf8 ? lowered.toUtf8() : Encode1252(lowered);
  for (RoutineEntry &routine : model.Routines)
    if (routine.text.trimmed() == wanted) return routine.selected = true;
  return false;
}

// Messages said while reading ahead, said again in order once the unit
// read is taken, as if it had been read then.
class RecordingMessages : public UserMessages {
 public:
  void Warning(const QString &text) override {
    calls_.push_back([text](UserMessages &m) { m.Warning(text); });
  }
  void FileWarning(const QString &path, const QString &text) override {
    calls_.push_back([path, text](UserMessages &m) { m.FileWarning(path, text); });
  }
  void Information(const QString &text) override {
    calls_.push_back([text](UserMessages &m) { m.Information(text); });
  }
  // The command line answers no to every question; so does reading ahead.
  bool AskYesNo(const QString &text) override {
    calls_.push_back([text](UserMessages &m) { m.AskYesNo(text); });
    return false;
  }
  void Note(const QString &text) override {
    calls_.push_back([text](UserMessages &m) { m.Note(text); });
  }
  void SayAgain(UserMessages &to) {
    for (const auto &call : calls_) call(to);
    calls_.clear();
  }

 private:
  std::vector<std::function<void(UserMessages &)>> calls_;
};

// A book reads its next units on a thread of its own while the current one
// is laid out and written: reading was two fifths of the time of a book
// of 200,000 lines, with the second core idle but for compression. A few
// units are read ahead, not one: a large unit after a small one took
// longer to read than the small one to lay out, and the layout waited for
// it (lclbase.lpk's book: a quarter of its time).
// Each unit is read into a copy of the project model, taken over whole.
constexpr int kUnitsReadWhileResolving = 10;

class UnitReadAhead {
 public:
  UnitReadAhead(const FormatSettings &settings, bool includeUses)
      : settings_(settings), includeUses_(includeUses) {}
  ~UnitReadAhead() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Reads the units from `index` on, up to kUnitsAhead of them, those not
  // read or being read yet; units before `index` not taken are dropped.
  // (`ahead` of them, when more may be read at once.)
  void Start(const ProjectModel &model, int index, int ahead = kUnitsAhead) {
    std::unique_lock lock(mutex_);
    DropBefore(lock, index);
    if (!pending_.empty() && pending_.front()->index != index) DropBefore(lock, INT_MAX);
    const int end = std::min(index + ahead, int(model.Units.size()));
    for (int next = pending_.empty() ? index : pending_.back()->index + 1; next < end; ++next) {
      auto unit = std::make_unique<Pending>();
      unit->index = next;
      // The project and the unit as they stand, not what the print made
      // (its index entries, its listing's lines): copied and then dropped
      // for every unit, a book's index entries made the reading ahead
      // grow with the square of its units.
      unit->scratch = std::make_unique<ProjectModel>();
      static_cast<OpenedProject &>(*unit->scratch) = model;
      static_cast<LoadedUnit &>(*unit->scratch) = model;
      unit->scratch->UnitHighlighted = model.UnitHighlighted;
      unit->scratch->KeepOwnLines = model.KeepOwnLines;
      unit->scratch->SelectedUnit = next;
      unit->scratch->CurrentUnitPath.clear();
      pending_.push_back(std::move(unit));
    }
    lock.unlock();
    changed_.notify_all();
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }

  // Unit `index` read ahead, taken into model with its messages said;
  // false (and nothing changed) when it is not among the units read ahead.
  bool Take(int index, ProjectModel &model, UserMessages &messages) {
    std::unique_ptr<Pending> unit;
    {
      std::unique_lock lock(mutex_);
      DropBefore(lock, index);
      if (pending_.empty() || pending_.front()->index != index) return false;
      changed_.wait(lock, [&] { return pending_.front()->done; });
      unit = std::move(pending_.front());
      pending_.pop_front();
    }
    unit->recorded.SayAgain(messages);
    if (unit->failure) std::rethrow_exception(unit->failure);
    model.TakeLoadedUnit(std::move(*unit->scratch));
    return true;
  }

 private:
  static constexpr int kUnitsAhead = 3;
  struct Pending {
    int index = -1;
    std::unique_ptr<ProjectModel> scratch;
    RecordingMessages recorded;
    std::exception_ptr failure;
    bool started = false, done = false;
  };

  // Units are read in order, so the first is read before any after it.
  void DropBefore(std::unique_lock<std::mutex> &lock, int index) {
    while (!pending_.empty() && pending_.front()->index < index) {
      if (pending_.front()->started) changed_.wait(lock, [&] { return pending_.front()->done; });
      pending_.pop_front();
    }
  }

  void Run() {
    for (;;) {
      Pending *unit = nullptr;
      {
        std::unique_lock lock(mutex_);
        const auto waiting = [&] {
          for (const auto &pending : pending_)
            if (!pending->started) return pending.get();
          return static_cast<Pending *>(nullptr);
        };
        changed_.wait(lock, [&] { return stopping_ || waiting(); });
        if (stopping_) return;
        unit = waiting();
        unit->started = true;
      }
      try {
        ReaderContext ctx{*unit->scratch, ReadChoicesOf(settings_), unit->recorded, includeUses_,
                          true};
        LoadUnit(ctx);
      } catch (...) {
        unit->failure = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        unit->done = true;
      }
      changed_.notify_all();
    }
  }

  const FormatSettings &settings_;
  bool includeUses_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // The units queued, in order; each is held by its own pointer, so a unit
  // being read stays where it is while others are queued or taken.
  std::deque<std::unique_ptr<Pending>> pending_;
  bool stopping_ = false;
  std::thread thread_;
};

// Where the pages go: the PDF file or the printer, through the sheets
// that hold 2 or 4 of them when asked.
struct Output {
  std::unique_ptr<PrintTarget> sink;
  std::unique_ptr<SheetTarget> sheets;
  PrintTarget &target() { return sheets ? static_cast<PrintTarget &>(*sheets) : *sink; }
};

class PrintSession {
 public:
  // printer: the queue of -P, set up; null: a PDF file.
  PrintSession(const Options &options, QTextStream &out, QTextStream &err,
               const FormatSettings &settings, const QString &iniPath, PaperSize paper,
               SystemPrinter *printer)
      : options_(options),
        out_(out),
        err_(err),
        settings_(settings),
        iniPath_(iniPath),
        messages_(err),
        ctx_{model_, ReadChoicesOf(settings), messages_, options.includeUses, true},
        readAhead_(settings, options.includeUses),
        docs_(model_, settings),
        paper_(paper),
        printer_(printer),
        pdfDevice_(paper) {
    model_.UserIncludePaths = UserIncludeFolders(options);
  }

  // Runs once the unit is read, before anything is laid out.
  std::function<void()> BeforeLayout;
  int Run();
  void ResolveAheadOfReading();
  void SayWhyNotLinked() {
    if (const QString why = docs_.TakeCrossLinksNotFollowed(); !why.isEmpty()) Report(err_, why);
  }

 private:
  int RunAll();
  // --format html: the unit (or with --all the book) as web pages.
  int RunWeb();
  bool SelectRoutines(const QString &unitName);
  // laidOut: called once the last page is laid out (PrintEvents::OnLaidOut).
  int Print(DocumentKind kind, const QString &what, std::function<void()> laidOut = {});
  bool ChooseUnit();
  bool LoadEntry(int index);
  // LoadEntry for a book: the unit read ahead when it is the one, and the
  // next one started.
  bool LoadBookEntry(int index);
  // A book's unit once its pages are laid out: nothing of it is printed
  // again (the index keeps its own entries), so its text and routine list
  // go before the next unit or the index is laid out. The last unit of a
  // 1,000,000-line book held 57 MiB through the index.
  void DropPrintedUnit();
  // The routine list once a book's unit has printed it (or, in a
  // project's book, prints none): 13 MiB for a unit of 50,000 routines,
  // held through its listing.
  void DropRoutineList();
  qsizetype linesSinceTrim_ = 0;  // read since the heap was last asked what it has free
  int RunSeveral();
  // Lays out the loaded unit whole, as the window's print does, so that its
  // routines are recorded for an index; nothing is printed.
  void RecordIndexOfLoadedUnit(PageDevice &device);
  int PrintCrossReference();
  bool OutputAllowed();
  // Every file this run reads: what the output may never replace, with or
  // without --force.
  QStringList ReadInputs() const {
    QStringList inputs = model_.ProjectFiles();
    inputs << iniPath_ << options_.file;
    return inputs;
  }
  int RefuseEmptySelection(const QString &what, int lastPage);
  void SayPrinted(int pages, const QString &what) {
    if (options_.quiet) return;
    // On stderr, as a2ps and enscript report theirs: standard output holds
    // nothing but a PDF written there, so `> file` catches no report.
    const bool toStdout = options_.outputPath == kStandardOutput;
    const QString where = printer_   ? options_.printer
                          : toStdout ? QStringLiteral("standard output")
                                     : options_.outputPath;
    err_ << EscapeControlCharacters(where) << ": " << pages << (pages == 1 ? " page" : " pages")
         << " of " << EscapeControlCharacters(what) << Qt::endl;
  }
  // A program written whole in its project file lists no units of its
  // own; its code is the project document.
  QString NoUnits() const {
    QString text = options_.file + QStringLiteral(" lists no units.");
    // Named but not found: the search path may be in its build script.
    if (const QString why = UnitsNotFoundText(model_); !why.isEmpty())
      text = options_.file + QStringLiteral(" lists no units: ") + why + u'.';
    if (model_.ProjectLoaded)
      text += QStringLiteral(" --document project prints the project file.");
    return text;
  }
  int Refuse(const QString &text) {
    Report(err_, text);
    return kExitMessage;
  }

  const Options &options_;
  QTextStream &out_;
  QTextStream &err_;
  const FormatSettings &settings_;
  QString iniPath_;
  ProjectModel model_;
  StreamMessages messages_;
  ReaderContext ctx_;
  UnitReadAhead readAhead_;
  Documents docs_;
  PaperSize paper_;
  SystemPrinter *printer_;
  PdfDevice pdfDevice_;
  // The device pages are laid out for: the printer's, or the PDF sheet's.
  PageDevice &Device() { return printer_ ? printer_->device() : pdfDevice_; }
  Output MakeOutput() {
    const int perSheet = PagesPerSheetOrOne(options_.pagesPerSheet > 0 ? options_.pagesPerSheet
                                                                       : settings_.PagesPerSheet);
    Output output;
    if (printer_) {
      output.sink = printer_->MakeTarget(SheetIsLandscape(perSheet));
    } else {
      auto pdf = std::make_unique<PdfPrintTarget>(options_.outputPath, paper_);
      pdf->setLandscapeSheets(SheetIsLandscape(perSheet));
      pdf->setCommitCheck(
          [this] { return RefuseOutputOverInput(options_.outputPath, ReadInputs()); });
      output.sink = std::move(pdf);
    }
    if (perSheet > 1) output.sheets = std::make_unique<SheetTarget>(*output.sink, perSheet);
    return output;
  }
  int unit_ = 0;
  bool bookStarted_ = false;  // a unit of the book has been loaded
  QString bookName_;          // several files: their names, for the closing line
};

bool PrintSession::LoadEntry(int index) {
  messages_.reported = false;
  model_.SelectedUnit = index;
  model_.CurrentUnitPath.clear();
  LoadUnit(ctx_);
  return !messages_.reported;
}

bool PrintSession::LoadBookEntry(int index) {
  messages_.reported = false;
  // A unit opened by itself was read as it was opened, its warnings said
  // then (an error ended the run there). Reading it again said them twice
  // and held both copies at once: the book of a 1,000,000-line unit peaked
  // 40 MiB above the unit alone.
  const bool readAtOpen =
      !bookStarted_ && index == model_.SelectedUnit && !model_.CurrentUnitPath.isEmpty();
  bookStarted_ = true;
  if (!readAtOpen && !readAhead_.Take(index, model_, messages_)) {
    // Nothing read ahead (the book's first unit): the next units are read
    // beside it, on the core that would wait.
    if (index + 1 < model_.Units.size()) readAhead_.Start(model_, index + 1);
    model_.SelectedUnit = index;
    model_.CurrentUnitPath.clear();
    LoadUnit(ctx_);
  }
  const bool read = !messages_.reported;
  if (index + 1 < model_.Units.size()) readAhead_.Start(model_, index + 1);
  return read;
}

void PrintSession::DropRoutineList() {
  model_.Routines = {};
  // What reading a large unit freed lies between blocks still held; the
  // listing's pages and the links and places of the book grow from here.
  // Asking how much is free walks every free block of the heap: after
  // each unit of a book of small units, with its cross references held,
  // that was a tenth of the whole print. So it is asked once some 50,000
  // lines have been read since it was last asked, and no earlier: fewer
  // free nothing worth giving back.
  linesSinceTrim_ += model_.SourceLines.size();
  if (linesSinceTrim_ < 50000) return;
  linesSinceTrim_ = 0;
  ReturnFreedHeapOver(16ul << 20);
}

void PrintSession::DropPrintedUnit() {
  DropRoutineList();
  model_.SourceLines = {};
  model_.ListingLines = {};
  model_.OwnLines = {};
  model_.JoinedLines = {};
  model_.JoinedHeaders = {};
  model_.IndentedDeeper = {};
  model_.DeclaredRoutines = {};
  model_.RoutineHeadingLines = {};
  model_.ImplementationHeadingLines = {};
  // The index comes next: what the units' reading and layout left free
  // goes back to the system before it (between units the next one reuses
  // it).
  if (model_.SelectedUnit == model_.Units.size() - 1) ReturnFreedHeap();
}

bool PrintSession::ChooseUnit() {
  if (model_.Units.isEmpty()) {
    Refuse(NoUnits());
    return false;
  }
  unit_ = options_.unitName.isEmpty() ? 0 : FindUnitByName(model_, options_.unitName);
  if (unit_ < 0) {
    Refuse(options_.unitName + QStringLiteral(" not found."));
    return false;
  }
  if (model_.CurrentUnitPath.isEmpty() || model_.SelectedUnit != unit_) return LoadEntry(unit_);
  return true;
}

// The PDF never replaces a file of the opened project or the settings, nor
// (without --force) a file that is not a PDF.
bool PrintSession::OutputAllowed() {
  if (printer_) return true;
  QString refusal = RefuseOutputOverInput(options_.outputPath, ReadInputs());
  if (refusal.isEmpty())
    refusal = RefuseOutputTarget(options_.outputPath, options_.force, ForceHint::CommandLine);
  if (!refusal.isEmpty()) Refuse(refusal);
  return refusal.isEmpty();
}

int PrintSession::Print(DocumentKind kind, const QString &what, std::function<void()> laidOut) {
  if (!OutputAllowed()) return kExitMessage;
  Output output = MakeOutput();
  PageSelectionTarget selected(output.target(), options_.pages);
  PrintTarget &target = options_.pages.isEmpty() ? output.target() : selected;
  try {
    PrintEvents events = docs_.EventsOf(kind);
    events.OnLaidOut = std::move(laidOut);
    const PrintOutcome outcome = RunPrint(events, target, PageRange{});
    const int pages = options_.pages.isEmpty() ? outcome.PagesPrinted : selected.PagesPassedOn();
    if (pages == 0) return RefuseEmptySelection(what, outcome.PagesPrinted);
    SayPrinted(pages, what);
  } catch (const std::exception &failure) {
    return Refuse(FailureText(failure, options_.file, true));
  }
  return kExitOk;
}

int PrintSession::RefuseEmptySelection(const QString &what, int lastPage) {
  return Refuse(QStringLiteral("%1: --pages selects none of its %2 pages; nothing was printed")
                    .arg(what)
                    .arg(lastPage));
}

int PrintSession::Run() {
  if (options_.files.size() > 1) return RunSeveral();
  ClearForOpen(model_);
  ResolveAheadOfReading();
  OpenGivenFile(ctx_, options_, options_.file);
  if (messages_.reported) return kExitMessage;
  if (BeforeLayout) BeforeLayout();
  if (options_.format == u"html") return RunWeb();
  if (options_.all) return RunAll();

  if (options_.document == u"project") {
    if (!model_.ProjectLoaded)
      return Refuse(options_.file + QStringLiteral(" is not a project file."));
    docs_.PrepareProject();
    return Print(DocumentKind::Project, FileNamePart(model_.OpenedPath));
  }
  if (options_.document == u"index" && model_.ProjectLoaded && options_.unitName.isEmpty()) {
    // The index of the whole project: every unit laid out as the entire-
    // project command prints them, then the index.
    model_.IndexEntries.clear();
    bool failed = false;
    PageDevice &device = Device();
    for (int i = 0; i < model_.Units.size(); ++i) {
      if (!LoadEntry(i)) {
        failed = true;
        continue;
      }
      RecordIndexOfLoadedUnit(device);
    }
    docs_.PrepareIndex();
    const int status = Print(DocumentKind::Index,
                             QStringLiteral("the index of ") + FileNamePart(model_.OpenedPath));
    return failed ? kExitMessage : status;
  }
  if (options_.document == u"xref") return PrintCrossReference();
  if (!ChooseUnit()) return kExitMessage;
  const QString unitName = model_.Units.at(unit_).name;

  if (options_.document == u"procedures") {
    docs_.PrepareProcedures();
    return Print(DocumentKind::Procedures, QStringLiteral("the routines of ") + unitName);
  }
  if (options_.document == u"index") {
    model_.IndexEntries.clear();
    PageDevice &device = Device();
    RecordIndexOfLoadedUnit(device);
    docs_.PrepareIndex();
    return Print(DocumentKind::Index, QStringLiteral("the index of ") + unitName);
  }

  if (model_.FormMode && !docs_.FormEvents.OnPrintPage)
    return Refuse(model_.CurrentUnitPath +
                  QStringLiteral(" is a form file: its form listing cannot be printed yet."));
  if (!SelectRoutines(unitName)) return kExitMessage;
  // The window's print command for the highlighted unit. No index follows
  // it here: its entries are not kept.
  model_.IndexEntries.clear();
  const bool whole = docs_.PrepareUnit(true);
  model_.UnitHighlighted = whole;
  docs_.Unit.KeepsIndexEntries = false;
  if (whole) {
    // Nothing of the routine list is printed from here on, and the run
    // ends with this document: a unit of 50,000 routines kept 13 MiB of
    // entries and references through its whole print.
    model_.Routines = {};
  }
  ReturnFreedHeap();
  if (model_.FormMode) return Print(DocumentKind::Form, unitName);
  docs_.PrepareUnitCrossLinks();
  // The resolver's symbols and scopes are gone, but for the references:
  // whole pages of them go back before the layout (a unit of 200,000
  // routines, 24 MiB).
  ReturnFreedHeap();
  // The links are all made once the last page is laid out: the references
  // go before the PDF's end, where a unit of 200,000 routines saw its peak.
  const int status = Print(DocumentKind::Unit, unitName, [this] {
    docs_.ClearCrossLinks();
    ReturnFreedHeapOver(16ul << 20);
  });
  docs_.ClearCrossLinks();
  return status;
}

// A unit printed alone links its names inside itself: they are resolved
// on the other core while the unit is read for its listing, which takes as
// long (pasresolver.pp: 20 ms each). Only where the print will surely ask
// for them, and for units of a few megabytes at most: both at once would
// raise the peak of a large unit's print.
void PrintSession::ResolveAheadOfReading() {
  ctx_.beforeReadingAlone = {};
  constexpr qint64 kLargestAhead = qint64(4) << 20;
  // Its listing, its book (--all) and its cross-reference link its names.
  const bool linked = options_.all || options_.document == u"unit" || options_.document == u"xref";
  if (settings_.CrossLinks != 1 || !linked || !options_.unitName.isEmpty() ||
      !options_.selects.isEmpty() || !options_.stdinPath.isEmpty() ||
      !HasUnitExtension(options_.file))
    return;
  ctx_.beforeReadingAlone = [this](const QString &path) {
    ctx_.beforeReadingAlone = {};
    const QFileInfo file(path);
    if (file.isFile() && file.size() <= kLargestAhead)
      docs_.ResolveAhead({path}, model_.IncludeSearchPaths + model_.UserIncludePaths);
  };
}

bool PrintSession::SelectRoutines(const QString &unitName) {
  for (const QString &text : options_.selects)
    if (!SelectRoutine(model_, text)) {
      Refuse(text.trimmed() + QStringLiteral(" not found in the routines of ") + unitName +
             QStringLiteral("."));
      return false;
    }
  return true;
}

int PrintSession::RunWeb() {
  if (model_.FormFileOpened)
    return Refuse(options_.file +
                  QStringLiteral(" is a form file: --format html writes a project or a unit."));
  if (model_.Units.isEmpty()) return Refuse(NoUnits());
  // Refused before the layout; the folder is made only once the book is laid out.
  if (const QString refusal = WebFolderRefusal(options_.outputPath, options_.force);
      !refusal.isEmpty())
    return Refuse(refusal);
  GiveThreadsHeapsOfTheirOwn();
  WebBookOptions web;
  web.folder = options_.outputPath;
  web.bookTitle = bookName_.isEmpty() ? FileNamePart(model_.OpenedPath) : bookName_;
  web.force = options_.force;
  WebBookOutcome outcome;
  QString error;
  bool written = false;
  try {
    // Laid out on the PDF's page device: the same rows and line breaks.
    if (options_.all) {
      BookReaders readers;
      readers.LoadUnit = [this](int index) { return LoadBookEntry(index); };
      readers.LoadForm = [this](const QString &form) {
        messages_.reported = false;
        return LoadFormOfUnit(ctx_, form);
      };
      written = WriteProjectWebBook(model_, docs_, readers, pdfDevice_, settings_, web, nullptr,
                                    &outcome, &error);
    } else {
      WebBookRecorder recorder(pdfDevice_);
      model_.IndexEntries.clear();
      if (options_.document == u"index")
        return Refuse(QStringLiteral(
            "--format html writes the index with the pages it leads to: --all writes it"));
      if (options_.document == u"project") {
        if (!model_.ProjectLoaded)
          return Refuse(options_.file + QStringLiteral(" is not a project file."));
        docs_.PrepareProject();
        RunPrint(docs_.EventsOf(DocumentKind::Project), recorder, PageRange{});
      } else if (options_.document == u"xref") {
        // Its rows lead to the unit's page, written with it; a project's
        // leads to every unit's, which --all writes.
        if (model_.ProjectLoaded && options_.unitName.isEmpty())
          return Refuse(QStringLiteral(
              "--format html writes a project's cross-reference with the pages it leads to: "
              "--all writes it"));
        if (!ChooseUnit()) return kExitMessage;
        web.bookTitle = model_.Units.at(unit_).name;
        if (model_.FormMode)
          return Refuse(QStringLiteral("%1 has no unit to cross-reference.").arg(options_.file));
        docs_.PrepareWholeUnit();
        model_.UnitHighlighted = true;
        if (!docs_.PrepareCrossLinks({model_.Units.at(unit_).PathToRead()}, true))
          return Refuse(
              QStringLiteral("--document xref needs the cross links that "
                             "--no-cross-links or Switch.CrossLinks=0 turn off."));
        RunPrint(docs_.Unit.Events(), recorder, PageRange{});
        docs_.PrepareCrossReference();
        RunPrint(docs_.EventsOf(DocumentKind::CrossReference), recorder, PageRange{});
        docs_.ClearCrossLinks();
      } else {
        if (!ChooseUnit()) return kExitMessage;
        web.bookTitle = model_.Units.at(unit_).name;
        if (!SelectRoutines(web.bookTitle)) return kExitMessage;
        if (options_.document == u"procedures") {
          // Each routine's row leads to its heading: the unit's listing
          // follows its routines, as in the unit's book.
          docs_.PrepareProcedures();
          RunPrint(docs_.EventsOf(DocumentKind::Procedures), recorder, PageRange{});
          docs_.PrepareWholeUnit();
          model_.UnitHighlighted = true;
        } else {
          model_.UnitHighlighted = docs_.PrepareUnit(true);
        }
        // Names link inside the unit, as on its paper.
        docs_.PrepareUnitCrossLinks();
        RunPrint(docs_.Unit.Events(), recorder, PageRange{});
        docs_.ClearCrossLinks();
      }
      written = WriteWebBook(recorder.Documents(), settings_, web, &error);
      outcome.pages = recorder.Documents().size();
    }
  } catch (const std::exception &failure) {
    const QString unit = model_.CurrentUnitPath.isEmpty() ? options_.file : model_.CurrentUnitPath;
    return Refuse(FailureText(failure, unit, true));
  }
  if (!written) return Refuse(error);
  if (!options_.quiet)
    err_ << EscapeControlCharacters(options_.outputPath) << ": " << outcome.pages
         << (outcome.pages == 1 ? " web page" : " web pages") << " of "
         << EscapeControlCharacters(web.bookTitle) << Qt::endl;
  return outcome.leftSomethingOut ? kExitMessage : kExitOk;
}

// The cross-reference of a project's units (or of one, --unit NAME, or of
// the unit opened): each laid out as the book prints it, for the pages of
// its declarations and uses, then the document.
int PrintSession::PrintCrossReference() {
  const bool wholeProject = model_.ProjectLoaded && options_.unitName.isEmpty();
  if (!wholeProject && !ChooseUnit()) return kExitMessage;
  BookReaders readers;
  readers.LoadUnit = [this](int index) { return LoadEntry(index); };
  const CrossReferenceOutcome made =
      PrepareCrossReferenceDocument(model_, docs_, readers, Device(), wholeProject ? -1 : unit_);
  if (made.NothingToResolve)
    return Refuse(QStringLiteral("%1 has no unit to cross-reference.").arg(options_.file));
  if (made.LinksOff)
    return Refuse(
        QStringLiteral("--document xref needs the cross links that "
                       "--no-cross-links or Switch.CrossLinks=0 turn off."));
  const QString name = wholeProject ? FileNamePart(model_.OpenedPath) : model_.Units.at(unit_).name;
  const int status =
      Print(DocumentKind::CrossReference, QStringLiteral("the cross-reference of ") + name);
  docs_.ClearCrossLinks();
  return made.LeftSomethingOut ? kExitMessage : status;
}

void PrintSession::RecordIndexOfLoadedUnit(PageDevice &device) {
  docs_.PrepareWholeUnit();
  model_.UnitHighlighted = true;
  PaginateDocument(docs_.Unit.Events(), device);
}

// Several units as one book, as a project without its project file: each
// unit after the list of its routines, one index of them all.
int PrintSession::RunSeveral() {
  QList<UnitEntry> units;
  QStringList names;
  for (const QString &path : options_.files) {
    ClearForOpen(model_);
    OpenGivenFile(ctx_, options_, path);
    if (messages_.reported) return kExitMessage;
    if (model_.ProjectLoaded || model_.FormFileOpened)
      return Refuse(path +
                    QStringLiteral(" is not a unit: several files print as one book of units."));
    units += model_.Units;
    for (const UnitEntry &unit : model_.Units) names << unit.name;
  }
  model_.Units = units;
  model_.SelectedUnit = 0;
  model_.CurrentUnitPath.clear();
  bookName_ = names.join(QStringLiteral(", "));
  if (BeforeLayout) BeforeLayout();
  return RunAll();
}

// The project (or a unit) as one book: the project file, each unit after
// the list of its routines and followed by the listing of its form when it
// has one, then the index of every routine.
int PrintSession::RunAll() {
  if (options_.format == u"html") return RunWeb();
  if (model_.FormFileOpened)
    return Refuse(options_.file +
                  QStringLiteral(" is a form file: --all prints a project or a unit as a book."));
  // A book of an empty index alone says nothing about the project.
  if (model_.Units.isEmpty()) return Refuse(NoUnits());
  if (!OutputAllowed()) return kExitMessage;
  Output output = MakeOutput();
  // --pages counts the book's pages: the selection sits under the one document.
  PageSelectionTarget selected(output.target(), options_.pages);
  PrintTarget &target = options_.pages.isEmpty() ? output.target() : selected;
  const QString what = bookName_.isEmpty() ? FileNamePart(model_.OpenedPath) : bookName_;
  // A book of several units has its names resolved and links made on
  // this thread while its units are read and its sheets written on
  // others, all allocating: at one heap, they queued for its lock
  // (lclbase.lpk: 7 % of the print in the kernel, waking one another).
  if (model_.Units.size() > 1) GiveThreadsHeapsOfTheirOwn();
  BookReaders readers;
  // A unit or form that cannot be read is named on stderr and left out.
  readers.LoadUnit = [this](int index) { return LoadBookEntry(index); };
  readers.LoadForm = [this](const QString &form) {
    messages_.reported = false;
    return LoadFormOfUnit(ctx_, form);
  };
  readers.RoutineListDone = [this] { DropRoutineList(); };
  readers.UnitDone = [this] { DropPrintedUnit(); };
  // Resolving a project's names keeps one core busy for the first tenth
  // of its book: the other reads the first units meanwhile (lclbase.lpk:
  // 3 % less time, the same peak).
  if (model_.ProjectLoaded && settings_.CrossLinks == 1)
    readers.BeforeResolving = [this] {
      bookStarted_ = true;
      readAhead_.Start(model_, 0, kUnitsReadWhileResolving);
    };
  BookOutcome outcome;
  try {
    outcome = PrintProjectBook(model_, docs_, readers, target);
  } catch (const std::exception &failure) {
    const QString unit = model_.CurrentUnitPath.isEmpty() ? options_.file : model_.CurrentUnitPath;
    return Refuse(FailureText(failure, unit, true));
  }
  int pages = outcome.PagesPrinted;
  if (!options_.pages.isEmpty()) {
    if (selected.PagesPassedOn() == 0) return RefuseEmptySelection(what, pages);
    pages = selected.PagesPassedOn();
  }
  SayPrinted(pages, what);
  return outcome.LeftSomethingOut ? kExitMessage : kExitOk;
}

// The command line's print options go over the settings file (and --set).
void ApplyPrintOptions(const Options &options, FormatSettings &settings) {
  if (!options.layout.isEmpty()) settings.Layout = options.layout == u"source" ? 1 : 0;
  if (!options.formData.isEmpty()) settings.FormData = options.formData == u"full" ? 1 : 0;
  if (!options.lineNumbers.isEmpty()) {
    settings.LineNo = options.lineNumbers == u"off" ? 0 : 1;
    settings.LineNumbersFrom = options.lineNumbers == u"file" ? 1 : 0;
  }
  if (options.noIncludes) settings.FollowIncludes = 0;
  if (options.noCrossLinks) settings.CrossLinks = 0;
  // A header or footer with no item chosen would print only its rule: the
  // unit name and the page number are what a reader looks for.
  if (options.header) {
    settings.Header = 1;
    if (settings.Line1A == 0 && settings.Line1B == 0 && settings.Line1C == 0) settings.Line1A = 2;
    settings.HeaderText = Encode1252(*options.header);
  }
  if (options.footer) {
    settings.Footer = 1;
    if (settings.Line3B == 0 && settings.Line3C == 0) settings.Line3C = 3;
    settings.User = Encode1252(*options.footer);
  }
  // An index, a book or a procedures list cites pages, and a listing is
  // what an index printed on its own cites: every page printed here
  // carries its number.
  NumberEveryPage(settings);
}

QtMessageHandler previousHandler = nullptr;

// Qt warns once per font and script it cannot shape with ("OpenType support
// missing for ..."), dozens of lines for one word in a script no font has;
// the PDF shows such characters as boxes, and stderr is for our messages.
void DropShapingWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text) {
  if (type != QtCriticalMsg && type != QtFatalMsg &&
      text.trimmed().startsWith(QLatin1String("OpenType support missing for")))
    return;
  if (previousHandler) previousHandler(type, context, text);
}

}  // namespace

int RunPrintCommand(const Options &options, QTextStream &out, QTextStream &err) {
  // Ctrl-C or a kill while the PDF is written leaves no hidden temporary
  // file beside it.
  RemoveTemporaryFilesOnSignals();
  previousHandler = qInstallMessageHandler(DropShapingWarnings);
  // The system's fonts are listed while the unit is read: nothing before
  // the layout needs them, and listing them takes as long as reading a
  // large unit. (The font database serves any thread.)
  std::jthread fontList([] { QFontDatabase::families(); });
  const QString iniPath = options.iniPath.isEmpty() ? SettingsFilePath() : options.iniPath;
  if (!options.iniPath.isEmpty()) {
    if (!QFileInfo::exists(iniPath)) {
      Report(err, iniPath + QStringLiteral(" not found."));
      return kExitMessage;
    }
    if (const QString problem = WhyUnreadable(iniPath); !problem.isEmpty()) {
      Report(err, QStringLiteral("Cannot read ") + iniPath + QStringLiteral(": ") + problem);
      return kExitMessage;
    }
  }
  IniFile ini;
  if (QString error; !ini.Load(iniPath, &error)) {
    Report(err, error);
    return kExitMessage;
  }
  ApplySettingOverrides(ini, options.settings);
  FormatSettings settings;
  QStringList garbled;
  settings.LoadFromIni(ini, &garbled);
  // A damaged file still prints, with the defaults in its gaps; say so, as
  // the print will not look as the file meant.
  if (const QString damage = SettingsDamageMessage(iniPath, ini, garbled); !damage.isEmpty())
    Report(err, damage);
  ApplyPrintOptions(options, settings);
  const PaperInputs paperInputs = SystemPaperInputs(options.paper, QString());
  const PaperChoice paperChoice = ChoosePaper(paperInputs);
  PaperSize paper = paperChoice.paper;
  // A queue's own paper comes before the system's names; without one, a
  // name we passed over is told, or A4 would come as a surprise.
  if (options.printer.isEmpty())
    for (const QString &warning : PaperWarnings(paperInputs, paperChoice)) Report(err, warning);
  std::unique_ptr<SystemPrinter> printer;
  if (!options.printer.isEmpty()) {
    QString error;
    printer = OpenSystemPrinter(options, paper, &error);
    if (!printer) {
      Report(err, error);
      return kExitMessage;
    }
  }
  PrintSession session(options, out, err, settings, iniPath, paper, printer.get());
  session.BeforeLayout = [&] {
    fontList.join();
    for (const QString &replaced : ReplaceBitmapFaces(settings)) err << replaced << Qt::endl;
    for (const QString &missing : MissingFaceWarnings(settings)) Report(err, missing);
  };
  const int status = session.Run();
  // Printed whole, only without links: said, and the print counts as done.
  session.SayWhyNotLinked();
  return status;
}

}  // namespace scrivane::cli
