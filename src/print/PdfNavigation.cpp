#include "print/PdfNavigation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>

#include "platform/ShortRunHeap.h"

namespace scrivane {

void PdfNavigation::setGeometry(double pointsPerPixel, double sheetHeightPoints) {
  pointsPerPixel_ = pointsPerPixel;
  sheetHeight_ = sheetHeightPoints;
}

PdfNavigation::Place PdfNavigation::here(int y) const {
  return {sheet_, sheetHeight_ - (placement_.y + y * placement_.scale) * pointsPerPixel_};
}

void PdfNavigation::documentStart(const QString &title, const QString &labelName,
                                  const QDateTime &clock) {
  documents_.push_back({title, labelName, here(0), entries_.size()});
  if (!clock_.isValid()) clock_ = clock;
}

void PdfNavigation::pageNumber(int page) {
  if (sheet_ < 0 || !numbersSheet_) return;
  if (numbers_.size() <= size_t(sheet_)) numbers_.resize(size_t(sheet_) + 1);
  numbers_[size_t(sheet_)] = {int(documents_.size()) - 1, page};
}

namespace {

size_t KeyHash(QByteArrayView key) {
  return std::hash<std::string_view>{}(std::string_view(key.data(), size_t(key.size())));
}

// A numbered key's bits mixed (splitmix64's finaliser): the slot comes
// from the low bits and the tag from the high ones.
size_t NumberedHash(quint32 numbered) {
  quint64 x = numbered + 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return size_t(x ^ (x >> 31));
}

}  // namespace

// A slot holds its place's index + 1 in its low bits and, in the bits
// the index does not need, bits of its key's hash that did not choose the
// slot: a probe that meets another key's slot passes it without reading
// that key, which lay in two other places in memory. A book's 150,000
// links spent most of their time here waiting for those reads.
size_t PdfNavigation::slotOf(const Key &key) {
  if (4 * (anchors_.size() + 1) > 3 * anchorSlots_.size()) {
    anchorSlots_.assign(std::max<size_t>(64, anchorSlots_.size() * 2), 0);
    slotBits_ = 0;
    while ((size_t(1) << slotBits_) < anchorSlots_.size()) ++slotBits_;
    const size_t mask = anchorSlots_.size() - 1;
    for (size_t n = 0; n < anchors_.size(); ++n) {
      const Counted kept = anchors_[n].key;
      const size_t hash = kept & kNumbered ? NumberedHash(kept) : KeyHash(keyOf(kept));
      size_t i = hash & mask;
      while (anchorSlots_[i] != 0) i = (i + 1) & mask;
      anchorSlots_[i] = quint32(n + 1) | tagOf(hash);
    }
  }
  const size_t mask = anchorSlots_.size() - 1;
  const quint32 tag = tagOf(key.hash);
  const quint32 indexMask = slotBits_ >= 32 ? ~quint32(0) : (quint32(1) << slotBits_) - 1;
  size_t i = key.hash & mask;
  for (quint32 slot; (slot = anchorSlots_[i]) != 0; i = (i + 1) & mask)
    if ((slot & ~indexMask) == tag && isKey(anchors_[(slot & indexMask) - 1].key, key)) break;
  return i;
}

PdfNavigation::Key PdfNavigation::keyFor(QByteArrayView text) {
  Key key{text, numberedKey(text), 0};
  key.hash = key.numbered ? NumberedHash(key.numbered) : KeyHash(text);
  return key;
}

quint32 PdfNavigation::numberedKey(QByteArrayView text) {
  // Only a number as to_chars writes it: "x0:07" is another key than "x0:7".
  qsizetype digits = 0;
  while (digits < text.size() && digits < 8 && text[text.size() - 1 - digits] >= '0' &&
         text[text.size() - 1 - digits] <= '9')
    ++digits;
  const qsizetype start = text.size() - digits;
  if (digits == 0 || digits == 8 || (digits > 1 && text[start] == '0')) return 0;
  quint32 number = 0;
  for (qsizetype k = start; k < text.size(); ++k) number = number * 10 + quint32(text[k] - '0');
  if (number >= (quint32(1) << kNumberBits)) return 0;
  const std::string_view prefix(text.data(), size_t(start));
  if (lastPrefix_ >= prefixes_.size() || prefixes_[lastPrefix_] != prefix) {
    const auto found = prefixIds_.find(prefix);
    if (found != prefixIds_.end()) {
      lastPrefix_ = found->second;
    } else {
      if (prefixes_.size() == kMostPrefixes) return 0;
      lastPrefix_ = quint32(prefixes_.size());
      prefixIds_.emplace(prefixes_.emplace_back(prefix), lastPrefix_);
    }
  }
  return kNumbered | lastPrefix_ << kNumberBits | number;
}

quint32 PdfNavigation::tagOf(size_t hash) const {
  // Places fill at most three quarters of the slots, so index + 1 fits in
  // slotBits_ bits; the tag takes the hash's top bits above them.
  if (slotBits_ >= 32) return 0;
  return quint32(hash >> 32) & ~((quint32(1) << slotBits_) - 1);
}

quint32 PdfNavigation::placeIn(size_t slot) const {
  const quint32 indexMask = slotBits_ >= 32 ? ~quint32(0) : (quint32(1) << slotBits_) - 1;
  return (anchorSlots_[slot] & indexMask) - 1;
}

void PdfNavigation::anchor(const QByteArray &text, int y) {
  const Key key = keyFor(text);
  const size_t slot = slotOf(key);
  if (anchorSlots_[slot] == 0) {
    anchors_.push_back({key.numbered ? key.numbered : addKey(text)});
    anchorSlots_[slot] = quint32(anchors_.size()) | tagOf(key.hash);
  }
  Anchor &place = anchors_[placeIn(slot)];
  if (place.sheet != kNotReported) return;  // the first place reported counts
  const Place here = this->here(y);
  place.sheet = here.sheet;
  // The top rounded up, so that the row stays in view.
  place.top = qint32(std::ceil(here.top));
}

PdfNavigation::Counted PdfNavigation::AddCounted(TextPool &pool, quint32 count, const char *bytes,
                                                 size_t size) {
  const size_t countSize = count < 255 ? 1 : 5;
  const Counted handle = pool.reserve(countSize + size);
  char *at = pool.text(handle);
  if (count < 255) {
    at[0] = char(count);
  } else {
    at[0] = char(255);
    std::memcpy(at + 1, &count, 4);
  }
  if (size) std::memcpy(at + countSize, bytes, size);
  return handle;
}

const char *PdfNavigation::CountedText(const TextPool &pool, Counted handle, quint32 *count) {
  const char *at = pool.text(handle);
  const unsigned char first = static_cast<unsigned char>(at[0]);
  if (first < 255) {
    *count = first;
    return at + 1;
  }
  std::memcpy(count, at + 1, 4);
  return at + 5;
}

QByteArrayView PdfNavigation::keyOf(Counted key) const {
  quint32 size = 0;
  const char *text = CountedText(keys_, key, &size);
  return QByteArrayView(text, qsizetype(size));
}

void PdfNavigation::outlineEntry(const QString &title, int y) {
  // Titles are mostly ASCII: a byte a character where every one fits.
  const bool wide =
      std::any_of(title.begin(), title.end(), [](QChar c) { return c.unicode() > 0xFF; });
  const quint32 count = quint32(title.size()) * 2 + (wide ? 1 : 0);
  Entry entry;
  if (wide) {
    entry.title = AddCounted(titles_, count, reinterpret_cast<const char *>(title.utf16()),
                             size_t(title.size()) * 2);
  } else {
    const QByteArray latin1 = title.toLatin1();
    entry.title = AddCounted(titles_, count, latin1.constData(), size_t(latin1.size()));
  }
  const Place place = here(y);
  entry.top = place.top;
  entry.sheet = place.sheet;
  entries_.push_back(entry);
}

QString PdfNavigation::titleOf(const Entry &e) const {
  quint32 count = 0;
  const char *text = CountedText(titles_, e.title, &count);
  const qsizetype size = qsizetype(count / 2);
  if (!(count & 1)) return QString::fromLatin1(text, size);
  QString title(size, Qt::Uninitialized);
  std::memcpy(title.data(), text, size_t(size) * 2);
  return title;
}

quint32 PdfNavigation::TextPool::reserve(size_t size) {
  constexpr size_t kBlock = size_t(1) << kOffsetBits;
  if (size > free_) {
    // A text larger than a block has one of its own, from its start.
    const size_t blockSize = std::max(size, kBlock);
    // A handle leaves its top bit to numbered keys (kNumbered).
    if (blocks_.size() >= (size_t(1) << (31 - kOffsetBits))) throw std::bad_alloc();
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
    used_ = 0;
    free_ = blockSize;
  }
  const quint32 handle = quint32((blocks_.size() - 1) << kOffsetBits | used_);
  used_ += size;
  free_ -= size;
  return handle;
}

void PdfNavigation::link(const QRect &area, const QByteArray &text) {
  const PagePlacement &p = placement_;
  const double left = (p.x + area.left() * p.scale) * pointsPerPixel_;
  const double right = (p.x + (area.right() + 1) * p.scale) * pointsPerPixel_;
  const double top = sheetHeight_ - (p.y + area.top() * p.scale) * pointsPerPixel_;
  const double bottom = sheetHeight_ - (p.y + (area.bottom() + 1) * p.scale) * pointsPerPixel_;
  // The area in whole points, each edge the nearest (grown outward, the
  // areas of "A.B" could overlap on a sheet of four).
  const QRectF points(QPointF(left, bottom), QPointF(right, top));
  SheetLink link{{qint32(RoundHalfAway(points.left())), qint32(RoundHalfAway(points.top())),
                  qint32(RoundHalfAway(points.right())), qint32(RoundHalfAway(points.bottom()))},
                 sheet_};
  const Key key = keyFor(text);
  const size_t slot = slotOf(key);
  if (anchorSlots_[slot] == 0) {
    anchors_.push_back({key.numbered ? key.numbered : addKey(text)});
    anchorSlots_[slot] = quint32(anchors_.size()) | tagOf(key.hash);
  }
  link.target = placeIn(slot);
  sheetLinks_.push_back(link);
}

std::string PdfNavigation::annotationsOf(int sheet, int pageObject,
                                         const std::vector<int> &pageObjects,
                                         PdfObjectWriter &out) {
  std::string list;
  // Most links lead back (a call to a routine printed before it, the
  // cross-reference to the listings): written now, beside the layout of
  // the sheets that follow, where after the last sheet a book's 150,000
  // links were all that was left to do. Numbered first, so that a sheet's
  // links stay one run of objects.
  struct Now {
    SheetLink link;  // a copy: the sheet's links are compacted below
    int object;
    int page;
    qint32 top;
  };
  std::vector<Now> now;
  // Sheets end in order: a link of an earlier sheet not written by now
  // never is.
  size_t kept = 0;
  for (const SheetLink &l : sheetLinks_) {
    if (l.sheet > sheet) {
      sheetLinks_[kept++] = l;
    } else if (l.sheet == sheet) {
      const int object = out.newObject();
      list += std::to_string(object) + " 0 R ";
      const Anchor &target = anchors_[l.target];
      if (target.sheet == sheet) {
        now.push_back({l, object, pageObject, target.top});
      } else if (target.sheet >= 0 && size_t(target.sheet) < pageObjects.size()) {
        now.push_back({l, object, pageObjects[size_t(target.sheet)], target.top});
      } else {
        Link &numbered = links_.emplace_back();
        std::copy(std::begin(l.area), std::end(l.area), numbered.area);
        numbered.object = object;
        numbered.target = l.target;
      }
    }
  }
  for (const Now &n : now) WriteLink(out, n.object, n.link.area, n.page, n.top);
  sheetLinks_.resize(kept);
  return list.empty() ? std::string() : "[" + list + "]";
}

void PdfNavigation::WriteLink(PdfObjectWriter &out, int object, const qint32 (&area)[4], int page,
                              qint32 top) {
  // Written into a buffer of its own, not a string grown piece by piece.
  char annotation[192];
  auto put = [](char *at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
  };
  // Room for any long long: the buffer holds the longest link whatever
  // its numbers.
  auto number = [](char *at, long long value) { return std::to_chars(at, at + 20, value).ptr; };
  // As few bytes as a link can have: a book has tens of thousands. The
  // place's top rounded up. No /Type: an annotation needs none. The
  // /Border stays: without it a link has PDF's default frame of one
  // point, which some viewers draw around it.
  char *at = put(annotation, "<</Subtype/Link/Border[0 0 0]/Rect[");
  for (int edge = 0; edge < 4; ++edge) {
    if (edge) *at++ = ' ';
    at = number(at, area[edge]);
  }
  at = put(at, "]/Dest[");
  at = number(at, page);
  at = put(at, " 0 R/XYZ null ");
  at = number(at, top);
  at = put(at, " null]>>");
  out.putPacked(object, std::string_view(annotation, size_t(at - annotation)));
}

std::string PdfNavigation::destination(const Place &place,
                                       const std::vector<int> &pageObjects) const {
  if (place.sheet < 0 || size_t(place.sheet) >= pageObjects.size()) return {};
  return "[" + std::to_string(pageObjects[size_t(place.sheet)]) + " 0 R /XYZ null " +
         PdfNumber(place.top) + " null]";
}

void PdfNavigation::finish(PdfObjectWriter &out, const std::vector<int> &pageObjects,
                           PdfDictionary &catalog) {
  // The links to places on later sheets, or in no sheet of this file.
  for (const Link &l : links_) {
    // A row whose place is not in this file (an index or a list of
    // routines printed on its own) is no link: a null in the page's list
    // of annotations, which viewers pass over, instead of a hand cursor
    // that leads nowhere.
    const Anchor *target = &anchors_[l.target];
    if (target->sheet < 0 || size_t(target->sheet) >= pageObjects.size()) {
      out.putPacked(l.object, "null");
      continue;
    }
    WriteLink(out, l.object, l.area, pageObjects[size_t(target->sheet)], target->top);
  }
  // No link or place is asked for again: their memory serves the outline
  // and the cross-reference stream that follow.
  links_ = {};
  sheetLinks_ = {};
  anchors_ = {};
  anchorSlots_ = {};
  keys_ = {};
  prefixIds_ = {};
  prefixes_ = {};
  ReturnFreedHeapOver(16ul << 20);
  int items = 0;
  if (const int outline = writeOutline(out, pageObjects, &items))
    catalog.reference("Outlines", outline);
  if (items > 1) catalog.name("PageMode", "UseOutlines");
  const std::string labels = pageLabels(pageObjects.size());
  if (!labels.empty()) catalog.raw("PageLabels", labels);
}

int PdfNavigation::writeOutline(PdfObjectWriter &out, const std::vector<int> &pageObjects,
                                int *items) {
  // The items are numbered in this order: with one document, its
  // bookmarks stand at the top, and it is one bookmark itself only when it
  // has none; with several, the bookmarks reported before the first
  // document, the documents, then each document's bookmarks under it.
  // Bookmarks are reported in order and belong to the last document
  // started, so those of a document follow one another in entries_.
  const bool nested = documents_.size() > 1;
  // Bookmarks reported before any document.
  const size_t before = documents_.empty() ? entries_.size() : documents_[0].firstEntry;
  const size_t top = nested ? before + documents_.size()
                            : (!entries_.empty() ? entries_.size() : documents_.size());
  const size_t total = nested ? entries_.size() + documents_.size() : top;
  *items = int(total);
  if (top == 0) return {};

  const int root = out.newObject();
  const int first = root + 1;
  for (size_t n = 0; n < total; ++n) out.newObject();
  // The object of bookmark e (in entries_) and of document d.
  auto entryObject = [&](size_t e) {
    return first + int(nested && e >= before ? e + documents_.size() : e);
  };
  auto documentObject = [&](size_t d) { return first + int(nested ? before + d : 0); };
  auto item = [&](QStringView title, int parent, int prev, int next) {
    PdfDictionary dictionary;
    dictionary.text("Title", title).reference("Parent", parent);
    if (prev) dictionary.reference("Prev", prev);
    if (next) dictionary.reference("Next", next);
    return dictionary;
  };
  auto put = [&](int object, PdfDictionary &dictionary, const Place &place) {
    const std::string dest = destination(place, pageObjects);
    if (!dest.empty()) dictionary.raw("Dest", dest);
    out.putObject(object, dictionary.str());
  };
  // Bookmarks [from, to) of entries_ as one level under parent; `after`:
  // the item that follows the last on the same level, 0 for none.
  auto writeEntries = [&](size_t from, size_t to, int parent, int after) {
    for (size_t e = from; e < to; ++e) {
      PdfDictionary dictionary =
          item(titleOf(entries_[e]), parent, e > from ? entryObject(e - 1) : 0,
               e + 1 < to ? entryObject(e + 1) : after);
      put(entryObject(e), dictionary, Place{entries_[e].sheet, entries_[e].top});
    }
  };
  // The bookmarks of each document: [childFrom[d], childTo[d]).
  std::vector<size_t> childFrom(documents_.size(), 0), childTo(documents_.size(), 0);
  for (size_t d = 0; d < documents_.size(); ++d) {
    childFrom[d] = documents_[d].firstEntry;
    childTo[d] = d + 1 < documents_.size() ? documents_[d + 1].firstEntry : entries_.size();
  }
  // Documents are shown closed: a book's outline then reads as its table of
  // contents, each document opening on its routines.
  if (!nested && !entries_.empty()) {
    writeEntries(0, entries_.size(), root, 0);
  } else if (!nested) {
    PdfDictionary dictionary = item(documents_[0].title, root, 0, 0);
    put(first, dictionary, documents_[0].place);
  } else {
    writeEntries(0, before, root, documentObject(0));
    for (size_t d = 0; d < documents_.size(); ++d) {
      const int object = documentObject(d);
      const int prev = d > 0 ? documentObject(d - 1) : before > 0 ? entryObject(before - 1) : 0;
      const int next = d + 1 < documents_.size() ? documentObject(d + 1) : 0;
      PdfDictionary dictionary = item(documents_[d].title, root, prev, next);
      if (childTo[d] > childFrom[d]) {
        dictionary.reference("First", entryObject(childFrom[d]));
        dictionary.reference("Last", entryObject(childTo[d] - 1));
        dictionary.integer("Count", -qint64(childTo[d] - childFrom[d]));
      }
      put(object, dictionary, documents_[d].place);
    }
    for (size_t d = 0; d < documents_.size(); ++d)
      if (childTo[d] > childFrom[d]) writeEntries(childFrom[d], childTo[d], documentObject(d), 0);
  }
  const int firstTop = nested ? (before > 0 ? entryObject(0) : documentObject(0)) : first;
  const int lastTop = nested ? documentObject(documents_.size() - 1) : first + int(top) - 1;
  PdfDictionary outlines;
  outlines.name("Type", "Outlines")
      .reference("First", firstTop)
      .reference("Last", lastTop)
      .integer("Count", qint64(top));
  out.putObject(root, outlines.str());
  return root;
}

std::string PdfNavigation::pageLabels(size_t sheets) const {
  if (sheets == 0 || numbers_.empty()) return {};
  // A sheet nobody numbered goes on from the one before it.
  const bool prefixed = documents_.size() > 1;
  std::string nums;
  SheetNumber previous;
  for (size_t s = 0; s < sheets; ++s) {
    SheetNumber number = s < numbers_.size() ? numbers_[s] : SheetNumber{};
    if (number.page == 0) number = {previous.document, previous.page + 1};
    const bool continues =
        s > 0 && number.document == previous.document && number.page == previous.page + 1;
    if (!continues) {
      PdfDictionary range;
      range.name("S", "D");
      if (prefixed && number.document >= 0)
        range.text("P", documents_[size_t(number.document)].labelName + QLatin1Char(' '));
      if (number.page != 1) range.integer("St", std::max(1, number.page));
      nums += std::to_string(s) + ' ' + range.str() + ' ';
    }
    previous = number;
  }
  return PdfDictionary().raw("Nums", "[" + nums + "]").str();
}

QDateTime PdfNavigation::creationDate() const {
  return clock_.isValid() ? clock_ : QDateTime::currentDateTime();
}

std::string PdfNavigation::information(const QString &fallbackTitle, const QString &creator) const {
  const QString title = documents_.empty() ? fallbackTitle : documents_.front().title;
  const QDateTime utc = creationDate().toUTC();
  PdfDictionary info;
  info.text("Title", title)
      .text("Creator", creator)
      .raw("Producer", "(Scrivane)")
      .raw("CreationDate",
           "(D:" + utc.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + "Z)");
  return info.str();
}

}  // namespace scrivane
