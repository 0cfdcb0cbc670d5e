#include "listing/ProjectBook.h"

#include <optional>

#include "listing/Documents.h"
#include "print/OneDocumentTarget.h"
#include "print/PageDevice.h"
#include "print/PrintException.h"
#include "project/FormImage.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

// Every document of the book reports to the same display; only the end of
// the book ends it (RunPrint finishes the display after each document).
class BookProgress : public PrintProgress {
 public:
  explicit BookProgress(PrintProgress &inner) : inner_(inner) {}
  ~BookProgress() override { inner_.Finish(); }
  void SetJobText(const QString &text) override { inner_.SetJobText(text); }
  void SetPageText(int /*page*/) override { inner_.SetPageText(++sheets_); }
  void ProcessEvents() override { inner_.ProcessEvents(); }
  bool Cancelled() const override { return inner_.Cancelled(); }

 private:
  PrintProgress &inner_;
  int sheets_ = 0;  // the book's sheets so far: the display counts them all
};

}  // namespace

BookOutcome PrintProjectBook(ProjectModel &model, Documents &docs, const BookReaders &readers,
                             PrintTarget &target, PrintProgress *progress) {
  std::optional<BookProgress> bookProgress;
  if (progress) bookProgress.emplace(*progress);
  PrintProgress *shown = bookProgress ? &*bookProgress : nullptr;
  OneDocumentTarget book(target);
  BookOutcome outcome;
  // The index covers every unit of this book, and no other.
  model.IndexEntries.clear();
  // Names link across the whole book: every unit is resolved before the
  // first is printed.
  if (readers.BeforeResolving) readers.BeforeResolving();
  const bool crossReference = docs.PrepareCrossLinks(docs.BookModules(), true);
  struct ClearLinks {
    Documents &docs;
    ~ClearLinks() { docs.ClearCrossLinks(); }
  } clearLinks{docs};
  auto print = [&](const PrintEvents &events) {
    const PrintOutcome printed = RunPrint(events, book, PageRange{}, shown);
    outcome.PagesPrinted += printed.PagesPrinted;
    outcome.Cancelled = printed.Cancelled;
    return !printed.Cancelled;
  };
  try {
    // A unit opened on its own is a book without a project file.
    if (model.ProjectLoaded) {
      docs.PrepareProject();
      if (!print(docs.EventsOf(DocumentKind::Project))) return outcome;
    }
    for (int i = 0; i < model.Units.size(); ++i) {
      if (!readers.LoadUnit(i)) {
        outcome.LeftSomethingOut = true;
        continue;
      }
      // A unit printed alone as a book: its routines first, each a link
      // to its heading; a unit without routines gets no empty page for
      // them. A project's book keeps to its project file, units, forms and
      // index.
      if (!model.ProjectLoaded && !model.Routines.isEmpty()) {
        docs.PrepareProcedures();
        if (!print(docs.EventsOf(DocumentKind::Procedures))) return outcome;
      }
      if (readers.RoutineListDone) readers.RoutineListDone();
      docs.PrepareWholeUnit();
      model.UnitHighlighted = true;
      if (!print(docs.Unit.Events())) return outcome;
      const QString form = FindFormImageFiles(model.CurrentUnitPath).formFile;
      if (!form.isEmpty() && readers.LoadForm && docs.FormEvents.OnPrintPage) {
        if (readers.LoadForm(form)) {
          docs.PrepareWholeUnit();
          if (!print(docs.FormEvents)) return outcome;
        } else {
          outcome.LeftSomethingOut = true;
        }
      }
      if (readers.UnitDone) readers.UnitDone();
    }
    docs.PrepareIndex();
    // Every row is noted: the other core sorts the cross-reference while
    // this one lays out the index.
    if (crossReference) docs.CrossReference.MakeRowsAhead();
    if (!print(docs.EventsOf(DocumentKind::Index))) return outcome;
    if (crossReference) {
      docs.PrepareCrossReference();
      if (!print(docs.EventsOf(DocumentKind::CrossReference))) return outcome;
    }
    if (!book.Finish()) throw PrintException(book.errorText().toStdString());
  } catch (...) {
    if (book.Begun()) book.abortDocument();
    throw;
  }
  return outcome;
}

CrossReferenceOutcome PrepareCrossReferenceDocument(ProjectModel &model, Documents &docs,
                                                    const BookReaders &readers, PageDevice &device,
                                                    int entry, PrintProgress *progress) {
  CrossReferenceOutcome outcome;
  const bool wholeProject = entry < 0;
  QStringList modules;
  if (wholeProject) {
    modules = docs.BookModules();
  } else if (entry < model.Units.size()) {
    const UnitEntry &unit = model.Units.at(entry);
    if (unit.leftOut.isEmpty() && unit.kind != EntryKind::FormFile) modules << unit.PathToRead();
  }
  if (modules.isEmpty()) {
    outcome.NothingToResolve = true;
    return outcome;
  }
  if (!docs.PrepareCrossLinks(modules, true)) {
    outcome.LinksOff = true;
    return outcome;
  }
  // A run that stops here prints nothing: the links go with it.
  struct ClearUnlessReady {
    Documents &docs;
    const CrossReferenceOutcome &outcome;
    ~ClearUnlessReady() {
      if (!outcome.Ready) docs.ClearCrossLinks();
    }
  } clearUnlessReady{docs, outcome};
  // The program's rows are on the pages its listing has in the book.
  if (wholeProject && model.ProjectLoaded) {
    docs.PrepareProject();
    PaginateDocument(docs.EventsOf(DocumentKind::Project), device);
  }
  const int first = wholeProject ? 0 : entry;
  const int last = wholeProject ? int(model.Units.size()) - 1 : entry;
  for (int i = first; i <= last; ++i) {
    if (model.Units.at(i).kind == EntryKind::FormFile) continue;
    if (progress) {
      // No page is printed yet: the page line keeps saying so.
      progress->SetJobText(QStringLiteral("Cross-reference: laying out %1 (%2 of %3)")
                               .arg(model.Units.at(i).name)
                               .arg(i - first + 1)
                               .arg(last - first + 1));
      progress->ProcessEvents();
      if (progress->Cancelled()) {
        outcome.Cancelled = true;
        return outcome;
      }
    }
    if (!readers.LoadUnit(i)) {
      outcome.LeftSomethingOut = true;
      continue;
    }
    docs.PrepareWholeUnit();
    model.UnitHighlighted = true;
    PaginateDocument(docs.Unit.Events(), device);
  }
  docs.PrepareCrossReference();
  outcome.Ready = true;
  return outcome;
}

}  // namespace scrivane
