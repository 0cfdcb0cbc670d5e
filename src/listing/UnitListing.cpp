#include "listing/UnitListing.h"

#include <QFileInfo>
#include <QImage>
#include <algorithm>
#include <vector>

#include "format/FormatSettings.h"
#include "format/PageGeometry.h"
#include "listing/LayoutRules.h"
#include "listing/Lexer.h"
#include "listing/PageFurniture.h"
#include "platform/Text1252.h"
#include "print/PageCanvas.h"
#include "print/PrintException.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

constexpr int kMaxNameChars = 128;
constexpr int kLineNumberGap = 30;  // device units between a line number and the text margin
constexpr double kMaxImageInches = 6.5;

// Compared in lower case: by the time a line is drawn its first word may
// have been upper-cased as a reserved word (or written capitalised in the
// source), and its underline must still stop at the last letter.
bool IsSectionLineStart(const QByteArray &word) {
  const QByteArray lower = word.toLower();
  return lower == "interface" || lower == "implementation" || lower == "private" || lower == "public" ||
         lower == "protected";
}

// The part after the last directory or drive separator.
QByteArray FileNamePartOf(const QByteArray &path) {
  const qsizetype cut = std::max({path.lastIndexOf('\\'), path.lastIndexOf('/'), path.lastIndexOf(':')});
  return path.mid(cut + 1);
}

FontSpec SectionFontOf(const FormatSettings &settings) {
  FontSpec font = settings.ReserveFont();
  switch (settings.RStyle) {
    case 0: font.style = StyleBold | StyleUnderline; break;
    case 1: font.style = StyleUnderline; break;
    case 2: font.style = StyleItalic | StyleUnderline; break;
    case 3: font.style = StyleBold | StyleItalic | StyleUnderline; break;
    default: break;
  }
  return font;
}

// What one page starts from. The whole layout state is kept, not only the
// numbers that must cross a page, so that a page drawn again after later
// pages starts from exactly what it started from the first time.
struct PageState {
  bool Saved = false;
  int LineNumber = 1;
  int CommentState = 0;  // 0 none, 1 brace comment, 2 parenthesis-star comment
  LayoutState Layout;
};

struct PageFonts {
  FontSpec base, header, reserve, comment, message, line, proc, section;
};

}  // namespace

QString FormImagePath(const QString &unitPath) {
  const QFileInfo info(unitPath);
  const QString name = info.fileName();
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  if (dot < 0) return {};
  const QString directory = unitPath.left(unitPath.size() - name.size());
  return directory + name.left(dot + 1).toLower() + QStringLiteral("bmp");
}

struct UnitListing::State {
  LayoutState layout;
  ScanState scan;
  int LineIndex = 0;
  int LineNumber = 1;
  int CurrentY = 0;
  int DrawX = 0;
  std::vector<PageState> PageStates;  // by page number; grows with the document

  QDateTime fixedClock;
  QDateTime jobClock;

  QString imagePath;  // the image below is what this path held when first read
  bool imageRead = false;
  QImage image;

  PageState &PageStateAt(int page) {
    if (page >= int(PageStates.size())) PageStates.resize(page + 1);
    return PageStates[page];
  }
};

// One run of one page: all the layout of the listing lives here, the carried
// state in UnitListing::State.
class UnitListingPageRun {
 public:
  UnitListingPageRun(UnitListing &listing, TNEWPageInfo &info, TSpecialCanvas &canvas)
      : l_(listing), s_(*listing.state_), settings_(listing.settings_), model_(listing.model_),
        info_(info), canvas_(canvas), page_(info.PageNumber) {}

  void Run();

 private:
  void StartState();
  void DrawFormImage();
  bool PageFull();
  void LayOutLine(const QByteArray &text);
  void DrawWord(std::vector<LineWord> &words, int i);
  void DrawWholeOrBroken(const QByteArray &word);
  void NumberRow();
  void NextRow();
  void RecordIndexEntry(const QByteArray &name, const QByteArray &kind);
  void SelectFont(TokenClass kind);

  UnitListing &l_;
  UnitListing::State &s_;
  const FormatSettings &settings_;
  ProjectModel &model_;
  TNEWPageInfo &info_;
  TSpecialCanvas &canvas_;
  const int page_;
  PageGeometry g_;
  PageFonts fonts_;
  int textTop_ = 0;
  int lineX_ = 0;  // where this line's rows start
};

void UnitListingPageRun::Run() {
  fonts_ = {settings_.BaseFont(),    settings_.HeaderFont(),  settings_.ReserveFont(),
            settings_.CommentFont(), settings_.MessageFont(), settings_.LineFont(),
            settings_.ProcFont(),    SectionFontOf(settings_)};
  g_ = ComputePageGeometry(canvas_, settings_);
  s_.CurrentY = g_.TopY;
  s_.LineIndex = info_.PageStart(page_);

  const FurnitureTexts texts{l_.UnitNameText, l_.ProjectNameText, s_.jobClock};
  PageFurniture furniture(canvas_, g_, settings_, texts);
  const bool titleHere = settings_.Title == 1 && page_ == 1 && model_.UnitHighlighted && !l_.SelectedOnly;
  if (titleHere)
    furniture.DrawTitleBlock(s_.CurrentY);
  else if (settings_.Header == 1)
    furniture.DrawPageHeader(page_, s_.CurrentY);

  StartState();
  if (settings_.Footer == 1) g_.BottomMargin += g_.LineStep;
  textTop_ = s_.CurrentY;
  s_.layout.CaseMode = false;
  s_.layout.CaseX = 0;

  const int lineCount = int(model_.ListingLines.size());
  // A page always takes at least one line, so that margins too large for any
  // line cannot make an endless document.
  bool anyLine = false;
  while (s_.LineIndex < lineCount && !(anyLine && PageFull())) {
    LayOutLine(model_.ListingLines[s_.LineIndex]);
    s_.layout.LineX = s_.layout.NextLineX;
    s_.LineIndex += 1;
    s_.scan.InString = false;
    anyLine = true;
  }

  if (settings_.Blocks == 1)
    DrawOpenBlocksAtPageEnd(canvas_, s_.layout, s_.CurrentY, g_.LeftX, g_.IndentWidth);
  if (settings_.Footer == 1) furniture.DrawPageFooter(page_, s_.CurrentY);

  PageState &next = s_.PageStateAt(page_ + 1);
  if (!next.Saved) {
    next.Saved = true;
    next.LineNumber = s_.LineNumber;
    next.CommentState = s_.scan.InParenComment ? 2 : s_.scan.InBraceComment ? 1 : 0;
    next.Layout = s_.layout;
    next.Layout.Depth = std::max(next.Layout.Depth, 0);
  }
  info_.LastPage = s_.LineIndex > lineCount - 1;
  info_.SetPageStart(page_ + 1, s_.LineIndex);
  info_.KnownPages = std::max(info_.KnownPages, page_ + 1);
}

void UnitListingPageRun::StartState() {
  if (page_ == 1) {
    DrawFormImage();
    s_.LineIndex = 0;
    s_.LineNumber = 1;
    s_.layout = LayoutState{};
    s_.scan = ScanState{};
  } else if (const PageState &start = s_.PageStateAt(page_); start.Saved) {
    s_.LineNumber = start.LineNumber;
    s_.layout = start.Layout;
    s_.scan = ScanState{};
    s_.scan.InBraceComment = start.CommentState == 1;
    s_.scan.InParenComment = start.CommentState == 2;
    if (s_.layout.BlockCount > 0 && s_.layout.Depth > 0)
      for (int k = 1; k <= s_.layout.BlockCount; ++k)
        s_.layout.MarkAt(k) = BlockMark{0, s_.CurrentY, true};
  }
  if (s_.layout.Depth == 0) {
    s_.layout.BlockMarks.clear();
    s_.layout.BlockCount = 0;
  }
}

void UnitListingPageRun::DrawFormImage() {
  if (settings_.Print != 1) return;
  const QString path = FormImagePath(model_.CurrentUnitPath);
  if (path.isEmpty()) return;
  if (!s_.imageRead || s_.imagePath != path) {
    s_.imagePath = path;
    s_.imageRead = true;
    s_.image = QImage(path);
  }
  const QImage &image = s_.image;
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return;
  const double widthInches = std::min(image.width() * 0.01, kMaxImageInches);
  const int w = canvas_.ToDeviceX(float(widthInches));
  const int h = canvas_.ToDeviceY(float(image.height() * widthInches / image.width()));
  int x = g_.LeftX;  // an alignment outside 0..2 keeps the left margin
  if (settings_.Align == 1) x = g_.RightX - w;
  if (settings_.Align == 2) x = canvas_.PageWidth / 2 - w / 2;
  const int y = s_.CurrentY;
  canvas_.StretchDraw(QRect(x, y, w, h), image);
  canvas_.Pen.width = canvas_.PixelsPerInchX / 72;
  canvas_.Brush.style = BrushStyle::Clear;
  canvas_.Rectangle(x, y, x + w, y + h);
  s_.CurrentY = y + h + 2 * g_.LineStep;
}

bool UnitListingPageRun::PageFull() {
  return canvas_.TextHeight("X") + s_.CurrentY >= canvas_.PageHeight - g_.BottomMargin - 2 * g_.LineStep;
}

void UnitListingPageRun::NumberRow() {
  canvas_.SetFont(fonts_.line);
  const QByteArray number = QByteArray::number(s_.LineNumber) + ':';
  canvas_.TextOut(g_.LeftX - canvas_.TextWidth(number) - kLineNumberGap, s_.CurrentY, number);
  s_.LineNumber += 1;
}

void UnitListingPageRun::NextRow() {
  s_.DrawX = lineX_;
  s_.CurrentY += g_.LineStep;
  if (settings_.LineNo == 1) NumberRow();
}

void UnitListingPageRun::RecordIndexEntry(const QByteArray &name, const QByteArray &kind) {
  QByteArray entry = name + '%' + kind + '%' + FileNamePartOf(l_.UnitNameText) + '%' + QByteArray::number(page_);
  if (settings_.LineNo == 1) entry += '%' + QByteArray::number(s_.LineNumber);
  model_.IndexEntries.append(entry);
}

void UnitListingPageRun::SelectFont(TokenClass kind) {
  switch (kind) {
    case TokenClass::Plain: canvas_.SetFont(fonts_.base); break;
    case TokenClass::Reserved: canvas_.SetFont(fonts_.reserve); break;
    case TokenClass::Comment: canvas_.SetFont(fonts_.comment); break;
    case TokenClass::Message: canvas_.SetFont(fonts_.message); break;
    case TokenClass::Section: canvas_.SetFont(fonts_.section); break;
    case TokenClass::ProcName: canvas_.SetFont(fonts_.proc); break;
  }
}

void UnitListingPageRun::LayOutLine(const QByteArray &text) {
  const QByteArray trimmed = text.trimmed();
  if (settings_.Auto == 1 && trimmed.isEmpty()) return;

  std::vector<LineWord> words = SplitWords(text);
  s_.layout.NextLineX = 0;
  if (settings_.LineNo == 1 && trimmed != kNewPageMarker) NumberRow();
  canvas_.SetFont(fonts_.base);

  LayoutContext context;
  context.LeftX = g_.LeftX;
  context.IndentWidth = g_.IndentWidth;
  context.SelectedOnly = l_.SelectedOnly;
  context.Settings = &settings_;
  context.DeclaredRoutines = &model_.DeclaredRoutines;
  context.OnRoutineHeading = [this](const QByteArray &name, const QByteArray &kind) {
    RecordIndexEntry(name, kind);
  };
  IndentationRules rules(s_.layout, context);
  ClassifyLine(words, trimmed, s_.scan, settings_, &rules);

  if (settings_.Blocks == 1) DrawBlockMarks(canvas_, s_.layout, s_.CurrentY, g_.LineStep, g_.IndentWidth);
  if (s_.layout.LineX == 0) s_.layout.LineX = g_.LeftX;
  if (s_.layout.NextLineX == 0) s_.layout.NextLineX = s_.layout.LineX;
  // Nesting deeper than the page is wide would start rows at or past the
  // right limit, where no word fits: rows then start no further right than
  // three quarters across the text width (the indentation kept for the
  // following lines is unchanged).
  const int rightmostStart = std::max(g_.LeftX, g_.RightX - (g_.RightX - g_.LeftX) / 4);
  lineX_ = std::min(s_.layout.LineX, rightmostStart);
  s_.DrawX = lineX_;

  const int pageHeight = canvas_.PageHeight;
  if (!words.empty() && words[0].Text == kNewPageMarker) {
    const int limit = pageHeight - g_.BottomMargin - canvas_.TextHeight("X");
    const int height = canvas_.TextHeight("X");
    if (g_.LineStep > 0) {
      while (height + s_.CurrentY < limit) s_.CurrentY += g_.LineStep;
    } else {
      s_.CurrentY = std::max(s_.CurrentY, limit);
    }
    s_.layout.BlockOpened = s_.layout.BlockClosed = false;
    return;
  }

  if (s_.layout.BlankBefore) {
    s_.layout.BlankBefore = false;
    if (s_.CurrentY < pageHeight - g_.BottomMargin - canvas_.TextHeight("X") && s_.CurrentY > textTop_) {
      s_.CurrentY += g_.LineStep;
      if (settings_.LineNo == 1) NumberRow();
    }
  }

  for (int i = 0; i + 1 < int(words.size()); ++i) DrawWord(words, i);

  if (words[0].Text.toLower() == "end;" && s_.layout.RoutineDepth == 0 && settings_.Spacer == 1 &&
      s_.layout.InImplementation && s_.layout.Depth == 0 &&
      s_.CurrentY < pageHeight - g_.BottomMargin - canvas_.TextHeight("X") && s_.CurrentY > textTop_) {
    s_.CurrentY += g_.LineStep;
    canvas_.Pen.width = 1;
    canvas_.Pen.mode = PenMode::Black;
    const int ruleY = s_.CurrentY + canvas_.TextHeight("H") / 2;
    canvas_.MoveTo(g_.LeftX, ruleY);
    canvas_.LineTo(g_.RightX, ruleY);
    if (settings_.LineNo == 1) NumberRow();
  }
  s_.layout.BlockOpened = s_.layout.BlockClosed = false;
  s_.CurrentY += g_.LineStep;
}

void UnitListingPageRun::DrawWord(std::vector<LineWord> &words, int i) {
  LineWord &word = words[i];
  const TokenClass kind = word.Kind;
  SelectFont(kind);
  const int start = s_.DrawX;
  const int y = s_.CurrentY;

  if (kind == TokenClass::ProcName && settings_.Names == 1) {
    word.Text = word.Text.toUpper();
    DrawWholeOrBroken(word.Text);
  } else if (IsSectionLineStart(words[0].Text)) {
    canvas_.TextOut(start, y, word.Text);
    s_.DrawX = start + canvas_.TextWidth(word.Text + ' ');
  } else if (kind == TokenClass::Reserved && word.Text.toLower() == "end;") {
    const QByteArray head = word.Text.left(3);
    canvas_.TextOut(start, y, head);
    const int headWidth = canvas_.TextWidth(head);
    canvas_.SetFont(fonts_.base);
    canvas_.TextOut(start + headWidth, y, ";");
    s_.DrawX = start + canvas_.TextWidth(word.Text + ' ');
  } else {
    DrawWholeOrBroken(word.Text);
  }

  word.Kind = TokenClass::Plain;
  const int lastReal = int(words.size()) - 2;
  if (i < lastReal && s_.DrawX + canvas_.TextWidth(words[i + 1].Text + ' ') > g_.RightX) NextRow();
}

// A word wider than what is left of the row is broken across rows: the
// lexer keeps words whole, and a long string or identifier must neither be
// cut nor run off the paper.
void UnitListingPageRun::DrawWholeOrBroken(const QByteArray &word) {
  const FontSpec font = canvas_.Font;
  QByteArray rest = word;
  for (;;) {
    const int available = g_.RightX - s_.DrawX;
    const int restWidth = canvas_.TextWidth(rest);
    if (restWidth <= available || rest.isEmpty()) {
      canvas_.TextOut(s_.DrawX, s_.CurrentY, rest + ' ');
      s_.DrawX += canvas_.TextWidth(rest + ' ');
      return;
    }
    const bool fitsOnFreshRow = restWidth <= g_.RightX - lineX_;
    if (s_.DrawX > lineX_ && fitsOnFreshRow) {
      NextRow();
      canvas_.SetFont(font);
      continue;
    }
    int take = 0;
    int width = 0;
    while (take < rest.size()) {
      const int next = width + canvas_.TextWidth(rest.mid(take, 1));
      if (next > available) break;
      width = next;
      ++take;
    }
    if (take == 0) {
      if (s_.DrawX > lineX_) {
        NextRow();
        canvas_.SetFont(font);
        continue;
      }
      take = 1;  // a row narrower than one character still makes progress
    }
    canvas_.TextOut(s_.DrawX, s_.CurrentY, rest.left(take));
    rest = rest.mid(take);
    NextRow();
    canvas_.SetFont(font);
  }
}

UnitListing::UnitListing(ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), state_(new State) {}

UnitListing::~UnitListing() { delete state_; }

void UnitListing::SetClock(const QDateTime &now) { state_->fixedClock = now; }

void UnitListing::ResetListingState() {
  SelectedOnly = false;
  model_.ListingLines.clear();
  state_->layout = LayoutState{};
  state_->scan = ScanState{};
  state_->PageStates.clear();
  state_->imageRead = false;
  state_->image = QImage();
  const QByteArray unitPath = Encode1252(model_.CurrentUnitPath).left(kMaxNameChars);
  UnitNameText = settings_.Path1 == 0 ? FileNamePartOf(unitPath) : unitPath;
  const QByteArray projectPath = Encode1252(model_.OpenedPath).left(kMaxNameChars);
  ProjectNameText = settings_.Path2 == 1 ? projectPath : FileNamePartOf(projectPath);
}

void UnitListing::BeginPrint(PageInfoPtr &Info) {
  auto info = std::make_unique<TNEWPageInfo>();
  info->Title = model_.CurrentUnitPath.toLower();
  info->KnownPages = 1;
  info->Drawing = true;
  Info = std::move(info);
  // A new job paginates afresh: the printer (and so every line break) may
  // differ from the one an earlier preview measured on.
  state_->PageStates.clear();
  state_->jobClock = state_->fixedClock.isValid() ? state_->fixedClock : QDateTime::currentDateTime();
}

void UnitListing::PrintPage(TPageInfo &Info, TSpecialCanvas &SCanvas) {
  auto *info = dynamic_cast<TNEWPageInfo *>(&Info);
  if (!info) throw PrintException("The unit listing needs the page record its BeginPrint made.");
  ReplayEarlierPages(*info, SCanvas, [this](TNEWPageInfo &replayed, TSpecialCanvas &canvas) {
    UnitListingPageRun(*this, replayed, canvas).Run();
  });
  UnitListingPageRun(*this, *info, SCanvas).Run();
}

void UnitListing::EndPrint(PageInfoPtr &Info) { Info.reset(); }

PrintEvents UnitListing::Events() {
  return PrintEvents{[this](PageInfoPtr &info) { BeginPrint(info); },
                     [this](TPageInfo &info, TSpecialCanvas &canvas) { PrintPage(info, canvas); },
                     [this](PageInfoPtr &info) { EndPrint(info); }};
}

}  // namespace scrivane
