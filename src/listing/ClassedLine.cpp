#include "listing/ClassedLine.h"

#include <cstring>

#include "format/FormatSettings.h"

namespace scrivane {
namespace {

constexpr unsigned char kRecased = 0x80;
// Words classed before the window is cut back to the two the rules may
// still look at; and words cut ahead of the one being classed, more than a
// routine heading's kind words and name.
constexpr size_t kWindowWords = 4096;
constexpr size_t kWordsAhead = 64;

// The case option applied to a reserved word, as ClassifyWord applies it.
QByteArray Recased(QByteArrayView word, int reserveCase) {
  QByteArray text(word.data(), word.size());
  for (char &c : text) {
    if (reserveCase == 1 && c >= 'a' && c <= 'z') c = char(c - ('a' - 'A'));
    if (reserveCase == 2 && c >= 'A' && c <= 'Z') c = char(c + ('a' - 'A'));
  }
  return text;
}

}  // namespace

ClassedLine::ClassedLine(QByteArrayView line, QByteArrayView trimmedLine, ScanState &state,
                         const FormatSettings &settings, CodeWordRules *rules) {
  Reclass(line, trimmedLine, state, settings, rules);
}

void ClassedLine::Reclass(QByteArrayView line, QByteArrayView trimmedLine, ScanState &state,
                          const FormatSettings &settings, CodeWordRules *rules) {
  words_ = WordsPart(line);
  lastSemicolon_ = words_.lastIndexOf(';');
  reserveCase_ = settings.Reserve;
  classes_.clear();
  cut_.clear();
  cutKept_ = true;
  firstWordSize_ = 0;
  CommentCarry carry = state.Carry();
  LineLexer lexer(words_, carry);
  start_ = lexer.Here();
  // One window per thread, its room kept from line to line: growing a
  // fresh one word by word cost more than classing the words.
  thread_local std::vector<LineWord> window;
  window.clear();
  cut_.reserve(16);
  classes_.reserve(17);
  bool ended = false;
  auto fill = [&](size_t size) {
    for (LexedWord w; window.size() < size && !ended;) {
      const LineLexer::Place before = lexer.Here();
      if (lexer.Next(w)) {
        if (cutKept_ && cut_.size() < kWindowWords) {
          cut_.push_back({w, before});
        } else if (cutKept_) {
          cutKept_ = false;
          cut_ = {};
        }
        window.push_back(MakeLineWord(w, QByteArray::fromRawData(words_.data() + w.Offset, w.Size),
                                      lastSemicolon_));
      } else {
        endPlace_ = before;
        window.push_back(LineWord{QByteArray::fromRawData(kSentinelWord, sizeof kSentinelWord - 1),
                                  TokenClass::Plain});
        ended = true;
      }
    }
  };
  for (size_t k = 0;; ++k) {
    if (k == kWindowWords) {
      window.erase(window.begin(), window.begin() + std::ptrdiff_t(k - 2));
      k = 2;
    }
    fill(k + kWordsAhead);
    if (k >= window.size()) break;
    const QByteArrayView asCut = window[k].Text;
    ClassifyWord(window, int(k), trimmedLine, settings, rules);
    const LineWord &word = window[k];
    // Recasing makes a new text; the one cut from the line is never compared.
    const bool recased = word.Text.constData() != asCut.data() && word.Text != asCut;
    classes_.push_back(static_cast<unsigned char>(word.Kind) | (recased ? kRecased : 0));
    if (classes_.size() == 1 && word.Text.size() <= kFirstWordKept) {
      std::memcpy(firstWord_, word.Text.constData(), size_t(word.Text.size()));
      firstWordSize_ = word.Text.size();
    }
  }
  state = ScanState::Of(carry);
  window.clear();
}

namespace {
// Kept between readers, per thread; a reader inside another takes its own.
template <class Entry>
std::vector<std::vector<Entry>> &SpareBuffers() {
  thread_local std::vector<std::vector<Entry>> spares;
  return spares;
}
}  // namespace

std::vector<ClassedWordReader::Entry> ClassedWordReader::TakeBuffer() {
  std::vector<std::vector<Entry>> &spares = SpareBuffers<Entry>();
  if (spares.empty()) {
    std::vector<Entry> fresh;
    fresh.reserve(8);
    return fresh;
  }
  std::vector<Entry> buffer = std::move(spares.back());
  spares.pop_back();
  return buffer;
}

ClassedWordReader::ClassedWordReader(const ClassedLine &line, qsizetype index,
                                     const LineLexer::Place &place)
    : line_(line), lexer_(line.words_, carry_, place), index_(index), ahead_(TakeBuffer()) {}

ClassedWordReader::~ClassedWordReader() {
  // A buffer grown for a line of thousands of words is not kept.
  std::vector<std::vector<Entry>> &spares = SpareBuffers<Entry>();
  if (ahead_.capacity() > 256 || spares.size() >= 8) return;
  ahead_.clear();
  spares.push_back(std::move(ahead_));
}

void ClassedWordReader::Fill(size_t count) {
  while (ahead_.size() - head_ < count) {
    const qsizetype index = index_ + qsizetype(ahead_.size() - head_);
    const bool kept = line_.cutKept_;
    LineLexer::Place place = kept ? line_.endPlace_ : lexer_.Here();
    LexedWord w;
    bool cut = false;
    if (index < line_.Size()) {
      if (kept) {
        w = line_.cut_[size_t(index)].word;
        place = line_.cut_[size_t(index)].place;
        cut = true;
      } else {
        cut = lexer_.Next(w);
      }
    }
    // Made where it stays: a word built aside and moved in stalled the
    // layout on reading its parts back, once for every word drawn.
    Entry &entry = ahead_.emplace_back();
    entry.place = place;
    LineWord &word = entry.word;
    if (!cut) {
      word.Text = QByteArray::fromRawData(kSentinelWord, sizeof kSentinelWord - 1);
      continue;
    }
    const QByteArrayView text = line_.words_.sliced(w.Offset, w.Size);
    const unsigned char cls = line_.classes_[size_t(index)];
    word.Text = (cls & kRecased) ? Recased(text, line_.reserveCase_)
                                 : QByteArray::fromRawData(text.data(), text.size());
    word.Kind = static_cast<TokenClass>(cls & ~kRecased);
    word.Lex = w.Lex;
    word.BlankAfter = w.BlankAfter;
    word.SemicolonFollows = line_.lastSemicolon_ >= w.Offset;
    word.Offset = w.Offset;
  }
}

const LineWord &ClassedWordReader::Peek(size_t ahead) {
  Fill(ahead + 1);
  return ahead_[head_ + ahead].word;
}

LineLexer::Place ClassedWordReader::PlaceAhead(size_t ahead) {
  Fill(ahead + 1);
  return ahead_[head_ + ahead].place;
}

void ClassedWordReader::Advance() {
  Fill(1);
  ++head_;
  ++index_;
  // Words passed are dropped now and then, so that a line of millions of
  // words holds only those still ahead.
  if (head_ == ahead_.size()) {
    ahead_.clear();
    head_ = 0;
  } else if (head_ >= 64) {
    ahead_.erase(ahead_.begin(), ahead_.begin() + std::ptrdiff_t(head_));
    head_ = 0;
  }
}

}  // namespace scrivane
