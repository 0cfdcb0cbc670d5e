#pragma once
// The five documents of the opened file and the commands that prepare each
// for its print job: which lines, which names, which selection. The window
// and scrivane-print both print through these; they add only how a job is
// shown or printed.
#include <QDateTime>
#include <QStringList>
#include <future>
#include <memory>
#include <utility>

#include "listing/FormListing.h"
#include "listing/IndexListing.h"
#include "listing/ProcedureList.h"
#include "listing/ProjectListing.h"
#include "listing/UnitListing.h"
#include "print/PageInfo.h"
#include "project/CrossReferences.h"
#include "project/ReadChoices.h"

namespace scrivane {

struct FormatSettings;
struct ProjectModel;

class PageDevice;
class CrossLinks;

enum class DocumentKind { Unit, Form, Procedures, Project, Index, CrossReference };

class Documents {
 public:
  Documents(ProjectModel &model, const FormatSettings &settings);
  // The cross-reference's rows may still be in the making from the links.
  ~Documents() { CrossReference.DropRowsMadeAhead(); }

  UnitListing Unit;
  ProcedureList Procedures;
  ProjectListing Project;
  IndexListing Index;
  // Every routine, method and type of the book and the places that use it.
  IndexListing CrossReference;
  FormListing Form;
  // The form object listing's events.
  PrintEvents FormEvents;

  // Date and time every document prints; fixed by tests, "now" otherwise.
  void SetClock(const QDateTime &now);

  // The events of a document's job (empty for a form listing not set).
  PrintEvents EventsOf(DocumentKind kind);

  // The highlighted unit (or form, in FormMode): the listing state reset,
  // then every source line, or the selected routines only. markSelectedOnly
  // sets SelectedOnly for a selection. Returns whether the whole unit is
  // listed.
  bool PrepareUnit(bool markSelectedOnly);
  // Every line of the highlighted unit, for an entire-project run.
  void PrepareWholeUnit();
  // Names for the procedures list of the highlighted unit.
  void PrepareProcedures();
  // Names for the project listing and the index.
  void PrepareProject();
  void PrepareIndex();
  // Resolves the names of these units and programs (and their include
  // files) when [Switch] CrossLinks is on, for the unit listings that print
  // them to link each use to its declaration; ClearCrossLinks ends that.
  // entriesPrinted: the cross-reference document prints after the listings.
  // False when [Switch] CrossLinks is off.
  bool PrepareCrossLinks(const QStringList &modules, bool entriesPrinted);
  // The highlighted unit printed on its own: its names link to what it
  // declares itself (with its include files), and to nothing another
  // unit declares, whose pages are not in the print.
  bool PrepareUnitCrossLinks();
  // What a book of the whole project resolves: the program (a .dpr or
  // .lpr), then every unit read.
  QStringList BookModules() const;
  void ClearCrossLinks();
  const CrossLinks *Links() const { return links_.get(); }
  // Why the links prepared follow no name (CrossReferences::notFollowed),
  // once: kept after they are cleared, for the print to say.
  QString TakeCrossLinksNotFollowed() { return std::exchange(crossLinksNotFollowed_, {}); }
  // Names for the cross-reference document of the links prepared.
  void PrepareCrossReference();
  // Starts resolving these names on a thread of their own, while the unit
  // is read for its listing: PrepareCrossLinks asked for the same then
  // takes the result instead of resolving them again.
  void ResolveAhead(const QStringList &modules, const QStringList &includeFolders);

 private:
  struct Ahead {
    QStringList modules, includeFolders;
    std::future<CrossReferences> refs;
  };
  std::unique_ptr<Ahead> ahead_;
  std::shared_ptr<CrossLinks> links_;
  QString crossLinksNotFollowed_;
  ProjectModel &model_;
  const FormatSettings &settings_;
};

// What the readers are to keep of a file, by the settings.
ReadChoices ReadChoicesOf(const FormatSettings &settings);

// Lays a whole document out on the device without drawing, as the
// pagination before a print range does; returns its number of pages. The
// unit listing records its index entries this way without printing.
int PaginateDocument(const PrintEvents &events, PageDevice &device);

}  // namespace scrivane
