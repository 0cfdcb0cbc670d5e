#pragma once
// The unit source listing: the page events of the unit listing's print job.
#include <QByteArray>
#include <QDateTime>
#include <memory>

#include "listing/ListingJob.h"
#include "print/PageInfo.h"

namespace scrivane {

struct FormatSettings;
struct ProjectModel;
class ProjectScope;
class CrossLinks;

// The form image printed on page 1, as found on disk (FindFormImageFiles);
// empty when there is none.
QString FormImagePath(const QString &unitPath, const ProjectScope *scope = nullptr);

class UnitListing {
 public:
  UnitListing(ProjectModel &model, const FormatSettings &settings);
  ~UnitListing();

  // Date and time the furniture prints; fixed by tests, "now" otherwise.
  void SetClock(const QDateTime &now);

  // Clears ListingLines, SelectedOnly and the carried state; sets the
  // header names from the model's paths.
  void ResetListingState();
  bool SelectedOnly = false;
  // False for a print that prints no index afterwards: the headings still
  // make bookmarks and places, but their index entries are not kept in the
  // model (80 bytes and more a routine, for the whole print).
  bool KeepsIndexEntries = true;
  // The cross-references of the print, when the names in the code link to
  // their declarations: each use of one drawn becomes a link, and each
  // declaration's row a place to land on; the pages of those rows are noted
  // there for the cross-reference document. Not owned; null: no links.
  class CrossLinks *CrossLinks = nullptr;
  // Listed routine headings laid out so far that came while a block was
  // still open (blocks that did not pair up before them).
  int HeadingsInsideBlocks() const;
  // The names the furniture and the index entries print.
  ListingNames &Names();

  void BeginPrint(PageInfoPtr &Info);
  void PrintPage(PageInfo &Info, PageCanvas &SCanvas);
  void EndPrint(PageInfoPtr &Info);
  // The three events bound to this listing.
  PrintEvents Events();

 private:
  friend class UnitListingRenderer;
  struct State;
  ProjectModel &model_;
  const FormatSettings &settings_;
  State *state_;
  std::unique_ptr<ListingRenderer> renderer_;
  std::unique_ptr<ListingJob> job_;
};

}  // namespace scrivane
