#include "listing/ListingJob.h"

#include <algorithm>
#include <charconv>

#include "format/FormatSettings.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "print/PageCanvas.h"
#include "print/PrintException.h"

namespace scrivane {

namespace {
constexpr char kEllipsis1252 = char(0x85);
}

QByteArray FileNamePartOf(const QByteArray &path) {
  const qsizetype cut =
      std::max({path.lastIndexOf('\\'), path.lastIndexOf('/'), path.lastIndexOf(':')});
  return path.mid(cut + 1);
}

QByteArray HeaderNameText(const QString &path, bool fullPath) {
  const QByteArray text = Encode1252(fullPath ? path : FileNamePart(path));
  if (text.size() <= kMaxNameChars) return text;
  // The file name keeps the separator before it, so the cut shows as "…/name".
  const QByteArray name = text.right(std::min(FileNamePartOf(text).size() + 1, text.size()));
  if (name.size() + 1 >= kMaxNameChars) return FileNamePartOf(text).right(kMaxNameChars);
  return text.left(kMaxNameChars - 1 - name.size()) + kEllipsis1252 + name;
}

QByteArray UnitPlaceKey(const QString &displayName) {
  return "unit:" + displayName.trimmed().toLower().toUtf8();
}

QByteArray RoutinePlaceKey(const QString &unitDisplayName, int fileLine) {
  return "routine:" + unitDisplayName.trimmed().toLower().toUtf8() + ':' +
         QByteArray::number(fileLine);
}

QByteArray IndexEntryPlaceKey(qsizetype entry) {
  char text[24] = {'i', ':'};
  const char *end = std::to_chars(text + 2, text + sizeof text, entry).ptr;
  return QByteArray(text, end - text);
}

PageCursor::PageCursor(PageCanvas &canvas, const PageGeometry &geometry,
                       const FormatSettings &settings, const FurnitureTexts &texts, int page)
    : Canvas(canvas),
      Geometry(geometry),
      Settings(settings),
      Texts(texts),
      Page(page),
      Y(geometry.TopY) {}

int PageCursor::RoomLeft() {
  return Canvas.PageHeight - Geometry.BottomMargin - 2 * Geometry.LineStep -
         (Y + Canvas.TextHeight("X"));
}

void PageCursor::ReserveFooterRow() {
  if (footerReserved_ || Settings.Footer != 1) return;
  footerReserved_ = true;
  Geometry.BottomMargin += Geometry.LineStep;
}

int PageCursor::FootY() const { return Canvas.PageHeight - Geometry.BottomMargin; }

QString ListingRenderer::DocumentTitle() const { return FileNamePart(JobTitle()); }

ListingJob::ListingJob(const FormatSettings &settings, ListingRenderer &renderer)
    : settings_(settings), renderer_(renderer) {}

void ListingJob::BeginPrint(PageInfoPtr &Info) {
  auto info = std::make_unique<ListingPageInfo>();
  info->Title = renderer_.JobTitle();
  info->KnownPages = 1;
  info->Drawing = true;
  Info = std::move(info);
  jobClock_ = fixedClock_.isValid() ? fixedClock_ : QDateTime::currentDateTime();
  documentReported_ = false;
  totalPages_ = 0;
  renderer_.BeginJob();
}

void ListingJob::PrintPage(PageInfo &Info, PageCanvas &SCanvas) {
  auto *info = dynamic_cast<ListingPageInfo *>(&Info);
  if (!info) throw PrintException("A listing needs the page record its BeginPrint made.");
  SCanvas.Encoding = renderer_.Encoding();
  if (totalPages_ == 0 && (settings_.HeaderText.contains("$P") || settings_.User.contains("$P"))) {
    totalPages_ = CountPages(SCanvas.Printer());
    // The real run starts from the job's start again.
    renderer_.BeginJob();
  }
  ReplayEarlierPages(*info, SCanvas, [this](ListingPageInfo &replayed, PageCanvas &canvas) {
    RunPage(replayed, canvas);
  });
  RunPage(*info, SCanvas);
}

void ListingJob::EndPrint(PageInfoPtr &Info) { Info.reset(); }

PrintEvents ListingJob::Events() {
  return PrintEvents{[this](PageInfoPtr &info) { BeginPrint(info); },
                     [this](PageInfo &info, PageCanvas &canvas) { PrintPage(info, canvas); },
                     [this](PageInfoPtr &info) { EndPrint(info); }};
}

void ListingJob::RunPage(ListingPageInfo &info, PageCanvas &canvas) {
  const int page = info.PageNumber;
  const PageGeometry geometry = ComputePageGeometry(canvas, settings_);
  // Margins that leave no text area would make every page empty, and a
  // document of empty pages never ends.
  if (geometry.RightX <= geometry.LeftX ||
      geometry.TopY + geometry.LineStep > canvas.PageHeight - geometry.BottomMargin)
    throw PrintException(
        "The margins are larger than the paper: no room is left for the text. "
        "Make the margins smaller in the Format settings or choose larger paper.");
  const FurnitureTexts texts{Names.UnitNameText, Names.ProjectNameText, jobClock_, totalPages_};
  PageCursor cursor(canvas, geometry, settings_, texts, page);
  cursor.InOrder = info.InOrder;
  if (NavigationSink *navigation = canvas.Navigation()) {
    // The first sheet printed starts the document, whatever page it is.
    if (!documentReported_)
      navigation->documentStart(renderer_.DocumentTitle(), renderer_.PageLabelName(), jobClock_);
    documentReported_ = true;
    navigation->pageNumber(page);
  }
  int position = info.PageStart(page);
  renderer_.StartPage(cursor, position);
  const FooterReservation reservation = renderer_.Reservation();
  if (reservation == FooterReservation::BeforeBody) cursor.ReserveFooterRow();

  const int count = renderer_.ItemCount();
  // A page always takes at least one item, so that furniture too large for
  // any row cannot make an endless document either.
  bool anyItem = false;
  while (position < count && !(anyItem && cursor.Full())) {
    const int before = position;
    if (anyItem && renderer_.KeepsItemsWhole() && !ItemFits(cursor, position)) break;
    renderer_.LayOutItem(cursor, position);
    anyItem = true;
    if (renderer_.ItemContinues()) {
      position = before;
      break;
    }
    position = std::max(position, before + 1);
  }

  if (reservation == FooterReservation::AfterBody) cursor.ReserveFooterRow();
  renderer_.FinishPage(cursor, position);
  info.LastPage = position >= count;
  info.SetPageStart(page + 1, position);
  info.KnownPages = std::max(info.KnownPages, page + 1);
}

int ListingJob::CountPages(PageDevice &device) {
  PageCanvas measured(device);
  measured.SetMeasureMode();
  measured.Encoding = renderer_.Encoding();
  ListingPageInfo pages;
  pages.InOrder = true;
  const bool reported = documentReported_;
  int page = 1;
  for (;; ++page) {
    pages.PageNumber = page;
    pages.LastPage = false;
    RunPage(pages, measured);
    if (pages.LastPage) break;
  }
  documentReported_ = reported;
  return page;
}

bool ListingJob::ItemFits(PageCursor &cursor, int position) {
  const int top = cursor.Y;
  bool fits = true;
  {
    CanvasModeGuard guard(cursor.Canvas);
    cursor.Canvas.SetMeasureMode();
    renderer_.LayOutItem(cursor, position);
    // The item's last row must start where a row may start, as its first did.
    cursor.Y -= cursor.Geometry.LineStep;
    fits = cursor.Y <= top || !cursor.Full();
  }
  cursor.Y = top;
  return fits;
}

}  // namespace scrivane
