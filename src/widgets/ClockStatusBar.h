#pragma once
// A three-panel status bar: the program's status line, today's date, and the
// time of day refreshed every second.
#include <QDate>
#include <QFontMetrics>
#include <QLabel>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

namespace scrivane {

// "dd mmmm yyyy", e.g. "05 March 2024"; always in English.
QString ClockDateText(const QDate &date);
// "hh:nn:ss am/pm", e.g. "04:30:30 pm"; 12-hour clock.
QString ClockTimeText(const QTime &time);
// Width of the date panel: the widest date of `year` in the bar's font,
// with its frame and some air, never below the 110 pixels first given it.
constexpr int kDatePanelMinPx = 110;
constexpr int kDatePaddingPx = 8;
int DatePanelWidth(const QFontMetrics &metrics, int year, int framePx);
// Width of the status-line panel for a window of the given width: the
// window less the two clock panels, never negative.
int StatusPanelWidth(int windowWidthPx);

class ClockStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit ClockStatusBar(QWidget *parent = nullptr);

  // Panel 0: the status line.
  void setStatusText(const QString &text);
  QString statusText() const { return panels_[0]->text(); }
  QString panelText(int panel) const { return panels_[panel]->text(); }
  // The width given to a panel; the status line panel yields when the bar
  // is too narrow for it, so it never holds the window wider.
  int panelWidth(int panel) const { return widths_[panel]; }
  void setPanelWidth(int panel, int widthPx);

  // Restarts the one-second timer (also done on construction).
  void StartTimer();
  // One tick: time panel and the bar's tool tip (repeating the status line).
  void Tick();
  // Follows the width of the window that holds the bar.
  void FollowWindowWidth(int windowWidthPx);

 private:
  QLabel *panels_[3];
  int widths_[3] = {408, 110, 120};
  QTimer timer_;
};

}  // namespace scrivane
