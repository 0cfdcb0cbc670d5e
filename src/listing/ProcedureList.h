#pragma once
// The procedures and functions list: every entry of the routine list (or a
// form's object lines), the leading keyword in the reserved-word format, a
// long entry continuing after the keyword.
#include <QString>

#include "listing/ListingJob.h"

namespace scrivane {

struct ProjectModel;

class ProcedureList : public ListingRenderer {
 public:
  ProcedureList(const ProjectModel &model, const FormatSettings &settings);
  ListingJob &Job() { return job_; }

  QString JobTitle() const override;
  // "stock.pas routines": in a book its pages stand beside the unit's own.
  QString DocumentTitle() const override;
  TextEncoding Encoding() const override;
  int ItemCount() const override;
  FooterReservation Reservation() const override { return FooterReservation::AfterBody; }
  void StartPage(PageCursor &cursor, int &position) override;
  void LayOutItem(PageCursor &cursor, int &position) override;
  bool KeepsItemsWhole() const override { return true; }
  void FinishPage(PageCursor &cursor, int position) override;

 private:
  QByteArray PlaceOf(int position) const;
  QByteArray TextInSourceCase(int position) const;

  const ProjectModel &model_;
  const FormatSettings &settings_;
  ListingJob job_;
};

}  // namespace scrivane
