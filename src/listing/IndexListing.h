#pragma once
// The index listing: every routine heading the unit listing printed, once,
// in a fixed order, under its initial letter, with kind, unit, page and line.
#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

#include "listing/ListingJob.h"

namespace scrivane {

struct ProjectModel;

// One IndexEntry split into its fields; a missing field is empty.
struct IndexRow {
  QByteArray text;  // the entry as recorded
  // Its fields, read in place: an index of 50,000 routines kept 13 MiB of
  // copies of them. Valid while a copy of text lives (copies share its bytes).
  QByteArrayView name, kind, unit, page, line;
  // The cross-reference document: where the row leads (else to the place
  // of text), the place it is itself (its entry), and whether it is one of
  // an entry's uses, listed under it without a letter of its own.
  QByteArray link, place;
  bool use = false;
};
IndexRow ParseIndexEntry(const QByteArray &entry);
// The rows of the entries in the order the index prints them: by name in
// the routine list's order (RoutineOrderLess), then unit, page and line as
// numbers, kind; exact duplicates once. The same on every machine.
std::vector<IndexRow> SortedIndexRows(const QList<QByteArray> &entries);

class CrossLinks;
// The rows of the cross-reference document: every routine, method and type
// the references hold, in the index's order, each followed by the places
// that use it (by document, page and line), as the listings printed them.
std::vector<IndexRow> CrossReferenceRows(const CrossLinks &links);

class PageCanvas;
// text cut into rows of at most width (device units, canvas font) at its
// blanks, a word wider than that broken; rows after the first have indent less.
std::vector<QByteArray> WrapToColumn(PageCanvas &canvas, QByteArrayView text, int width,
                                     int indent);

class IndexListing : public ListingRenderer {
 public:
  IndexListing(const ProjectModel &model, const FormatSettings &settings);
  ListingJob &Job() { return job_; }
  // Set: this is the cross-reference document of these references, which
  // the listings printed before it (not owned).
  const CrossLinks *CrossReference = nullptr;
  bool IsCrossReference = false;

  // Sorts the entries the unit listings recorded, once for the job.
  void BeginJob() override;
  QString JobTitle() const override;
  QString DocumentTitle() const override {
    return IsCrossReference ? QStringLiteral("Cross-reference") : QStringLiteral("Index");
  }
  TextEncoding Encoding() const override { return TextEncoding::Utf8; }
  int ItemCount() const override { return int(rows_.size()); }
  FooterReservation Reservation() const override { return FooterReservation::AfterBody; }
  void StartPage(PageCursor &cursor, int &position) override;
  void LayOutItem(PageCursor &cursor, int &position) override;
  void FinishPage(PageCursor &cursor, int position) override;

 private:
  struct Columns {
    int keyword = 0, name = 0, unit = 0, lineTitle = 0, lineRight = 0, pageRight = 0;
    int nameRight = 0, unitRight = 0;  // where a name and a unit must end
  };
  const ProjectModel &model_;
  const FormatSettings &settings_;
  // The line column: in the index with line numbers, always in the
  // cross-reference (a use is found by its file line).
  bool ShowsLines() const;
  std::vector<IndexRow> rows_;
  Columns columns_;
  std::vector<int> fewestCutsAskedFor_;  // the columns the unit column below was chosen for
  int fewestCutsUnit_ = 0;
  // The widest kind, unit, line and page of rows_, and what they were
  // measured with: the same on every page of a job, and measuring every
  // row on every page of a 300-page index took a tenth of a book's time.
  std::vector<int> widestAskedFor_;
  int widestKind_ = 0, widestUnit_ = 0, widestLine_ = 0, widestPage_ = 0;
  QByteArray letter_;  // letter of the last letter row on this page, ASCII folded; empty: none
  ListingJob job_;
};

}  // namespace scrivane
