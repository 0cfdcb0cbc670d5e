#include "widgets/ClockStatusBar.h"

#include <QFontMetrics>
#include <QLocale>
#include <algorithm>

namespace scrivane {

QString ClockDateText(const QDate &date) {
  return QLocale::c().toString(date, QStringLiteral("dd MMMM yyyy"));
}

QString ClockTimeText(const QTime &time) {
  return QLocale::c().toString(time, QStringLiteral("hh:mm:ss ap"));
}

int DatePanelWidth(const QFontMetrics &metrics, int year, int framePx) {
  int widest = 0;
  // Day 28 exists in every month; every day is written with two digits.
  for (int month = 1; month <= 12; ++month)
    widest = std::max(widest, metrics.horizontalAdvance(ClockDateText(QDate(year, month, 28))));
  return std::max(kDatePanelMinPx, widest + 2 * framePx + kDatePaddingPx);
}

int StatusPanelWidth(int windowWidthPx) { return windowWidthPx < 232 ? 0 : windowWidthPx - 230; }

ClockStatusBar::ClockStatusBar(QWidget *parent) : QStatusBar(parent) {
  setSizeGripEnabled(true);
  // A small fixed font, so the date fits its 110 pixels whatever the
  // desktop's font is.
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(11);
  setFont(small);
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The date panel holds the longest date of the year in the bar's font
    // ("28 September 2026"), which 110 pixels do not.
    if (i == 1)
      widths_[1] = DatePanelWidth(QFontMetrics(small), QDate::currentDate().year(),
                                  panels_[1]->frameWidth());
    setPanelWidth(i, widths_[i]);
    panels_[i]->setAlignment(i == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    // The status line takes the room left, up to its given width.
    addWidget(panels_[i], i == 0 ? 1 : 0);
  }
  panels_[0]->setText(QStringLiteral(" Tallowind, Incorporated"));
  setToolTip(panels_[0]->text());
  // The date is set once, when the window is made.
  panels_[1]->setText(ClockDateText(QDate::currentDate()));
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &ClockStatusBar::Tick);
  StartTimer();
  Tick();
}

void ClockStatusBar::setStatusText(const QString &text) {
  panels_[0]->setText(text);
  // The panel cuts a long text (a path, why a project lists no units).
  panels_[0]->setToolTip(text.trimmed());
}

void ClockStatusBar::setPanelWidth(int panel, int widthPx) {
  widths_[panel] = widthPx;
  if (panel == 0) {
    panels_[0]->setMinimumWidth(0);
    panels_[0]->setMaximumWidth(widthPx);
    panels_[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  } else {
    panels_[panel]->setFixedWidth(widthPx);
  }
}

void ClockStatusBar::StartTimer() {
  timer_.stop();
  timer_.start();
}

void ClockStatusBar::Tick() {
  panels_[2]->setText(ClockTimeText(QTime::currentTime()));
  setToolTip(panels_[0]->text());
}

void ClockStatusBar::FollowWindowWidth(int windowWidthPx) {
  setPanelWidth(0, StatusPanelWidth(windowWidthPx));
}

}  // namespace scrivane
