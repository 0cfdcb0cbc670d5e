#pragma once
// The form object listing: the text form of a form file, its objects and
// properties indented from keywords and braces, equal signs aligned, the
// values of Caption and Hint in the string format.
#include <QByteArray>
#include <QByteArrayView>
#include <vector>

#include "listing/ListingJob.h"

namespace scrivane {

struct ProjectModel;

// What one line hands on to the next (and a page to the next page).
struct FormLayoutState {
  int LineCounter = 1;    // the next number printed when LineNo is on
  int CurrentIndent = 0;  // x where the line starts (device units); 0 = LeftX
  int NextIndent = 0;
  bool BraceMode = false;   // inside binary data: comment format
  int CollectionDepth = 0;  // inside "<" ... ">": "end" closes an item, not an object
  bool operator==(const FormLayoutState &) const = default;
};

// Word kinds of this listing.
enum class FormWordKind { Base, Reserved, Brace, String };

struct FormWord {
  QByteArray Text;  // as drawn (reserved words in the chosen case)
  FormWordKind Kind = FormWordKind::Base;
};

struct FormLine {
  std::vector<FormWord> Words;
  bool ObjectLine = false;  // an object starts: an empty row before it
  int AlignedWord = -1;     // the "=" pushed to the alignment column, or -1
};

// Classifies the words of one trimmed line and moves the indents in `state`
// (LeftX and IndentWidth in device units). CurrentIndent of `state` is the
// line's own start afterwards, NextIndent the next line's.
FormLine LayOutFormLine(QByteArrayView trimmedLine, FormLayoutState &state, int leftX,
                        int indentWidth, const FormatSettings &settings);

class FormListing : public ListingRenderer {
 public:
  FormListing(const ProjectModel &model, const FormatSettings &settings);
  ListingJob &Job() { return job_; }
  // The names of the highlighted form, as the unit listing's reset sets its own.
  void ResetListingState();

  void BeginJob() override;
  QString JobTitle() const override;
  QString DocumentTitle() const override;
  QString PageLabelName() const override;
  int ItemCount() const override;
  FooterReservation Reservation() const override { return FooterReservation::BeforeBody; }
  void StartPage(PageCursor &cursor, int &position) override;
  void LayOutItem(PageCursor &cursor, int &position) override;
  void FinishPage(PageCursor &cursor, int position) override;

 private:
  struct PageStart {
    bool Saved = false;
    FormLayoutState State;
  };
  // fileLine: the form file's line the row starts; 0 to number printed rows.
  void NumberRow(PageCursor &cursor, int fileLine = 0);
  QByteArray DataAsItsSize(QByteArrayView trimmed, int &position) const;

  const ProjectModel &model_;
  const FormatSettings &settings_;
  ListingJob job_;
  FormLayoutState state_;
  std::vector<PageStart> pageStarts_;  // by page number
  int firstLineY_ = 0;
};

}  // namespace scrivane
