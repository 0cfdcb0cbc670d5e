#include "listing/ProjectBook.h"

#include <optional>

#include "listing/Documents.h"
#include "print/OneDocumentTarget.h"
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

}  // namespace scrivane
