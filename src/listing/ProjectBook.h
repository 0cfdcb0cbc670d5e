#pragma once
// The whole project as one book: the project file's listing, each unit of
// the unit list (the list of its routines, then its listing, then the
// listing of its form when it has one), then the index of every routine, printed as one document
// (one PDF with one outline, one printer job). scrivane-print --all and the window's entire-project
// command both print it; they differ only in how a unit is loaded and where the pages go. A unit
// opened on its own (with the units of its uses clauses, when they are taken) makes a book the same
// way, without the project file: its routines lead to its own pages.
#include <QString>
#include <functional>

#include "print/PrintRunner.h"

namespace scrivane {

class Documents;
class PageDevice;
struct ProjectModel;

struct BookReaders {
  // Loads unit-list entry `index` as the highlighted unit; false leaves the
  // unit out of the book (its reader has said why).
  std::function<bool(int index)> LoadUnit;
  // Loads the form of the unit just loaded, for its form listing; false
  // leaves the form listing out. Empty: no form listings.
  std::function<bool(const QString &formPath)> LoadForm;
  // Called before a unit's listing is laid out: its routine list is
  // printed by then (or a project's book prints none), and the listing
  // does not read it. Empty: the routine list stays.
  std::function<void()> RoutineListDone;
  // Called once a unit's own pages are laid out (its routine list, listing
  // and form), before the next unit is loaded or the index is laid out:
  // what was loaded for it may go. Empty: everything stays loaded.
  std::function<void()> UnitDone;
  // Called before the book's names are resolved, which keeps one core
  // busy for a while: the units may be read meanwhile. Empty: nothing.
  std::function<void()> BeforeResolving;
};

struct BookOutcome {
  int PagesPrinted = 0;
  bool Cancelled = false;         // the progress display's Cancel: the book was not written
  bool LeftSomethingOut = false;  // a unit or form could not be read
};

// Throws PrintException when the target cannot begin or complete the book,
// and passes on what a page handler throws; the book is aborted then.
// progress (may be null) sees the whole book as one run.
BookOutcome PrintProjectBook(ProjectModel &model, Documents &docs, const BookReaders &readers,
                             PrintTarget &target, PrintProgress *progress = nullptr);

struct CrossReferenceOutcome {
  bool Ready = false;             // the document is made: EventsOf(CrossReference) prints it
  bool NothingToResolve = false;  // no unit of the list can be read as code
  bool LinksOff = false;          // [Switch] CrossLinks is 0: names are not resolved
  bool Cancelled = false;         // the progress display's Cancel, between units
  bool LeftSomethingOut = false;  // a unit could not be read; the document has the others
};

// The cross-reference document on its own, as scrivane-print --document xref
// and the window's command make it: the names of the whole project (entry
// < 0: its program and every unit of the list) or of one unit-list entry
// resolved, then the program's listing and each unit's laid out on `device`
// without printing, for the pages its rows cite. The links stay for the
// document's print; docs.ClearCrossLinks() ends them. progress (may be
// null) names each unit as it is laid out.
CrossReferenceOutcome PrepareCrossReferenceDocument(ProjectModel &model, Documents &docs,
                                                    const BookReaders &readers, PageDevice &device,
                                                    int entry, PrintProgress *progress = nullptr);

}  // namespace scrivane
