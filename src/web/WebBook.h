#pragma once
// The book as web pages. The documents are laid out by the same page events
// as for a PDF, on the same page device, so their rows, words and links are
// the PDF's; a recorder behind the page canvas keeps what is drawn as text
// (with what each word is, told through the canvas's structure seam)
// instead of pixels, and the pages are written from that record.
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"
#include "print/PageDevice.h"
#include "print/PrintRunner.h"

namespace scrivane {

class Documents;
struct BookReaders;
struct FormatSettings;
struct ProjectModel;

// A text drawn on a row: a word of a listing, or a cell of a table.
struct WebPiece {
  // A table's text. A listing's word keeps its bytes as drawn in its row
  // (WebRow::bytes), decoded and measured only where the row becomes page
  // text: off the layout's thread.
  QString text;
  std::uint32_t at = 0, size = 0;  // the word's bytes: bytes[at, at + size) of its row
  std::uint32_t blanksAfter = 0;   // blanks drawn after it (in the row's bytes, not in size)
  std::uint16_t font = 0;          // the word's font: WebBookRecorder::Fonts()
  TextEncoding encoding = TextEncoding::Windows1252;
  WordClass kind = WordClass::None;
  bool newWord = true;  // false: the word before goes on (a word broken across rows)
  int x = 0, y = 0;
  int width = -1;      // device pixels, its blanks after it left out; -1: not measured yet
  int blankWidth = 0;  // its font's blank, device pixels; 0: not measured yet
  // Its width with its blanks after it, as the layout measured it (the
  // surface's drawnWidth); -1: not told, measured where the row is written.
  int drawnWidth = -1;
  QByteArray link;  // the place it leads to; empty for none
  QString blanks;   // the file's blanks before it, as they stand (the source layout)
  // A table's text that goes on with the one above it in its column
  // (StructureSink::joinsAbove): 1 straight on, 2 after a blank; 0 none.
  std::uint8_t joinsAbove = 0;
};

struct WebRow {
  int fileLine = 0;  // listing rows only
  int file = 0;
  double indent = 0;   // points from the left margin
  double bracket = 0;  // where a bracket opened here stands, points from the left margin
  int blankWidth = 0;  // device pixels
  int sheet = 0, y = 0;
  std::string number;  // the number the paper shows beside it, as drawn; empty: none
  // A line wrapped over rows that the paper numbers each (printed rows
  // counted): where each further row starts, its number and its indent.
  struct Continued {
    std::uint32_t piece = 0;
    double indent = 0;  // points from the left margin
    std::string number;
  };
  std::vector<Continued> continued;
  int opens = 0, closes = 0;  // block brackets opened before and closed after it
  bool ruleAfter = false;
  QString heading;  // an include file's heading: the row is that heading
  std::vector<WebPiece> pieces;
  std::string bytes;  // a listing's words as drawn, one after the other
  // A piece's text: a table's, or a listing's word decoded.
  QString TextOf(const WebPiece &piece) const;
  std::vector<QByteArray> anchors;
  std::vector<QString> outline;  // bookmarks that lead here
};

// What MeasureWebRow keeps of each font (WebPiece::font) from row to row:
// its blank's width (-1: not measured yet) and its table of advances
// (TextMeasurer::advances64; null: none).
struct WebFontWidths {
  std::vector<int> blank;
  std::vector<const std::array<int, 256> *> advances;
};

// Measures the pieces of a listing's row not measured yet, in `fonts`
// (WebPiece::font), as `measurer` measures them.
void MeasureWebRow(WebRow &row, TextMeasurer &measurer, const std::vector<FontSpec> &fonts,
                   WebFontWidths &known);

// Link keys as numbers, and the first place in the book each one leads
// to. The writing thread fills it as a listing's rows become page text, so
// that the pages, written once the whole book is laid out, find each
// link's place without hashing its key again: that took a third of the
// time the pages of a large unit took to write.
class WebLinkKeys {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // Its number, made when the key is new.
  std::uint32_t Intern(const QByteArray &key);
  // kNone for a key never met.
  std::uint32_t Find(const QByteArray &key) const { return ids_.value(key, kNone); }
  // The key leads to document's row (kBeforeRows: to the page itself);
  // the place first in the book stays.
  static constexpr std::uint32_t kBeforeRows = UINT32_MAX;
  void Anchor(const QByteArray &key, std::uint32_t document, std::uint32_t row);
  struct Place {
    std::uint32_t document = kNone;  // kNone: no place was printed
    std::uint32_t row = kBeforeRows;
  };
  const Place &PlaceOf(std::uint32_t id) const { return places_[id]; }
  size_t Size() const { return places_.size(); }

 private:
  QHash<QByteArray, std::uint32_t> ids_;
  std::vector<Place> places_;
};

// Room for a listing's page text: in huge pages where the system gives
// them on request (a large unit's page is ten megabytes, and the writing
// thread, which the layout waits for, took a page fault for every 4 KiB of
// it), else as any other block. Small blocks are any other block.
void *AllocateWebText(size_t bytes);
void FreeWebText(void *at, size_t bytes);
template <typename T>
struct WebTextAllocator {
  using value_type = T;
  WebTextAllocator() = default;
  template <typename U>
  WebTextAllocator(const WebTextAllocator<U> &) {}
  T *allocate(size_t count) { return static_cast<T *>(AllocateWebText(count * sizeof(T))); }
  void deallocate(T *at, size_t count) { FreeWebText(at, count * sizeof(T)); }
  bool operator==(const WebTextAllocator &) const { return true; }
};
using WebText = std::basic_string<char, std::char_traits<char>, WebTextAllocator<char>>;

// A listing's rows as page text, a row at a time (on a thread of its own
// while the layout goes on, see WebBookRecorder): each row gets its id,
// unique in its page, and the block brackets still open carry on.
class ListingBody {
 public:
  // Its links and places go into `keys`, as document number `document`'s.
  ListingBody(std::shared_ptr<WebLinkKeys> keys, std::uint32_t document)
      : keys_(std::move(keys)), document_(document) {}
  void Add(const WebRow &row);
  // The page text in the order written: parts of about a megabyte, so that
  // a large listing is not copied again each time its text outgrows its
  // room (a fresh page of memory costs the kernel about 10 us to hand out).
  const std::vector<WebText> &Html() const { return html_; }
  // The rows written, and each one's id, unique in its page: "L141" (its
  // file line), "F2L141" (an include file's) or "r<row>".
  size_t Rows() const { return names_.size(); }
  // The bookmarks that lead to its rows, in order: kept here, so that the
  // rows themselves can go once written.
  struct Entry {
    std::uint32_t row = 0;
    QString title;
  };
  const std::vector<Entry> &Entries() const { return entries_; }
  QByteArray IdOf(size_t row) const;
  // Where a word that leads somewhere starts (its key) and ends (an empty
  // key) in Html(), counted over all its parts: the place may be on a page
  // not laid out yet when its row is written, so the page puts the link
  // there only once every place is known, or none when the place was not
  // printed.
  struct LinkMark {
    size_t at = 0;
    std::uint32_t key = WebLinkKeys::kNone;  // its number in the keys; kNone: the link ends
  };
  const std::vector<LinkMark> &Links() const { return links_; }

 private:
  // The places indents and brackets stand at, each named once in the
  // page's own style ("t i3", "b k2") rather than in every row's: a large
  // unit's page was a fifth smaller for it.
  struct Places {
    std::vector<double> at;  // points from the left margin
    size_t last = 0;
    size_t Of(double points);
  };
  Places indents_, brackets_;

 public:
  // The rules that place the page's indents and brackets.
  std::string Style() const;

 private:
  struct Bracket {
    size_t place = 0;  // in brackets_
  };
  WebText &Part();
  std::vector<WebText> html_;
  size_t before_ = 0;  // bytes in the parts before the last
  // A row's id as numbers, not as text: a large listing has tens of
  // thousands, each a block of its own to make and free.
  struct RowName {
    std::int32_t file = 0, line = 0;  // line 0: "r" and the row's place
  };
  void PutId(WebText &html, size_t row) const;
  std::vector<RowName> names_;
  std::vector<LinkMark> links_;
  std::vector<Entry> entries_;
  std::shared_ptr<WebLinkKeys> keys_;
  std::uint32_t document_ = 0;
  QSet<quint64> used_;  // the file lines named
  std::vector<Bracket> open_;
};

// A listing's rows: each keeps its place as more are added, so that the
// finished ones can be written on another thread meanwhile. Held many to a
// block: a std::deque holds two rows a block, and the tens of thousands of
// blocks of a large listing took the layout's thread a twentieth of its
// page text's time to free at the end.
class WebRows {
 public:
  static constexpr size_t kBlock = 256;
  template <typename Row>
  class Iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = WebRow;
    using difference_type = std::ptrdiff_t;
    using pointer = Row *;
    using reference = Row &;
    Iterator() = default;
    Iterator(const WebRows *rows, size_t at) : rows_(rows), at_(at) {}
    Row &operator*() const { return const_cast<Row &>((*rows_)[at_]); }
    Row *operator->() const { return &**this; }
    Iterator &operator++() { return ++at_, *this; }
    Iterator &operator--() { return --at_, *this; }
    Iterator operator++(int) { return {rows_, at_++}; }
    Iterator operator--(int) { return {rows_, at_--}; }
    bool operator==(const Iterator &other) const { return at_ == other.at_; }

   private:
    const WebRows *rows_ = nullptr;
    size_t at_ = 0;
  };
  using iterator = Iterator<WebRow>;
  using const_iterator = Iterator<const WebRow>;

  WebRows() = default;
  WebRows(WebRows &&) = default;
  WebRows &operator=(WebRows &&) = default;
  WebRows(const WebRows &other) {
    for (const WebRow &row : other) push_back(row);
  }
  WebRows &operator=(const WebRows &other) {
    WebRows copy(other);
    return *this = std::move(copy);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  WebRow &operator[](size_t at) { return blocks_[BlockOf(at)][at - StartOf(BlockOf(at))]; }
  const WebRow &operator[](size_t at) const {
    return blocks_[BlockOf(at)][at - StartOf(BlockOf(at))];
  }
  WebRow &back() { return (*this)[size_ - 1]; }
  const WebRow &back() const { return (*this)[size_ - 1]; }
  void push_back(WebRow row) {
    if (size_ == StartOf(blocks_.size()))
      blocks_.push_back(std::make_unique<WebRow[]>(SizeOf(blocks_.size())));
    (*this)[size_++] = std::move(row);
  }
  void emplace_back() { push_back({}); }
  // Frees the blocks every row of which lies before `end`: a web page has
  // written them, and nothing reads them again (a book of 400 units held
  // some 90 MB of rows it had written). Their places still count in size().
  void ReleaseBefore(size_t end) {
    for (; released_ < blocks_.size() && StartOf(released_ + 1) <= end; ++released_)
      blocks_[released_].reset();
  }
  bool Released() const { return released_ > 0; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }
  std::reverse_iterator<iterator> rbegin() { return std::reverse_iterator(end()); }
  std::reverse_iterator<iterator> rend() { return std::reverse_iterator(begin()); }

 private:
  // The first blocks grow from kFirst rows to kBlock (kFirst, kFirst, 2 kFirst,
  // ... kBlock / 2), then each holds kBlock: a book's form or short unit
  // held a block of 256 rows (60 KB) for its few, and 10,000 of them 600 MB.
  static constexpr size_t kFirst = 16;
  static constexpr size_t kGrowing = 5;  // blocks before the first of kBlock rows
  static_assert(kFirst << (kGrowing - 1) == kBlock);
  static size_t BlockOf(size_t at) {
    if (at >= kBlock) return kGrowing - 1 + at / kBlock;
    return at < kFirst ? 0 : size_t(std::bit_width(at)) - std::bit_width(kFirst) + 1;
  }
  static size_t StartOf(size_t block) {
    if (block >= kGrowing) return (block - kGrowing + 1) * kBlock;
    return block == 0 ? 0 : kFirst << (block - 1);
  }
  static size_t SizeOf(size_t block) { return StartOf(block + 1) - StartOf(block); }
  std::vector<std::unique_ptr<WebRow[]>> blocks_;
  size_t size_ = 0;
  size_t released_ = 0;  // blocks freed, from the first
};

struct WebDocument {
  QString title;
  QString labelName;
  bool listing = false;  // rows from the structure seam (a source listing)
  int formOf = -1;       // a form's listing: the document of its unit
  WebRows rows;
  std::vector<QByteArray> anchorsBefore;  // places reported before any row
  std::vector<int> columns;               // where a table's columns start; empty: none told
  int linkedColumn = -1;                  // the column whose texts carry links; -1: any
  int setRightFrom = INT_MAX;             // the first column of numbers set right
  double pointsPerPixel = 0;              // of the pieces' places, where columns were told
  // A listing's rows already written (ListingBody); null: written with the page.
  std::shared_ptr<const ListingBody> body;
  // The keys its body's links and places went into (the book's, shared).
  std::shared_ptr<WebLinkKeys> linkKeys;
};
using WebDocuments = std::deque<WebDocument>;

// The print target the book is laid out on: a page device for the layout,
// and a surface that records.
class WebBookRecorder : public PrintTarget, DrawSurface, NavigationSink, StructureSink {
 public:
  explicit WebBookRecorder(PageDevice &device);
  ~WebBookRecorder() override;
  // Everything recorded, once the rows still being written aside are.
  const WebDocuments &Documents();
  // The next document is the form listing of the unit listed last.
  void FormFollows();
  // The fonts the listings' words are drawn in (WebPiece::font), each once.
  const std::vector<FontSpec> &Fonts() const { return fonts_; }
  // Whether a listing's rows keep their words once they are page text,
  // for a reader of the record (a test of the words). By default the
  // thread that wrote them frees them then: freeing a large book's words
  // at its end took a twentieth of the layout's thread.
  bool KeepsWords = false;
  // The most logs of sheets (a few sheets each) that waited for the
  // writing thread at any time, once Documents() has run; a slow writer
  // makes the layout wait rather than let them grow past kMostLogsWaiting.
  static constexpr size_t kMostLogsWaiting = 16;
  size_t MostLogsWaiting() const { return mostLogsWaiting_; }
  // Runs on the writing thread before each sheet it keeps: a test slows
  // the writer with it (a slow disk's stand-in). Null: nothing.
  static void SetWriterHookForTests(std::function<void()> hook);

  // PrintTarget
  PageDevice &device() override { return device_; }
  bool beginDocument(const QString &) override { return true; }
  QString errorText() const override { return {}; }
  DrawSurface &surface() override { return *this; }
  void newSheet() override;
  bool endDocument() override { return true; }
  void abortDocument() override {}

 private:
  // DrawSurface
  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override;
  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                  TextEncoding encoding) override;
  void drawLine(int, int, int, int, const PenSpec &) override {}
  void drawRectangle(const QRect &, const PenSpec &, const BrushSpec &) override {}
  void drawImage(const QRect &, const QImage &) override {}
  NavigationSink *navigation() override { return this; }
  StructureSink *structure() override { return this; }
  // NavigationSink
  void documentStart(const QString &title, const QString &labelName,
                     const QDateTime &clock) override;
  void pageNumber(int) override {}
  void anchor(const QByteArray &key, int y) override;
  void outlineEntry(const QString &title, int y) override;
  void link(const QRect &area, const QByteArray &key) override;
  // StructureSink
  void furniture(bool drawing) override;
  void row(const ListingRow &row) override;
  void word(WordClass kind, bool continues) override;
  void bracket(bool opens, bool closes) override;
  void rule() override;
  void blanks(QByteArrayView text) override;
  void drawnWidth(int pixels) override;
  void columns(const std::vector<int> &starts, int linked, int setRight) override;
  void joinsAbove(bool afterBlank) override;

  // What the page events tell, kept: on the layout's thread as they come
  // when the words are measured there, else from the log on the writing
  // thread (Replay).
  void OnNewSheet();
  void OnDocumentStart(const QString &title, const QString &labelName);
  // drawnWidth: as the layout measured the text, -1 when not told; logFont:
  // the font's place in the log's fonts, kNoLogFont when not from a log.
  static constexpr std::uint16_t kNoLogFont = UINT16_MAX;
  void OnText(int x, int y, const FontSpec &font, QByteArrayView text, TextEncoding encoding,
              int drawnWidth = -1, std::uint16_t logFont = kNoLogFont);
  void OnAnchor(const QByteArray &key, int y);
  void OnOutline(const QString &title, int y);
  void OnLink(const QRect &area, const QByteArray &key);
  void OnRow(const ListingRow &row);
  void OnWord(WordClass kind, bool continues);
  void OnBracket(bool opens, bool closes);
  void OnRule();
  void OnBlanks(QByteArrayView text);
  void OnColumns(std::vector<int> starts, int linked, int setRight);
  void OnJoinsAbove(bool afterBlank) { pendingJoin_ = afterBlank ? 2 : 1; }
  // The log of one sheet's page events, each a fixed head and its bytes.
  struct Log;
  enum class Event : std::uint8_t;
  void Note(Event event, QByteArrayView bytes = {}, std::initializer_list<int> values = {},
            std::uint16_t font = 0, std::uint8_t flags = 0);
  void Replay(const Log &log);
  // Hands the log to the writing thread; more: a new one follows.
  void HandLog(bool more);
  TextMeasurer &Measurer();

  // A row's number drawn before its row was told (a printed row's count).
  void KeepNumber(QByteArrayView text, int y);
  WebDocument &Current();
  WebRow *RowAt(int y);
  // Hands the current listing's rows up to `end` to the writing thread.
  void WriteAside(size_t end);
  void FinishWritingAside();
  std::uint16_t FontIndex(const FontSpec &font, std::uint16_t logFont = kNoLogFont);
  // A piece's width (its blanks after it left out) measured here, and its
  // blank's.
  int WidthOf(const WebPiece &piece, const WebRow &row);

  PageDevice &device_;
  WebDocuments documents_;
  size_t mostLogsWaiting_ = 0;
  struct Aside;
  std::unique_ptr<Aside> aside_;
  size_t handedOver_ = 0;  // rows of the current document written aside
  // Set when the page device measures as QtTextMeasurer does: a measurer
  // of the same kind on the writing thread gives the same widths, so the
  // listing's words are measured there rather than on the layout's.
  int measureAsideAt_ = 0;  // its dots per inch; 0: words are measured as they are drawn
  // Then the layout's thread only logs the page events, a sheet at a time,
  // and the writing thread keeps them: the layout's thread of a large
  // unit's page spent a tenth of its time keeping its words.
  std::unique_ptr<Log> log_;
  int sheetsLogged_ = 0;
  std::vector<FontSpec> logFonts_;  // the fonts the log names, each once
  std::shared_ptr<const std::vector<FontSpec>> logFontsHanded_;
  std::uint16_t lastLogFont_ = 0;
  // Where the log's last text event starts, for its drawn width to follow;
  // SIZE_MAX: the last text drawn was not logged.
  size_t lastTextLogged_ = SIZE_MAX;
  // The log's fonts' places in fonts_ (kNoLogFont: not met yet), so that a
  // replayed text finds its font without comparing it to the fonts met.
  std::vector<std::uint16_t> fontOfLogFont_;
  bool logFurniture_ = false;  // furniture is drawn: its texts are not logged
  struct PendingWord {
    bool told = false;
    WordClass kind = WordClass::None;
    bool continues = false;
  } pendingWord_;  // a word() not logged yet
  double pointsPerPixel_ = 0.12;
  std::vector<FontSpec> fonts_;
  std::shared_ptr<const std::vector<FontSpec>> fontsHanded_;  // fonts_ as the thread has them
  std::uint16_t lastFont_ = 0;
  FontSpec blankFont_;  // the font blankWidth_ was measured in
  int blankWidth_ = -1;
  int sheet_ = 0;
  bool furniture_ = false;
  WordClass kind_ = WordClass::None;
  bool nextContinues_ = false;
  bool wordStarted_ = false;  // a word() came since the last text: the next text starts it
  std::vector<QByteArray> pendingAnchors_;
  std::vector<QString> pendingOutline_;
  QString pendingBlanks_;
  std::uint8_t pendingJoin_ = 0;  // what joinsAbove told the next table text
  bool formFollows_ = false;
  struct DrawnNumber {
    int sheet = -1, y = 0;
    std::string text;
  } pendingNumber_;
  TextEncoding encoding_ = TextEncoding::Windows1252;  // of the listing's last text
  // A link to a name inside the listing's last text ("Add" of
  // "FList.Add(Item);") cuts it into pieces.
  void LinkListingText(const QRect &area, const QByteArray &key);
  // The same for a table's text (a project file's line): the pieces it
  // became past the first.
  size_t CutTableText(WebRow &row, size_t at, const QRect &area, const QByteArray &key);
};

// Where the pages go and what they say about themselves.
struct WebBookOptions {
  QString folder;
  QString bookTitle;  // the project's or unit's name: the index page's title
  QString language = QStringLiteral("en");
  bool force = false;  // into a folder of other files (PrepareWebFolder)
};

// Writes index.html, a page per document and the stylesheet into the
// folder, prepared first (PrepareWebFolder); false with the reason in *error.
bool WriteWebBook(const WebDocuments &documents, const FormatSettings &settings,
                  const WebBookOptions &options, QString *error);

// The text made safe inside an HTML element or a quoted attribute: & < > "
// ' escaped, control characters other than tab made U+FFFD.
QString EscapeHtml(const QString &text);

// A page's file name from a document's title: letters, digits, ".", "-"
// and "_" kept, anything else "_"; never empty, never hidden.
QString WebPageName(const QString &title);

// The book folder. Refused: a symbolic link, something not a folder, or a
// folder that holds files but no earlier book (its marker file), unless
// force. Created when missing. Empty when it may be written; else why not.
QString PrepareWebFolder(const QString &folder, bool force);
// PrepareWebFolder's refusal, without making anything: asked before a long
// layout, so that its answer comes at once.
QString WebFolderRefusal(const QString &folder, bool force);
inline constexpr const char *kWebBookMarker = ".scrivane-web";

// What a folder allows before anything is written or made: the pages, the
// pages only when the writer insists (--force, or the window's yes), or
// nothing. reason says why not, without naming how to insist.
enum class WebFolderVerdict { Writable, HoldsOtherFiles, Refused };
struct WebFolderCheck {
  WebFolderVerdict verdict = WebFolderVerdict::Writable;
  QString reason;
};
WebFolderCheck CheckWebFolder(const QString &folder);

struct WebBookOutcome {
  size_t pages = 0;
  bool cancelled = false;         // through the progress display: nothing written
  bool leftSomethingOut = false;  // a unit or form could not be read
};

// The project's (or a unit's) book as scrivane-print --all lays it out,
// recorded on `device` and then written into options.folder, which is
// prepared (made) only once the whole book is laid out: a cancel or a
// failure of the layout leaves the folder as it was. The window and the
// command line differ only in the readers, the progress and the paper.
// Passes on what the layout throws; false with *error when the folder or a
// page cannot be written.
bool WriteProjectWebBook(ProjectModel &model, Documents &docs, const BookReaders &readers,
                         PageDevice &device, const FormatSettings &settings,
                         const WebBookOptions &options, PrintProgress *progress,
                         WebBookOutcome *outcome, QString *error);

}  // namespace scrivane
