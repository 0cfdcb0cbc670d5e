#include "listing/PageFurniture.h"

#include <algorithm>

#include "format/FormatSettings.h"
#include "print/PageCanvas.h"

namespace scrivane {

namespace {
// Header, footer and title block are the page's, not the listing's: an
// output that keeps the listing's text leaves them out.
class FurnitureMark {
 public:
  explicit FurnitureMark(PageCanvas &canvas) : sink_(canvas.Structure()) {
    if (sink_) sink_->furniture(true);
  }
  ~FurnitureMark() {
    if (sink_) sink_->furniture(false);
  }
  FurnitureMark(const FurnitureMark &) = delete;
  FurnitureMark &operator=(const FurnitureMark &) = delete;

 private:
  StructureSink *sink_;
};
}  // namespace

namespace {
// Fixed rather than taken from the system locale: the pages must not change
// with the machine that prints them.
constexpr const char *kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr int kDoubleRuleGap = 8;
constexpr int kThinPen = 1;
constexpr int kThickPen = 3;
constexpr char kEllipsis1252 = char(0x85);
}  // namespace

QByteArray DateText(const QDate &date) {
  if (!date.isValid()) return {};
  return QByteArray::number(date.day()) + ' ' + kMonthNames[date.month() - 1] + ' ' +
         QByteArray::number(date.year());
}

QByteArray DateTimeText(const QDateTime &moment) {
  if (!moment.isValid()) return {};
  const QDate d = moment.date();
  const QTime t = moment.time();
  const int hour12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
  return QString::asprintf("%02d/%02d/%02d %02d:%02d %s", d.month(), d.day(), d.year() % 100,
                           hour12, t.minute(), t.hour() < 12 ? "am" : "pm")
      .toLatin1();
}

QByteArray PageText(int page) { return "Page " + QByteArray::number(page); }

namespace {
QByteArray FileNamePartOfText(const QByteArray &path) {
  const qsizetype cut =
      std::max({path.lastIndexOf('\\'), path.lastIndexOf('/'), path.lastIndexOf(':')});
  return path.mid(cut + 1);
}
}  // namespace

QByteArray ExpandFurnitureText(const QByteArray &text, const FurnitureTexts &texts, int page) {
  if (!text.contains('$') && !text.contains('%')) return text;
  const QByteArray file = texts.UnitNameText.isEmpty() ? texts.ProjectNameText : texts.UnitNameText;
  QByteArray unit = FileNamePartOfText(texts.UnitNameText);
  if (const qsizetype dot = unit.lastIndexOf('.'); dot > 0) unit.truncate(dot);
  QByteArray out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    QByteArray replaced;
    bool known = true;
    if (c == '$') {
      switch (next) {
        case 'f':
          replaced = file;
          break;
        case 'u':
          replaced = unit;
          break;
        case 'p':
          replaced = QByteArray::number(page);
          break;
        case 'P':
          replaced = texts.totalPages > 0 ? QByteArray::number(texts.totalPages) : QByteArray("?");
          break;
        case '$':
          replaced = "$";
          break;
        default:
          known = false;
      }
    } else if (c == '%') {
      switch (next) {
        case 'D':
          replaced = DateText(texts.now.date());
          break;
        case '%':
          replaced = "%";
          break;
        default:
          known = false;
      }
    } else {
      known = false;
    }
    if (known) {
      out += replaced;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

QByteArray FitText(PageCanvas &canvas, const QByteArray &text, int room) {
  if (canvas.TextWidth(text) <= room) return text;
  if (room <= 0) return {};
  const QByteArray ellipsis(1, kEllipsis1252);
  // The largest k for which make(k) still fits; make(0) must fit.
  auto largest = [&](qsizetype most, auto make) {
    qsizetype low = 0, high = most;
    while (low < high) {
      const qsizetype k = (low + high + 1) / 2;
      if (canvas.TextWidth(make(k)) <= room)
        low = k;
      else
        high = k - 1;
    }
    return make(low);
  };
  const qsizetype cut =
      std::max({text.lastIndexOf('\\'), text.lastIndexOf('/'), text.lastIndexOf(':')});
  const QByteArray tail =
      cut >= 0 ? text.mid(cut) : QByteArray();  // the file name with its separator
  const QByteArray head = cut >= 0 ? text.left(cut) : text;
  if (!tail.isEmpty() && canvas.TextWidth(ellipsis + tail) <= room)
    return largest(head.size(), [&](qsizetype k) { return head.left(k) + ellipsis + tail; });
  const QByteArray name = cut >= 0 ? text.mid(cut + 1) : text;
  if (canvas.TextWidth(name) <= room) return name;
  if (canvas.TextWidth(ellipsis) > room) return {};
  // Even the file name alone is too wide: its own middle goes.
  return largest(name.size() / 2,
                 [&](qsizetype k) { return name.left(k) + ellipsis + name.right(k); });
}

PageFurniture::PageFurniture(PageCanvas &canvas, const PageGeometry &geometry,
                             const FormatSettings &settings, const FurnitureTexts &texts,
                             FurnitureVariant variant)
    : canvas_(canvas),
      geometry_(geometry),
      settings_(settings),
      texts_(texts),
      variant_(std::move(variant)) {}

void PageFurniture::DrawRule(int &currentY) {
  auto line = [&](int width) {
    canvas_.Pen.width = width;
    canvas_.MoveTo(geometry_.LeftX, currentY);
    canvas_.LineTo(geometry_.RightX, currentY);
  };
  canvas_.Pen.mode = PenMode::Black;
  switch (settings_.Border) {
    case 0:
      line(kThinPen);
      break;
    case 1:
      line(kThickPen);
      break;
    case 2:
    case 3: {
      const bool thinFirst = settings_.Border == 2;
      line(thinFirst ? kThinPen : kThickPen);
      currentY += kDoubleRuleGap;
      line(thinFirst ? kThickPen : kThinPen);
      break;
    }
    default:
      break;
  }
}

void PageFurniture::DrawLeft(const QByteArray &text, int y) {
  if (!text.isEmpty()) canvas_.TextOut(geometry_.LeftX, y, text);
}

void PageFurniture::DrawCentred(const QByteArray &text, int y) {
  if (text.isEmpty()) return;
  canvas_.TextOut(int(canvas_.PageWidth * 0.5) - int(canvas_.TextWidth(text) * 0.5), y, text);
}

void PageFurniture::DrawRight(const QByteArray &text, int y) {
  if (text.isEmpty()) return;
  canvas_.TextOut(canvas_.PageWidth - geometry_.RightMargin - canvas_.TextWidth(text), y, text);
}

void PageFurniture::DrawRow(const QByteArray &left, const QByteArray &centre,
                            const QByteArray &right, int y) {
  const RowTexts row = FitRow(left, centre, right);
  DrawLeft(row.left, y);
  DrawCentred(row.centre, y);
  DrawRight(row.right, y);
}

PageFurniture::RowTexts PageFurniture::FitRow(const QByteArray &left, const QByteArray &centre,
                                              const QByteArray &right) {
  const int leftX = geometry_.LeftX;
  const int rightX = canvas_.PageWidth - geometry_.RightMargin;
  const int middle = int(canvas_.PageWidth * 0.5);
  const int l = left.isEmpty() ? 0 : canvas_.TextWidth(left);
  const int c = centre.isEmpty() ? 0 : canvas_.TextWidth(centre);
  const int r = right.isEmpty() ? 0 : canvas_.TextWidth(right);
  const int centreStart = middle - int(c * 0.5);
  const bool fits = leftX + l <= rightX && rightX - r >= leftX &&
                    (centre.isEmpty() ? leftX + l <= rightX - r
                                      : centreStart >= leftX + l && centreStart + c <= rightX - r);
  if (fits) return {left, centre, right};
  const int gap = canvas_.TextWidth("  ");
  const int width = rightX - leftX;
  int leftRoom = width, rightRoom = width;
  QByteArray fittedCentre = centre;
  if (!centre.isEmpty()) {
    // The centre item stays centred on the page: its room is what is left
    // of the shorter side's twice, after the wider side item's need.
    const int centreRoom = 2 * std::min(middle - leftX, rightX - middle);
    const int sideNeed = std::max(left.isEmpty() ? 0 : l + gap, right.isEmpty() ? 0 : r + gap);
    const int room = left.isEmpty() && right.isEmpty()
                         ? centreRoom
                         : std::max(centreRoom / 3, centreRoom - 2 * sideNeed);
    fittedCentre = FitText(canvas_, centre, std::min(c, room));
    const int fitted = canvas_.TextWidth(fittedCentre);
    const int start = middle - int(fitted * 0.5);
    leftRoom = start - gap - leftX;
    rightRoom = rightX - gap - (start + fitted);
  } else if (!left.isEmpty() && !right.isEmpty()) {
    const int both = width - gap;
    if (l <= both / 2) {
      rightRoom = both - l;
    } else if (r <= both / 2) {
      leftRoom = both - r;
    } else {
      leftRoom = both / 2;
      rightRoom = both - both / 2;
    }
  }
  return {FitText(canvas_, left, leftRoom), fittedCentre, FitText(canvas_, right, rightRoom)};
}

QByteArray PageFurniture::HeaderItem(int code) const {
  switch (code) {
    case 1:
      return texts_.ProjectNameText;
    case 2:
      return texts_.UnitNameText;
    case 3:
      return DateText(texts_.now.date());
    case 4:
      return variant_.dateTimeItems ? DateTimeText(texts_.now) : QByteArray();
    default:
      return {};
  }
}

QByteArray PageFurniture::FooterCentreItem(int code, int page) const {
  switch (code) {
    case 1:
      return texts_.ProjectNameText;
    case 2:
      return texts_.UnitNameText;
    case 3:
      return PageText(page);
    default:
      return {};
  }
}

QByteArray PageFurniture::FooterRightItem(int code, int page) const {
  switch (code) {
    case 4:
      return DateText(texts_.now.date());
    case 5:
      return variant_.dateTimeItems ? DateTimeText(texts_.now) : QByteArray();
    default:
      return FooterCentreItem(code, page);
  }
}

void PageFurniture::DrawPageHeader(int page, int &currentY) {
  const FurnitureMark mark(canvas_);
  canvas_.SetFont(settings_.HeaderFont());
  const QByteArray centre = settings_.HeaderText.isEmpty()
                                ? HeaderItem(settings_.Line1B)
                                : ExpandFurnitureText(settings_.HeaderText, texts_, page);
  DrawRow(HeaderItem(settings_.Line1A), centre, HeaderItem(settings_.Line1C), currentY);
  currentY += canvas_.TextHeight("X");
  DrawRule(currentY);
  currentY += 2 * geometry_.LineStep;
}

void PageFurniture::DrawPageFooter(int page, int &currentY) {
  const FurnitureMark mark(canvas_);
  currentY = canvas_.PageHeight - geometry_.BottomMargin;
  canvas_.SetFont(settings_.HeaderFont());
  DrawRule(currentY);
  currentY += kDoubleRuleGap;
  const RowTexts row =
      FitRow(ExpandFurnitureText(variant_.footerLeftText.value_or(settings_.User), texts_, page),
             FooterCentreItem(settings_.Line3B, page), FooterRightItem(settings_.Line3C, page));
  DrawCentred(row.centre, currentY);
  DrawRight(row.right, currentY);
  DrawLeft(row.left, currentY);
}

void PageFurniture::DrawTitleBlock(int &currentY) {
  const FurnitureMark mark(canvas_);
  canvas_.SetFont(settings_.HeaderFont());
  // The titles are any text the fonts print, drawn as UTF-8 whatever the
  // listed file's encoding; the file names keep the listing's.
  auto title = [](const QByteArray &stored) { return TitleTextOf(stored).toUtf8(); };
  // Label and value; only the value gives way when the cell is too narrow.
  const struct {
    QByteArray leftLabel, leftTitle, rightLabel, right;
    bool rightIsTitle;
  } rows[5] = {
      {"", title(settings_.Title1), "Designed By: ", title(settings_.Title6), true},
      {"", title(settings_.Title2), "Programming: ", title(settings_.Title7), true},
      {"", title(settings_.Title3), "Last Revision: ", title(settings_.Title8), true},
      {"", title(settings_.Title4), "Project File: ", texts_.ProjectNameText, false},
      {"Client: ", title(settings_.Title5), "Unit File: ", texts_.UnitNameText, false},
  };
  const int column = canvas_.PageWidth / 2;
  const TextEncoding listingEncoding = canvas_.Encoding;
  auto cell = [&](const QByteArray &label, const QByteArray &value, int room) {
    return label + FitText(canvas_, value, room - canvas_.TextWidth(label));
  };
  for (const auto &row : rows) {
    canvas_.Encoding = TextEncoding::Utf8;
    DrawLeft(cell(row.leftLabel, row.leftTitle, column - geometry_.LeftX), currentY);
    canvas_.Encoding = row.rightIsTitle ? TextEncoding::Utf8 : listingEncoding;
    canvas_.TextOut(column, currentY, cell(row.rightLabel, row.right, geometry_.RightX - column));
    canvas_.Encoding = listingEncoding;
    currentY += canvas_.TextHeight("X");
  }
  DrawRule(currentY);
  currentY += 2 * geometry_.LineStep;
}

}  // namespace scrivane
