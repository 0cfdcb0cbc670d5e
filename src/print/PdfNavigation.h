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
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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
  // now; empty when the sheet has no link. A link whose place is on this
  // sheet (pageObject) or an earlier one (pageObjects) is written now, the
  // others by finish.
  std::string annotationsOf(int sheet, int pageObject, const std::vector<int> &pageObjects,
                            PdfObjectWriter &out);
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
    size_t firstEntry = 0;  // its bookmarks: from here to the next document's
  };
  // A unit of a million lines may have 80,000 routines, each a bookmark and
  // two places: their texts sit one after another in blocks (TextPool),
  // and a record is a few numbers. A QString or a QByteArray each, and a
  // hash node, cost about 200 bytes more a routine.
  class TextPool {
   public:
    // Room for `size` bytes, to be filled in at text(the handle returned);
    // it stays there.
    quint32 reserve(size_t size);
    char *text(quint32 handle) const {
      return blocks_[handle >> kOffsetBits].get() + (handle & ((1u << kOffsetBits) - 1));
    }

   private:
    // A handle is a block and an offset in it: four bytes, not a pointer's
    // eight, in each of a few hundred thousand records.
    static constexpr int kOffsetBits = 18;
    // A block is added when the last is full, so that little is unused: a
    // string doubling as it grew left up to half of itself unused.
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;  // of the last block
    size_t free_ = 0;
  };
  // A text in a pool with its count first: one byte below 255, else 255
  // and four bytes. A key's count is its length; a title's, its
  // characters * 2, + 1 when they are UTF-16 rather than Latin-1.
  using Counted = quint32;
  struct Entry {
    double top = 0;  // points from the sheet's foot
    Counted title = 0;
    qint32 sheet = -1;
  };
  // A place a link may lead to: its key and where it lands, the top
  // already rounded up as the link writes it. A link to a place not
  // reported yet makes one that waits for it (kNotReported): links to the
  // same place share it, and none keeps a key of its own. Twelve bytes: a
  // book of 80,000 routines reports well over 100,000 of them.
  static constexpr qint32 kNotReported = std::numeric_limits<qint32>::min();
  struct Anchor {
    Counted key = 0;
    qint32 sheet = kNotReported;
    qint32 top = 0;
  };
  // A link reported on a sheet not written yet; its area in whole points
  // (left, bottom, right, top, as written) and its place's index in
  // anchors_.
  struct SheetLink {
    qint32 area[4];
    qint32 sheet = 0;
    quint32 target = 0;
  };
  // A link numbered with its sheet; finish writes them in this order.
  // Twenty-four bytes: a book of a million lines has 200,000 links.
  struct Link {
    qint32 area[4];
    qint32 object = 0;
    quint32 target = 0;
  };
  struct SheetNumber {
    int document = -1;
    int page = 0;  // 0: not reported
  };
  Place here(int y) const;
  static Counted AddCounted(TextPool &pool, quint32 count, const char *bytes, size_t size);
  static const char *CountedText(const TextPool &pool, Counted at, quint32 *count);
  Counted addKey(QByteArrayView key) {
    return AddCounted(keys_, quint32(key.size()), key.data(), size_t(key.size()));
  }
  QByteArrayView keyOf(Counted key) const;
  QString titleOf(const Entry &e) const;
  // Most keys are a few letters and a number ("x0:1234", "routine:u:56"),
  // and a place's key was most of what it cost (a unit of 200,000 routines
  // kept 6 MB of them while it was laid out). Such a key is no text: its
  // place holds the number of its letters among those seen (prefixes_) and
  // its number, with kNumbered set, where a text's handle would be (a
  // handle never has that bit). Whether a key is numbered follows from its
  // text alone once its letters are seen, so a key is found again in the
  // form it was kept in.
  static constexpr quint32 kNumbered = 0x80000000u;
  static constexpr int kNumberBits = 23;
  static constexpr size_t kMostPrefixes = 256;
  struct Key {
    QByteArrayView text;
    quint32 numbered = 0;  // 0: kept as text
    size_t hash = 0;
  };
  Key keyFor(QByteArrayView text);
  quint32 numberedKey(QByteArrayView text);
  bool isKey(Counted kept, const Key &key) const {
    return key.numbered ? kept == key.numbered : !(kept & kNumbered) && keyOf(kept) == key.text;
  }
  // The slot in anchorSlots_ of key's place, or the free slot where it
  // goes.
  size_t slotOf(const Key &key);
  quint32 tagOf(size_t hash) const;
  quint32 placeIn(size_t slot) const;  // the index in anchors_ of a slot's place
  std::string destination(const Place &place, const std::vector<int> &pageObjects) const;
  // Writes the link object: its area and the place it leads to.
  static void WriteLink(PdfObjectWriter &out, int object, const qint32 (&area)[4], int page,
                        qint32 top);
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
  std::deque<Entry> entries_;
  // Links and places grow in blocks, not by doubling: a book's 160,000
  // links in a vector grown to 262,144 of them held 5 MB for nothing.
  std::deque<Link> links_;
  // Links reported and not numbered yet: those of the sheet now drawn.
  std::vector<SheetLink> sheetLinks_;
  std::vector<SheetNumber> numbers_;
  std::deque<Anchor> anchors_;  // in the order reported
  // The places' keys apart from the bookmarks' titles: the keys go once
  // the links are written, before the outline and the cross-reference
  // stream are, which a book of 200,000 routines saw 14 MiB over the
  // rest of its print.
  TextPool keys_, titles_;
  std::deque<std::string> prefixes_;  // the letters of numbered keys
  std::unordered_map<std::string_view, quint32> prefixIds_;
  quint32 lastPrefix_ = 0;  // keys come in runs of the same letters
  // Open addressing over anchors_: index + 1 and a tag of the key's hash
  // (slotOf), 0 for a free slot; at most three quarters full.
  std::vector<quint32> anchorSlots_;
  int slotBits_ = 0;  // anchorSlots_ has 2^slotBits_ slots
  QDateTime clock_;
};

}  // namespace scrivane
