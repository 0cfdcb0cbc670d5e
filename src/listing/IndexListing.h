#pragma once
// The index listing: every routine heading the unit listing printed, once,
// in a fixed order, under its initial letter, with kind, unit, page and line.
#include <QByteArray>
#include <QList>
#include <QString>
#include <future>
#include <vector>

#include "listing/ListingJob.h"
#include "project/TextList.h"

namespace scrivane {

struct ProjectModel;

// One IndexEntry split into its fields; a missing field is empty.
struct IndexRow {
  QByteArray text;  // the entry as recorded
  // Its fields, read in place: an index of 50,000 routines kept 13 MiB of
  // copies of them. Valid while a copy of text lives (copies share its bytes).
  QByteArrayView name, kind, unit, page, line;
  // The number of the entry in the entries it was read from: its heading's
  // place (IndexEntryPlaceKey). -1: none.
  qsizetype entry = -1;
  // The cross-reference document: where the row leads (else to the
  // entry's heading), and the place it is itself (its entry).
  QByteArray link, place;
};
IndexRow ParseIndexEntry(const QByteArray &entry);
// The rows of the entries in the order the index prints them: by name in
// the routine list's order (RoutineOrderLess), then unit, page and line as
// numbers, kind; exact duplicates once, the first of them kept. The same
// on every machine.
std::vector<IndexRow> SortedIndexRows(const TextList &entries);

class CrossLinks;
// The cross-reference document: every routine, method and type the
// references hold (an entry: its declaration's row, as in the index), in
// the index's order, each followed by the files that use it (a group: the
// document that printed them, "stock.pas" or "controls.pp/control.inc")
// with their places in it by page and line, two uses on one line once.
struct CrossReferenceTable {
  struct Place {
    int file = 0, line = 0;  // the file line, as the references name it
    int page = 0;            // where the listing printed it; 0: not printed
  };
  struct Group {
    int document = 0;             // into documents
    quint32 first = 0, last = 0;  // its places: [first, last) of places
  };
  struct Entry {
    IndexRow row;
    quint32 firstGroup = 0, lastGroup = 0;
  };
  // Each document once, in the order the groups sort by (its name, case
  // ignored first).
  std::vector<QByteArray> documents;
  std::vector<Entry> entries;
  std::vector<Group> groups;
  std::vector<Place> places;
  int highestLine = 0, highestPage = 0;  // of places
};
CrossReferenceTable CrossReferenceRows(const CrossLinks &links);
// A place as the cross-reference prints it: "76/2" (line 76 on page 2),
// "76" when its line was not printed. Returns its length in `text`.
int PlaceText(const CrossReferenceTable::Place &place, char (&text)[24]);

class PageCanvas;
// text cut into rows of at most width (device units, canvas font) at its
// blanks, a word wider than that broken; rows after the first have indent less.
// afterBlank, when given, says for each row whether a blank was dropped
// before it (never for the first): a page of text joins the rows again.
std::vector<QByteArray> WrapToColumn(PageCanvas &canvas, QByteArrayView text, int width, int indent,
                                     std::vector<bool> *afterBlank = nullptr);

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
  // The cross-reference's rows made on another thread, while the index is
  // laid out: the listings have noted every row by then, and nothing
  // changes the references until this job begins (BeginJob takes them) or
  // DropRowsMadeAhead.
  void MakeRowsAhead();
  void DropRowsMadeAhead();
  QString JobTitle() const override;
  QString DocumentTitle() const override {
    return IsCrossReference ? QStringLiteral("Cross-reference") : QStringLiteral("Index");
  }
  TextEncoding Encoding() const override { return TextEncoding::Utf8; }
  int ItemCount() const override {
    return IsCrossReference ? int(lines_.size()) : int(rows_.size());
  }
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
  std::vector<IndexRow> rows_;  // the index's
  Columns columns_;
  bool columnTitlesTold_ = false;  // to a page of text, on the job's first page
  // The cross-reference, laid out a row at a time for the columns it was
  // measured for: an entry's row (group -1), or a row of one of its groups,
  // which starts with the document in the unit column (wrapped over its
  // first rows like a unit) and takes the places that fit beside it, left
  // to right, the rest going on over the next rows.
  CrossReferenceTable table_;
  std::future<CrossReferenceTable> tableAhead_;
  struct XrefRow {
    int entry = 0;
    int group = -1;
    quint32 first = 0, last = 0;  // the places on the row
    int documentRow = 0;          // the piece of the document it prints; past the end: none
  };
  std::vector<XrefRow> lines_;
  std::vector<int> linesAskedFor_;
  std::vector<std::vector<QByteArray>> documentRows_;  // each document wrapped in the unit column
  std::vector<std::vector<bool>> documentAfterBlank_;  // ... and where its wraps dropped a blank
  void LayOutCrossReferenceRows(PageCanvas &canvas, int gap, int indent);
  void LayOutRow(PageCursor &cursor, const IndexRow &row);
  void LayOutPlaces(PageCursor &cursor, const XrefRow &line);
  int placesX_ = 0;                      // where a group's places start: under the names, indented
  bool pageTop_ = false;                 // no row laid out on this page yet
  std::vector<int> fewestCutsAskedFor_;  // the columns the unit column below was chosen for
  int fewestCutsUnit_ = 0;
  // The widest kind, unit, line and page of rows_, and what they were
  // measured with: the same on every page of a job, and measuring every
  // row on every page of a 300-page index took a tenth of a book's time.
  std::vector<int> widestAskedFor_;
  int widestKind_ = 0, widestUnit_ = 0, widestLine_ = 0, widestPage_ = 0;
  int widestPlace_ = 0;  // of the cross-reference's places
  QByteArray letter_;    // letter of the last letter row on this page, ASCII folded; empty: none
  ListingJob job_;
};

}  // namespace scrivane
