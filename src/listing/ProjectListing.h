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

 private:
  const ProjectModel &model_;
  const FormatSettings &settings_;
  ListingJob job_;
  QHash<QByteArray, QString> unitsByWord_;  // lower-case word -> the entry's display name
  std::vector<bool> inUses_;                // by line: the line is part of the uses clause
};

// A project line as the listing prints it: its indentation kept, trailing
// blanks dropped, tabs as blanks, a UTF-8 byte-order mark dropped.
QByteArray ProjectLineForPrinting(QByteArray line);

}  // namespace scrivane
