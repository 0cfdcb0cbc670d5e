#pragma once
// The page machinery every listing shares: geometry, the replay rule, the
// body loop bounded by the foot of the page, the footer row reservation, the
// page-end bookkeeping, the job's clock and the header names. A renderer
// only says what its furniture and its items look like, and writes them
// through a page cursor.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "listing/PageFurniture.h"
#include "platform/TextEncoding.h"
#include "print/PageGeometry.h"
#include "print/PageInfo.h"

namespace scrivane {

struct FormatSettings;
class PageDevice;
class PageCanvas;

// The names headers and footers print (at most kMaxNameChars characters each).
struct ListingNames {
  QByteArray UnitNameText;
  QByteArray ProjectNameText;
};

inline constexpr int kMaxNameChars = 128;

// The one rule for a header name: the whole path when fullPath, else its
// file-name part, in Windows-1252. A path longer than kMaxNameChars loses
// characters from its middle, never from its file name.
QByteArray HeaderNameText(const QString &path, bool fullPath);
// The part after the last directory or drive separator.
QByteArray FileNamePartOf(const QByteArray &path);

// The place a unit's listing starts, as links from other documents name it:
// by the unit-list entry's display name.
QByteArray UnitPlaceKey(const QString &displayName);
// The place a routine's heading prints, as the procedures list names it:
// by its unit and the line of the file its header starts on.
QByteArray RoutinePlaceKey(const QString &unitDisplayName, int fileLine);
// The place of the routine heading whose index entry is
// ProjectModel::IndexEntries[entry], as the index's rows name it.
QByteArray IndexEntryPlaceKey(qsizetype entry);

// Where a listing's footer row comes off the text area: the unit and form
// listings reserve it before their body (their page breaks depend on the
// footer), the three others after it (their page breaks do not).
enum class FooterReservation { BeforeBody, AfterBody };

// One page being filled, top to bottom. y is the renderer's layout position
// in device units; the geometry's BottomMargin already includes the footer
// row once it is reserved.
class PageCursor {
 public:
  PageCursor(PageCanvas &canvas, const PageGeometry &geometry, const FormatSettings &settings,
             const FurnitureTexts &texts, int page);

  PageCanvas &Canvas;
  PageGeometry Geometry;
  const FormatSettings &Settings;
  const FurnitureTexts &Texts;  // names and the job's clock
  const int Page;
  int Y = 0;
  bool InOrder = false;  // see PageInfo::InOrder

  // Device units left above the body's limit for a row of the current
  // font: PageHeight - BottomMargin - 2 LineStep - (Y + TextHeight("X")).
  // Zero or less: the page is full.
  int RoomLeft();
  bool Full() { return RoomLeft() <= 0; }
  // A row below the current one fits only where an item could start: a
  // continuation row is held to the same foot as a new line.
  bool NextRowFits() { return RoomLeft() - Geometry.LineStep > 0; }
  // The footer row comes off the text area (when the settings print one).
  void ReserveFooterRow();
  // The next row.
  void NextRow() { Y += Geometry.LineStep; }
  // The y where the footer's rule starts.
  int FootY() const;

 private:
  bool footerReserved_ = false;
};

// What a listing is made of. Items are the listing's input positions (lines,
// entries); a page starts at the position the page before it reached.
class ListingRenderer {
 public:
  virtual ~ListingRenderer() = default;
  // A new job: per-job state is made afresh (the printer may differ from the
  // one an earlier job measured on).
  virtual void BeginJob() {}
  virtual QString JobTitle() const = 0;
  // The document's name in a PDF's outline and information: the listed
  // file's name in its own case.
  virtual QString DocumentTitle() const;
  // The name its pages go by when several documents share one PDF, as its
  // furniture or the index names it ("stock.pas" of "stock.pas 3").
  virtual QString PageLabelName() const { return DocumentTitle(); }
  // How the texts the listing prints are to be read: the encoding of the
  // file they come from. A UTF-8 canvas reads a text that is not UTF-8 on
  // its own (a title from the settings, a unit of another file in the
  // index) as Windows-1252, so lists drawn from several files say Utf8.
  virtual TextEncoding Encoding() const { return TextEncoding::Windows1252; }
  virtual int ItemCount() const = 0;
  virtual FooterReservation Reservation() const = 0;
  // Top furniture and the state the page starts from; may move position
  // (page 1 of a listing always starts at 0).
  virtual void StartPage(PageCursor &cursor, int &position) = 0;
  // Lays out the item at position and moves position past what it took.
  virtual void LayOutItem(PageCursor &cursor, int &position) = 0;
  // True after a LayOutItem whose item did not fit and goes on at the top of
  // the next page: the page ends there, and the next one starts at the same
  // position.
  virtual bool ItemContinues() const { return false; }
  // True for a listing whose items (a routine header, a line of the
  // project file) wrap over a few rows and are never split: an item that
  // would run past the foot of the page starts the next page instead. One
  // taller than a page is still drawn where it starts. LayOutItem must then
  // change nothing but the cursor and position, as it is also run measured.
  virtual bool KeepsItemsWhole() const { return false; }
  // Bottom furniture and what the next page starts from; position is where
  // this page ended.
  virtual void FinishPage(PageCursor &cursor, int position) = 0;
};

// The job: the three page events of one print job, run for one renderer.
class ListingJob {
 public:
  ListingJob(const FormatSettings &settings, ListingRenderer &renderer);

  // Date and time the furniture prints; fixed by tests, "now" otherwise.
  void SetClock(const QDateTime &now) { fixedClock_ = now; }
  ListingNames Names;

  void BeginPrint(PageInfoPtr &Info);
  void PrintPage(PageInfo &Info, PageCanvas &SCanvas);
  void EndPrint(PageInfoPtr &Info);
  PrintEvents Events();

 private:
  void RunPage(ListingPageInfo &info, PageCanvas &canvas);
  bool ItemFits(PageCursor &cursor, int position);
  // The document's pages, laid out measured on `device` once for a job whose
  // header or footer text prints the number of pages ($P).
  int CountPages(PageDevice &device);
  const FormatSettings &settings_;
  ListingRenderer &renderer_;
  QDateTime fixedClock_;
  QDateTime jobClock_;
  bool documentReported_ = false;  // to the canvas's navigation, in this job
  int totalPages_ = 0;             // of this job; 0: not counted (not asked for)
};

}  // namespace scrivane
