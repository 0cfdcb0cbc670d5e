#pragma once
// The project listing: the project file as plain text under a fixed heading
// (project name and date) and above a closing line "Project Listing".
#include <QHash>
#include <QString>
#include <vector>

#include "listing/ListingJob.h"

namespace scrivane {

struct ProjectModel;

class ProjectListing : public ListingRenderer {
 public:
  ProjectListing(const ProjectModel &model, const FormatSettings &settings);
  ListingJob &Job() { return job_; }

  QString JobTitle() const override;
  QString DocumentTitle() const override;
  // The unit-list entries a word of the project file can name.
  void BeginJob() override;
  TextEncoding Encoding() const override { return TextEncoding::Utf8; }
  int ItemCount() const override;
  FooterReservation Reservation() const override { return FooterReservation::AfterBody; }
  void StartPage(PageCursor &cursor, int &position) override;
  void LayOutItem(PageCursor &cursor, int &position) override;
  bool KeepsItemsWhole() const override { return true; }
  void FinishPage(PageCursor &cursor, int position) override;

  // The cross-references of the print, when the program's names link to
  // their declarations as a unit's do. Not owned; null: no links.
  class CrossLinks *CrossLinks = nullptr;

 private:
  // The row of file line `line` starts at y: a place links land on, when
  // it declares or (for the cross-reference) uses a name.
  void ReportPlace(int line, int y, PageCursor &cursor);
  // The names of a word of that line drawn whole at x, y that the
  // references resolved, each a link; column: the word's first byte, from 1.
  void LinkNames(QByteArrayView word, int line, int column, int x, int y, PageCursor &cursor);

  const ProjectModel &model_;
  const FormatSettings &settings_;
  ListingJob job_;
  QHash<QByteArray, QString> unitsByWord_;  // lower-case word -> the entry's display name
  std::vector<bool> inUses_;                // by line: the line is part of the uses clause
  int xrefFile_ = -1;                       // the program's file in the references
  QByteArray document_;                     // its name in the cross-reference
};

// A project line as the listing prints it: its indentation kept, trailing
// blanks dropped, tabs as blanks, a UTF-8 byte-order mark dropped.
QByteArray ProjectLineForPrinting(QByteArray line);

}  // namespace scrivane
