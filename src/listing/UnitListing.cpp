// The unit listing's page run: each page started from the state the page
// before left, its lines classed by the rules and laid out afresh (or handed
// to the source's own layout), their headings, numbers and rules.
#include "listing/UnitListing.h"

#include <QFileInfo>
#include <QImage>
#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "format/FormatSettings.h"
#include "listing/PageFurniture.h"
#include "listing/UnitListingRenderer.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "print/PrintException.h"
#include "project/FormImage.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

constexpr int kLineNumberGap = 30;  // device units between a line number and the text margin
constexpr double kMaxImageInches = 6.5;

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

}  // namespace

QString FormImagePath(const QString &unitPath, const ProjectScope *scope) {
  return FindFormImageFiles(unitPath, scope).imageFile;
}
void UnitListingRenderer::BeginJob() {
  // A new job paginates afresh: the printer (and so every line break) may
  // differ from the one an earlier preview measured on.
  s_.PageStates.clear();
  if (s_.indexStart < 0 || s_.indexStart > model_.IndexEntries.size())
    s_.indexStart = model_.IndexEntries.size();
  model_.IndexEntries.truncate(s_.indexStart);
  s_.headingsAbove.clear();
  s_.recordedPage = 0;
  s_.recordedFrom = s_.indexStart;
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
  spellings_ = {};
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
    navigation->anchor(UnitPlaceKey(model_.Units.at(model_.SelectedUnit).name), 0);
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
      spellings_.Clear();
      spellings_.part = startsFileLine_ ? fileIndex_ : -1;
      spellings_.line = fileLine_;
    }
    spellings_.lineStarts.clear();
    spellings_.nextStart = 0;
    if (l_.CrossLinks && !model_.JoinedHeaders.isEmpty()) {
      const auto joined =
          model_.JoinedHeaders.constFind(ProjectModel::JoinedKey(fileIndex_, fileLine_));
      if (joined != model_.JoinedHeaders.constEnd() && joined->size == lines[position].size())
        spellings_.lineStarts = joined->starts;
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
    if (next.Carried)
      next.Carried->Spellings = spellings_;
    else
      next.Spellings = spellings_;
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
    spellings_ = start.Spellings;
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
  heading_ = Heading{-1, DecodeText(kind + ' ' + name, model_.SourceEncoding)};
  if (!l_.KeepsIndexEntries) return;
  TextList &entries = model_.IndexEntries;
  // Every repaint and replay of a page lays its headings out again: the
  // heading keeps the number its entry was given the first time.
  auto numberOf = [&entries, &entry](qsizetype from, qsizetype to) {
    for (qsizetype e = to - 1; e >= from; --e)
      if (entries[e] == entry) return e;
    return qsizetype(-1);
  };
  if (cursor_->Page < s_.recordedPage) {
    heading_->entry = numberOf(std::max<qsizetype>(s_.indexStart, 0), s_.recordedFrom);
    return;
  }
  if (cursor_->Page > s_.recordedPage) {
    s_.recordedPage = cursor_->Page;
    s_.recordedFrom = entries.size();
  }
  heading_->entry = numberOf(s_.recordedFrom, entries.size());
  if (heading_->entry >= 0) return;
  heading_->entry = entries.size();
  entries.append(entry);
}

// Where the heading's row prints: the place its bookmark and the index's
// link lead to.
void UnitListingRenderer::ReportHeading(int y) {
  if (!heading_) return;
  if (NavigationSink *navigation = canvas_->Navigation()) {
    // The index leads to a heading by its entry's number: the entry's
    // text as the key was a second copy of every entry.
    if (heading_->entry >= 0) navigation->anchor(IndexEntryPlaceKey(heading_->entry), y);
    navigation->outlineEntry(heading_->title, y);
    if (fileLine_ > 0 && model_.SelectedUnit >= 0 && model_.SelectedUnit < model_.Units.size()) {
      QString name = model_.Units.at(model_.SelectedUnit).name;
      if (!partName_.isEmpty()) name += u'/' + partName_;
      navigation->anchor(RoutinePlaceKey(name, fileLine_), y);
    }
  }
  heading_.reset();
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

// A routine's last "end;": a rule follows it.
bool UnitListingRenderer::RuleDue() const {
  // The first word is lowered last, and only when it is four bytes long:
  // this is asked at the end of every line.
  return s_.layout.RoutineDepth == 0 && settings_.LineBetweenRoutines == 1 &&
         s_.layout.InImplementation && s_.layout.Depth == 0 && line_->FirstWord().size() == 4 &&
         LoweredWord(line_->FirstWord()).view() == "end;";
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
