#pragma once
// What lets a reader find their way in a PDF: the outline (bookmarks), the
// links, the page labels and the document information. The listings report
// documents, places, bookmarks and links while they print (NavigationSink);
// this keeps them and writes them as PDF objects. A link may lead forward
// (the project listing names units printed after it), so link objects are
// numbered when their sheet is written and filled in at the end, when every
// place is known.
#include <QByteArray>
#include <QDateTime>
#include <QRectF>
#include <QString>
#include <QStringView>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "print/PageDevice.h"
#include "print/PdfObjectWriter.h"

namespace scrivane {

class PdfNavigation : public NavigationSink {
 public:
  // Device pixels to points, and the sheet's height in points.
  void setGeometry(double pointsPerPixel, double sheetHeightPoints);
  // The sheet now drawn, from 0, in the order sheets are written.
  void setSheet(int sheet) {
    sheet_ = sheet;
    placement_ = PagePlacement{};
    numbersSheet_ = true;
  }
  // The page now drawn is placed scaled on the sheet; the sheet's page
  // label is the number of the first page placed on it.
  void setPlacement(const PagePlacement &placement, bool firstOnSheet) {
    placement_ = placement;
    numbersSheet_ = firstOnSheet;
  }

  void documentStart(const QString &title, const QString &labelName,
                     const QDateTime &clock) override;
  void pageNumber(int page) override;
  void anchor(const QByteArray &key, int y) override;
  void outlineEntry(const QString &title, int y) override;
  void link(const QRect &area, const QByteArray &key) override;

  // The sheet's /Annots array ("[12 0 R ...]"), with the objects numbered
  // now and written by finish; empty when the sheet has no link.
  std::string annotationsOf(int sheet, PdfObjectWriter &out);
  // Writes the links, the outline and the page labels, and adds them to
  // the catalog. pageObjects: the page object of every sheet.
  void finish(PdfObjectWriter &out, const std::vector<int> &pageObjects, PdfDictionary &catalog);
  // The document information: the first document's title (else fallback),
  // the program as creator, the first document's clock (else now).
  std::string information(const QString &fallbackTitle, const QString &creator) const;
  QDateTime creationDate() const;

 private:
  struct Place {
    int sheet = -1;
    double top = 0;  // points from the sheet's foot
  };
  struct Document {
    QString title, labelName;
    Place place;
  };
  // A unit of a million lines may have 80,000 routines, each a bookmark and
  // two places: their texts sit one after another in blocks (TextPool),
  // and a record is a pointer and a few numbers. A QString or a QByteArray
  // each, and a hash node, cost about 200 bytes more a routine.
  class TextPool {
   public:
    // Where the copy of `size` bytes starts; it stays there.
    const char *add(const char *bytes, size_t size);

   private:
    // A block is added when the last is full, so that little is unused: a
    // string doubling as it grew left up to half of itself unused.
    std::vector<std::unique_ptr<char[]>> blocks_;
    char *cursor_ = nullptr;
    size_t free_ = 0;
  };
  struct Entry {
    const char *title = nullptr;   // in texts_: Latin-1, or UTF-16 when wide
    quint32 titleLength : 31 = 0;  // characters
    quint32 wide : 1 = 0;
    int document = -1;  // -1: reported before any document started
    Place place;
  };
  struct Anchor {
    const char *key = nullptr;  // in texts_
    quint32 keyLength = 0;
    Place place;
  };
  struct Link {
    QRectF area;                // points
    const char *key = nullptr;  // in texts_
    quint32 keyLength = 0;
    int sheet = 0;
    int object = 0;  // 0 until the sheet is written
  };
  struct SheetNumber {
    int document = -1;
    int page = 0;  // 0: not reported
  };
  Place here(int y) const;
  static QByteArrayView keyOf(const Anchor &a) { return QByteArrayView(a.key, a.keyLength); }
  static QByteArrayView keyOf(const Link &l) { return QByteArrayView(l.key, l.keyLength); }
  static QString titleOf(const Entry &e);
  // The place links to key land on; null when none was reported.
  const Place *placeOf(QByteArrayView key) const;
  void growAnchorSlots();
  std::string destination(const Place &place, const std::vector<int> &pageObjects) const;
  // The outline's root object, 0 when there is no outline.
  int writeOutline(PdfObjectWriter &out, const std::vector<int> &pageObjects, int *items);
  // The /PageLabels dictionary, empty when no sheet is numbered.
  std::string pageLabels(size_t sheets) const;

  double pointsPerPixel_ = 72.0 / 600.0;
  double sheetHeight_ = 0;
  int sheet_ = 0;
  PagePlacement placement_;   // scale 1 at 0, 0: the page is the sheet
  bool numbersSheet_ = true;  // the current page gives the sheet its label
  std::vector<Document> documents_;
  std::vector<Entry> entries_;
  // Links and places grow in blocks, not by doubling: a book's 160,000
  // links in a vector grown to 262,144 of them held 5 MB for nothing.
  std::deque<Link> links_;
  // Links before this one are written or belong to sheets already ended:
  // each sheet looks only at its own, not at every link of the book.
  size_t linksFrom_ = 0;
  std::vector<SheetNumber> numbers_;
  std::deque<Anchor> anchors_;  // in the order reported
  TextPool texts_;              // the bookmarks' titles, the places' keys and the links'
  // Open addressing over anchors_: index + 1, 0 for a free slot; at most
  // half full.
  std::vector<quint32> anchorSlots_;
  QDateTime clock_;
};

}  // namespace scrivane
