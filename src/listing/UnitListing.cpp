#include "listing/UnitListing.h"

#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "format/FormatSettings.h"
#include "listing/ClassedLine.h"
#include "listing/CrossLinks.h"
#include "listing/LayoutRules.h"
#include "listing/Lexer.h"
#include "listing/PageFurniture.h"
#include "listing/RowWriter.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "print/PageCanvas.h"
#include "print/PageGeometry.h"
#include "print/PrintException.h"
#include "project/FormImage.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

constexpr int kLineNumberGap = 30;  // device units between a line number and the text margin
constexpr double kMaxImageInches = 6.5;

// Compared in lower case: by the time a line is drawn its first word may
// have been upper-cased as a reserved word (or written capitalised in the
// source), and its underline must still stop at the last letter.
bool IsSectionLineStart(QByteArrayView word) { return IsSectionWord(LoweredWord(word).view()); }

FontSpec SectionFontOf(const FormatSettings &settings) {
  FontSpec font = settings.ReserveFont();
  switch (settings.RStyle) {
    case 0:
      font.style = StyleBold | StyleUnderline;
      break;
    case 1:
      font.style = StyleUnderline;
      break;
    case 2:
      font.style = StyleItalic | StyleUnderline;
      break;
    case 3:
      font.style = StyleBold | StyleItalic | StyleUnderline;
      break;
    default:
      break;
  }
  return font;
}

// Calls visit with the text of the word `ahead` words after the reader's and
// of each word glued after it, up to the next blank (the sentinel left out):
// what must fit on one row. Stops early when visit returns false.
template <class Visit>
void ForEachGluedWord(ClassedWordReader &words, size_t ahead, Visit visit) {
  for (size_t k = ahead;; ++k) {
    const LineWord &word = words.Peek(k);
    if (!visit(QByteArrayView(word.Text))) return;
    if (word.BlankAfter || words.IndexAhead(k + 1) >= words.LineSize()) return;
  }
}

// That run as one text.
QByteArray GluedRun(ClassedWordReader &words, size_t ahead) {
  QByteArray run;
  ForEachGluedWord(words, ahead, [&](QByteArrayView text) {
    run += text;
    return true;
  });
  return run;
}

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
};

// What a word is, for an output that keeps words: its style's class, and
// among plain code a number apart from a name.
WordClass ClassOf(const LineWord &word) {
  switch (word.Lex) {
    case Lexeme::String:
      return WordClass::String;
    case Lexeme::Comment:
      return WordClass::Comment;
    case Lexeme::Directive:
      return WordClass::Directive;
    case Lexeme::Code:
      break;
  }
  switch (word.Kind) {
    case TokenClass::Reserved:
      return WordClass::Reserved;
    case TokenClass::Section:
      return WordClass::Section;
    case TokenClass::ProcName:
      return WordClass::RoutineName;
    case TokenClass::Comment:
      return WordClass::Comment;
    case TokenClass::Message:
      return WordClass::String;
    case TokenClass::Plain:
      break;
  }
  const QByteArrayView text(word.Text);
  if (text.isEmpty()) return WordClass::Identifier;
  const unsigned char c = static_cast<unsigned char>(text[0]);
  if ((c >= '0' && c <= '9') || ((c == '$' || c == '%' || c == '&') && text.size() > 1))
    return WordClass::Number;
  if (c == '_' || c >= 0x80 || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))
    return WordClass::Identifier;
  return WordClass::Symbol;
}

struct PageFonts {
  FontSpec base, header, reserve, comment, message, line, proc, section;
};

}  // namespace

QString FormImagePath(const QString &unitPath, const ProjectScope *scope) {
  return FindFormImageFiles(unitPath, scope).imageFile;
}

struct UnitListing::State {
  LayoutState layout;
  ScanState scan;
  int LineNumber = 1;
  // By page number; grows with the document, except in a print run, which
  // lets a page's state go once the page has started.
  std::map<int, PageState> PageStates;

  // IndexEntries from here on belong to the current listing: a new job of
  // the same listing (a print after a preview, on other paper) replaces
  // them instead of adding a second set of pages. -1: not yet started.
  qsizetype indexStart = -1;
  // Lines whose include-file heading was drawn below the line before them,
  // on the same page; the others get theirs where they start.
  QSet<int> headingsAbove;
  // The entries this job has added of page recordedPage. A page is laid
  // out first in order (later ones are reached by laying out those before
  // them) and each of its entries names it: a page before it added all of
  // its entries already. A set of every entry cost 60 bytes a routine.
  int recordedPage = 0;
  QSet<QByteArray> recordedOnPage;

  QString imagePath;  // the image below is what this path held when first read
  bool imageRead = false;
  QImage image;

  PageState &PageStateAt(int page) { return PageStates[page]; }
};

// The unit listing's part of a page run; the page machinery is the job's.
class UnitListingRenderer : public ListingRenderer {
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
  // the index's links: its index entry and its title.
  struct Heading {
    QByteArray entry;
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
  // In the recomputed layout a use is found by its spelling's count on its
  // file line, the words before it counted as they are drawn; a line whose
  // start was not drawn on this page run (rows carried onto a page) has
  // its count unknown and no links.
  struct SpellingCount {
    int part = -1, line = 0;
    std::vector<std::pair<QByteArray, int>> seen;
    int Next(QByteArrayView name) {
      for (auto &[spelling, count] : seen)
        if (QByteArrayView(spelling).compare(name, Qt::CaseInsensitive) == 0) return count++;
      seen.emplace_back(name.toByteArray(), 1);
      return 0;
    }
  } spellings_;
  int joinedUpTo_ = 0;  // the last file line the line being laid out stands for
  int usesPart_ = -1, usesLine_ = 0;
  CrossLinks::LineUses usesOn_, declarationsOn_;
  QByteArray noted_;  // the name the cross-reference document gives part notedPart_
  int notedPart_ = -1;
};

void UnitListingRenderer::BeginJob() {
  // A new job paginates afresh: the printer (and so every line break) may
  // differ from the one an earlier preview measured on.
  s_.PageStates.clear();
  if (s_.indexStart < 0 || s_.indexStart > model_.IndexEntries.size())
    s_.indexStart = model_.IndexEntries.size();
  model_.IndexEntries.resize(s_.indexStart);
  s_.headingsAbove.clear();
  s_.recordedPage = 0;
  s_.recordedOnPage.clear();
  xrefFiles_.clear();
  usesPart_ = -1;
  noted_.clear();
  notedPart_ = -1;
  if (l_.CrossLinks)
    for (const SourcePart &part : model_.SourceParts)
      xrefFiles_.push_back(l_.CrossLinks->FileOf(part.path));
}

void UnitListingRenderer::StartPage(PageCursor &cursor, int &position) {
  cursor_ = &cursor;
  canvas_ = &cursor.Canvas;
  fonts_ = {settings_.BaseFont(),    settings_.HeaderFont(),  settings_.ReserveFont(),
            settings_.CommentFont(), settings_.MessageFont(), settings_.LineFont(),
            settings_.ProcFont(),    SectionFontOf(settings_)};
  row_.emplace(cursor, cursor.Geometry.LeftX, [this] {
    if (settings_.LineNo == 1) NumberRow();
  });
  row_->StopAtFoot = true;
  carried_.reset();
  carry_.reset();
  spellings_ = SpellingCount{};
  // Columns give x only where every character of the text's fonts is as
  // wide as a blank.
  fixedAdvance64_ = ownBlank64_ = 0;
  ownTextFile_ = ownTextLine_ = -1;  // the lines may have been read again since the last page
  wordClass_ = WordClass::None;
  if (cursor.Canvas.Structure()) {
    cursor.Canvas.SetFont(fonts_.base);
    ownBlankWidth_ = cursor.Canvas.TextWidth(" ");
  }
  if (settings_.Layout == 1) {
    // Sixty-four characters measure one advance in 1/64 unit, where a
    // font's advances are not at hand one by one.
    PageCanvas &canvas = cursor.Canvas;
    canvas.SetFont(fonts_.base);
    const QByteArray blanks(64, ' ');
    long long narrow = 0, wide = 0;
    if (!canvas.TextWidth64(" ", &ownBlank64_)) ownBlank64_ = canvas.TextWidth(blanks);
    if (!canvas.TextWidth64("i", &narrow)) narrow = canvas.TextWidth(QByteArray(64, 'i'));
    if (!canvas.TextWidth64("W", &wide)) wide = canvas.TextWidth(QByteArray(64, 'W'));
    if (ownBlank64_ > 0 && narrow == ownBlank64_ && wide == ownBlank64_)
      fixedAdvance64_ = ownBlank64_;
  }

  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  const bool titleHere =
      settings_.Title == 1 && cursor.Page == 1 && model_.UnitHighlighted && !l_.SelectedOnly;
  if (titleHere)
    furniture.DrawTitleBlock(cursor.Y);
  else if (settings_.Header == 1)
    furniture.DrawPageHeader(cursor.Page, cursor.Y);

  if (NavigationSink *navigation = cursor.Canvas.Navigation();
      navigation && cursor.Page == 1 && model_.SelectedUnit >= 0 &&
      model_.SelectedUnit < model_.Units.size())
    navigation->anchor(UnitPlaceKey(model_.Units[model_.SelectedUnit].name), 0);
  StartState(position);
  textTop_ = cursor.Y;
  s_.layout.CaseMode = false;
  s_.layout.CaseX = 0;
}

void UnitListingRenderer::LayOutItem(PageCursor &cursor, int &position) {
  const LineList &lines = model_.ListingLines;
  // Whether line i comes from another file than the line before it.
  auto fileChangesAt = [&lines](int i) {
    return i < lines.size() && lines.fileIndex(i) != (i > 0 ? lines.fileIndex(i - 1) : 0);
  };
  if (carried_ && carried_->Piece >= 0) {
    std::optional<CarriedRows> carried = std::move(carried_);
    carried_.reset();
    LayOutOwnLine(position, std::move(carried));
  } else if (carried_) {
    // The line was laid out on the page before; only its rows are left.
    DrawCarriedRows(std::move(*carried_));
    carried_.reset();
  } else {
    fileLine_ = lines.fileLine(position);
    startsFileLine_ = lines.startsFileLine(position);
    fileIndex_ = lines.fileIndex(position);
    if (startsFileLine_ || spellings_.part != fileIndex_ || spellings_.line != fileLine_) {
      spellings_.seen.clear();
      spellings_.part = startsFileLine_ ? fileIndex_ : -1;
      spellings_.line = fileLine_;
    }
    partName_.clear();
    if (lines.hasOtherFiles()) {
      partName_ = model_.PartNameOf(lines, position);
      if (fileChangesAt(position) && !s_.headingsAbove.contains(position))
        DrawPartHeading(lines.fileIndex(position));
    }
    if (OwnLayoutAt(position)) {
      LayOutOwnLine(position, std::nullopt);
    } else {
      // The file lines a header joined into this line (or blank lines left
      // out after it) land on its row.
      joinedUpTo_ = fileLine_;
      if (startsFileLine_ && position + 1 < lines.size() &&
          lines.fileIndex(position + 1) == fileIndex_ && lines.fileLine(position + 1) > fileLine_)
        joinedUpTo_ = lines.fileLine(position + 1) - 1;
      LayOutLine(lines[position]);
      s_.layout.LineX = s_.layout.NextLineX;
    }
  }
  if (carry_) return;
  // The heading of the file the next line comes from goes below this line
  // when it has room there with the next line's first rows; otherwise the
  // page ends here and the heading starts the next one.
  if (lines.hasOtherFiles() && fileChangesAt(position + 1)) {
    if (cursor.RoomLeft() > 3 * g().LineStep) {
      DrawPartHeading(lines.fileIndex(position + 1));
      s_.headingsAbove.insert(position + 1);
    } else {
      cursor.Y += std::max(cursor.RoomLeft(), 0);
    }
  }
  position += 1;
}

void UnitListingRenderer::FinishPage(PageCursor &cursor, int /*position*/) {
  if (settings_.Blocks == 1)
    DrawOpenBlocksAtPageEnd(*canvas_, s_.layout, cursor.Y, g().LeftX, g().IndentWidth);
  if (settings_.Footer == 1) {
    PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
    furniture.DrawPageFooter(cursor.Page, cursor.Y);
  }
  PageState &next = s_.PageStateAt(cursor.Page + 1);
  if (!next.Saved) {
    next.Saved = true;
    next.LineNumber = s_.LineNumber;
    next.Scan = s_.scan;
    next.Layout = s_.layout;
    next.Layout.Depth = std::max(next.Layout.Depth, 0);
    next.Carried = carry_;
  }
  row_.reset();
  cursor_ = nullptr;
  canvas_ = nullptr;
}

void UnitListingRenderer::StartState(int &position) {
  const int page = cursor_->Page;
  if (page == 1) {
    DrawFormImage();
    position = 0;
    s_.LineNumber = 1;
    s_.layout = LayoutState{};
    s_.scan = ScanState{};
    s_.scan.NestComments = model_.CommentsNest;
    s_.layout.KeepContinuedX = settings_.Layout == 1;
  } else if (const auto found = s_.PageStates.find(page);
             found != s_.PageStates.end() && found->second.Saved) {
    const PageState &start = found->second;
    s_.LineNumber = start.LineNumber;
    s_.layout = start.Layout;
    s_.scan = start.Scan;
    carried_ = start.Carried;
    if (s_.layout.BlockCount() > 0 && s_.layout.Depth > 0) s_.layout.ContinueMarks(cursor_->Y);
    if (cursor_->InOrder) s_.PageStates.erase(found);
  }
  if (s_.layout.Depth == 0) s_.layout.ClearMarks();
}

void UnitListingRenderer::DrawPartHeading(int file) {
  if (file < 0 || file >= model_.SourceParts.size()) return;
  const SourcePart &part = model_.SourceParts[file];
  QString text = file == 0 ? FileNamePart(part.path) : part.shown;
  switch (part.state) {
    case SourcePart::State::Read:
      break;
    case SourcePart::State::Missing:
      text += QStringLiteral(": include file not found");
      break;
    case SourcePart::State::Repeated:
      text += QStringLiteral(": includes itself; printed once, above");
      break;
    case SourcePart::State::Unreadable:
      text += QStringLiteral(": cannot be read");
      break;
  }
  PageCanvas &canvas = *canvas_;
  PageCursor &cursor = *cursor_;
  // A heading at the very top of a page needs no rule above it.
  if (cursor.Y > textTop_) cursor.Y += g().LineStep / 2;
  canvas.Pen.width = 1;
  canvas.Pen.mode = PenMode::Black;
  canvas.MoveTo(g().LeftX, cursor.Y);
  canvas.LineTo(g().RightX, cursor.Y);
  canvas.SetFont(fonts_.header);
  TellWord(WordClass::PartHeading);
  canvas.TextOut(g().LeftX, cursor.Y + 2, Encode1252(text));
  TellWord(WordClass::None);
  cursor.Y += g().LineStep + g().LineStep / 2;
}

void UnitListingRenderer::DrawFormImage() {
  if (settings_.PrintImage != 1) return;
  const QString path = FormImagePath(model_.CurrentUnitPath, &model_.Scope);
  if (path.isEmpty()) return;
  if (!s_.imageRead || s_.imagePath != path) {
    s_.imagePath = path;
    s_.imageRead = true;
    s_.image = QImage(path);
  }
  const QImage &image = s_.image;
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return;
  PageCanvas &canvas = *canvas_;
  const double widthInches = std::min(image.width() * 0.01, kMaxImageInches);
  const int w = canvas.ToDeviceX(float(widthInches));
  const int h = canvas.ToDeviceY(float(image.height() * widthInches / image.width()));
  int x = g().LeftX;  // an alignment outside 0..2 keeps the left margin
  if (settings_.Align == 1) x = g().RightX - w;
  if (settings_.Align == 2) x = canvas.PageWidth / 2 - w / 2;
  const int y = cursor_->Y;
  canvas.StretchDraw(QRect(x, y, w, h), image);
  canvas.Pen.width = canvas.PixelsPerInchX / 72;
  canvas.Brush.style = BrushStyle::Clear;
  canvas.Rectangle(x, y, x + w, y + h);
  cursor_->Y = y + h + 2 * g().LineStep;
}

// Numbers the current row as a printed row; with the file's line numbers,
// rows are not counted and only a row that starts a source line is
// numbered (by LayOutLine).
void UnitListingRenderer::NumberRow() {
  if (settings_.LineNumbersFrom == 1) return;
  DrawLineNumber(s_.LineNumber);
  s_.LineNumber += 1;
}

void UnitListingRenderer::DrawLineNumber(int number) {
  PageCanvas &canvas = *canvas_;
  canvas.SetFont(fonts_.line);
  char buffer[16];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer - 1, number).ptr;
  *end = ':';
  const QByteArrayView text(buffer, end + 1 - buffer);
  const WordClass drawing = wordClass_;
  TellWord(WordClass::LineNumber);
  canvas.TextOut(g().LeftX - canvas.TextWidth(text) - kLineNumberGap, cursor_->Y, text);
  // A number in the middle of a word broken across rows: the word goes on.
  TellWord(drawing, true);
}

void UnitListingRenderer::RecordIndexEntry(const QByteArray &name, const QByteArray &kind) {
  // A routine of an include file is found under both names: "controls.pp/control.inc".
  QByteArray unit = FileNamePartOf(l_.Names().UnitNameText);
  if (!partName_.isEmpty()) unit += '/' + Encode1252(FileNamePart(partName_));
  const QByteArray page = QByteArray::number(cursor_->Page);
  // The number of the row the heading prints on (the last one issued), or
  // its line in the file.
  const QByteArray row = settings_.LineNo == 1
                             ? QByteArray::number(FileLineNumbers() ? fileLine_ : s_.LineNumber - 1)
                             : QByteArray();
  // Kept for the whole print (one a routine): no room to spare.
  QByteArray entry;
  entry.reserve(name.size() + kind.size() + unit.size() + page.size() +
                (row.isNull() ? 3 : 4 + row.size()));
  entry.append(name).append('%').append(kind).append('%').append(unit).append('%').append(page);
  if (!row.isNull()) entry.append('%').append(row);
  heading_ = Heading{entry, DecodeText(kind + ' ' + name, model_.SourceEncoding)};
  // Every repaint and replay of a page lays its headings out again.
  if (!l_.KeepsIndexEntries || cursor_->Page < s_.recordedPage) return;
  if (cursor_->Page > s_.recordedPage) {
    s_.recordedPage = cursor_->Page;
    s_.recordedOnPage.clear();
  }
  if (s_.recordedOnPage.contains(entry)) return;
  s_.recordedOnPage.insert(entry);
  model_.IndexEntries.append(entry);
}

// Where the heading's row prints: the place its bookmark and the index's
// link lead to.
void UnitListingRenderer::ReportHeading(int y) {
  if (!heading_) return;
  if (NavigationSink *navigation = canvas_->Navigation()) {
    navigation->anchor(heading_->entry, y);
    navigation->outlineEntry(heading_->title, y);
    if (fileLine_ > 0 && model_.SelectedUnit >= 0 && model_.SelectedUnit < model_.Units.size()) {
      QString name = model_.Units[model_.SelectedUnit].name;
      if (!partName_.isEmpty()) name += u'/' + partName_;
      navigation->anchor(RoutinePlaceKey(name, fileLine_), y);
    }
  }
  heading_.reset();
}

void UnitListingRenderer::SelectFont(TokenClass kind) {
  PageCanvas &canvas = *canvas_;
  switch (kind) {
    case TokenClass::Plain:
      canvas.SetFont(fonts_.base);
      break;
    case TokenClass::Reserved:
      canvas.SetFont(fonts_.reserve);
      break;
    case TokenClass::Comment:
      canvas.SetFont(fonts_.comment);
      break;
    case TokenClass::Message:
      canvas.SetFont(fonts_.message);
      break;
    case TokenClass::Section:
      canvas.SetFont(fonts_.section);
      break;
    case TokenClass::ProcName:
      canvas.SetFont(fonts_.proc);
      break;
  }
}

std::vector<std::pair<QByteArray, QByteArray>> UnitListingRenderer::ClassLine(
    QByteArrayView text, QByteArrayView trimmed) {
  s_.layout.NextLineX = 0;
  heading_.reset();
  LayoutContext context;
  context.LeftX = g().LeftX;
  context.IndentWidth = g().IndentWidth;
  context.SelectedOnly = l_.SelectedOnly;
  context.Settings = &settings_;
  context.DeclaredRoutines = &model_.DeclaredRoutines;
  context.RoutineHeadingLines = &model_.RoutineHeadingLines;
  context.AuthorIndented = startsFileLine_ && fileIndex_ == 0 && fileLine_ > 0 &&
                           size_t(fileLine_) < model_.IndentedDeeper.size() &&
                           model_.IndentedDeeper[size_t(fileLine_)];
  // Recorded once the row the heading prints on is known: a blank row may
  // come before it, or none at the top of a page.
  std::vector<std::pair<QByteArray, QByteArray>> headings;
  context.OnRoutineHeading = [&headings](const QByteArray &name, const QByteArray &kind) {
    headings.emplace_back(name, kind);
  };
  IndentationRules rules(s_.layout, context);
  // The line drawn before is classed again in place when nothing else
  // holds it (rows carried to the next page do).
  if (line_ && line_.use_count() == 1)
    std::const_pointer_cast<ClassedLine>(line_)->Reclass(text, trimmed, s_.scan, settings_, &rules);
  else
    line_ = std::make_shared<ClassedLine>(text, trimmed, s_.scan, settings_, &rules);
  return headings;
}

void UnitListingRenderer::LayOutLine(QByteArrayView text) {
  PageCanvas &canvas = *canvas_;
  PageCursor &cursor = *cursor_;
  const QByteArrayView trimmed = text.trimmed();
  if (settings_.Auto == 1 && trimmed.isEmpty()) return;

  const auto headings = ClassLine(text, trimmed);
  if (settings_.LineNo == 1 && trimmed != kNewPageMarker) NumberRow();
  canvas.SetFont(fonts_.base);
  const bool opens = settings_.Blocks == 1 && s_.layout.BlockOpened;
  const bool closes =
      settings_.Blocks == 1 && s_.layout.BlockClosed && (opens || s_.layout.BlockCount() > 0);
  if (settings_.Blocks == 1)
    DrawBlockMarks(canvas, s_.layout, cursor.Y, g().LineStep, g().IndentWidth);
  s_.layout.BlockOpened = s_.layout.BlockClosed = false;
  if (s_.layout.LineX == 0) s_.layout.LineX = g().LeftX;
  if (s_.layout.NextLineX == 0) s_.layout.NextLineX = s_.layout.LineX;
  // Nesting deeper than the page is wide would start rows at or past the
  // right limit, where no word fits: rows then start no further right than
  // three quarters across the text width (the indentation kept for the
  // following lines is unchanged).
  const int rightmostStart = std::max(g().LeftX, g().RightX - (g().RightX - g().LeftX) / 4);
  row_->SetRowStartX(std::min(s_.layout.LineX, rightmostStart));
  row_->X = row_->RowStartX();

  const int pageHeight = canvas.PageHeight;
  if (line_->FirstWord() == kNewPageMarker) return BreakPage();

  if (s_.layout.BlankBefore) {
    s_.layout.BlankBefore = false;
    if (cursor.Y < pageHeight - g().BottomMargin - canvas.TextHeight("X") && cursor.Y > textTop_) {
      // The blank row is the one the number before was drawn on.
      TellRow(0, fileIndex_, row_->RowStartX());
      cursor.Y += g().LineStep;
      if (settings_.LineNo == 1) NumberRow();
    }
  }
  TellRow(startsFileLine_ ? fileLine_ : 0, fileIndex_, row_->RowStartX());
  if (startsFileLine_)
    for (int line = fileLine_; line <= std::max(fileLine_, joinedUpTo_); ++line)
      ReportDeclarationPlace(fileIndex_, line, cursor.Y);
  if (StructureSink *sink = Structure(); sink && (opens || closes)) sink->bracket(opens, closes);
  for (const auto &[name, kind] : headings) RecordIndexEntry(name, kind);
  ReportHeading(cursor.Y);
  if (FileLineNumbers() && startsFileLine_) DrawLineNumber(fileLine_);

  if (DrawWords(0, line_->Start(), 0)) FinishLine();
}

// Draws the words of line_ from word `from` on (that one from byte `offset`
// on; `place`: where the lexer stands before it); false when a row did not
// fit and the rest is carried to the next page.
bool UnitListingRenderer::DrawWords(qsizetype from, const LineLexer::Place &place,
                                    qsizetype offset) {
  ClassedWordReader words(*line_, from, place);
  const bool sectionLine = IsSectionLineStart(line_->FirstWord());
  for (; !words.AtEnd(); words.Advance())
    if (!DrawWord(words, sectionLine, words.IndexAhead() == from ? offset : 0)) {
      // The page ends below the last row drawn, as after a finished line.
      cursor_->Y += g().LineStep;
      return false;
    }
  return true;
}

void UnitListingRenderer::DrawCarriedRows(CarriedRows carried) {
  row_->SetRowStartX(carried.RowStartX);
  row_->X = carried.RowStartX;
  if (settings_.LineNo == 1) NumberRow();  // a continuation row, numbered as one
  line_ = carried.Line;
  if (DrawWords(carried.Word, carried.Place, carried.Offset)) FinishLine();
}

// A routine's last "end;": a rule follows it.
bool UnitListingRenderer::RuleDue() const {
  return LoweredWord(line_->FirstWord()).view() == "end;" && s_.layout.RoutineDepth == 0 &&
         settings_.LineBetweenRoutines == 1 && s_.layout.InImplementation && s_.layout.Depth == 0;
}

void UnitListingRenderer::FinishLine() { FinishRow(RuleDue()); }

// The page-break comment: the rows down to the foot stay empty.
void UnitListingRenderer::BreakPage() {
  PageCanvas &canvas = *canvas_;
  PageCursor &cursor = *cursor_;
  const int limit = canvas.PageHeight - g().BottomMargin - canvas.TextHeight("X");
  const int height = canvas.TextHeight("X");
  if (g().LineStep > 0) {
    while (height + cursor.Y < limit) cursor.Y += g().LineStep;
  } else {
    cursor.Y = std::max(cursor.Y, limit);
  }
}

// Ends a line's last row; a rule on a row of its own follows a routine's
// last "end;" where there is room for it.
void UnitListingRenderer::FinishRow(bool rule) {
  PageCanvas &canvas = *canvas_;
  PageCursor &cursor = *cursor_;
  const int pageHeight = canvas.PageHeight;
  if (rule && cursor.Y < pageHeight - g().BottomMargin - canvas.TextHeight("X") &&
      cursor.Y > textTop_) {
    cursor.Y += g().LineStep;
    canvas.Pen.width = 1;
    canvas.Pen.mode = PenMode::Black;
    const int ruleY = cursor.Y + canvas.TextHeight("H") / 2;
    canvas.MoveTo(g().LeftX, ruleY);
    canvas.LineTo(g().RightX, ruleY);
    if (StructureSink *sink = Structure()) sink->rule();
    if (settings_.LineNo == 1) NumberRow();
  }
  cursor.Y += g().LineStep;
}

void UnitListingRenderer::ReportDeclarationPlace(int part, int line, int y) {
  CrossLinks *links = l_.CrossLinks;
  const int file = XrefFileOf(part);
  if (!links || file < 0) return;
  // With the cross-reference document, a row of uses is a place its
  // entries lead to, and it tells them its page.
  bool place = links->IsTarget(file, line);
  if (links->EntriesPrinted && !place) {
    const CrossLinks::LineUses uses = links->UsesOn(file, line);
    place = uses.first < uses.last;
  }
  if (!place) return;
  if (NavigationSink *navigation = canvas_->Navigation())
    navigation->anchor(CrossLinks::PlaceKey(file, line), y);
  if (links->EntriesPrinted) {
    if (noted_.isNull() || notedPart_ != part) {
      // As the index names it: "controls.pp/control.inc" for an include file.
      noted_ = FileNamePartOf(l_.Names().UnitNameText);
      if (part > 0 && part < model_.SourceParts.size())
        noted_ += '/' + Encode1252(FileNamePart(model_.SourceParts[part].shown));
      notedPart_ = part;
    }
    links->NoteRow(file, line, cursor_->Page, noted_);
  }
}

void UnitListingRenderer::LinkUses(const LineWord &word, QByteArrayView text, int x, int y) {
  NavigationSink *navigation = canvas_->Navigation();
  if (!navigation) return;
  const int part = drawingOwn_ ? own_.File : fileIndex_;
  const int line = drawingOwn_ ? own_.Line : fileLine_;
  if (!drawingOwn_ && (spellings_.part != part || spellings_.line != line)) return;
  const int file = XrefFileOf(part);
  if (file < 0) return;
  const CrossLinks &links = *l_.CrossLinks;
  if (usesPart_ != part || usesLine_ != line) {
    usesOn_ = links.UsesOn(file, line);
    declarationsOn_ =
        links.EntriesPrinted ? links.DeclarationsOn(file, line) : CrossLinks::LineUses{};
    usesPart_ = part;
    usesLine_ = line;
  }
  if (usesOn_.first == usesOn_.last && declarationsOn_.first == declarationsOn_.last) return;
  // Reserved words are counted as the references count them; only names
  // drawn in the code's own styles are links.
  const bool linkable = word.Kind == TokenClass::Plain || word.Kind == TokenClass::ProcName;
  PageCanvas &canvas = *canvas_;
  ForEachIdentifier(text, [&](qsizetype at, qsizetype size) {
    const QByteArrayView name = text.sliced(at, size);
    const int column = drawingOwn_ ? int(own_.At + at) + 1 : 0;
    const int ordinal = drawingOwn_ ? 0 : spellings_.Next(name);
    // A word moved to the next row or broken across rows is no link.
    if (!linkable || x < 0) return;
    QByteArray key;
    if (const int use = drawingOwn_ ? links.UseAtColumn(usesOn_, column, int(size))
                                    : links.UseByOrdinal(usesOn_, name, ordinal);
        use >= 0) {
      key = links.TargetKey(links.References().uses[size_t(use)].declaration);
    } else if (declarationsOn_.first < declarationsOn_.last) {
      // A name where it is declared leads to its entry in the cross-reference.
      int d = drawingOwn_ ? links.DeclarationAtColumn(declarationsOn_, column, int(size))
                          : links.DeclarationByOrdinal(declarationsOn_, name, ordinal);
      if (d >= 0 && links.References().declarations[size_t(d)].declaredAt >= 0)
        d = links.References().declarations[size_t(d)].declaredAt;
      if (d < 0 || !CrossLinks::Listed(links.References().declarations[size_t(d)])) return;
      key = CrossLinks::EntryKey(d);
    } else {
      return;
    }
    const int left = x + (at > 0 ? canvas.TextWidth(text.first(at)) : 0);
    const int right = x + canvas.TextWidth(text.first(at + size));
    navigation->link(QRect(left, y, right - left, canvas.TextHeight(name)), key);
  });
}

bool UnitListingRenderer::DrawWord(ClassedWordReader &words, bool sectionLine, qsizetype offset) {
  PageCanvas &canvas = *canvas_;
  RowWriter &row = *row_;
  // Read in place, not copied: the reader has just written the word, and a
  // copy read its parts back whole before the writes were done, once for
  // every word drawn. The reference holds until the reader reads ahead.
  const LineWord &word = words.Peek();
  const TokenClass kind = word.Kind;
  SelectFont(kind);
  TellWord(ClassOf(word), offset > 0);
  const int start = row.X;
  const int y = cursor_->Y;
  // ahead: 0 for this word, 1 for the next one.
  auto carryFrom = [&](size_t ahead, qsizetype nextOffset) {
    carry_ = CarriedRows{line_,      words.IndexAhead(ahead), words.PlaceAhead(ahead),
                         nextOffset, row.RowStartX(),         -1,
                         OwnRow{}};
    return false;
  };

  const bool blank = word.BlankAfter && !drawingOwn_;
  const bool upperName = kind == TokenClass::ProcName && settings_.UpperCaseRoutineNames == 1;
  // Here too for the rest of a name broken across pages: the word is cut
  // afresh from the line on each page.
  const QByteArray upper = upperName ? word.Text.toUpper() : QByteArray();
  const QByteArray &text = upperName ? upper : word.Text;
  // Where the word was drawn whole, for its links.
  int drawnX = -1;
  if (offset > 0) {
    // The rest of a word broken across the foot of the previous page.
    if (const qsizetype drawn = row.DrawWholeOrBroken(QByteArrayView(text).sliced(offset), blank);
        drawn >= 0)
      return carryFrom(0, offset + drawn);
  } else if (upperName) {
    if (const qsizetype drawn = row.DrawWholeOrBroken(text, blank); drawn >= 0)
      return carryFrom(0, drawn);
    drawnX = row.LastWholeX;
  } else if (sectionLine) {
    canvas.TextOut(start, y, text);
    drawnX = start;
    row.X = start + canvas.TextWidth(blank ? text + ' ' : text);
  } else if (kind == TokenClass::Reserved && text.size() > 1 && text.endsWith(';')) {
    // "end;", "override;": the ";" is never in the reserved-word style.
    const QByteArray head = text.chopped(1);
    canvas.TextOut(start, y, head);
    const int headWidth = canvas.TextWidth(head);
    canvas.SetFont(fonts_.base);
    TellWord(WordClass::Symbol, true);
    canvas.TextOut(start + headWidth, y, ";");
    row.X = start + canvas.TextWidth(blank ? text + ' ' : text);
  } else {
    if (const qsizetype drawn = row.DrawWholeOrBroken(text, blank); drawn >= 0)
      return carryFrom(0, drawn);
    drawnX = row.LastWholeX;
  }
  if (l_.CrossLinks && word.Lex == Lexeme::Code && offset == 0)
    LinkUses(word, text, drawnX, cursor_->Y);

  // A word glued to the one before it ("'x';") shares its row: the row
  // breaks only where a blank stands, before the whole glued run.
  const bool lastReal = words.IndexAhead(1) >= words.LineSize();
  if (!lastReal && blank && NextRunOverflows(words) && !row.NewRow()) return carryFrom(1, 0);
  return true;
}

// Whether the glued run after the current word, and a blank, would pass the
// row's right limit, in the current word's font: summed piece by piece
// where the font gives every advance, rather than copied and measured.
bool UnitListingRenderer::NextRunOverflows(ClassedWordReader &words) {
  PageCanvas &canvas = *canvas_;
  long long width64 = 0, piece = 0;
  bool summed = canvas.BlankWidth64(&width64);
  if (summed)
    ForEachGluedWord(words, 1, [&](QByteArrayView text) {
      summed = canvas.TextWidth64(text, &piece);
      width64 += piece;
      return summed;
    });
  return summed ? row_->Overflows64(width64) : row_->NextWordOverflows(GluedRun(words, 1));
}

namespace {
// Where `word` ends in text from `at` when blanks stand between some of its
// characters there; -1 when it is not there.
qsizetype SpreadWordEnd(QByteArrayView text, qsizetype at, QByteArrayView word) {
  qsizetype r = at;
  for (qsizetype k = 0; k < word.size(); ++k, ++r) {
    if (k > 0)
      while (r < text.size() && (text[r] == ' ' || text[r] == '\t')) ++r;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (r >= text.size() || lower(text[r]) != lower(word[k])) return -1;
  }
  return r;
}
}  // namespace

bool UnitListingRenderer::OwnLayoutAt(int position) const {
  const LineList &lines = model_.ListingLines;
  if (settings_.Layout != 1 || !lines.startsFileLine(position)) return false;
  const int file = lines.fileIndex(position);
  return file < model_.OwnLines.size() && lines.fileLine(position) <= model_.OwnLines[file].size();
}

QByteArrayView UnitListingRenderer::OwnText() {
  // Asked for at every word and blank: looked up once a line.
  if (ownTextFile_ != own_.File || ownTextLine_ != own_.Line) {
    const LineList &own = std::as_const(model_.OwnLines)[own_.File];
    ownText_ = own_.Line >= 1 && own_.Line <= own.size() ? own[own_.Line - 1] : QByteArrayView();
    ownTextFile_ = own_.File;
    ownTextLine_ = own_.Line;
  }
  return ownText_;
}

// Characters, not bytes, in a UTF-8 file; a tab runs to the next multiple of eight.
int UnitListingRenderer::OwnColumns(QByteArrayView text) const {
  const bool utf8 = model_.SourceEncoding == TextEncoding::Utf8;
  // Most words hold neither a tab nor a byte of a longer character.
  if (!std::any_of(text.begin(), text.end(),
                   [&](char c) { return c == '\t' || (utf8 && (c & 0x80)); }))
    return int(text.size());
  int columns = 0;
  for (const char c : text) {
    if (c == '\t')
      columns = columns / 8 * 8 + 8;
    else if (model_.SourceEncoding != TextEncoding::Utf8 ||
             (static_cast<unsigned char>(c) & 0xC0) != 0x80)
      ++columns;
  }
  return columns;
}

// Blanks, tabs and control characters are passed, not drawn: they only move
// the column.
void UnitListingRenderer::PassOwnBlanks() {
  const QByteArrayView text = OwnText();
  const qsizetype from = own_.At;
  while (own_.At < text.size() && static_cast<unsigned char>(text[own_.At]) <= ' ') {
    own_.Column = text[own_.At] == '\t' ? own_.Column / 8 * 8 + 8 : own_.Column + 1;
    ++own_.At;
  }
  if (StructureSink *sink = Structure(); sink && own_.At > from)
    sink->blanks(text.sliced(from, own_.At - from));
}

// Where the next text goes: on the line's first row at its column (exact in
// a fixed-pitch font), on a wrapped row after what was drawn.
void UnitListingRenderer::PlaceOwnColumn(int column) {
  if (cursor_->Y != ownRowY_) own_.Flowing = true;
  if (!own_.Flowing && fixedAdvance64_ > 0) {
    row_->X = ownStartX_ + PageCanvas::Round64((column - own_.Indent) * fixedAdvance64_);
  } else if (!own_.Flowing || row_->X > row_->RowStartX()) {
    // After the text before, the file's blanks as blanks of the base font.
    row_->X += PageCanvas::Round64(std::max(column - own_.EndColumn, 0) * ownBlank64_);
  }
}

// Opens the row the file's current line (nextLine: the line after it)
// prints on: its number, and where its rows start. False when the row does
// not fit above the foot of the page.
bool UnitListingRenderer::OpenOwnRow(bool nextLine) {
  if (nextLine) {
    if (own_.RowOpen) {
      if (!cursor_->NextRowFits()) return false;
      cursor_->NextRow();
    }
    own_.Line += 1;
    own_.At = 0;
    own_.Column = 0;
    own_.Flowing = false;
  }
  if (settings_.LineNo == 1) NumberRow();
  PassOwnBlanks();
  own_.Indent = own_.EndColumn = own_.Column;
  own_.RowOpen = true;
  ownRowY_ = cursor_->Y;
  if (FileLineNumbers()) DrawLineNumber(own_.Line);
  const int rightmostStart = std::max(g().LeftX, g().RightX - (g().RightX - g().LeftX) / 4);
  ownStartX_ = std::min(g().LeftX + PageCanvas::Round64(own_.Indent * ownBlank64_), rightmostStart);
  row_->SetRowStartX(ownStartX_);
  row_->X = ownStartX_;
  TellRow(own_.Line, own_.File, ownStartX_);
  ReportDeclarationPlace(own_.File, own_.Line, cursor_->Y);
  return true;
}

bool UnitListingRenderer::CarryOwn(int piece) {
  if (!carry_)
    carry_ =
        CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(), -1, OwnRow{}};
  carry_->Piece = piece;
  carry_->Own = own_;
  carry_->Own.RowOpen = false;
  carry_->Own.Flowing = true;
  cursor_->Y += g().LineStep;
  return false;
}

// The words of line_ from `from` on, each where the file has it. A word not
// found where the file goes on (text the reader changed) ends the matching:
// the rest of the file's line is drawn as it stands, in the plain style.
bool UnitListingRenderer::DrawOwnWords(qsizetype from, const LineLexer::Place &place,
                                       qsizetype offset, int piece) {
  ClassedWordReader words(*line_, from, place);
  const bool sectionLine = IsSectionLineStart(line_->FirstWord());
  for (; !words.AtEnd() && !own_.Lost; words.Advance()) {
    const LineWord &peeked = words.Peek();
    if (peeked.Text.isEmpty()) continue;
    const qsizetype size = peeked.Text.size();
    const qsizetype index = words.IndexAhead();
    if (offset == 0 || index != from) {
      PassOwnBlanks();
      // A joined header goes on on the file's next line.
      while (own_.At >= OwnText().size() && own_.Line < own_.LastLine) {
        if (!OpenOwnRow(true)) {
          carry_ =
              CarriedRows{line_, index, words.PlaceAhead(), 0, row_->RowStartX(), -1, OwnRow{}};
          return CarryOwn(piece);
        }
      }
      const QByteArrayView text = OwnText();
      // The same bytes, mostly; else the same but for the case the options set.
      const bool found =
          own_.At + size <= text.size() &&
          (std::memcmp(text.data() + own_.At, peeked.Text.constData(), size_t(size)) == 0 ||
           QByteArrayView(text.data() + own_.At, size).compare(peeked.Text, Qt::CaseInsensitive) ==
               0);
      if (!found) {
        // The reader glues some code the file spaces (") ;"): drawn apart,
        // as the file has it.
        if (const qsizetype end = SpreadWordEnd(text, own_.At, peeked.Text); end > 0) {
          if (!DrawSpreadWord(peeked, end, false)) {
            own_.Lost = true;
            carry_ = CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(),
                                 -1,    OwnRow{}};
            return CarryOwn(piece);
          }
          continue;
        }
        own_.Lost = true;
        break;
      }
      // A tab or a control character inside a string or a comment is a
      // blank that takes its columns.
      if (std::any_of(peeked.Text.begin(), peeked.Text.end(),
                      [](char c) { return static_cast<unsigned char>(c) < ' '; })) {
        if (!DrawSpreadWord(peeked, own_.At + size, true)) {
          own_.Lost = true;
          carry_ = CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(),
                               -1,    OwnRow{}};
          return CarryOwn(piece);
        }
        continue;
      }
      PlaceOwnColumn(own_.Column);
    }
    const int rowY = cursor_->Y;
    drawingOwn_ = true;
    const bool drawn = DrawWord(words, sectionLine, index == from ? offset : 0);
    drawingOwn_ = false;
    if (cursor_->Y != rowY) own_.Flowing = true;
    if (!drawn && carry_ && carry_->Word == index)
      return CarryOwn(piece);  // the word itself goes on
    own_.Column += OwnColumns(QByteArrayView(OwnText().data() + own_.At, size));
    own_.EndColumn = own_.Column;
    own_.At += size;
    if (!drawn) return CarryOwn(piece);
  }
  return true;
}

// The word in pieces between the file's blanks, each at the file's column,
// in the word's style ("end ;": the ";" never in the reserved words').
// whole: the word holds the blanks too (text the reader keeps as it is).
bool UnitListingRenderer::DrawSpreadWord(const LineWord &word, qsizetype end, bool whole) {
  const QByteArrayView text = OwnText();
  const qsizetype start = own_.At;
  qsizetype k = 0;
  while (own_.At < end) {
    PassOwnBlanks();
    if (own_.At >= end) break;
    if (whole) k = own_.At - start;
    qsizetype n = 0;
    while (own_.At + n<end &&static_cast<unsigned char>(text[own_.At + n])> ' ') ++n;
    const QByteArrayView piece =
        QByteArrayView(word.Text).sliced(k, std::min(n, word.Text.size() - k));
    PlaceOwnColumn(own_.Column);
    SelectFont(word.Kind == TokenClass::Reserved && piece == ";" ? TokenClass::Plain : word.Kind);
    TellWord(word.Kind == TokenClass::Reserved && piece == ";" ? WordClass::Symbol : ClassOf(word),
             k > 0);
    const int rowY = cursor_->Y;
    const qsizetype drawn = row_->DrawWholeOrBroken(piece, false);
    if (cursor_->Y != rowY) own_.Flowing = true;
    if (drawn >= 0) return false;
    own_.Column += OwnColumns(text.sliced(own_.At, n));
    own_.EndColumn = own_.Column;
    own_.At += n;
    k += n;
  }
  return true;
}

// What the words did not cover: the rest of the file's line and of the
// lines a joined header took, as they stand.
bool UnitListingRenderer::DrawOwnRest(int piece) {
  for (;;) {
    PassOwnBlanks();
    const QByteArrayView text = OwnText();
    if (own_.At < text.size()) {
      qsizetype end = own_.At;
      while (end < text.size() && static_cast<unsigned char>(text[end]) > ' ') ++end;
      PlaceOwnColumn(own_.Column);
      canvas_->SetFont(fonts_.base);
      TellWord(WordClass::Identifier);
      const int rowY = cursor_->Y;
      const QByteArrayView word = text.sliced(own_.At, end - own_.At);
      const qsizetype drawn = row_->DrawWholeOrBroken(word, false);
      if (cursor_->Y != rowY) own_.Flowing = true;
      const qsizetype taken = drawn < 0 ? word.size() : drawn;
      own_.Column += OwnColumns(word.first(taken));
      own_.EndColumn = own_.Column;
      own_.At += taken;
      if (drawn >= 0) {
        carry_ = CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(),
                             -1,    OwnRow{}};
        return CarryOwn(piece);
      }
      continue;
    }
    if (own_.Line >= own_.LastLine) return true;
    if (!OpenOwnRow(true)) return CarryOwn(piece);
  }
}

void UnitListingRenderer::LayOutOwnLine(int &position, std::optional<CarriedRows> carried) {
  PageCanvas &canvas = *canvas_;
  PageCursor &cursor = *cursor_;
  const LineList &lines = model_.ListingLines;
  const int first = carried ? carried->Piece : position;
  // The listing lines the reader split off the same line of the file, or
  // off the lines of a header it joined.
  const int firstLine = lines.fileLine(first);
  const int lastLine =
      carried ? carried->Own.LastLine
              : std::max(firstLine, model_.JoinedLines.value(
                                        ProjectModel::JoinedKey(lines.fileIndex(first), firstLine),
                                        firstLine));
  int last = first;
  while (last + 1 < lines.size() && !lines.startsFileLine(last + 1) &&
         lines.fileIndex(last + 1) == lines.fileIndex(first) &&
         lines.fileLine(last + 1) >= firstLine && lines.fileLine(last + 1) <= lastLine)
    ++last;
  bool rule = false;
  int piece = first;
  if (carried) {
    own_ = carried->Own;
    line_ = carried->Line;
    if (lines.hasOtherFiles()) partName_ = model_.PartNameOf(lines, first);
    row_->SetRowStartX(carried->RowStartX);
    row_->X = carried->RowStartX;
    ownStartX_ = carried->RowStartX;
    ownRowY_ = cursor.Y;
    if (settings_.LineNo == 1) NumberRow();  // a continuation row, numbered as one
    own_.RowOpen = true;
    own_.Flowing = true;
    rule = RuleDue();
    if (!DrawOwnWords(carried->Word, carried->Place, carried->Offset, piece)) return;
    ++piece;
  } else {
    const int file = lines.fileIndex(first);
    const int line = lines.fileLine(first);
    own_ = OwnRow{};
    own_.File = file;
    own_.Line = line;
    own_.LastLine = lastLine;
    const QByteArrayView trimmed = lines[first].trimmed();
    if (settings_.Auto == 1 && trimmed.isEmpty() && last == first && own_.LastLine == line) {
      position = last;
      return;
    }
  }
  for (; piece <= last; ++piece) {
    fileLine_ = lines.fileLine(piece);
    startsFileLine_ = lines.startsFileLine(piece);
    fileIndex_ = lines.fileIndex(piece);
    const QByteArrayView text = lines[piece];
    const auto headings = ClassLine(text, text.trimmed());
    if (s_.layout.LineX == 0) s_.layout.LineX = g().LeftX;
    if (s_.layout.NextLineX == 0) s_.layout.NextLineX = s_.layout.LineX;
    if (piece == first && line_->FirstWord() == kNewPageMarker) {
      BreakPage();  // as in the recomputed layout
      s_.layout.LineX = s_.layout.NextLineX;
      position = last;
      return;
    }
    if (piece == first) {
      if (s_.layout.BlankBefore) {
        s_.layout.BlankBefore = false;
        if (cursor.Y < canvas.PageHeight - g().BottomMargin - canvas.TextHeight("X") &&
            cursor.Y > textTop_) {
          if (settings_.LineNo == 1) NumberRow();
          TellRow(0, own_.File, g().LeftX);
          cursor.Y += g().LineStep;
        }
      }
      OpenOwnRow(false);
    } else {
      // A heading split off the line prints on the line's row.
      s_.layout.BlankBefore = false;
    }
    if (settings_.Blocks == 1) {
      if (StructureSink *sink = Structure();
          sink && (s_.layout.BlockOpened || s_.layout.BlockClosed))
        sink->bracket(s_.layout.BlockOpened, s_.layout.BlockClosed && (s_.layout.BlockOpened ||
                                                                       s_.layout.BlockCount() > 0));
      const int computedX = s_.layout.LineX;
      s_.layout.LineX = ownStartX_;
      DrawBlockMarks(canvas, s_.layout, ownRowY_, g().LineStep, g().IndentWidth);
      s_.layout.LineX = computedX;
    }
    s_.layout.BlockOpened = s_.layout.BlockClosed = false;
    for (const auto &[name, kind] : headings) RecordIndexEntry(name, kind);
    ReportHeading(ownRowY_);
    rule = rule || RuleDue();
    if (!DrawOwnWords(0, line_->Start(), 0, piece)) return;
    s_.layout.LineX = s_.layout.NextLineX;
  }
  if (!DrawOwnRest(last)) return;
  position = last;
  FinishRow(rule);
}

UnitListing::UnitListing(ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), state_(new State) {
  renderer_ = std::make_unique<UnitListingRenderer>(*this);
  job_ = std::make_unique<ListingJob>(settings, *renderer_);
}

UnitListing::~UnitListing() { delete state_; }

int UnitListing::HeadingsInsideBlocks() const { return state_->layout.HeadingsInsideBlocks; }

void UnitListing::SetClock(const QDateTime &now) { job_->SetClock(now); }

ListingNames &UnitListing::Names() { return job_->Names; }

void UnitListing::ResetListingState() {
  SelectedOnly = false;
  model_.ListingLines.clear();
  state_->layout = LayoutState{};
  state_->scan = ScanState{};
  state_->scan.NestComments = model_.CommentsNest;
  state_->PageStates.clear();
  state_->indexStart = -1;
  state_->imageRead = false;
  state_->image = QImage();
  // Names in headers are display names, lower case like the lists.
  job_->Names.UnitNameText =
      HeaderNameText(DisplayPath(model_.CurrentUnitPath), settings_.Path1 != 0);
  job_->Names.ProjectNameText = HeaderNameText(model_.OpenedPath, settings_.Path2 != 0);
}

void UnitListing::BeginPrint(PageInfoPtr &Info) { job_->BeginPrint(Info); }
void UnitListing::PrintPage(PageInfo &Info, PageCanvas &SCanvas) { job_->PrintPage(Info, SCanvas); }
void UnitListing::EndPrint(PageInfoPtr &Info) { job_->EndPrint(Info); }
PrintEvents UnitListing::Events() { return job_->Events(); }

}  // namespace scrivane
