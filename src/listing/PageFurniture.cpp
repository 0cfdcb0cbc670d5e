#include "listing/PageFurniture.h"

#include "format/FormatSettings.h"
#include "print/PageCanvas.h"

namespace scrivane {

namespace {
// Fixed rather than taken from the system locale: the pages must not change
// with the machine that prints them.
constexpr const char *kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};
constexpr int kDoubleRuleGap = 8;
constexpr int kThinPen = 1;
constexpr int kThickPen = 3;
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
  return QString::asprintf("%02d/%02d/%02d %02d:%02d %s", d.month(), d.day(), d.year() % 100, hour12,
                           t.minute(), t.hour() < 12 ? "am" : "pm")
      .toLatin1();
}

QByteArray PageText(int page) { return "Page " + QByteArray::number(page); }

PageFurniture::PageFurniture(TSpecialCanvas &canvas, const PageGeometry &geometry,
                             const FormatSettings &settings, const FurnitureTexts &texts,
                             FurnitureVariant variant)
    : canvas_(canvas), geometry_(geometry), settings_(settings), texts_(texts), variant_(std::move(variant)) {}

void PageFurniture::DrawRule(int &currentY) {
  auto line = [&](int width) {
    canvas_.Pen.width = width;
    canvas_.MoveTo(geometry_.LeftX, currentY);
    canvas_.LineTo(geometry_.RightX, currentY);
  };
  canvas_.Pen.mode = PenMode::Black;
  switch (settings_.Border) {
    case 0: line(kThinPen); break;
    case 1: line(kThickPen); break;
    case 2:
    case 3: {
      const bool thinFirst = settings_.Border == 2;
      line(thinFirst ? kThinPen : kThickPen);
      currentY += kDoubleRuleGap;
      line(thinFirst ? kThickPen : kThinPen);
      break;
    }
    default: break;
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

QByteArray PageFurniture::HeaderItem(int code) const {
  switch (code) {
    case 1: return texts_.ProjectNameText;
    case 2: return texts_.UnitNameText;
    case 3: return DateText(texts_.now.date());
    case 4: return variant_.dateTimeItems ? DateTimeText(texts_.now) : QByteArray();
    default: return {};
  }
}

QByteArray PageFurniture::FooterCentreItem(int code, int page) const {
  switch (code) {
    case 1: return texts_.ProjectNameText;
    case 2: return texts_.UnitNameText;
    case 3: return PageText(page);
    default: return {};
  }
}

QByteArray PageFurniture::FooterRightItem(int code, int page) const {
  switch (code) {
    case 4: return DateText(texts_.now.date());
    case 5: return variant_.dateTimeItems ? DateTimeText(texts_.now) : QByteArray();
    default: return FooterCentreItem(code, page);
  }
}

void PageFurniture::DrawPageHeader(int /*page*/, int &currentY) {
  canvas_.SetFont(settings_.HeaderFont());
  DrawLeft(HeaderItem(settings_.Line1A), currentY);
  DrawCentred(HeaderItem(settings_.Line1B), currentY);
  DrawRight(HeaderItem(settings_.Line1C), currentY);
  currentY += canvas_.TextHeight("X");
  DrawRule(currentY);
  currentY += 2 * geometry_.LineStep;
}

void PageFurniture::DrawPageFooter(int page, int &currentY) {
  currentY = canvas_.PageHeight - geometry_.BottomMargin;
  canvas_.SetFont(settings_.HeaderFont());
  DrawRule(currentY);
  currentY += kDoubleRuleGap;
  DrawCentred(FooterCentreItem(settings_.Line3B, page), currentY);
  DrawRight(FooterRightItem(settings_.Line3C, page), currentY);
  DrawLeft(variant_.footerLeftText.value_or(settings_.User), currentY);
}

void PageFurniture::DrawTitleBlock(int &currentY) {
  canvas_.SetFont(settings_.HeaderFont());
  const QByteArray rows[5][2] = {
      {settings_.Title1, "Designed By: " + settings_.Title6},
      {settings_.Title2, "Programming: " + settings_.Title7},
      {settings_.Title3, "Last Revision: " + settings_.Title8},
      {settings_.Title4, "Project File: " + texts_.ProjectNameText},
      {"Client: " + settings_.Title5, "Unit File: " + texts_.UnitNameText},
  };
  for (const auto &row : rows) {
    DrawLeft(row[0], currentY);
    canvas_.TextOut(canvas_.PageWidth / 2, currentY, row[1]);
    currentY += canvas_.TextHeight("X");
  }
  DrawRule(currentY);
  currentY += 2 * geometry_.LineStep;
}

}  // namespace scrivane
