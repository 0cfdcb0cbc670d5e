#include "web/WebBook.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "listing/ProjectBook.h"
#include "platform/TextEncoding.h"
#include "print/PageCanvas.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

namespace {
std::function<void()> &WriterHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void WebBookRecorder::SetWriterHookForTests(std::function<void()> hook) {
  WriterHook() = std::move(hook);
}

// The rows of a listing are measured and written as page text on a thread
// of their own as soon as no more can come to them (a sheet further on):
// the layout keeps one core, the page text the other, as the PDF's sheet
// writer does.
struct WebBookRecorder::Log {
  // The events, appended without the checks and zeroing a std::string's
  // appends make: a sheet logs some thousands.
  std::unique_ptr<char[]> bytes;
  size_t size = 0, capacity = 0;
  std::shared_ptr<const std::vector<FontSpec>> fonts;  // the fonts its texts name

  void Reserve(size_t count) {
    if (size + count <= capacity) return;
    const size_t grown = std::max(capacity * 2, size + count + 4096);
    auto more = std::make_unique_for_overwrite<char[]>(grown);
    if (size) std::memcpy(more.get(), bytes.get(), size);
    bytes = std::move(more);
    capacity = grown;
  }
  char *Append(size_t count) {
    Reserve(count);
    char *at = bytes.get() + size;
    size += count;
    return at;
  }
};

enum class WebBookRecorder::Event : std::uint8_t {
  Sheet,
  Document,
  Text,
  Anchor,
  Outline,
  Link,
  Row,
  Word,
  Bracket,
  Rule,
  Blanks,
  FormFollows,
  Columns,
  JoinsAbove,
};

namespace {

// A text's event flag: a word() came before it (its kind and whether it
// goes on are the text's values 3 and 4).
constexpr std::uint8_t kWordStarts = 1;

// An event's head in the log; `size` bytes of its own follow it.
struct EventHead {
  std::uint8_t event = 0;
  std::uint8_t flags = 0;
  std::uint16_t font = 0;
  std::int32_t values[6] = {};
  std::uint32_t size = 0;
};

QByteArrayView Utf16Bytes(const QString &text) {
  return QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QString FromUtf16Bytes(QByteArrayView bytes) {
  QString text(bytes.size() / 2, Qt::Uninitialized);
  std::memcpy(text.data(), bytes.data(), size_t(text.size()) * 2);
  return text;
}

// A font's place in a list of the fonts met, each once by its glyphs.
std::uint16_t FontIn(std::vector<FontSpec> &fonts, std::uint16_t &last, const FontSpec &font) {
  // A listing switches fonts word by word among a few.
  if (last < fonts.size() && SameGlyphs(fonts[last], font)) return last;
  for (size_t f = 0; f < fonts.size(); ++f)
    if (SameGlyphs(fonts[f], font)) return last = std::uint16_t(f);
  fonts.push_back(font);
  return last = std::uint16_t(fonts.size() - 1);
}

}  // namespace

// The rows of a listing are measured and written as page text on a thread
// of their own as soon as no more can come to them (a sheet further on):
// the layout keeps one core, the page text the other, as the PDF's sheet
// writer does. With a measurer of its own the thread also keeps what the
// page events tell, from the layout's log of each sheet.
struct WebBookRecorder::Aside {
  struct Rows {
    size_t document = 0;
    std::vector<WebRow *> rows;
    std::shared_ptr<const std::vector<FontSpec>> fonts;
    bool keepWords = false;
  };
  struct Work {
    Rows rows;
    std::unique_ptr<Log> log;  // or a sheet's events to keep
  };
  WebBookRecorder &recorder;
  std::mutex mutex;
  std::condition_variable ready, room;
  std::deque<Work> waiting;
  // Sheets handed on and not yet written: the layout waits for room beyond
  // these, so that a slow writer (a slow disk) does not make the book's
  // memory grow with its length.
  static constexpr size_t kMostWaiting = kMostLogsWaiting;
  size_t mostWaiting = 0;
  bool ending = false;
  std::exception_ptr failure;
  std::map<size_t, std::shared_ptr<ListingBody>> bodies;  // the thread's until it ends
  std::shared_ptr<WebLinkKeys> keys = std::make_shared<WebLinkKeys>();  // the same
  // A measurer of its own (a measurer caches as it goes and serves one
  // thread); null: the words came measured.
  std::unique_ptr<QtTextMeasurer> measurer;
  WebFontWidths blankWidths;
  // Rooms for a row's words from rows written, for rows to come: two
  // blocks made and freed a row were a twelfth of this thread's work.
  struct Words {
    std::vector<WebPiece> pieces;
    std::string bytes;
  };
  std::vector<Words> spareWords;
  static constexpr size_t kMostSpare = 64;
  std::thread thread;

  Aside(WebBookRecorder &owner, int measureAt)
      : recorder(owner),
        measurer(measureAt > 0 ? std::make_unique<QtTextMeasurer>(measureAt) : nullptr),
        thread([this] { Run(); }) {}
  void Run() {
    for (;;) {
      Work next;
      {
        std::unique_lock lock(mutex);
        ready.wait(lock, [this] { return ending || !waiting.empty(); });
        if (waiting.empty()) return;
        next = std::move(waiting.front());
        waiting.pop_front();
      }
      room.notify_one();
      if (failure) continue;
      try {
        if (next.log) {
          if (WriterHook()) WriterHook()();
          recorder.Replay(*next.log);
          Recycle(std::move(next.log));
        } else
          Write(next.rows);
      } catch (...) {
        failure = std::current_exception();
      }
    }
  }
  void Write(Rows &rows) {
    std::shared_ptr<ListingBody> &body = bodies[rows.document];
    if (!body) body = std::make_shared<ListingBody>(keys, std::uint32_t(rows.document));
    for (WebRow *row : rows.rows) {
      if (measurer) MeasureWebRow(*row, *measurer, *rows.fonts, blankWidths);
      body->Add(*row);
      if (rows.keepWords) continue;
      if (measurer && spareWords.size() < kMostSpare) {
        // Rows are made on this thread too (from the log): the next one
        // takes this one's room for its words.
        row->pieces.clear();
        row->bytes.clear();
        spareWords.push_back({std::move(row->pieces), std::move(row->bytes)});
      }
      std::vector<WebPiece>().swap(row->pieces);
      std::string().swap(row->bytes);
    }
  }
  // Logs replayed, for the layout's next sheets: a fresh one each sheet
  // is memory never touched before, and the layout's thread spent a
  // twentieth of its time faulting it in and missing it in the cache.
  // Every log is kept: as many as may wait were made when the writer fell
  // behind, and a unit commented in Russian made a third of its logs
  // afresh when four were kept.
  std::vector<std::unique_ptr<Log>> spare;
  void Recycle(std::unique_ptr<Log> log) {
    log->size = 0;
    log->fonts.reset();
    std::lock_guard lock(mutex);
    if (spare.size() <= kMostWaiting) spare.push_back(std::move(log));
  }
  std::unique_ptr<Log> SpareLog() {
    std::lock_guard lock(mutex);
    if (spare.empty()) return std::make_unique<Log>();
    std::unique_ptr<Log> log = std::move(spare.back());
    spare.pop_back();
    return log;
  }
  void Hand(Work work) {
    {
      std::unique_lock lock(mutex);
      room.wait(lock, [this] { return waiting.size() < kMostWaiting; });
      waiting.push_back(std::move(work));
      mostWaiting = std::max(mostWaiting, waiting.size());
    }
    ready.notify_one();
  }
  void End() {
    {
      std::lock_guard lock(mutex);
      ending = true;
    }
    ready.notify_one();
    if (thread.joinable()) thread.join();
  }
};

void MeasureWebRow(WebRow &row, TextMeasurer &measurer, const std::vector<FontSpec> &fonts,
                   WebFontWidths &known) {
  for (WebPiece &piece : row.pieces) {
    if (piece.width >= 0 && piece.blankWidth > 0) continue;
    if (piece.font >= fonts.size()) continue;
    const FontSpec &font = fonts[piece.font];
    if (known.blank.size() <= piece.font) {
      known.blank.resize(size_t(piece.font) + 1, -1);
      known.advances.resize(size_t(piece.font) + 1, nullptr);
    }
    int &blank = known.blank[piece.font];
    if (blank < 0) {
      blank = measurer.textWidth(font, " ");
      known.advances[piece.font] = measurer.advances64(font);
    }
    if (piece.blankWidth <= 0) piece.blankWidth = blank;
    if (piece.width >= 0) continue;
    if (piece.drawnWidth >= 0) {
      piece.width = piece.drawnWidth - int(piece.blanksAfter) * blank;
      continue;
    }
    // Measured with the blanks drawn after it, as the layout measured it,
    // and those taken off: the room before the next word is the page's to
    // fill. Summed here from the font's advances, as the measurer sums
    // them, where each byte's is known and stands for one letter.
    const QByteArrayView text(row.bytes.data() + piece.at,
                              qsizetype(piece.size + piece.blanksAfter));
    long long width64 = 0;
    bool summed = known.advances[piece.font] != nullptr;
    if (summed) {
      const std::array<int, 256> &advances = *known.advances[piece.font];
      const bool anyByte = piece.encoding == TextEncoding::Windows1252;
      for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const int advance = advances[c];
        if (advance < 0 || (c >= 0x80 && !anyByte)) {
          summed = false;
          break;
        }
        width64 += advance;
      }
    }
    const int width =
        summed ? PageCanvas::Round64(width64) : measurer.textWidthIn(font, text, piece.encoding);
    piece.width = width - int(piece.blanksAfter) * blank;
  }
}

QString WebRow::TextOf(const WebPiece &piece) const {
  if (piece.size == 0) return piece.text;
  return DecodeText(QByteArrayView(bytes.data() + piece.at, qsizetype(piece.size)), piece.encoding);
}

WebBookRecorder::WebBookRecorder(PageDevice &device) : device_(device) {
  // Points, as the fonts' sizes: the page indents as the paper does.
  pointsPerPixel_ = 72.0 / std::max(device.metrics().PixelsPerInchX, 1);
  if (const auto *measurer = dynamic_cast<const QtTextMeasurer *>(&device.measurer())) {
    measureAsideAt_ = measurer->dotsPerInch();
    aside_ = std::make_unique<Aside>(*this, measureAsideAt_);
    log_ = std::make_unique<Log>();
  }
}

WebBookRecorder::~WebBookRecorder() {
  if (aside_) aside_->End();
}

TextMeasurer &WebBookRecorder::Measurer() {
  return measureAsideAt_ > 0 && aside_ ? *aside_->measurer : device_.measurer();
}

void WebBookRecorder::WriteAside(size_t end) {
  if (documents_.empty() || !documents_.back().listing) return;
  WebDocument &document = documents_.back();
  end = std::min(end, document.rows.size());
  if (end <= handedOver_) return;
  Aside::Rows rows;
  rows.document = documents_.size() - 1;
  if (!fontsHanded_ || fontsHanded_->size() != fonts_.size())
    fontsHanded_ = std::make_shared<const std::vector<FontSpec>>(fonts_);
  rows.fonts = fontsHanded_;
  rows.rows.reserve(end - handedOver_);
  for (size_t r = handedOver_; r < end; ++r) rows.rows.push_back(&document.rows[r]);
  handedOver_ = end;
  rows.keepWords = KeepsWords;
  if (!aside_) aside_ = std::make_unique<Aside>(*this, 0);
  // Keeping the events from the log, the writing thread is here already.
  if (measureAsideAt_ > 0) {
    aside_->Write(rows);
    // The rows written go, but for the last few, which the next events
    // may still look back at (RowAt).
    constexpr size_t kKeptRows = 64;
    if (!KeepsWords && handedOver_ > kKeptRows)
      document.rows.ReleaseBefore(handedOver_ - kKeptRows);
  } else {
    aside_->Hand({std::move(rows), nullptr});
  }
}

void WebBookRecorder::Note(Event event, QByteArrayView bytes, std::initializer_list<int> values,
                           std::uint16_t font, std::uint8_t flags) {
  // A word's kind goes with the text that follows it, unless something
  // else comes first.
  if (pendingWord_.told && event != Event::Text) {
    pendingWord_.told = false;
    Note(Event::Word, {}, {int(pendingWord_.kind), pendingWord_.continues ? 1 : 0});
  }
  // The head is stored field by field where it goes: put together on the
  // stack first, it was read back whole before its narrow parts had been
  // stored, which stalled the layout's thread at every event.
  char *at = log_->Append(sizeof(EventHead) + size_t(bytes.size()));
  const auto put = [](char *to, auto value) { std::memcpy(to, &value, sizeof value); };
  put(at + offsetof(EventHead, event), std::uint8_t(event));
  put(at + offsetof(EventHead, flags), flags);
  put(at + offsetof(EventHead, font), font);
  char *value = at + offsetof(EventHead, values);
  for (const int v : values) put(std::exchange(value, value + sizeof v), std::int32_t(v));
  std::memset(value, 0, size_t(at + offsetof(EventHead, size) - value));
  put(at + offsetof(EventHead, size), std::uint32_t(bytes.size()));
  if (!bytes.isEmpty()) std::memcpy(at + sizeof(EventHead), bytes.data(), size_t(bytes.size()));
}

void WebBookRecorder::Replay(const Log &log) {
  const char *bytes = log.bytes.get();
  size_t at = 0;
  while (at + sizeof(EventHead) <= log.size) {
    EventHead head;
    std::memcpy(&head, bytes + at, sizeof head);
    at += sizeof head;
    const QByteArrayView own(bytes + at, qsizetype(head.size));
    at += head.size;
    const std::int32_t *v = head.values;
    switch (Event(head.event)) {
      case Event::Sheet:
        OnNewSheet();
        break;
      case Event::Document:
        OnDocumentStart(FromUtf16Bytes(own.first(v[0])), FromUtf16Bytes(own.sliced(v[0])));
        break;
      case Event::Text:
        if (head.flags & kWordStarts) OnWord(WordClass(v[3]), v[4] != 0);
        OnText(v[0], v[1], (*log.fonts)[head.font], own, TextEncoding(v[2]), v[5] - 1, head.font);
        break;
      case Event::Anchor:
        OnAnchor(own.toByteArray(), v[0]);
        break;
      case Event::Outline:
        OnOutline(FromUtf16Bytes(own), v[0]);
        break;
      case Event::Link:
        OnLink(QRect(v[0], v[1], v[2], v[3]), own.toByteArray());
        break;
      case Event::Row:
        OnRow(ListingRow{v[0], v[1], v[2], v[3], v[4], v[5]});
        break;
      case Event::Word:
        OnWord(WordClass(v[0]), v[1] != 0);
        break;
      case Event::Bracket:
        OnBracket(v[0] != 0, v[1] != 0);
        break;
      case Event::Rule:
        OnRule();
        break;
      case Event::Blanks:
        OnBlanks(own);
        break;
      case Event::FormFollows:
        formFollows_ = true;
        break;
      case Event::Columns:
        OnColumns(std::vector<int>(v, v + std::clamp(int(head.flags), 0, 5)), v[5] % 256 - 1,
                  v[5] / 256);
        break;
      case Event::JoinsAbove:
        OnJoinsAbove(v[0] != 0);
        break;
    }
  }
}

void WebBookRecorder::HandLog(bool more) {
  if (!logFontsHanded_ || logFontsHanded_->size() != logFonts_.size())
    logFontsHanded_ = std::make_shared<const std::vector<FontSpec>>(logFonts_);
  log_->fonts = logFontsHanded_;
  lastTextLogged_ = SIZE_MAX;
  const size_t used = log_->size;
  aside_->Hand({{}, std::exchange(log_, more ? aside_->SpareLog() : nullptr)});
  if (more) log_->Reserve(used + used / 4);
}

void WebBookRecorder::newSheet() {
  if (!log_) return OnNewSheet();
  Note(Event::Sheet);
  // A few sheets to a log: the writing thread, faster than the layout,
  // sleeps between logs, and waking it on the other core cost the layout's
  // thread some 15 us each time.
  constexpr int kSheetsPerLog = 4;
  if (++sheetsLogged_ % kSheetsPerLog == 0) HandLog(true);
}

void WebBookRecorder::FormFollows() {
  if (log_)
    Note(Event::FormFollows);
  else
    formFollows_ = true;
}

void WebBookRecorder::documentStart(const QString &title, const QString &labelName,
                                    const QDateTime &) {
  if (!log_) return OnDocumentStart(title, labelName);
  logFurniture_ = false;
  const QString both = title + labelName;
  Note(Event::Document, Utf16Bytes(both), {int(title.size() * 2)});
}

void WebBookRecorder::drawText(int x, int y, const FontSpec &font, QByteArrayView text) {
  drawTextIn(x, y, font, text, TextEncoding::Windows1252);
}

void WebBookRecorder::drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                                 TextEncoding encoding) {
  if (!log_) return OnText(x, y, font, text, encoding);
  lastTextLogged_ = SIZE_MAX;
  if (logFurniture_ || text.isEmpty()) return;
  const auto word = std::exchange(pendingWord_, {});
  const size_t at = log_->size;
  // Its sixth value, its drawn width and one, comes with drawnWidth.
  Note(Event::Text, text, {x, y, int(encoding), int(word.kind), word.continues ? 1 : 0},
       FontIn(logFonts_, lastLogFont_, font), word.told ? kWordStarts : 0);
  lastTextLogged_ = at;
}

void WebBookRecorder::drawnWidth(int pixels) {
  // Measured as they are drawn, the words need not be told.
  if (!log_ || lastTextLogged_ == SIZE_MAX || pixels < 0) return;
  const std::int32_t told = pixels + 1;
  std::memcpy(log_->bytes.get() + lastTextLogged_ + offsetof(EventHead, values) + 5 * sizeof told,
              &told, sizeof told);
  lastTextLogged_ = SIZE_MAX;
}

void WebBookRecorder::anchor(const QByteArray &key, int y) {
  if (!log_) return OnAnchor(key, y);
  Note(Event::Anchor, key, {y});
}

void WebBookRecorder::outlineEntry(const QString &title, int y) {
  if (!log_) return OnOutline(title, y);
  Note(Event::Outline, Utf16Bytes(title), {y});
}

void WebBookRecorder::link(const QRect &area, const QByteArray &key) {
  if (!log_) return OnLink(area, key);
  Note(Event::Link, key, {area.x(), area.y(), area.width(), area.height()});
}

void WebBookRecorder::furniture(bool drawing) {
  if (log_)
    logFurniture_ = drawing;
  else
    furniture_ = drawing;
}

void WebBookRecorder::row(const ListingRow &row) {
  if (!log_) return OnRow(row);
  Note(Event::Row, {}, {row.fileLine, row.file, row.x, row.blankWidth, row.bracketX, row.y});
}

void WebBookRecorder::word(WordClass kind, bool continues) {
  if (!log_) return OnWord(kind, continues);
  pendingWord_ = {true, kind, continues};
}

void WebBookRecorder::bracket(bool opens, bool closes) {
  if (!log_) return OnBracket(opens, closes);
  Note(Event::Bracket, {}, {opens ? 1 : 0, closes ? 1 : 0});
}

void WebBookRecorder::rule() {
  if (!log_) return OnRule();
  Note(Event::Rule);
}

void WebBookRecorder::blanks(QByteArrayView text) {
  if (!log_) return OnBlanks(text);
  Note(Event::Blanks, text);
}

void WebBookRecorder::columns(const std::vector<int> &starts, int linked, int setRight) {
  if (!log_) return OnColumns(starts, linked, setRight);
  std::int32_t v[5] = {};
  const size_t count = std::min<size_t>(starts.size(), 5);
  std::copy_n(starts.begin(), count, v);
  // Both column numbers (at most 5, or none) in the last value.
  const int both = std::clamp(linked + 1, 0, 255) + 256 * std::clamp(setRight, 0, 255);
  Note(Event::Columns, {}, {v[0], v[1], v[2], v[3], v[4], both}, 0, std::uint8_t(count));
}

void WebBookRecorder::joinsAbove(bool afterBlank) {
  if (!log_) return OnJoinsAbove(afterBlank);
  Note(Event::JoinsAbove, {}, {afterBlank ? 1 : 0});
}

void WebBookRecorder::OnColumns(std::vector<int> starts, int linked, int setRight) {
  WebDocument &document = Current();
  if (document.listing) return;
  document.setRightFrom = setRight;
  document.columns = std::move(starts);
  document.linkedColumn = linked;
  document.pointsPerPixel = pointsPerPixel_;
}

void WebBookRecorder::OnNewSheet() {
  ++sheet_;
  // Every row but the last is done: only the last one may go on here.
  if (!documents_.empty() && !documents_.back().rows.empty())
    WriteAside(documents_.back().rows.size() - 1);
}

void WebBookRecorder::FinishWritingAside() {
  if (log_) {
    // The last sheet's events, and then the rows they leave.
    HandLog(false);
    aside_->End();
    if (!aside_->failure && !documents_.empty()) {
      try {
        WriteAside(documents_.back().rows.size());
      } catch (...) {
        aside_->failure = std::current_exception();
      }
    }
  } else {
    if (!documents_.empty()) WriteAside(documents_.back().rows.size());
    if (!aside_) return;
    aside_->End();
  }
  // Rows the thread did not get to are not measured: the book fails as a
  // layout that runs out of memory does.
  if (const std::exception_ptr failure = std::exchange(aside_->failure, nullptr)) {
    aside_.reset();
    std::rethrow_exception(failure);
  }
  mostLogsWaiting_ = aside_->mostWaiting;
  for (auto &[document, body] : aside_->bodies)
    // A listing's body holds every row of it, or the page writes them all.
    if (document < documents_.size() && body->Rows() == documents_[document].rows.size()) {
      documents_[document].body = std::move(body);
      documents_[document].linkKeys = aside_->keys;
    }
  aside_.reset();
}

const WebDocuments &WebBookRecorder::Documents() {
  FinishWritingAside();
  return documents_;
}

WebDocument &WebBookRecorder::Current() {
  if (documents_.empty()) documents_.emplace_back();
  return documents_.back();
}

void WebBookRecorder::OnDocumentStart(const QString &title, const QString &labelName) {
  if (!documents_.empty()) WriteAside(documents_.back().rows.size());
  handedOver_ = 0;
  WebDocument document;
  document.title = title;
  document.labelName = labelName;
  if (formFollows_) {
    for (size_t d = documents_.size(); d-- > 0;)
      if (documents_[d].listing) {
        document.formOf = int(d);
        break;
      }
    formFollows_ = false;
  }
  documents_.push_back(std::move(document));
  kind_ = WordClass::None;
  furniture_ = false;
  pendingAnchors_.clear();
  pendingOutline_.clear();
  pendingBlanks_.clear();
  pendingNumber_ = {};
}

std::uint16_t WebBookRecorder::FontIndex(const FontSpec &font, std::uint16_t logFont) {
  if (logFont == kNoLogFont) return FontIn(fonts_, lastFont_, font);
  if (fontOfLogFont_.size() <= logFont) fontOfLogFont_.resize(size_t(logFont) + 1, kNoLogFont);
  std::uint16_t &known = fontOfLogFont_[logFont];
  if (known == kNoLogFont) known = FontIn(fonts_, lastFont_, font);
  return known;
}

int WebBookRecorder::WidthOf(const WebPiece &piece, const WebRow &row) {
  if (piece.width >= 0) return piece.width;
  const FontSpec &font = fonts_[piece.font];
  TextMeasurer &measurer = Measurer();
  if (piece.drawnWidth >= 0)
    return piece.drawnWidth - int(piece.blanksAfter) * measurer.textWidth(font, " ");
  return measurer.textWidthIn(
             font,
             QByteArrayView(row.bytes.data() + piece.at, qsizetype(piece.size + piece.blanksAfter)),
             piece.encoding) -
         int(piece.blanksAfter) * measurer.textWidth(font, " ");
}

void WebBookRecorder::OnText(int x, int y, const FontSpec &font, QByteArrayView text,
                             TextEncoding encoding, int drawnWidth, std::uint16_t logFont) {
  const std::uint8_t join = std::exchange(pendingJoin_, 0);
  if (furniture_ || text.isEmpty()) return;
  WebDocument &document = Current();
  // A word is drawn with the blank after it: the blank is space between
  // words, which the pages make from where the next word starts.
  qsizetype size = text.size();
  while (size > 0 && text[size - 1] == ' ') --size;
  if (size == 0) return;
  auto measureBlank = [&] {
    if (blankWidth_ < 0 || !SameGlyphs(blankFont_, font)) {
      blankFont_ = font;
      blankWidth_ = Measurer().textWidth(font, " ");
    }
    return blankWidth_;
  };
  if (document.listing) {
    encoding_ = encoding;
    // The number the paper shows beside a row (its line in the file, or
    // the printed row's count) belongs to the row at its height.
    if (kind_ == WordClass::LineNumber) {
      KeepNumber(text.first(text[size - 1] == ':' ? size - 1 : size), y);
      return;
    }
    // Only the listing's own words: text told as nothing (a form's image
    // caption) is left out.
    if (kind_ == WordClass::None || document.rows.empty()) return;
    if (kind_ == WordClass::PartHeading) {
      WebRow heading;
      heading.heading = DecodeText(text.first(size), encoding);
      heading.sheet = sheet_;
      heading.y = y;
      document.rows.push_back(std::move(heading));
      return;
    }
    WebRow &row = document.rows.back();
    // The count of a row the line wraps onto (printed rows numbered): the
    // page starts a row there too, so that every number stands as on paper.
    if (pendingNumber_.sheet == sheet_ && pendingNumber_.y == y && !row.pieces.empty() &&
        (row.sheet != sheet_ || row.y != y)) {
      const double indent = row.indent + (x - row.pieces.front().x) * pointsPerPixel_;
      row.continued.push_back({std::uint32_t(row.pieces.size()), std::max(indent, 0.0),
                               std::move(pendingNumber_.text)});
      pendingNumber_ = {};
    }
    if (row.pieces.empty()) {
      // Most rows hold a few words: room for them at once rather than
      // growing word by word, that of a row written when there is one.
      if (measureAsideAt_ > 0 && aside_ && !aside_->spareWords.empty() &&
          row.pieces.capacity() == 0) {
        row.pieces = std::move(aside_->spareWords.back().pieces);
        row.bytes = std::move(aside_->spareWords.back().bytes);
        aside_->spareWords.pop_back();
      }
      row.pieces.reserve(6);
      row.bytes.reserve(64);
    }
    WebPiece piece;
    piece.at = std::uint32_t(row.bytes.size());
    piece.size = std::uint32_t(size);
    piece.blanksAfter = std::uint32_t(text.size() - size);
    row.bytes.append(text.data(), size_t(text.size()));
    piece.font = FontIndex(font, logFont);
    piece.drawnWidth = drawnWidth;
    piece.encoding = encoding;
    piece.x = x;
    piece.y = y;
    if (measureAsideAt_ == 0) {
      piece.blankWidth = measureBlank();
      piece.width =
          Measurer().textWidthIn(font, text, encoding) - int(piece.blanksAfter) * piece.blankWidth;
    }
    piece.kind = kind_;
    piece.newWord = wordStarted_ && !nextContinues_;
    piece.blanks = std::move(pendingBlanks_);
    pendingBlanks_.clear();
    wordStarted_ = false;
    nextContinues_ = false;
    row.pieces.push_back(std::move(piece));
    return;
  }
  // Any other document: the texts at one height of one sheet are a row.
  WebPiece piece;
  piece.joinsAbove = join;
  piece.text = DecodeText(text.first(size), encoding);
  piece.font = FontIndex(font, logFont);
  piece.x = x;
  piece.y = y;
  piece.blankWidth = measureBlank();
  piece.width = (drawnWidth >= 0 ? drawnWidth : Measurer().textWidthIn(font, text, encoding)) -
                int(text.size() - size) * piece.blankWidth;
  WebRow *row = RowAt(y);
  if (!row) {
    WebRow fresh;
    fresh.sheet = sheet_;
    fresh.y = y;
    fresh.anchors = std::move(pendingAnchors_);
    fresh.outline = std::move(pendingOutline_);
    pendingAnchors_.clear();
    pendingOutline_.clear();
    document.rows.push_back(std::move(fresh));
    row = &document.rows.back();
  }
  row->pieces.push_back(std::move(piece));
}

void WebBookRecorder::KeepNumber(QByteArrayView text, int y) {
  WebDocument &document = Current();
  if (!document.rows.empty()) {
    WebRow &last = document.rows.back();
    if (last.sheet == sheet_ && last.y == y && last.heading.isEmpty()) {
      last.number.assign(text.data(), size_t(text.size()));
      return;
    }
  }
  pendingNumber_ = {sheet_, y, std::string(text.data(), size_t(text.size()))};
}

void WebBookRecorder::OnBlanks(QByteArrayView text) {
  pendingBlanks_ = DecodeText(text, encoding_);
}

WebRow *WebBookRecorder::RowAt(int y) {
  WebDocument &document = Current();
  // Rows come in order down a sheet; a table's cells of one row may be
  // drawn a few rows apart (a name broken over two rows), so look back a little.
  int looked = 0;
  for (auto it = document.rows.rbegin(); it != document.rows.rend() && looked < 8; ++it, ++looked)
    if (it->sheet == sheet_ && it->y == y) return &*it;
  return nullptr;
}

void WebBookRecorder::OnAnchor(const QByteArray &key, int y) {
  WebDocument &document = Current();
  if (document.listing && !document.rows.empty() && document.rows.back().sheet == sheet_) {
    document.rows.back().anchors.push_back(key);
    return;
  }
  if (!document.listing)
    if (WebRow *row = RowAt(y)) {
      row->anchors.push_back(key);
      return;
    }
  if (document.rows.empty())
    document.anchorsBefore.push_back(key);
  else
    pendingAnchors_.push_back(key);
}

void WebBookRecorder::OnOutline(const QString &title, int y) {
  WebDocument &document = Current();
  WebRow *row =
      document.listing ? (document.rows.empty() ? nullptr : &document.rows.back()) : RowAt(y);
  if (row)
    row->outline.push_back(title);
  else
    pendingOutline_.push_back(title);
}

void WebBookRecorder::LinkListingText(const QRect &area, const QByteArray &key) {
  WebDocument &document = Current();
  if (document.rows.empty() || document.rows.back().pieces.empty()) return;
  WebRow &row = document.rows.back();
  std::vector<WebPiece> &pieces = row.pieces;
  WebPiece &last = pieces.back();
  if (last.link.size() || last.size == 0 || last.y < area.top() || last.y > area.bottom()) return;
  if (area.left() <= last.x + 1 && area.right() + 1 >= last.x + WidthOf(last, row) - 1) {
    last.link = key;
    return;
  }
  // The bytes of the last text before the area, and up to its end.
  TextMeasurer &measurer = Measurer();
  const FontSpec &font = fonts_[last.font];
  const TextEncoding encoding = last.encoding;
  const QByteArrayView bytes(row.bytes.data() + last.at, qsizetype(last.size));
  auto offsetAt = [&](int x) {
    qsizetype at = 0;
    while (at < bytes.size() &&
           last.x + measurer.textWidthIn(font, bytes.first(at), encoding) < x - 1)
      at += CharacterLength(bytes, at, encoding);
    return at;
  };
  const qsizetype from = offsetAt(area.left());
  const qsizetype to = std::max(from, offsetAt(area.right() + 1));
  if (from >= to || to > bytes.size()) return;
  auto piece = [&](qsizetype start, qsizetype end, bool newWord) {
    WebPiece p = last;
    p.at = last.at + std::uint32_t(start);
    p.size = std::uint32_t(end - start);
    p.blanksAfter = 0;
    p.x = last.x + (start > 0 ? measurer.textWidthIn(font, bytes.first(start), encoding) : 0);
    p.width = last.x + measurer.textWidthIn(font, bytes.first(end), encoding) - p.x;
    p.newWord = newWord;
    if (start > 0) p.blanks.clear();  // the blanks before the text stand before its first piece
    p.link.clear();
    return p;
  };
  const bool newWord = last.newWord;
  std::vector<WebPiece> parts;
  if (from > 0) parts.push_back(piece(0, from, newWord));
  parts.push_back(piece(from, to, from == 0 && newWord));
  parts.back().link = key;
  // A later name of the same text cuts what is left after this one.
  if (to < bytes.size()) parts.push_back(piece(to, bytes.size(), false));
  pieces.pop_back();
  for (WebPiece &p : parts) pieces.push_back(std::move(p));
}

void WebBookRecorder::OnLink(const QRect &area, const QByteArray &key) {
  WebDocument &document = Current();
  if (document.listing) return LinkListingText(area, key);
  // Every text of this sheet inside the area leads there; a name inside a
  // text ("TMainForm" of "CreateForm(TMainForm,") is cut out of it.
  for (auto it = document.rows.rbegin(); it != document.rows.rend() && it->sheet == sheet_; ++it)
    for (size_t p = 0; p < it->pieces.size(); ++p) {
      WebPiece &piece = it->pieces[p];
      if (!piece.link.isEmpty() || piece.y < area.top() || piece.y > area.bottom()) continue;
      const bool startsInside = piece.x >= area.left() - 1 && piece.x <= area.right();
      if (startsInside && piece.x + piece.width <= area.right() + 2)
        piece.link = key;
      else if (startsInside || (piece.x < area.left() - 1 && area.left() < piece.x + piece.width))
        p += CutTableText(*it, p, area, key);
    }
}

size_t WebBookRecorder::CutTableText(WebRow &row, size_t at, const QRect &area,
                                     const QByteArray &key) {
  const WebPiece whole = row.pieces[at];
  if (whole.font >= fonts_.size()) return 0;
  const FontSpec &font = fonts_[whole.font];
  TextMeasurer &measurer = Measurer();
  const QString &text = whole.text;
  const auto widthOf = [&](qsizetype chars) {
    return chars > 0 ? measurer.textWidthIn(font, text.first(chars).toUtf8(), TextEncoding::Utf8)
                     : 0;
  };
  const auto offsetAt = [&](int x) {
    qsizetype chars = 0;
    while (chars < text.size() && whole.x + widthOf(chars) < x - 1) ++chars;
    return chars;
  };
  const qsizetype from = offsetAt(area.left());
  const qsizetype to = std::max(from, offsetAt(area.right() + 1));
  if (from >= to) return 0;
  if (from == 0 && to == text.size()) {
    row.pieces[at].link = key;
    return 0;
  }
  std::vector<WebPiece> parts;
  for (const auto &[start, end] : {std::pair{qsizetype(0), from}, {from, to}, {to, text.size()}}) {
    if (start >= end) continue;
    WebPiece part = whole;
    part.text = text.sliced(start, end - start);
    part.x = whole.x + widthOf(start);
    part.width =
        end == text.size() ? whole.x + whole.width - part.x : whole.x + widthOf(end) - part.x;
    part.link = start == from ? key : QByteArray();
    parts.push_back(std::move(part));
  }
  row.pieces.erase(row.pieces.begin() + qsizetype(at));
  row.pieces.insert(row.pieces.begin() + qsizetype(at), parts.begin(), parts.end());
  return parts.size() - 1;
}

void WebBookRecorder::OnRow(const ListingRow &listingRow) {
  WebDocument &document = Current();
  document.listing = true;
  WebRow row;
  row.fileLine = listingRow.fileLine;
  row.file = listingRow.file;
  row.indent = std::max(listingRow.x, 0) * pointsPerPixel_;
  row.bracket = std::max(listingRow.bracketX, 0) * pointsPerPixel_;
  row.blankWidth = listingRow.blankWidth;
  row.sheet = sheet_;
  row.y = listingRow.y;
  if (pendingNumber_.sheet == sheet_ && pendingNumber_.y == row.y)
    row.number = std::move(pendingNumber_.text);
  pendingNumber_ = {};
  row.anchors = std::move(pendingAnchors_);
  row.outline = std::move(pendingOutline_);
  pendingAnchors_.clear();
  pendingOutline_.clear();
  document.rows.push_back(std::move(row));
}

void WebBookRecorder::OnWord(WordClass kind, bool continues) {
  // Only a listing tells its words: what it draws before its first row
  // (a row number) is no table text.
  Current().listing = true;
  kind_ = kind;
  nextContinues_ = continues;
  wordStarted_ = true;
}

void WebBookRecorder::OnBracket(bool opens, bool closes) {
  WebDocument &document = Current();
  if (document.rows.empty()) return;
  document.rows.back().opens += opens ? 1 : 0;
  document.rows.back().closes += closes ? 1 : 0;
}

void WebBookRecorder::OnRule() {
  WebDocument &document = Current();
  if (!document.rows.empty()) document.rows.back().ruleAfter = true;
}

bool WriteProjectWebBook(ProjectModel &model, Documents &docs, const BookReaders &readers,
                         PageDevice &device, const FormatSettings &settings,
                         const WebBookOptions &options, PrintProgress *progress,
                         WebBookOutcome *outcome, QString *error) {
  *outcome = {};
  WebBookRecorder recorder(device);
  // The unit's page links its form's page: the book says which listing is a form's.
  BookReaders told = readers;
  if (readers.LoadForm)
    told.LoadForm = [&](const QString &form) {
      const bool loaded = readers.LoadForm(form);
      if (loaded) recorder.FormFollows();
      return loaded;
    };
  const BookOutcome book = PrintProjectBook(model, docs, told, recorder, progress);
  outcome->leftSomethingOut = book.LeftSomethingOut;
  if (book.Cancelled) {
    outcome->cancelled = true;
    return true;
  }
  if (!WriteWebBook(recorder.Documents(), settings, options, error)) return false;
  outcome->pages = recorder.Documents().size();
  return true;
}

}  // namespace scrivane
