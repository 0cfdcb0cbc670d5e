#pragma once
// The list control behind both pick lists, and the delegates that draw the
// unit list and the routine list of the main window.
#include <QDateTime>
#include <QListWidget>
#include <QStyledItemDelegate>

#include "project/ProjectModel.h"

namespace scrivane {

class PickList : public QListWidget {
  Q_OBJECT
 public:
  explicit PickList(QWidget *parent = nullptr);

  // The delegate that draws the items (the unit list's or the routine
  // list's); until one is set, Qt draws them.
  void setOwnerDelegate(QAbstractItemDelegate *delegate);

  // Deselects every item of a multi-selection list; single-selection lists
  // keep their selection.
  void ClearSelection();
  int lastIndex() const { return lastIndex_; }

 signals:
  // The current row differs from the one last reported.
  void changed();
  // The mouse moved over the list (for the status line).
  void hovered();

 protected:
  void mouseMoveEvent(QMouseEvent *event) override;

 private:
  int lastIndex_ = -1;
  QAbstractItemDelegate *standardDelegate_ = nullptr;
};

// The date/size columns of a unit-list entry.
struct UnitFileColumns {
  bool found = false;
  QString dateText;  // "File not found" when the file is missing
  QString sizeText;  // empty when the file is missing
};
// "1,234,567" for 1234567 bytes; grouping by threes with commas.
QString FormatFileSize(qint64 bytes);
// "mm/dd/yy  hh:mm am/pm", 12-hour clock, always in English.
QString FormatFileTime(const QDateTime &time);
// Looks the file up at the entry's own full path, so units outside the
// project folder show their real date and size.
UnitFileColumns DescribeUnitFile(const QString &fullPath);

// Item data roles the delegates read.
enum PickListRole { KindRole = Qt::UserRole + 1, FullPathRole };

// The date and size columns of the unit list, in pixels from the row's left
// edge, placed from the widths of their texts in the list's font.
struct UnitListColumns {
  int dateLeft = 0;      // a gap after the widest name
  int dateWidth = 0;     // the widest date, or "File not found"
  int sizeLeftmost = 0;  // a gap after the widest date
  int sizeRight = 0;     // sizes end here, room for "999,999,999"
  // Where a size text starts: right-aligned, but never into the date column.
  int SizeLeft(const QFontMetrics &metrics, const QString &sizeText) const;
};
UnitListColumns MeasureUnitListColumns(const QFontMetrics &metrics, int nameLeftPx,
                                       int widestNamePx);

// Draws a unit-list entry: glyph, name, the date (or "File not found") and
// the size, in the columns above. Item height 18.
class UnitListDelegate : public QStyledItemDelegate {
 public:
  UnitListDelegate(const ProjectModel &model, QObject *parent);
  // The columns for the model's names drawn in `font`.
  UnitListColumns Columns(const QFont &font) const;
  void paint(QPainter *painter, const QStyleOptionViewItem &option,
             const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

 private:
  const ProjectModel &model_;
};

// Draws a routine-list entry: glyph and text. Item height 16.
class RoutineListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter *painter, const QStyleOptionViewItem &option,
             const QModelIndex &index) const override;
  QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Both lists scroll sideways over this many pixels.
constexpr int PickListExtentPx = 1000;
constexpr int UnitItemHeightPx = 18;
constexpr int RoutineItemHeightPx = 16;

}  // namespace scrivane
