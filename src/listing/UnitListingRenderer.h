#pragma once
// The unit listing's renderer and the state its pages start from, shared by
// the files that lay out a unit's lines: UnitListing.cpp (the page run, the
// recomputed layout, headings and rules), UnitListingWords.cpp (a line's
// words, their fonts and their links) and UnitListingOwnLayout.cpp (the
// source's own layout). Only those include it.
#include <QByteArray>
#include <QImage>
#include <QSet>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "format/FormatSettings.h"
#include "listing/ClassedLine.h"
#include "listing/CrossLinks.h"
#include "listing/LayoutRules.h"
#include "listing/Lexer.h"
#include "listing/RowWriter.h"
#include "listing/UnitListing.h"
#include "platform/Paths.h"
#include "platform/TextEncoding.h"
#include "print/PageCanvas.h"
#include "print/PageGeometry.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace unitlisting {

// Compared in lower case: by the time a line is drawn its first word may
// have been upper-cased as a reserved word (or written capitalised in the
// source), and its underline must still stop at the last letter.
bool IsSectionLineStart(QByteArrayView word);

// Where a listing that keeps the source's own layout stands in the file's
// own text: the words the rules class are found there one after another,
// and the blanks between them are the file's.
struct OwnRow {
  int File = 0;
  int Line = 0;          // the line of the file being drawn, from 1
  int LastLine = 0;      // the last one this listing line takes (a header the reader joined)
  qsizetype At = 0;      // bytes of that line drawn or passed
  int Column = 0;        // the column at At (a tab to the next multiple of eight)
  int Indent = 0;        // the columns of blanks the line starts with
  int EndColumn = 0;     // the column after the last text drawn
  bool RowOpen = false;  // a row of the line stands at the cursor
  bool Flowing = false;  // a row was wrapped: columns no longer give x
  bool Lost = false;  // a word was not where the file has it: the rest is drawn as the file has it
};

// In the recomputed layout a use is found by its spelling's count on its
// file line, the words before it counted as they are drawn; the count goes
// with rows carried onto the next page, and with the page's state to the
// next listing line cut from the same file line. A line whose start was
// not counted has its count unknown and no links.
struct SpellingCount {
  int part = -1, line = 0;
  // The names met on the line, one after another in `spellings`, each
  // with how often: the buffers keep their room from line to line, where
  // a QByteArray a name was made and freed on every line with a use.
  struct Seen {
    quint32 at = 0, size = 0;
    int count = 0;
  };
  std::vector<Seen> seen;
  std::string spellings;
  // A header joined from several file lines: where each later line starts
  // in the row's text, and that line (negative: cut from the middle of it,
  // where the count is not known); the next one still ahead.
  std::vector<std::pair<qsizetype, int>> lineStarts;
  size_t nextStart = 0;
  // Past the first few names of a line, each name's count by the hash of
  // its lower case, in a table of its own (open addressing, 0 free): a
  // line of 200,000 names compared each with all before it. Flat, so that
  // the copy each page keeps of it is one block.
  std::vector<std::pair<quint64, int>> many;
  size_t manyUsed = 0;
  static quint64 FoldedHash(const char *text, size_t size) {
    quint64 h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) {
      const char c = text[i];
      h = (h ^ quint8(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c)) * 1099511628211ull;
    }
    return h ? h : 1;
  }
  int &CountOf(quint64 hash) {
    if (4 * (manyUsed + 1) > 3 * many.size()) {
      std::vector<std::pair<quint64, int>> old(std::max<size_t>(64, many.size() * 2));
      old.swap(many);
      manyUsed = 0;
      for (const auto &[key, count] : old)
        if (key) CountOf(key) = count;
    }
    size_t i = size_t(hash) & (many.size() - 1);
    while (many[i].first != 0 && many[i].first != hash) i = (i + 1) & (many.size() - 1);
    if (many[i].first == 0) {
      many[i].first = hash;
      ++manyUsed;
    }
    return many[i].second;
  }
  // A name's count so far on the line, case ignored: names are ASCII.
  int Next(QByteArrayView name) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; };
    if (seen.size() >= 32) {
      if (manyUsed == 0)
        for (const Seen &s : seen) CountOf(FoldedHash(spellings.data() + s.at, s.size)) = s.count;
      return CountOf(FoldedHash(name.data(), size_t(name.size())))++;
    }
    for (Seen &s : seen) {
      if (qsizetype(s.size) != name.size()) continue;
      const char *spelling = spellings.data() + s.at;
      qsizetype i = 0;
      while (i < name.size() && fold(spelling[i]) == fold(name[i])) ++i;
      if (i == name.size()) return s.count++;
    }
    seen.push_back({quint32(spellings.size()), quint32(name.size()), 1});
    spellings.append(name.data(), size_t(name.size()));
    return 0;
  }
  void Clear() {
    seen.clear();
    spellings.clear();
    if (manyUsed) {
      many.clear();
      manyUsed = 0;
    }
  }
  // Counts afresh on the file line of `file` that a word starting at
  // `offset` of the row's text was written on.
  void PassTo(qsizetype offset, int file) {
    for (; nextStart < lineStarts.size() && offset >= lineStarts[nextStart].first; ++nextStart) {
      const int next = lineStarts[nextStart].second;
      // The rest of the file line being counted counts on.
      if (next < 0 && part == file && -next == line) continue;
      Clear();
      part = next > 0 ? file : -1;
      line = std::abs(next);
    }
  }
};

// The rest of a wrapped line whose next row did not fit above the foot of
// its page. It opens the next page, below that page's furniture; the line
// was classified and its block marks drawn where it started.
// The line is shared, not copied, and the next page reads on from the word
// where this one stopped: a line of megabytes runs over thousands of pages.
struct CarriedRows {
  std::shared_ptr<const ClassedLine> Line;  // the whole line with the classes found
  qsizetype Word = 0;                       // the next word to draw
  LineLexer::Place Place;                   // where the lexer stands before that word
  qsizetype Offset = 0;                     // bytes of that word already drawn
  int RowStartX = 0;                        // where the line's rows start
  // In the source's own layout: the listing line being drawn (-1 in the
  // recomputed layout) and where the file's text stands.
  int Piece = -1;
  OwnRow Own;
  SpellingCount Spellings;  // of the line's names drawn so far
};

// What one page starts from. The whole layout state is kept, not only the
// numbers that must cross a page, so that a page drawn again after later
// pages starts from exactly what it started from the first time.
struct PageState {
  bool Saved = false;
  int LineNumber = 1;
  ScanState Scan;  // the comment the page starts in, and the source's mode
  LayoutState Layout;
  std::optional<CarriedRows> Carried;
  // The names counted so far on the file line the page before ended in: a
  // line the reader cut into several listing lines may go on here.
  SpellingCount Spellings;
};

// What a word is, for an output that keeps words: its style's class, and
// among plain code a number apart from a name.
WordClass ClassOf(const LineWord &word);

struct PageFonts {
  FontSpec base, header, reserve, comment, message, line, proc, section;
};

}  // namespace unitlisting

struct UnitListing::State {
  LayoutState layout;
  ScanState scan;
  int LineNumber = 1;
  // By page number; grows with the document, except in a print run, which
  // lets a page's state go once the page has started.
  std::map<int, unitlisting::PageState> PageStates;

  // IndexEntries from here on belong to the current listing: a new job of
  // the same listing (a print after a preview, on other paper) replaces
  // them instead of adding a second set of pages. -1: not yet started.
  qsizetype indexStart = -1;
  // Lines whose include-file heading was drawn below the line before them,
  // on the same page; the others get theirs where they start.
  QSet<int> headingsAbove;
  // The entries this job has added of page recordedPage start at
  // recordedFrom. A page is laid out first in order (later ones are
  // reached by laying out those before them) and each of its entries
  // names it: a page before it added all of its entries already. A set of
  // every entry cost 60 bytes a routine.
  int recordedPage = 0;
  qsizetype recordedFrom = 0;

  QString imagePath;  // the image below is what this path held when first read
  bool imageRead = false;
  QImage image;

  unitlisting::PageState &PageStateAt(int page) { return PageStates[page]; }
};

// The unit listing's part of a page run; the page machinery is the job's.
class UnitListingRenderer : public ListingRenderer {
  using OwnRow = unitlisting::OwnRow;
  using CarriedRows = unitlisting::CarriedRows;
  using PageFonts = unitlisting::PageFonts;
  using PageState = unitlisting::PageState;

 public:
  explicit UnitListingRenderer(UnitListing &listing)
      : l_(listing), s_(*listing.state_), settings_(listing.settings_), model_(listing.model_) {}

  void BeginJob() override;
  QString JobTitle() const override { return model_.CurrentUnitPath; }
  QString DocumentTitle() const override { return FileNamePart(model_.CurrentUnitPath); }
  QString PageLabelName() const override {
    return DecodeText(FileNamePartOf(l_.Names().UnitNameText), TextEncoding::Windows1252);
  }
  TextEncoding Encoding() const override { return model_.SourceEncoding; }
  int ItemCount() const override { return int(model_.ListingLines.size()); }
  FooterReservation Reservation() const override { return FooterReservation::BeforeBody; }
  void StartPage(PageCursor &cursor, int &position) override;
  void LayOutItem(PageCursor &cursor, int &position) override;
  bool ItemContinues() const override { return carry_.has_value(); }
  void FinishPage(PageCursor &cursor, int position) override;

 private:
  void StartState(int &position);
  void DrawFormImage();
  // Runs the rules over a listing line: the line's place, its blocks and
  // its headings (name and keyword), kept in line_ and s_.layout.
  std::vector<std::pair<QByteArray, QByteArray>> ClassLine(QByteArrayView text,
                                                           QByteArrayView trimmed);
  void LayOutLine(QByteArrayView text);
  // The source's own layout: the listing lines from `position` that come
  // from one line of the file (or from the lines of a joined header), drawn
  // as the file has them; position is left at the last of them.
  bool OwnLayoutAt(int position) const;
  void LayOutOwnLine(int &position, std::optional<CarriedRows> carried);
  bool DrawOwnWords(qsizetype from, const LineLexer::Place &place, qsizetype offset, int piece);
  bool DrawOwnRest(int piece);
  bool OpenOwnRow(bool nextLine);
  void PlaceOwnColumn(int column);
  void PassOwnBlanks();
  QByteArrayView OwnText();
  int OwnColumns(QByteArrayView text) const;
  bool CarryOwn(int piece);
  bool DrawSpreadWord(const LineWord &word, qsizetype end, bool whole);
  bool RuleDue() const;
  bool DrawWords(qsizetype from, const LineLexer::Place &place, qsizetype offset);
  bool DrawWord(ClassedWordReader &words, bool sectionLine, qsizetype offset);
  bool NextRunOverflows(ClassedWordReader &words);
  void DrawCarriedRows(CarriedRows carried);
  void FinishLine();
  void FinishRow(bool rule);
  void BreakPage();
  void NumberRow();
  void DrawLineNumber(int number);
  bool FileLineNumbers() const { return settings_.LineNo == 1 && settings_.LineNumbersFrom == 1; }
  void RecordIndexEntry(const QByteArray &name, const QByteArray &kind);
  void ReportHeading(int y);
  void SelectFont(TokenClass kind);
  const PageGeometry &g() const { return cursor_->Geometry; }
  // An output that keeps words (a web page) is told what is drawn; these do
  // nothing for paper, the screen and PDF.
  StructureSink *Structure() const { return canvas_ ? canvas_->Structure() : nullptr; }
  void TellWord(WordClass kind, bool continues = false) {
    if (StructureSink *sink = Structure()) {
      sink->word(kind, continues);
      if (kind != WordClass::LineNumber) wordClass_ = kind;
    }
  }
  void TellRow(int fileLine, int file, int x) {
    if (StructureSink *sink = Structure())
      sink->row(ListingRow{fileLine, file, x - g().LeftX, int(ownBlankWidth_),
                           x - g().LeftX - 3 * int(g().IndentWidth * 0.25), cursor_->Y});
  }
  WordClass wordClass_ = WordClass::None;  // the kind of the word being drawn
  long long ownBlankWidth_ = 0;            // the base font's blank, device units

  UnitListing &l_;
  UnitListing::State &s_;
  const FormatSettings &settings_;
  ProjectModel &model_;
  // Valid during one page run.
  PageCursor *cursor_ = nullptr;
  PageCanvas *canvas_ = nullptr;
  std::optional<RowWriter> row_;
  PageFonts fonts_;
  int textTop_ = 0;
  std::optional<CarriedRows> carried_;  // what this page starts with
  std::optional<CarriedRows> carry_;    // what this page hands to the next
  // The routine heading of the line being laid out, for the bookmarks and
  // the index's links: the number of its index entry (-1: none kept) and
  // its title.
  struct Heading {
    qsizetype entry = -1;
    QString title;
  };
  std::optional<Heading> heading_;
  std::shared_ptr<const ClassedLine> line_;  // the line being drawn
  // The file's line the line being laid out comes from (0: none), and
  // whether it starts that line (else a piece the reader split off it).
  int fileLine_ = 0;
  int fileIndex_ = 0;  // the file the line comes from: 0 the unit's own
  bool startsFileLine_ = false;
  // The source's own layout: where the file's text stands, the x of the
  // line's first row start, and the base font's advance (1/64 unit) when
  // every character has it.
  OwnRow own_;
  QByteArrayView ownText_;  // the file's line own_ stands in (OwnText)
  int ownTextFile_ = -1, ownTextLine_ = -1;
  int ownStartX_ = 0;
  int ownRowY_ = 0;
  long long fixedAdvance64_ = 0;
  long long ownBlank64_ = 0;  // the base font's blank (1/64 unit)
  bool drawingOwn_ = false;   // words get no blank after them: the file's blanks are placed
  QString partName_;          // the include file the line comes from; empty for the unit itself
  // Sets an include file's text apart: a rule and a row naming the file
  // the lines that follow come from.
  void DrawPartHeading(int file);

  // Cross links. The reference's file of each file the listing's lines come
  // from (-1: not resolved).
  std::vector<int> xrefFiles_;
  int XrefFileOf(int part) const {
    return part >= 0 && size_t(part) < xrefFiles_.size() ? xrefFiles_[size_t(part)] : -1;
  }
  // A declaration on the file line a row starts: the place its links land on.
  void ReportDeclarationPlace(int part, int line, int y);
  // The identifiers of a word drawn whole at x, y that are uses become links.
  void LinkUses(const LineWord &word, QByteArrayView text, int x, int y);
  unitlisting::SpellingCount spellings_;
  int joinedUpTo_ = 0;  // the last file line the line being laid out stands for
  int usesPart_ = -1, usesLine_ = 0;
  CrossLinks::LineUses usesOn_, declarationsOn_;
  int usesFrom_ = 0;  // where the line's next use is looked for first
  int declarationsFrom_ = 0;
  QByteArray linkKey_;              // the last link's key, its room used for the next
  CrossLinks::LineUses placeUses_;  // of the last row reported as a place
  QByteArray noted_;                // the name the cross-reference document gives part notedPart_
  int notedPart_ = -1;
};

}  // namespace scrivane
