#pragma once
// The object layer of the PDF files we write: numbered objects and
// compressed streams appended to the output in order, with the offset of
// each kept for the cross-reference table, and the number formatting every
// object uses.
//
// Compressing the page streams is the largest single cost of a print after
// the layout, and it needs nothing the layout has. So what is put goes out
// in batches of a few pages to worker threads that compress them and write
// them in turn, while the calling thread lays out the next pages. An
// object's offset is only known once everything before it is compressed:
// the workers note the offsets, and drain() waits for them. With no workers
// everything is done on the calling thread as it is put. Either way the
// bytes are the same.
#include <QIODevice>
#include <QString>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane {

// libdeflate's levels. On a long listing level 1 compresses the pages in
// half the time zlib's level 3 took, into a fortieth fewer bytes; level 3
// is another 4 % smaller but half as slow again.
constexpr int kPageCompression = 1;
// Fonts are subset and compressed after the last page, when nothing else is
// left to do: level 6 took a millisecond or two more there, to save a few
// hundred bytes of a print (a kilobyte of a 600-page one).
constexpr int kFontCompression = 1;
// A form's pictures compress far better at 6, and are written as they are
// drawn, beside the layout.
constexpr int kImageCompression = 6;
// Packed objects (links) are compressed as the pages are. Level 6 made
// pasresolver.pp's book with its 16,504 links 54 KB smaller (2.08 MB, not
// 2.13) but took 70 million instructions more, a tenth of what the links
// add to its time.
constexpr int kPackedCompression = 1;

// A number as PDF wants it: no exponent, at most three decimals, trailing
// zeros dropped. Formatting through printf was a large part of the time a
// long listing took, so integers are written by hand.
void AppendNumber(std::string &out, double value);
// The same written at out, which has room for kNumberRoom bytes; returns
// the end of what it wrote.
constexpr size_t kNumberRoom = 32;
char *PutNumber(char *out, double value);
// std::llround without the call into the maths library: the nearest whole
// number, halves away from zero. Every glyph run's place is rounded so.
inline long long RoundHalfAway(double value) {
  // Out of a long long's range (or not a number) the library decides.
  if (!(value > -9.2e18 && value < 9.2e18)) return std::llround(value);
  // Truncation is exact, and so is what it leaves below one.
  long long whole = static_cast<long long>(value);
  const double rest = value - static_cast<double>(whole);
  if (rest >= 0.5)
    ++whole;
  else if (rest <= -0.5)
    --whole;
  return whole;
}
void AppendInt(std::string &out, long long value);
void AppendHex4(std::string &out, unsigned value);
void AppendHex2(std::string &out, unsigned value);
// UTF-16BE hex of a text, as ToUnicode maps and text strings want it.
void AppendUtf16Hex(std::string &out, QStringView text);

// AppendNumber's text on its own.
std::string PdfNumber(double value);

// One dictionary, written as text: PdfDictionary().name("Type", "Annot")
// .reference("P", 12).str() is "<< /Type /Annot /P 12 0 R >>". Every object
// kind writes its dictionary through this, so the spacing is the same
// everywhere and a field is one call.
class PdfDictionary {
 public:
  PdfDictionary &name(std::string_view key, std::string_view value);
  PdfDictionary &integer(std::string_view key, long long value);
  PdfDictionary &number(std::string_view key, double value);
  PdfDictionary &reference(std::string_view key, int object);
  PdfDictionary &text(std::string_view key, QStringView value);
  // Anything already written as PDF: an array, a dictionary, a boolean.
  PdfDictionary &raw(std::string_view key, std::string_view value);
  bool empty() const { return body_.size() == 2; }
  std::string str() const { return body_ + " >>"; }
  // The fields alone, each after a blank: what a stream adds to its
  // dictionary after /Length.
  std::string fields() const { return body_.substr(2); }

 private:
  std::string &key(std::string_view key);
  std::string body_ = "<<";
};

// Worker threads a new PdfObjectWriter starts: one fewer than the cores (at
// most three), or SCRIVANE_PDF_WORKERS where set. 0 writes on the calling
// thread. SetPdfWorkers overrides both for the process (-1: back to that).
int DefaultPdfWorkers();
void SetPdfWorkers(int workers);

class PdfObjectWriter {
 public:
  explicit PdfObjectWriter(int workers = DefaultPdfWorkers());
  // Unwritten batches are dropped: a writer destroyed before drain() is a
  // document abandoned.
  ~PdfObjectWriter();
  PdfObjectWriter(const PdfObjectWriter &) = delete;
  PdfObjectWriter &operator=(const PdfObjectWriter &) = delete;

  // Appends to the file.
  void put(std::string_view text);
  // Waits until everything put so far is written to the output; written,
  // offsets and writeFailed are then up to date.
  void drain();
  // A new object number; its object may be written later.
  int newObject();
  void beginObject(int object);
  void putObject(int object, std::string_view body);
  // A stream object, compressed; extra goes into its dictionary.
  void putStream(int object, std::string data, int level, std::string_view extra = {});
  void putStream(int object, std::string_view data, int level, std::string_view extra = {}) {
    putStream(object, std::string(data), level, extra);
  }

  // A small object, no stream, packed with others into a compressed object
  // stream (PDF 1.5): a link annotation costs a fifth of its bytes there.
  // A file that packs any object ends with a cross-reference stream
  // (finishCrossReference) instead of a table.
  void putPacked(int object, std::string_view body);
  bool anyPacked() const { return !packedIn_.empty(); }
  // Writes the objects packed so far that are not in a stream yet.
  void flushPacked();
  // The cross-reference stream, after every object is put and drained:
  // trailerFields are the trailer's entries but /Size ("/Root 1 0 R ...").
  // Puts it, startxref and the end of file.
  void finishCrossReference(std::string_view trailerFields);

  QIODevice *output = nullptr;  // not owned; set before the first put
  // As of the last drain().
  bool writeFailed = false;
  quint64 written = 0;  // bytes
  // Objects 1-4 are fixed: the catalog, the page tree, the resources every
  // page shares and the document information.
  static constexpr int kCatalog = 1, kPages = 2, kResources = 3, kInfo = 4;
  // By object number; an offset as of the last drain(), which also makes
  // room for every object made so far (0 for those not written yet). The
  // workers fill it in as they write: read it only between a drain() and
  // the next put. A
  // table grown a zero at a time took a million-line book's 165,000
  // objects' worth of memory all through its layout.
  std::vector<quint64> offsets{0, 0, 0, 0, 0};

 private:
  size_t objects_ = 5;  // objects made so far, 0-4 among them
  struct Batch;
  struct Pipeline;
  void ship();

  std::unique_ptr<Batch> batch_;
  std::unique_ptr<Pipeline> pipeline_;
  // Where a packed object stands: its object stream and its index there;
  // by object number, a stream of 0 for an object not packed. Empty until
  // an object is packed.
  struct PackedPlace {
    quint32 stream = 0, index = 0;
  };
  std::vector<PackedPlace> packedIn_;
  // The objects packed and not yet written: their numbers and offsets in
  // packedBodies_, then their text.
  std::string packedNumbers_, packedBodies_;
  std::vector<int> packedObjects_;
};

}  // namespace scrivane
