#include "web/WebBook.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "listing/ProjectBook.h"
#include "platform/TextEncoding.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {

// The rows of a listing are measured and written as page text on a thread
// of their own as soon as no more can come to them (a sheet further on):
// the layout keeps one core, the page text the other, as the PDF's sheet
// writer does.
struct WebBookRecorder::Aside {
  struct Rows {
    size_t document = 0;
    std::vector<WebRow *> rows;
    std::shared_ptr<const std::vector<FontSpec>> fonts;
  };
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Rows> waiting;
  bool ending = false;
  std::exception_ptr failure;
  std::map<size_t, std::shared_ptr<ListingBody>> bodies;  // the thread's until it ends
  // A measurer of its own (a measurer caches as it goes and serves one
  // thread); null: the words came measured.
  std::unique_ptr<QtTextMeasurer> measurer;
  std::vector<int> blankWidths;
  bool keepsWords = false;
  std::thread thread;

  Aside(int measureAt, bool keepWords)
      : measurer(measureAt > 0 ? std::make_unique<QtTextMeasurer>(measureAt) : nullptr),
        keepsWords(keepWords),
        thread([this] { Run(); }) {}
  void Run() {
    for (;;) {
      Rows next;
      {
        std::unique_lock lock(mutex);
        ready.wait(lock, [this] { return ending || !waiting.empty(); });
        if (waiting.empty()) return;
        next = std::move(waiting.front());
        waiting.pop_front();
      }
      if (failure) continue;
      try {
        std::shared_ptr<ListingBody> &body = bodies[next.document];
        if (!body) body = std::make_shared<ListingBody>();
        for (WebRow *row : next.rows) {
          if (measurer) MeasureWebRow(*row, *measurer, *next.fonts, blankWidths);
          body->Add(*row);
          if (!keepsWords) {
            std::vector<WebPiece>().swap(row->pieces);
            std::string().swap(row->bytes);
          }
        }
      } catch (...) {
        failure = std::current_exception();
      }
    }
  }
  void Hand(Rows rows) {
    {
      std::lock_guard lock(mutex);
      waiting.push_back(std::move(rows));
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
                   std::vector<int> &blankWidths) {
  for (WebPiece &piece : row.pieces) {
    if (piece.width >= 0 && piece.blankWidth > 0) continue;
    if (piece.font >= fonts.size()) continue;
    const FontSpec &font = fonts[piece.font];
    if (blankWidths.size() <= piece.font) blankWidths.resize(size_t(piece.font) + 1, -1);
    int &blank = blankWidths[piece.font];
    if (blank < 0) blank = measurer.textWidth(font, " ");
    if (piece.blankWidth <= 0) piece.blankWidth = blank;
    if (piece.width < 0)
      // Measured with the blanks drawn after it, as the layout measured
      // it, and those taken off: the room before the next word is the
      // page's to fill.
      piece.width = measurer.textWidthIn(font,
                                         QByteArrayView(row.bytes.data() + piece.at,
                                                        qsizetype(piece.size + piece.blanksAfter)),
                                         piece.encoding) -
                    int(piece.blanksAfter) * blank;
  }
}

QString WebRow::TextOf(const WebPiece &piece) const {
  if (piece.size == 0) return piece.text;
  return DecodeText(QByteArrayView(bytes.data() + piece.at, qsizetype(piece.size)), piece.encoding);
}

WebBookRecorder::WebBookRecorder(PageDevice &device) : device_(device) {
  if (const auto *measurer = dynamic_cast<const QtTextMeasurer *>(&device.measurer()))
    measureAsideAt_ = measurer->dotsPerInch();
}

WebBookRecorder::~WebBookRecorder() {
  if (aside_) aside_->End();
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
  if (!aside_) aside_ = std::make_unique<Aside>(measureAsideAt_, KeepsWords);
  aside_->Hand(std::move(rows));
}

void WebBookRecorder::newSheet() {
  ++sheet_;
  // Every row but the last is done: only the last one may go on here.
  if (!documents_.empty() && !documents_.back().rows.empty())
    WriteAside(documents_.back().rows.size() - 1);
}

void WebBookRecorder::FinishWritingAside() {
  if (!documents_.empty()) WriteAside(documents_.back().rows.size());
  if (!aside_) return;
  aside_->End();
  // Rows the thread did not get to are not measured: the book fails as a
  // layout that runs out of memory does.
  if (const std::exception_ptr failure = std::exchange(aside_->failure, nullptr)) {
    aside_.reset();
    std::rethrow_exception(failure);
  }
  for (auto &[document, body] : aside_->bodies)
    // A listing's body holds every row of it, or the page writes them all.
    if (document < documents_.size() && body->Ids().size() == documents_[document].rows.size())
      documents_[document].body = std::move(body);
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

void WebBookRecorder::documentStart(const QString &title, const QString &labelName,
                                    const QDateTime &) {
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

void WebBookRecorder::drawText(int x, int y, const FontSpec &font, QByteArrayView text) {
  drawTextIn(x, y, font, text, TextEncoding::Windows1252);
}

std::uint16_t WebBookRecorder::FontIndex(const FontSpec &font) {
  // A listing switches fonts word by word among a few.
  if (lastFont_ < fonts_.size() && SameGlyphs(fonts_[lastFont_], font)) return lastFont_;
  for (size_t f = 0; f < fonts_.size(); ++f)
    if (SameGlyphs(fonts_[f], font)) return lastFont_ = std::uint16_t(f);
  fonts_.push_back(font);
  return lastFont_ = std::uint16_t(fonts_.size() - 1);
}

int WebBookRecorder::WidthOf(const WebPiece &piece, const WebRow &row) {
  if (piece.width >= 0) return piece.width;
  const FontSpec &font = fonts_[piece.font];
  TextMeasurer &measurer = device_.measurer();
  return measurer.textWidthIn(
             font,
             QByteArrayView(row.bytes.data() + piece.at, qsizetype(piece.size + piece.blanksAfter)),
             piece.encoding) -
         int(piece.blanksAfter) * measurer.textWidth(font, " ");
}

void WebBookRecorder::drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text,
                                 TextEncoding encoding) {
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
      blankWidth_ = device_.measurer().textWidth(font, " ");
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
    if (row.pieces.empty()) {
      // Most rows hold a few words: room for them at once rather than
      // growing word by word.
      row.pieces.reserve(6);
      row.bytes.reserve(64);
    }
    WebPiece piece;
    piece.at = std::uint32_t(row.bytes.size());
    piece.size = std::uint32_t(size);
    piece.blanksAfter = std::uint32_t(text.size() - size);
    row.bytes.append(text.data(), size_t(text.size()));
    piece.font = FontIndex(font);
    piece.encoding = encoding;
    piece.x = x;
    piece.y = y;
    if (measureAsideAt_ == 0) {
      piece.blankWidth = measureBlank();
      piece.width = device_.measurer().textWidthIn(font, text, encoding) -
                    int(piece.blanksAfter) * piece.blankWidth;
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
  piece.text = DecodeText(text.first(size), encoding);
  piece.x = x;
  piece.y = y;
  piece.blankWidth = measureBlank();
  piece.width = device_.measurer().textWidthIn(font, text, encoding) -
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

void WebBookRecorder::blanks(QByteArrayView text) { pendingBlanks_ = DecodeText(text, encoding_); }

WebRow *WebBookRecorder::RowAt(int y) {
  WebDocument &document = Current();
  // Rows come in order down a sheet; a table's cells of one row may be
  // drawn a few rows apart (a name broken over two rows), so look back a little.
  int looked = 0;
  for (auto it = document.rows.rbegin(); it != document.rows.rend() && looked < 8; ++it, ++looked)
    if (it->sheet == sheet_ && it->y == y) return &*it;
  return nullptr;
}

void WebBookRecorder::anchor(const QByteArray &key, int y) {
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

void WebBookRecorder::outlineEntry(const QString &title, int y) {
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
  TextMeasurer &measurer = device_.measurer();
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

void WebBookRecorder::link(const QRect &area, const QByteArray &key) {
  WebDocument &document = Current();
  if (document.listing) return LinkListingText(area, key);
  // Every text of this sheet inside the area leads there.
  for (auto it = document.rows.rbegin(); it != document.rows.rend() && it->sheet == sheet_; ++it)
    for (WebPiece &piece : it->pieces)
      if (piece.link.isEmpty() && piece.y >= area.top() && piece.y <= area.bottom() &&
          piece.x >= area.left() - 1 && piece.x <= area.right())
        piece.link = key;
}

void WebBookRecorder::row(const ListingRow &listingRow) {
  WebDocument &document = Current();
  document.listing = true;
  WebRow row;
  row.fileLine = listingRow.fileLine;
  row.file = listingRow.file;
  // Points, as the fonts' sizes: the page indents as the paper does.
  const double pointsPerPixel = 72.0 / std::max(device_.metrics().PixelsPerInchX, 1);
  row.indent = std::max(listingRow.x, 0) * pointsPerPixel;
  row.bracket = std::max(listingRow.bracketX, 0) * pointsPerPixel;
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

void WebBookRecorder::word(WordClass kind, bool continues) {
  // Only a listing tells its words: what it draws before its first row
  // (a row number) is no table text.
  Current().listing = true;
  kind_ = kind;
  nextContinues_ = continues;
  wordStarted_ = true;
}

void WebBookRecorder::bracket(bool opens, bool closes) {
  WebDocument &document = Current();
  if (document.rows.empty()) return;
  document.rows.back().opens += opens ? 1 : 0;
  document.rows.back().closes += closes ? 1 : 0;
}

void WebBookRecorder::rule() {
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
